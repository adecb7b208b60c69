// Unit lcWinSock: WinSock bound at run time, so that the program imports no socket library.
//
// The first LoadWinSock loads "ws2_32.dll" (else the old "wsock32.dll"), fills WinSockApi
// with the 30 functions every socket layer needs, takes the three address-information
// functions from the same library or else from the IPv6 helper "wship6.dll", and starts
// WinSock (2.2, else 1.1; the old library 1.1 only). From then on the socket layers call
// WinSock only through WinSockApi. Any failure on the way leaves nothing loaded, so the next
// LoadWinSock starts over.
//
// Loading and unloading run under the unit's lock; the table and the flags are written only
// there and read without it afterwards. Win32 only: the host tree does not build this unit.
#pragma once

#include "lectern/lc/lcWinSockBase.h"

#include <cstdint>
#include <string>

// The function entries, each a plain address in the socket library; the names are WinSock's.
struct TLcWinSockFunctions {
    int(__stdcall* WSAStartup)(std::uint16_t version, TWSAData* data);
    int(__stdcall* WSACleanup)();
    int(__stdcall* WSAGetLastError)();
    int(__stdcall* WSACancelAsyncRequest)(void* asyncTask);
    int(__stdcall* WSAAsyncSelect)(TSocket s, void* wnd, unsigned msg, long events);
    TServEnt*(__stdcall* getservbyname)(const char* name, const char* proto);
    THostEnt*(__stdcall* gethostbyname)(const char* name);
    TSocket(__stdcall* socket)(int af, int type, int protocol);
    int(__stdcall* shutdown)(TSocket s, int how);
    int(__stdcall* setsockopt)(TSocket s, int level, int name, const char* value, int length);
    int(__stdcall* getsockopt)(TSocket s, int level, int name, char* value, int* length);
    int(__stdcall* sendto)(TSocket s, const char* buf, int len, int flags, const TSockAddr* to, int toLen);
    int(__stdcall* send)(TSocket s, const char* buf, int len, int flags);
    int(__stdcall* recv)(TSocket s, char* buf, int len, int flags);
    int(__stdcall* recvfrom)(TSocket s, char* buf, int len, int flags, TSockAddr* from, int* fromLen);
    std::uint16_t(__stdcall* ntohs)(std::uint16_t value);
    std::uint32_t(__stdcall* ntohl)(std::uint32_t value);
    int(__stdcall* listen)(TSocket s, int backlog);
    int(__stdcall* ioctlsocket)(TSocket s, long cmd, std::uint32_t* arg);
    char*(__stdcall* inet_ntoa)(TInAddr in);
    std::uint32_t(__stdcall* inet_addr)(const char* text);
    std::uint16_t(__stdcall* htons)(std::uint16_t value);
    int(__stdcall* getsockname)(TSocket s, TSockAddr* name, int* length);
    int(__stdcall* getpeername)(TSocket s, TSockAddr* name, int* length);
    int(__stdcall* connect)(TSocket s, const TSockAddr* name, int length);
    int(__stdcall* closesocket)(TSocket s);
    int(__stdcall* bind)(TSocket s, const TSockAddr* name, int length);
    TSocket(__stdcall* accept)(TSocket s, TSockAddr* addr, int* length);
    TProtoEnt*(__stdcall* getprotobynumber)(int number);
    int(__stdcall* select)(int nfds, TFdSet* readFds, TFdSet* writeFds, TFdSet* exceptFds, const TTimeVal* timeout);
    // Optional: from the socket library, else from the IPv6 helper, else none.
    int(__stdcall* getaddrinfo)(const char* node, const char* service, const TAddrInfo* hints, TAddrInfo** result);
    void(__stdcall* freeaddrinfo)(TAddrInfo* info);
    int(__stdcall* getnameinfo)(const TSockAddr* addr, int addrLen, char* host, std::uint32_t hostLen, char* serv,
                                std::uint32_t servLen, int flags);
};

// The bound functions; valid after LoadWinSock.
const TLcWinSockFunctions& WinSockApi();

// Loads and starts WinSock unless that has happened; raises ELcFatalSockException.
void LoadWinSock();
// WSACleanup, then frees both libraries; the unit's finalisation calls it.
void UnloadWinSock();

// True when address work for this family goes through getaddrinfo and getnameinfo.
bool UseAddrInfoAPI(int family);

// Fills the 28-byte address from host and port text; returns 0 or a WinSock error code and
// raises ELcSocketError when a lookup succeeds without an address.
int WSocket_SetVarSin(TSockAddrBuffer& sin, const std::string& host, const std::string& port, int family,
                      int protocol, int sockType, bool preferIPv4);
// The IPv4 address (network order) of a dotted text or host name; raises ELcSocketError.
TInAddr WSocketResolveHost(const std::string& host);
// The numeric text of an address; empty when it cannot be printed.
std::string SockAddrToText(const TSockAddrBuffer& sin);

// The address literals of the helpers.
extern const char* const kLocalHost4;  // "127.0.0.1"
extern const char* const kAnyHost4;    // "0.0.0.0"
extern const char* const kBroadcast4;  // "255.255.255.255"
extern const char* const kLocalHost6;  // "::1"
extern const char* const kAnyHost6;    // "::0"
extern const char* const kBroadcast6;  // "ffff::1"

// ---- state, for tests and diagnostics ---------------------------------------------------------

bool WinSockLoaded();
// The start-up record of the running WinSock (zero while not loaded).
TWSAData WinSockData();
// True while the IPv6 helper library is loaded.
bool WinSockHelperLoaded();

// ---- unit start and end ---------------------------------------------------------------------

// Creates the unit lock; nothing is loaded yet.
void InitializeLcWinSock();
// Unloads and frees the lock.
void FinalizeLcWinSock();

// ---- seams for tests ------------------------------------------------------------------------

// The library names tried by the next load; empty names restore WinSock's own.
struct TLcWinSockLibraries {
    std::string SocketLib = "ws2_32.dll";
    std::string OldSocketLib = "wsock32.dll";
    std::string HelperLib = "wship6.dll";
};
void SetWinSockLibraries(const TLcWinSockLibraries& names);
// Replaces the library's WSAStartup at the next load (nullptr: the library's own).
using TLcWSAStartupProc = int(__stdcall*)(std::uint16_t version, TWSAData* data);
void SetWSAStartupOverride(TLcWSAStartupProc proc);
