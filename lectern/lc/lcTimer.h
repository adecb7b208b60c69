// Unit lcTimer: timers that call a method or post a job to a job queue after an interval,
// once or periodically.
//
// Time is counted in ticks of 50 ms of a monotonic clock since the unit started (changes of
// the wall clock move no timer); only the low 32 bits of the count are used. An interval in
// milliseconds becomes ms div 50 ticks, at least one.
//
// Two timer threads, each made on first use, keep the due timers in an ordered tree from due
// tick to the set of timers due then: one fires the timers that are not multi-threaded and
// runs them on the main thread (TThread::Synchronize, or the pool's synchronise procedure
// when one is set), the other fires multi-threaded timers on its own thread. A periodic timer
// is filed again, one interval on from the tick it fired at, before its callback runs, so a
// slow callback does not stretch the period.
//
// Safety against destruction while firing: every living timer stands in a registry (one
// lock). A timer is fired only while it is registered, enabled and still filed for the tick
// being fired: Disable, Reset and Stop between the moment its tick came due and its callback
// take it out of that tick. Destroying a timer (Stop, delete) from another thread while its
// callback runs waits until the callback has returned; from inside its own callback it does
// not wait. Callbacks run after every lock is released.
//
// Locks: the registry lock is taken before a timer thread's lock, never the other way round.
//
// Start and end are explicit: InitializeLcTimer / FinalizeLcTimer (reference-counted); the
// finalization closes the worker pool, stops both timer threads and waits up to 10 s for
// them while the calling thread's messages keep flowing.
#pragma once

#include "classlib/Events.h"
#include "lectern/lc/lcThrPool.h"

#include <atomic>
#include <cstdint>

class TLcTimerThread;

using TLcTimerMethod = TEvent<>;

constexpr uint32_t kLcTickMs = 50;

// Exceptions of timers are logged under "ERROR" only while this is on [false].
extern std::atomic<bool> LcLogTimerExceptions;

class TLcTimer : public TObject {
public:
    // Starts the matching timer thread when it does not run yet and registers the timer.
    explicit TLcTimer(bool MultiThreaded);
    // Unregisters and unfiles the timer; waits for its callback running on another thread.
    ~TLcTimer() override;
    TLcTimer(const TLcTimer&) = delete;
    TLcTimer& operator=(const TLcTimer&) = delete;

    // Class operations; a nil timer is ignored. Once := Once or FreeAfterFiring. A disabled
    // timer is enabled and filed at now + interval, an enabled one is moved there.
    static void Enable(TLcTimer* Timer, int32_t IntervalMs, bool FreeAfterFiring, bool Once,
                       const TLcTimerMethod& Method);
    static void Enable(TLcTimer* Timer, int32_t IntervalMs, bool FreeAfterFiring, bool Once,
                       TLcThread* Thread, TLcJob* Job);
    static void Disable(TLcTimer* Timer);
    // An enabled, filed timer starts its interval again from now.
    static void Reset(TLcTimer* Timer);
    // Frees a timer that is still registered; the variable is cleared in every case.
    static void Stop(TLcTimer*& Timer);

    bool MultiThreaded() const { return FMultiThreaded; }
    // Read under the timer thread's lock.
    bool Enabled() const;
    uint32_t Interval() const;  // ticks
    uint32_t DueTick() const;   // 0 when not filed

    CL_CLASS_NAME(TLcTimer)

private:
    friend class TLcTimerThread;
    friend void FinalizeLcTimer();

    bool FOnce = false;
    bool FFreeAfterFiring = false;
    TLcTimerMethod FMethod;
    TLcThread* FThread = nullptr;
    TLcJob* FJob = nullptr;
    const bool FMultiThreaded;
    bool FEnabled = false;
    uint32_t FInterval = 0;
    uint32_t FDueTick = 0;
    TLcTimerThread* FTimerThread = nullptr;  // none once the unit has ended
};

// The current tick.
uint32_t LcCurrentTick();

// ---- unit start and end ----------------------------------------------------------------------

// First call: the pool's start (InitializeLcThrPool), the start of the tick count, the
// registry lock and the "no timer threads" event.
void InitializeLcTimer();
// Last call: closes the pool, stops both timer threads, waits for them (10 s, messages
// flowing), frees the registry, then the pool's end (FinalizeLcThrPool).
void FinalizeLcTimer();

// ---- seams for tests ----------------------------------------------------------------------------

// The tick count comes from this function instead of the clock; nullptr restores the clock.
using TLcTickSource = uint32_t (*)();
void SetLcTickSource(TLcTickSource source);
// Makes both timer threads read the tick again (after a test has moved its tick source).
void LcWakeTimerThreads();
// True when every timer thread has looked at the current tick, fired what was due and waits.
bool LcTimerThreadsSettled();
