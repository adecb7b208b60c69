// Message numbers, the socket registry, the dispatch of socket messages and the handler table
// of the hidden windows: the platform-free half of the hidden-window pool.
#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWndMessages.h"

#include "LogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// ---- message numbers ------------------------------------------------------------------------

TEST(SocketMessages, RunFrom2048To32767ThenStartAgain)
{
    InitializeLcAsyncSelect();
    ClearWndMessageHandlers();
    EXPECT_EQ(NextSocketMessage(), 2048u);
    EXPECT_EQ(NextSocketMessage(), 2049u);
    std::uint32_t last = 2049;
    while (last != 32767) {
        const std::uint32_t next = NextSocketMessage();
        ASSERT_EQ(next, last + 1);
        last = next;
    }
    EXPECT_EQ(NextSocketMessage(), 2048u);
    EXPECT_EQ(NextSocketMessage(), 2049u);
}

TEST(SocketMessages, ThreadsNeverGetTheSameNumberWithinOneRound)
{
    InitializeLcAsyncSelect();
    ClearWndMessageHandlers();
    constexpr int kThreads = 4;
    constexpr int kEach = 5000;  // 20000 numbers: less than one round of 30720
    std::vector<std::vector<std::uint32_t>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&taken, t] {
            for (int i = 0; i < kEach; ++i) {
                taken[t].push_back(NextSocketMessage());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::uint32_t> all;
    for (const auto& numbers : taken) {
        all.insert(numbers.begin(), numbers.end());
    }
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(*all.begin(), 2048u);
    EXPECT_EQ(*all.rbegin(), 2048u + kThreads * kEach - 1);
}

// ---- a socket as the dispatcher sees it -----------------------------------------------------

class TFakeSocket : public TLcAsyncSelectTarget {
public:
    TFakeSocket(TSocket handle, std::uintptr_t wnd, std::uint32_t msg) : FHandle(handle), FWnd(wnd), FMsg(msg) {}

    TSocket SelectHandle() const override { return FHandle; }
    std::uintptr_t SelectWindow() const override { return FWnd; }
    std::uint32_t SelectMessage() const override { return FMsg; }
    bool SelectMultiThreaded() const override { return FMultiThreaded; }
    void SelectEvent(std::uint16_t event, std::uint16_t error) override
    {
        FEvents.push_back({event, error});
        if (FOnEvent) {
            FOnEvent();
        }
        if (FThrowInEvent) {
            throw std::runtime_error("event failed");
        }
    }
    void SelectBgException() override
    {
        ++FBgExceptions;
        if (FThrowInBg) {
            throw std::runtime_error("handler failed");
        }
    }

    TSocket FHandle;
    std::uintptr_t FWnd;
    std::uint32_t FMsg;
    bool FMultiThreaded = false;
    bool FThrowInEvent = false;
    bool FThrowInBg = false;
    void (*FOnEvent)() = nullptr;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> FEvents;
    int FBgExceptions = 0;
};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { InitializeLcSocketPool(); }
    void TearDown() override { FinalizeLcSocketPool(); }
};

constexpr std::uintptr_t kWnd = 0x1234;
constexpr std::uint32_t kMsg = 2050;
constexpr std::intptr_t kReadWithError = (10053 << 16) | kFdRead;

TEST_F(RegistryTest, PairsSocketsWithHandlesAndForgetsThemOnce)
{
    TFakeSocket a(100, kWnd, kMsg);
    TFakeSocket b(200, kWnd, kMsg + 1);
    SocketRegistryAdd(&a, a.FHandle);
    SocketRegistryAdd(&b, b.FHandle);
    EXPECT_EQ(SocketRegistryCount(), 2);
    EXPECT_EQ(SocketRegistryFind(100), &a);
    EXPECT_EQ(SocketRegistryFind(200), &b);
    EXPECT_EQ(SocketRegistryFind(300), nullptr);

    EXPECT_TRUE(SocketRegistryRemove(&a));
    EXPECT_FALSE(SocketRegistryRemove(&a));  // a second close closes nothing
    EXPECT_EQ(SocketRegistryFind(100), nullptr);
    EXPECT_EQ(SocketRegistryFind(200), &b);
    EXPECT_TRUE(SocketRegistryRemove(&b));
    EXPECT_EQ(SocketRegistryCount(), 0);

    // A socket registered again under a new handle is found by that handle only.
    SocketRegistryAdd(&a, 101);
    EXPECT_EQ(SocketRegistryFind(101), &a);
    EXPECT_EQ(SocketRegistryFind(100), nullptr);
    EXPECT_TRUE(SocketRegistryRemove(&a));
    EXPECT_EQ(SocketRegistryCount(), 0);
}

