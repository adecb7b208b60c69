#include "lcConn.h"

#include "classlib/PlatformTime.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcHttpValues.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcTimer.h"
#include "lectern/lc/lcValueContainers.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <typeinfo>

namespace {

// ---- unit state ----

int gUnitRefs = 0;
// Guards the connection counts; none while the unit is not running.
std::atomic<TLcCritSec*> gLock{nullptr};
int32_t gServerCount = 0;
int32_t gClientCount = 0;

// Guards the links between a listener and its client connections (TLcServer::FClients and
// each client's FParent). Constant-initialised and never freed, so a connection that ends
// after the unit can still unlink itself.
std::mutex gLinks;

// Synchronised calls of connections running on the main thread right now. A listener does
// not wait for its workers from inside one: the worker that waits for it could be its own.
std::atomic<int> gMainSyncDepth{0};

// Runs fn under the unit lock; EClientLimitReached "Closing application." once the unit has
// ended.
template <class Fn>
void UnderUnitLock(Fn fn)
{
    TLcCritSec* lock = gLock.load();
    if (lock == nullptr) {
        throw EClientLimitReached("Closing application.");
    }
    lock->Enter();
    try {
        fn();
    } catch (...) {
        lock->Leave();
        throw;
    }
    lock->Leave();
}

// Reads a count under the unit lock (without it once the unit has ended).
template <class Fn>
int32_t ReadUnderLock(Fn read)
{
    TLcCritSec* lock = gLock.load();
    if (lock == nullptr) {
        return read();
    }
    lock->Enter();
    const int32_t value = read();
    lock->Leave();
    return value;
}

// Changes a count that one thread writes and others may read.
void Bump(std::atomic<int>& count, int by) { count.store(count.load(std::memory_order_relaxed) + by, std::memory_order_relaxed); }

template <class... Args>
void FireEvent(const TEvent<Args...>& event, std::type_identity_t<Args>... args)
{
    if (event) {
        event(args...);
    }
}

}  // namespace

// ============================================================================================
// Small classes
// ============================================================================================

void TLcTimeoutsOfAPI::AssignTo(TPersistent* dest) const
{
    auto* other = dynamic_cast<TLcTimeoutsOfAPI*>(dest);
    if (other == nullptr) {
        TPersistent::AssignTo(dest);
        return;
    }
    other->ResolveTimeout = ResolveTimeout;
    other->ConnectTimeout = ConnectTimeout;
    other->SendTimeout = SendTimeout;
    other->ReceiveTimeout = ReceiveTimeout;
    other->ResponseTimeout = ResponseTimeout;
}

void TLcServerRequest::Clear()
{
    TLcRequest::Clear();
    FStarted = false;
    FActive = false;
    FComplete = false;
    FBodyReceived = 0;
    FAccepted = false;
    FClose = false;
}

TLcServerResponse::TLcServerResponse() { ResetState(); }

void TLcServerResponse::Clear()
{
    TLcResponse::Clear();
    ResetState();
}

void TLcServerResponse::ResetState()
{
    SetStatus(200, "OK");
    FStarted = false;
    FHeaderSent = false;
    FAllContentOut = false;
    FAllDataSent = false;
    FBodyFollows = true;
    FContentOut = 0;
}

void TLcServerResponse::SetStatus(int32_t code, const std::string& text)
{
    SetStatusCode(code);
    SetStatusText(text);
}

void TLcServerRequestFixup::AssignTo(TPersistent* dest) const
{
    auto* other = dynamic_cast<TLcServerRequestFixup*>(dest);
    if (other == nullptr) {
        TPersistent::AssignTo(dest);
        return;
    }
    other->RemovePrefix = RemovePrefix;
    other->DecodeFileName = DecodeFileName;
    other->DecodeQuery = DecodeQuery;
    other->UpperCaseFileName = UpperCaseFileName;
}

void TLcServerRequestFixup::Apply(TLcRequest& request) const
{
    // Only names of more than this many characters can carry a scheme and a host.
    constexpr size_t kShortestPrefixedName = 8;
    if (RemovePrefix) {
        const std::string& name = request.FileName();
        if (name.size() > kShortestPrefixedName) {
            const std::string head = UpperCaseStr(name.substr(0, 8));
            const size_t scheme = head == "HTTPS://" ? 8 : head.compare(0, 7, "HTTP://") == 0 ? 7 : 0;
            if (scheme > 0) {
                const size_t slash = name.find('/', scheme);
                request.SetFileName(slash == std::string::npos ? std::string() : name.substr(slash));
            }
        }
    }
    if (DecodeFileName && !request.FileName().empty()) {
        request.SetFileName(DecodeUrlText(request.FileName(), false));
    }
    if (DecodeQuery) {
        TLcHttpValues& query = request.Query();
        const std::string text = query.EncodedText();
        if (!text.empty()) {
            const int names = query.NameCount();
            if (names > 0) {
                // Values first, found by the names as they arrived; then the names.
                for (int i = 0; i < names; ++i) {
                    const std::string name = query.NameAt(i);
                    for (int j = 0, n = query.ValueCountOf(name); j < n; ++j) {
                        query.SetValueOf(name, j, DecodeUrlText(query.ValueOf(name, j), false));
                    }
                }
                for (int i = 0; i < names; ++i) {
                    query.SetNameAt(i, DecodeUrlText(query.NameAt(i), false));
                }
            } else {
                query.SetEncodedText(DecodeUrlText(text, false));
            }
        }
    }
    if (UpperCaseFileName) {
        request.SetFileName(UpperCaseStr(request.FileName()));
    }
}

