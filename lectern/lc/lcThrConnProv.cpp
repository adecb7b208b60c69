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
    if (TLcThread* queue = GetThread()) {
        return queue->InWorker();
    }
    return MultiThreaded() ? TLcThread::InMainThread() : true;
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
