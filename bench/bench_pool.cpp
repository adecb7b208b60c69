// The worker pool: how long a job waits from PostJob until it runs on a worker, and how many
// jobs per second the pool runs when they are spread over 1, 8 and 64 queues.
//
// Latency: one queue, one job at a time (the next is posted once the last has run); median
// and 99th percentile in microseconds. Throughput: every queue holds one reused counting job
// that is posted again and again (round robin), best of three rounds.
#include "lectern/lc/lcThrPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLatencySamples = 5000;
constexpr int kThroughputJobs = 400000;
constexpr int kRounds = 3;

class TStampJob : public TLcJob {
public:
    Clock::time_point FPosted;
    double FWaitedUs = 0;
    TLcEvent FRan{false, false};

    bool Run(TLcThread*) override
    {
        FWaitedUs = std::chrono::duration<double, std::micro>(Clock::now() - FPosted).count();
        FRan.SetEvent();
        return false;  // reused
    }
    void Kill() override {}
};

class TCountJob : public TLcJob {
public:
    explicit TCountJob(std::atomic<int>& done) : FDone(done) {}
    bool Run(TLcThread*) override
    {
        FDone.fetch_add(1, std::memory_order_relaxed);
        return false;  // reused
    }
    void Kill() override {}

private:
    std::atomic<int>& FDone;
};

void Latency()
{
    auto* queue = new TLcThread;
    TStampJob job;
    std::vector<double> samples;
    samples.reserve(kLatencySamples);
    for (int i = 0; i < kLatencySamples + 100; ++i) {
        job.FPosted = Clock::now();
        TLcThread::PostJob(queue, &job);
        job.FRan.WaitFor(plat::kInfiniteWait);
        if (i >= 100) {  // the first ones start the workers
            samples.push_back(job.FWaitedUs);
        }
    }
    std::sort(samples.begin(), samples.end());
    std::printf("post-to-run latency, 1 queue: median %.1f us, p99 %.1f us (%d samples)\n",
                samples[samples.size() / 2], samples[samples.size() * 99 / 100], kLatencySamples);
    queue->Stop();
}

void Throughput(int queueCount)
{
    std::atomic<int> done{0};
    std::vector<TLcThread*> queues;
    std::vector<std::unique_ptr<TCountJob>> jobs;
    for (int i = 0; i < queueCount; ++i) {
        queues.push_back(new TLcThread);
        jobs.push_back(std::make_unique<TCountJob>(done));
    }
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        done = 0;
        const auto start = Clock::now();
        for (int i = 0; i < kThroughputJobs; ++i) {
            const int q = i % queueCount;
            TLcThread::PostJob(queues[static_cast<size_t>(q)], jobs[static_cast<size_t>(q)].get());
        }
        while (done.load() < kThroughputJobs) {
            plat::SleepMs(0);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::max(best, kThroughputJobs / seconds);
    }
    for (TLcThread* queue : queues) {
        queue->Stop();
    }
    while (LcPoolCounts().LiveQueues > 0) {
        plat::SleepMs(1);
    }
    std::printf("throughput, %2d queues: %.0f jobs/s (%d jobs, best of %d, %d workers)\n", queueCount, best,
                kThroughputJobs, kRounds, LcPoolCounts().Workers);
}

}  // namespace

int main()
{
    InitializeLcThrPool();
    Latency();
    for (int queues : {1, 8, 64}) {
        Throughput(queues);
    }
    FinalizeLcThrPool();
    return 0;
}