bool TLcConEventJob::Run(TLcThread*)
{
    if (FEvent) {
        FEvent(FConnection);
    }
    return true;
}

bool TLcRestartJob::Run(TLcThread*)
{
    FServer->DoRestart();
    return true;
}

// ============================================================================================
// TLcConnection
// ============================================================================================

TLcConnection::TLcConnection(TComponent* owner)
    : TLcComponent(owner),
      FInfo(std::make_unique<TLcInfo>()),
      FTimeout(std::make_unique<TLcTimeout>(static_cast<TLcTimeoutTarget*>(this))),
      FTimeoutsOfAPI(std::make_unique<TLcTimeoutsOfAPI>())
{
}

TLcConnection::~TLcConnection()
{
    FLife = TLcLife::Ending;
    RunAtBoundary("ERROR", "TLcConnection.Destroy", [this] {
        FreeRestartTimer();
        if (FProvider) {
            TLcConnection::ClearTriggers();
            LetProviderGo();
        }
        FTimeout->Stop();
    }, LogHandledErrors);
    // Unlink from the listener, which may be waiting for its last client to go.
    std::lock_guard<std::mutex> lock(gLinks);
    if (TLcServer* parent = FParent.load()) {
        auto& clients = parent->FClients;
        std::erase_if(clients, [this](TLcServer* client) { return static_cast<TLcConnection*>(client) == this; });
        FParent = nullptr;
        parent->SignalStop();
    }
}

void TLcConnection::SetMultiThreaded(bool value)
{
    FMultiThreaded = value;
    // The restart timer fires on the thread of the connection's kind: one of the other kind
    // goes (with the restart it was to bring), and the next restart makes a new one.
    TLcTimer* timer = FRestartTimer.load();
    if (timer != nullptr && timer->MultiThreaded() != value) {
        FreeRestartTimer();
    }
}

void TLcConnection::SetTimeout(const TLcTimeout* value)
{
    if (value != nullptr) {
        FTimeout->Assign(value);
    }
}

// ---- life ----

TLcConnection::THold::THold(TLcConnection& connection, TKind kind) : FConnection(&connection), FKind(kind)
{
    ++connection.FHolds;
    if (kind != kPlain) {
        Bump(connection.FEvents, 1);
    }
    if (kind == kClosingEvent) {
        Bump(connection.FClosingEvents, 1);
    }
}

bool TLcConnection::THold::End()
{
    TLcConnection* connection = FConnection;
    if (connection == nullptr) {
        return false;
    }
    FConnection = nullptr;
    if (FKind == kClosingEvent) {
        Bump(connection->FClosingEvents, -1);
    }
    if (FKind != kPlain) {
        Bump(connection->FEvents, -1);
    }
    --connection->FHolds;
    return connection->FreeIfDue();
}

bool TLcConnection::FreeIfDue()
{
    if (FHolds == 0 && FLife.load() == TLcLife::Orphaned) {
        delete this;
        return true;
    }
    return false;
}

void TLcConnection::AdoptProvider(TLcConnectionProvider* provider) { FProvider.reset(provider); }

void TLcConnection::LetProviderGo()
{
    // Out of the owner first: the provider's end may reach this object (TriggerReadyToRelease)
    // and find it without one.
    if (TLcConnectionProvider* provider = FProvider.release()) {
        provider->Release();
    }
}

void TLcConnection::Release()
{
    if (ShuttingDown()) {
        return;
    }
    if (InsideEvent()) {
        Set(kReleaseAsked);
        return;
    }
    if (FProvider) {
        LetProviderGo();  // frees this object through TriggerReadyToRelease
        return;
    }
    TLcLife open = TLcLife::Open;
    FLife.compare_exchange_strong(open, TLcLife::Orphaned);
    FreeIfDue();
}

void TLcConnection::TriggerReadyToRelease()
{
    FTimeout->Stop();
    (void)FProvider.release();  // it is ending by itself
    TLcLife open = TLcLife::Open;
    if (FLife.compare_exchange_strong(open, TLcLife::Orphaned)) {
        FreeIfDue();
    }
}

