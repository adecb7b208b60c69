#include "lectern/lc/lcSocketSrvProv.h"

#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcSockBaseSyn.h"
#include "lectern/lc/lcWinSocket.h"

#include "classlib/SyncObjs.h"


namespace {

constexpr int kListNodePool = 128;

class TLcSocketSrvProvUnit : public TObject {
public:
    TLcBaseMessage Init{"WSInit"};
    TLcBaseMessage ReInit{"WSReInit"};
    TLcBaseMessage CloseConn{"WSCloseConn"};
    TLcBaseMessage ClientInit{"Init"};
    TLcBaseMessage ReleaseSilent{"WSRelease_Silent"};
    TLcBaseMessage ReleaseNormal{"WSRelease_Normal"};
    TLcBaseMessage Stop{"WSStop"};
    TLcBaseMessage Forget{"forget"};

    CL_CLASS_NAME(TLcSocketSrvProvUnit)
};

std::unique_ptr<TLcSocketSrvProvUnit> gUnit;

TLcSocketSrvProvUnit& Messages()
{
    if (!gUnit)
        gUnit = std::make_unique<TLcSocketSrvProvUnit>();
    return *gUnit;
}

// The log names of what escapes a step: a fault of ours or of the socket ("ERROR"), of an
// event handler ("EVENT") or of the crypt plug-in ("PLUGIN").
constexpr const char* kLogError = "ERROR";
constexpr const char* kLogEvent = "EVENT";
constexpr const char* kLogPlugin = "PLUGIN";

// Closes a socket, then releases it, each at the boundary under its own context.
void CloseAndRelease(TLcSocketBase* socket, const char* closeContext, const char* releaseContext)
{
    RunAtBoundary(kLogError, closeContext, [socket] { socket->Close(); });
    RunAtBoundary(kLogError, releaseContext, [socket] { socket->Release(); });
}

std::uintptr_t Key(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// Runs one step of the crypt plug-in: a step that raises is logged under "PLUGIN" and counts
// as a lost connection.
template <typename Step>
int PluginStep(const char* context, Step step)
{
    int result = TLcCryptSteps::kLost;
    RunAtBoundary(kLogPlugin, context, [&] { result = step(); });
    return result;
}

}  // namespace

void InitializeLcSocketSrvProv() { Messages(); }
void FinalizeLcSocketSrvProv() { gUnit.reset(); }

// ---- the provider ----

// The room of the datagram buffer: the largest datagram the socket hands out at once.
constexpr size_t kDatagramRoom = 64240;

TLcSocketServerProvider::TLcSocketServerProvider() { FDatagram.reserve(kDatagramRoom); }

TLcSocketServerProvider::~TLcSocketServerProvider()
{
    RunAtBoundary(kLogError, "TLcSocketServerProvider.Destroy", [this] {
        {
            TLockGuard lock(*this);
            SetClosing(true);
            SetSilent(true);
        }
        if (FIsListener && FLink) {
            // Cut the link first: no connection or client queue reaches this listener again.
            std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
            FLink->Listener = nullptr;
            FLink->Silent = true;
        }
        if (FSocket)
            InternalDisconnect();
        if (FIsClientConnection && FLink && !ParentSilent() && !FClientDisconnectFired)
            TriggerClientDisconnect();
        FLink.reset();
        FreeLists();
        if (gUnit) {
            if (FClientThread)
                TLcThread::PostJob(FClientThread, &gUnit->Forget, true);
            if (FServerThread)
                TLcThread::PostJob(FServerThread, &gUnit->Forget, true);
        }
    });
}

bool TLcSocketServerProvider::GetFlag(bool (TLcConnectionProvider::*getter)() const)
{
    TLockGuard lock(*this);
    return (this->*getter)();
}

bool TLcSocketServerProvider::ParentSilent()
{
    if (!FLink)
        return false;
    std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
    return FLink->Silent;
}

TLcSocketServerProvider* TLcSocketServerProvider::GetParent()
{
    if (!FIsClientConnection || !FLink)
        return nullptr;
    std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
    return FLink->Listener;
}

bool TLcSocketServerProvider::CanWork()
{
    uint8_t state = GetState();
    if (GetFlag(&TLcConnectionProvider::Closing) || state < 1 || state > 3 || !FSocket)
        return false;
    if (FIsClientConnection && (!FLink || ParentSilent()))
        return false;
    return true;
}

int TLcSocketServerProvider::AcceptedCount()
{
    TLockGuard lock(*this);
    return FAccepted ? FAccepted->Count() : 0;
}

int TLcSocketServerProvider::ClientThreadCount()
{
    TLockGuard lock(*this);
    return FClientThreads ? FClientThreads->Count() : 0;
}

void TLcSocketServerProvider::FreeLists()
{
    TLockGuard lock(*this);
    FAccepted.reset();
    FClientThreads.reset();
}

bool TLcSocketServerProvider::AddAccepted(TLcSocketServerProvider* connection)
{
    TLockGuard lock(*this);
    if (!FAccepted)
        return false;
    FAccepted->Insert(Key(connection), 1);
    return true;
}

void TLcSocketServerProvider::RemoveAccepted(TLcSocketServerProvider* connection)
{
    TLockGuard lock(*this);
    if (FAccepted && FAccepted->Find(Key(connection)) != 0)
        FAccepted->Remove(Key(connection));
}

bool TLcSocketServerProvider::AddClientThread(TLcSocketClientThread* thread)
{
    TLockGuard lock(*this);
    if (!FClientThreads)
        return false;
    FClientThreads->Insert(Key(thread), 1);
    return true;
}

void TLcSocketServerProvider::RemoveClientThread(TLcSocketClientThread* thread)
{
    TLockGuard lock(*this);
    if (FClientThreads && FClientThreads->Find(Key(thread)) != 0)
        FClientThreads->Remove(Key(thread));
}

void TLcSocketServerProvider::ReleaseSocket(TLcSocketBase* socket, const char* context)
{
    if (!socket)
        return;
    RunAtBoundary(kLogError, context, [socket] {
        socket->SetSilent(true);
        socket->Release();
    });
}

void TLcSocketServerProvider::ForgetSocket()
{
    TLockGuard lock(*this);
    FSocket = nullptr;
}

// ---- listening ----

void TLcSocketServerProvider::Listen(bool Restarting)
{
    {
        TLockGuard lock(*this);
        if (FServerThread || MultiThreaded()) {
            ListenInServerThread(Restarting);
            return;
        }
    }
    DoListen(Restarting);
}

void TLcSocketServerProvider::ListenInServerThread(bool Restarting)
{
    TLcBaseMessage* message = Restarting ? &Messages().ReInit : &Messages().Init;
    TLockGuard lock(*this);
    // Refused only by a queue that ends with this provider's release, or by a closed pool.
    TLcThread::PostJob(ServerQueue(), message);
}

TLcSocketServerThread* TLcSocketServerProvider::ServerQueue()
{
    TLockGuard lock(*this);
    if (!FServerThread && !FIsClientConnection && MultiThreaded())
        FServerThread = new TLcSocketServerThread(this);
    return FServerThread;
}

bool TLcSocketServerProvider::PostJob(TObject* job, bool highPriority)
{
    if (!job)
        return true;
    {
        // Under the lock: a queue that ends clears its place under it, so the queue posted to
        // is this provider's and alive (or finalized, and it refuses the job).
        TLockGuard lock(*this);
        if (TLcThread* queue = FClientThread ? static_cast<TLcThread*>(FClientThread) : ServerQueue())
            return TLcThread::PostJob(queue, job, highPriority);
    }
    return !MultiThreaded() && LcRunJobAtOnce(job);
}

TLcThread* TLcSocketServerProvider::ClientThread()
{
    TLockGuard lock(*this);
    return FClientThread;
}

TLcThread* TLcSocketServerProvider::ServerThread()
{
    TLockGuard lock(*this);
    return FServerThread;
}

void TLcSocketServerProvider::DoListen(bool restart)
{
    uint8_t state = GetState();
    if (state == kLcStateListening || state == kLcStateConnecting)
        return;
    if (state != kLcStateClosed)
        throw Exception("Can not start listener again. Connection in use.");
    if (FSocket) {
        TriggerError("Can not start listener. Connection in use.");
        return;
    }
    if (!FSocketClass)
        throw Exception("TLcSocketServerProvider -> SocketClass not assigned!");
    if (FProto == 1)
        FDatagram.clear();
    FIsListener = true;
    FListeningStarted = false;
    {
        TLockGuard lock(*this);
        SetClosing(false);
        SetSilent(false);
        SetLost(true);
        FAccepted = std::make_unique<tBinList>(kListNodePool);
        FClientThreads = std::make_unique<tBinList>(kListNodePool);
    }
    if (!FLink) {
        FLink = std::make_shared<TLcListenerLink>();
        FLink->Listener = this;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
        FLink->Silent = false;
    }
    std::string port = Port();
    while (!port.empty() && static_cast<unsigned char>(port.back()) <= ' ')
        port.pop_back();
    while (!port.empty() && static_cast<unsigned char>(port.front()) <= ' ')
        port.erase(0, 1);
    if (port.empty()) {
        TriggerError("Port undefined.");
        return;
    }
    FState = kLcStateConnecting;
    TLcSocketBase* socket = nullptr;
    try {
        socket = FSocketClass();
        FSocket = socket;
        socket->SetRestartRequested(restart);
        socket->SetThread(FServerThread);
        if (FTimeoutsOfAPI)
            socket->SetApiTimeouts(FTimeoutsOfAPI->ReceiveTimeout, FTimeoutsOfAPI->SendTimeout);
        socket->SetProto(FProto);
        if (FProto == 1) {
            socket->SetMultiCast(FMultiCast);
            socket->SetMultiCastAddrStr(FMultiCastAddr);
            socket->SetReuseAddr(FReuseAddr);
            socket->OnDataReceived = TLcSockNotifyEvent(this, &TLcSocketServerProvider::SockDataReceived);
            socket->OnDataSent = TLcSockNotifyEvent(this, &TLcSocketServerProvider::SockDataSent);
            socket->OnDataOut = TLcSockCountEvent(this, &TLcSocketServerProvider::SockDataOut);
            socket->OnDataIn = TLcSockCountEvent(this, &TLcSocketServerProvider::SockDataIn);
        }
        socket->SetAddr(Addr().empty() ? "0.0.0.0" : Addr());
        socket->SetMultiThreaded(FServerThread != nullptr);
        socket->SetPort(port);
        socket->OnBgException = TLcSockBgExceptionEvent(this, &TLcSocketServerProvider::SockBgException);
        socket->OnChangeState = TLcSockStateEvent(this, &TLcSocketServerProvider::SockChangeState);
        socket->OnSessionAvailable = TLcSockNotifyEvent(this, &TLcSocketServerProvider::SockSessionAvailable);
        FState = kLcStateListening;
        socket->Listen();
    } catch (const Exception& e) {
        FState = kLcStateClosed;
        if (socket) {
            ForgetSocket();
            ReleaseSocket(socket, "TLcSocketServerProvider Listen.except For");
        }
        FreeLists();
        bool reported = dynamic_cast<const EClientLimitReached*>(&e) || dynamic_cast<const EThreadLimitReached*>(&e) ||
                        dynamic_cast<const ELcSocketError*>(&e) || dynamic_cast<const ELcFatalSockException*>(&e);
        if (reported) {
            TriggerListenError(e);
            TriggerAfterEvents();
            return;
        }
        TriggerAfterEvents();
        throw;
    }
}

// ---- socket events ----

void TLcSocketServerProvider::SockChangeState(TLcSocketBase* sender, int state)
{
    if (GetFlag(&TLcConnectionProvider::Closing))
        return;
    if (FIsListener) {
        if (state == kSockListening) {
            FListeningStarted = true;
            RunAtBoundary(kLogError, "TLcSocketServerProvider ChangeState.GetXAddr", [&] {
                FLocalAddr = sender->GetLocalAddr();
                FLocalPort = sender->GetLocalPort();
                FPeerAddr.clear();
                FPeerPort.clear();
            });
            TriggerListenStart();
            TriggerAfterEvents();
        } else if (state == kSockClosed) {
            InternalDisconnect();
        } else if (state == kSockListenerLost) {
            SetLost(true);
            InternalDisconnect();
        } else if (state == kSockListenError) {
            ListenFailed(sender);
        }
        return;
    }
    if (state == kSockConnected) {
        FLastRead = 0;
        FLastWrite = 0;
        FLocalAddr = sender->GetLocalAddr();
        if (FLocalAddr != "0.0.0.0") {
            FLocalPort = sender->GetLocalPort();
            FPeerAddr = sender->GetPeerAddr();
            FPeerPort = sender->GetPeerPort();
        }
        TriggerConnecting();
    } else if (state == kSockClosed) {
        SocketClosed();
    } else if (state == kSockConnectError || state == kSockConnectionLost) {
        SetLost(true);
        InternalDisconnect();
    }
}

void TLcSocketServerProvider::ListenFailed(TLcSocketBase* sender)
{
    const Exception failure(sender->GetLastErrorText());
    FState = kLcStateClosed;
    if (FSocket == sender) {
        ForgetSocket();
        ReleaseSocket(sender, "TLcSocketServerProvider Listen.except For");
    }
    TriggerListenError(failure);
}

void TLcSocketServerProvider::SockSessionAvailable(TLcSocketBase* sender)
{
    if (GetFlag(&TLcConnectionProvider::Closing))
        return;
    TLcSocketBase* socket = sender->GetNewSocket();
    if (!socket)
        return;
    try {
        TriggerClientConnecting();
    } catch (const Exception& e) {
        if (LcLogRefusedSockets)
            Log("Connection refused with Message: " + e.Message(), "REFUSED");
        ReleaseSocket(socket, "TLcSocketServerProvider SesAvail WSocket_close");
        return;
    }
    if (GetFlag(&TLcConnectionProvider::Closing)) {
        ReleaseSocket(socket, "TLcSocketServerProvider SesAvail WSocket_close");
        if (LcLogRefusedSockets)
            Log("Connection refused: Server closing.", "REFUSED");
        return;
    }
    auto newProvider = [&]() {
        TLcConnectionProvider* made = TriggerNewProvider();
        if (!made)
            throw Exception("Connection provider not created.");
        auto* connection = dynamic_cast<TLcSocketServerProvider*>(made);
        if (!connection) {
            delete made;
            throw Exception("Wrong connection provider class created.");
        }
        connection->FIsClientConnection = true;
        connection->FLink = FLink;
        connection->SetSilent(false);
        return connection;
    };
    if (FServerThread) {
        TLcSocketServerProvider* connection = nullptr;
        TLcSocketClientThread* thread = nullptr;
        const bool handedOn = RunAtBoundary(kLogError, "TLcSocketServerProvider SesAvail(MultiThreaded)", [&] {
            connection = newProvider();
            thread = new TLcSocketClientThread(FLink, connection, socket);
            connection->FClientThread = thread;
        });
        if (!handedOn) {
            // Nothing was handed on: no client is added and no "Init" is posted.
            if (thread) {
                thread->FConnection = nullptr;
                thread->FPendingSocket = nullptr;
                thread->Stop();
            }
            if (connection) {
                connection->FClientThread = nullptr;
                RunAtBoundary(kLogError, "TLcSocketServerProvider SesAvail cl.Disconnect", [connection] {
                    connection->InternalDisconnect();
                    delete connection;
                });
            }
            ReleaseSocket(socket, "TLcSocketServerProvider SesAvail WSocket_close");
            return;
        }
        if (AddClientThread(thread)) {
            TLcThread::PostJob(thread, &Messages().ClientInit);
        } else {
            // The listener is closing: the thread ends with its connection and socket.
            TLcThread::PostJob(thread, &Messages().ReleaseSilent, true);
        }
        return;
    }
    TLcSocketServerProvider* connection = nullptr;
    const bool started = RunAtBoundary(kLogError, "TLcSocketServerProvider SesAvail(not MultiThreaded)", [&] {
        connection = newProvider();
        connection->FSocket = socket;
        connection->CopyFrom(this);
        connection->FState = kLcStateConnecting;
        connection->TriggerClientConnect();
        socket->StartNewSocket();
    });
    if (started)
        return;
    if (connection) {
        connection->FSocket = nullptr;
        RunAtBoundary(kLogError, "TLcSocketServerProvider SesAvail cl.Disconnect",
                   [connection] { connection->InternalDisconnect(); });
        delete connection;
    }
    ReleaseSocket(socket, "TLcSocketServerProvider SesAvail WSock_Close");
}

void TLcSocketServerProvider::CopyFrom(TLcSocketServerProvider* Listener)
{
    FCryptPlugin = Listener->FCryptPlugin;
    FProto = Listener->FProto;
    FTimeoutsOfAPI = Listener->FTimeoutsOfAPI;
    if (!FSocket)
        return;
    if (FTimeoutsOfAPI)
        FSocket->SetApiTimeouts(FTimeoutsOfAPI->ReceiveTimeout, FTimeoutsOfAPI->SendTimeout);
    FSocket->OnBgException = TLcSockBgExceptionEvent(this, &TLcSocketServerProvider::SockBgException);
    FSocket->SetProto(FProto);
    FSocket->OnDataReceived = TLcSockNotifyEvent(this, &TLcSocketServerProvider::SockDataReceived);
    FSocket->OnDataSent = TLcSockNotifyEvent(this, &TLcSocketServerProvider::SockDataSent);
    FSocket->OnDataOut = TLcSockCountEvent(this, &TLcSocketServerProvider::SockDataOut);
    FSocket->OnDataIn = TLcSockCountEvent(this, &TLcSocketServerProvider::SockDataIn);
    FSocket->OnChangeState = TLcSockStateEvent(this, &TLcSocketServerProvider::SockChangeState);
}

void TLcSocketServerProvider::InitClient(TLcSocketClientThread* thread)
{
    FSocket = thread->FPendingSocket;
    thread->FPendingSocket = nullptr;
    if (!FSocket)
        return;
    if (FTimeoutsOfAPI)
        FSocket->SetApiTimeouts(FTimeoutsOfAPI->ReceiveTimeout, FTimeoutsOfAPI->SendTimeout);
    FSocket->SetMultiThreaded(true);
    FSocket->SetThread(thread);
    {
        std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
        if (FLink->Listener)
            CopyFrom(FLink->Listener);
    }
    FState = kLcStateConnecting;
    FSocket->StartNewSocket();
    TriggerClientConnect();
}

void TLcSocketServerProvider::ConnectionData(bool received)
{
    if (!CanWork())
        return;
    if (GetState() == kLcStateConnecting && FLocalAddr != "0.0.0.0") {
        FState = kLcStateConnected;
        // The accepted list holds the connections of the single-threaded way; a multi-
        // threaded one is known to the listener through its client queue.
        bool added = FClientThread != nullptr;
        if (!added) {
            std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
            if (FLink->Listener)
                added = FLink->Listener->AddAccepted(this);
        }
        if (!added) {
            InternalDisconnect();
            return;
        }
        ++FEventDepth;
        if (!FCryptPlugin || PluginAfterConnect())
            TriggerConnect();
        if (EndEvent())
            return;
    }
    if (GetState() == kLcStateConnected) {
        ++FEventDepth;
        if (received)
            TriggerDataReceived();
        else
            TriggerDataSent();
        if (EndEvent())
            return;
        TriggerAfterEvents();
    }
}

bool TLcSocketServerProvider::EndEvent()
{
    if (--FEventDepth > 0 || !FLostPending)
        return false;
    FLostPending = false;
    PluginLost();
    return true;
}

void TLcSocketServerProvider::DatagramReceived()
{
    if (!CanWork())
        return;
    FPeerAddr.clear();
    FPeerPort.clear();
    if (FSocket->ReceiveStr(FDatagram) < 0) {
        FDatagram.clear();
        TriggerDataLost();
    } else {
        FPeerPort = FSocket->GetPeerPort();
        FPeerAddr = FSocket->GetPeerAddr();
        TriggerDataReceived();
    }
    TriggerAfterEvents();
}

void TLcSocketServerProvider::SockDataReceived(TLcSocketBase*)
{
    if (IsDatagramListener())
        DatagramReceived();
    else
        ConnectionData(true);
}

void TLcSocketServerProvider::SockDataSent(TLcSocketBase*)
{
    if (!IsDatagramListener()) {
        ConnectionData(false);
    } else if (CanWork()) {
        TriggerDataSent();
        TriggerAfterEvents();
    }
}

void TLcSocketServerProvider::SockDataOut(TLcSocketBase*, int count)
{
    if (!CanWork() || (GetState() != kLcStateConnected && !IsDatagramListener()))
        return;
    if (!FCryptPlugin) {
        FLastWrite = count;
        TriggerDataOut();
    } else {
        // The plain bytes count as out once every encoded byte of them is.
        FEncodedPending -= count;
        if (FEncodedPending == 0) {
            FLastWrite = FPlainTotal;
            FPlainTotal = 0;
            TriggerDataOut();
        }
    }
    TriggerAfterEvents();
}

void TLcSocketServerProvider::SockDataIn(TLcSocketBase*, int count)
{
    if (!CanWork() || (GetState() != kLcStateConnected && !IsDatagramListener()))
        return;
    if (FCryptPlugin)
        return;  // Read reports the plain bytes
    FLastRead = count;
    TriggerDataIn();
    TriggerAfterEvents();
}

// ---- the crypt plug-in ----

void TLcSocketServerProvider::PluginLost()
{
    if (FEventDepth > 0) {
        // Closing may free this provider: it happens when the event that found the loss ends.
        FLostPending = true;
        return;
    }
    {
        TLockGuard lock(*this);
        SetLost(true);
    }
    InternalDisconnect();
}

bool TLcSocketServerProvider::PluginResult(int result, const std::string& reply)
{
    if (result == TLcCryptSteps::kLost) {
        PluginLost();
        return false;
    }
    if (!reply.empty())
        WriteRaw(reply, true);
    if (result == TLcCryptSteps::kSync && FSocket)
        FSocket->Sync();
    return true;
}

bool TLcSocketServerProvider::PluginAfterConnect()
{
    std::string reply;
    const int result = PluginStep("TLcSocketServerProvider CryptPlugin.AfterConnect",
                                  [&] { return FCryptPlugin->AfterConnect(Key(this), reply); });
    return PluginResult(result, reply);
}

void TLcSocketServerProvider::SockBgException(TLcSocketBase*, Exception& e, bool& mayClose)
{
    if (dynamic_cast<EClientLimitReached*>(&e) || dynamic_cast<EThreadLimitReached*>(&e)) {
        mayClose = false;
        return;
    }
    mayClose = true;
    RunAtBoundary(kLogEvent, "TLcSocketServerProvider BgExcept Trigger", [&] { TriggerException(e); });
}

// ---- reading and writing ----

std::string TLcSocketServerProvider::Read()
{
    std::string text;
    if (!CanWork()) {
        FDatagram.clear();
        return text;
    }
    if (FProto == 1) {
        text.swap(FDatagram);
        return text;
    }
    const int count = FSocket->ReceiveStr(text);
    if (!FCryptPlugin) {
        FMoreToRead = false;
        return text;
    }
    if (count <= 0)
        return text;
    std::string plain;
    std::string reply;
    const int result = PluginStep("TLcSocketServerProvider CryptPlugin.DataReceived", [&] {
        return FCryptPlugin->DataReceived(Key(this), text, plain, reply, FMoreToRead);
    });
    if (result == TLcCryptSteps::kLost) {
        PluginLost();
        return std::string();
    }
    if (!plain.empty()) {
        FLastRead = static_cast<int64_t>(plain.size());
        TriggerDataIn();
    }
    if (!reply.empty())
        WriteRaw(std::move(reply), true);
    if ((result == TLcCryptSteps::kSync || FMoreToRead) && FSocket)
        FSocket->Sync();
    return plain;
}

void TLcSocketServerProvider::WriteRaw(std::string text, bool sendNow)
{
    if (!FSocket)
        return;
    if (FCryptPlugin)
        FEncodedPending += static_cast<int64_t>(text.size());
    if (sendNow || (FIsListener && FProto == 1))
        FSocket->SendStr(std::move(text));
    else
        FSocket->BuffStr(text);
}

void TLcSocketServerProvider::WriteBody(std::string Text, bool SendNow)
{
    if (!CanWork())
        return;
    if (!FCryptPlugin || FIsListener) {
        WriteRaw(std::move(Text), SendNow);
        return;
    }
    std::string encoded;
    const int result = PluginStep("TLcSocketServerProvider CryptPlugin.DataToSend",
                                  [&] { return FCryptPlugin->DataToSend(Key(this), Text, encoded); });
    if (result == TLcCryptSteps::kLost) {
        PluginLost();
        return;
    }
    FPlainTotal += static_cast<int64_t>(Text.size());
    WriteRaw(std::move(encoded), true);
    if (result == TLcCryptSteps::kSync && FSocket)
        FSocket->Sync();
}

// ---- closing ----

void TLcSocketServerProvider::Disconnect()
{
    {
        TLockGuard lock(*this);
        if (FClientThread && TLcThread::PostJob(FClientThread, &Messages().Stop))
            return;
        if (FIsListener && FServerThread && TLcThread::PostJob(FServerThread, &Messages().CloseConn))
            return;
        SetLost(false);
    }
    InternalDisconnect();
}

void TLcSocketServerProvider::CloseClients()
{
    bool silent = GetFlag(&TLcConnectionProvider::Silent);
    TLcBaseMessage* release = silent ? &Messages().ReleaseSilent : &Messages().ReleaseNormal;
    std::vector<TLcSocketServerProvider*> accepted;
    {
        TLockGuard lock(*this);
        std::uintptr_t value = 0;
        while (FClientThreads && FClientThreads->Count() > 0) {
            auto* thread = reinterpret_cast<TLcSocketClientThread*>(FClientThreads->FindMin(value));
            FClientThreads->Remove(Key(thread));
            TLcThread::PostJob(thread, release, true);
        }
        while (FAccepted && FAccepted->Count() > 0) {
            auto* connection = reinterpret_cast<TLcSocketServerProvider*>(FAccepted->FindMin(value));
            FAccepted->Remove(Key(connection));
            accepted.push_back(connection);
        }
    }
    for (TLcSocketServerProvider* connection : accepted) {
        RunAtBoundary(kLogError, "TLcSocketServerProvider KillClients cl.Stop/Disconnect", [connection, silent] {
            {
                TLockGuard lock(*connection);
                connection->SetSilent(silent);
            }
            connection->InternalDisconnect();
            if (silent)
                delete connection;  // a silent connection does not free itself
        });
    }
    FreeLists();
}

void TLcSocketServerProvider::InternalDisconnect()
{
    if (!FSocket) {
        TLockGuard lock(*this);
        SetClosing(true);
        return;
    }
    if (FIsListener) {
        FSocket->SetSilent(true);
        bool silent;
        {
            TLockGuard lock(*this);
            SetClosing(true);
            silent = Silent();
        }
        FState = kLcStateClosed;
        if (FLink) {
            std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
            FLink->Silent = silent;
        }
        if (FListeningStarted) {
            FListeningStarted = false;
            if (!silent)
                TriggerListenStop();
        }
        CloseClients();
        TLcSocketBase* socket = FSocket;
        ForgetSocket();
        CloseAndRelease(socket, "TLcSocketServerProvider.InternalDisconnect: MyCon2.Close",
                        "TLcSocketServerProvider.InternalDisconnect: MyCon2.Release");
        if (GetFlag(&TLcConnectionProvider::Lost))
            TriggerListenLost();
        TriggerAfterEvents();
        return;
    }
    uint8_t state = GetState();
    if (state != kLcStateConnecting && state != kLcStateConnected)
        return;
    FState = state == kLcStateConnected ? kLcStateDisconnecting : kLcStateClosed;
    FSocket->SetSilent(true);
    if (GetFlag(&TLcConnectionProvider::Closing)) {
        TLcSocketBase* socket = FSocket;
        ForgetSocket();
        CloseAndRelease(socket, "TLcSocketServerProvider.InternalDisconnect: MyCon.Close",
                        "TLcSocketServerProvider.InternalDisconnect: MyCon.Release");
        return;
    }
    if (FCryptPlugin) {
        std::string text;
        const int result = PluginStep("TLcSocketServerProvider CryptPlugin.BeforeDisconnect",
                                      [&] { return FCryptPlugin->BeforeDisconnect(Key(this), text); });
        if (!text.empty() && !GetFlag(&TLcConnectionProvider::Lost))
            FSocket->SendStr(text);  // the socket is silenced: no count, no events
        if (result == TLcCryptSteps::kSync)
            FSocket->Sync();
    }
    SocketClosed();
}

void TLcSocketServerProvider::SocketClosed()
{
    bool silent = FIsClientConnection ? ParentSilent() : GetFlag(&TLcConnectionProvider::Silent);
    if (!silent)
        TriggerDisconnecting();
    {
        TLockGuard lock(*this);
        if (!FSocket || Closing())
            return;
        SetClosing(true);
    }
    uint8_t state = GetState();
    if (state == kLcStateConnected || state == kLcStateDisconnecting) {
        if (FLink) {
            std::lock_guard<std::recursive_mutex> guard(FLink->Lock);
            if (FLink->Listener)
                FLink->Listener->RemoveAccepted(this);
        }
        if (!ParentSilent()) {
            if (FCryptPlugin) {
                RunAtBoundary(kLogPlugin, "TLcSocketServerProvider CryptPlugin.AfterDisconnect",
                           [this] { FCryptPlugin->AfterDisconnect(Key(this)); });
            }
            TriggerDisconnect();
        }
    }
    if (FIsClientConnection && FLink && !ParentSilent()) {
        RunAtBoundary(kLogEvent, "TLcSocketServerProvider OnSocketClosed.TriggerConnectionLost", [this] {
            FClientDisconnectFired = true;
            TriggerClientDisconnect();
        });
    }
    FState = kLcStateClosed;
    TLcSocketBase* socket = FSocket;
    socket->SetSilent(true);
    ForgetSocket();
    CloseAndRelease(socket, "TLcSocketServerProvider SesClosed MyCon.Close",
                    "TLcSocketServerProvider SesClosed MyCon.Release");
    if (GetFlag(&TLcConnectionProvider::Silent))
        return;
    if (FClientThread) {
        TLcThread::PostJob(FClientThread, &Messages().Stop);
        return;
    }
    delete this;
}

void TLcSocketServerProvider::Check()
{
    if (!FSocket)
        return;
    if (FSocket->GetLocalAddr() == "0.0.0.0") {
        if (LcLogSocket)
            Log("TLcSocketServerProvider CLOSING from Check. Socket not connected to local address.", "SOCK");
        FSocket->Close();
        throw ELcSocketError("Socket not connected to local address.");
    }
    if (FSocket->GetPeerAddr() == "0.0.0.0") {
        if (LcLogSocket)
            Log("TLcSocketServerProvider CLOSING from Check. Socket not connected to peer address.", "SOCK");
        FSocket->Close();
        throw ELcSocketError("Socket not connected to peer address.");
    }
}

void TLcSocketServerProvider::Release()
{
    {
        TLockGuard lock(*this);
        if (FClientThread) {
            TLcThread::PostJob(FClientThread, &Messages().Stop);
            return;
        }
        if (FServerThread) {
            // A queue that is ending already frees the provider when it goes.
            if (!TLcThread::PostJob(FServerThread, &Messages().Stop))
                FFreeWithThread = true;
            return;
        }
    }
    delete this;
}

// ---- the queues ----

bool TLcSocketServerProvider::RunSocketJob(TLcSocketServerProvider* provider, TObject* job, std::string& label,
                                           bool& runAsJob)
{
    if (auto* message = dynamic_cast<TLcSockMessage*>(job)) {
        label = "DoMessage(" + std::to_string(message->Code()) + ")";
        if (!provider)
            throw Exception("LcConn = nil");
        if (!provider->FSocket)
            throw Exception("LcConn.Conn = nil");
        provider->FSocket->DoMessage(message->Code(), 0);
        return true;
    }
    if (auto* socketJob = dynamic_cast<TLcSocketMessageJob*>(job)) {
        label = std::string("TLcSocketMessageJob(") + socketJob->ClassName() + ")";
        if (!provider || !provider->FSocket) {
            socketJob->Kill();
            throw Exception(!provider ? "LcConn = nil" : "LcConn.Conn = nil");
        }
        runAsJob = true;
        return true;
    }
    return false;
}

// ---- the server thread ----

bool TLcSocketServerThread::RunJob()
{
    TObject* job = CurrentJob();
    TLcSocketSrvProvUnit& m = Messages();
    std::string label;
    bool stopped = false;
    auto context = [&label] { return "SRV:TLcSocketServerThread.RunJob \"" + label + "\""; };
    RunAtBoundary(kLogError, context, [&] {
        bool runAsJob = false;
        if (TLcSocketServerProvider::RunSocketJob(FProvider, job, label, runAsJob)) {
            if (runAsJob)
                TLcThread::RunJob();
        } else if (job == &m.Init || job == &m.ReInit) {
            label = job == &m.Init ? "WSInit" : "WSReInit";
            if (FProvider)
                FProvider->DoListen(job == &m.ReInit);
        } else if (job == &m.CloseConn) {
            label = "WSCloseConn";
            if (FProvider) {
                {
                    TLockGuard lock(*FProvider);
                    FProvider->SetLost(false);
                }
                FProvider->InternalDisconnect();
            }
        } else if (job == &m.Stop) {
            FStopReceived = true;
            stopped = true;
        } else if (job == &m.Forget) {
            FProvider = nullptr;
        } else {
            label = std::string("(else: \"") + job->ClassName() + "\")";
            TLcThread::RunJob();
        }
    });
    return stopped || !FProvider;  // the listener's queue goes with its provider
}

void TLcSocketServerThread::KillJob()
{
    if (gUnit && CurrentJob() == &gUnit->Stop)
        FStopReceived = true;
    TLcThread::KillJob();
}

TLcSocketServerThread::~TLcSocketServerThread()
{
    RunAtBoundary(kLogError, "TLcSocketServerThread.Destroy", [this] {
        TLcSocketServerProvider* provider = FProvider;
        if (!provider)
            return;  // the provider went first
        // The orderly stop, with no lock held: closing fires triggers and takes the link's lock.
        RunAtBoundary(kLogError, "TLcSocketServerThread.Destroy", [provider] {
            {
                TLockGuard lock(*provider);
                provider->SetLost(false);
            }
            provider->InternalDisconnect();
        });
        bool freeProvider;
        {
            // Under the provider's lock, so that a Release on another thread either reaches
            // this queue's end (it is freed here) or comes after it.
            TLockGuard lock(*provider);
            provider->FServerThread = nullptr;
            freeProvider = FStopReceived || provider->FFreeWithThread;
        }
        if (freeProvider)
            delete provider;
    });
}

// ---- the client thread ----

TLcSocketClientThread::TLcSocketClientThread(std::shared_ptr<TLcListenerLink> Parent,
                                             TLcSocketServerProvider* Connection, TLcSocketBase* PendingSocket)
    : FParent(std::move(Parent)), FConnection(Connection), FPendingSocket(PendingSocket)
{
}

bool TLcSocketClientThread::RunJob()
{
    TObject* job = CurrentJob();
    TLcSocketSrvProvUnit& m = Messages();
    std::string label;
    bool ends = false;
    auto context = [&label] { return "SRV:TLcSocketClientThread.RunJob \"" + label + "\""; };
    RunAtBoundary(kLogError, context, [&] {
        bool runAsJob = false;
        if (TLcSocketServerProvider::RunSocketJob(FConnection, job, label, runAsJob)) {
            if (runAsJob)
                TLcThread::RunJob();
        } else if (job == &m.ClientInit) {
            label = "Init";
            // Half-made (no connect, no time-out): this queue ends now, and its end closes and
            // frees the connection.
            if (FConnection && !RunAtBoundary(kLogError, context, [this] { FConnection->InitClient(this); }))
                ends = true;
        } else if (job == &m.ReleaseSilent || job == &m.ReleaseNormal) {
            FReleaseSilent = job == &m.ReleaseSilent;
            FParent.reset();
            ends = true;
        } else if (job == &m.Stop) {
            ends = true;
        } else if (job == &m.Forget) {
            FConnection = nullptr;
            FParent.reset();
        } else {
            label = std::string("(else: \"") + job->ClassName() + "\")";
            TLcThread::RunJob();
        }
    });
    return ends || !(FConnection && FConnection->FSocket);
}

TLcSocketClientThread::~TLcSocketClientThread()
{
    RunAtBoundary(kLogError, "TLcSocketClientThread.Destroy", [this] {
        if (FParent) {
            std::lock_guard<std::recursive_mutex> guard(FParent->Lock);
            if (FParent->Listener) {
                RunAtBoundary(kLogError, "TLcSocketClientThread.Destroy Par.RemoveThread",
                           [this] { FParent->Listener->RemoveClientThread(this); });
            }
        }
        if (TLcSocketServerProvider* connection = FConnection) {
            FConnection = nullptr;
            {
                TLockGuard lock(*connection);
                connection->FClientThread = nullptr;
            }
            if (FReleaseSilent) {
                TLockGuard lock(*connection);
                connection->SetClosing(true);
                connection->SetSilent(true);
            } else {
                // Own Silent: the triggers fire (they look at the listener's), but the
                // connection does not free itself; it is freed here.
                RunAtBoundary(kLogError, "TLcSocketClientThread.Destroy", [connection] {
                    {
                        TLockGuard lock(*connection);
                        connection->SetSilent(true);
                    }
                    connection->InternalDisconnect();
                });
            }
            if (FReleaseSilent)
                connection->FLink.reset();
            delete connection;
        }
        if (FPendingSocket) {
            TLcSocketBase* socket = FPendingSocket;
            FPendingSocket = nullptr;
            RunAtBoundary(kLogError, "TLcSocketClientThread.Destroy Sock.Release", [socket] { socket->Release(); });
        }
    });
}