TEST_F(RegistryTest, GoneRegistryRefusesTheLockAndFindsNothing)
{
    TFakeSocket a(100, kWnd, kMsg);
    SocketRegistryAdd(&a, a.FHandle);
    ASSERT_TRUE(SocketRegistryLock());
    SocketRegistryUnlock();
    FinalizeLcSocketPool();
    EXPECT_FALSE(SocketRegistryLock());
    EXPECT_EQ(SocketRegistryFind(100), nullptr);
    EXPECT_FALSE(SocketRegistryRemove(&a));
    EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kFdRead), 0);
    EXPECT_TRUE(a.FEvents.empty());
}

TEST_F(RegistryTest, DispatchHandsEventAndErrorToTheMatchingSocket)
{
    TFakeSocket a(100, kWnd, kMsg);
    SocketRegistryAdd(&a, a.FHandle);
    EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kReadWithError), 0);
    EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kFdClose), 0);
    ASSERT_EQ(a.FEvents.size(), 2u);
    EXPECT_EQ(a.FEvents[0], std::make_pair(std::uint16_t(kFdRead), std::uint16_t(10053)));
    EXPECT_EQ(a.FEvents[1], std::make_pair(std::uint16_t(kFdClose), std::uint16_t(0)));
    SocketRegistryRemove(&a);
}

TEST_F(RegistryTest, DispatchDropsStaleMessagesAndRefusesInvalidHandles)
{
    TFakeSocket a(100, kWnd, kMsg);
    TFakeSocket gone(300, kWnd, kMsg);  // never registered, or already closed
    SocketRegistryAdd(&a, a.FHandle);
    struct TCase {
        std::uintptr_t Wnd;
        std::uint32_t Msg;
        std::uintptr_t Handle;
        std::intptr_t Result;
    };
    const TCase cases[] = {
        {kWnd, kMsg, 0, -1},
        {kWnd, kMsg, kInvalidSocket, -1},
        {kWnd + 1, kMsg, 100, 0},  // another window
        {kWnd, kMsg + 1, 100, 0},  // another message number
        {kWnd, kMsg, 300, 0},      // a handle nobody holds
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(AsyncSelectDispatch(c.Wnd, c.Msg, c.Handle, kFdRead), c.Result) << c.Handle;
    }
    // The handle was reused: the registry still names a, but a now holds another handle.
    a.FHandle = 101;
    EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kFdRead), 0);
    EXPECT_TRUE(a.FEvents.empty());
    EXPECT_TRUE(gone.FEvents.empty());
    SocketRegistryRemove(&a);
}

TEST_F(RegistryTest, FailedEventRunsBackgroundHandlingAndNothingEscapes)
{
    TLogCapture log("dispatch");
    TFakeSocket a(100, kWnd, kMsg);
    a.FThrowInEvent = true;
    SocketRegistryAdd(&a, a.FHandle);
    EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kFdWrite), 0);
    EXPECT_EQ(a.FBgExceptions, 1);
    a.FThrowInBg = true;
    EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kFdWrite), 0);
    EXPECT_EQ(a.FBgExceptions, 2);
    EXPECT_EQ(log.Text("ERROR"),
              "WM_ASYNCSELECT(msg=2050, wparam=100, lparam=2) Exception! std::runtime_error: event failed\r\n"
              "WM_ASYNCSELECT(msg=2050, wparam=100, lparam=2) Exception! std::runtime_error: event failed\r\n"
              "HandleBgException Exception! std::runtime_error: handler failed\r\n");
    // The lock was given back on every path.
    std::thread other([&a] { EXPECT_TRUE(SocketRegistryRemove(&a)); });
    other.join();
}