void TLcConnection::Disconnect()
{
    CancelRestart();
    if (FMultiThreaded && FProvider) {
        FProvider->Disconnect();
        return;
    }
    if (DeferDisconnect(false)) {
        return;
    }
    if (FProvider) {
        FProvider->Disconnect();
    }
}

bool TLcConnection::DeferDisconnect(bool stopListen)
{
    if (!InsideEvent()) {
        return false;
    }
    Set(kDisconnectAsked | (stopListen ? kStopListenAsked : 0));
    Clear(kReleaseAsked);
    return true;
}

void TLcConnection::InternalDisconnect()
{
    if (FProvider) {
        FProvider->InternalDisconnect();
    }
}

bool TLcConnection::IsClosing()
{
    if (Has(kReleaseAsked | kDisconnectAsked) || FClosingEvents.load(std::memory_order_relaxed) > 0 || !FProvider) {
        return true;
    }
    const uint8_t state = FProvider->GetState();
    return state == kLcStateClosed || state == kLcStateDisconnecting;
}

TLcTimer* TLcConnection::RestartTimer()
{
    TLcTimer* timer = FRestartTimer.load();
    if (timer == nullptr) {
        auto made = std::make_unique<TLcTimer>(FMultiThreaded);
        if (FRestartTimer.compare_exchange_strong(timer, made.get())) {
            timer = made.release();
        }  // else another thread made it first: timer is that one, and made goes
    }
    return timer;
}

void TLcConnection::CancelRestart()
{
    FRestartPending = false;
    TLcTimer::Disable(FRestartTimer.load());
}

void TLcConnection::FreeRestartTimer()
{
    FRestartPending = false;
    TLcTimer* timer = FRestartTimer.exchange(nullptr);
    TLcTimer::Stop(timer);
}

// ---- events ----

bool TLcConnection::InsideEvent()
{
    // The count first: it is 0 at the end of most batches, and the thread test takes locks.
    return FEvents.load(std::memory_order_relaxed) > 0 && InsideThread();
}

bool TLcConnection::OnOwnThread()
{
    if (FProvider) {
        return FProvider->InsideThread();
    }
    return !FMultiThreaded || TLcThread::InMainThread();
}

void TLcConnection::TriggerAfterEvents()
{
    if (InsideEvent()) {
        Set(kBatchEnded);
        return;
    }
    Clear(kBatchEnded);
    if (ShuttingDown()) {
        return;
    }
    THold hold(*this, THold::kPlain);
    DoDeferredWork();
}

void TLcConnection::DoDeferredWork()
{
    if (Take(kReleaseAsked)) {
        FTimeout->Stop();
        const bool stopListen = Take(kStopListenAsked);
        const bool disconnect = Take(kDisconnectAsked);
        Clear(kTimedOut | kRestartAsked);
        if (stopListen) {
            if (Parent() != nullptr) {
                DeferredStop();
            } else {
                Release();
            }
        } else {
            if (disconnect) {
                Disconnect();
            }
            Release();
        }
    } else if (Take(kRestartAsked)) {
        FTimeout->Disable();
        const bool stopFirst = Has(kStopListenAsked | kDisconnectAsked);
        Clear(kStopListenAsked | kDisconnectAsked);
        DeferredRestart(stopFirst);
    } else if (Take(kDisconnectAsked)) {
        FTimeout->Disable();
        if (Take(kStopListenAsked)) {
            DeferredStop();
        } else {
            Disconnect();
        }
    }
}

void TLcConnection::CallConnecting()
{
    if (Has(kConnectingFired)) {
        return;
    }
    Set(kConnectingFired);
    if (!InEvent([this] { TriggerConnecting(); })) {
        FTimeout->Connecting();
    }
}

void TLcConnection::TriggerConnecting() { FireEvent(OnConnecting, this); }

void TLcConnection::CallConnect()
{
    if (Has(kConnectFired)) {
        return;
    }
    Set(kConnectFired);
    if (!InEvent([this] { TriggerConnect(); })) {
        FTimeout->Connect();
    }
}

void TLcConnection::TriggerConnect() { FireEvent(OnConnect, this); }

void TLcConnection::CallDisconnecting()
{
    if (!Take(kConnectingFired)) {
        return;
    }
    InEvent([this] { TriggerDisconnecting(); });
}

void TLcConnection::TriggerDisconnecting() { FireEvent(OnDisconnecting, this); }

void TLcConnection::CallDisconnect()
{
    if (!Take(kConnectFired)) {
        return;
    }
    InEvent([this] { TriggerDisconnect(); }, THold::kClosingEvent);
}

void TLcConnection::TriggerDisconnect() { FireEvent(OnDisconnect, this); }

