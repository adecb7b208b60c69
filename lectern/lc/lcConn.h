// Unit lcConn: the components through which an application uses a connection.
//
// TLcConnection is one connection with its events, time-outs and information record.
// TLcServer is a listening connection: the object placed on a form is the template, and every
// accepted client gets a new object of the same class (CopyOf), copied from it (CopyFrom),
// with the listener as its parent. A component does no network work itself: it drives a
// connection provider (lcConnProv) whose triggers it binds to its own operations (the
// binding table is SetTriggers).
//
// Events and deferral. Every operation that runs application code holds the connection as
// "inside an event" while it fires (a THold, which also ends on an exception). "Inside an
// event" means: on the connection's own thread with an event running. Release, Disconnect,
// StopListen, Listen and Restart asked for inside an event are only noted in the connection's
// state; the provider calls TriggerAfterEvents at the end of each batch of triggers, and
// there, once no event runs any more, they are carried out in this order: release (with a
// disconnect or stop-listen asked for before it), else restart (stopping first when a stop or
// disconnect was asked for), else disconnect or stop-listen.
//
// Life. The connection owns its provider (FProvider, whose end is its Release). A provider
// that goes (TriggerReadyToRelease) leaves the connection orphaned: it frees itself when the
// last hold ends, at once when none is held. Operations that call out and still use the
// object afterwards hold it too (a plain hold, which does not count as an event). So a
// connection object is never freed while one of its events runs or under an operation's feet.
//
// Threads. The connection's own thread is its provider's (a pool worker running its queue for
// a multi-threaded connection, the main thread otherwise, also while a multi-threaded one has
// no queue yet). Its state and hold counts are changed there only. The restart step of a
// multi-threaded server always runs on its queue: asked for on another thread (the restart
// timer's, the main thread's) it is posted there as a TLcRestartJob, so the listen that ends
// it never hands the server to a queue while the step still uses it. What is read across
// threads is atomic or under a lock: the state bits (IsClosing, IsListening), the pending
// restart, the end of life, and the links between a listener and its clients.
//
// Stopping a multi-threaded server is a stop-and-wait. Its connections run on pool workers
// and share the listener's settings and handlers. StopListen called on the main thread (not
// from a synchronised call of a worker) waits until the listener's provider has closed and
// reported it, and every client connection has been freed; destroying a listener waits in
// the same way until its provider is gone too. The wait is bounded (kLcServerStopWaitSeconds)
// and keeps the main thread's messages and synchronised calls flowing, so handlers that call
// Sync finish. Client connections still alive when a destroyed listener gives up waiting
// forget it (their parent becomes none). Derived classes call Shutdown first thing in their
// destructors, so that the wait happens while the whole object still exists.
//
// Limits: an accepted client is refused with EClientLimitReached while 32000 connections in
// all, or 32000 server connections, are counted.
//
// Start and end are explicit: InitializeLcConn / FinalizeLcConn (reference-counted).
#pragma once

#include "classlib/Components.h"
#include "classlib/Events.h"
#include "lectern/lc/lcConnProv.h"
#include "lectern/lc/lcHttpHeader.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/lcThrPool.h"
#include "lectern/lc/lcTimeout.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

class TLcConnection;
class TLcServer;
class TLcInfo;
class TLcTimer;

using TLc_Component = TComponent;

// The base class of all components of the library.
class TLcComponent : public TLc_Component {
public:
    using TLc_Component::TLc_Component;
    CL_CLASS_NAME(TLcComponent)
};

CL_DECLARE_EXCEPTION(ELcConnection, Exception)
CL_DECLARE_EXCEPTION(EClientLimitReached, Exception)

using TLcNotifyEvent = TEvent<TLcConnection*>;
using TLcErrorEvent = TEvent<TLcConnection*, const Exception&>;

// Above these counts an accepted client is refused.
constexpr int32_t kLcMaxConnections = 32000;
constexpr int32_t kLcMaxServerConnections = 32000;
// How long stopping or destroying a multi-threaded listener waits for its provider and its
// client connections.
constexpr uint32_t kLcServerStopWaitSeconds = 10;

