// The hidden windows under Wine (null graphics driver): the class, the five windows of each
// thread handed out round-robin, messages reaching their handlers on the window's thread,
// real socket events through the dispatcher, and the start and end of the message thread.
#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWinSock.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

constexpr UINT kTestMessage = WM_APP + 10;
constexpr UINT kBlockingMessage = WM_APP + 11;
constexpr UINT kFailingMessage = WM_APP + 12;

std::atomic<DWORD> gHandlerThread{0};
HANDLE gHandled = nullptr;       // set by the test handler
HANDLE gEnteredBlock = nullptr;  // set when the blocking handler starts
HANDLE gReleaseBlock = nullptr;  // the blocking handler waits for it

std::intptr_t TestHandler(std::uintptr_t, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t)
{
    gHandlerThread = GetCurrentThreadId();
    SetEvent(gHandled);
    return static_cast<std::intptr_t>(wParam) + 1;
}

std::intptr_t BlockingHandler(std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t)
{
    SetEvent(gEnteredBlock);
    WaitForSingleObject(gReleaseBlock, 20000);
    return 0;
}

std::intptr_t FailingHandler(std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t)
{
    throw std::runtime_error("handler failed");
}

std::string ClassNameOf(HWND wnd)
{
    char name[256] = {};
    GetClassNameA(wnd, name, sizeof(name));
    return name;
}

DWORD ThreadOf(HWND wnd) { return GetWindowThreadProcessId(wnd, nullptr); }

// Dispatches the calling thread's messages until the event is set or the time is up.
bool PumpUntil(HANDLE event, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end) {
        if (MsgWaitForMultipleObjects(1, &event, FALSE, 10, QS_ALLINPUT) == WAIT_OBJECT_0) {
            return true;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

bool ThreadEnds(DWORD threadId, DWORD timeoutMs)
{
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    if (thread == nullptr) {
        return true;  // already gone
    }
    const bool ended = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

class HWndPoolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearWndMessageHandlers();
        gHandled = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        gEnteredBlock = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        gReleaseBlock = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        RegisterWndMessageHandler(TestHandler, kTestMessage, kTestMessage);
        RegisterWndMessageHandler(BlockingHandler, kBlockingMessage, kBlockingMessage);
        RegisterWndMessageHandler(FailingHandler, kFailingMessage, kFailingMessage);
    }
    void TearDown() override
    {
        SetEvent(gReleaseBlock);
        ClearWndMessageHandlers();
        CloseHandle(gHandled);
        CloseHandle(gEnteredBlock);
        CloseHandle(gReleaseBlock);
    }

    // Asks for six windows: five distinct ones, then the first again.
    static std::vector<HWND> SixWindows(TLcHWNDPoolUnit& pool, bool threaded)
    {
        std::vector<HWND> windows;
        for (int i = 0; i < 6; ++i) {
            windows.push_back(pool.GetHWnd(threaded));
        }
        return windows;
    }

    static void ExpectHiddenWindowsOf(const std::vector<HWND>& windows, DWORD thread)
    {
        ASSERT_EQ(windows.size(), 6u);
        EXPECT_EQ(std::set<HWND>(windows.begin(), windows.begin() + 5).size(), 5u);
        EXPECT_EQ(windows[5], windows[0]);
        for (HWND wnd : windows) {
            ASSERT_TRUE(IsWindow(wnd));
            EXPECT_EQ(ClassNameOf(wnd), kLcHWndClassName);
            EXPECT_EQ(ThreadOf(wnd), thread);
            EXPECT_FALSE(IsWindowVisible(wnd));
            EXPECT_EQ(GetWindowLongPtrA(wnd, GWL_STYLE) & WS_POPUP, WS_POPUP);
            EXPECT_EQ(GetWindowLongPtrA(wnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
            EXPECT_EQ(GetWindowLongPtrA(wnd, GWLP_USERDATA), 0);
            EXPECT_EQ(GetParent(wnd), nullptr);
        }
    }
};

TEST_F(HWndPoolTest, FiveMainThreadWindowsRoundRobin)
{
    TLcHWNDPoolUnit pool;
    ASSERT_TRUE(pool.ClassReady());
    WNDCLASSA wc{};
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), kLcHWndClassName, &wc));
    EXPECT_EQ(wc.lpfnWndProc, &WndProc_MAIN);
    EXPECT_EQ(wc.cbWndExtra, 4);
    EXPECT_EQ(wc.cbClsExtra, 0);
    EXPECT_EQ(wc.style, 0u);
    ExpectHiddenWindowsOf(SixWindows(pool, false), GetCurrentThreadId());
    EXPECT_EQ(pool.MessageThreadId(), 0u);  // not started for main-thread windows
}

