// Our own WinSock declarations against the platform's: same sizes, same field offsets.
// The platform's headers are included here for their types only; nothing is linked. The
// checks are compile-time: a mismatch fails the build of the test program.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "lectern/lc/lcWinSockDefs.h"

#include <cstddef>

#define LC_SAME_FIELD(Ours, Theirs, ourField, theirField)                              \
    static_assert(offsetof(Ours, ourField) == offsetof(Theirs, theirField), #ourField); \
    static_assert(sizeof(Ours::ourField) == sizeof(Theirs::theirField), #ourField)

static_assert(sizeof(TWSAData) == sizeof(WSADATA));
LC_SAME_FIELD(TWSAData, WSADATA, wVersion, wVersion);
LC_SAME_FIELD(TWSAData, WSADATA, szDescription, szDescription);
LC_SAME_FIELD(TWSAData, WSADATA, szSystemStatus, szSystemStatus);
LC_SAME_FIELD(TWSAData, WSADATA, iMaxSockets, iMaxSockets);
LC_SAME_FIELD(TWSAData, WSADATA, lpVendorInfo, lpVendorInfo);
static_assert(sizeof(TSockAddrIn) == sizeof(sockaddr_in));
LC_SAME_FIELD(TSockAddrIn, sockaddr_in, sin_port, sin_port);
LC_SAME_FIELD(TSockAddrIn, sockaddr_in, sin_addr, sin_addr);
static_assert(sizeof(TSockAddrIn6) == sizeof(sockaddr_in6));
LC_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_addr, sin6_addr);
LC_SAME_FIELD(TSockAddrIn6, sockaddr_in6, sin6_scope_id, sin6_scope_id);
static_assert(sizeof(THostEnt) == sizeof(hostent));
LC_SAME_FIELD(THostEnt, hostent, h_length, h_length);
LC_SAME_FIELD(THostEnt, hostent, h_addr_list, h_addr_list);
static_assert(sizeof(TServEnt) == sizeof(servent));
LC_SAME_FIELD(TServEnt, servent, s_port, s_port);
LC_SAME_FIELD(TServEnt, servent, s_proto, s_proto);
static_assert(sizeof(TProtoEnt) == sizeof(protoent));
LC_SAME_FIELD(TProtoEnt, protoent, p_name, p_name);
LC_SAME_FIELD(TProtoEnt, protoent, p_proto, p_proto);
static_assert(sizeof(TAddrInfo) == sizeof(addrinfo));
LC_SAME_FIELD(TAddrInfo, addrinfo, ai_addrlen, ai_addrlen);
LC_SAME_FIELD(TAddrInfo, addrinfo, ai_addr, ai_addr);
LC_SAME_FIELD(TAddrInfo, addrinfo, ai_next, ai_next);
static_assert(sizeof(TFdSet) == sizeof(fd_set));
static_assert(sizeof(TTimeVal) == sizeof(timeval));
static_assert(sizeof(TLinger) == sizeof(linger));
static_assert(kInvalidSocket == INVALID_SOCKET);
static_assert(kFdSetSize == FD_SETSIZE);
static_assert(kAfInet6 == AF_INET6 && kAiPassive == AI_PASSIVE && kSockRaw == SOCK_RAW);
static_assert(kNiNumericHost == NI_NUMERICHOST && kNiNumericServ == NI_NUMERICSERV);
static_assert(kFdRead == FD_READ && kFdWrite == FD_WRITE && kFdAccept == FD_ACCEPT && kFdConnect == FD_CONNECT &&
              kFdClose == FD_CLOSE);
static_assert(kWsaEWouldBlock == WSAEWOULDBLOCK && kWsaHostNotFound == WSAHOST_NOT_FOUND && kWsaNoData == WSANO_DATA);