void TLcConnection::CallDataOut()
{
    FTimeout->DataOut();
    if (FProvider) {
        FLastWrite = FProvider->LastWrite();
        FTotalWritten += FLastWrite;
    }
    InEvent([this] { TriggerDataOut(); });
}

void TLcConnection::TriggerDataOut() { FireEvent(OnDataOut, this); }

void TLcConnection::CallDataIn()
{
    FTimeout->DataIn();
    if (FProvider) {
        FLastRead = FProvider->LastRead();
        FTotalRead += FLastRead;
    }
    InEvent([this] { TriggerDataIn(); });
}

void TLcConnection::TriggerDataIn() { FireEvent(OnDataIn, this); }

void TLcConnection::CallLastWrite()
{
    InEvent([this] { TriggerLastWrite(); });
}

void TLcConnection::CallDataSent()
{
    if (FTotalWritten > 0) {
        FTimeout->DataSent();
    }
    InEvent([this] {
        if (FTotalWritten > 0) {
            TriggerDataSent();
        }
        if (!IsClosing()) {
            TriggerReadyToSend();
        }
    });
}

void TLcConnection::TriggerDataSent() { FireEvent(OnDataSent, this); }

void TLcConnection::TriggerReadyToSend() { FireEvent(OnReadyToSend, this); }

void TLcConnection::CallDataReceived()
{
    InEvent([this] { TriggerDataReceived(); });
}

void TLcConnection::TriggerDataReceived() { FireEvent(OnDataReceived, this); }

void TLcConnection::CallException(const Exception& e)
{
    InEvent([&] { TriggerException(e); });
}

void TLcConnection::TriggerException(const Exception& e) { FireEvent(OnException, this, e); }

void TLcConnection::RaiseProviderError(const std::string& text) { throw ELcConnection(text); }

// ---- the provider ----

void TLcConnection::ReleaseProvider()
{
    if (!FProvider) {
        return;
    }
    ClearTriggers();
    LetProviderGo();
}

void TLcConnection::SetParams()
{
    if (FProvider != nullptr) {
        FProvider->SetAddr(ServerAddr);
        FProvider->SetPort(ServerPort);
        FProvider->SetMultiThreaded(FMultiThreaded);
    }
    FTotalRead = 0;
    FTotalWritten = 0;
    FLastRead = 0;
    FLastWrite = 0;
}

void TLcConnection::SetTriggers()
{
    TLcConnectionProvider* p = FProvider.get();
    if (p == nullptr) {
        return;
    }
    using TC = TLcConnection;
    p->OnError = TLcProviderErrorText(this, &TC::RaiseProviderError);
    p->OnAfterEvents = TLcProviderNotify(this, &TC::TriggerAfterEvents);
    p->OnOpening = TLcProviderNotify(this, &TC::TriggerOpening);
    p->OnReadyToRelease = TLcProviderNotify(this, &TC::TriggerReadyToRelease);
    p->OnConnecting = TLcProviderNotify(this, &TC::CallConnecting);
    p->OnConnect = TLcProviderNotify(this, &TC::CallConnect);
    p->OnDisconnecting = TLcProviderNotify(this, &TC::CallDisconnecting);
    p->OnDisconnect = TLcProviderNotify(this, &TC::CallDisconnect);
    p->OnDataSent = TLcProviderNotify(this, &TC::CallDataSent);
    p->OnDataOut = TLcProviderNotify(this, &TC::CallDataOut);
    p->OnDataIn = TLcProviderNotify(this, &TC::CallDataIn);
    p->OnLastWrite = TLcProviderNotify(this, &TC::CallLastWrite);
    p->OnDataReceived = TLcProviderNotify(this, &TC::CallDataReceived);
    p->OnDataLost = TLcProviderNotify(this, &TC::TriggerDataLost);
    p->OnException = TLcProviderException(this, &TC::CallException);
}

void TLcConnection::ClearTriggers()
{
    TLcConnectionProvider* p = FProvider.get();
    if (p == nullptr) {
        return;
    }
    p->OnError = {};
    p->OnAfterEvents = {};
    p->OnOpening = {};
    p->OnReadyToRelease = {};
    p->OnConnecting = {};
    p->OnConnect = {};
    p->OnDisconnecting = {};
    p->OnDisconnect = {};
    p->OnDataSent = {};
    p->OnDataOut = {};
    p->OnDataIn = {};
    p->OnLastWrite = {};
    p->OnDataReceived = {};
    p->OnDataLost = {};
    p->OnException = {};
}

// ---- addresses and counts ----

