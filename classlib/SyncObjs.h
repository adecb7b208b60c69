// The class layer's synchronisation objects: a re-entrant critical section and an unnamed
// event with a timed wait, over the primitives of PlatformThreads.h.
//
// The event class is TSyncEvent, since TEvent names the method-pointer delegate (Events.h).
// Waits without end take plat::kInfiniteWait.
#pragma once

#include "PlatformThreads.h"
#include "SysUtils.h"

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };


class TCriticalSection : public TObject {
public:
    TCriticalSection() = default;
    TCriticalSection(const TCriticalSection&) = delete;
    TCriticalSection& operator=(const TCriticalSection&) = delete;

    void Acquire() { FSection.Enter(); }
    void Release() { FSection.Leave(); }
    void Enter() { FSection.Enter(); }
    void Leave() { FSection.Leave(); }
    bool TryEnter() { return FSection.TryEnter(); }

    CL_CLASS_NAME(TCriticalSection)

private:
    plat::CriticalSection FSection;
};

// Holds a lock from its construction to the end of its scope: a critical section, or any
// object that is entered and left (a connection provider guards its flags so).
template <class TLock>
class TLockGuard {
public:
    explicit TLockGuard(TLock& lock) : FLock(lock) { FLock.Enter(); }
    ~TLockGuard() { FLock.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;

private:
    TLock& FLock;
};

class TSyncEvent : public TObject {
public:
    TSyncEvent(bool manualReset, bool initialState) : FEvent(manualReset, initialState) {}
    TSyncEvent(const TSyncEvent&) = delete;
    TSyncEvent& operator=(const TSyncEvent&) = delete;

    void SetEvent() { FEvent.Set(); }
    void ResetEvent() { FEvent.Reset(); }
    TWaitResult WaitFor(uint32_t timeoutMs)
    {
        switch (FEvent.Wait(timeoutMs)) {
        case plat::WaitResult::Signaled: return TWaitResult::wrSignaled;
        case plat::WaitResult::Timeout: return TWaitResult::wrTimeout;
        case plat::WaitResult::Abandoned: return TWaitResult::wrAbandoned;
        default: return TWaitResult::wrError;
        }
    }

    CL_CLASS_NAME(TSyncEvent)

private:
    plat::Event FEvent;
};