// Time-outs handed to the socket layer, in milliseconds.
class TLcTimeoutsOfAPI : public TPersistent {
public:
    int32_t ResolveTimeout = 0;
    int32_t ConnectTimeout = 0;
    int32_t SendTimeout = 0;
    int32_t ReceiveTimeout = 0;
    int32_t ResponseTimeout = 0;

    CL_CLASS_NAME(TLcTimeoutsOfAPI)

protected:
    void AssignTo(TPersistent* dest) const override;
};

// When a listener restarts by itself, and after how many seconds.
class TLcRestartParam : public TPersistent {
public:
    bool ListenLost = false;
    bool ListenError = false;
    int32_t Wait = 0;

    CL_CLASS_NAME(TLcRestartParam)
};

// ---- request and response of a server connection ------------------------------------------

class TLcServerRequest : public TLcRequest {
public:
    // Also clears every flag and count below.
    void Clear() override;

    // Set when a request line is read, cleared after each delivery of request data.
    bool Started() const { return FStarted; }
    void SetStarted(bool value) { FStarted = value; }
    // Set when a request line is read, cleared when its response is complete.
    bool Active() const { return FActive; }
    void SetActive(bool value) { FActive = value; }
    // The whole body has arrived.
    bool Complete() const { return FComplete; }
    void SetComplete(bool value) { FComplete = value; }
    int64_t BodyReceived() const { return FBodyReceived; }
    void SetBodyReceived(int64_t value) { FBodyReceived = value; }
    bool Accepted() const { return FAccepted; }
    void SetAccepted(bool value) { FAccepted = value; }
    // The connection is to close after this response.
    bool Close() const { return FClose; }
    void SetClose(bool value) { FClose = value; }

    CL_CLASS_NAME(TLcServerRequest)

private:
    bool FStarted = false;
    bool FActive = false;
    bool FComplete = false;
    int64_t FBodyReceived = 0;
    bool FAccepted = false;
    bool FClose = false;
};

class TLcServerResponse : public TLcResponse {
public:
    // Status 200 "OK".
    TLcServerResponse();
    // Also 200 "OK" again, every flag clear but BodyFollows, nothing handed out.
    void Clear() override;

    void SetStatus(int32_t code, const std::string& text);

    bool Started() const { return FStarted; }
    void SetStarted(bool value) { FStarted = value; }
    bool HeaderSent() const { return FHeaderSent; }
    void SetHeaderSent(bool value) { FHeaderSent = value; }
    bool AllContentOut() const { return FAllContentOut; }
    void SetAllContentOut(bool value) { FAllContentOut = value; }
    bool AllDataSent() const { return FAllDataSent; }
    void SetAllDataSent(bool value) { FAllDataSent = value; }
    bool BodyFollows() const { return FBodyFollows; }
    void SetBodyFollows(bool value) { FBodyFollows = value; }
    int64_t ContentOut() const { return FContentOut; }
    void SetContentOut(int64_t value) { FContentOut = value; }

    CL_CLASS_NAME(TLcServerResponse)

private:
    void ResetState();

    bool FStarted = false;
    bool FHeaderSent = false;
    bool FAllContentOut = false;
    bool FAllDataSent = false;
    bool FBodyFollows = true;
    int64_t FContentOut = 0;
};

// What the HTTP wire changes in each request once its header is read (Apply).
class TLcServerRequestFixup : public TPersistent {
public:
    bool RemovePrefix = false;
    bool DecodeFileName = false;
    bool DecodeQuery = false;
    bool UpperCaseFileName = false;

    // In this order, each only when its option is set:
    //  1. RemovePrefix: a file name of more than 8 characters that starts with "https://" or
    //     "http://" (any case) loses the scheme and the host; what is left starts at the
    //     first "/" after the scheme, or is empty when there is none.
    //  2. DecodeFileName: a non-empty file name is URL-decoded (not strict).
    //  3. DecodeQuery: a query with names has every name and every value decoded in place;
    //     a non-empty query text without names is decoded as a whole.
    //  4. UpperCaseFileName: the file name is upper-cased (ASCII letters).
    void Apply(TLcRequest& request) const;

    CL_CLASS_NAME(TLcServerRequestFixup)

protected:
    void AssignTo(TPersistent* dest) const override;
};

