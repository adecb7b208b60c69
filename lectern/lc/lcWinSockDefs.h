// WinSock's data types and constants, declared here instead of taken from the platform's
// headers: the socket library is bound at run time (lcWinSock), so nothing of it may be
// linked, and the socket layers need only these few records.
//
// The layouts are those of 32-bit Windows (the program's only target); the Win32 tests check
// them against the platform's own declarations. The host build uses the records only as
// plain data (select sets, address buffers) and never hands them to a system call.
#pragma once

#include <cstddef>
#include <cstdint>

using TSocket = std::uintptr_t;
constexpr TSocket kInvalidSocket = ~TSocket(0);
constexpr int kSocketError = -1;

// Address families.
constexpr int kAfUnspec = 0;
constexpr int kAfInet = 2;
constexpr int kAfInet6 = 23;

// Socket types and protocols.
constexpr int kSockStream = 1;
constexpr int kSockDgram = 2;
constexpr int kSockRaw = 3;
constexpr int kIpProtoTcp = 6;
constexpr int kIpProtoUdp = 17;

// Address-information flags.
constexpr int kAiPassive = 1;
constexpr int kNiNumericHost = 2;
constexpr int kNiNumericServ = 8;

constexpr std::uint32_t kInAddrNone = 0xFFFFFFFFu;

// The start-up versions: 2.2 and 1.1 (minor version in the high byte).
constexpr std::uint16_t kWinSockVersion22 = 0x0202;  // 514
constexpr std::uint16_t kWinSockVersion11 = 0x0101;  // 257

// WinSock event bits of WSAAsyncSelect.
constexpr long kFdRead = 0x01;
constexpr long kFdWrite = 0x02;
constexpr long kFdOob = 0x04;
constexpr long kFdAccept = 0x08;
constexpr long kFdConnect = 0x10;
constexpr long kFdClose = 0x20;

// Error codes the socket code tests for.
constexpr int kWsaEInval = 10022;
constexpr int kWsaEWouldBlock = 10035;
constexpr int kWsaEAddrInUse = 10048;
constexpr int kWsaEConnAborted = 10053;
constexpr int kWsaETimedOut = 10060;
constexpr int kWsaEConnRefused = 10061;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaNoData = 11004;

constexpr int kWSADescriptionLen = 256;
constexpr int kWSASysStatusLen = 128;

struct TWSAData {
    std::uint16_t wVersion;
    std::uint16_t wHighVersion;
    char szDescription[kWSADescriptionLen + 1];
    char szSystemStatus[kWSASysStatusLen + 1];
    std::uint16_t iMaxSockets;
    std::uint16_t iMaxUdpDg;
    char* lpVendorInfo;
};

struct TInAddr {
    std::uint32_t S_addr;  // network byte order
};

struct TSockAddr {
    std::uint16_t sa_family;
    char sa_data[14];
};

struct TSockAddrIn {
    std::int16_t sin_family;
    std::uint16_t sin_port;  // network byte order
    TInAddr sin_addr;
    char sin_zero[8];
};

struct TSockAddrIn6 {
    std::int16_t sin6_family;
    std::uint16_t sin6_port;  // network byte order
    std::uint32_t sin6_flowinfo;
    std::uint8_t sin6_addr[16];
    std::uint32_t sin6_scope_id;
};

// The socket address every layer keeps: 28 bytes, large enough for IPv6; an IPv4 address
// fills its first 16 bytes.
constexpr int kSockAddrSize = 28;
union TSockAddrBuffer {
    TSockAddr Addr;
    TSockAddrIn In4;
    TSockAddrIn6 In6;
    std::uint8_t Bytes[kSockAddrSize];
};

struct THostEnt {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

struct TServEnt {
    char* s_name;
    char** s_aliases;
    std::int16_t s_port;  // network byte order
    char* s_proto;
};

struct TProtoEnt {
    char* p_name;
    char** p_aliases;
    std::int16_t p_proto;
};

struct TAddrInfo {
    int ai_flags;
    int ai_family;
    int ai_socktype;
    int ai_protocol;
    std::size_t ai_addrlen;
    char* ai_canonname;
    TSockAddr* ai_addr;
    TAddrInfo* ai_next;
};

constexpr int kFdSetSize = 64;
struct TFdSet {
    std::uint32_t fd_count;
    TSocket fd_array[kFdSetSize];
};

struct TTimeVal {
    std::int32_t tv_sec;
    std::int32_t tv_usec;
};

struct TLinger {
    std::uint16_t l_onoff;
    std::uint16_t l_linger;
};

static_assert(sizeof(TSockAddrBuffer) == kSockAddrSize, "a socket address is 28 bytes");
static_assert(sizeof(TSockAddrIn) == 16, "an IPv4 socket address is 16 bytes");
