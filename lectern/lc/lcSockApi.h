// Unit lcSockApi: the calls the asynchronous socket makes to the system, behind one interface.
//
// TLcWinSocket (lcWinSocket) is written against TLcSocketApi and never calls WinSock, the
// hidden windows or the socket registry itself. In the Windows build the interface is served
// by the run-time WinSock binding, the hidden-window pool and the registry; a test installs a
// scripted fake instead, so that the socket's logic (send queue, partial sends, closing,
// release inside events) runs natively too.
//
// The numbers below are WinSock's own (event bits, option levels and names, error codes): an
// implementation over WinSock passes them through unchanged.
#pragma once

#include "classlib/SysUtils.h"

#include <array>
#include <cstdint>
#include <string>

// A recoverable socket error (bad argument, failed socket call, failed name resolution).
CL_DECLARE_EXCEPTION(ELcSocketError, EAbort)
// The socket library cannot be used at all.
CL_DECLARE_EXCEPTION(ELcFatalSockException, Exception)

class TLcSocketBase;

using TLcSocketHandle = uintptr_t;
constexpr TLcSocketHandle kLcInvalidSocket = ~TLcSocketHandle(0);

// A socket address: large enough for IPv6; an IPv4 address fills the first 16 bytes.
constexpr int kLcSockAddrSize = 28;
using TLcSockAddr = std::array<uint8_t, kLcSockAddrSize>;

// Event bits of WSAAsyncSelect.
constexpr int kFdRead = 0x01;
constexpr int kFdWrite = 0x02;
constexpr int kFdAccept = 0x08;
constexpr int kFdConnect = 0x10;
constexpr int kFdClose = 0x20;

// Error codes the socket looks at.
constexpr int kWsaInvalidArgument = 10022;  // WSAEINVAL
constexpr int kWsaWouldBlock = 10035;       // WSAEWOULDBLOCK
constexpr int kWsaConnAborted = 10053;      // WSAECONNABORTED
constexpr int kWsaTimedOut = 10060;         // WSAETIMEDOUT
constexpr int kWsaConnRefused = 10061;      // WSAECONNREFUSED

// Option levels and names.
constexpr int kSolSocket = 0xFFFF;
constexpr int kSoReuseAddr = 0x0004;
constexpr int kSoKeepAlive = 0x0008;
constexpr int kSoBroadcast = 0x0020;
constexpr int kSoLinger = 0x0080;
constexpr int kSoSndBuf = 0x1001;
constexpr int kSoRcvBuf = 0x1002;
constexpr int kSoSndTimeo = 0x1005;
constexpr int kSoRcvTimeo = 0x1006;
constexpr int kIpProtoIp = 0;
constexpr int kIpProtoTcp = 6;
constexpr int kTcpNoDelay = 0x0001;
constexpr int kIpMulticastIf = 9;
constexpr int kIpMulticastTtl = 10;
constexpr int kIpAddMembership = 12;

// shutdown directions.
constexpr int kSdReceive = 0;
constexpr int kSdSend = 1;

// The linger option as WinSock lays it out (two unsigned 16-bit values).
struct TLcLinger {
    uint16_t OnOff;
    uint16_t Seconds;
};

// The result of a failed call (SOCKET_ERROR).
constexpr int kLcSocketError = -1;

class TLcSocketApi {
public:
    virtual ~TLcSocketApi() = default;

    // ---- WinSock ----
    // Loads and starts the socket library when that has not happened yet; raises
    // ELcFatalSockException.
    virtual void Load() = 0;
    virtual std::string ErrorText(int code) = 0;
    virtual int LastError() = 0;
    virtual void SetLastError(int code) = 0;
    // Fills addr from host and port text (family not specified, IPv4 preferred); 0 or a
    // WinSock error code; may raise ELcSocketError.
    virtual int SetVarSin(TLcSockAddr& addr, const std::string& host, const std::string& port,
                          int protocol, int socketType) = 0;
    // IPv4 address (network order) of a dotted address or host name; raises ELcSocketError.
    virtual uint32_t ResolveHost(const std::string& host) = 0;
    virtual int AddrSize(const TLcSockAddr& addr) = 0;
    virtual std::string AddrText(const TLcSockAddr& addr) = 0;
    virtual int AddrPort(const TLcSockAddr& addr) = 0;

    virtual TLcSocketHandle Socket(int family, int type, int protocol) = 0;
    virtual int SetOpt(TLcSocketHandle s, int level, int name, const void* value, int length) = 0;
    virtual int GetOpt(TLcSocketHandle s, int level, int name, void* value, int* length) = 0;
    virtual int Bind(TLcSocketHandle s, const TLcSockAddr& addr, int length) = 0;
    virtual int Listen(TLcSocketHandle s, int backlog) = 0;
    virtual TLcSocketHandle Accept(TLcSocketHandle s, TLcSockAddr* addr, int* length) = 0;
    virtual int Connect(TLcSocketHandle s, const TLcSockAddr& addr, int length) = 0;
    virtual int Send(TLcSocketHandle s, const char* data, int length) = 0;
    virtual int Recv(TLcSocketHandle s, char* data, int length) = 0;
    virtual int SendTo(TLcSocketHandle s, const char* data, int length, const TLcSockAddr& to,
                       int toLength) = 0;
    virtual int RecvFrom(TLcSocketHandle s, char* data, int length, TLcSockAddr* from,
                         int* fromLength) = 0;
    // ioctlsocket(FIONREAD).
    virtual int PendingCount(TLcSocketHandle s, unsigned long* count) = 0;
    virtual int Shutdown(TLcSocketHandle s, int how) = 0;
    virtual int CloseSocket(TLcSocketHandle s) = 0;
    virtual int GetSockName(TLcSocketHandle s, TLcSockAddr* addr, int* length) = 0;
    virtual int GetPeerName(TLcSocketHandle s, TLcSockAddr* addr, int* length) = 0;
    virtual int AsyncSelect(TLcSocketHandle s, void* window, unsigned message, long events) = 0;

    // ---- hidden windows, message numbers, registry ----
    // A hidden window of the message thread (threaded) or of the main thread; nullptr when
    // none can be had.
    virtual void* GetWindow(bool threaded) = 0;
    virtual void PostToWindow(void* window, unsigned message, TLcSocketHandle s, long lParam) = 0;
    virtual unsigned NextMessage() = 0;
    virtual void RegistryAdd(TLcSocketBase* socket, TLcSocketHandle s) = 0;
    // True when the socket was registered (and is no longer).
    virtual bool RegistryRemove(TLcSocketBase* socket) = 0;
};

// The interface in use; raises Exception "No socket interface installed." when none is.
TLcSocketApi& LcSocketApi();
// Installs an interface (not owned); nullptr uninstalls. Answers the one installed before.
TLcSocketApi* SetLcSocketApi(TLcSocketApi* api);
