#include "classlib/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

class TBodyThread : public TThread {
public:
    TBodyThread(std::function<void()> body, std::atomic<bool>* destroyed = nullptr)
        : FBody(std::move(body)), FDestroyed(destroyed)
    {
    }
    ~TBodyThread() override
    {
        if (FDestroyed) {
            *FDestroyed = true;
        }
    }

protected:
    void Execute() override { FBody(); }

private:
    std::function<void()> FBody;
    std::atomic<bool>* FDestroyed;
};

struct TCounter : TObject {
    std::atomic<int> FCalls{0};
    std::atomic<uint32_t> FThread{0};
    void Call()
    {
        ++FCalls;
        FThread = plat::CurrentThreadId();
    }
    void Fail() { throw EAbort("from the main thread"); }
};

bool DrainUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 5000 && !condition(); ++i) {
        CheckSynchronize(1);
    }
    return condition();
}

TEST(Threads, ExceptionInExecuteStaysInsideTheThread)
{
    std::atomic<bool> ran{false};
    TBodyThread thread([&] {
        ran = true;
        throw Exception("lost in the thread");
    });
    thread.Start();
    thread.WaitFor();
    EXPECT_TRUE(ran);
}

TEST(Threads, FreeOnTerminateThreadFreesItselfAndTerminateIsSeen)
{
    std::atomic<bool> destroyed{false};
    TSyncEvent go(true, false);
    auto* thread = new TBodyThread([&] { go.WaitFor(plat::kInfiniteWait); }, &destroyed);
    thread->SetFreeOnTerminate(true);
    thread->Start();
    go.SetEvent();
    EXPECT_TRUE(DrainUntil([&] { return destroyed.load(); }));

    std::atomic<bool> sawTerminate{false};
    TBodyThread* self = nullptr;
    TBodyThread waiting([&] {
        while (!self->Terminated()) {
            plat::SleepMs(1);
        }
        sawTerminate = true;
    });
    self = &waiting;
    waiting.Start();
    waiting.Terminate();
    waiting.WaitFor();
    EXPECT_TRUE(sawTerminate);
}

TEST(Threads, SynchronizeRunsOnTheMainThreadAndRaisesItsErrorInTheCaller)
{
    TCounter counter;
    std::atomic<bool> done{false}, raised{false};
    TBodyThread thread([&] {
        TThread::Synchronize(TThreadMethod(&counter, &TCounter::Call));
        try {
            TThread::Synchronize(TThreadMethod(&counter, &TCounter::Fail));
        } catch (const EAbort&) {
            raised = true;
        }
        done = true;
    });
    thread.Start();
    EXPECT_TRUE(DrainUntil([&] { return done.load(); }));
    thread.WaitFor();
    EXPECT_EQ(counter.FCalls, 1);
    EXPECT_EQ(counter.FThread, MainThreadID());
    EXPECT_TRUE(raised);

    TThread::Synchronize(TThreadMethod(&counter, &TCounter::Call));  // on the main thread: at once
    EXPECT_EQ(counter.FCalls, 2);
    EXPECT_FALSE(CheckSynchronize());
}

TEST(Threads, WaitForWithMessagesServesSynchronisedCallsUntilTheEventComes)
{
    TCounter counter;
    TSyncEvent finished(true, false);
    TBodyThread thread([&] {
        TThread::Synchronize(TThreadMethod(&counter, &TCounter::Call));
        finished.SetEvent();
    });
    thread.Start();
    EXPECT_TRUE(WaitForWithMessages(finished, 10));
    thread.WaitFor();
    EXPECT_EQ(counter.FCalls, 1);

    TSyncEvent never(true, false);
    EXPECT_FALSE(WaitForWithMessages(never, 0));
}

// A thread that runs an action at the start of its destructor.
class TEndingThread : public TThread {
public:
    explicit TEndingThread(std::function<void()> onDestroy) : FOnDestroy(std::move(onDestroy)) {}
    ~TEndingThread() override { FOnDestroy(); }

protected:
    void Execute() override {}

private:
    std::function<void()> FOnDestroy;
};

// A thread that frees itself may need a lock in its destructor; starting another thread under
// that lock must not wait for it.
TEST(Threads, StartUnderALockThatAnEndingThreadNeeds)
{
    TCriticalSection lock;
    std::atomic<bool> inDestructor{false};
    std::atomic<bool> started{false};
    std::thread body([&] {
        lock.Enter();
        auto* ending = new TEndingThread([&] {
            inDestructor = true;
            lock.Enter();
            lock.Leave();
        });
        ending->SetFreeOnTerminate(true);
        ending->Start();
        while (!inDestructor) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        TBodyThread other([] {});
        other.Start();
        started = true;
        lock.Leave();
        other.WaitFor();
    });
    for (int i = 0; i < 500 && !started; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!started) {
        ADD_FAILURE() << "deadlock: Start waited for a thread that waits for the caller's lock";
        std::fflush(nullptr);
        std::_Exit(1);
    }
    body.join();
    ReapEndedThreads();
}

#ifdef _WIN32
// Once the program's loop was told to quit, waits at its end still wait for their events and
// keep the synchronised calls running; the quit message stays for the loop.
TEST(Threads, WaitForWithMessagesGoesOnAfterAQuitMessage)
{
    PostQuitMessage(3);
    for (int round = 0; round < 2; ++round) {
        TCounter counter;
        TSyncEvent finished(true, false);
        TBodyThread thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            TThread::Synchronize(TThreadMethod(&counter, &TCounter::Call));
            finished.SetEvent();
        });
        thread.Start();
        EXPECT_TRUE(WaitForWithMessages(finished, 10)) << round;
        for (int i = 0; i < 500 && finished.WaitFor(0) != TWaitResult::wrSignaled; ++i) {
            CheckSynchronize(10);  // a wait that gave up early left the thread waiting for us
        }
        thread.WaitFor();
        EXPECT_EQ(counter.FCalls, 1) << round;
    }
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}
#endif

}  // namespace
