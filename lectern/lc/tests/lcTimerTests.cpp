#include "lectern/lc/lcTimer.h"
#include "lectern/lc/lcTimeout.h"

#include "classlib/Platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace {

// ---- the injected tick source ------------------------------------------------------------------

std::atomic<uint32_t> gTick{1000};
uint32_t FakeTick() { return gTick.load(); }

bool WaitUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 5000; ++i) {
        if (condition()) {
            return true;
        }
        CheckSynchronize(1);  // the synchronised timer thread fires through the main thread
    }
    return condition();
}

// Moves the clock on and waits until both timer threads have fired what came due.
void Advance(uint32_t ticks)
{
    gTick += ticks;
    LcWakeTimerThreads();
    ASSERT_TRUE(WaitUntil(LcTimerThreadsSettled));
}

// A callback target that counts its calls and runs an optional action in them.
struct TTarget : TObject {
    std::atomic<int> FCalls{0};
    std::atomic<uint32_t> FThread{0};
    std::function<void()> FAction;
    void Fire()
    {
        ++FCalls;
        FThread = plat::CurrentThreadId();
        if (FAction) {
            FAction();
        }
    }
    TLcTimerMethod Method() { return TLcTimerMethod(this, &TTarget::Fire); }
};

// A timer that notes its own destruction.
class TProbeTimer : public TLcTimer {
public:
    TProbeTimer(bool multiThreaded, std::atomic<bool>* destroyed) : TLcTimer(multiThreaded), FDestroyed(destroyed) {}
    ~TProbeTimer() override { *FDestroyed = true; }

private:
    std::atomic<bool>* FDestroyed;
};

class Timers : public ::testing::Test {
protected:
    void SetUp() override
    {
        gTick = 1000;
        SetLcTickSource(&FakeTick);
        InitializeLcTimer();
    }
    void TearDown() override
    {
        FinalizeLcTimer();
        SetLcTickSource(nullptr);
    }
};

TEST_F(Timers, IntervalIsMillisecondsDivFiftyWithAtLeastOneTick)
{
    struct Case {
        int32_t ms;
        uint32_t ticks;
    } cases[] = {{0, 1}, {-20, 1}, {49, 1}, {50, 1}, {99, 1}, {100, 2}, {120, 2}, {60000, 1200}};
    TTarget target;
    TLcTimer* timer = new TLcTimer(true);
    for (const Case& c : cases) {
        TLcTimer::Enable(timer, c.ms, false, false, target.Method());
        EXPECT_EQ(timer->Interval(), c.ticks) << c.ms;
        EXPECT_EQ(timer->DueTick(), 1000 + c.ticks) << c.ms;  // an enabled timer moves
    }
    TLcTimer::Stop(timer);
    EXPECT_EQ(timer, nullptr);
}

TEST_F(Timers, PeriodicTimerIsFiledAgainFromItsFiringTickBeforeItsCallback)
{
    TTarget target;
    TLcTimer* timer = new TLcTimer(true);
    uint32_t dueSeenInCallback = 0;
    target.FAction = [&] {
        if (target.FCalls == 1) {
            dueSeenInCallback = timer->DueTick();
            gTick += 1;  // a slow callback: the next firing must not move with it
        }
    };
    TLcTimer::Enable(timer, 120, false, false, target.Method());  // 2 ticks, due 1002
    Advance(1);
    EXPECT_EQ(target.FCalls, 0);
    Advance(1);
    EXPECT_EQ(target.FCalls, 1);
    EXPECT_EQ(dueSeenInCallback, 1004u);
    EXPECT_EQ(timer->DueTick(), 1004u);
    Advance(1);  // 1004
    EXPECT_EQ(target.FCalls, 2);
    EXPECT_EQ(timer->DueTick(), 1006u);
    EXPECT_TRUE(timer->Enabled());
    TLcTimer::Stop(timer);
}

TEST_F(Timers, OnceTimerFiresOnceAndStaysDisabled)
{
    TTarget target;
    TLcTimer* timer = new TLcTimer(true);
    TLcTimer::Enable(timer, 30, false, true, target.Method());
    Advance(1);
    EXPECT_EQ(target.FCalls, 1);
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->DueTick(), 0u);
    Advance(5);
    EXPECT_EQ(target.FCalls, 1);
    TLcTimer::Stop(timer);
}

