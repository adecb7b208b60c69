#include "lectern/lc/lcThrPool.h"

#include "classlib/Platform.h"
#include "lectern/lc/tests/ExpectError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Polls until the condition holds (5 s at most), running the main thread's queued calls.
bool WaitUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 5000; ++i) {
        if (condition()) {
            return true;
        }
        CheckSynchronize(1);
    }
    return condition();
}

// What the jobs of a test saw.
struct TJournal {
    std::mutex FLock;
    std::vector<int> FOrder;
    std::vector<uint32_t> FThreads;
    std::atomic<int> FRunning{0};
    std::atomic<bool> FOverlap{false};
    std::atomic<int> FKilled{0};

    void Note(int id)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FOrder.push_back(id);
        FThreads.push_back(plat::CurrentThreadId());
    }
    std::vector<int> Order()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FOrder;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FOrder.size();
    }
};

// A job that notes itself, optionally waits for a gate first, and frees itself when killed.
class TNoteJob : public TLcJob {
public:
    TNoteJob(TJournal& journal, int id, TLcEvent* gate = nullptr) : FJournal(journal), FId(id), FGate(gate) {}

    bool Run(TLcThread*) override
    {
        if (++FJournal.FRunning > 1) {
            FJournal.FOverlap = true;
        }
        if (FGate) {
            FGate->WaitFor(plat::kInfiniteWait);
        }
        FJournal.Note(FId);
        --FJournal.FRunning;
        return true;
    }
    void Kill() override
    {
        ++FJournal.FKilled;
        delete this;
    }

private:
    TJournal& FJournal;
    int FId;
    TLcEvent* FGate;
};

// A job that runs a function once.
class TCallJob : public TLcJob {
public:
    explicit TCallJob(std::function<void(TLcThread*)> body) : FBody(std::move(body)) {}
    bool Run(TLcThread* thread) override
    {
        FBody(thread);
        return true;
    }
    void Kill() override { delete this; }

private:
    std::function<void(TLcThread*)> FBody;
};

// A queue that keeps the message of an exception of RunJob.
class TProbeQueue : public TLcThread {
public:
    explicit TProbeQueue(std::string* message) : FMessage(message) {}

protected:
    bool RunJob() override
    {
        try {
            return TLcThread::RunJob();
        } catch (const Exception& e) {
            *FMessage = e.Message();
            throw;
        }
    }

private:
    std::string* FMessage;
};

class ThreadPool : public ::testing::Test {
protected:
    void SetUp() override { InitializeLcThrPool(); }
    void TearDown() override { FinalizeLcThrPool(); }

    static int LiveQueues() { return LcPoolCounts().LiveQueues; }
};

TEST_F(ThreadPool, HundredJobsOfOneQueueRunInOrderOneAtATime)
{
    TJournal journal;
    auto* queue = new TLcThread;
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(TLcThread::PostJob(queue, new TNoteJob(journal, i)));
    }
    ASSERT_TRUE(queue->Stop());
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));  // ended and freed by its worker

    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i) {
        expected[static_cast<size_t>(i)] = i;
    }
    EXPECT_EQ(journal.Order(), expected);
    EXPECT_FALSE(journal.FOverlap);
    EXPECT_EQ(journal.FKilled, 100);
}

TEST_F(ThreadPool, HighPriorityJobGoesBeforeTheWaitingOnes)
{
    TJournal journal;
    TLcEvent gate(true, false);
    auto* queue = new TLcThread;
    ASSERT_TRUE(TLcThread::PostJob(queue, new TNoteJob(journal, 0, &gate)));
    ASSERT_TRUE(WaitUntil([&] { return journal.FRunning == 1; }));
    for (int i = 1; i <= 3; ++i) {
        TLcThread::PostJob(queue, new TNoteJob(journal, i));
    }
    TLcThread::PostJob(queue, new TNoteJob(journal, 9), true);
    gate.SetEvent();
    queue->Stop();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
    EXPECT_EQ(journal.Order(), (std::vector<int>{0, 9, 1, 2, 3}));
}