// ---- jobs ------------------------------------------------------------------------------------

// Calls an event method with its connection on the connection's queue.
class TLcConEventJob : public TLcJob {
public:
    TLcConEventJob(TLcConnection* connection, const TLcNotifyEvent& event) : FConnection(connection), FEvent(event) {}
    bool Run(TLcThread* Thread) override;
    void Kill() override { delete this; }

    CL_CLASS_NAME(TLcConEventJob)

private:
    TLcConnection* FConnection;
    TLcNotifyEvent FEvent;
};

// Runs a server's restart step on the server's queue.
class TLcRestartJob : public TLcJob {
public:
    explicit TLcRestartJob(TLcServer* server) : FServer(server) {}
    bool Run(TLcThread* Thread) override;
    void Kill() override { delete this; }

    CL_CLASS_NAME(TLcRestartJob)

private:
    TLcServer* FServer;
};

// ---- the connection ---------------------------------------------------------------------------

class TLcConnection : public TLcComponent, private TLcTimeoutTarget {
public:
    explicit TLcConnection(TComponent* owner);
    ~TLcConnection() override;

    // ---- published ----
    std::string Version_SDK() const { return "v5.12"; }
    void SetVersion_SDK(const std::string&) {}
    bool MultiThreaded() const { return FMultiThreaded; }
    virtual void SetMultiThreaded(bool value);
    TLcTimeout* Timeout() const { return FTimeout.get(); }
    // Copies the eight values.
    void SetTimeout(const TLcTimeout* value);
    std::string ServerAddr;
    std::string ServerPort;
    TLcNotifyEvent OnConnecting;
    TLcNotifyEvent OnDisconnecting;
    TLcNotifyEvent OnConnect;
    TLcNotifyEvent OnDisconnect;
    TLcErrorEvent OnException;

    // ---- set by the derived classes (published there) and copied to client connections ----
    TLcNotifyEvent OnDataOut;
    TLcNotifyEvent OnDataIn;
    TLcNotifyEvent OnDataSent;
    TLcNotifyEvent OnReadyToSend;
    TLcNotifyEvent OnDataReceived;

    TLcInfo* Info() const { return FInfo.get(); }
    TLcTimeoutsOfAPI* TimeoutsOfAPI() const { return FTimeoutsOfAPI.get(); }
    TLcConnectionProvider* Provider() const { return FProvider.get(); }
    // The listening server a client connection came from; none for a listener.
    TLcServer* Parent() const { return FParent.load(); }
    bool IsTimedOut() const { return Has(kTimedOut); }
    int64_t TotalRead() const { return FTotalRead; }
    int64_t TotalWritten() const { return FTotalWritten; }
    int64_t LastRead() const { return FLastRead; }
    int64_t LastWrite() const { return FLastWrite; }

    // Inside an event: flags the release for later. Otherwise, with a provider, detaches it
    // and asks it to release itself (it frees the connection through TriggerReadyToRelease);
    // without one, frees the connection.
    virtual void Release();
    virtual void Disconnect();
    // Asks the provider to close at once.
    virtual void InternalDisconnect();
    virtual bool IsClosing();
    std::string PeerAddr() override;
    std::string PeerPort() override;
    std::string LocalAddr() override;
    std::string LocalPort() override;
    int32_t ConnectionCount() const;
    int32_t ClientConnectionCount() const;
    int32_t ServerConnectionCount() const;

    // A nil job answers false. With a provider the provider posts it; without one a
    // single-threaded connection runs a TLcJob at once and answers true; otherwise false.
    bool PostJob(TObject* job, bool highPriority = false);
    // Posts the event as a TLcConEventJob; false (the job freed) when posting fails.
    bool PostEvent(const TLcNotifyEvent& event);

    // Calls an event of any shape on the main thread: at once when InMainThread; false when
    // not InsideThread; otherwise through the provider's Sync, whose answer it returns. An
    // empty event answers false.
    template <class... Args>
    bool Sync(const TEvent<Args...>& event, std::type_identity_t<Args>... args)
    {
        if (!event) {
            return false;
        }
        if (InMainThread()) {
            event(args...);
            return true;
        }
        if (!InsideThread()) {
            return false;
        }
        TSyncCall<Args...> call(event, args...);
        return SyncCall(call);
    }

