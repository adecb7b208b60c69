// The viewer's server components on real loopback sockets under Wine: the port probe, a page
// through the whole stack, and a request handler that fails.
#include "lectern/app/uPageHttp.h"

#include "lectern/app/uMimeTypes.h"
#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcThrPool.h"
#include "lectern/lc/lcWinSock.h"
#include "lectern/lc/tests/WinSockTestApi.h"

#include "classlib/Platform.h"
#include "tests/support/BookWriter.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

namespace {

// Ports of their own, away from the viewer's range, which other tests probe at the same time.
constexpr int kFirstPort = 18431;

class Host : public TPageServerHost {
public:
    TLBFile* book = nullptr;
    TStringList* mimeTypes = nullptr;
    std::atomic<bool> failBook{false};
    std::atomic<int> ready{0};

    TLBFile& Book() override
    {
        if (failBook) {
            throw Exception("the book is gone");
        }
        return *book;
    }
    const TStringList& MimeTypes() override { return *mimeTypes; }
    const std::string& UrlPrefix() override { return prefix; }
    TDateTime UtcNow() override { return NowUtc(); }
    void Debug(const std::string& line) override
    {
        if (line == "Server ready") {
            ++ready;
        }
    }
    void DebugServed(const std::string&) override {}

private:
    const std::string prefix = "/P";
};

// A listening socket of the test's own that holds a port.
class PortHolder {
public:
    explicit PortHolder(int port)
    {
        LoadWinSock();
        FHandle = WinSockApi().socket(2, 1, 6);
        TSockAddrBuffer addr{};
        addr.In4.sin_family = 2;
        addr.In4.sin_port = WinSockApi().htons(static_cast<std::uint16_t>(port));
        addr.In4.sin_addr.S_addr = WinSockApi().inet_addr("127.0.0.1");
        held = WinSockApi().bind(FHandle, &addr.Addr, 16) == 0 && WinSockApi().listen(FHandle, 5) == 0;
    }
    ~PortHolder() { WinSockApi().closesocket(FHandle); }
    bool held = false;

private:
    TSocket FHandle;
};

class PageHttp : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializePageHttp();
        bookPath = plat::TempDir() + "lectern_pagehttp_" + std::to_string(plat::CurrentThreadId()) + ".book";
        booktest::BookWriter().Add("index.html", "<p>served</p>").WriteFile(bookPath);
        book = std::make_unique<TLBFile>(nullptr);
        ASSERT_TRUE(book->Open(bookPath, TLBFile::kModeRead));
        TRegistryMimeTypeSource registry;
        mimeTypes = BuildMimeTypeList(registry);
        host.book = book.get();
        host.mimeTypes = mimeTypes.get();
    }
    void TearDown() override
    {
        pages.reset();
        FinalizePageHttp();
        book.reset();
        plat::RemoveFile(bookPath);
    }

    int StartServer(bool blocking = false)
    {
        pages = std::make_unique<TPageHttpServer>(host);
        pages->Server().SetBlocking(blocking);
        host.ready = 0;
        int port = pages->ListenOnFirstFreePort(kFirstPort, kFirstPort + 20);
        EXPECT_TRUE(api.PumpUntil([&] { return host.ready == 1; }));
        return port;
    }

    // Sends request from a client thread while this (the sockets' message) thread pumps;
    // answers everything received until the server closed or seconds passed.
    std::string Exchange(int port, const std::string& request, bool& closed, unsigned seconds = 10)
    {
        auto reply = std::async(std::launch::async, [&] {
            TTestClient client;
            std::string got;
            if (!client.Connect(port) || client.Send(request) != static_cast<int>(request.size())) {
                return got;
            }
            for (;;) {
                std::string piece = client.Recv(65536);
                if (piece.empty()) {
                    closed = true;
                    return got;
                }
                got += piece;
            }
        });
        closed = false;
        EXPECT_TRUE(api.PumpUntil([&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                                  seconds * 1000));
        return reply.get();
    }

    TWinSockTestApi api;
    Host host;
    std::string bookPath;
    std::unique_ptr<TLBFile> book;
    std::unique_ptr<TStringList> mimeTypes;
    std::unique_ptr<TPageHttpServer> pages;
};

