#include "lcThrPool.h"

#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcValueContainers.h"
#include "lectern/lc/memBinList.h"

std::atomic<bool> LcLogThreadExceptions{false};

namespace {

constexpr int kListNodePool = 128;
constexpr int kJobNodePool = 32;
constexpr uint32_t kCloseWaitSeconds = 10;

std::atomic<TLcSyncProcedure> gSyncProcedure{nullptr};

// The log names of what the pool's boundaries catch: its own work ("THREAD", only while
// LcLogThreadExceptions is on) and a job's disposal ("ERROR").
constexpr const char* kLogThread = "THREAD";
constexpr const char* kLogError = "ERROR";

// Installed while the pool closes: a worker that synchronises then does not wait for the
// main thread, and its method does not run.
void SkipSync(const TThreadMethod&) {}

}  // namespace

struct TLcPool;

// ---- the worker -----------------------------------------------------------------------------

class TLcWorkerThread : public TThread {
public:
    explicit TLcWorkerThread(TLcPool* pool);
    ~TLcWorkerThread() override;

    CL_CLASS_NAME(TLcWorkerThread)

protected:
    void Execute() override;

private:
    friend class TLcThread;
    friend struct TLcPool;
    friend void ::CloseThreadPool();

    // Runs the bound queue's current job; true when the job ended the queue.
    bool Work(TLcThread* queue);
    // Under the pool lock, after a job: settles the queue and looks for the next work; false
    // when this worker is to end.
    bool AfterJob(TLcThread* queue, bool finished, TLcThread*& toFree);
    void SyncTrampoline();

    TLcPool* const FPool;  // the pool that made it, even after the unit has let it go
    TLcEvent FEvent{false, false};
    TLcThread* FQueue = nullptr;  // under the pool lock
    bool FWakePending = false;    // bound and signalled by another thread; under the pool lock
    TThreadMethod FSyncMethod;
    std::atomic<bool> FInSync{false};
};

// ---- the pool -------------------------------------------------------------------------------

struct TLcPool {
    TLcCritSec FLock;
    tBinList FAllWorkers{kListNodePool};
    tXList FIdle{kListNodePool};  // a stack: pushed and taken at the back
    tBinList FLiveQueues{kListNodePool};
    tXList FReady{kListNodePool};  // first in, first out
    TLcBaseMessage FStop{"Stop"};
    int FWorkerCount = 0;
    TLcEvent FNoWorkers{true, true};
    bool FOpen = true;
    bool FClosing = false;
    uint32_t FMainThread = plat::CurrentThreadId();

    // All of these under FLock.
    TLcWorkerThread* CreateWorker();
    TLcWorkerThread* GetThread();
    TLcThread* NextReady();
    void TopUpSpares();
    // wake: signal the worker's event (a worker that binds itself after a job runs on).
    static void Bind(TLcWorkerThread* worker, TLcThread* queue, bool wake = true);
};

namespace {

std::atomic<TLcPool*> gPool{nullptr};
int gPoolRefs = 0;  // changed by the program's start and end only

}  // namespace

TLcWorkerThread* TLcPool::CreateWorker()
{
    auto worker = std::make_unique<TLcWorkerThread>(this);
    worker->SetFreeOnTerminate(true);
    worker->Start();
    TLcWorkerThread* started = worker.release();  // it frees itself from now on
    FAllWorkers.Insert(reinterpret_cast<std::uintptr_t>(started), 1);
    return started;
}

void TLcPool::TopUpSpares()
{
    while (FWorkerCount < kLcMaxWorkers && FIdle.Count() < kLcSpareWorkers) {
        if (!RunAtBoundary(kLogThread, "GeetThread WorkerThread.Create", [this] { FIdle.PushBack(CreateWorker()); },
                           LcLogThreadExceptions)) {
            break;
        }
    }
}

TLcWorkerThread* TLcPool::GetThread()
{
    if (!FOpen) {
        return nullptr;
    }
    TLcWorkerThread* worker = nullptr;
    if (!FIdle.IsEmpty()) {
        worker = static_cast<TLcWorkerThread*>(FIdle.Back());
        FIdle.PopBack();
    } else if (FWorkerCount < kLcMaxWorkers) {
        try {
            worker = CreateWorker();
        } catch (const Exception& e) {
            if (LcLogThreadExceptions) {
                LogCurrentException("GetThread WorkerThread.Create", kLogThread);
            }
            if (FWorkerCount == 0) {
                throw EThreadLimitReached(std::string(e.ClassName()) + ":" + e.Message());
            }
        }
    }
    if (worker) {
        TopUpSpares();
    }
    return worker;
}

