// The per-connection time-outs: eight periods in seconds, one per phase of a connection, and
// the timer that closes a connection that stays idle in a phase for longer.
//
// A phase is armed with its property's value v: v < 0 switches the time-out off; v = 0, or v
// equal to the interval in force, restarts the running interval from now (a disabled timer
// stays disabled); any other v puts v seconds in force, periodic. When it runs out, the
// time-out posts its disconnect job to the connection's job queue (multi-threaded connections
// with a provider), so it never runs beside the connection's other jobs; otherwise it runs on
// the timer thread. AfterDataLost arms nothing. The disconnect job is posted by the time-out
// itself (on the timer thread), which counts its postings: a time-out that goes while its job
// still waits in the queue leaves the job to free itself, never a freed job in a queue. The
// job's lock guards only its own counts and is never held while calling out; a time-out that
// goes while its job runs on another thread waits for that run.
//
// The connection is seen through TLcTimeoutTarget, which the connection class implements.
#pragma once

#include "classlib/Components.h"
#include "lectern/lc/lcTimer.h"

#include <atomic>
#include <cstdint>
#include <string>

// Time-outs are logged under "TIMEOUT" only while this is on [false].
extern std::atomic<bool> LcLogTimeouts;

// What a time-out needs of its connection.
class TLcTimeoutTarget {
public:
    virtual ~TLcTimeoutTarget() = default;
    // The job queue of the connection's provider; none without a provider.
    virtual TLcThread* TimeoutJobQueue() = 0;
    virtual std::string LocalAddr() = 0;
    virtual std::string LocalPort() = 0;
    virtual std::string PeerAddr() = 0;
    virtual std::string PeerPort() = 0;
    // Flags the connection as timed out and asks it to disconnect.
    virtual void TimedOut() = 0;
};

class TLcTimeout;

// The job that carries out a time-out on the connection's queue. It is reused: Kill only
// notes that the queue is done with one posting. It may still wait in the queue (or run) when
// its time-out goes; the time-out then leaves it to free itself at its last Kill.
class TLcTimeoutDisconnect : public TLcJob {
public:
    explicit TLcTimeoutDisconnect(TLcTimeout* Owner) : FOwner(Owner) {}
    void Kill() override;
    bool Run(TLcThread* Thread) override;

    CL_CLASS_NAME(TLcTimeoutDisconnect)

private:
    friend class TLcTimeout;

    // Posts the job to the queue and counts the posting.
    void Post(TLcThread* queue);
    // The time-out goes: frees the job now, or at the Kill of its last posting.
    void Release();

    // Guards the fields below; never held while calling out (Expire, PostJob).
    TLcCritSec FLock;
    TLcTimeout* FOwner;  // none once the time-out has gone
    int FPosted = 0;
    uint32_t FRunningIn = 0;          // the thread inside Run's Expire, 0 when none
    TLcEvent FRunDone{true, true};  // set when Run's Expire returns
};

class TLcTimeout : public TPersistent {
public:
    explicit TLcTimeout(TLcTimeoutTarget* Connection) : FConnection(Connection) {}
    ~TLcTimeout() override;
    TLcTimeout(const TLcTimeout&) = delete;
    TLcTimeout& operator=(const TLcTimeout&) = delete;

    // ---- published, seconds ----
    int32_t AfterConnecting = 0;
    int32_t AfterConnect = 0;
    int32_t AfterDataReceived = 0;
    int32_t AfterDataLost = 0;
    int32_t AfterDataSend = 0;
    int32_t AfterDataOut = 0;
    int32_t AfterDataIn = 0;
    int32_t AfterDataSent = 0;

    // Makes the timer when there is none; nothing is in force afterwards.
    void Start(bool MultiThreaded);
    // Frees the timer; nothing in force, no job queue.
    void Stop();
    void Disable();

    void Connecting() { Arm(AfterConnecting); }
    void Connect() { Arm(AfterConnect); }
    void DataReceived() { Arm(AfterDataReceived); }
    void DataSend() { Arm(AfterDataSend); }
    void DataOut() { Arm(AfterDataOut); }
    void DataIn() { Arm(AfterDataIn); }
    void DataSent() { Arm(AfterDataSent); }

    // The interval in force in seconds, -1 when none.
    int32_t IntervalInForce() const { return FInForce; }
    TLcTimer* Timer() const { return FTimer; }
    TLcThread* JobQueue() const { return FJobQueue; }

    CL_CLASS_NAME(TLcTimeout)

protected:
    void AssignTo(TPersistent* dest) const override;

private:
    friend class TLcTimeoutDisconnect;

    void Arm(int32_t seconds);
    // The time-out itself: logged, then the connection is told.
    void TriggerTimeout();
    // On the multi-threaded timer thread: hands the disconnect job to the job queue.
    void PostDisconnect();
    void Expire(const char* context);

    // Disposed of through TLcTimer::Stop: the timer registry decides whether it still lives.
    TLcTimer* FTimer = nullptr;
    int32_t FInForce = -1;
    TLcTimeoutTarget* FConnection;
    TLcThread* FJobQueue = nullptr;
    // Frees itself when the time-out goes while a queue still holds it (Release).
    TLcTimeoutDisconnect* FDisconnectJob = nullptr;
};