std::string TLcConnection::PeerAddr() { return FProvider != nullptr ? FProvider->PeerAddr() : std::string(); }
std::string TLcConnection::PeerPort() { return FProvider != nullptr ? FProvider->PeerPort() : std::string(); }
std::string TLcConnection::LocalAddr() { return FProvider != nullptr ? FProvider->LocalAddr() : ServerAddr; }
std::string TLcConnection::LocalPort() { return FProvider != nullptr ? FProvider->LocalPort() : ServerPort; }

int32_t TLcConnection::ConnectionCount() const
{
    return ReadUnderLock([] { return gServerCount + gClientCount; });
}

int32_t TLcConnection::ClientConnectionCount() const
{
    return ReadUnderLock([] { return gClientCount; });
}

int32_t TLcConnection::ServerConnectionCount() const
{
    return ReadUnderLock([] { return gServerCount; });
}

// ---- jobs and threads ----

bool TLcConnection::PostJob(TObject* job, bool highPriority)
{
    if (job == nullptr) {
        return false;
    }
    if (FProvider != nullptr) {
        return FProvider->PostJob(job, highPriority);
    }
    return !FMultiThreaded && LcRunJobAtOnce(job);
}

bool TLcConnection::PostEvent(const TLcNotifyEvent& event)
{
    auto* job = new TLcConEventJob(this, event);
    if (!PostJob(job)) {
        delete job;
        return false;
    }
    return true;
}

bool TLcConnection::InMainThread()
{
    if (!FMultiThreaded) {
        return true;
    }
    return FProvider != nullptr ? FProvider->InMainThread() : TLcThread::InMainThread();
}

bool TLcConnection::InsideThread()
{
    return FProvider != nullptr ? FProvider->InsideThread() : !FMultiThreaded;
}

void TLcConnection::TSyncCallBase::Run()
{
    const bool onMain = TLcThread::InMainThread();
    if (onMain) {
        ++gMainSyncDepth;
    }
    try {
        Call();
    } catch (...) {
        if (onMain) {
            --gMainSyncDepth;
        }
        throw;
    }
    if (onMain) {
        --gMainSyncDepth;
    }
}

bool TLcConnection::SyncCall(TSyncCallBase& call)
{
    if (FProvider == nullptr) {
        return false;
    }
    return FProvider->Sync(TEvent<>(&call, &TSyncCallBase::Run));
}

std::string TLcConnection::Read()
{
    std::string text = FProvider != nullptr ? FProvider->Read() : std::string();
    if (!text.empty()) {
        FTimeout->DataReceived();
    }
    return text;
}

void TLcConnection::Write(std::string text)
{
    FTimeout->DataSend();
    if (FProvider != nullptr) {
        FProvider->WriteBody(std::move(text), true);
    }
}

TLcThread* TLcConnection::TimeoutJobQueue() { return FProvider != nullptr ? FProvider->GetThread() : nullptr; }

void TLcConnection::TimedOut()
{
    Set(kTimedOut);
    InternalDisconnect();
}

// ============================================================================================
// TLcServer
// ============================================================================================

TLcServer::TLcServer(TComponent* owner) : TLcConnection(owner), FRestartOn(std::make_unique<TLcRestartParam>()) {}

TLcServer::~TLcServer()
{
    RunAtBoundary("ERROR", "TLcServer.Destroy", [this] { Shutdown(); }, LogHandledErrors);
}

void TLcServer::Shutdown()
{
    if (FLife.exchange(TLcLife::Ending) == TLcLife::Ending) {
        return;
    }
    CancelRestart();
    TLcConnectionProvider* provider = FProvider.get();
    if (provider != nullptr && Parent() == nullptr && FMultiThreaded && MayWaitForWorkers()) {
        // The provider works on pool workers: stop it, let it end on its own queue and wait
        // until it is gone and every client connection with it. Its triggers stay bound
        // meanwhile: this object is still whole, and its events (listen stop, client
        // disconnects) still reach the application.
        const uint64_t deadline = plat::MonotonicMs() + uint64_t{kLcServerStopWaitSeconds} * 1000u;
        FProviderGone = false;
        provider->OnReadyToRelease = TLcProviderNotify(this, &TLcServer::ProviderGone);
        if (provider->GetState() != kLcStateClosed) {
            provider->Disconnect();
        }
        provider->Release();
        if (!WaitForStop(deadline, &TLcServer::ProviderGoneAndNoClients)) {
            Log("TLcServer.Shutdown gave up waiting after " + std::to_string(kLcServerStopWaitSeconds) + " s: " +
                    std::to_string(ClientCount()) + " connections left" +
                    (FProviderGone ? std::string() : std::string(", the listener still open")),
                "ERROR");
        }
        if (!FProviderGone) {
            ClearTriggers();  // it outlived the wait: it must not call into a freed object
        }
        (void)FProvider.release();  // it ends on its own queue
    } else {
        ReleaseProvider();
    }
    ForgetClients();
}