TEST_F(HWndPoolTest, FiveMessageThreadWindowsRoundRobin)
{
    TLcHWNDPoolUnit pool;
    const std::vector<HWND> windows = SixWindows(pool, true);
    const DWORD messageThread = pool.MessageThreadId();
    ASSERT_NE(messageThread, 0u);
    EXPECT_NE(messageThread, GetCurrentThreadId());
    ExpectHiddenWindowsOf(windows, messageThread);
}

TEST_F(HWndPoolTest, MessagesReachTheirHandlerOnTheWindowsThread)
{
    TLcHWNDPoolUnit pool;
    HWND mainWnd = pool.GetHWnd(false);
    HWND threadWnd = pool.GetHWnd(true);

    ASSERT_TRUE(PostMessageA(mainWnd, kTestMessage, 41, 0));
    ASSERT_TRUE(PumpUntil(gHandled, 5000));
    EXPECT_EQ(gHandlerThread, GetCurrentThreadId());

    ASSERT_TRUE(PostMessageA(threadWnd, kTestMessage, 41, 0));
    ASSERT_EQ(WaitForSingleObject(gHandled, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(gHandlerThread, pool.MessageThreadId());

    // Sent messages give the handler's result; unhandled ones the default answer.
    EXPECT_EQ(SendMessageA(threadWnd, kTestMessage, 6, 0), 7);
    EXPECT_EQ(SendMessageA(mainWnd, kTestMessage, 8, 0), 9);
    EXPECT_EQ(SendMessageA(mainWnd, WM_APP + 99, 8, 0), 0);
}

TEST_F(HWndPoolTest, ExceptionsNeverLeaveTheWindowProcedure)
{
    TLogCapture log("wndproc");
    TLcHWNDPoolUnit pool;
    HWND mainWnd = pool.GetHWnd(false);
    HWND threadWnd = pool.GetHWnd(true);
    EXPECT_EQ(SendMessageA(mainWnd, kFailingMessage, 3, 4), 0);
    EXPECT_EQ(SendMessageA(threadWnd, kFailingMessage, 3, 4), 0);
    // Both threads are still alive and answer.
    EXPECT_EQ(SendMessageA(threadWnd, kTestMessage, 1, 0), 2);
    const std::string expected = "WndProc_MAIN(Wnd=" + std::to_string(reinterpret_cast<std::uintptr_t>(mainWnd)) +
                                 ", Msg=" + std::to_string(kFailingMessage) +
                                 ", wParam=3, lParam=4) Exception! std::runtime_error: handler failed\r\n";
    EXPECT_EQ(log.Text("ERROR").substr(0, expected.size()), expected);
}

TEST_F(HWndPoolTest, MessageThreadStartsOnFirstRequestAndEndsWithThePool)
{
    std::vector<HWND> threadWindows;
    DWORD messageThread = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        TLcHWNDPoolUnit pool;
        EXPECT_EQ(pool.MessageThreadId(), 0u);
        threadWindows = SixWindows(pool, true);
        messageThread = pool.MessageThreadId();
        ASSERT_NE(messageThread, 0u);
        EXPECT_FALSE(ThreadEnds(messageThread, 0));
    }
    // The quit message ended the thread at once, not after the wait.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(ThreadEnds(messageThread, 5000));
    for (HWND wnd : threadWindows) {
        EXPECT_FALSE(IsWindow(wnd));
    }
    WNDCLASSA wc{};
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(nullptr), kLcHWndClassName, &wc));
    // A new pool starts a new message thread.
    TLcHWNDPoolUnit again;
    EXPECT_TRUE(IsWindow(again.GetHWnd(true)));
    EXPECT_NE(again.MessageThreadId(), messageThread);
}