TLcThread* TLcPool::NextReady()
{
    while (!FReady.IsEmpty()) {
        auto* queue = static_cast<TLcThread*>(FReady.Front());
        FReady.PopFront();
        queue->FQueued = false;
        queue->FCurrentJob = static_cast<TObject*>(queue->FJobs->Front());
        if (queue->FCurrentJob) {
            queue->FJobs->PopFront();
            queue->FActive = true;
            return queue;
        }
    }
    return nullptr;
}

void TLcPool::Bind(TLcWorkerThread* worker, TLcThread* queue, bool wake)
{
    worker->FQueue = queue;
    queue->FWorker = worker;
    if (wake) {
        worker->FWakePending = true;
        worker->FEvent.SetEvent();
    }
}

// ---- settings ---------------------------------------------------------------------------------

TLcSyncProcedure LcSyncProcedure() { return gSyncProcedure.load(); }
void SetLcSyncProcedure(TLcSyncProcedure procedure) { gSyncProcedure.store(procedure); }

TLcBaseMessage* LcStopMessage()
{
    TLcPool* pool = gPool.load();
    return pool ? &pool->FStop : nullptr;
}

// ---- worker -----------------------------------------------------------------------------------

TLcWorkerThread::TLcWorkerThread(TLcPool* pool) : FPool(pool)
{
    TLockGuard lock(pool->FLock);
    if (pool->FWorkerCount++ == 0) {
        pool->FNoWorkers.ResetEvent();
    }
}

TLcWorkerThread::~TLcWorkerThread()
{
    TLcPool* pool = FPool;
    TLockGuard lock(pool->FLock);
    const auto key = reinterpret_cast<std::uintptr_t>(this);
    if (pool->FAllWorkers.Find(key) != 0) {
        pool->FAllWorkers.Remove(key);
    }
    // Signalled under the lock: the finalization frees the pool only after it has taken the
    // lock and seen no worker, so nothing here touches a freed pool.
    if (--pool->FWorkerCount == 0) {
        pool->FNoWorkers.SetEvent();
    }
}

void TLcWorkerThread::Execute()
{
    TLcPool* pool = FPool;
    RunAtBoundary(kLogThread, "TLcWorkThread.Execute", [this, pool] {
        for (;;) {
            TLcThread* queue;
            bool boundItself;
            {
                TLockGuard lock(pool->FLock);
                queue = FQueue;
                boundItself = queue && !FWakePending;  // by AfterJob: run on without a wait
            }
            if (!boundItself) {
                // Idle, or bound by another thread: its signal is taken here, none stays over.
                if (FEvent.WaitFor(plat::kInfiniteWait) != TWaitResult::wrSignaled) {
                    break;
                }
                TLockGuard lock(pool->FLock);
                queue = FQueue;
                FWakePending = false;
            }
            if (!queue) {
                break;  // woken without work: end
            }
            const bool finished = Work(queue);
            TLcThread* toFree = nullptr;
            bool goOn;
            {
                TLockGuard lock(pool->FLock);
                goOn = AfterJob(queue, finished, toFree);
            }
            if (toFree) {
                RunAtBoundary(kLogThread, "TLcWorkerThread Work.Free", [toFree] { toFree->Free(); },
                              LcLogThreadExceptions);
            }
            if (!goOn) {
                break;
            }
        }
    }, LcLogThreadExceptions);
}

bool TLcWorkerThread::Work(TLcThread* queue)
{
    if (queue->FCurrentJob == &FPool->FStop) {
        return true;
    }
    bool finished = false;
    if (RunAtBoundary(kLogThread, "TLcWorkerThread Work.RunJob", [&] { finished = queue->RunJob(); },
                      LcLogThreadExceptions)) {
        return finished;
    }
    // The failed job is finished too: nobody else holds it, so it is killed, not leaked.
    queue->KillJob();
    return true;
}

