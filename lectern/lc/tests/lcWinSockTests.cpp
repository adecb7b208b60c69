// The run-time binding of WinSock under Wine: which library and version it binds, that the
// image imports no socket library, address resolution on both address APIs, and that every
// failed load leaves nothing behind so that the next load starts over.
#include "lectern/lc/lcWinSock.h"

#include "PeImports.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kMissingDll = "lc-no-such-winsock.dll";

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string ExeFile()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class WinSockTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeLcWinSock(); }
    void TearDown() override { FinalizeLcWinSock(); }

    static void UseOldLibrary(const std::string& helper = "")
    {
        TLcWinSockLibraries names;
        names.SocketLib = kMissingDll;
        if (!helper.empty()) {
            names.HelperLib = helper;
        }
        SetWinSockLibraries(names);
    }

    template <typename TCall>
    static std::string FatalMessage(TCall call)
    {
        try {
            call();
        } catch (const ELcFatalSockException& e) {
            return e.Message();
        }
        return "<no exception>";
    }
};

// ---- the image -----------------------------------------------------------------------------

TEST(WinSockImage, ImportsNoSocketLibrary)
{
    // Make sure the binding is part of this image.
    InitializeLcWinSock();
    LoadWinSock();
    FinalizeLcWinSock();

    std::vector<std::string> dlls;
    for (const std::string& name : PeImportedDlls(ExeFile())) {
        dlls.push_back(Lower(name));
    }
    // The reader works: every program imports the kernel.
    EXPECT_NE(std::find(dlls.begin(), dlls.end(), "kernel32.dll"), dlls.end());
    for (const char* socketLib : {"ws2_32.dll", "wsock32.dll", "wship6.dll"}) {
        EXPECT_EQ(std::find(dlls.begin(), dlls.end(), socketLib), dlls.end()) << socketLib;
    }
}

// ---- binding and version -------------------------------------------------------------------

TEST_F(WinSockTest, BindsWs2_32AtVersion22WithItsOwnAddressFunctions)
{
    EXPECT_FALSE(WinSockLoaded());
    LoadWinSock();
    LoadWinSock();  // a second call keeps the first binding
    ASSERT_TRUE(WinSockLoaded());
    EXPECT_EQ(WinSockData().wVersion, kWinSockVersion22);
    EXPECT_NE(GetModuleHandleA("ws2_32.dll"), nullptr);
    const TLcWinSockFunctions& api = WinSockApi();
    const void* const* entry = reinterpret_cast<const void* const*>(&api);
    for (std::size_t i = 0; i < sizeof(api) / sizeof(void*); ++i) {
        EXPECT_NE(entry[i], nullptr) << "entry " << i;
    }
    EXPECT_FALSE(WinSockHelperLoaded());
    EXPECT_TRUE(UseAddrInfoAPI(kAfUnspec));
    EXPECT_TRUE(UseAddrInfoAPI(kAfInet));
    EXPECT_TRUE(UseAddrInfoAPI(kAfInet6));
    UnloadWinSock();
    EXPECT_FALSE(WinSockLoaded());
    EXPECT_EQ(WinSockData().wVersion, 0);
}

TEST_F(WinSockTest, OldLibraryAtVersion11WithoutAddressFunctions)
{
    UseOldLibrary();
    LoadWinSock();
    EXPECT_NE(GetModuleHandleA("wsock32.dll"), nullptr);
    EXPECT_EQ(WinSockData().wVersion, kWinSockVersion11);
    EXPECT_FALSE(WinSockHelperLoaded());  // no wship6.dll here
    EXPECT_FALSE(UseAddrInfoAPI(kAfUnspec));
    EXPECT_FALSE(UseAddrInfoAPI(kAfInet));
    EXPECT_EQ(WinSockApi().getaddrinfo, nullptr);
}

TEST_F(WinSockTest, HelperLibrarySuppliesAddressFunctionsForIPv6Work)
{
    UseOldLibrary("ws2_32.dll");  // stands in for the IPv6 helper, which has these exports
    LoadWinSock();
    EXPECT_TRUE(WinSockHelperLoaded());
    EXPECT_TRUE(UseAddrInfoAPI(kAfUnspec));
    EXPECT_TRUE(UseAddrInfoAPI(kAfInet6));
    EXPECT_FALSE(UseAddrInfoAPI(kAfInet));
    UnloadWinSock();
    EXPECT_FALSE(WinSockHelperLoaded());
}

