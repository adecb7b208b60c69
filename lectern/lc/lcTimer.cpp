#include "lcTimer.h"

#include "classlib/PlatformTime.h"
#include "lectern/lc/lcLog.h"
#include "lectern/lc/memBinList.h"

#include <memory>

std::atomic<bool> LcLogTimerExceptions{false};

namespace {

constexpr int kDueListNodePool = 64;
constexpr int kTickSetNodePool = 8;
constexpr int kRegistryNodePool = 128;
constexpr uint32_t kStopWaitSeconds = 10;
constexpr uint32_t kInFlightPollMs = 10;

// The two timer threads: [kSynchronised] for timers that are not multi-threaded.
constexpr int kSynchronised = 0;
constexpr int kMultiThreaded = 1;
int ModeOf(bool multiThreaded) { return multiThreaded ? kMultiThreaded : kSynchronised; }

std::atomic<TLcTickSource> gTickSource{nullptr};

}  // namespace

// ---- the unit's state -----------------------------------------------------------------------

struct TLcTimerUnit {
    uint64_t FStartMs = plat::MonotonicMs();
    TLcCritSec FRegistryLock;
    // Everything below under FRegistryLock.
    std::unique_ptr<tBinList> FRegistry;  // living timers; made on first registration
    TLcTimerThread* FThreads[2] = {nullptr, nullptr};
    int FThreadCount = 0;
    TLcEvent FNoThreads{true, true};
    // The timer whose callback runs now, per timer thread, and the thread that runs it.
    TLcTimer* FInFlight[2] = {nullptr, nullptr};
    uint32_t FInFlightThread[2] = {0, 0};
    TLcEvent FCallbackDone{true, true};  // set whenever a callback returns

    bool Registered(const TLcTimer* timer) const
    {
        return FRegistry && FRegistry->Find(reinterpret_cast<std::uintptr_t>(timer)) != 0;
    }
    void Unregister(const TLcTimer* timer)
    {
        if (Registered(timer)) {
            FRegistry->Remove(reinterpret_cast<std::uintptr_t>(timer));
        }
    }
};

namespace {

std::atomic<TLcTimerUnit*> gUnit{nullptr};
int gUnitRefs = 0;  // changed by the program's start and end only

}  // namespace

uint32_t LcCurrentTick()
{
    if (TLcTickSource source = gTickSource.load()) {
        return source();
    }
    TLcTimerUnit* unit = gUnit.load();
    const uint64_t start = unit ? unit->FStartMs : 0;
    return static_cast<uint32_t>((plat::MonotonicMs() - start) / kLcTickMs);
}

// ---- timer thread ---------------------------------------------------------------------------

class TLcTimerThread : public TThread {
public:
    TLcTimerThread(TLcTimerUnit* unit, int mode);
    ~TLcTimerThread() override;

    // Under the unit's registry lock: the thread ends and frees itself.
    void StopThread();
    void Wake() { FEvent.SetEvent(); }
    // The tick at which the thread last found nothing due and went to wait; 0 while it works.
    uint32_t SettledAt() const { return FSettledAt.load(); }

    // Under FLock.
    void File(TLcTimer* timer);
    bool Unfile(TLcTimer* timer);
    void Move(TLcTimer* timer);
    TLcCritSec& Lock() { return FLock; }

    CL_CLASS_NAME(TLcTimerThread)

protected:
    void Execute() override;

private:
    void ClearDueList();
    // Fires the set taken from the due list; on the main thread for the synchronised thread.
    void FireSet();
    tBinList* SetOf(uint32_t tick) const;

    TLcTimerUnit* const FUnit;
    const int FMode;
    TLcCritSec FLock;
    tBinList FDue{kDueListNodePool};  // due tick -> tBinList* of timers
    TLcEvent FEvent{false, false};
    tBinList* FFiring = nullptr;  // the set being fired, out of the due list
    uint32_t FFiringTick = 0;
    std::atomic<uint32_t> FSettledAt{0};
};

TLcTimerThread::TLcTimerThread(TLcTimerUnit* unit, int mode) : FUnit(unit), FMode(mode)
{
    TLockGuard lock(FUnit->FRegistryLock);
    if (FUnit->FThreadCount++ == 0) {
        FUnit->FNoThreads.ResetEvent();
    }
}

TLcTimerThread::~TLcTimerThread()
{
    {
        TLockGuard lock(FLock);
        ClearDueList();
    }
    // Signalled under the lock: the unit's end frees it only after taking the lock and seeing
    // no thread, so nothing here touches a freed unit.
    TLockGuard lock(FUnit->FRegistryLock);
    if (--FUnit->FThreadCount == 0) {
        FUnit->FNoThreads.SetEvent();
    }
}