TEST_F(HWndPoolTest, ReadyIsSignalledWhenTheThreadHasNoWindow)
{
    struct TCase {
        const char* Why;
        TLcHWNDPoolSettings Settings;
    };
    TLcHWNDPoolSettings noWindows;
    noWindows.ThreadWindows = 0;
    TLcHWNDPoolSettings badClass;
    badClass.ClassName = std::string(300, 'C');  // too long a name: the class cannot be registered
    const TCase cases[] = {{"no thread windows wanted", noWindows}, {"window creation fails", badClass}};
    for (const TCase& c : cases) {
        TLcHWNDPoolUnit pool(c.Settings);
        std::string message;
        try {
            pool.GetHWnd(true);  // must not wait forever
        } catch (const Exception& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, "Windows Message Thread terminated.") << c.Why;
        EXPECT_THROW(pool.GetHWnd(true), Exception) << c.Why;
        EXPECT_TRUE(pool.WaitForHWndThreadEnd(5)) << c.Why;
    }
    TLcHWNDPoolUnit pool(badClass);
    EXPECT_FALSE(pool.ClassReady());
    EXPECT_EQ(pool.GetHWnd(false), nullptr);
}

TEST_F(HWndPoolTest, TimedOutShutdownLeavesTheThreadWhatItUses)
{
    TLcHWNDPoolSettings settings;
    settings.EndWaitSeconds = 1;
    auto pool = std::make_unique<TLcHWNDPoolUnit>(settings);
    const std::vector<HWND> threadWindows = SixWindows(*pool, true);
    const DWORD messageThread = pool->MessageThreadId();
    ASSERT_TRUE(PostMessageA(threadWindows[1], kBlockingMessage, 0, 0));
    ASSERT_EQ(WaitForSingleObject(gEnteredBlock, 5000), WAIT_OBJECT_0);

    const auto start = std::chrono::steady_clock::now();
    pool.reset();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(5));
    // The thread still runs; its windows and their class are still there.
    EXPECT_FALSE(ThreadEnds(messageThread, 0));
    EXPECT_TRUE(IsWindow(threadWindows[0]));
    WNDCLASSA wc{};
    EXPECT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), kLcHWndClassName, &wc));

    SetEvent(gReleaseBlock);
    // The handler returns, the quit message posted at shutdown ends the thread, and the thread
    // cleans up after itself.
    EXPECT_TRUE(ThreadEnds(messageThread, 5000));
    for (HWND wnd : threadWindows) {
        EXPECT_FALSE(IsWindow(wnd));
    }
    TLcHWNDPoolUnit again;
    EXPECT_TRUE(again.ClassReady());
    EXPECT_TRUE(IsWindow(again.GetHWnd(true)));
}

TEST_F(HWndPoolTest, UnitPoolHandsOutWindowsBetweenStartAndEnd)
{
    EXPECT_EQ(GetHWndFromPool(false), nullptr);
    EXPECT_THROW(GetHWndFromPool(true), Exception);
    InitializeLcHWndPool();
    HWND first = GetHWndFromPool(false);
    EXPECT_TRUE(IsWindow(first));
    HWND threaded = GetHWndFromPool(true);
    EXPECT_TRUE(IsWindow(threaded));
    FinalizeLcHWndPool();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(threaded));
}