// ---- failed loads leave nothing loaded -------------------------------------------------------

TEST_F(WinSockTest, NoLibraryIsReportedAndALaterLoadRetries)
{
    TLcWinSockLibraries names;
    names.SocketLib = kMissingDll;
    names.OldSocketLib = kMissingDll;
    SetWinSockLibraries(names);
    EXPECT_EQ(FatalMessage(LoadWinSock), "Unable to load WinSock DLL. Error #126");
    EXPECT_FALSE(WinSockLoaded());
    SetWinSockLibraries(TLcWinSockLibraries{});
    LoadWinSock();
    EXPECT_TRUE(WinSockLoaded());
}

TEST_F(WinSockTest, MissingProcedureFreesTheLibraryAndALaterLoadRetries)
{
    ASSERT_EQ(GetModuleHandleA("msimg32.dll"), nullptr);
    TLcWinSockLibraries names;
    names.SocketLib = "msimg32.dll";  // loads, but exports no socket function
    SetWinSockLibraries(names);
    EXPECT_EQ(FatalMessage(LoadWinSock), "Procedure WSAStartup not found in WinSock.  Error #127");
    EXPECT_FALSE(WinSockLoaded());
    EXPECT_EQ(GetModuleHandleA("msimg32.dll"), nullptr);
    SetWinSockLibraries(TLcWinSockLibraries{});
    LoadWinSock();
    EXPECT_TRUE(WinSockLoaded());
}

std::vector<std::uint16_t> gAskedVersions;
int gStartupError = 0;
// Refuses every version; with gStartupError 0 it lets 1.1 through to the real start-up.
int __stdcall FakeStartup(std::uint16_t version, TWSAData* data)
{
    gAskedVersions.push_back(version);
    if (gStartupError == 0 && version == kWinSockVersion11) {
        auto real = reinterpret_cast<TLcWSAStartupProc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ws2_32.dll"), "WSAStartup")));
        return real(version, data);
    }
    return 10092;
}

TEST_F(WinSockTest, FailedStartupFreesTheLibraryAndALaterLoadRetries)
{
    gAskedVersions.clear();
    gStartupError = 10092;
    SetWSAStartupOverride(FakeStartup);
    EXPECT_EQ(FatalMessage(LoadWinSock), "WinSock API: WSAStartup error #10092");
    EXPECT_EQ(gAskedVersions, (std::vector<std::uint16_t>{kWinSockVersion22, kWinSockVersion11}));
    EXPECT_FALSE(WinSockLoaded());

    // The old library asks for 1.1 only, and is freed as well.
    ASSERT_EQ(GetModuleHandleA("wsock32.dll"), nullptr);
    gAskedVersions.clear();
    UseOldLibrary();
    EXPECT_EQ(FatalMessage(LoadWinSock), "WinSock API: WSAStartup error #10092");
    EXPECT_EQ(gAskedVersions, (std::vector<std::uint16_t>{kWinSockVersion11}));
    EXPECT_FALSE(WinSockLoaded());
    EXPECT_EQ(GetModuleHandleA("wsock32.dll"), nullptr);

    SetWinSockLibraries(TLcWinSockLibraries{});
    SetWSAStartupOverride(nullptr);
    LoadWinSock();
    EXPECT_TRUE(WinSockLoaded());
    EXPECT_EQ(WinSockData().wVersion, kWinSockVersion22);
}

TEST_F(WinSockTest, Version11WhenVersion22IsRefused)
{
    gAskedVersions.clear();
    gStartupError = 0;
    SetWSAStartupOverride(FakeStartup);
    LoadWinSock();
    EXPECT_EQ(gAskedVersions, (std::vector<std::uint16_t>{kWinSockVersion22, kWinSockVersion11}));
    EXPECT_TRUE(WinSockLoaded());
    EXPECT_EQ(WinSockData().wVersion, kWinSockVersion11);
}

// ---- addresses -------------------------------------------------------------------------------

struct TExpected {
    const char* Host;
    const char* Port;
    int Family;
    const char* Text;
    std::uint16_t PortNumber;
};

