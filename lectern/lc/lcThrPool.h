// Unit lcThrPool: the worker threads that run all background work of the library.
//
// Work is posted as jobs to job queues (TLcThread: one per connection, listener or socket
// driver). A pool of worker threads (TLcWorkerThread) runs the queues so that at most one
// worker runs one queue at any moment: the jobs of a queue run one after another in posting
// order (a high-priority job goes to the front), while different queues run on different
// workers at the same time.
//
// The pool:
//  - workers are made on demand up to kLcMaxWorkers; whenever a worker is handed out, the
//    idle stack is topped up with spare workers until kLcSpareWorkers are idle;
//  - idle workers form a stack: the most recently idle worker is handed out first;
//  - queues that hold jobs and wait for a worker stand in the ready queues, first come first
//    served; with every worker busy a queue simply waits there;
//  - a worker that becomes idle while kLcIdleLimit workers already are idle ends.
// One pool lock (re-entrant) guards the lists, the counts, the queues' flags and job lists,
// and the binding of queues to workers; jobs run outside it.
//
// Jobs are TObject pointers. A TLcJob that finishes (Run answers true) is disposed of with its
// Kill; jobs left in a queue that ends are killed too. The stop sentinel (LcStopMessage) and
// other TLcBaseMessage objects are shared markers that nobody kills.
//
// Start and end are explicit: InitializeLcThrPool / FinalizeLcThrPool, reference-counted.
// CloseThreadPool stops the pool: every idle worker ends at once, a busy one when its current
// job returns; no worker is bound or made afterwards and PostJob answers false. Finalization
// waits up to 10 s for the workers while the calling thread's messages keep flowing.
#pragma once

#include "classlib/Threads.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/lcValues.h"
#include "lectern/lc/memXList.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class TLcInfo;
class TLcThread;
class TLcWorkerThread;

CL_DECLARE_EXCEPTION(EThreadLimitReached, Exception)

// ---- settings (fixed in this program) -------------------------------------------------------

constexpr uint16_t kLcSpareWorkers = 3;
constexpr uint16_t kLcIdleLimit = 2048;
constexpr uint16_t kLcMaxWorkers = 64;

// Exceptions caught in the pool are logged under "THREAD" only while this is on [false].
extern std::atomic<bool> LcLogThreadExceptions;

// Runs a method on the main thread on behalf of a worker; nullptr means TThread::Synchronize.
using TLcSyncProcedure = void (*)(const TThreadMethod& method);
TLcSyncProcedure LcSyncProcedure();
void SetLcSyncProcedure(TLcSyncProcedure procedure);

// ---- jobs ------------------------------------------------------------------------------------

// The unit of work.
class TLcJob : public TLcObject {
public:
    // Does the work on the given queue (none when a caller runs it without one); true means
    // the job is finished and is to be killed now.
    virtual bool Run(TLcThread* Thread) = 0;

    CL_CLASS_NAME(TLcJob)
};

// A shared marker posted as a job; derived queues recognise their own in RunJob. Never killed.
class TLcBaseMessage : public TObject {
public:
    explicit TLcBaseMessage(std::string Name = std::string()) : FName(std::move(Name)) {}
    const std::string& Name() const { return FName; }

    CL_CLASS_NAME(TLcBaseMessage)

private:
    std::string FName;
};

// The stop sentinel: posted to a queue it means "finish this queue". None while the pool
// does not exist.
TLcBaseMessage* LcStopMessage();

// ---- job queues -------------------------------------------------------------------------------

// A job queue. Made with new; its life ends in the pool: the worker that runs the job that
// ends it (the stop sentinel, or a RunJob answer of true) finalizes and frees it. Free on a
// queue that is still alive is refused.
class TLcThread : public TObject {
public:
    // Raises Exception "Thread Pool already closed." when the pool does not exist.
    TLcThread();

    // Queues a job. A nil job answers true and queues nothing. False when the pool is closed
    // or the queue is finalized: the job then stays with the caller.
    static bool PostJob(TLcThread* Thread, TObject* Job, bool HighPriority = false);

    // Posts the stop sentinel behind the waiting jobs; the queue then ends in its worker.
    // False as PostJob; the queue then stays with the caller.
    bool Stop();

    // Frees a finalized queue; a live one raises EInvalidOperation
    // "TLcThread.Destroy called directly. Use TLcThread.Stop() instead.".
    void Free();

    // Under the pool lock: out of the live queues, the waiting jobs killed (but the stop
    // sentinel), the job list and Info freed. A second call raises EInvalidPointer
    // "TLcThread.Finalize called more than once.".
    void Finalize();

    // Runs a method on the main thread on behalf of the current job; raises Exception
    // "No thread assigned." when no worker runs the queue.
    void Sync(const TThreadMethod& Method);
    // True on the worker that runs the queue, and on the main thread while that worker waits
    // in Sync; false when no worker runs it.
    bool InWorker() const;
    static bool InMainThread();

    TLcInfo* Info() const { return FInfo.get(); }
    TObject* CurrentJob() const { return FCurrentJob; }
    bool Alive() const { return FAlive; }

    CL_CLASS_NAME(TLcThread)

protected:
    ~TLcThread() override;

    // Runs the current job: it must be a TLcJob, else Exception
    // "Error!! TLcThread -> Unknown Job class: <class name>". A finished job is killed.
    // True ends the queue; the base answers false.
    virtual bool RunJob();
    // Kills the current job when it is a TLcJob; an exception is logged and swallowed.
    virtual void KillJob();

private:
    friend class TLcWorkerThread;
    friend struct TLcPool;

    std::unique_ptr<tXList> FJobs;
    std::unique_ptr<TLcInfo> FInfo;
    bool FActive = false;
    bool FQueued = false;
    bool FAlive = true;
    TLcWorkerThread* FWorker = nullptr;
    TObject* FCurrentJob = nullptr;
};

// Ends the pool (first call only; see the top of this file).
void CloseThreadPool();

// ---- unit start and end ----------------------------------------------------------------------

// First call: records the main thread, opens the pool, makes its lock, lists and sentinel.
void InitializeLcThrPool();
// Last call: CloseThreadPool, then frees the pool's parts (kept when a worker outlived the wait).
void FinalizeLcThrPool();

// ---- seams for tests and benchmarks -----------------------------------------------------------

struct TLcPoolCounts {
    int Workers;     // constructed and not yet destroyed
    int Idle;        // on the idle stack
    int Ready;       // queues waiting for a worker
    int LiveQueues;
};
TLcPoolCounts LcPoolCounts();
