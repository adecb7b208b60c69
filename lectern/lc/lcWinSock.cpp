#include "lcWinSock.h"

#include "lectern/lc/lcSyncObjs.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>

const char* const kLocalHost4 = "127.0.0.1";
const char* const kAnyHost4 = "0.0.0.0";
const char* const kBroadcast4 = "255.255.255.255";
const char* const kLocalHost6 = "::1";
const char* const kAnyHost6 = "::0";
const char* const kBroadcast6 = "ffff::1";

namespace {

constexpr int kHostBufferSize = 1025;     // NI_MAXHOST
constexpr int kServiceBufferSize = 32;    // NI_MAXSERV
constexpr std::uint16_t kNoPort = 0;

struct TWinSockState {
    HMODULE FSocketLib = nullptr;
    HMODULE FHelperLib = nullptr;
    bool FOldLibrary = false;
    bool FLibHasAddrInfo = false;     // the socket library exports all three functions
    bool FHelperHasAddrInfo = false;  // the IPv6 helper supplies them
    TLcWinSockFunctions FApi{};
    TWSAData FData{};
    TLcWinSockLibraries FNames;
    TLcWSAStartupProc FStartupOverride = nullptr;
};

std::unique_ptr<TLcCritSec> gLock;
TWinSockState gState;

TLcCritSec& UnitLock()
{
    Assert(gLock != nullptr, "lcWinSock used before InitializeLcWinSock");
    return *gLock;
}

std::string Decimal(unsigned long value) { return std::to_string(value); }

template <typename TProc>
void Bind(HMODULE lib, TProc& entry, const char* name)
{
    entry = reinterpret_cast<TProc>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
    if (entry == nullptr) {
        throw ELcFatalSockException(std::string("Procedure ") + name + " not found in WinSock. " + " Error #" +
                                    Decimal(GetLastError()));
    }
}

template <typename TProc>
void BindOptional(HMODULE lib, TProc& entry, const char* name)
{
    entry = reinterpret_cast<TProc>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
}

void BindRequired(HMODULE lib, TLcWinSockFunctions& api)
{
    Bind(lib, api.WSAStartup, "WSAStartup");
    Bind(lib, api.WSACleanup, "WSACleanup");
    Bind(lib, api.WSAGetLastError, "WSAGetLastError");
    Bind(lib, api.WSACancelAsyncRequest, "WSACancelAsyncRequest");
    Bind(lib, api.WSAAsyncSelect, "WSAAsyncSelect");
    Bind(lib, api.getservbyname, "getservbyname");
    Bind(lib, api.gethostbyname, "gethostbyname");
    Bind(lib, api.socket, "socket");
    Bind(lib, api.shutdown, "shutdown");
    Bind(lib, api.setsockopt, "setsockopt");
    Bind(lib, api.getsockopt, "getsockopt");
    Bind(lib, api.sendto, "sendto");
    Bind(lib, api.send, "send");
    Bind(lib, api.recv, "recv");
    Bind(lib, api.recvfrom, "recvfrom");
    Bind(lib, api.ntohs, "ntohs");
    Bind(lib, api.ntohl, "ntohl");
    Bind(lib, api.listen, "listen");
    Bind(lib, api.ioctlsocket, "ioctlsocket");
    Bind(lib, api.inet_ntoa, "inet_ntoa");
    Bind(lib, api.inet_addr, "inet_addr");
    Bind(lib, api.htons, "htons");
    Bind(lib, api.getsockname, "getsockname");
    Bind(lib, api.getpeername, "getpeername");
    Bind(lib, api.connect, "connect");
    Bind(lib, api.closesocket, "closesocket");
    Bind(lib, api.bind, "bind");
    Bind(lib, api.accept, "accept");
    Bind(lib, api.getprotobynumber, "getprotobynumber");
    Bind(lib, api.select, "select");
}

// Takes the three address functions from lib; true when all three are there. A partial set
// is dropped, so that either all three entries are usable or none is.
bool BindAddrInfo(HMODULE lib, TLcWinSockFunctions& api)
{
    BindOptional(lib, api.getaddrinfo, "getaddrinfo");
    BindOptional(lib, api.freeaddrinfo, "freeaddrinfo");
    BindOptional(lib, api.getnameinfo, "getnameinfo");
    if (api.getaddrinfo && api.freeaddrinfo && api.getnameinfo) {
        return true;
    }
    api.getaddrinfo = nullptr;
    api.freeaddrinfo = nullptr;
    api.getnameinfo = nullptr;
    return false;
}

// Frees both libraries and forgets every entry: the state of a unit that never loaded.
void ForgetLibraries()
{
    if (gState.FHelperLib != nullptr) {
        FreeLibrary(gState.FHelperLib);
    }
    if (gState.FSocketLib != nullptr) {
        FreeLibrary(gState.FSocketLib);
    }
    gState.FSocketLib = nullptr;
    gState.FHelperLib = nullptr;
    gState.FOldLibrary = false;
    gState.FLibHasAddrInfo = false;
    gState.FHelperHasAddrInfo = false;
    gState.FApi = TLcWinSockFunctions{};
    gState.FData = TWSAData{};
}

void StartWinSock()
{
    TLcWinSockFunctions& api = gState.FApi;
    if (gState.FStartupOverride != nullptr) {
        api.WSAStartup = gState.FStartupOverride;
    }
    int result;
    if (gState.FOldLibrary) {
        result = api.WSAStartup(kWinSockVersion11, &gState.FData);
    } else {
        result = api.WSAStartup(kWinSockVersion22, &gState.FData);
        if (result != 0) {
            result = api.WSAStartup(kWinSockVersion11, &gState.FData);
        }
    }
    if (result != 0) {
        throw ELcFatalSockException(Format("WinSock API: WSAStartup error #%d", result));
    }
}

std::uint16_t PortOf(const TLcWinSockFunctions& api, const std::string& port, bool& isNumber)
{
    unsigned long value = 0;
    isNumber = !port.empty() && port.size() <= 5 &&
               std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (isNumber) {
        value = std::stoul(port);
        isNumber = value <= 0xFFFF;
    }
    return isNumber ? api.htons(static_cast<std::uint16_t>(value)) : kNoPort;
}

// One getaddrinfo lookup; copies the first result's address, at most the buffer's size.
int GetAddrInfoOnce(const std::string& host, const std::string& port, TAddrInfo hint, TSockAddrBuffer& sin)
{
    const TLcWinSockFunctions& api = gState.FApi;
    std::memset(&sin, 0, sizeof(sin));
    const char* node = host.c_str();
    const char* service = port.c_str();
    if (hint.ai_socktype == kSockRaw) {
        hint.ai_socktype = 0;
        hint.ai_protocol = 0;
        service = nullptr;
    } else if (host == kAnyHost4 || host == kAnyHost6) {
        hint.ai_flags = kAiPassive;
        node = nullptr;
    } else if (host == kLocalHost4 || host == kLocalHost6) {
        node = nullptr;
    }
    TAddrInfo* list = nullptr;
    const int result = api.getaddrinfo(node, service, &hint, &list);
    struct TRelease {
        TAddrInfo* FList;
        ~TRelease()
        {
            if (FList != nullptr) {
                gState.FApi.freeaddrinfo(FList);
            }
        }
    } release{list};
    if (result == 0) {
        if (list == nullptr) {
            throw ELcSocketError("WSocket_SetVarSin: _GetAddrInfo() returned with Addr = nil.");
        }
        if (list->ai_addr == nullptr) {
            throw ELcSocketError("WSocket_SetVarSin: _GetAddrInfo() returned with Addr.ai_addr = nil.");
        }
        std::memcpy(&sin, list->ai_addr, std::min<std::size_t>(list->ai_addrlen, sizeof(sin)));
    }
    return result;
}

// The IPv4 address of a host entry's first address; false when the entry holds none.
bool FirstHostAddress(const THostEnt* entry, TInAddr& address)
{
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr) {
        return false;
    }
    address.S_addr = 0;
    std::memcpy(&address, entry->h_addr_list[0],
                std::min<std::size_t>(static_cast<std::size_t>(std::max<int>(entry->h_length, 0)), sizeof(address)));
    return true;
}