class AddressTest : public WinSockTest {
protected:
    void Check(const TExpected& c)
    {
        TSockAddrBuffer sin;
        std::memset(&sin, 0xCC, sizeof(sin));
        ASSERT_EQ(WSocket_SetVarSin(sin, c.Host, c.Port, kAfUnspec, kIpProtoTcp, kSockStream, true), 0)
            << c.Host << ":" << c.Port;
        EXPECT_EQ(sin.Addr.sa_family, c.Family) << c.Host;
        EXPECT_EQ(WinSockApi().ntohs(sin.In4.sin_port), c.PortNumber) << c.Host << ":" << c.Port;
        EXPECT_EQ(SockAddrToText(sin), c.Text) << c.Host;
        if (c.Family == kAfInet) {
            for (int i = 16; i < kSockAddrSize; ++i) {
                EXPECT_EQ(sin.Bytes[i], 0) << "byte " << i << " of " << c.Host;
            }
        }
    }

    void ExpectLookupFailures()
    {
        TSockAddrBuffer sin;
        EXPECT_NE(WSocket_SetVarSin(sin, "no-such-host.invalid", "80", kAfUnspec, kIpProtoTcp, kSockStream, true), 0);
        EXPECT_NE(WSocket_SetVarSin(sin, "127.0.0.1", "no-such-service", kAfUnspec, kIpProtoTcp, kSockStream, true),
                  0);
    }
};

const TExpected kIPv4Cases[] = {
    {"127.0.0.1", "8000", kAfInet, "127.0.0.1", 8000},
    {"0.0.0.0", "8000", kAfInet, "0.0.0.0", 8000},
    {"localhost", "8000", kAfInet, "127.0.0.1", 8000},
    {"127.0.0.1", "http", kAfInet, "127.0.0.1", 80},
    {"10.1.2.3", "65535", kAfInet, "10.1.2.3", 65535},
    {"127.0.0.1", "0", kAfInet, "127.0.0.1", 0},
};

TEST_F(AddressTest, AddrInfoApiResolvesHostsAndPorts)
{
    LoadWinSock();
    ASSERT_TRUE(UseAddrInfoAPI(kAfUnspec));
    for (const TExpected& c : kIPv4Cases) {
        Check(c);
    }
    // An explicit IPv6 family gives the IPv6 loopback.
    TSockAddrBuffer sin;
    ASSERT_EQ(WSocket_SetVarSin(sin, "::1", "8000", kAfInet6, kIpProtoTcp, kSockStream, true), 0);
    EXPECT_EQ(sin.Addr.sa_family, kAfInet6);
    EXPECT_EQ(SockAddrToText(sin), "::1");
    ExpectLookupFailures();
}

TEST_F(AddressTest, OldApiResolvesNumericAndNamedPortsAndReportsFailures)
{
    UseOldLibrary();
    LoadWinSock();
    ASSERT_FALSE(UseAddrInfoAPI(kAfUnspec));
    for (const TExpected& c : kIPv4Cases) {
        Check(c);
    }
    TSockAddrBuffer sin;
    ASSERT_EQ(WSocket_SetVarSin(sin, "255.255.255.255", "9", kAfUnspec, kIpProtoTcp, kSockStream, true), 0);
    EXPECT_EQ(sin.In4.sin_addr.S_addr, kInAddrNone);
    ExpectLookupFailures();
}

TEST_F(AddressTest, ResolveHost)
{
    LoadWinSock();
    const auto text = [](TInAddr a) { return std::string(WinSockApi().inet_ntoa(a)); };
    EXPECT_EQ(text(WSocketResolveHost("127.0.0.1")), "127.0.0.1");
    EXPECT_EQ(text(WSocketResolveHost("  10.0.0.1  ")), "10.0.0.1");
    EXPECT_EQ(WSocketResolveHost("255.255.255.255").S_addr, kInAddrNone);
    EXPECT_EQ(text(WSocketResolveHost("localhost")), "127.0.0.1");
    const auto message = [](const std::string& host) {
        try {
            WSocketResolveHost(host);
        } catch (const ELcSocketError& e) {
            return e.Message();
        }
        return std::string("<no exception>");
    };
    EXPECT_EQ(message(""), "WSocketResolveHost: '' Invalid Hostname.");
    const std::string failed = message("no-such-host.invalid");
    EXPECT_EQ(failed.rfind("WSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #1", 0), 0u)
        << failed;
}

}  // namespace