TEST_F(ThreadPool, SparesAreMadeWithAWorkerAndTheLastIdleWorkerIsReusedFirst)
{
    TJournal journal;
    TLcEvent gate(true, false);
    auto* first = new TLcThread;
    auto* second = new TLcThread;
    EXPECT_EQ(LcPoolCounts().Workers, 0);

    ASSERT_TRUE(TLcThread::PostJob(first, new TNoteJob(journal, 1)));
    ASSERT_TRUE(WaitUntil([] { return LcPoolCounts().Idle == 4; }));  // the worker and 3 spares
    EXPECT_EQ(LcPoolCounts().Workers, 4);

    // The worker that ran job 1 went idle last: it is handed out next, no worker is made.
    ASSERT_TRUE(TLcThread::PostJob(second, new TNoteJob(journal, 2, &gate)));
    ASSERT_TRUE(WaitUntil([&] { return journal.FRunning == 1; }));
    EXPECT_EQ(LcPoolCounts().Workers, 4);
    EXPECT_EQ(LcPoolCounts().Idle, 3);
    gate.SetEvent();
    first->Stop();
    second->Stop();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
    ASSERT_EQ(journal.FThreads.size(), 2u);
    EXPECT_EQ(journal.FThreads[0], journal.FThreads[1]);
}

TEST_F(ThreadPool, SixtyFifthQueueWaitsUntilOneOfSixtyFourFinishesItsJob)
{
    TJournal journal;
    std::vector<std::unique_ptr<TLcEvent>> gates;
    std::vector<TLcThread*> queues;
    for (int i = 0; i < kLcMaxWorkers; ++i) {
        gates.push_back(std::make_unique<TLcEvent>(true, false));
        queues.push_back(new TLcThread);
        ASSERT_TRUE(TLcThread::PostJob(queues.back(), new TNoteJob(journal, i, gates.back().get())));
    }
    ASSERT_TRUE(WaitUntil([&] { return journal.FRunning == kLcMaxWorkers; }));
    EXPECT_EQ(LcPoolCounts().Workers, kLcMaxWorkers);

    auto* late = new TLcThread;
    std::atomic<bool> lateRan{false};
    ASSERT_TRUE(TLcThread::PostJob(late, new TCallJob([&](TLcThread*) { lateRan = true; })));
    plat::SleepMs(100);
    EXPECT_FALSE(lateRan);
    EXPECT_EQ(LcPoolCounts().Ready, 1);
    EXPECT_EQ(LcPoolCounts().Workers, kLcMaxWorkers);  // no worker beyond the maximum

    gates[0]->SetEvent();
    EXPECT_TRUE(WaitUntil([&] { return lateRan.load(); }));
    for (auto& gate : gates) {
        gate->SetEvent();
    }
    for (TLcThread* queue : queues) {
        queue->Stop();
    }
    late->Stop();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
    EXPECT_EQ(journal.Count(), static_cast<size_t>(kLcMaxWorkers));
}

TEST_F(ThreadPool, NilJobsRefusalsAndLifeErrors)
{
    auto* queue = new TLcThread;
    EXPECT_TRUE(TLcThread::PostJob(queue, nullptr));
    EXPECT_EQ(LcPoolCounts().Workers, 0);  // nothing queued, no worker asked for
    EXPECT_EQ(LcPoolCounts().Ready, 0);

    ExpectError<EInvalidOperation>([&] { queue->Free(); },
                                   "TLcThread.Destroy called directly. Use TLcThread.Stop() instead.");
    queue->Finalize();
    EXPECT_FALSE(queue->Alive());
    EXPECT_EQ(queue->Info(), nullptr);
    ExpectError<EInvalidPointer>([&] { queue->Finalize(); }, "TLcThread.Finalize called more than once.");

    TJournal journal;
    auto* refused = new TNoteJob(journal, 1);
    EXPECT_FALSE(TLcThread::PostJob(queue, refused));  // the job stays with the caller
    refused->Kill();
    EXPECT_FALSE(queue->Stop());
    queue->Free();

    auto* unbound = new TLcThread;
    ExpectError<Exception>([&] { unbound->Sync(TThreadMethod()); }, "No thread assigned.");
    unbound->Finalize();
    unbound->Free();
}

