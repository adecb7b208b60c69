// Unit lcSockBase: the socket as the server providers see it.
//
// TLcSocketBase holds the settings of a socket, its nine event slots and the routing of socket
// messages: a socket with a job queue (a multi-threaded server's) turns every network event
// into a job of that queue, so its handlers run on a pool worker, one after another; a socket
// without one handles the event at once on its window's thread. The operations themselves
// (listen, accept, read, write, close) belong to the derived socket classes.
//
// Socket message codes: 0 connect result, 1 close, 2 read, 3 write, 4 accept, 5 start
// connecting, 6 check read, 7 check write, 8 close request.
#pragma once

#include "lectern/lc/lcSockApi.h"
#include "lectern/lc/lcThrPool.h"

#include "classlib/Events.h"

#include <atomic>
#include <cstdint>
#include <string>

class TLcSocketBase;

// Event shapes; every event receives the socket as sender.
using TLcSockNotifyEvent = TEvent<TLcSocketBase*>;
using TLcSockStateEvent = TEvent<TLcSocketBase*, int>;            // the new state (a TLcSockState)
using TLcSockCountEvent = TEvent<TLcSocketBase*, int>;            // a byte count
using TLcSockBgExceptionEvent = TEvent<TLcSocketBase*, Exception&, bool&>;  // may-close in/out

// Socket states, as a socket keeps them (State) and reports their changes (OnChangeState). 1 to 8
// are the steps of a socket's life (4 and 6 are not used). 9 on are failures that only the
// blocking socket reports: it keeps closed and reports the failure as the change to it.
enum TLcSockState : int {
    kSockOpened = 1,
    kSockBound = 2,
    kSockConnecting = 3,
    kSockConnected = 5,
    kSockListening = 7,
    kSockClosed = 8,
    kSockListenError = 9,
    kSockListenerLost = 10,
    kSockConnectError = 11,
    kSockConnectionLost = 12,
};

// Socket message codes.
enum : int {
    kSockMsgConnect = 0,
    kSockMsgClose = 1,
    kSockMsgRead = 2,
    kSockMsgWrite = 3,
    kSockMsgAccept = 4,
    kSockMsgStartConnect = 5,
    kSockMsgCheckRead = 6,
    kSockMsgCheckWrite = 7,
    kSockMsgCloseRequest = 8,
};
// Codes 0 to kLcSharedSockMessages - 1 have one shared message object each.
constexpr int kLcSharedSockMessages = 21;

// A socket message without an error code, posted as a job; shared, never killed.
class TLcSockMessage : public TLcBaseMessage {
public:
    explicit TLcSockMessage(int Code) : TLcBaseMessage("TLcSockMessage"), FCode(Code) {}
    int Code() const { return FCode; }

    CL_CLASS_NAME(TLcSockMessage)

private:
    int FCode;
};

// The shared message for a code of 0 to 20; nullptr outside that range or before the unit
// started.
TLcSockMessage* LcSockMessage(int code);

// A job that hands a code to a socket's message entry; stays in the queue's hands.
class TLcSocketMessageJob : public TLcJob {
public:
    TLcSocketMessageJob(TLcSocketBase* Socket, int Code) : FSocket(Socket), FCode(Code) {}

    bool Run(TLcThread* Thread) override;
    void Kill() override { FSocket = nullptr; }

    TLcSocketBase* Socket() const { return FSocket; }
    int Code() const { return FCode; }

    CL_CLASS_NAME(TLcSocketMessageJob)

protected:
    TLcSocketBase* FSocket;
    int FCode;
};

// A socket message with an error code (or a code above 20): runs once and is freed.
class TLcSocketMesDataJob : public TLcSocketMessageJob {
public:
    TLcSocketMesDataJob(TLcSocketBase* Socket, int Code, int Error)
        : TLcSocketMessageJob(Socket, Code), FError(Error)
    {
    }

    bool Run(TLcThread* Thread) override;
    void Kill() override;

    CL_CLASS_NAME(TLcSocketMesDataJob)

private:
    int FError;
};

class TLcSocketBase : public TObject {
public:
    TLcSocketBase() = default;
    TLcSocketBase(const TLcSocketBase&) = delete;
    TLcSocketBase& operator=(const TLcSocketBase&) = delete;

