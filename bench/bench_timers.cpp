// Timers under a high reset rate, as every read and write of a busy server restarts its
// connection's time-out: 10,000 periodic multi-threaded timers (intervals of 1 to 40 ticks),
// and a loop that resets them in turn while the tick count moves on by one every 1,000
// resets, so each reset really moves its timer to a new tick and due timers keep firing.
// The tick count is injected, so the figures do not depend on the 50 ms clock. Printed:
// resets per second (one thread, then four at once) and the timers fired meanwhile.
#include "lectern/lc/lcTimer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimers = 10000;
constexpr int kResets = 2000000;
constexpr int kResetsPerTick = 1000;

std::atomic<uint32_t> gTick{1000};
uint32_t BenchTick() { return gTick.load(std::memory_order_relaxed); }

struct TFireCounter : TObject {
    std::atomic<long> FFired{0};
    void Fire() { FFired.fetch_add(1, std::memory_order_relaxed); }
};

double ResetRun(std::vector<TLcTimer*>& timers, int threadCount)
{
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            const int share = kResets / threadCount;
            for (int i = 0; i < share; ++i) {
                TLcTimer::Reset(timers[(static_cast<size_t>(i) * 7919u + static_cast<size_t>(t) * 13u) % kTimers]);
                if (t == 0 && i % (kResetsPerTick / threadCount) == 0) {
                    gTick.fetch_add(1);
                    LcWakeTimerThreads();
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return kResets / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main()
{
    SetLcTickSource(&BenchTick);
    InitializeLcTimer();
    TFireCounter counter;
    std::vector<TLcTimer*> timers;
    for (int i = 0; i < kTimers; ++i) {
        timers.push_back(new TLcTimer(true));
        TLcTimer::Enable(timers.back(), 50 * (1 + i % 40), false, false, TLcTimerMethod(&counter, &TFireCounter::Fire));
    }
    for (int threads : {1, 4}) {
        counter.FFired = 0;
        const double rate = ResetRun(timers, threads);
        std::printf("%d timers, %d resets on %d thread(s): %.0f resets/s, %.0f ns per reset, %ld fired\n", kTimers,
                    kResets, threads, rate, 1e9 / rate, counter.FFired.load());
    }
    for (TLcTimer*& timer : timers) {
        TLcTimer::Stop(timer);
    }
    FinalizeLcTimer();
    SetLcTickSource(nullptr);
    return 0;
}