TEST_F(PageHttp, TheProbeSkipsAPortAnotherProgramHolds)
{
    PortHolder other(kFirstPort);
    ASSERT_TRUE(other.held);
    EXPECT_FALSE(CanListenOnPort("127.0.0.1", kFirstPort));
    EXPECT_TRUE(CanListenOnPort("127.0.0.1", kFirstPort + 1));
    EXPECT_TRUE(CanListenOnPort("127.0.0.1", kFirstPort + 1)) << "the first probe let its port go";

    const int port = StartServer();
    EXPECT_EQ(port, kFirstPort + 1);
    EXPECT_FALSE(CanListenOnPort("127.0.0.1", port)) << "the server holds its port";
}

// Another program takes the port between the probe and the listen (a probe that says yes to
// every port stands for that): the listen fails, and the server moves on to the next port.
TEST_F(PageHttp, AListenThatFailsAfterTheProbeMovesOn)
{
    const TPortProbe fooled = [](const std::string&, int, std::string*) { return true; };
    PortHolder first(kFirstPort);
    PortHolder second(kFirstPort + 1);
    ASSERT_TRUE(first.held && second.held);
    pages = std::make_unique<TPageHttpServer>(host);
    EXPECT_EQ(pages->ListenOnFirstFreePort(kFirstPort, kFirstPort + 2, fooled), kFirstPort + 2);
    EXPECT_EQ(host.ready, 1);
    EXPECT_FALSE(CanListenOnPort("127.0.0.1", kFirstPort + 2)) << "the server holds its port";
    pages.reset();

    PortHolder third(kFirstPort + 2);
    ASSERT_TRUE(third.held);
    pages = std::make_unique<TPageHttpServer>(host);
    EXPECT_EQ(pages->ListenOnFirstFreePort(kFirstPort, kFirstPort + 2, fooled), 0) << "none was left";
    EXPECT_EQ(host.ready, 1);
}

// Only a port in use moves the search on: a failure that any port would meet ends it at once,
// with its cause, instead of being taken for a hundred ports in use.
TEST_F(PageHttp, AFailureOtherThanAPortInUseEndsTheSearchWithItsCause)
{
    static int probes;
    probes = 0;
    const TPortProbe broken = [](const std::string&, int, std::string* error) {
        ++probes;
        *error = "Error #10022 in \"StartingListen\": Invalid argument";
        return false;
    };
    pages = std::make_unique<TPageHttpServer>(host);
    EXPECT_EQ(pages->ListenOnFirstFreePort(kFirstPort, kFirstPort + 2, broken), 0);
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(pages->StartError(), "Error #10022 in \"StartingListen\": Invalid argument");

    // A quit message waiting in the queue ends the wait for the listen's outcome: the program
    // is ending, and no further port is tried.
    const TPortProbe fooled = [](const std::string&, int, std::string*) { return true; };
    PostQuitMessage(0);
    EXPECT_EQ(pages->ListenOnFirstFreePort(kFirstPort, kFirstPort + 2, fooled), 0);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message stays queued";
    EXPECT_EQ(pages->StartError(), "The program was asked to end.");
    EXPECT_TRUE(CanListenOnPort("127.0.0.1", kFirstPort + 1)) << "no second port was tried";
    pages.reset();
    EXPECT_TRUE(CanListenOnPort("127.0.0.1", kFirstPort)) << "the stopped listen let its port go";

    // Every port in use: no cause beyond that.
    PortHolder first(kFirstPort);
    ASSERT_TRUE(first.held);
    pages = std::make_unique<TPageHttpServer>(host);
    EXPECT_EQ(pages->ListenOnFirstFreePort(kFirstPort, kFirstPort), 0);
    EXPECT_EQ(pages->StartError(), "");
}

