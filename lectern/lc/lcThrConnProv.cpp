#include "lcThrConnProv.h"

#include "lectern/lc/lcThrPool.h"

TLcThread* TLcThrServerProvider::GetThread()
{
    if (TLcThread* client = ClientThread()) {
        return client;
    }
    return ServerThread();
}

bool TLcThrServerProvider::PostJob(TObject* job, bool highPriority)
{
    if (job == nullptr) {
        return true;
    }
    if (TLcThread* queue = GetThread()) {
        return TLcThread::PostJob(queue, job, highPriority);
    }
    return !MultiThreaded() && LcRunJobAtOnce(job);
}

bool TLcThrServerProvider::InMainThread() { return TLcThread::InMainThread(); }

bool TLcThrServerProvider::InsideThread()
{
    // Under the provider's lock: the queue asked is the provider's own, and alive.
    Enter();
    TLcThread* queue = GetThread();
    const bool inside = queue != nullptr ? queue->InWorker() : !MultiThreaded() || TLcThread::InMainThread();
    Leave();
    return inside;
}

bool TLcThrServerProvider::Sync(const TEvent<>& method)
{
    if (!method) {
        return false;
    }
    if (MultiThreaded() && !TLcThread::InMainThread()) {
        TLcThread* queue = GetThread();
        if (queue == nullptr) {
            return false;
        }
        queue->Sync(method);
    } else {
        method();
    }
    return true;
}