    bool InMainThread();
    bool InsideThread();
    // The data received so far; arms AfterDataReceived when there is some.
    std::string Read();
    // Arms AfterDataSend and hands the text to the provider, to be sent now.
    virtual void Write(std::string text);

    CL_CLASS_NAME(TLcConnection)

protected:
    // The provider of the connection, made (and bound, SetTriggers) when there is none.
    virtual TLcConnectionProvider* CreateProvider() = 0;
    // Clears the triggers, detaches the provider and tells it to release itself.
    virtual void ReleaseProvider();
    // ServerAddr, ServerPort and MultiThreaded to the provider; byte counters cleared.
    virtual void SetParams();
    virtual void SetTriggers();
    virtual void ClearTriggers();

    virtual void TriggerReadyToRelease();
    virtual void TriggerOpening() {}
    virtual void TriggerAfterEvents();

    virtual void CallConnecting();
    virtual void TriggerConnecting();
    virtual void CallConnect();
    virtual void TriggerConnect();
    virtual void CallDisconnecting();
    virtual void TriggerDisconnecting();
    virtual void CallDisconnect();
    virtual void TriggerDisconnect();
    virtual void CallDataOut();
    virtual void TriggerDataOut();
    virtual void CallDataIn();
    virtual void TriggerDataIn();
    virtual void CallLastWrite();
    virtual void TriggerLastWrite() {}
    virtual void CallDataSent();
    virtual void TriggerDataSent();
    virtual void TriggerReadyToSend();
    virtual void CallDataReceived();
    virtual void TriggerDataReceived();
    virtual void TriggerDataLost() {}
    virtual void CallException(const Exception& e);
    virtual void TriggerException(const Exception& e);

    // ---- the connection's state, changed on its own thread only ----
    // What it has announced and what it has been asked to do, one bit each.
    enum TLcConnState : uint16_t {
        kConnectingFired = 1u << 0,
        kConnectFired = 1u << 1,
        kClientCounted = 1u << 2,
        kClientConnectFired = 1u << 3,
        kTimedOut = 1u << 4,
        // Asked for inside an event, carried out when the batch of events ends.
        kReleaseAsked = 1u << 5,
        kDisconnectAsked = 1u << 6,  // the connection counts as closing meanwhile
        kStopListenAsked = 1u << 7,
        kRestartAsked = 1u << 8,
        // A batch ended while an event ran: what it was to carry out waits.
        kBatchEnded = 1u << 9,
    };
    // Atomic so that IsClosing and IsListening may look from another thread; only the own
    // thread writes, so a plain load and store will do.
    bool Has(uint16_t bits) const { return (FState.load(std::memory_order_relaxed) & bits) != 0; }
    void Set(uint16_t bits) { Store(FState.load(std::memory_order_relaxed) | bits); }
    void Clear(uint16_t bits) { Store(FState.load(std::memory_order_relaxed) & ~bits); }
    // Clears the bit and answers whether it was set.
    bool Take(uint16_t bit)
    {
        const bool was = Has(bit);
        Clear(bit);
        return was;
    }
    void Store(unsigned bits) { FState.store(static_cast<uint16_t>(bits), std::memory_order_relaxed); }

    // Holds the connection for its lifetime (see "Life" at the top of this file): an event
    // (InsideEvent is true meanwhile), an event during which the connection counts as closing,
    // or a plain hold. End ends it early and answers true when the connection freed itself
    // (nothing may touch it then); the destructor ends it otherwise, also on an exception.
    class THold {
    public:
        enum TKind { kEvent, kClosingEvent, kPlain };
        THold(TLcConnection& connection, TKind kind);
        ~THold() { End(); }
        THold(const THold&) = delete;
        THold& operator=(const THold&) = delete;
        bool End();

    private:
        TLcConnection* FConnection;  // none once ended
        TKind FKind;
    };

    // On the connection's own thread with an event running.
    bool InsideEvent();
    // On the thread the connection's events run on: its queue's worker, or the main thread
    // for a connection that has no queue (a single-threaded one, or a multi-threaded one
    // before its first listen).
    bool OnOwnThread();