void TLcTimerThread::ClearDueList()
{
    std::uintptr_t set;
    while (std::uintptr_t tick = FDue.FindMin(set)) {
        FDue.Remove(tick);
        delete reinterpret_cast<tBinList*>(set);
    }
}

void TLcTimerThread::StopThread()
{
    Terminate();
    {
        TLockGuard lock(FLock);
        ClearDueList();
    }
    FEvent.SetEvent();
}

tBinList* TLcTimerThread::SetOf(uint32_t tick) const
{
    if (FFiring && tick == FFiringTick) {
        return FFiring;
    }
    return reinterpret_cast<tBinList*>(FDue.Find(tick));
}

void TLcTimerThread::File(TLcTimer* timer)
{
    const uint32_t due = LcCurrentTick() + timer->FInterval;
    timer->FDueTick = due;
    auto* set = reinterpret_cast<tBinList*>(FDue.Find(due));
    if (!set) {
        set = new tBinList(kTickSetNodePool);
        FDue.Insert(due, reinterpret_cast<std::uintptr_t>(set));
    }
    set->Insert(reinterpret_cast<std::uintptr_t>(timer), 1);
    std::uintptr_t ignored;
    if (FDue.FindMin(ignored) == due) {
        FEvent.SetEvent();  // the earliest tick changed: the thread plans its wait again
    }
}

bool TLcTimerThread::Unfile(TLcTimer* timer)
{
    const uint32_t tick = timer->FDueTick;
    timer->FDueTick = 0;
    tBinList* set = SetOf(tick);
    const auto key = reinterpret_cast<std::uintptr_t>(timer);
    if (!set || set->Find(key) == 0) {
        return false;
    }
    set->Remove(key);
    if (set != FFiring && set->Count() == 0) {
        FDue.Remove(tick);
        delete set;
    }
    return true;
}

void TLcTimerThread::Move(TLcTimer* timer)
{
    tBinList* set = SetOf(timer->FDueTick);
    if (timer->FDueTick == 0 || !set || set->Find(reinterpret_cast<std::uintptr_t>(timer)) == 0) {
        return;
    }
    if (LcCurrentTick() + timer->FInterval == timer->FDueTick) {
        return;
    }
    Unfile(timer);
    File(timer);
}

void TLcTimerThread::Execute()
{
    RunAtBoundary("ERROR", "TLcTimerThread.Execute", [&] {
        while (!Terminated()) {
            const uint32_t now = LcCurrentTick();
            uint32_t waitMs = plat::kInfiniteWait;
            tBinList* set = nullptr;
            {
                TLockGuard lock(FLock);
                std::uintptr_t first;
                const std::uintptr_t tick = FDue.FindMin(first);
                if (tick == 0) {
                    FEvent.ResetEvent();
                    FSettledAt.store(now);
                } else if (tick > now) {
                    FEvent.ResetEvent();
                    waitMs = static_cast<uint32_t>(tick - now) * kLcTickMs;
                    FSettledAt.store(now);
                } else {
                    FSettledAt.store(0);
                    set = reinterpret_cast<tBinList*>(first);
                    FDue.Remove(tick);
                    FFiring = set;
                    FFiringTick = static_cast<uint32_t>(tick);
                }
            }
            if (set && !Terminated()) {
                const TThreadMethod fire(this, &TLcTimerThread::FireSet);
                if (FMode == kMultiThreaded) {
                    fire();
                } else if (TLcSyncProcedure procedure = LcSyncProcedure()) {
                    procedure(fire);
                } else {
                    TThread::Synchronize(fire);
                }
            }
            if (set) {
                TLockGuard lock(FLock);
                FFiring = nullptr;
                FFiringTick = 0;
                delete set;
            } else if (!Terminated()) {
                FEvent.WaitFor(waitMs);
            }
        }
    }, LcLogTimerExceptions);
}

