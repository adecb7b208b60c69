#include "lectern/lc/lcSockBase.h"

#include <memory>

namespace {

class TLcSockBaseUnit : public TObject {
public:
    TLcSockBaseUnit()
    {
        for (int code = 0; code < kLcSharedSockMessages; ++code)
            FMessages[code] = std::make_unique<TLcSockMessage>(code);
    }
    TLcSockMessage* Message(int code) const { return FMessages[code].get(); }

    CL_CLASS_NAME(TLcSockBaseUnit)

private:
    std::unique_ptr<TLcSockMessage> FMessages[kLcSharedSockMessages];
};

std::unique_ptr<TLcSockBaseUnit> gUnit;

template <class... Args>
bool Fire(bool silenced, const TEvent<Args...>& event, Args... args)
{
    if (silenced)
        return true;
    if (!event.Assigned())
        return false;
    event(args...);
    return true;
}

}  // namespace

TLcSockMessage* LcSockMessage(int code)
{
    if (!gUnit || code < 0 || code >= kLcSharedSockMessages)
        return nullptr;
    return gUnit->Message(code);
}

void InitializeLcSockBase()
{
    if (!gUnit)
        gUnit = std::make_unique<TLcSockBaseUnit>();
}

void FinalizeLcSockBase()
{
    CloseThreadPool();
    gUnit.reset();
}

bool TLcSocketMessageJob::Run(TLcThread* Thread)
{
    if (FSocket)
        FSocket->DoMessage(FCode, 0);
    return false;
}

bool TLcSocketMesDataJob::Run(TLcThread* Thread)
{
    TLcSocketBase* socket = FSocket;
    FSocket = nullptr;
    if (socket)
        socket->DoMessage(FCode, FError);
    return true;
}

void TLcSocketMesDataJob::Kill()
{
    FSocket = nullptr;
    delete this;
}

bool TLcSocketBase::TriggerChangeState(int NewState)
{
    return Fire<TLcSocketBase*, int>(FSilenced, OnChangeState, this, NewState);
}
bool TLcSocketBase::TriggerSessionAvailable()
{
    return Fire<TLcSocketBase*>(FSilenced, OnSessionAvailable, this);
}
bool TLcSocketBase::TriggerDataReceived()
{
    return Fire<TLcSocketBase*>(FSilenced, OnDataReceived, this);
}
bool TLcSocketBase::TriggerDataSent() { return Fire<TLcSocketBase*>(FSilenced, OnDataSent, this); }
bool TLcSocketBase::TriggerDnsLookupDone()
{
    return Fire<TLcSocketBase*>(FSilenced, OnDnsLookupDone, this);
}
bool TLcSocketBase::TriggerReserved() { return Fire<TLcSocketBase*>(FSilenced, OnReserved, this); }
bool TLcSocketBase::TriggerDataOut(int Count)
{
    return Fire<TLcSocketBase*, int>(FSilenced, OnDataOut, this, Count);
}
bool TLcSocketBase::TriggerDataIn(int Count)
{
    return Fire<TLcSocketBase*, int>(FSilenced, OnDataIn, this, Count);
}
bool TLcSocketBase::TriggerBgException(Exception& E, bool& MayClose)
{
    return Fire<TLcSocketBase*, Exception&, bool&>(FSilenced, OnBgException, this, E, MayClose);
}

void TLcSocketBase::PostSocketMessage(int Code, int Error)
{
    if (FSilenced)
        return;
    if (FThread) {
        TLcSockMessage* shared = LcSockMessage(Code);
        if (Error != 0 || !shared) {
            auto* job = new TLcSocketMesDataJob(this, Code, Error);
            if (!TLcThread::PostJob(FThread, job))
                delete job;
        } else {
            TLcThread::PostJob(FThread, shared);
        }
        return;
    }
    DoMessage(Code, Error);
}

bool TLcSocketBase::PostToSocketThread(int Code, int Error)
{
    if (!FThread && !FSilenced)
        return false;
    PostSocketMessage(Code, Error);
    return true;
}
