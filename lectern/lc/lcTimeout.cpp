#include "lcTimeout.h"

#include "lectern/lc/lcLog.h"

#include <limits>

std::atomic<bool> LcLogTimeouts{false};

bool TLcTimeoutDisconnect::Run(TLcThread* Thread)
{
    FOwner->Expire("TLcTimeoutDisconnect.Run");
    return true;  // Kill keeps it for the next time
}

TLcTimeout::~TLcTimeout()
{
    try {
        Stop();
    } catch (const Exception& e) {
        LogException("TLcTimeout.Destroy", e, "ERROR");
    }
}

void TLcTimeout::Start(bool MultiThreaded)
{
    if (!FTimer) {
        FTimer = new TLcTimer(MultiThreaded);
    }
    FInForce = -1;
    FJobQueue = nullptr;
    if (MultiThreaded && FConnection) {
        FJobQueue = FConnection->TimeoutJobQueue();
        if (FJobQueue && !FDisconnectJob) {
            FDisconnectJob = std::make_unique<TLcTimeoutDisconnect>(this);
        }
    }
}

void TLcTimeout::Stop()
{
    TLcTimer::Stop(FTimer);
    FInForce = -1;
    FJobQueue = nullptr;
}

void TLcTimeout::Disable()
{
    TLcTimer::Disable(FTimer);
    FInForce = -1;
}

void TLcTimeout::Arm(int32_t seconds)
{
    if (seconds < 0) {
        Disable();
    } else if (seconds == 0 || seconds == FInForce) {
        TLcTimer::Reset(FTimer);
    } else {
        FInForce = seconds;
        const int64_t ms = std::min<int64_t>(int64_t{seconds} * 1000, std::numeric_limits<int32_t>::max());
        if (FJobQueue) {
            TLcTimer::Enable(FTimer, static_cast<int32_t>(ms), false, false, FJobQueue, FDisconnectJob.get());
        } else {
            TLcTimer::Enable(FTimer, static_cast<int32_t>(ms), false, false,
                             TLcTimerMethod(this, &TLcTimeout::TriggerTimeout));
        }
    }
}

void TLcTimeout::TriggerTimeout() { Expire("TLcTimeout.TriggerTimeout"); }

void TLcTimeout::Expire(const char* context)
{
    if (!FConnection) {
        return;
    }
    try {
        if (LcLogTimeouts) {
            Log("ABORT with Timeout. Local " + FConnection->LocalAddr() + ":" + FConnection->LocalPort() +
                    ", Peer " + FConnection->PeerAddr() + ":" + FConnection->PeerPort(),
                "TIMEOUT");
        }
        FConnection->TimedOut();
    } catch (const Exception& e) {
        LogException(context, e, "ERROR");
    }
}

void TLcTimeout::AssignTo(TPersistent* dest) const
{
    auto* other = dynamic_cast<TLcTimeout*>(dest);
    if (!other) {
        TPersistent::AssignTo(dest);
        return;
    }
    other->AfterConnecting = AfterConnecting;
    other->AfterConnect = AfterConnect;
    other->AfterDataReceived = AfterDataReceived;
    other->AfterDataLost = AfterDataLost;
    other->AfterDataSend = AfterDataSend;
    other->AfterDataOut = AfterDataOut;
    other->AfterDataIn = AfterDataIn;
    other->AfterDataSent = AfterDataSent;
}
