// Unit lcThrConnProv: the threaded server provider base.
//
// A derived provider names its two job queues: the queue of its client connection and the
// queue of its listener (either may be none). The thread operations follow from them:
//  - GetThread: the client queue, else the listener queue, else none;
//  - PostJob: to the queue; without one a single-threaded provider runs a TLcJob at once;
//  - InsideThread: with a queue, whether the caller runs it; without one, for a
//    multi-threaded provider whether the caller is the main thread, else true;
//  - Sync: a multi-threaded provider off the main thread hands the method to its queue's
//    Sync; otherwise the method is called at once.
#pragma once

#include "lectern/lc/lcConnProv.h"

class TLcThrServerProvider : public TLcBasicServerProvider {
public:
    // The job queue of the client connection, and that of the listener.
    virtual TLcThread* ClientThread() = 0;
    virtual TLcThread* ServerThread() = 0;

    TLcThread* GetThread() override;
    // A nil job answers true. Without a queue a single-threaded provider runs a TLcJob at
    // once (Run with no queue, Kill when it answers true) and answers true; otherwise false.
    bool PostJob(TObject* job, bool highPriority) override;
    bool InMainThread() override;
    bool InsideThread() override;
    // A nil method answers false; otherwise true, but false when a multi-threaded provider
    // off the main thread has no queue.
    bool Sync(const TEvent<>& method) override;

    CL_CLASS_NAME(TLcThrServerProvider)
};