void TLcTimerThread::FireSet()
{
    const uint32_t caller = plat::CurrentThreadId();
    for (;;) {
        TLcTimerMethod method;
        TLcThread* queue = nullptr;
        TLcJob* job = nullptr;
        bool call = false;
        {
            TLockGuard registryLock(FUnit->FRegistryLock);
            TLcTimer* timer;
            {
                TLockGuard lock(FLock);
                std::uintptr_t ignored;
                const std::uintptr_t key = FFiring->FindMin(ignored);
                if (key == 0) {
                    return;
                }
                FFiring->Remove(key);
                timer = reinterpret_cast<TLcTimer*>(key);
                // Fired only while registered, enabled and still filed for this tick.
                if (!FUnit->Registered(timer) || !timer->FEnabled || timer->FDueTick != FFiringTick) {
                    continue;
                }
                call = timer->FMethod.Assigned() || (timer->FThread && timer->FJob);
                method = timer->FMethod;
                queue = timer->FThread;
                job = timer->FJob;
                if (call && !timer->FOnce) {
                    File(timer);  // before the callback: the period does not stretch
                } else {
                    timer->FEnabled = false;
                    timer->FDueTick = 0;
                }
            }
            if (timer->FFreeAfterFiring) {
                delete timer;  // before its callback, under the registry lock
            } else if (call) {
                FUnit->FInFlight[FMode] = timer;
                FUnit->FInFlightThread[FMode] = caller;
                FUnit->FCallbackDone.ResetEvent();
            }
        }
        if (call) {
            RunAtBoundary("ERROR", "TLcTimerThread.Execute", [&] {
                if (method) {
                    method();
                } else {
                    TLcThread::PostJob(queue, job, false);
                }
            }, LcLogTimerExceptions);
            TLockGuard registryLock(FUnit->FRegistryLock);
            if (FUnit->FInFlight[FMode]) {
                FUnit->FInFlight[FMode] = nullptr;
                FUnit->FCallbackDone.SetEvent();
            }
        }
        if (Terminated()) {
            return;
        }
    }
}

// ---- timer ------------------------------------------------------------------------------------

TLcTimer::TLcTimer(bool MultiThreaded) : FMultiThreaded(MultiThreaded)
{
    TLcTimerUnit* unit = gUnit.load();
    if (!unit) {
        throw EInvalidOperation("TLcTimer.Create: the timer unit is not running.");
    }
    TLockGuard lock(unit->FRegistryLock);
    const int mode = ModeOf(MultiThreaded);
    if (!unit->FThreads[mode]) {
        auto thread = std::make_unique<TLcTimerThread>(unit, mode);
        thread->SetFreeOnTerminate(true);
        thread->Start();
        unit->FThreads[mode] = thread.release();  // it frees itself from now on
    }
    FTimerThread = unit->FThreads[mode];
    if (!unit->FRegistry) {
        unit->FRegistry = std::make_unique<tBinList>(kRegistryNodePool);
    }
    unit->FRegistry->Insert(reinterpret_cast<std::uintptr_t>(this), 1);
}

TLcTimer::~TLcTimer()
{
    TLcTimerUnit* unit = gUnit.load();
    if (!unit) {
        return;
    }
    // A destructor lets nothing out.
    RunAtBoundary("ERROR", "TLcTimer.Destroy", [&] {
        const int mode = ModeOf(FMultiThreaded);
        const uint32_t caller = plat::CurrentThreadId();
        unit->FRegistryLock.Enter();
        unit->Unregister(this);
        // A callback of this timer that runs on another thread is waited for; the main
        // thread keeps its synchronised calls flowing meanwhile, in case that callback waits
        // for it.
        while (unit->FInFlight[mode] == this && unit->FInFlightThread[mode] != caller) {
            unit->FRegistryLock.Leave();
            unit->FCallbackDone.WaitFor(kInFlightPollMs);
            CheckSynchronize();
            unit->FRegistryLock.Enter();
        }
        // Unfiled only while the thread still belongs to the unit (a stopped one is ending).
        if (FTimerThread && FTimerThread == unit->FThreads[mode]) {
            TLockGuard lock(FTimerThread->Lock());
            if (FEnabled) {
                FEnabled = false;
                FTimerThread->Unfile(this);
            }
        }
        unit->FRegistryLock.Leave();
    }, LcLogTimerExceptions);
}

void TLcTimer::Enable(TLcTimer* Timer, int32_t IntervalMs, bool FreeAfterFiring, bool Once,
                      const TLcTimerMethod& Method)
{
    if (!Timer || !Timer->FTimerThread) {
        return;
    }
    TLockGuard lock(Timer->FTimerThread->Lock());
    Timer->FOnce = Once || FreeAfterFiring;
    Timer->FFreeAfterFiring = FreeAfterFiring;
    Timer->FMethod = Method;
    Timer->FThread = nullptr;
    Timer->FJob = nullptr;
    const int32_t ticks = IntervalMs / static_cast<int32_t>(kLcTickMs);
    Timer->FInterval = ticks < 1 ? 1u : static_cast<uint32_t>(ticks);
    if (!Timer->FEnabled) {
        Timer->FEnabled = true;
        Timer->FTimerThread->File(Timer);
    } else {
        Timer->FTimerThread->Move(Timer);
    }
}

