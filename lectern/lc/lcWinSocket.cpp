#include "lectern/lc/lcWinSocket.h"

#include "lectern/lc/lcLog.h"

#include <algorithm>
#include <cctype>
#include <exception>

std::atomic<bool> LcLogSocket{false};
std::atomic<bool> LcLogRefusedSockets{false};

namespace {

TLcSocketApi* gApi = nullptr;

void LogCaught(const std::string& context) { LogCurrentException(context, "ERROR"); }

constexpr long kMaskConnectSide = kFdRead | kFdWrite | kFdConnect | kFdClose;             // 51
constexpr long kMaskUdpListen = kFdRead | kFdWrite | kFdAccept | kFdConnect | kFdClose;   // 59
constexpr long kMaskTcpListen = kFdAccept;                                                 // 8
constexpr long kMaskAccepted = kFdRead | kFdWrite | kFdClose;                              // 35

std::string Trimmed(const std::string& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ')
        --last;
    return s.substr(first, last - first);
}

}  // namespace

TLcSocketApi& LcSocketApi()
{
    if (!gApi)
        throw Exception("No socket interface installed.");
    return *gApi;
}

int TLcSocketApi::WaitSocket(TSocket, bool, int) { return -1; }
int TLcSocketApi::SetNonBlocking(TSocket) { return -1; }

TLcSocketApi* SetLcSocketApi(TLcSocketApi* api)
{
    TLcSocketApi* previous = gApi;
    gApi = api;
    return previous;
}

// Raises the depth for its lifetime; the outermost one carries out what was deferred. Nothing
// may touch the socket after the frame has ended: the socket may be gone.
class TLcWinSocket::TEventFrame {
public:
    TEventFrame(TLcWinSocket& socket, bool checkWrite) : FSocket(socket), FCheckWrite(checkWrite)
    {
        FSocket.EnterFrame();
    }
    ~TEventFrame() { FSocket.LeaveFrame(FCheckWrite); }
    TEventFrame(const TEventFrame&) = delete;
    TEventFrame& operator=(const TEventFrame&) = delete;

private:
    TLcWinSocket& FSocket;
    bool FCheckWrite;
};

TLcWinSocket::TLcWinSocket() { ResetValues(); }

TLcWinSocket::~TLcWinSocket()
{
    try {
        if (FHandle != kInvalidSocket)
            InternalClose(true);
        if (FPendingHandle != kInvalidSocket && FPendingHandle != 0) {
            TLcSocketApi& api = LcSocketApi();
            api.Shutdown(FPendingHandle, 2);
            api.CloseSocket(FPendingHandle);
            FPendingHandle = kInvalidSocket;
        }
    } catch (...) {
        LogCaught("TLcWinSocket.Destroy");
    }
}

void TLcWinSocket::ResetValues()
{
    FFromLen = 0;
    FSockAddr = TSockAddrBuffer{};
    FLocalPort = "0";
    FLocalAddr = "0.0.0.0";
    FHandle = kInvalidSocket;
    FMsgNumber = 0;
    FState = kSockClosed;
    FCanWrite = false;
    FSentSome = false;
    FCanRead = false;
    FAllSent = true;
}

void TLcWinSocket::LeaveFrame(bool checkWrite)
{
    if (--FDepth > 0)
        return;
    if (FReleaseRequested) {
        FReleaseRequested = false;
        Release();  // frees this object
        return;
    }
    if (checkWrite && FSentSome) {
        FSentSome = false;
        PostSelf(kSockEvCheckWrite);
    }
}

void TLcWinSocket::ChangeState(TLcSockState newState)
{
    if (FState == newState)
        return;
    FState = newState;
    TriggerChangeState(newState);
}

void TLcWinSocket::EmptyBuffers()
{
    FSendBlock.clear();
    FSendQueue.clear();
    FSendPos = 0;
    FAllSent = true;
}

void TLcWinSocket::EnsureWindow()
{
    if (FWindow)
        return;
    FWindow = LcSocketApi().GetWindow(FMultiThreaded);
    if (!FWindow)
        throw ELcSocketError("Cannot create a hidden window for TWSocket");
}