TEST_F(Timers, FreeAfterFiringTimerIsGoneBeforeItsMethodRuns)
{
    std::atomic<bool> destroyed{false};
    std::atomic<bool> goneAtCall{false};
    TTarget target;
    target.FAction = [&] { goneAtCall = destroyed.load(); };
    TLcTimer* timer = new TProbeTimer(true, &destroyed);
    TLcTimer::Enable(timer, 100, true, false, target.Method());  // free after firing implies once
    Advance(2);
    EXPECT_EQ(target.FCalls, 1);
    EXPECT_TRUE(goneAtCall);
    TLcTimer::Stop(timer);  // no longer registered: nothing happens but the reference goes
    EXPECT_EQ(timer, nullptr);
}

TEST_F(Timers, DisableAndResetMoveTheDueTick)
{
    TTarget target;
    TLcTimer* timer = new TLcTimer(true);
    TLcTimer::Enable(timer, 100, false, false, target.Method());  // due 1002
    Advance(1);
    TLcTimer::Reset(timer);  // due 1003
    EXPECT_EQ(timer->DueTick(), 1003u);
    Advance(1);
    EXPECT_EQ(target.FCalls, 0);
    Advance(1);
    EXPECT_EQ(target.FCalls, 1);

    TLcTimer::Disable(timer);
    EXPECT_FALSE(timer->Enabled());
    TLcTimer::Reset(timer);  // a disabled timer stays disabled
    EXPECT_EQ(timer->DueTick(), 0u);
    Advance(10);
    EXPECT_EQ(target.FCalls, 1);
    TLcTimer::Stop(timer);
}

// Two timers due at the same tick: whichever fires first acts on the other one, which has
// come due already but must not fire while disabled, stopped or moved on.
TEST_F(Timers, TimerChangedAfterItsTickCameDueDoesNotFireThen)
{
    enum class Action { Disable, Stop, Reset };
    for (Action action : {Action::Disable, Action::Stop, Action::Reset}) {
        TTarget a, b;
        TLcTimer* timerA = new TLcTimer(true);
        TLcTimer* timerB = new TLcTimer(true);
        const auto actOn = [action](TLcTimer*& other) {
            switch (action) {
            case Action::Disable: TLcTimer::Disable(other); break;
            case Action::Stop: TLcTimer::Stop(other); break;
            case Action::Reset: TLcTimer::Reset(other); break;
            }
        };
        // Only the very first callback acts.
        a.FAction = [&] { if (a.FCalls == 1 && b.FCalls == 0) actOn(timerB); };
        b.FAction = [&] { if (b.FCalls == 1 && a.FCalls == 0) actOn(timerA); };
        TLcTimer::Enable(timerA, 50, false, false, a.Method());
        TLcTimer::Enable(timerB, 50, false, false, b.Method());
        Advance(1);
        EXPECT_EQ(a.FCalls + b.FCalls, 1) << static_cast<int>(action);
        if (action == Action::Reset) {
            Advance(1);  // the one moved on fires a tick later, the other again with it
            EXPECT_EQ(a.FCalls + b.FCalls, 3);
        }
        TLcTimer::Stop(timerA);
        TLcTimer::Stop(timerB);
    }
}

TEST_F(Timers, StopFromAnotherThreadWaitsForTheCallbackInFlight)
{
    TLcEvent inside(true, false);
    std::atomic<bool> finished{false};
    TTarget target;
    target.FAction = [&] {
        inside.SetEvent();
        plat::SleepMs(100);
        finished = true;
    };
    TLcTimer* timer = new TLcTimer(true);
    TLcTimer::Enable(timer, 50, false, false, target.Method());
    gTick += 1;
    LcWakeTimerThreads();
    ASSERT_EQ(inside.WaitFor(5000), TWaitResult::wrSignaled);
    TLcTimer::Stop(timer);
    EXPECT_TRUE(finished);
    EXPECT_EQ(timer, nullptr);
}

TEST_F(Timers, StopInsideItsOwnCallbackDoesNotWait)
{
    TTarget target;
    TLcTimer* timer = new TLcTimer(true);
    target.FAction = [&] { TLcTimer::Stop(timer); };
    TLcTimer::Enable(timer, 50, false, false, target.Method());
    Advance(1);
    EXPECT_EQ(target.FCalls, 1);
    EXPECT_EQ(timer, nullptr);
    Advance(5);
    EXPECT_EQ(target.FCalls, 1);
}

