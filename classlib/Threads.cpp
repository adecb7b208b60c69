#include "Threads.h"

#include "PlatformTime.h"

#include <deque>
#include <exception>
#include <vector>

namespace {

// Recorded while the program loads, which happens on its main thread.
const uint32_t kMainThreadId = plat::CurrentThreadId();

// One call waiting for the main thread; it lives on the stack of the thread that waits.
struct SyncRequest {
    TThreadMethod FMethod;
    std::exception_ptr FError;
    plat::Event FDone{true, false};
};

// The main thread's queue of calls. Made on first use and never freed, so that no static
// destructor can pull it away from a thread that still synchronises at exit.
struct SyncQueue {
    plat::CriticalSection FLock;
    plat::Event FPending{false, false};
    std::deque<SyncRequest*> FCalls;
};

SyncQueue& Queue()
{
    static SyncQueue* queue = new SyncQueue;
    return *queue;
}

// System threads of free-on-terminate TThreads whose objects are gone, to be joined. A thread
// is listed only after its destructor has run, so joining a listed thread waits for nothing
// but the system's end of it, never for a lock that its destructor takes. FLeaving counts the
// threads between the end of Execute and their listing.
struct EndedThreads {
    plat::CriticalSection FLock;
    std::vector<std::unique_ptr<plat::Thread>> FThreads;
    int FLeaving = 0;
    plat::Event FNoneLeaving{true, true};
};

// Bound of the wait for leaving threads at shut-down.
constexpr uint32_t kLeavingWaitMs = 10000;

EndedThreads& Ended()
{
    static EndedThreads* ended = new EndedThreads;  // never freed, like the queue
    return *ended;
}

void JoinListedThreads()
{
    EndedThreads& ended = Ended();
    std::vector<std::unique_ptr<plat::Thread>> threads;
    ended.FLock.Enter();
    threads.swap(ended.FThreads);
    ended.FLock.Leave();
    for (auto& thread : threads) {
        thread->Join();
    }
}

}  // namespace

uint32_t MainThreadID() { return kMainThreadId; }

void ReapEndedThreads()
{
    Ended().FNoneLeaving.Wait(kLeavingWaitMs);
    JoinListedThreads();
}

TThread::TThread() : FThread(std::make_unique<plat::Thread>()) {}

TThread::~TThread()
{
    if (FStarted && !FFreeOnTerminate) {
        Terminate();
        FThread->Join();
    }
}

void TThread::Start()
{
    if (FStarted) {
        throw EThread("Thread already started.");
    }
    // Keeps the list of ended threads short. Only listed threads are joined: the caller may
    // hold a lock that a thread still in its destructor waits for.
    JoinListedThreads();
    FStarted = true;
    if (!FThread->Start(&TThread::Entry, this, false)) {
        FStarted = false;
        throw EThread("Thread creation error: " + plat::LastErrorMessage());
    }
}

void TThread::WaitFor()
{
    if (FStarted && !FFreeOnTerminate) {
        FThread->Join();
    }
}

void TThread::Entry(void* self)
{
    auto* thread = static_cast<TThread*>(self);
    thread->FThreadID.store(plat::CurrentThreadId());
    try {
        thread->Execute();
    } catch (...) {
        // The one catching wrapper: nothing unwinds through the system's thread entry.
    }
    if (thread->FFreeOnTerminate) {
        EndedThreads& ended = Ended();
        ended.FLock.Enter();
        if (ended.FLeaving++ == 0) {
            ended.FNoneLeaving.Reset();
        }
        ended.FLock.Leave();
        std::unique_ptr<plat::Thread> system = std::move(thread->FThread);
        delete thread;
        ended.FLock.Enter();
        ended.FThreads.push_back(std::move(system));
        if (--ended.FLeaving == 0) {
            ended.FNoneLeaving.Set();
        }
        ended.FLock.Leave();
    }
}

void TThread::Synchronize(const TThreadMethod& method)
{
    if (InMainThread()) {
        method();
        return;
    }
    SyncRequest request;
    request.FMethod = method;
    SyncQueue& queue = Queue();
    queue.FLock.Enter();
    queue.FCalls.push_back(&request);
    queue.FLock.Leave();
    queue.FPending.Set();
    plat::WakeThread(kMainThreadId);
    request.FDone.Wait(plat::kInfiniteWait);
    if (request.FError) {
        std::rethrow_exception(request.FError);
    }
}

bool CheckSynchronize(uint32_t timeoutMs)
{
    if (!InMainThread()) {
        return false;
    }
    SyncQueue& queue = Queue();
    std::deque<SyncRequest*> calls;
    queue.FLock.Enter();
    calls.swap(queue.FCalls);
    queue.FLock.Leave();
    if (calls.empty() && timeoutMs > 0 && queue.FPending.Wait(timeoutMs) == plat::WaitResult::Signaled) {
        queue.FLock.Enter();
        calls.swap(queue.FCalls);
        queue.FLock.Leave();
    }
    for (SyncRequest* request : calls) {
        try {
            request->FMethod();
        } catch (...) {
            request->FError = std::current_exception();
        }
        request->FDone.Set();
    }
    return !calls.empty();
}

namespace {

constexpr uint32_t kPollMs = 10;
constexpr int kEmptyPollsAfterSignal = 10;

// One look at the queues: a window message or the synchronised calls. Once a quit message was
// seen (it stays queued for the program's loop), only the synchronised calls are looked at.
plat::PumpResult PumpOnce(bool& quitSeen)
{
    if (!quitSeen) {
        const plat::PumpResult result = plat::PumpOneMessage();
        if (result == plat::PumpResult::Quit) {
            quitSeen = true;
        } else if (result != plat::PumpResult::Empty) {
            return result;
        }
    }
    return CheckSynchronize() ? plat::PumpResult::Dispatched : plat::PumpResult::Empty;
}

}  // namespace

bool WaitForWithMessages(TSyncEvent& event, uint32_t seconds)
{
    const uint64_t start = plat::MonotonicMs();
    const uint64_t limitMs = static_cast<uint64_t>(seconds) * 1000u;
    bool quitSeen = false;
    for (;;) {
        if (event.WaitFor(kPollMs) == TWaitResult::wrSignaled) {
            int emptyPolls = 0;
            while (emptyPolls < kEmptyPollsAfterSignal) {
                if (PumpOnce(quitSeen) == plat::PumpResult::Empty) {
                    ++emptyPolls;
                    plat::SleepMs(kPollMs);
                }
            }
            return true;
        }
        while (PumpOnce(quitSeen) == plat::PumpResult::Dispatched) {
        }
        if (plat::MonotonicMs() - start >= limitMs) {
            return false;
        }
    }
}