void TLcTimer::Enable(TLcTimer* Timer, int32_t IntervalMs, bool FreeAfterFiring, bool Once,
                      TLcThread* Thread, TLcJob* Job)
{
    if (!Timer || !Timer->FTimerThread) {
        return;
    }
    TLockGuard lock(Timer->FTimerThread->Lock());  // re-entered by the method form
    Enable(Timer, IntervalMs, FreeAfterFiring, Once, TLcTimerMethod());
    Timer->FThread = Thread;
    Timer->FJob = Job;
}

void TLcTimer::Disable(TLcTimer* Timer)
{
    if (!Timer || !Timer->FTimerThread) {
        return;
    }
    TLockGuard lock(Timer->FTimerThread->Lock());
    if (Timer->FEnabled) {
        Timer->FEnabled = false;
        Timer->FTimerThread->Unfile(Timer);
    }
}

void TLcTimer::Reset(TLcTimer* Timer)
{
    if (!Timer || !Timer->FTimerThread) {
        return;
    }
    TLockGuard lock(Timer->FTimerThread->Lock());
    if (Timer->FEnabled) {
        Timer->FTimerThread->Move(Timer);
    }
}

void TLcTimer::Stop(TLcTimer*& Timer)
{
    TLcTimer* timer = Timer;
    Timer = nullptr;
    TLcTimerUnit* unit = gUnit.load();
    if (!timer || !unit) {
        return;
    }
    {
        // Taking it out of the registry makes this call its only destroyer.
        TLockGuard lock(unit->FRegistryLock);
        if (!unit->Registered(timer)) {
            return;
        }
        unit->Unregister(timer);
    }
    delete timer;
}

bool TLcTimer::Enabled() const
{
    if (!FTimerThread) {
        return FEnabled;
    }
    TLockGuard lock(FTimerThread->Lock());
    return FEnabled;
}

uint32_t TLcTimer::Interval() const
{
    if (!FTimerThread) {
        return FInterval;
    }
    TLockGuard lock(FTimerThread->Lock());
    return FInterval;
}

uint32_t TLcTimer::DueTick() const
{
    if (!FTimerThread) {
        return FDueTick;
    }
    TLockGuard lock(FTimerThread->Lock());
    return FDueTick;
}

// ---- start and end ------------------------------------------------------------------------------

void InitializeLcTimer()
{
    if (gUnitRefs++ > 0) {
        return;
    }
    InitializeLcThrPool();
    gUnit.store(new TLcTimerUnit);
}

void FinalizeLcTimer()
{
    if (gUnitRefs == 0 || --gUnitRefs > 0) {
        return;
    }
    CloseThreadPool();
    TLcTimerUnit* unit = gUnit.load();
    bool wait;
    {
        TLockGuard lock(unit->FRegistryLock);
        for (TLcTimerThread*& thread : unit->FThreads) {
            if (thread) {
                thread->StopThread();
                thread = nullptr;
            }
        }
        // Timers that outlive the unit forget their thread: they can no longer be filed.
        if (unit->FRegistry) {
            std::uintptr_t ignored;
            while (std::uintptr_t key = unit->FRegistry->FindMin(ignored)) {
                unit->FRegistry->Remove(key);
                reinterpret_cast<TLcTimer*>(key)->FTimerThread = nullptr;
            }
        }
        wait = unit->FThreadCount > 0;
    }
    if (wait) {
        WaitForWithMessages(unit->FNoThreads, kStopWaitSeconds);
    }
    bool threadsLeft;
    {
        TLockGuard lock(unit->FRegistryLock);
        threadsLeft = unit->FThreadCount > 0;
    }
    gUnit.store(nullptr);
    if (!threadsLeft) {
        delete unit;  // a thread that outlived the wait still uses it: then it stays
        ReapEndedThreads();
    }
    FinalizeLcThrPool();
}

void SetLcTickSource(TLcTickSource source) { gTickSource.store(source); }

bool LcTimerThreadsSettled()
{
    TLcTimerUnit* unit = gUnit.load();
    if (!unit) {
        return true;
    }
    TLockGuard lock(unit->FRegistryLock);
    const uint32_t now = LcCurrentTick();
    for (TLcTimerThread* thread : unit->FThreads) {
        if (thread && thread->SettledAt() != now) {
            return false;
        }
    }
    return true;
}

void LcWakeTimerThreads()
{
    TLcTimerUnit* unit = gUnit.load();
    if (!unit) {
        return;
    }
    TLockGuard lock(unit->FRegistryLock);
    for (TLcTimerThread* thread : unit->FThreads) {
        if (thread) {
            thread->Wake();
        }
    }
}