// A clock thread races the ticks on while the owner of each timer stops it and frees the
// target at once: no callback may touch a freed target (ASan / TSan tell).
TEST_F(Timers, StopRacingFireNeverLeavesACallbackOnAFreedTarget)
{
    std::atomic<bool> running{true};
    std::thread clock([&] {
        while (running) {
            gTick += 1;
            LcWakeTimerThreads();
            std::this_thread::yield();
        }
    });
    for (int round = 0; round < 200; ++round) {
        auto target = std::make_unique<TTarget>();
        TLcTimer* timer = new TLcTimer(true);
        TLcTimer::Enable(timer, 50, false, false, target->Method());
        if (round % 2) {
            std::this_thread::yield();
        }
        TLcTimer::Stop(timer);
        target.reset();
    }
    running = false;
    clock.join();
}

TEST_F(Timers, TimersThatAreNotMultiThreadedRunOnTheMainThread)
{
    TTarget target;
    TLcTimer* timer = new TLcTimer(false);
    TLcTimer::Enable(timer, 50, false, true, target.Method());
    Advance(1);
    EXPECT_EQ(target.FCalls, 1);
    EXPECT_EQ(target.FThread, MainThreadID());
    TLcTimer::Stop(timer);
}

// ---- time-outs ------------------------------------------------------------------------------

class TFakeConnection : public TLcTimeoutTarget {
public:
    TLcThread* FQueue = nullptr;
    std::atomic<int> FTimedOut{0};
    std::atomic<bool> FInWorker{false};

    TLcThread* TimeoutJobQueue() override { return FQueue; }
    std::string LocalAddr() override { return "127.0.0.1"; }
    std::string LocalPort() override { return "8000"; }
    std::string PeerAddr() override { return "127.0.0.1"; }
    std::string PeerPort() override { return "50123"; }
    std::function<void()> FOnTimedOut;
    void TimedOut() override
    {
        FInWorker = FQueue && FQueue->InWorker();
        ++FTimedOut;
        if (FOnTimedOut) {
            FOnTimedOut();
        }
    }
};

