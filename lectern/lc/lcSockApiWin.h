// Unit lcSockApiWin: the socket interface of lcSockApi over the run-time WinSock binding.
//
// TLcWinSockApi answers every WinSock call of the interface through WinSockApi (lcWinSock).
// The hidden windows come from the window pool (lcHWndPool), the message numbers from
// lcAsyncSelect and the registry is lcSocketPool's. Win32 only.
#pragma once

#include "lectern/lc/lcSockApi.h"

class TLcWinSockApi : public TLcSocketApi {
public:
    void Load() override;
    std::string ErrorText(int code) override;
    int LastError() override;
    void SetLastError(int code) override;
    int SetVarSin(TSockAddrBuffer& addr, const std::string& host, const std::string& port, int protocol,
                  int socketType) override;
    uint32_t ResolveHost(const std::string& host) override;
    int AddrSize(const TSockAddrBuffer& addr) override;
    std::string AddrText(const TSockAddrBuffer& addr) override;
    int AddrPort(const TSockAddrBuffer& addr) override;

    TSocket Socket(int family, int type, int protocol) override;
    int SetOpt(TSocket s, int level, int name, const void* value, int length) override;
    int GetOpt(TSocket s, int level, int name, void* value, int* length) override;
    int Bind(TSocket s, const TSockAddrBuffer& addr, int length) override;
    int Listen(TSocket s, int backlog) override;
    TSocket Accept(TSocket s, TSockAddrBuffer* addr, int* length) override;
    int Connect(TSocket s, const TSockAddrBuffer& addr, int length) override;
    int Send(TSocket s, const char* data, int length) override;
    int Recv(TSocket s, char* data, int length) override;
    int SendTo(TSocket s, const char* data, int length, const TSockAddrBuffer& to, int toLength) override;
    int RecvFrom(TSocket s, char* data, int length, TSockAddrBuffer* from, int* fromLength) override;
    int PendingCount(TSocket s, unsigned long* count) override;
    int Shutdown(TSocket s, int how) override;
    int CloseSocket(TSocket s) override;
    int GetSockName(TSocket s, TSockAddrBuffer* addr, int* length) override;
    int GetPeerName(TSocket s, TSockAddrBuffer* addr, int* length) override;
    int AsyncSelect(TSocket s, void* window, unsigned message, long events) override;
    int WaitSocket(TSocket s, bool forWrite, int ms) override;
    int SetNonBlocking(TSocket s) override;
    void PostToWindow(void* window, unsigned message, TSocket s, long lParam) override;
    void* GetWindow(bool threaded) override;
    unsigned NextMessage() override;
    void RegistryAdd(TLcAsyncSelectTarget* socket, TSocket s) override;
    bool RegistryRemove(TLcAsyncSelectTarget* socket) override;
};

// The one interface of the program over WinSock; InitializeLcWinSocket installs it.
TLcSocketApi& LcWinSockApi();

// ---- unit start and end (after the binding, the window pool, the registry and the
// dispatcher) ----
// Installs LcWinSockApi as the socket interface.
void InitializeLcWinSocket();
void FinalizeLcWinSocket();