void TLcWinSocket::PostSelf(int eventValue)
{
    if (FReleaseRequested || FHandle == kInvalidSocket || !FWindow)
        return;
    // A socket with a queue of its own runs its check-write and its close request there
    // anyway: posted to the queue directly, they save the round trip through the message
    // thread's window.
    if (FThread && (eventValue == kSockEvCheckWrite || eventValue == kSockEvCloseRequest)) {
        PostSocketMessage(eventValue == kSockEvCheckWrite ? kSockMsgCheckWrite : kSockMsgCloseRequest, 0);
        return;
    }
    LcSocketApi().PostToWindow(FWindow, FMsgNumber, FHandle, eventValue);
}

void TLcWinSocket::TakeHandle(TSocket handle)
{
    TLcSocketApi& api = LcSocketApi();
    try {
        EnsureWindow();
        FHandle = handle;
        FPeerClosed = false;
        FMsgNumber = api.NextMessage();
        api.RegistryAdd(this, handle);
    } catch (...) {
        // Not registered, so no close would ever find it: it is closed here.
        FHandle = kInvalidSocket;
        api.CloseSocket(handle);
        throw;
    }
}

void TLcWinSocket::Report(const std::string& operation, bool raise)
{
    std::string text = "Error #" + std::to_string(FLastError) + " in \"" + operation +
                       "\": " + LcSocketApi().ErrorText(FLastError);
    if (LcLogSocket) {
        std::string prefix;
        if (!FPeerAddr.empty())
            prefix = FPeerAddr + ":" + FPeerPort + " > ";
        Log(prefix + text, "SOCK");
    }
    if (raise)
        throw ELcSocketError(text);
}

void TLcWinSocket::RaiseLastError(const std::string& operation)
{
    FLastError = LcSocketApi().LastError();
    Report(operation, true);
}

void TLcWinSocket::SetOptOrRaise(int level, int name, int value, const char* what)
{
    if (LcSocketApi().SetOpt(FHandle, level, name, &value, sizeof(value)) == kSocketError)
        RaiseLastError(what);
}

void TLcWinSocket::SetLingerOff()
{
    TLinger linger{0, 0};
    LcSocketApi().SetOpt(FHandle, kSolSocket, kSoLinger, &linger, sizeof(linger));
}

void TLcWinSocket::ReadCountFromSend()
{
    int value = 0;
    int length = sizeof(value);
    if (LcSocketApi().GetOpt(FHandle, kSolSocket, kSoSndBuf, &value, &length) == kSocketError)
        RaiseLastError("getsockopt(SOL_SOCKET, SO_SNDBUF)");
    if (length != static_cast<int>(sizeof(value)) || value <= 0)
        FMaxSendSize = kLcSockMaxSendSize;
    else
        FMaxSendSize = std::min(value, kLcSockMaxSendSize);
}

void TLcWinSocket::ResolveAndCreate(const char* resolveContext, const char* resolveOperation,
                                    const char* socketOperation)
{
    TLcSocketApi& api = LcSocketApi();
    int resolved = 0;
    try {
        resolved = api.SetVarSin(FSockAddr, FAddr, FPort, FProtoNumber, FSocketType);
    } catch (const Exception& e) {
        throw ELcSocketError(resolveContext + e.Message());
    }
    if (resolved != 0) {
        FLastError = resolved;
        Report(resolveOperation, true);
    }
    EmptyBuffers();
    TSocket handle = api.Socket(FSockAddr.Addr.sa_family, FSocketType, FProtoNumber);
    if (handle == kInvalidSocket)
        RaiseLastError(socketOperation);
    TakeHandle(handle);
}

void TLcWinSocket::SetApiTimeoutOptions()
{
    if (FReceiveTimeout > 0)
        SetOptOrRaise(kSolSocket, kSoRcvTimeo, FReceiveTimeout * 1000, "Error setting socket receive timeout");
    if (FSendTimeout > 0)
        SetOptOrRaise(kSolSocket, kSoSndTimeo, FSendTimeout * 1000, "Error setting socket send timeout");
}

// ---- settings ----

void TLcWinSocket::SetAddr(const std::string& Value)
{
    if (FState != kSockClosed)
        throw ELcSocketError("Cannot change Addr if not closed");
    FAddr = Trimmed(Value);
}