    // Runs fire as an event; true when the connection freed itself.
    template <class Fn>
    bool InEvent(Fn fire, THold::TKind kind = THold::kEvent)
    {
        THold hold(*this, kind);
        fire();
        return hold.End();
    }

    // The provider made by CreateProvider; the connection owns it from now on.
    void AdoptProvider(TLcConnectionProvider* provider);
    // What a deferred stop-listen and a deferred restart do; the server overrides them.
    virtual void DeferredStop() { Disconnect(); }
    virtual void DeferredRestart(bool stopFirst) {}
    // Inside an event: asks for a disconnect (and a stop-listen when asked), cancels a pending
    // release, and answers true; otherwise false.
    bool DeferDisconnect(bool stopListen);
    // Drops a pending restart: the timer is disabled (its object stays until the end).
    void CancelRestart();
    // True once this object is being destroyed: no deferred work and no self-freeing. Read on
    // any thread.
    bool ShuttingDown() const { return FLife.load() == TLcLife::Ending; }
    // The restart timer, made on first use (multi-threaded as the connection); it stays until
    // the end of the object, so a timer enabled or disabled on any thread is always whole.
    TLcTimer* RestartTimer();
    // Frees the restart timer, waiting for its callback running on another thread.
    void FreeRestartTimer();

    std::atomic<TLcServer*> FParent{nullptr};
    bool FMultiThreaded = false;
    // A restart is asked for and not carried out yet; set and taken by exchange on any thread.
    std::atomic<bool> FRestartPending{false};
    int64_t FTotalRead = 0;
    int64_t FTotalWritten = 0;
    int64_t FLastRead = 0;
    int64_t FLastWrite = 0;

private:
    friend class TLcConEventJob;
    friend class TLcServer;

    // A stored event with its arguments, called on the main thread.
    class TSyncCallBase : public TObject {
    public:
        void Run();

    protected:
        virtual void Call() = 0;
    };
    template <class... Args>
    class TSyncCall : public TSyncCallBase {
    public:
        TSyncCall(const TEvent<Args...>& event, Args... args) : FEvent(event), FArgs(args...) {}

    protected:
        void Call() override { std::apply([this](auto&&... a) { FEvent(a...); }, FArgs); }

    private:
        TEvent<Args...> FEvent;
        std::tuple<Args...> FArgs;
    };
    bool SyncCall(TSyncCallBase& call);

    // TLcTimeoutTarget
    TLcThread* TimeoutJobQueue() override;
    void TimedOut() override;

    // Deletes the object when it is orphaned and nothing holds it any more.
    bool FreeIfDue();
    // Detaches the provider and lets it go (its Release).
    void LetProviderGo();
    void RaiseProviderError(const std::string& text);
    void DoDeferredWork();

    // Open; orphaned (its provider has gone: it frees itself when no hold is left); ending
    // (being destroyed). Read across threads.
    enum class TLcLife : uint8_t { Open, Orphaned, Ending };
    // A provider ends through its Release, never by delete.
    struct TProviderRelease {
        void operator()(TLcConnectionProvider* provider) const { provider->Release(); }
    };

    std::unique_ptr<TLcConnectionProvider, TProviderRelease> FProvider;
    std::atomic<TLcLife> FLife{TLcLife::Open};
    // Changed on the own thread only; the two counts that other threads may read are atomic.
    std::atomic<uint16_t> FState{0};  // TLcConnState bits
    std::atomic<int> FEvents{0};       // events running
    std::atomic<int> FClosingEvents{0};
    int FHolds = 0;                    // holds of every kind
    std::atomic<TLcTimer*> FRestartTimer{nullptr};
    std::unique_ptr<TLcInfo> FInfo;
    std::unique_ptr<TLcTimeout> FTimeout;
    std::unique_ptr<TLcTimeoutsOfAPI> FTimeoutsOfAPI;
};

// ---- the server -------------------------------------------------------------------------------

class TLcServer : public TLcConnection {
public:
    explicit TLcServer(TComponent* owner);
    // Shutdown, then the restart settings.
    ~TLcServer() override;