bool TLcWorkerThread::AfterJob(TLcThread* queue, bool finished, TLcThread*& toFree)
{
    TLcPool* pool = FPool;
    queue->FWorker = nullptr;
    queue->FCurrentJob = nullptr;
    if (finished) {
        queue->FAlive = false;
        RunAtBoundary(kLogThread, "TLcWorkerThread Work.Finalize", [queue] { queue->Finalize(); },
                      LcLogThreadExceptions);
        toFree = queue;
    } else {
        RunAtBoundary(kLogThread, "TLcWorkerThread Work.Idle", [queue, pool] {
            queue->FActive = false;
            if (!queue->FJobs->IsEmpty()) {
                queue->FQueued = true;
                pool->FReady.PushBack(queue);
            }
        }, LcLogThreadExceptions);
    }
    FQueue = nullptr;

    const auto key = reinterpret_cast<std::uintptr_t>(this);
    const auto leave = [&] {
        if (pool->FAllWorkers.Find(key) != 0) {
            pool->FAllWorkers.Remove(key);
        }
        return false;
    };
    if (!pool->FOpen) {
        return leave();  // a closed pool binds nothing and keeps nobody idle
    }
    if (TLcThread* next = pool->NextReady()) {
        TLcPool::Bind(this, next, false);  // this worker runs on: no wake-up needed
        return true;
    }
    if (pool->FIdle.Count() >= kLcIdleLimit) {
        return leave();
    }
    pool->FIdle.PushBack(this);
    return true;
}

void TLcWorkerThread::SyncTrampoline()
{
    FInSync.store(true);
    try {
        FSyncMethod();
    } catch (...) {
        FInSync.store(false);
        throw;
    }
    FInSync.store(false);
}

// ---- job queue ----------------------------------------------------------------------------------

TLcThread::TLcThread()
{
    TLcPool* pool = gPool.load();
    if (!pool) {
        throw Exception("Thread Pool already closed.");
    }
    FJobs = std::make_unique<tXList>(kJobNodePool);
    FInfo = std::make_unique<TLcInfo>();
    TLockGuard lock(pool->FLock);
    pool->FLiveQueues.Insert(reinterpret_cast<std::uintptr_t>(this), 1);
}

TLcThread::~TLcThread() = default;

bool TLcThread::PostJob(TLcThread* Thread, TObject* Job, bool HighPriority)
{
    if (!Job) {
        return true;
    }
    TLcPool* pool = gPool.load();
    if (!pool || !Thread) {
        return false;
    }
    TLockGuard lock(pool->FLock);
    if (!pool->FOpen || pool->FLiveQueues.Find(reinterpret_cast<std::uintptr_t>(Thread)) == 0) {
        return false;
    }
    if (HighPriority) {
        Thread->FJobs->PushFront(Job);
    } else {
        Thread->FJobs->PushBack(Job);
    }
    if (!Thread->FActive && !Thread->FQueued) {
        Thread->FQueued = true;
        pool->FReady.PushBack(Thread);
        if (TLcWorkerThread* worker = pool->GetThread()) {
            if (TLcThread* next = pool->NextReady()) {
                TLcPool::Bind(worker, next);
            } else {
                pool->FIdle.PushBack(worker);
            }
        }
    }
    return true;
}

bool TLcThread::Stop() { return PostJob(this, LcStopMessage()); }

void TLcThread::Free()
{
    bool alive = FAlive;
    if (TLcPool* pool = gPool.load()) {
        TLockGuard lock(pool->FLock);
        alive = FAlive;
    }
    if (alive) {
        throw EInvalidOperation("TLcThread.Destroy called directly. Use TLcThread.Stop() instead.");
    }
    delete this;
}

void TLcThread::Finalize()
{
    TLcPool* pool = gPool.load();
    const auto key = reinterpret_cast<std::uintptr_t>(this);
    if (!pool) {
        throw EInvalidPointer("TLcThread.Finalize called more than once.");
    }
    TLockGuard lock(pool->FLock);
    if (pool->FLiveQueues.Find(key) == 0) {
        throw EInvalidPointer("TLcThread.Finalize called more than once.");
    }
    pool->FLiveQueues.Remove(key);
    RunAtBoundary(kLogError, "TLcThread.Destroy (MsgList.KillJob)", [this, pool] {
        while (!FJobs->IsEmpty()) {
            FCurrentJob = static_cast<TObject*>(FJobs->Front());
            FJobs->PopFront();
            if (FCurrentJob != &pool->FStop) {
                KillJob();
            }
        }
    });
    FCurrentJob = nullptr;
    FJobs.reset();
    FInfo.reset();
    FAlive = false;
}

