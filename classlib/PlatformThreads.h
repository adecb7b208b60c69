// The thread primitives behind the platform seam: a re-entrant critical section, an event
// (manual or auto reset) with a timed wait, a thread of execution, and the two calls that
// keep a thread's window messages flowing. On Windows they are a CRITICAL_SECTION, an
// unnamed CreateEvent object, a _beginthreadex thread and PeekMessage/PostThreadMessage; on
// the host a recursive mutex, a condition variable, a std::thread, and no messages at all.
//
// The class layer's TCriticalSection and TSyncEvent (SyncObjs.h) and TThread (Threads.h)
// stand on these.
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

// A thread of execution. The entry must not let an exception out (TThread wraps it).
// A thread started joinable is waited for with Join, which must be called once before the
// object goes; a detached thread is forgotten at once and may outlive this object.
class Thread {
public:
    using Entry = void (*)(void* arg);

    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when the system could not create the thread.
    bool Start(Entry entry, void* arg, bool detached);
    // Waits until a joinable thread has ended; nothing for a detached or unstarted one.
    void Join();

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

// What one look at the calling thread's message queue found.
enum class PumpResult { Empty, Dispatched, Quit };

// Takes one waiting window message of the calling thread and dispatches it. A quit message
// is put back for the message loop and reported as Quit. The host has no messages: Empty.
PumpResult PumpOneMessage();

// Wakes a thread that sleeps in its message loop (a null message posted to it), so that it
// looks at work queued for it. Nothing on the host, whose main loop waits on an event.
void WakeThread(uint32_t threadId);

}  // namespace plat
