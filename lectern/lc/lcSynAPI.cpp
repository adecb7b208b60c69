#include "lectern/lc/lcSynAPI.h"

#include "lectern/lc/lcSockApi.h"

#include <algorithm>

namespace {

constexpr int kShutdownBoth = 2;
// The error a receive of 0 bytes stands for: the peer closed the connection.
constexpr int kErrConnReset = 10054;
// Option value "on" as the sockets take it.
constexpr int kOptionOn = -1;

}  // namespace

TLcSocket::TLcSocket() { LcSocketApi().Load(); }

TLcSocket::~TLcSocket()
{
    try {
        Close();
        if (FAccepted != kInvalidSocket) {
            LcSocketApi().CloseSocket(FAccepted);
            FAccepted = kInvalidSocket;
        }
    } catch (...) {
    }
}

void TLcSocket::ClearError()
{
    FLastError = 0;
    FLastErrorText.clear();
}

void TLcSocket::SetError(int code, const std::string& text)
{
    FLastError = code;
    FLastErrorText = text;
}

bool TLcSocket::Check(int result)
{
    if (result != kSocketError) {
        return true;
    }
    TLcSocketApi& api = LcSocketApi();
    const int code = api.LastError();
    SetError(code, api.ErrorText(code));
    return Ok();
}

std::string TLcSocket::GetErrorText() const
{
    return FLastError == 0 ? std::string() : "#" + std::to_string(FLastError) + ": " + FLastErrorText;
}

bool TLcSocket::ResolveAddress(const std::string& address, const std::string& port)
{
    TLcSocketApi& api = LcSocketApi();
    FAddress = TSockAddrBuffer{};
    int result = 0;
    try {
        result = api.SetVarSin(FAddress, address.empty() ? "0.0.0.0" : address, port, kIpProtoTcp, kSockStream);
    } catch (const ELcSocketError& e) {
        SetError(-1, e.Message());
        return false;
    }
    if (result != 0) {
        SetError(result, api.ErrorText(result));
        return false;
    }
    return true;
}

bool TLcSocket::Create()
{
    if (FHandle != kInvalidSocket) {
        return true;
    }
    const TSocket handle = LcSocketApi().Socket(FAddress.Addr.sa_family, kSockStream, kIpProtoTcp);
    if (handle == kInvalidSocket) {
        Check(kSocketError);
        if (FLastError == 0) {
            SetError(-1, "Socket not created");
        }
        return false;
    }
    FHandle = handle;
    return true;
}

void TLcSocket::ReadNames(bool peer)
{
    TLcSocketApi& api = LcSocketApi();
    FLocalLength = static_cast<int>(sizeof FLocal);
    api.GetSockName(FHandle, &FLocal, &FLocalLength);
    if (peer) {
        FPeerLength = static_cast<int>(sizeof FPeer);
        api.GetPeerName(FHandle, &FPeer, &FPeerLength);
    }
}

void TLcSocket::SetOptions()
{
    TLcSocketApi& api = LcSocketApi();
    const int on = kOptionOn;
    const int buffer = kLcSynBufferSize;
    api.SetOpt(FHandle, kIpProtoTcp, kTcpNoDelay, &on, sizeof on);
    api.SetOpt(FHandle, kSolSocket, kSoKeepAlive, &on, sizeof on);
    api.SetOpt(FHandle, kSolSocket, kSoReuseAddr, &on, sizeof on);
    api.SetOpt(FHandle, kSolSocket, kSoRcvBuf, &buffer, sizeof buffer);
    api.SetOpt(FHandle, kSolSocket, kSoSndBuf, &buffer, sizeof buffer);
}

void TLcSocket::SetTimeouts(int receiveTimeout, int sendTimeout)
{
    TLcSocketApi& api = LcSocketApi();
    if (receiveTimeout > 0) {
        const int ms = receiveTimeout * 1000;
        api.SetOpt(FHandle, kSolSocket, kSoRcvTimeo, &ms, sizeof ms);
    }
    if (sendTimeout > 0) {
        const int ms = sendTimeout * 1000;
        api.SetOpt(FHandle, kSolSocket, kSoSndTimeo, &ms, sizeof ms);
    }
}

void TLcSocket::SetLingerOff()
{
    const TLinger linger{0, 0};
    LcSocketApi().SetOpt(FHandle, kSolSocket, kSoLinger, &linger, sizeof linger);
}

bool TLcSocket::Listen(const std::string& address, const std::string& port, int receiveTimeout, int sendTimeout)
{
    ClearError();
    if (!ResolveAddress(address, port) || !Create()) {
        return false;
    }
    TLcSocketApi& api = LcSocketApi();
    if (!Check(api.Bind(FHandle, FAddress, api.AddrSize(FAddress)))) {
        return false;   // the handle goes with Close or the object
    }
    ReadNames(false);
    if (!Check(api.Listen(FHandle, std::min(kLcSynListenBacklog, kLcSynListenBacklogCap)))) {
        Close();
        return false;
    }
    ReadNames(false);
    SetOptions();
    SetTimeouts(receiveTimeout, sendTimeout);
    SetLingerOff();
    api.SetNonBlocking(FHandle);
    return true;
}