// ---- real socket events ---------------------------------------------------------------------

class TEventSocket : public TLcAsyncSelectTarget {
public:
    TSocket SelectHandle() const override { return FHandle; }
    std::uintptr_t SelectWindow() const override { return reinterpret_cast<std::uintptr_t>(FWnd); }
    std::uint32_t SelectMessage() const override { return FMsg; }
    bool SelectMultiThreaded() const override { return FMultiThreaded; }
    void SelectEvent(std::uint16_t event, std::uint16_t error) override
    {
        FEvents.push_back(event);
        FThread = GetCurrentThreadId();
        SetEvent(gHandled);
    }
    void SelectBgException() override {}

    TSocket FHandle = kInvalidSocket;
    HWND FWnd = nullptr;
    std::uint32_t FMsg = 0;
    bool FMultiThreaded = false;
    std::vector<std::uint16_t> FEvents;
    DWORD FThread = 0;
};

TEST_F(HWndPoolTest, SocketEventsReachTheRegisteredSocketOnTheWindowsThread)
{
    TLcHWNDPoolUnit pool;
    InitializeLcWinSock();
    InitializeLcSocketPool();
    InitializeLcAsyncSelect();
    LoadWinSock();
    const TLcWinSockFunctions& api = WinSockApi();
    for (bool threaded : {true, false}) {
        TEventSocket listener;
        listener.FMultiThreaded = threaded;
        listener.FHandle = api.socket(kAfInet, kSockStream, kIpProtoTcp);
        ASSERT_NE(listener.FHandle, kInvalidSocket);
        TSockAddrBuffer sin;
        ASSERT_EQ(WSocket_SetVarSin(sin, "127.0.0.1", "0", kAfUnspec, kIpProtoTcp, kSockStream, true), 0);
        ASSERT_EQ(api.bind(listener.FHandle, &sin.Addr, sizeof(TSockAddrIn)), 0);
        int length = kSockAddrSize;
        ASSERT_EQ(api.getsockname(listener.FHandle, &sin.Addr, &length), 0);
        ASSERT_EQ(api.listen(listener.FHandle, 5), 0);

        listener.FWnd = pool.GetHWnd(threaded);
        listener.FMsg = NextSocketMessage();
        SocketRegistryAdd(&listener, listener.FHandle);
        ASSERT_EQ(api.WSAAsyncSelect(listener.FHandle, listener.FWnd, listener.FMsg, kFdAccept), 0);

        const TSocket client = api.socket(kAfInet, kSockStream, kIpProtoTcp);
        ASSERT_EQ(api.connect(client, &sin.Addr, sizeof(TSockAddrIn)), 0);
        const bool arrived = threaded ? WaitForSingleObject(gHandled, 5000) == WAIT_OBJECT_0 : PumpUntil(gHandled, 5000);
        ASSERT_TRUE(arrived) << "threaded " << threaded;
        EXPECT_EQ(listener.FEvents, std::vector<std::uint16_t>{static_cast<std::uint16_t>(kFdAccept)});
        EXPECT_EQ(listener.FThread, threaded ? pool.MessageThreadId() : GetCurrentThreadId());

        // Once unregistered, a message for its handle is stale and dropped.
        EXPECT_TRUE(SocketRegistryRemove(&listener));
        EXPECT_EQ(SendMessageA(listener.FWnd, listener.FMsg, listener.FHandle, kFdAccept), 0);
        EXPECT_EQ(SendMessageA(listener.FWnd, listener.FMsg, 0, kFdAccept), -1);
        EXPECT_EQ(listener.FEvents.size(), 1u);
        EXPECT_EQ(SocketRegistryCount(), 0);
        api.WSAAsyncSelect(listener.FHandle, listener.FWnd, 0, 0);
        api.closesocket(client);
        api.closesocket(listener.FHandle);
    }
    FinalizeLcSocketPool();
    FinalizeLcWinSock();
}

}  // namespace