// The IPv4 path of WSocket_SetVarSin, through the old API.
int SetVarSinIPv4(TSockAddrBuffer& sin, const std::string& host, const std::string& port, int protocol)
{
    const TLcWinSockFunctions& api = gState.FApi;
    sin.In4.sin_family = kAfInet;
    bool isNumber = false;
    sin.In4.sin_port = PortOf(api, port, isNumber);
    if (!isNumber) {
        // A service name: looked up for the protocol's name; a name nobody knows is an error.
        const TProtoEnt* proto = api.getprotobynumber(protocol);
        const TServEnt* service = proto != nullptr && proto->p_name != nullptr
                                      ? api.getservbyname(port.c_str(), proto->p_name)
                                      : nullptr;
        if (service == nullptr) {
            const int error = api.WSAGetLastError();
            return error != 0 ? error : kWsaNoData;
        }
        sin.In4.sin_port = static_cast<std::uint16_t>(service->s_port);
    }
    if (host == kBroadcast4) {
        sin.In4.sin_addr.S_addr = kInAddrNone;
        return 0;
    }
    sin.In4.sin_addr.S_addr = api.inet_addr(host.c_str());
    if (sin.In4.sin_addr.S_addr != kInAddrNone) {
        return 0;
    }
    const THostEnt* entry = api.gethostbyname(host.c_str());
    const int error = api.WSAGetLastError();
    if (!FirstHostAddress(entry, sin.In4.sin_addr)) {
        sin.In4.sin_addr.S_addr = 0;
        return error != 0 ? error : kWsaHostNotFound;
    }
    return error;
}

