// Threads of the class layer: TThread, and the one way of running code on the main thread.
//
// TThread is a thread object with a virtual Execute. It is made, set up, then started with
// Start (a constructor cannot start it: Execute is not callable before the object is whole).
// Its entry is the one catching wrapper of every thread of the program: an exception that
// leaves Execute is swallowed there and never unwinds through the system's thread entry.
// A thread set FreeOnTerminate before Start frees itself when Execute returns; nobody may
// touch it afterwards and nobody waits for it. Its system thread, still a few steps from its
// end at that moment, is handed to a list of ended threads; ReapEndedThreads waits for those
// (shut-down code calls it before the program exits, as a program must not exit while a
// thread is still leaving: on Windows that can hang the exit). Any other thread is waited
// for with WaitFor, and a derived class that still runs must be waited for in its own
// destructor.
//
// Main-thread synchronisation (one mechanism for the whole program):
//  - Synchronize(method) called on a thread other than the main thread appends the call to
//    the main thread's queue, wakes the main thread and blocks until the main thread has run
//    it; an exception of the method is raised again in the calling thread. On the main thread
//    it calls the method at once.
//  - The main thread runs the queued calls in CheckSynchronize. Whoever owns the main thread's
//    loop calls it: TApplication's loop (Forms.h) after each message and before it waits (on
//    Windows the waiting thread posts a null message to the main thread, which ends that
//    wait), WaitForWithMessages on every poll, and on the host a test or the main loop.
//  - Nobody draining the queue means a blocked Synchronize: shut-down code that waits for
//    threads waits with WaitForWithMessages on the main thread.
// The main thread is the thread that loaded the program (recorded before main runs).
#pragma once

#include "Events.h"
#include "Platform.h"
#include "PlatformThreads.h"
#include "SyncObjs.h"

#include <atomic>
#include <cstdint>
#include <memory>

using TThreadMethod = TEvent<>;

class TThread : public TObject {
public:
    TThread();
    // A started thread that does not free itself is told to end and waited for.
    ~TThread() override;
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on a new thread; raises EThread when the system refuses one.
    void Start();
    // Sets the flag that Execute is expected to look at.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    // Waits until Execute has returned (not for a thread that frees itself).
    void WaitFor();

    // Before Start only.
    void SetFreeOnTerminate(bool value) { FFreeOnTerminate = value; }
    bool FreeOnTerminate() const { return FFreeOnTerminate; }
    // The system's number of the thread, 0 until it runs.
    uint32_t ThreadID() const { return FThreadID.load(); }

    // Runs the method on the main thread and waits for it (see the top of this file).
    static void Synchronize(const TThreadMethod& method);

    CL_CLASS_NAME(TThread)

protected:
    virtual void Execute() = 0;

private:
    static void Entry(void* self);

    std::unique_ptr<plat::Thread> FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<uint32_t> FThreadID{0};
    bool FStarted = false;
    bool FFreeOnTerminate = false;
};

// Waits (up to 10 s) for free-on-terminate TThreads whose Execute has returned to leave their
// destructors, then for their system threads. Call it holding no lock such a destructor takes.
void ReapEndedThreads();

uint32_t MainThreadID();
inline bool InMainThread() { return plat::CurrentThreadId() == MainThreadID(); }

// Main thread only (elsewhere it does nothing and answers false): waits up to timeoutMs for a
// queued call when none is queued, then runs every queued call in order. True when one ran.
bool CheckSynchronize(uint32_t timeoutMs = 0);

// Waits up to `seconds` for the event while the calling thread's window messages and, on the
// main thread, its queued synchronised calls keep flowing: it waits 10 ms at a time; while the
// event is not signalled it dispatches whatever is pending; once it is signalled it goes on
// dispatching until ten polls have found nothing, pausing 10 ms after each empty poll. A quit
// message stops the dispatching of window messages (it stays queued for the program's loop),
// not the wait: the synchronised calls keep running. True when the event was signalled.
bool WaitForWithMessages(TSyncEvent& event, uint32_t seconds);
