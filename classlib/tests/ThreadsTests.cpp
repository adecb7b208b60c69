#include "classlib/Threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

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

}  // namespace
