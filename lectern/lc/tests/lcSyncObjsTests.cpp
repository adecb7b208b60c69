#include "lectern/lc/lcSyncObjs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Long enough for a woken thread to have run on a loaded machine; the checks below never
// depend on a thread being slow, only on it having had time.
constexpr auto kSettle = 200ms;
constexpr uint32_t kLongWaitMs = 10000;

// Starts count threads that each wait once on the event and count themselves when released.
class Waiters {
public:
    Waiters(TLcEvent& event, int count)
    {
        for (int i = 0; i < count; ++i) {
            FThreads.emplace_back([this, &event] {
                ++FWaiting;
                if (event.WaitFor(kLongWaitMs) == TWaitResult::wrSignaled) {
                    ++FReleased;
                }
            });
        }
        while (FWaiting < count) {
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(kSettle);  // let every thread get into its wait
    }
    ~Waiters()
    {
        for (auto& t : FThreads) {
            t.join();
        }
    }
    int Released() const { return FReleased; }

private:
    std::atomic<int> FWaiting{0};
    std::atomic<int> FReleased{0};
    std::vector<std::thread> FThreads;
};

TEST(LcCritSec, HolderReentersAndMustReleaseAsOftenBeforeAnotherThreadGetsIn)
{
    TLcCritSec lock;
    lock.Acquire();
    lock.Acquire();  // would dead-lock a plain mutex
    std::atomic<bool> otherIn{false};
    std::thread other([&] {
        lock.Acquire();
        otherIn = true;
        lock.Release();
    });
    lock.Release();
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(otherIn) << "one release of two let another thread in";
    lock.Release();
    other.join();
    EXPECT_TRUE(otherIn);
}

TEST(LcEvent, AutoResetReleasesExactlyOneWaiterPerSetEvent)
{
    TLcEvent event(false, false);
    Waiters waiters(event, 3);
    EXPECT_EQ(waiters.Released(), 0);
    for (int expected = 1; expected <= 3; ++expected) {
        event.SetEvent();
        std::this_thread::sleep_for(kSettle);
        EXPECT_EQ(waiters.Released(), expected);
    }
    // The last waiter took the signal with it.
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
}

TEST(LcEvent, AutoResetStartingSignalledLetsOneWaitThrough)
{
    TLcEvent event(false, true);
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
}

TEST(LcEvent, ManualResetLetsEveryWaiterThroughUntilReset)
{
    TLcEvent event(true, true);
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
    event.ResetEvent();
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrTimeout);
    {
        Waiters waiters(event, 3);
        EXPECT_EQ(waiters.Released(), 0);
        event.SetEvent();
    }  // joins: all three were let through by the one SetEvent
    EXPECT_EQ(event.WaitFor(0), TWaitResult::wrSignaled);
}

TEST(LcEvent, ManualResetReleasesAllWaitersAtOnce)
{
    TLcEvent event(true, false);
    Waiters waiters(event, 4);
    event.SetEvent();
    std::this_thread::sleep_for(kSettle);
    EXPECT_EQ(waiters.Released(), 4);
}

TEST(LcEvent, TimedWaitTimesOutWhenNotSetAndReturnsWhenSetMeanwhile)
{
    TLcEvent event(false, false);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.WaitFor(150), TWaitResult::wrTimeout);
    // It waited rather than failing at once (the platform's timer may round a little short).
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

    std::thread setter([&] {
        std::this_thread::sleep_for(50ms);
        event.SetEvent();
    });
    EXPECT_EQ(event.WaitFor(kLongWaitMs), TWaitResult::wrSignaled);
    setter.join();
}

}  // namespace