std::string Trimmed(const std::string& s)
{
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && static_cast<unsigned char>(s[first]) <= ' ') {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') {
        --last;
    }
    return s.substr(first, last - first);
}

}  // namespace

const TLcWinSockFunctions& WinSockApi() { return gState.FApi; }

void LoadWinSock()
{
    TLockGuard lock(UnitLock());
    if (gState.FSocketLib != nullptr) {
        return;
    }
    gState.FLibHasAddrInfo = false;
    gState.FHelperHasAddrInfo = false;
    gState.FOldLibrary = false;
    HMODULE lib = LoadLibraryA(gState.FNames.SocketLib.c_str());
    if (lib == nullptr) {
        lib = LoadLibraryA(gState.FNames.OldSocketLib.c_str());
        gState.FOldLibrary = true;
    }
    if (lib == nullptr) {
        const DWORD error = GetLastError();
        ForgetLibraries();
        throw ELcFatalSockException("Unable to load WinSock DLL. Error #" + Decimal(error));
    }
    gState.FSocketLib = lib;
    try {
        BindRequired(lib, gState.FApi);
        gState.FLibHasAddrInfo = BindAddrInfo(lib, gState.FApi);
        if (!gState.FLibHasAddrInfo) {
            gState.FHelperLib = LoadLibraryA(gState.FNames.HelperLib.c_str());
            if (gState.FHelperLib != nullptr) {
                gState.FHelperHasAddrInfo = BindAddrInfo(gState.FHelperLib, gState.FApi);
            }
        }
        StartWinSock();
    } catch (...) {
        // Nothing stays bound: the next call starts over.
        ForgetLibraries();
        throw;
    }
}

void UnloadWinSock()
{
    if (gLock == nullptr) {
        return;
    }
    TLockGuard lock(*gLock);
    if (gState.FSocketLib != nullptr && gState.FApi.WSACleanup != nullptr) {
        gState.FApi.WSACleanup();
    }
    ForgetLibraries();
}

bool UseAddrInfoAPI(int family)
{
    if (gState.FLibHasAddrInfo) {
        return true;
    }
    return (family == kAfUnspec || family == kAfInet6) && gState.FHelperHasAddrInfo;
}

