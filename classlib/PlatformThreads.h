// The thread primitives behind the platform seam: a re-entrant critical section and an
// event (manual or auto reset) with a timed wait. On Windows they are a CRITICAL_SECTION and
// an unnamed CreateEvent object; on the host a recursive mutex and a condition variable.
//
// The class layer's TCriticalSection and TSyncEvent (SyncObjs.h) stand on these.
#pragma once

#include <cstdint>
#include <memory>

namespace plat {

// Waits with this time-out never time out.
constexpr uint32_t kInfiniteWait = 0xFFFFFFFFu;

enum class WaitResult { Signaled, Timeout, Abandoned, Error };

// A lock that the thread holding it may enter again; it must leave as often as it entered.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    void Leave();
    bool TryEnter();  // true when entered without waiting

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

// An unnamed event. A manual-reset event stays signalled until Reset and lets every waiter
// through; an auto-reset event lets one waiter through per Set and resets itself.
class Event {
public:
    Event(bool manualReset, bool initialState);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    WaitResult Wait(uint32_t timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

}  // namespace plat
