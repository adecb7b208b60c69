#include "lcTimeout.h"

#include "lectern/lc/lcLog.h"

#include <limits>

std::atomic<bool> LcLogTimeouts{false};

namespace {
constexpr uint32_t kRunPollMs = 10;
}  // namespace

bool TLcTimeoutDisconnect::Run(TLcThread* Thread)
{
    TLcTimeout* owner;
    {
        TLockGuard lock(FLock);
        owner = FOwner;
        if (owner) {
            FRunningIn = plat::CurrentThreadId();
            FRunDone.ResetEvent();
        }
    }
    if (owner) {
        // No lock held: the time-out's end may wait for a timer callback that posts this job.
        const auto done = [this] {
            TLockGuard lock(FLock);
            FRunningIn = 0;
            FRunDone.SetEvent();
        };
        try {
            owner->Expire("TLcTimeoutDisconnect.Run");
        } catch (...) {
            done();
            throw;
        }
        done();
    }
    return true;  // Kill keeps it for the next time
}

void TLcTimeoutDisconnect::Kill()
{
    bool orphan;
    {
        TLockGuard lock(FLock);
        --FPosted;
        orphan = !FOwner && FPosted == 0;
    }
    if (orphan) {
        delete this;
    }
}

void TLcTimeoutDisconnect::Post(TLcThread* queue)
{
    {
        TLockGuard lock(FLock);
        ++FPosted;
    }
    // Outside the lock: the pool's lock is taken here, and the pool kills jobs under it.
    if (!TLcThread::PostJob(queue, this, false)) {
        Kill();  // refused: the queue holds nothing of it
    }
}

void TLcTimeoutDisconnect::Release()
{
    bool free;
    {
        TLockGuard lock(FLock);
        FOwner = nullptr;
        // A run on another thread still uses the time-out: it ends before the time-out goes.
        const uint32_t caller = plat::CurrentThreadId();
        while (FRunningIn != 0 && FRunningIn != caller) {
            FLock.Leave();
            FRunDone.WaitFor(kRunPollMs);
            CheckSynchronize();
            FLock.Enter();
        }
        free = FPosted == 0;
    }
    if (free) {
        delete this;
    }
}

TLcTimeout::~TLcTimeout()
{
    try {
        Stop();  // waits for a PostDisconnect in flight
        if (FDisconnectJob) {
            FDisconnectJob->Release();
        }
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
            FDisconnectJob = new TLcTimeoutDisconnect(this);
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
        const TLcTimerMethod method = FJobQueue ? TLcTimerMethod(this, &TLcTimeout::PostDisconnect)
                                                : TLcTimerMethod(this, &TLcTimeout::TriggerTimeout);
        TLcTimer::Enable(FTimer, static_cast<int32_t>(ms), false, false, method);
    }
}

void TLcTimeout::TriggerTimeout() { Expire("TLcTimeout.TriggerTimeout"); }

void TLcTimeout::PostDisconnect()
{
    TLcThread* queue = FJobQueue;
    if (queue && FDisconnectJob) {
        FDisconnectJob->Post(queue);
    }
}

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