// A job that holds its queue until it is let go.
struct TGateJob : TLcJob {
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FOpen{false};
    bool Run(TLcThread*) override
    {
        FRunning = true;
        while (!FOpen) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    void Kill() override {}  // owned by the test
};

// Waits for done; a test that deadlocked cannot end its fixture, so it ends the program.
void ExpectNoDeadlock(const std::atomic<bool>& done, const char* what)
{
    if (!WaitUntil([&] { return done.load(); })) {
        ADD_FAILURE() << "deadlock: " << what;
        std::fflush(nullptr);
        std::_Exit(1);
    }
}

TEST_F(Timers, TimeoutArmingTable)
{
    // From a time-out of 5 s in force since tick 1000, the clock now at 1010.
    struct Case {
        const char* name;
        bool disabledBefore;
        int32_t value;
        int32_t inForce;
        bool enabled;
        uint32_t due;
    } cases[] = {
        {"negative disables", false, -1, -1, false, 0},
        {"zero restarts", false, 0, 5, true, 1110},
        {"same restarts", false, 5, 5, true, 1110},
        {"other enables", false, 7, 7, true, 1150},
        {"zero keeps a disabled one off", true, 0, -1, false, 0},
        {"same value after disable enables", true, 5, 5, true, 1110},
    };
    for (const Case& c : cases) {
        gTick = 1000;
        TFakeConnection connection;
        TLcTimeout timeout(&connection);
        timeout.Start(true);
        timeout.AfterConnecting = 5;
        timeout.Connecting();
        ASSERT_EQ(timeout.Timer()->DueTick(), 1100u) << c.name;
        if (c.disabledBefore) {
            timeout.Disable();
        }
        gTick = 1010;
        timeout.AfterDataReceived = c.value;
        timeout.DataReceived();
        EXPECT_EQ(timeout.IntervalInForce(), c.inForce) << c.name;
        EXPECT_EQ(timeout.Timer()->Enabled(), c.enabled) << c.name;
        EXPECT_EQ(timeout.Timer()->DueTick(), c.due) << c.name;
    }
}

TEST_F(Timers, TimeoutPostsItsJobToTheConnectionsQueueOrRunsOnTheTimerThread)
{
    TFakeConnection queued;
    queued.FQueue = new TLcThread;
    TFakeConnection direct;
    {
        TLcTimeout onQueue(&queued);
        TLcTimeout onTimer(&direct);
        onQueue.Start(true);
        onTimer.Start(false);
        EXPECT_EQ(onQueue.JobQueue(), queued.FQueue);
        EXPECT_EQ(onTimer.JobQueue(), nullptr);
        onQueue.AfterConnect = 1;
        onTimer.AfterConnect = 1;
        onQueue.Connect();
        onTimer.Connect();
        Advance(20);
        ASSERT_TRUE(WaitUntil([&] { return queued.FTimedOut == 1; }));
        EXPECT_TRUE(queued.FInWorker);
        EXPECT_EQ(direct.FTimedOut, 1);
        Advance(20);  // periodic: once a period until the connection reacts
        ASSERT_TRUE(WaitUntil([&] { return queued.FTimedOut == 2; }));
        EXPECT_EQ(direct.FTimedOut, 2);
        onQueue.Stop();
        EXPECT_EQ(onQueue.Timer(), nullptr);
        EXPECT_EQ(onQueue.IntervalInForce(), -1);
    }
    queued.FQueue->Stop();
    ASSERT_TRUE(WaitUntil([] { return LcPoolCounts().LiveQueues == 0; }));
}

// The connection stops its time-out while the time-out's job runs on its queue, and the timer
// fires again meanwhile: the timer's callback must not wait for the job, which waits for it.
TEST_F(Timers, TimeoutStoppedInsideItsOwnJobWhileTheTimerFiresAgain)
{
    TFakeConnection connection;
    connection.FQueue = new TLcThread;
    TLcTimeout timeout(&connection);
    std::atomic<bool> done{false};
    connection.FOnTimedOut = [&] {
        gTick += 20;
        LcWakeTimerThreads();  // the next period's callback posts the job again
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        timeout.Stop();  // waits for that callback
        done = true;
    };
    timeout.Start(true);
    timeout.AfterConnect = 1;
    timeout.Connect();
    gTick += 20;
    LcWakeTimerThreads();
    ExpectNoDeadlock(done, "TLcTimeout.Stop inside its disconnect job");
    connection.FQueue->Stop();
    ASSERT_TRUE(WaitUntil([] { return LcPoolCounts().LiveQueues == 0; }));
    EXPECT_GE(connection.FTimedOut.load(), 1);
}

// The disconnect job is posted by the timer thread while its queue ends and kills the jobs it
// still holds: posting and killing take the job's lock and the pool's lock, in one order.
TEST_F(Timers, TimeoutJobPostedWhileItsQueueEnds)
{
    for (int round = 0; round < 20; ++round) {
        TFakeConnection connection;
        auto* queue = new TLcThread;
        connection.FQueue = queue;
        TGateJob gate;
        ASSERT_TRUE(TLcThread::PostJob(queue, &gate));
        ASSERT_TRUE(WaitUntil([&] { return gate.FRunning.load(); }));
        {
            TLcTimeout timeout(&connection);
            timeout.Start(true);
            timeout.AfterConnect = 1;
            timeout.Connect();
            gTick += 20;
            LcWakeTimerThreads();
            ASSERT_TRUE(WaitUntil(LcTimerThreadsSettled));
            // The job waits behind the gate; the stop goes before it, so the queue ends and
            // kills it while the timer posts it again.
            ASSERT_TRUE(TLcThread::PostJob(queue, LcStopMessage(), true));
            gate.FOpen = true;
            gTick += 20;
            LcWakeTimerThreads();
            ASSERT_TRUE(WaitUntil([] { return LcPoolCounts().LiveQueues == 0; }));
        }
        EXPECT_EQ(connection.FTimedOut.load(), 0);
    }
}

TEST_F(Timers, TimeoutAssignCopiesTheEightValues)
{
    TLcTimeout from(nullptr), to(nullptr);
    int32_t TLcTimeout::*fields[] = {&TLcTimeout::AfterConnecting, &TLcTimeout::AfterConnect,
                                     &TLcTimeout::AfterDataReceived, &TLcTimeout::AfterDataLost,
                                     &TLcTimeout::AfterDataSend, &TLcTimeout::AfterDataOut,
                                     &TLcTimeout::AfterDataIn, &TLcTimeout::AfterDataSent};
    int32_t value = 1;
    for (auto field : fields) {
        from.*field = value++;
    }
    to.Assign(&from);
    for (auto field : fields) {
        EXPECT_EQ(to.*field, from.*field);
    }
}

}  // namespace