// A page goes through the whole stack on either socket layer; HEAD gets the head GET gets and
// no body.
TEST_F(PageHttp, APageGoesThroughTheWholeStack)
{
    for (const bool blocking : {false, true}) {
        SCOPED_TRACE(blocking ? "blocking sockets" : "asynchronous sockets");
        const int port = StartServer(blocking);
        ASSERT_NE(port, 0);
        for (const std::string method : {"GET", "HEAD"}) {
            bool closed = false;
            const std::string reply =
                Exchange(port, method + " /P/index.html?x=1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", closed);
            EXPECT_TRUE(closed) << method;
            EXPECT_EQ(reply.substr(0, reply.find("Expires:")),
                      "HTTP/1.0 200 OK\r\nCONTENT-TYPE: text/html\r\nCONTENT-LENGTH: 13\r\n") << method;
            const size_t tail = reply.find("\r\nCache-Control");
            ASSERT_NE(tail, std::string::npos) << reply;
            EXPECT_EQ(reply.substr(tail), std::string("\r\nCache-Control: no-cache\r\nCONNECTION: close\r\n\r\n") +
                                              (method == "GET" ? "<p>served</p>" : ""));
        }
        pages.reset();
    }
}

TEST_F(PageHttp, AFailingHandlerClosesTheConnectionAtOnce)
{
    const int port = StartServer();
    ASSERT_NE(port, 0);
    host.failBook = true;
    bool closed = false;
    // The idle time-out is 60 seconds: only the handler's failure can close this in time.
    const std::string reply = Exchange(port, "GET /index.html HTTP/1.1\r\nHost: localhost\r\n\r\n", closed, 10);
    EXPECT_TRUE(closed);
    EXPECT_EQ(reply, "");

    host.failBook = false;
    const std::string next = Exchange(port, "GET /index.html HTTP/1.0\r\n\r\n", closed);
    EXPECT_NE(next.find("<p>served</p>"), std::string::npos) << "the server serves on";
}

// A job that does nothing and belongs to nobody: it is never killed.
class TNoJob : public TLcJob {
public:
    bool Run(TLcThread*) override { return false; }
    void Kill() override {}
};

// A socket still registered when the server's units end (one whose server gave up waiting for
// it): the window-message thread hands its events to its queue. None may reach the worker pool
// once the pool has begun to end.
class TStraySocket : public TLcAsyncSelectTarget {
public:
    TStraySocket(HWND window, std::uint32_t message, TSocket handle, TLcThread* queue)
        : FWindow(window), FMessage(message), FHandle(handle), FQueue(queue)
    {
    }
    std::atomic<int> Delivered{0};
    std::atomic<int> Refused{0};  // events the pool did not take: it was closed or gone

    TSocket SelectHandle() const override { return FHandle; }
    std::uintptr_t SelectWindow() const override { return reinterpret_cast<std::uintptr_t>(FWindow); }
    std::uint32_t SelectMessage() const override { return FMessage; }
    bool SelectMultiThreaded() const override { return true; }
    void SelectEvent(std::uint16_t, std::uint16_t) override
    {
        ++Delivered;
        if (!TLcThread::PostJob(FQueue, &FMarker)) {
            ++Refused;
        }
    }
    void SelectBgException() override {}

private:
    HWND FWindow;
    std::uint32_t FMessage;
    TSocket FHandle;
    TLcThread* FQueue;
    TNoJob FMarker;
};

TEST(ServerUnits, NoSocketEventReachesThePoolOnceItEnds)
{
    InitializeServerUnits();
    constexpr TSocket kHandle = 0x5A5A;
    // The stray socket's queue: it lives as long as the pool does.
    auto* queue = new TLcThread;
    TStraySocket stray(GetHWndFromPool(true), NextSocketMessage(), kHandle, queue);
    SocketRegistryAdd(&stray, kHandle);
    std::atomic<bool> stop{false};
    std::thread events([&] {
        while (!stop) {
            PostMessageA(reinterpret_cast<HWND>(stray.SelectWindow()), stray.SelectMessage(), kHandle, 1);
            std::this_thread::yield();
        }
    });
    while (stray.Delivered == 0) {
        std::this_thread::yield();
    }
    FinalizeServerUnits();
    stop = true;
    events.join();
    EXPECT_EQ(stray.Refused, 0) << "of " << stray.Delivered << " events delivered";
}

}  // namespace