    // ---- event slots ----
    TLcSockStateEvent OnChangeState;
    TLcSockNotifyEvent OnSessionAvailable;
    TLcSockNotifyEvent OnDataReceived;
    TLcSockNotifyEvent OnDataSent;
    TLcSockNotifyEvent OnDnsLookupDone;
    TLcSockNotifyEvent OnReserved;
    TLcSockCountEvent OnDataOut;
    TLcSockCountEvent OnDataIn;
    TLcSockBgExceptionEvent OnBgException;

    // ---- settings ----
    virtual void SetAddr(const std::string& Value) { FAddr = Value; }
    virtual void SetMultiCast(bool Value) { FMultiCast = Value; }
    virtual void SetMultiCastAddrStr(const std::string& Value) { FMultiCastAddr = Value; }
    virtual void SetMultiCastTTL(int Value) { FMultiCastTTL = Value; }
    virtual void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
    virtual void SetPort(const std::string& Value) { FPort = Value; }
    virtual void SetProto(int Value) { FProto = Value; }
    virtual void SetReuseAddr(bool Value) { FReuseAddr = Value; }

    // The receive and send time-outs of the API (seconds; 0 none), taken from the
    // connection's TLcTimeoutsOfAPI by the provider.
    void SetApiTimeouts(int ReceiveSeconds, int SendSeconds)
    {
        FReceiveTimeout = ReceiveSeconds;
        FSendTimeout = SendSeconds;
    }

    const std::string& Addr() const { return FAddr; }
    const std::string& Port() const { return FPort; }
    bool MultiThreaded() const { return FMultiThreaded; }
    int Proto() const { return FProto; }
    bool Silenced() const { return FSilenced; }
    bool RestartRequested() const { return FRestartRequested; }
    void SetRestartRequested(bool Value) { FRestartRequested = Value; }
    TLcThread* Thread() const { return FThread; }

    // ---- event triggers: true when silenced (doing nothing), else whether a handler ran ----
    virtual bool TriggerChangeState(int NewState);
    virtual bool TriggerSessionAvailable();
    virtual bool TriggerDataReceived();
    virtual bool TriggerDataSent();
    virtual bool TriggerDnsLookupDone();
    virtual bool TriggerReserved();
    virtual bool TriggerDataOut(int Count);
    virtual bool TriggerDataIn(int Count);
    virtual bool TriggerBgException(Exception& E, bool& MayClose);

    // A new socket of this one's own class (accept makes its sockets through it).
    virtual TLcSocketBase* Create() const = 0;

    // ---- socket operations ----
    virtual void Sync() = 0;
    virtual void Listen() = 0;
    virtual TLcSocketBase* GetNewSocket() = 0;
    virtual void StartNewSocket() = 0;
    virtual void Connect() = 0;
    virtual void Close() = 0;
    // Ends the socket's life: the object is freed (at once, or when its outermost event ends).
    virtual void Release() = 0;
    virtual void DoMessage(int Code, int Error) = 0;
    virtual int ReceiveStr(std::string& Text) = 0;
    virtual int SendStr(std::string Text) = 0;
    virtual int BuffStr(const std::string& Text) = 0;
    virtual std::string GetPeerAddr() = 0;
    virtual std::string GetPeerPort() = 0;
    virtual std::string GetLocalAddr() = 0;
    virtual std::string GetLocalPort() = 0;
    virtual std::string GetLastErrorText() = 0;

    void SetSilent(bool Value) { FSilenced = Value; }
    void SetThread(TLcThread* Value) { FThread = Value; }

    // Routes a socket event: nothing while silenced; with a queue, a job at its end; else
    // DoMessage at once.
    void PostSocketMessage(int Code, int Error);
    // As PostSocketMessage, but false (and nothing done) when there is no queue and the
    // socket is not silenced.
    bool PostToSocketThread(int Code, int Error);

    CL_CLASS_NAME(TLcSocketBase)

protected:
    // Sockets end through Release.
    ~TLcSocketBase() override = default;

    // Set on the connection's queue, read by the dispatcher on the message thread.
    std::atomic<bool> FSilenced{false};
    bool FRestartRequested = false;
    TLcThread* FThread = nullptr;
    std::string FMultiCastAddr;
    std::string FAddr;
    std::string FPort;
    bool FMultiThreaded = false;
    bool FMultiCast = false;
    bool FReuseAddr = false;
    int FMultiCastTTL = 1;
    int FProto = 0;  // 0 TCP, 1 UDP
    int FReceiveTimeout = 0;
    int FSendTimeout = 0;
};

// ---- unit start and end ----
// Makes the shared socket messages.
void InitializeLcSockBase();
// Closes the worker pool, then frees the shared socket messages.
void FinalizeLcSockBase();