void TLcWinSocket::SetPort(const std::string& Value)
{
    if (FState != kSockClosed)
        throw ELcSocketError("Cannot change Port if not closed");
    FPort = Trimmed(Value);
}

void TLcWinSocket::SetLocalAddr(const std::string& Value)
{
    if (FState != kSockClosed)
        throw ELcSocketError("Cannot change LocalAddr if not closed");
    FLocalAddr = Trimmed(Value).empty() ? "0.0.0.0" : Trimmed(Value);
}

void TLcWinSocket::SetLocalPort(const std::string& Value)
{
    if (FState != kSockClosed)
        throw ELcSocketError("Cannot change LocalPort if not closed");
    FLocalPort = Trimmed(Value).empty() ? "0" : Trimmed(Value);
}

void TLcWinSocket::SetProto(int Value)
{
    FProto = Value;
    if (Value == 1) {
        FProtoName = "udp";
        FProtoNumber = 17;
        FSocketType = 2;
    } else {
        FProtoName = "tcp";
        FProtoNumber = 6;
        FSocketType = 1;
    }
}

// ---- listening and accepting ----

void TLcWinSocket::Listen()
{
    TLcSocketApi& api = LcSocketApi();
    api.Load();
    FPeerAddr.clear();
    FPeerPort.clear();
    if (FPort.empty()) {
        FLastError = kWsaEInval;
        throw ELcSocketError("listen: port not assigned");
    }
    if (FAddr.empty()) {
        FLastError = kWsaEInval;
        throw ELcSocketError("listen: address not assigned");
    }
    // An address that cannot be resolved is an error, not a wildcard listener.
    ResolveAndCreate("listen: ", "listen (WSocket_SetVarSin)", "socket");
    if (IsUdp() && FReuseAddr)
        SetOptOrRaise(kSolSocket, kSoReuseAddr, -1, "setsockopt(SO_REUSEADDR)");
    if (api.Bind(FHandle, FSockAddr, kSockAddrSize) == kSocketError)
        RaiseLastError("Bind");
    ChangeState(kSockBound);
    if (IsUdp()) {
        if (FMultiCast) {
            uint32_t request[2];
            request[0] = api.ResolveHost(FMultiCastAddr);
            request[1] = api.ResolveHost(FAddr);
            if (api.SetOpt(FHandle, kIpProtoIp, kIpAddMembership, request, sizeof(request)) ==
                kSocketError)
                RaiseLastError("setsockopt(IP MULTICAST)");
        }
        if (api.AsyncSelect(FHandle, FWindow, FMsgNumber, kMaskUdpListen) == kSocketError)
            RaiseLastError("StartingListen");
        ChangeState(kSockListening);
        if (FHandle != kInvalidSocket)
            ChangeState(kSockConnected);
        return;
    }
    SetOptOrRaise(kIpProtoTcp, kTcpNoDelay, -1, "SetSockOpt(TC_NODELAY)");
    SetOptOrRaise(kSolSocket, kSoKeepAlive, -1, "SetSockOpt(SO_KEEPALIVE)");
    SetApiTimeoutOptions();
    SetOptOrRaise(kSolSocket, kSoRcvBuf, kLcSockRcvBufSize, "SetSockOpt(SO_RECVBUF)");
    SetOptOrRaise(kSolSocket, kSoSndBuf, kLcSockSndBufSize, "SetSockOpt(SO_SNDBUF)");
    SetLingerOff();
    if (api.AsyncSelect(FHandle, FWindow, FMsgNumber, kMaskTcpListen) == kSocketError)
        RaiseLastError("StartingListen");
    if (api.Listen(FHandle, kLcListenBacklog) == kSocketError)
        RaiseLastError("Listen");
    ChangeState(kSockListening);
}

TLcSocketBase* TLcWinSocket::GetNewSocket()
{
    int length = kSockAddrSize;
    TSocket handle = LcSocketApi().Accept(FHandle, &FSockAddr, &length);
    if (handle == kInvalidSocket)
        return nullptr;
    auto* socket = static_cast<TLcWinSocket*>(Create());
    socket->FPendingHandle = handle;
    return socket;
}