TEST_F(ThreadPool, JobsLeftBehindTheEndOfAQueueAreKilledAndAFailingJobEndsItsQueue)
{
    TJournal journal;
    TLcEvent gate(true, false);
    auto* queue = new TLcThread;
    TLcThread::PostJob(queue, new TNoteJob(journal, 0, &gate));
    queue->Stop();
    TLcThread::PostJob(queue, new TNoteJob(journal, 1));  // behind the sentinel
    gate.SetEvent();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
    EXPECT_EQ(journal.Order(), std::vector<int>{0});
    EXPECT_EQ(journal.FKilled, 2);  // the job that ran, and the one left behind

    // A job of an unknown class raises in RunJob: the queue ends and its waiting jobs go.
    std::string message;
    TLcBaseMessage stranger("stranger");
    TLcEvent second(true, false);  // holds the queue until every job is in
    auto* probe = new TProbeQueue(&message);
    TLcThread::PostJob(probe, new TNoteJob(journal, 2, &second));
    TLcThread::PostJob(probe, &stranger);
    TLcThread::PostJob(probe, new TNoteJob(journal, 3));
    second.SetEvent();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
    EXPECT_EQ(message, "Error!! TLcThread -> Unknown Job class: TLcBaseMessage");
    EXPECT_EQ(journal.Order(), (std::vector<int>{0, 2}));
    EXPECT_EQ(journal.FKilled, 4);

    // So does a job that raises; the failed job itself is disposed of too.
    TLcEvent third(true, false);
    auto* failing = new TLcThread;
    TLcThread::PostJob(failing, new TCallJob([&](TLcThread*) {
        third.WaitFor(plat::kInfiniteWait);
        throw Exception("job failed");
    }));
    TLcThread::PostJob(failing, new TNoteJob(journal, 4));
    third.SetEvent();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
    EXPECT_EQ(journal.FKilled, 5);
    EXPECT_EQ(journal.Order(), (std::vector<int>{0, 2}));
}

TEST_F(ThreadPool, SyncRunsOnTheMainThreadWhileTheWorkerCountsAsInside)
{
    auto* queue = new TLcThread;
    std::atomic<bool> inWorkerOnWorker{false}, inMainOnWorker{true};
    std::atomic<bool> syncRan{false}, inWorkerDuringSync{false}, onMain{false}, done{false};
    struct TTarget : TObject {
        TLcThread* FQueue;
        std::atomic<bool>* FRan;
        std::atomic<bool>* FInWorker;
        std::atomic<bool>* FOnMain;
        void Call()
        {
            *FRan = true;
            *FInWorker = FQueue->InWorker();
            *FOnMain = TLcThread::InMainThread();
        }
    } target;
    target.FQueue = queue;
    target.FRan = &syncRan;
    target.FInWorker = &inWorkerDuringSync;
    target.FOnMain = &onMain;

    EXPECT_FALSE(queue->InWorker());
    EXPECT_TRUE(TLcThread::InMainThread());
    TLcThread::PostJob(queue, new TCallJob([&](TLcThread* thread) {
        inWorkerOnWorker = thread->InWorker();
        inMainOnWorker = TLcThread::InMainThread();
        thread->Sync(TThreadMethod(&target, &TTarget::Call));
        done = true;
    }));
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_TRUE(inWorkerOnWorker);
    EXPECT_FALSE(inMainOnWorker);
    EXPECT_TRUE(syncRan);
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(inWorkerDuringSync);
    queue->Stop();
    ASSERT_TRUE(WaitUntil([] { return LiveQueues() == 0; }));
}

TEST_F(ThreadPool, CloseEndsIdleAndBusyWorkersAndRefusesWorkAfterwards)
{
    TLcEvent gate(true, false);
    std::atomic<bool> running{false}, syncRan{false}, jobDone{false};
    struct TTarget : TObject {
        std::atomic<bool>* FRan;
        void Call() { *FRan = true; }
    } target;
    target.FRan = &syncRan;

    auto* busy = new TLcThread;
    TLcThread::PostJob(busy, new TCallJob([&](TLcThread* thread) {
        running = true;
        gate.WaitFor(plat::kInfiniteWait);
        thread->Sync(TThreadMethod(&target, &TTarget::Call));  // skipped while the pool closes
        jobDone = true;
    }));
    ASSERT_TRUE(WaitUntil([&] { return running.load(); }));
    ASSERT_EQ(LcPoolCounts().Workers, 4);  // one busy, three idle

    std::thread opener([&] {
        plat::SleepMs(200);
        gate.SetEvent();
    });
    CloseThreadPool();
    opener.join();

    // Every worker has ended, the busy one after its job, none is left to be handed out.
    EXPECT_TRUE(jobDone);
    EXPECT_FALSE(syncRan);
    EXPECT_EQ(LcPoolCounts().Workers, 0);
    EXPECT_EQ(LcPoolCounts().Idle, 0);

    TJournal journal;
    auto* job = new TNoteJob(journal, 1);
    EXPECT_FALSE(TLcThread::PostJob(busy, job));
    auto* fresh = new TLcThread;
    EXPECT_FALSE(TLcThread::PostJob(fresh, job));
    EXPECT_EQ(LcPoolCounts().Workers, 0);  // no worker made after close
    job->Kill();

    // Queues that the closed pool will not run stay with their owners.
    for (TLcThread* queue : {busy, fresh}) {
        EXPECT_FALSE(queue->Stop());
        queue->Finalize();
        queue->Free();
    }
    CloseThreadPool();  // a second call does nothing
}

}  // namespace