bool TLcServer::MayWaitForWorkers()
{
    if (!TLcThread::InMainThread() || gMainSyncDepth.load() > 0) {
        return false;
    }
    TLcThread* queue = FProvider != nullptr ? FProvider->GetThread() : nullptr;
    return queue == nullptr || !queue->InWorker();
}

bool TLcServer::WaitForStop(uint64_t deadlineMs, bool (TLcServer::*done)())
{
    while (!(this->*done)()) {
        const uint64_t now = plat::MonotonicMs();
        if (now >= deadlineMs) {
            return false;
        }
        FStopEvent->ResetEvent();
        if ((this->*done)()) {
            break;
        }
        const auto seconds = static_cast<uint32_t>((deadlineMs - now + 999) / 1000);
        if (!WaitForWithMessages(*FStopEvent, seconds)) {
            return (this->*done)();  // the time is up, or the program is quitting
        }
    }
    return true;
}

bool TLcServer::ListenerClosed()
{
    return FStopSeen.load() && (FProvider == nullptr || FProvider->GetState() == kLcStateClosed) && ClientCount() == 0;
}

bool TLcServer::ProviderGoneAndNoClients() { return FProviderGone.load() && ClientCount() == 0; }

void TLcServer::ProviderGone()
{
    SignalStop(&FProviderGone, true);  // the last touch: the waiter may free this object now
}

void TLcServer::SignalStop(std::atomic<bool>* flag, bool value)
{
    // The event is taken before the flag is set and held while it is set: a waiter that sees
    // either may free this object at once.
    const std::shared_ptr<TLcEvent> event = FStopEvent;
    if (flag != nullptr) {
        flag->store(value);
    }
    event->SetEvent();
}

void TLcServer::ForgetClients()
{
    std::lock_guard<std::mutex> lock(gLinks);
    for (TLcServer* client : FClients) {
        client->FParent = nullptr;
    }
    FClients.clear();
}

int TLcServer::ClientCount() const
{
    std::lock_guard<std::mutex> lock(gLinks);
    return static_cast<int>(FClients.size());
}

void TLcServer::SetMultiThreaded(bool value)
{
    if (value == FMultiThreaded) {
        return;
    }
    if (Parent() == nullptr && FProvider != nullptr) {
        if (IsListening()) {
            throw ELcConnection("Can not change MultiThreaded after Listen.");
        }
        ReleaseProvider();
    }
    TLcConnection::SetMultiThreaded(value);
}

void TLcServer::CopyFrom(TLcServer* source)
{
    ServerAddr = source->ServerAddr;
    ServerPort = source->ServerPort;
    FMultiThreaded = source->FMultiThreaded;
    Timeout()->Assign(source->Timeout());
    OnConnecting = source->OnConnecting;
    OnDisconnecting = source->OnDisconnecting;
    OnConnect = source->OnConnect;
    OnDisconnect = source->OnDisconnect;
    OnException = source->OnException;
    OnDataOut = source->OnDataOut;
    OnDataIn = source->OnDataIn;
    OnDataSent = source->OnDataSent;
    OnReadyToSend = source->OnReadyToSend;
    OnDataReceived = source->OnDataReceived;
    OnClientConnect = source->OnClientConnect;
    OnClientDisconnect = source->OnClientDisconnect;
    OnListenStart = source->OnListenStart;
    OnListenStop = source->OnListenStop;
}

// ---- listening ----

void TLcServer::Listen(bool restarting)
{
    if (InsideEvent()) {
        Set(kRestartAsked);
        Clear(kReleaseAsked);
        return;
    }
    if (TLcServer* parent = Parent()) {
        parent->Listen(restarting);
        return;
    }
    if (FProvider == nullptr) {
        CreateProvider();
    }
    SetParams();
    if (auto* provider = dynamic_cast<TLcServerProvider*>(FProvider.get())) {
        provider->Listen(restarting);
    }
}

void TLcServer::StopListen()
{
    if (FMultiThreaded && FProvider != nullptr) {
        if (TLcServer* parent = Parent()) {
            parent->Disconnect();
            return;
        }
        const bool wait = MayWaitForWorkers();
        const uint64_t deadline = plat::MonotonicMs() + uint64_t{kLcServerStopWaitSeconds} * 1000u;
        // A provider that does not listen reports no end of a stop: only clients are waited for.
        FStopSeen = FProvider->GetState() == kLcStateClosed;
        FProvider->Disconnect();
        if (wait) {
            WaitForStop(deadline, &TLcServer::ListenerClosed);
        }
        return;
    }
    if (TLcServer* parent = Parent()) {
        parent->Disconnect();
        return;
    }
    if (DeferDisconnect(true)) {
        return;
    }
    if (FProvider != nullptr) {
        FProvider->Disconnect();
    }
}