int WSocket_SetVarSin(TSockAddrBuffer& sin, const std::string& host, const std::string& port, int family,
                      int protocol, int sockType, bool preferIPv4)
{
    std::memset(&sin, 0, sizeof(sin));
    if (!UseAddrInfoAPI(family)) {
        return SetVarSinIPv4(sin, host, port, protocol);
    }
    TAddrInfo first{};
    first.ai_socktype = sockType;
    first.ai_protocol = protocol;
    TAddrInfo second = first;
    if (family != kAfUnspec) {
        first.ai_family = family;
    } else {
        first.ai_family = preferIPv4 ? kAfInet : kAfInet6;
        second.ai_family = preferIPv4 ? kAfInet6 : kAfInet;
    }
    int result = GetAddrInfoOnce(host, port, first, sin);
    if (result == 0 || family != kAfUnspec) {
        return result;
    }
    result = GetAddrInfoOnce(host, port, second, sin);
    if (result == 0) {
        return 0;
    }
    return GetAddrInfoOnce(host, port, first, sin);
}

TInAddr WSocketResolveHost(const std::string& host)
{
    if (host.empty()) {
        throw ELcSocketError("WSocketResolveHost: '" + host + "' Invalid Hostname.");
    }
    const TLcWinSockFunctions& api = gState.FApi;
    const std::string trimmed = Trimmed(host);
    TInAddr address{};
    if (IsDottedIP4(host)) {
        address.S_addr = api.inet_addr(trimmed.c_str());
        if (address.S_addr == kInAddrNone && trimmed != kBroadcast4) {
            throw ELcSocketError("WSocketResolveHost: '" + host + "' Invalid IP address.");
        }
        return address;
    }
    const THostEnt* entry = api.gethostbyname(trimmed.c_str());
    if (!FirstHostAddress(entry, address)) {
        throw ELcSocketError(Format("WSocketResolveHost: Cannot convert host address '%s', Error #%d",
                                    host.c_str(), api.WSAGetLastError()));
    }
    return address;
}

std::string SockAddrToText(const TSockAddrBuffer& sin)
{
    const TLcWinSockFunctions& api = gState.FApi;
    const int family = sin.Addr.sa_family;
    if (UseAddrInfoAPI(family)) {
        char host[kHostBufferSize] = {};
        char service[kServiceBufferSize] = {};
        const int length = family == kAfInet6 ? static_cast<int>(sizeof(TSockAddrIn6))
                                              : static_cast<int>(sizeof(TSockAddrIn));
        if (api.getnameinfo(&sin.Addr, length, host, sizeof(host), service, sizeof(service),
                            kNiNumericHost | kNiNumericServ) == 0) {
            return host;
        }
        return std::string();
    }
    const char* text = api.inet_ntoa(sin.In4.sin_addr);
    return text != nullptr ? std::string(text) : std::string();
}

bool WinSockLoaded()
{
    TLockGuard lock(UnitLock());
    return gState.FSocketLib != nullptr;
}

TWSAData WinSockData()
{
    TLockGuard lock(UnitLock());
    return gState.FData;
}

bool WinSockHelperLoaded()
{
    TLockGuard lock(UnitLock());
    return gState.FHelperLib != nullptr;
}

void InitializeLcWinSock()
{
    if (gLock == nullptr) {
        gLock = std::make_unique<TLcCritSec>();
    }
    gState.FNames = TLcWinSockLibraries{};
    gState.FStartupOverride = nullptr;
}

void FinalizeLcWinSock()
{
    UnloadWinSock();
    gLock.reset();
}

void SetWinSockLibraries(const TLcWinSockLibraries& names)
{
    TLockGuard lock(UnitLock());
    const TLcWinSockLibraries defaults;
    gState.FNames.SocketLib = names.SocketLib.empty() ? defaults.SocketLib : names.SocketLib;
    gState.FNames.OldSocketLib = names.OldSocketLib.empty() ? defaults.OldSocketLib : names.OldSocketLib;
    gState.FNames.HelperLib = names.HelperLib.empty() ? defaults.HelperLib : names.HelperLib;
}

void SetWSAStartupOverride(TLcWSAStartupProc proc)
{
    TLockGuard lock(UnitLock());
    gState.FStartupOverride = proc;
}