void TLcWinSocket::StartNewSocket()
{
    if (FPendingHandle == 0 || FPendingHandle == kInvalidSocket) {
        FLastError = kWsaEInval;
        Report("StartNewSocket", true);
    }
    TSocket handle = FPendingHandle;
    FPendingHandle = kInvalidSocket;
    TakeHandle(handle);
    ReadCountFromSend();
    SetLingerOff();
    FState = kSockConnecting;  // no event
    if (LcSocketApi().AsyncSelect(FHandle, FWindow, FMsgNumber, kMaskAccepted) == kSocketError)
        RaiseLastError("StartingNewSocket");
}

void TLcWinSocket::Connect()
{
    TLcSocketApi& api = LcSocketApi();
    api.Load();
    FPeerAddr.clear();
    FPeerPort.clear();
    ChangeState(kSockClosed);
    if (FPort.empty())
        throw ELcSocketError("Connect: No Port Specified");
    if (FAddr.empty())
        throw ELcSocketError("Connect: No IP Address Specified");
    ResolveAndCreate("connect: ", "Connect (WSocket_SetVarSin)", "Connect (socket)");
    ChangeState(kSockOpened);
    if (FState != kSockOpened) {
        FLastError = kWsaEInval;
        Report("Connect (Invalid operation in OnChangeState)", true);
    }
    if (IsUdp()) {
        LocalBind();
        SetDatagramClientOptions();
    } else {
        SetOptOrRaise(kSolSocket, kSoReuseAddr, -1, "setsockopt(SO_REUSEADDR)");
        SetOptOrRaise(kIpProtoTcp, kTcpNoDelay, -1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        SetOptOrRaise(kSolSocket, kSoKeepAlive, -1, "setsockopt(SO_KEEPALIVE)");
        SetApiTimeoutOptions();
        SetOptOrRaise(kSolSocket, kSoRcvBuf, kLcSockRcvBufSize, "setsockopt(SOL_SOCKET, SO_RCVBUF)");
        SetOptOrRaise(kSolSocket, kSoSndBuf, kLcSockSndBufSize, "setsockopt(SOL_SOCKET, SO_SNDBUF)");
        ReadCountFromSend();
        SetLingerOff();
        if ((!FLocalPort.empty() && FLocalPort != "0") || FLocalAddr != "0.0.0.0")
            LocalBind();
    }
    PostSelf(kSockEvStartConnect);
}

void TLcWinSocket::LocalBind()
{
    TLcSocketApi& api = LcSocketApi();
    TSockAddrBuffer local{};
    const std::string port = FLocalPort.empty() ? "0" : FLocalPort;
    int resolved = 0;
    try {
        resolved = api.SetVarSin(local, FLocalAddr, port, FProtoNumber, FSocketType);
    } catch (const Exception& e) {
        throw ELcSocketError("connect: " + e.Message());
    }
    if (resolved != 0) {
        FLastError = resolved;
        throw ELcSocketError("winsock.bind failed, error #" + std::to_string(resolved));
    }
    if (api.Bind(FHandle, local, kSockAddrSize) == kSocketError) {
        FLastError = api.LastError();
        throw ELcSocketError("winsock.bind failed, error #" + std::to_string(FLastError));
    }
    int length = kSockAddrSize;
    if (api.GetSockName(FHandle, &local, &length) == kSocketError) {
        FLastError = api.LastError();
        throw ELcSocketError("winsock.getsockname failed, error #" + std::to_string(FLastError));
    }
    FLocalPortNumber = api.AddrPort(local);
    FLocalPort = std::to_string(FLocalPortNumber);
    ChangeState(kSockBound);
}

void TLcWinSocket::SetDatagramClientOptions()
{
    TLcSocketApi& api = LcSocketApi();
    if (FMultiCast) {
        if (FMultiCastTTL != 1) {
            const int ttl = FMultiCastTTL;
            if (api.SetOpt(FHandle, kIpProtoIp, kIpMulticastTtl, &ttl, sizeof ttl) == kSocketError)
                RaiseLastError("setsockopt(IP_MULTICAST_TTL)");
        }
        if (FLocalAddr != "0.0.0.0") {
            const uint32_t iface = api.ResolveHost(FLocalAddr);
            if (api.SetOpt(FHandle, kIpProtoIp, kIpMulticastIf, &iface, sizeof iface) == kSocketError)
                RaiseLastError("setsockopt(IP_MULTICAST_IF)");
        }
    }
    if (FAddr == "255.255.255.255" || FAddr == "ffff::1")
        SetOptOrRaise(kSolSocket, kSoBroadcast, -1, "setsockopt(SO_BROADCAST)");
}

// ---- closing and release ----

int TLcWinSocket::PendingCount()
{
    unsigned long count = 0;
    TLcSocketApi& api = LcSocketApi();
    if (api.PendingCount(FHandle, &count) == kSocketError) {
        int error = api.LastError();
        if (error == kWsaEWouldBlock || error == 0)
            return 0;
        FLastError = error;
        if (LcLogSocket)
            Report("GetRcvdCount", false);
        return -1;
    }
    return static_cast<int>(count);
}

void TLcWinSocket::ReadPendingIntoCloseData()
{
    TLcSocketApi& api = LcSocketApi();
    while (FCloseData.size() < kCloseReadLimitBytes) {
        const int count = PendingCount();
        if (count <= 0)
            return;
        const size_t kept = FCloseData.size();
        const int asked = static_cast<int>(std::min(static_cast<size_t>(count), kCloseReadLimitBytes - kept));
        FCloseData.resize(kept + static_cast<size_t>(asked));
        const int got = api.Recv(FHandle, FCloseData.data() + kept, asked);
        FCloseData.resize(kept + static_cast<size_t>(std::max(got, 0)));
        if (got < asked)
            return;
    }
}

void TLcWinSocket::InternalClose(bool abort)
{
    if (FHandle == kInvalidSocket)
        return;
    TLcSocketApi& api = LcSocketApi();
    if (!api.RegistryRemove(this))
        return;
    // From here on the handle is this close's to close, whatever fails on the way: once out of
    // the registry no later close would find it.
    std::exception_ptr failure;
    try {
        if (FWindow)
            api.AsyncSelect(FHandle, FWindow, 0, 0);
        EmptyBuffers();
        FCanRead = false;
        FCloseData.clear();
        ReadPendingIntoCloseData();
        if (abort) {
            TLinger linger{1, 0};
            api.SetOpt(FHandle, kSolSocket, kSoLinger, &linger, sizeof(linger));
        }
        api.Shutdown(FHandle, kSdSend);
        ReadPendingIntoCloseData();
        api.Shutdown(FHandle, kSdReceive);
        ReadPendingIntoCloseData();
    } catch (...) {
        failure = std::current_exception();
    }
    api.CloseSocket(FHandle);
    FHandle = kInvalidSocket;
    ChangeState(kSockClosed);
    if (failure)
        std::rethrow_exception(failure);
}

void TLcWinSocket::Close()
{
    TEventFrame frame(*this, false);
    InternalClose(false);
}

void TLcWinSocket::Abort()
{
    TEventFrame frame(*this, false);
    InternalClose(true);
}

void TLcWinSocket::Release()
{
    // A release asked for while this one aborts (a state handler, say) must not free twice.
    if (FReleasing)
        return;
    if (FDepth > 0) {
        FReleaseRequested = true;
        return;
    }
    FReleasing = true;
    FReleaseRequested = false;
    ++FDepth;  // the frame of the release itself; it ends with the object
    try {
        if (FHandle != kInvalidSocket)
            InternalClose(true);
    } catch (...) {
        LogCaught("Release: Abort");
    }
    FSentSome = false;
    FCanWrite = false;
    FCanRead = false;
    delete this;
}

// ---- events ----

void TLcWinSocket::WMAsyncSelect(int Event, int Error)
{
    int code;
    switch (Event) {
    case kFdConnect: code = kSockMsgConnect; break;
    case kFdClose: code = kSockMsgClose; break;
    case kFdRead: code = kSockMsgRead; break;
    case kFdWrite: code = kSockMsgWrite; break;
    case kFdAccept: code = kSockMsgAccept; break;
    case kSockEvStartConnect: code = kSockMsgStartConnect; break;
    case kSockEvCheckRead: code = kSockMsgCheckRead; break;
    case kSockEvCheckWrite: code = kSockMsgCheckWrite; break;
    case kSockEvCloseRequest: code = kSockMsgCloseRequest; break;
    default: return;
    }
    PostSocketMessage(code, Error);
}

void TLcWinSocket::HandleBgException(Exception& E)
{
    bool mayClose = true;
    try {
        TriggerBgException(E, mayClose);
    } catch (...) {
        LogCaught("TLcWinSocket.OnBgException");
    }
    if (!mayClose)
        return;
    // The dispatcher runs on the message thread for a multi-threaded socket: the abort goes
    // to the socket's own queue, where its other handlers run.
    if (FMultiThreaded && FThread) {
        PostSocketMessage(kSockMsgCloseRequest, 0);
        return;
    }
    try {
        Abort();
    } catch (...) {
        LogCaught("TLcWinSocket.Abort");
    }
}

void TLcWinSocket::SelectBgException()
{
    try {
        throw;
    } catch (Exception& e) {
        HandleBgException(e);
    } catch (const std::exception& e) {
        Exception error(e.what());
        HandleBgException(error);
    }
}

void TLcWinSocket::HandleRead()
{
    FCanRead = true;
    if (FState == kSockConnected) {
        TriggerDataReceived();
        if (IsUdp())
            FFromLen = 0;
        if (FSentSome) {
            FSentSome = false;
            PostSelf(kSockEvCheckWrite);
        }
    } else if (FState == kSockConnecting) {
        ChangeState(kSockConnected);
        PostSelf(kSockEvCheckRead);
    }
}

bool TLcWinSocket::DataSentEvent()
{
    const uint64_t given = FTextsGiven;
    TriggerDataSent();
    if (!FPeerClosed || FTextsGiven != given || !FAllSent || FHandle == kInvalidSocket)
        return false;
    InternalClose(false);
    return true;
}

void TLcWinSocket::HandlePeerClose()
{
    if (IsUdp() || (FState != kSockConnected && FState != kSockConnecting)) {
        InternalClose(false);
        return;
    }
    if (FState == kSockConnecting)
        ChangeState(kSockConnected);  // closed before its first write event: connected all the same
    if (FPeerClosed || FHandle == kInvalidSocket)
        return;
    FPeerClosed = true;
    if (PendingCount() > 0)
        HandleRead();  // what came before the close is handed on
    if (FHandle == kInvalidSocket)
        return;
    if (!FAllSent)
        TryToSend();  // goes on at the next write event; fails when the peer is gone entirely
    else
        DataSentEvent();
}

void TLcWinSocket::HandleWrite()
{
    FCanWrite = true;
    if (FState == kSockConnected) {
        if (FAllSent) {
            if (DataSentEvent())
                return;
        } else {
            TryToSend();
        }
        if (FSentSome) {
            FSentSome = false;
            PostSelf(kSockEvCheckWrite);
        } else if (FCanRead) {
            PostSelf(kSockEvCheckRead);
        }
    } else if (FState == kSockConnecting) {
        ChangeState(kSockConnected);
        FSentSome = false;
        PostSelf(kSockEvCheckWrite);
    }
}

bool TLcWinSocket::EventFailed(int error, const char* operation, bool abort)
{
    if (error == 0)
        return false;
    FLastError = error;
    Report(operation, false);
    if (abort)
        InternalClose(true);
    return true;
}

void TLcWinSocket::DoMessage(int Code, int Error)
{
    switch (Code) {
    case kSockMsgConnect: {
        TEventFrame frame(*this, true);
        if (Error != 0) {
            FLastError = Error;
            bool quiet = (Error == kWsaEConnRefused || Error == kWsaETimedOut) && !LcLogRefusedSockets;
            if (!quiet)
                Report("FD_CONNECT", false);
            InternalClose(true);
        }
        return;
    }
    case kSockMsgClose: {
        TEventFrame frame(*this, true);
        if (Error != 0) {
            FLastError = Error;
            if (!(Error == kWsaEConnAborted && !LcLogRefusedSockets))
                Report("FD_CLOSE", false);
            InternalClose(true);
        } else {
            HandlePeerClose();
        }
        return;
    }
    case kSockMsgRead: {
        TEventFrame frame(*this, false);
        if (!EventFailed(Error, "FD_READ", true))
            HandleRead();
        return;
    }
    case kSockMsgWrite: {
        TEventFrame frame(*this, true);
        if (!EventFailed(Error, "FD_WRITE", true))
            HandleWrite();
        return;
    }
    case kSockMsgAccept: {
        TEventFrame frame(*this, true);
        if (!EventFailed(Error, "FD_ACCEPT", false))
            TriggerSessionAvailable();
        return;
    }
    case kSockMsgStartConnect: {
        TEventFrame frame(*this, true);
        TLcSocketApi& api = LcSocketApi();
        if (api.AsyncSelect(FHandle, FWindow, FMsgNumber, kMaskConnectSide) == kSocketError) {
            FLastError = api.LastError();
            Report("StartingConnect", false);
            InternalClose(true);
            return;
        }
        if (IsUdp()) {
            ChangeState(kSockConnecting);
            return;
        }
        if (api.Connect(FHandle, FSockAddr, api.AddrSize(FSockAddr)) == kSocketError) {
            int error = api.LastError();
            if (error != kWsaEWouldBlock) {
                FLastError = error;
                Report("Connect", false);
                InternalClose(true);
                return;
            }
        }
        ChangeState(kSockConnecting);
        return;
    }
    case kSockMsgCheckRead: {
        if (FCanRead)
            DoMessage(kSockMsgRead, 0);
        return;
    }
    case kSockMsgCheckWrite: {
        if (FCanWrite)
            DoMessage(kSockMsgWrite, 0);
        return;
    }
    case kSockMsgCloseRequest: {
        TEventFrame frame(*this, false);
        InternalClose(true);
        return;
    }
    default:
        throw ELcSocketError("TLcWinSocket.DoMessage: Unknown message code #" + std::to_string(Code));
    }
}

// ---- reading and sending ----

int TLcWinSocket::ReceiveStr(std::string& Text)
{
    Text.clear();
    if (!FCanRead) {
        if (FCloseData.empty())
            return 0;
        Text.swap(FCloseData);
        return static_cast<int>(Text.size());
    }
    FCanRead = false;
    int count = PendingCount();
    if (count == 0)
        return 0;
    if (count < 0) {
        Report("ReceiveStr: GetRcvdCount<0", false);
        return 0;
    }
    Text.resize(static_cast<size_t>(count));
    TLcSocketApi& api = LcSocketApi();
    int got;
    if (IsUdp()) {
        FFromLen = kSockAddrSize;
        got = api.RecvFrom(FHandle, Text.data(), count, &FFrom, &FFromLen);
    } else {
        got = api.Recv(FHandle, Text.data(), count);
    }
    if (got < 0) {
        Text.clear();
        FLastError = api.LastError();
        Report("ReceiveStr: Receive() returned " + std::to_string(got) + " instead of " +
                   std::to_string(count) + " bytes",
               false);
        return got;
    }
    Text.resize(static_cast<size_t>(got));
    if (got > 0)
        TriggerDataIn(got);
    return got;
}

int TLcWinSocket::SendStr(std::string Text)
{
    if (IsUdp()) {
        TLcSocketApi& api = LcSocketApi();
        const TSockAddrBuffer& to = FFromLen > 0 ? FFrom : FSockAddr;
        int toLength = FFromLen > 0 ? FFromLen : api.AddrSize(FSockAddr);
        int sent = api.SendTo(FHandle, Text.data(), static_cast<int>(Text.size()), to, toLength);
        if (sent > 0)
            TriggerDataOut(sent);
        if (sent < static_cast<int>(Text.size())) {
            FLastError = api.LastError();
            Report("SendStr", false);
        }
        return static_cast<int>(Text.size());
    }
    const int length = static_cast<int>(Text.size());
    if (!Text.empty()) {
        ++FTextsGiven;
        if (FAllSent) {
            FSendBlock = std::move(Text);  // a large answer is not copied again
            FSendPos = 0;
        } else {
            FSendQueue += Text;
        }
        FAllSent = false;
    }
    if (FCanWrite && !FAllSent && !FSending) {
        TEventFrame frame(*this, true);
        TryToSend();
    }
    return length;
}

int TLcWinSocket::BuffStr(const std::string& Text)
{
    if (IsUdp())
        return SendStr(Text);
    if (!Text.empty()) {
        ++FTextsGiven;
        if (FAllSent) {
            FSendBlock = Text;
            FSendPos = 0;
        } else {
            FSendQueue += Text;
        }
        FAllSent = false;
    }
    return static_cast<int>(Text.size());
}

void TLcWinSocket::TryToSend()
{
    TLcSocketApi& api = LcSocketApi();
    FSending = true;
    while (!FAllSent && FHandle != kInvalidSocket) {
        if (FSendPos >= FSendBlock.size()) {
            FSendBlock.swap(FSendQueue);
            FSendQueue.clear();
            FSendPos = 0;
        }
        if (FSendBlock.empty()) {
            FAllSent = true;
            break;
        }
        // What waits behind the block goes out in the same call when both fit in one: a
        // buffered head and its body leave in one send.
        if (!FSendQueue.empty() &&
            FSendBlock.size() - FSendPos + FSendQueue.size() <= static_cast<size_t>(FMaxSendSize)) {
            FSendBlock.erase(0, FSendPos);
            FSendPos = 0;
            FSendBlock += FSendQueue;
            FSendQueue.clear();
        }
        int asked = static_cast<int>(std::min<size_t>(static_cast<size_t>(FMaxSendSize),
                                                      FSendBlock.size() - FSendPos));
        api.SetLastError(0);
        int sent = api.Send(FHandle, FSendBlock.data() + FSendPos, asked);
        if (sent > 0) {
            FSentSome = true;
            FSendPos += static_cast<size_t>(sent);
            TriggerDataOut(sent);
            // Part of the bytes or all of them: either way the system may take more.
            continue;
        }
        FSentSome = false;
        FCanWrite = false;
        FLastError = api.LastError();
        if (FLastError != kWsaEWouldBlock) {
            Report("TryToSend " + std::to_string(asked) + ", sent " + std::to_string(sent), false);
            if (FPeerClosed)
                PostSelf(kSockEvCloseRequest);  // no close event is to come: the peer is gone
        }
        break;
    }
    FSending = false;
}

// ---- addresses ----

std::string TLcWinSocket::GetPeerAddr()
{
    TLcSocketApi& api = LcSocketApi();
    if (IsUdp()) {
        FPeerAddr = api.AddrText(FFromLen > 0 ? FFrom : FSockAddr);
        return FPeerAddr;
    }
    if (FState != kSockConnected)
        return "0.0.0.0";
    TSockAddrBuffer addr{};
    int length = kSockAddrSize;
    if (api.GetPeerName(FHandle, &addr, &length) == kSocketError) {
        FLastError = api.LastError();
        Report("GetPeerAddr", false);
        return "0.0.0.0";
    }
    FPeerAddr = api.AddrText(addr);
    return FPeerAddr;
}

std::string TLcWinSocket::GetPeerPort()
{
    TLcSocketApi& api = LcSocketApi();
    if (IsUdp()) {
        FPeerPort = std::to_string(api.AddrPort(FFromLen > 0 ? FFrom : FSockAddr));
        return FPeerPort;
    }
    if (FState != kSockConnected)
        return "error";
    TSockAddrBuffer addr{};
    int length = kSockAddrSize;
    if (api.GetPeerName(FHandle, &addr, &length) == kSocketError) {
        FLastError = api.LastError();
        Report("GetPeerPort", false);
        return "error";
    }
    FPeerPort = std::to_string(api.AddrPort(addr));
    return FPeerPort;
}

std::string TLcWinSocket::GetLocalAddr()
{
    if (FState != kSockBound && FState != kSockConnected && FState != kSockListening)
        return "0.0.0.0";
    TLcSocketApi& api = LcSocketApi();
    TSockAddrBuffer addr{};
    int length = kSockAddrSize;
    if (api.GetSockName(FHandle, &addr, &length) == kSocketError)
        return "0.0.0.0";
    return api.AddrText(addr);
}

std::string TLcWinSocket::GetLocalPort()
{
    if (FState != kSockBound && FState != kSockConnected && FState != kSockListening)
        return "error";
    TLcSocketApi& api = LcSocketApi();
    TSockAddrBuffer addr{};
    int length = kSockAddrSize;
    if (api.GetSockName(FHandle, &addr, &length) == kSocketError)
        return "error";
    return std::to_string(api.AddrPort(addr));
}

std::string TLcWinSocket::GetLastErrorText()
{
    if (FLastError == 0)
        return std::string();
    return "#" + std::to_string(FLastError) + ": " + LcSocketApi().ErrorText(FLastError);
}