bool TLcServer::IsListening()
{
    if (Parent() != nullptr || FProvider == nullptr || IsClosing()) {
        return false;
    }
    const uint8_t state = FProvider->GetState();
    return state == kLcStateListening || state == kLcStateConnected;
}

void TLcServer::SetTriggers()
{
    TLcConnection::SetTriggers();
    if (auto* p = dynamic_cast<TLcServerProvider*>(FProvider.get())) {
        using TS = TLcServer;
        p->OnNewProvider = TLcProviderNew(this, &TS::NewProvider);
        p->OnClientConnecting = TLcProviderNotify(this, &TS::CheckClientLimits);
        p->OnClientConnect = TLcProviderNotify(this, &TS::CallClientConnect);
        p->OnClientDisconnect = TLcProviderNotify(this, &TS::CallClientDisconnect);
        p->OnListenStart = TLcProviderNotify(this, &TS::CallListenStart);
        p->OnListenStop = TLcProviderNotify(this, &TS::CallListenStop);
        p->OnListenError = TLcProviderException(this, &TS::CallListenError);
        p->OnListenLost = TLcProviderNotify(this, &TS::CallListenLost);
    }
}

void TLcServer::ClearTriggers()
{
    TLcConnection::ClearTriggers();
    if (auto* p = dynamic_cast<TLcServerProvider*>(FProvider.get())) {
        p->OnNewProvider = {};
        p->OnClientConnecting = {};
        p->OnClientConnect = {};
        p->OnClientDisconnect = {};
        p->OnListenStart = {};
        p->OnListenStop = {};
        p->OnListenError = {};
        p->OnListenLost = {};
    }
}

void TLcServer::TriggerAfterEvents()
{
    // The end of a listener's batch may end a stop-and-wait; the signal is the last touch.
    THold hold(*this, THold::kPlain);
    TLcConnection::TriggerAfterEvents();
    if (hold.End()) {
        return;
    }
    if (Parent() == nullptr) {
        SignalStop(&FStopSeen, FProvider == nullptr || FProvider->GetState() == kLcStateClosed);
    }
}

// ---- client connections ----

void TLcServer::CheckClientLimits()
{
    UnderUnitLock([] {
        if (gServerCount + gClientCount >= kLcMaxConnections) {
            throw EClientLimitReached("Total connection limit reached.");
        }
        if (gServerCount >= kLcMaxServerConnections) {
            throw EClientLimitReached("Server connection limit reached.");
        }
    });
}

void TLcServer::NewProvider(TLcConnectionProvider*& provider)
{
    TLcServer* client = CopyOf();
    Assert(client != nullptr && typeid(*client) == typeid(*this),
           "TLcServer.NewProvider: CopyOf must make an object of the server's own class.");
    {
        std::lock_guard<std::mutex> lock(gLinks);
        client->FParent = this;
        FClients.push_back(client);
    }
    try {
        provider = client->CreateProvider();
        client->CopyFrom(this);
        client->SetParams();
    } catch (...) {
        provider = nullptr;
        delete client;
        throw;
    }
}

void TLcServer::CallClientConnect()
{
    if (Has(kClientCounted)) {
        return;
    }
    UnderUnitLock([] { ++gServerCount; });
    Set(kClientCounted);
    Timeout()->Start(FMultiThreaded);
    Timeout()->Connecting();
    CallClientConnectEvent();
}

void TLcServer::CallClientConnectEvent()
{
    if (Has(kClientConnectFired)) {
        return;
    }
    Set(kClientConnectFired);
    InEvent([this] { TriggerClientConnect(); });
}

void TLcServer::TriggerClientConnect() { FireEvent(OnClientConnect, this); }

void TLcServer::CallClientDisconnect()
{
    if (!Take(kClientCounted)) {
        return;
    }
    try {
        UnderUnitLock([] { --gServerCount; });
    } catch (const EClientLimitReached&) {
        // the unit has ended: nothing is counted any more
    }
    if (Take(kClientConnectFired)) {
        if (InEvent([this] { CallClientDisconnectEvent(); })) {
            return;
        }
    }
    Timeout()->Stop();
}

void TLcServer::CallClientDisconnectEvent() { TriggerClientDisconnect(); }

void TLcServer::TriggerClientDisconnect() { FireEvent(OnClientDisconnect, this); }

// ---- listen events ----

void TLcServer::CallListenStart()
{
    InEvent([this] { TriggerListenStart(); });
}

void TLcServer::TriggerListenStart() { FireEvent(OnListenStart, this); }

void TLcServer::CallListenStop()
{
    InEvent([this] { TriggerListenStop(); }, THold::kClosingEvent);
}

void TLcServer::TriggerListenStop() { FireEvent(OnListenStop, this); }

