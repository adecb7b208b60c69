#include "lectern/lc/lcSockApiWin.h"

#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcWinSock.h"

#include <windows.h>

namespace {

constexpr long kFionRead = 0x4004667F;
constexpr long kFionBio = static_cast<long>(0x8004667EU);
constexpr int kAfInet4 = 2;
constexpr int kAfInet6Family = 23;

}  // namespace

void TLcWinSockApi::Load() { LoadWinSock(); }
std::string TLcWinSockApi::ErrorText(int code) { return WinSockErrorText(code); }
int TLcWinSockApi::LastError() { return WinSockApi().WSAGetLastError(); }
// WinSock keeps its last error in the thread's last-error value.
void TLcWinSockApi::SetLastError(int code) { ::SetLastError(static_cast<DWORD>(code)); }

int TLcWinSockApi::SetVarSin(TSockAddrBuffer& addr, const std::string& host, const std::string& port,
                             int protocol, int socketType)
{
    return WSocket_SetVarSin(addr, host, port, 0, protocol, socketType, true);
}

uint32_t TLcWinSockApi::ResolveHost(const std::string& host) { return WSocketResolveHost(host).S_addr; }

int TLcWinSockApi::AddrSize(const TSockAddrBuffer& addr)
{
    if (addr.Addr.sa_family == kAfInet4)
        return 16;
    if (addr.Addr.sa_family == kAfInet6Family)
        return 28;
    return 0;
}

std::string TLcWinSockApi::AddrText(const TSockAddrBuffer& addr) { return SockAddrToText(addr); }
int TLcWinSockApi::AddrPort(const TSockAddrBuffer& addr) { return WinSockApi().ntohs(addr.In4.sin_port); }

TSocket TLcWinSockApi::Socket(int family, int type, int protocol)
{
    return WinSockApi().socket(family, type, protocol);
}
int TLcWinSockApi::SetOpt(TSocket s, int level, int name, const void* value, int length)
{
    return WinSockApi().setsockopt(s, level, name, static_cast<const char*>(value), length);
}
int TLcWinSockApi::GetOpt(TSocket s, int level, int name, void* value, int* length)
{
    return WinSockApi().getsockopt(s, level, name, static_cast<char*>(value), length);
}
int TLcWinSockApi::Bind(TSocket s, const TSockAddrBuffer& addr, int length)
{
    return WinSockApi().bind(s, &addr.Addr, length);
}
int TLcWinSockApi::Listen(TSocket s, int backlog) { return WinSockApi().listen(s, backlog); }
TSocket TLcWinSockApi::Accept(TSocket s, TSockAddrBuffer* addr, int* length)
{
    return WinSockApi().accept(s, &addr->Addr, length);
}
int TLcWinSockApi::Connect(TSocket s, const TSockAddrBuffer& addr, int length)
{
    return WinSockApi().connect(s, &addr.Addr, length);
}
int TLcWinSockApi::Send(TSocket s, const char* data, int length) { return WinSockApi().send(s, data, length, 0); }
int TLcWinSockApi::Recv(TSocket s, char* data, int length) { return WinSockApi().recv(s, data, length, 0); }
int TLcWinSockApi::SendTo(TSocket s, const char* data, int length, const TSockAddrBuffer& to, int toLength)
{
    return WinSockApi().sendto(s, data, length, 0, &to.Addr, toLength);
}
int TLcWinSockApi::RecvFrom(TSocket s, char* data, int length, TSockAddrBuffer* from, int* fromLength)
{
    return WinSockApi().recvfrom(s, data, length, 0, &from->Addr, fromLength);
}
int TLcWinSockApi::PendingCount(TSocket s, unsigned long* count)
{
    std::uint32_t value = 0;
    int result = WinSockApi().ioctlsocket(s, kFionRead, &value);
    *count = value;
    return result;
}
int TLcWinSockApi::Shutdown(TSocket s, int how) { return WinSockApi().shutdown(s, how); }
int TLcWinSockApi::CloseSocket(TSocket s) { return WinSockApi().closesocket(s); }
int TLcWinSockApi::GetSockName(TSocket s, TSockAddrBuffer* addr, int* length)
{
    return WinSockApi().getsockname(s, &addr->Addr, length);
}
int TLcWinSockApi::GetPeerName(TSocket s, TSockAddrBuffer* addr, int* length)
{
    return WinSockApi().getpeername(s, &addr->Addr, length);
}
int TLcWinSockApi::AsyncSelect(TSocket s, void* window, unsigned message, long events)
{
    return WinSockApi().WSAAsyncSelect(s, window, message, events);
}
int TLcWinSockApi::WaitSocket(TSocket s, bool forWrite, int ms)
{
    TFdSet set{};
    set.fd_count = 1;
    set.fd_array[0] = s;
    TTimeVal time{ms / 1000, (ms % 1000) * 1000};
    const int result = WinSockApi().select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr,
                                           ms < 0 ? nullptr : &time);
    return result > 0 ? 1 : result;
}
int TLcWinSockApi::SetNonBlocking(TSocket s)
{
    std::uint32_t on = 1;
    return WinSockApi().ioctlsocket(s, kFionBio, &on);
}
void TLcWinSockApi::PostToWindow(void* window, unsigned message, TSocket s, long lParam)
{
    PostMessageA(static_cast<HWND>(window), message, static_cast<WPARAM>(s), static_cast<LPARAM>(lParam));
}

void* TLcWinSockApi::GetWindow(bool threaded) { return GetHWndFromPool(threaded); }
unsigned TLcWinSockApi::NextMessage() { return NextSocketMessage(); }
void TLcWinSockApi::RegistryAdd(TLcAsyncSelectTarget* socket, TSocket s) { SocketRegistryAdd(socket, s); }
bool TLcWinSockApi::RegistryRemove(TLcAsyncSelectTarget* socket) { return SocketRegistryRemove(socket); }

TLcSocketApi& LcWinSockApi()
{
    static TLcWinSockApi api;
    return api;
}

void InitializeLcWinSocket() { SetLcSocketApi(&LcWinSockApi()); }
void FinalizeLcWinSocket() { SetLcSocketApi(nullptr); }