    // ---- published ----
    TLcRestartParam* RestartOn() const { return FRestartOn.get(); }
    TLcNotifyEvent OnClientConnect;
    TLcNotifyEvent OnClientDisconnect;
    TLcNotifyEvent OnListenStart;
    TLcNotifyEvent OnListenStop;
    TLcNotifyEvent OnListenLost;
    TLcNotifyEvent OnRestart;
    TLcErrorEvent OnListenError;

    // Raises ELcConnection "Can not change MultiThreaded after Listen." while listening.
    void SetMultiThreaded(bool value) override;

    // Copies the settings of the listener to a new client connection: addresses,
    // MultiThreaded, the eight time-outs, the connection and data events and the client and
    // listen-start/stop events (OnListenLost, OnListenError and OnRestart stay behind).
    virtual void CopyFrom(TLcServer* source);

    virtual void Listen(bool restarting = false);
    virtual void StopListen();
    virtual void Restart(int32_t wait);
    virtual bool IsListening();

    // The client connections of this listener that are still alive.
    int ClientCount() const;

    CL_CLASS_NAME(TLcServer)

protected:
    // A new object of the server's own class with no owner.
    virtual TLcServer* CopyOf() = 0;

    void SetTriggers() override;
    void ClearTriggers() override;
    void TriggerAfterEvents() override;

    virtual void CheckClientLimits();
    virtual void CallClientConnect();
    virtual void CallClientDisconnect();
    virtual void NewProvider(TLcConnectionProvider*& provider);
    virtual void CallClientConnectEvent();
    virtual void TriggerClientConnect();
    virtual void CallClientDisconnectEvent();
    virtual void TriggerClientDisconnect();
    virtual void CallListenStart();
    virtual void TriggerListenStart();
    virtual void CallListenStop();
    virtual void TriggerListenStop();
    virtual void CallListenLost();
    virtual void TriggerListenLost();
    virtual void CallListenError(const Exception& e);
    virtual void TriggerListenError(const Exception& e);
    virtual void RestartNow();
    virtual void TriggerRestart();
    virtual void DoRestart();

    void DeferredStop() override { StopListen(); }
    void DeferredRestart(bool stopFirst) override;

    // The end of a server's life, run once: a multi-threaded listener stops and waits (see
    // the top of this file), client connections left forget it, and the provider is
    // released. Derived destructors call it first; ~TLcServer calls it too.
    void Shutdown();

private:
    friend class TLcRestartJob;
    friend class TLcConnection;

    // A multi-threaded listener may wait for its workers only on the main thread and not
    // from a synchronised call or a job of its own queue.
    bool MayWaitForWorkers();
    // Waits until done() holds, the deadline passes or a quit message arrives.
    bool WaitForStop(uint64_t deadlineMs, bool (TLcServer::*done)());
    bool ListenerClosed();
    bool ProviderGoneAndNoClients();
    void ProviderGone();
    // Sets the flag (when given) and the stop event; the last touch of the object.
    void SignalStop(std::atomic<bool>* flag = nullptr, bool value = true);
    void ForgetClients();

    // Posts the restart step to the server's queue; false when no queue takes it.
    bool PostRestart();
    // On the worker that runs the server's queue.
    bool InOwnQueue();

    std::unique_ptr<TLcRestartParam> FRestartOn;
    // Guarded by the unit's link lock: the client connections made by this listener.
    std::vector<TLcServer*> FClients;
    // Signalled by whatever may end a stop-and-wait: the listener's batch ends, a client
    // connection goes, the provider goes.
    std::shared_ptr<TLcEvent> FStopEvent = std::make_shared<TLcEvent>(true, false);
    std::atomic<bool> FStopSeen{false};
    std::atomic<bool> FProviderGone{false};
};

// ---- unit start and end ----------------------------------------------------------------------

// First call: the timers' and pool's start, the unit's lock and counts.
void InitializeLcConn();
// Last call: closes the pool, frees the unit's lock, then the timers' end.
void FinalizeLcConn();

// ---- seams for tests ----------------------------------------------------------------------------

// Sets the unit's counts of server and client connections (all = their sum).
void SetLcConnectionCounts(int32_t serverConnections, int32_t clientConnections);