// While a multi-threaded socket's event runs, the registry lock is held, so closing the socket
// on another thread waits for the event; a main-thread socket's event runs without the lock.
std::atomic<bool> gInEvent{false};
std::atomic<bool> gRemoved{false};
bool gRemovedDuringEvent = false;

void WaitInEventForRemoval()
{
    gInEvent = true;
    for (int i = 0; i < 250 && !gRemoved; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    gRemovedDuringEvent = gRemoved;
}

TEST_F(RegistryTest, MultiThreadedSocketsAreHandledUnderTheRegistryLock)
{
    for (bool multiThreaded : {true, false}) {
        TFakeSocket a(100, kWnd, kMsg);
        a.FMultiThreaded = multiThreaded;
        a.FOnEvent = WaitInEventForRemoval;
        SocketRegistryAdd(&a, a.FHandle);
        gInEvent = false;
        gRemoved = false;
        std::thread closer([&a] {
            while (!gInEvent) {
                std::this_thread::yield();
            }
            EXPECT_TRUE(SocketRegistryRemove(&a));
            gRemoved = true;
        });
        EXPECT_EQ(AsyncSelectDispatch(kWnd, kMsg, 100, kFdRead), 0);
        closer.join();
        EXPECT_EQ(gRemovedDuringEvent, !multiThreaded) << "multi-threaded " << multiThreaded;
        EXPECT_EQ(SocketRegistryCount(), 0);
    }
}

// ---- the handler table ----------------------------------------------------------------------

std::intptr_t AnswerOne(std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t) { return 1; }
std::intptr_t AnswerTwo(std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t) { return 2; }
std::intptr_t Fail(std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t)
{
    throw ELcInfo("handler failed");
}

TEST(WndMessageHandlers, FirstMatchingRangeAnswersAndExceptionsStayInside)
{
    TLogCapture log("handlers");
    ClearWndMessageHandlers();
    RegisterWndMessageHandler(AnswerOne, 100, 199);
    RegisterWndMessageHandler(AnswerTwo, 150, 299);  // overlaps: the first entry wins
    RegisterWndMessageHandler(Fail, 300, 300);
    struct TCase {
        std::uint32_t Msg;
        bool Handled;
        std::intptr_t Result;
    };
    const TCase cases[] = {{99, false, -7}, {100, true, 1}, {150, true, 1}, {199, true, 1},
                           {200, true, 2},  {299, true, 2}, {300, true, 0}, {301, false, -7}};
    for (const TCase& c : cases) {
        std::intptr_t result = -7;
        EXPECT_EQ(DispatchWndMessage(42, c.Msg, 5, -6, result), c.Handled) << c.Msg;
        EXPECT_EQ(result, c.Result) << c.Msg;
    }
    EXPECT_EQ(log.Text("ERROR"),
              "WndProc_MAIN(Wnd=42, Msg=300, wParam=5, lParam=-6) Exception! ELcInfo: handler failed\r\n");
    ClearWndMessageHandlers();
    std::intptr_t result = -7;
    EXPECT_FALSE(DispatchWndMessage(42, 100, 0, 0, result));
}

TEST(WndMessageHandlers, AsyncSelectRegistersTheSocketRange)
{
    ClearWndMessageHandlers();
    InitializeLcAsyncSelect();
    std::intptr_t result = 7;
    EXPECT_FALSE(DispatchWndMessage(42, 2047, 100, 0, result));
    EXPECT_TRUE(DispatchWndMessage(42, 2048, 0, 0, result));
    EXPECT_EQ(result, -1);  // handle 0: the dispatcher's answer
    EXPECT_TRUE(DispatchWndMessage(42, 32767, kInvalidSocket, 0, result));
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(DispatchWndMessage(42, 32768, 100, 0, result));
    ClearWndMessageHandlers();
}

}  // namespace