void TLcServer::CallListenLost()
{
    if (InEvent([this] { TriggerListenLost(); }, THold::kClosingEvent)) {
        return;
    }
    if (FRestartOn->ListenLost && !Has(kReleaseAsked)) {
        Set(kRestartAsked);
    }
}

void TLcServer::TriggerListenLost() { FireEvent(OnListenLost, this); }

void TLcServer::CallListenError(const Exception& e)
{
    if (InEvent([&] { TriggerListenError(e); }, THold::kClosingEvent)) {
        return;
    }
    if (FRestartOn->ListenError) {
        if (!Has(kRestartAsked | kReleaseAsked) && !FRestartPending) {
            Set(kRestartAsked);
        }
    } else if (!OnListenError) {
        throw ELcConnection(e.Message());
    }
}

void TLcServer::TriggerListenError(const Exception& e)
{
    FireEvent(OnListenError, this, e);
}

// ---- restart ----

void TLcServer::Restart(int32_t wait)
{
    if (InsideEvent()) {
        Set(kRestartAsked);
        Clear(kReleaseAsked);
        return;
    }
    if (ShuttingDown() || FRestartPending.exchange(true)) {
        return;
    }
    if (FMultiThreaded && FProvider == nullptr && OnOwnThread()) {
        // The restart step runs on the provider's queue: it is made here, on the thread that
        // may make it.
        CreateProvider();
        SetParams();
    }
    if (wait <= 0) {
        DoRestart();
        return;
    }
    constexpr int32_t kMaxWaitSeconds = std::numeric_limits<int32_t>::max() / 1000;
    TLcTimer::Enable(RestartTimer(), std::min(wait, kMaxWaitSeconds) * 1000, false, true,
                     TLcTimerMethod(this, &TLcServer::DoRestart));
}

bool TLcServer::InOwnQueue()
{
    TLcThread* queue = FProvider != nullptr ? FProvider->GetThread() : nullptr;
    return queue != nullptr && queue->InWorker();
}

bool TLcServer::PostRestart()
{
    auto* job = new TLcRestartJob(this);
    if (PostJob(job)) {
        return true;
    }
    job->Kill();
    return false;
}

void TLcServer::DoRestart()
{
    if (ShuttingDown()) {
        return;
    }
    // The step runs where the server's events run: a multi-threaded server's on its queue
    // (also when it is asked for on the main thread, so that a listen that follows cannot hand
    // the server to a queue while this step still uses it). No queue takes the step only when
    // the pool has closed: the program is ending, and the restart with it.
    if (FMultiThreaded ? !InOwnQueue() : !OnOwnThread()) {
        if (!PostRestart()) {
            FRestartPending = false;
        }
        return;
    }
    if (!FRestartPending.exchange(false)) {
        return;
    }
    THold hold(*this, THold::kPlain);
    try {
        RestartNow();
    } catch (const Exception& e) {
        CallException(e);
    }
    if (hold.End()) {
        return;
    }
    // Whatever OnRestart asked for is due now: no provider batch follows this step.
    if (Has(kReleaseAsked | kRestartAsked | kDisconnectAsked | kBatchEnded)) {
        TriggerAfterEvents();
    }
}

void TLcServer::RestartNow()
{
    auto state = [this] { return FProvider != nullptr ? FProvider->GetState() : kLcStateClosed; };
    if (state() == kLcStateListening) {
        StopListen();
    }
    if (state() != kLcStateClosed) {
        Restart(FRestartOn->Wait <= 0 ? 1 : FRestartOn->Wait);
        return;
    }
    if (InEvent([this] { TriggerRestart(); })) {
        return;
    }
    // A server that began to go while OnRestart ran does not listen again.
    if (!Has(kReleaseAsked | kRestartAsked) && !ShuttingDown()) {
        Listen(true);
    }
}

void TLcServer::TriggerRestart() { FireEvent(OnRestart, this); }

void TLcServer::DeferredRestart(bool stopFirst)
{
    TLcServer* target = Parent() != nullptr ? Parent() : this;
    if (stopFirst) {
        target->StopListen();
    }
    target->Restart(target->FRestartOn->Wait);
}

// ============================================================================================
// Unit start and end
// ============================================================================================

void InitializeLcConn()
{
    if (gUnitRefs++ > 0) {
        return;
    }
    InitializeLcTimer();
    gServerCount = 0;
    gClientCount = 0;
    gLock = new TLcCritSec;
}

void FinalizeLcConn()
{
    if (gUnitRefs == 0 || --gUnitRefs > 0) {
        return;
    }
    CloseThreadPool();
    delete gLock.exchange(nullptr);
    FinalizeLcTimer();
}

void SetLcConnectionCounts(int32_t serverConnections, int32_t clientConnections)
{
    UnderUnitLock([&] {
        gServerCount = serverConnections;
        gClientCount = clientConnections;
    });
}