int TLcSocket::WaitAccept(int ms)
{
    ClearError();
    if (FHandle == kInvalidSocket) {
        SetError(-1, "Socket closed");
        return -1;
    }
    const int result = LcSocketApi().WaitSocket(FHandle, false, ms);
    if (result < 0) {
        Check(kSocketError);
        if (FLastError == 0 || Ok()) {
            SetError(-1, "Waiting for a connection failed");
        }
        return -1;
    }
    return result > 0 ? 1 : 0;
}

std::unique_ptr<TLcSocket> TLcSocket::GetNewSocket()
{
    ClearError();
    TSockAddrBuffer peer{};
    int length = static_cast<int>(sizeof peer);
    const TSocket handle = LcSocketApi().Accept(FHandle, &peer, &length);
    if (handle == kInvalidSocket) {
        Check(kSocketError);
        if (FLastError == 0) {
            SetError(-1, "No socket waiting");
        }
        return nullptr;
    }
    auto socket = std::make_unique<TLcSocket>();
    socket->FAccepted = handle;
    socket->FPeer = peer;
    socket->FPeerLength = length;
    return socket;
}

bool TLcSocket::StartNewSocket()
{
    ClearError();
    if (FAccepted == kInvalidSocket) {
        SetError(-1, "No socket waiting");
        return false;
    }
    FHandle = FAccepted;
    FAccepted = kInvalidSocket;
    ReadNames(true);
    SetLingerOff();
    LcSocketApi().SetNonBlocking(FHandle);   // the listener's mode is inherited; made sure of
    return true;
}

bool TLcSocket::Connect(const std::string& address, const std::string& port, int receiveTimeout, int sendTimeout)
{
    ClearError();
    if (!ResolveAddress(address, port) || !Create()) {
        return false;
    }
    TLcSocketApi& api = LcSocketApi();
    if (!Check(api.Connect(FHandle, FAddress, api.AddrSize(FAddress))) || FLastError != 0) {
        Close();
        return false;
    }
    ReadNames(true);
    SetOptions();
    SetTimeouts(receiveTimeout, sendTimeout);
    SetLingerOff();
    api.SetNonBlocking(FHandle);
    return true;
}

bool TLcSocket::Close()
{
    if (FHandle == kInvalidSocket) {
        return false;
    }
    TLcSocketApi& api = LcSocketApi();
    api.Shutdown(FHandle, kShutdownBoth);
    api.CloseSocket(FHandle);
    FHandle = kInvalidSocket;
    return true;
}

bool TLcSocket::ReceiveEx(std::string& text, int ms)
{
    ClearError();
    text.clear();
    TLcSocketApi& api = LcSocketApi();
    unsigned long count = 0;
    if (!Check(api.PendingCount(FHandle, &count))) {
        return false;
    }
    if (count == 0) {
        const int ready = api.WaitSocket(FHandle, false, ms);
        if (ready < 0) {
            Check(kSocketError);
            if (FLastError == 0 || Ok()) {
                SetError(-1, "Connection error");
            }
            return false;
        }
        if (ready == 0) {
            return true;   // nothing came
        }
        if (!Check(api.PendingCount(FHandle, &count)) || count == 0) {
            SetError(-1, "Connection error");   // readable with nothing to read: the peer closed
            return false;
        }
    }
    const int wanted = static_cast<int>(std::min<unsigned long>(count, kLcSynMaxRead));
    std::string buffer(static_cast<size_t>(wanted), '\0');
    const int got = api.Recv(FHandle, buffer.data(), wanted);
    if (got == 0) {
        SetError(kErrConnReset, api.ErrorText(kErrConnReset));
        return false;
    }
    if (got < 0) {
        Check(kSocketError);
        return false;
    }
    if (got < wanted) {
        SetError(-1, "Reading error");
        return false;
    }
    text = std::move(buffer);
    return true;
}

int TLcSocket::SendEx(const std::string& text, size_t position, int ms)
{
    ClearError();
    if (position < 1 || position > text.size()) {
        return 0;
    }
    TLcSocketApi& api = LcSocketApi();
    const char* data = text.data() + position - 1;
    const int length = static_cast<int>(std::min<size_t>(text.size() - position + 1, kLcSynMaxSend));
    int sent = api.Send(FHandle, data, length);
    if (sent < 0) {
        if (!Check(kSocketError)) {
            return -1;
        }
        // No room: wait for it a little, then try once more.
        const int ready = api.WaitSocket(FHandle, true, ms);
        if (ready < 0) {
            Check(kSocketError);
            return -1;
        }
        ClearError();
        sent = api.Send(FHandle, data, length);
        if (sent < 0) {
            return Check(kSocketError) ? 0 : -1;   // still no room: the caller comes back
        }
    }
    return Ok() ? sent : -1;
}

std::string TLcSocket::LocalAddr() const
{
    return FHandle == kInvalidSocket ? std::string() : LcSocketApi().AddrText(FLocal);
}

std::string TLcSocket::LocalPort() const
{
    return FHandle == kInvalidSocket ? std::string() : std::to_string(LcSocketApi().AddrPort(FLocal));
}

std::string TLcSocket::PeerAddr() const
{
    return FHandle == kInvalidSocket || FPeerLength == 0 ? std::string() : LcSocketApi().AddrText(FPeer);
}

std::string TLcSocket::PeerPort() const
{
    return FHandle == kInvalidSocket || FPeerLength == 0 ? std::string()
                                                         : std::to_string(LcSocketApi().AddrPort(FPeer));
}
