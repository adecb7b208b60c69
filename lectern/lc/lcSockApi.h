// Unit lcSockApi: the calls the asynchronous socket makes to the system, behind one interface.
//
// TLcWinSocket (lcWinSocket) is written against TLcSocketApi and never calls WinSock, the
// hidden windows or the socket registry itself. In the Windows build the interface is served
// by the run-time WinSock binding, the hidden-window pool and the registry; a test installs a
// scripted fake instead, so that the socket's logic (send queue, partial sends, closing,
// release inside events) runs natively too.
//
// Handles, addresses, event bits and error codes are the binding's (lcWinSockDefs); the
// option numbers below are WinSock's own and pass through an implementation unchanged.
#pragma once

#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWinSockBase.h"

#include <cstdint>
#include <string>

// Option levels and names (WinSock's values).
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
constexpr int kTcpNoDelay = 0x0001;
constexpr int kIpMulticastIf = 9;
constexpr int kIpMulticastTtl = 10;
constexpr int kIpAddMembership = 12;

// shutdown directions.
constexpr int kSdReceive = 0;
constexpr int kSdSend = 1;

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
    virtual int SetVarSin(TSockAddrBuffer& addr, const std::string& host, const std::string& port,
                          int protocol, int socketType) = 0;
    // IPv4 address (network order) of a dotted address or host name; raises ELcSocketError.
    virtual uint32_t ResolveHost(const std::string& host) = 0;
    virtual int AddrSize(const TSockAddrBuffer& addr) = 0;
    virtual std::string AddrText(const TSockAddrBuffer& addr) = 0;
    virtual int AddrPort(const TSockAddrBuffer& addr) = 0;

    virtual TSocket Socket(int family, int type, int protocol) = 0;
    virtual int SetOpt(TSocket s, int level, int name, const void* value, int length) = 0;
    virtual int GetOpt(TSocket s, int level, int name, void* value, int* length) = 0;
    virtual int Bind(TSocket s, const TSockAddrBuffer& addr, int length) = 0;
    virtual int Listen(TSocket s, int backlog) = 0;
    virtual TSocket Accept(TSocket s, TSockAddrBuffer* addr, int* length) = 0;
    virtual int Connect(TSocket s, const TSockAddrBuffer& addr, int length) = 0;
    virtual int Send(TSocket s, const char* data, int length) = 0;
    virtual int Recv(TSocket s, char* data, int length) = 0;
    virtual int SendTo(TSocket s, const char* data, int length, const TSockAddrBuffer& to,
                       int toLength) = 0;
    virtual int RecvFrom(TSocket s, char* data, int length, TSockAddrBuffer* from,
                         int* fromLength) = 0;
    // ioctlsocket(FIONREAD).
    virtual int PendingCount(TSocket s, unsigned long* count) = 0;
    virtual int Shutdown(TSocket s, int how) = 0;
    virtual int CloseSocket(TSocket s) = 0;
    virtual int GetSockName(TSocket s, TSockAddrBuffer* addr, int* length) = 0;
    virtual int GetPeerName(TSocket s, TSockAddrBuffer* addr, int* length) = 0;
    virtual int AsyncSelect(TSocket s, void* window, unsigned message, long events) = 0;
    // For the blocking sockets: waits up to ms (-1: no limit) until s can be read (or
    // written); 1 ready, 0 timed out, -1 error. The default (no such support) answers -1.
    virtual int WaitSocket(TSocket s, bool forWrite, int ms);
    // Makes calls on s answer "would block" instead of waiting; 0 or -1 (the default).
    virtual int SetNonBlocking(TSocket s);

    // ---- hidden windows, message numbers, registry ----
    // A hidden window of the message thread (threaded) or of the main thread; nullptr when
    // none can be had.
    virtual void* GetWindow(bool threaded) = 0;
    virtual void PostToWindow(void* window, unsigned message, TSocket s, long lParam) = 0;
    virtual unsigned NextMessage() = 0;
    virtual void RegistryAdd(TLcAsyncSelectTarget* socket, TSocket s) = 0;
    // True when the socket was registered (and is no longer).
    virtual bool RegistryRemove(TLcAsyncSelectTarget* socket) = 0;
};

// The interface in use; raises Exception "No socket interface installed." when none is.
TLcSocketApi& LcSocketApi();
// Installs an interface (not owned); nullptr uninstalls. Answers the one installed before.
TLcSocketApi* SetLcSocketApi(TLcSocketApi* api);