bool TLcThread::RunJob()
{
    auto* job = dynamic_cast<TLcJob*>(FCurrentJob);
    if (!job) {
        throw Exception(std::string("Error!! TLcThread -> Unknown Job class: ") +
                        (FCurrentJob ? FCurrentJob->ClassName() : "nil"));
    }
    if (job->Run(this)) {
        job->Kill();
    }
    return false;
}

void TLcThread::KillJob()
{
    auto* job = dynamic_cast<TLcJob*>(FCurrentJob);
    if (!job) {
        return;
    }
    RunAtBoundary(kLogError, [job] { return std::string("TLcThread.KillJob (") + job->ClassName() + ")"; },
                  [job] { job->Kill(); });
}

void TLcThread::Sync(const TThreadMethod& Method)
{
    TLcWorkerThread* worker = nullptr;
    if (TLcPool* pool = gPool.load()) {
        TLockGuard lock(pool->FLock);
        worker = FWorker;
    }
    if (!worker) {
        throw Exception("No thread assigned.");
    }
    worker->FSyncMethod = Method;
    const TThreadMethod trampoline(worker, &TLcWorkerThread::SyncTrampoline);
    if (TLcSyncProcedure procedure = LcSyncProcedure()) {
        procedure(trampoline);
    } else {
        TThread::Synchronize(trampoline);
    }
}

bool TLcThread::InWorker() const
{
    TLcWorkerThread* worker = nullptr;
    if (TLcPool* pool = gPool.load()) {
        TLockGuard lock(pool->FLock);
        worker = FWorker;
    }
    if (!worker) {
        return false;
    }
    if (plat::CurrentThreadId() == worker->ThreadID()) {
        return true;
    }
    return worker->FInSync.load() && InMainThread();
}

bool TLcThread::InMainThread()
{
    TLcPool* pool = gPool.load();
    return plat::CurrentThreadId() == (pool ? pool->FMainThread : MainThreadID());
}

// ---- start and end ------------------------------------------------------------------------------

void CloseThreadPool()
{
    TLcPool* pool = gPool.load();
    if (!pool) {
        return;
    }
    bool wait;
    {
        TLockGuard lock(pool->FLock);
        if (pool->FClosing) {
            return;
        }
        pool->FClosing = true;
        pool->FOpen = false;
        SetLcSyncProcedure(&SkipSync);
        std::uintptr_t ignored;
        while (std::uintptr_t key = pool->FAllWorkers.FindMin(ignored)) {
            pool->FAllWorkers.Remove(key);
            reinterpret_cast<TLcWorkerThread*>(key)->FEvent.SetEvent();  // no queue: it ends
        }
        pool->FIdle.Clear();  // those workers are ending: none may be handed out again
        wait = pool->FWorkerCount > 0;
    }
    if (wait) {
        WaitForWithMessages(pool->FNoWorkers, kCloseWaitSeconds);
    }
}

void InitializeLcThrPool()
{
    if (gPoolRefs++ > 0) {
        return;
    }
    SetLcSyncProcedure(nullptr);
    gPool.store(new TLcPool);
}

void FinalizeLcThrPool()
{
    if (gPoolRefs == 0 || --gPoolRefs > 0) {
        return;
    }
    CloseThreadPool();
    TLcPool* pool = gPool.load();
    bool workersLeft;
    {
        TLockGuard lock(pool->FLock);
        workersLeft = pool->FWorkerCount > 0;
    }
    gPool.store(nullptr);
    // A worker that outlived the wait still uses the pool: its parts stay (a leak at exit
    // rather than a crash).
    if (!workersLeft) {
        delete pool;
        ReapEndedThreads();  // the workers' system threads have left too
    }
}

TLcPoolCounts LcPoolCounts()
{
    TLcPool* pool = gPool.load();
    if (!pool) {
        return {0, 0, 0, 0};
    }
    TLockGuard lock(pool->FLock);
    return {pool->FWorkerCount, pool->FIdle.Count(), pool->FReady.Count(), pool->FLiveQueues.Count()};
}
