#include "Threads.h"

#include "PlatformTime.h"

#include <deque>
#include <exception>

namespace {

// Recorded while the program loads, which happens on its main thread.
const uint32_t kMainThreadId = plat::CurrentThreadId();

// One call waiting for the main thread; it lives on the stack of the thread that waits.
struct SyncRequest {
    TThreadMethod FMethod;
    std::exception_ptr FError;
    plat::Event FDone{true, false};
};

// The main thread's queue of calls. Made on first use and never freed, so that no static
// destructor can pull it away from a thread that still synchronises at exit.
struct SyncQueue {
    plat::CriticalSection FLock;
    plat::Event FPending{false, false};
    std::deque<SyncRequest*> FCalls;
};

SyncQueue& Queue()
{
    static SyncQueue* queue = new SyncQueue;
    return *queue;
}

}  // namespace

uint32_t MainThreadID() { return kMainThreadId; }

TThread::TThread() = default;

TThread::~TThread()
{
    if (FStarted && !FFreeOnTerminate) {
        Terminate();
        FThread.Join();
    }
}

void TThread::Start()
{
    if (FStarted) {
        throw EThread("Thread already started.");
    }
    FStarted = true;
    if (!FThread.Start(&TThread::Entry, this, FFreeOnTerminate)) {
        FStarted = false;
        throw EThread("Thread creation error: " + plat::LastErrorMessage());
    }
}

void TThread::WaitFor()
{
    if (FStarted && !FFreeOnTerminate) {
        FThread.Join();
    }
}

void TThread::Entry(void* self)
{
    auto* thread = static_cast<TThread*>(self);
    thread->FThreadID.store(plat::CurrentThreadId());
    try {
        thread->Execute();
    } catch (...) {
        // The one catching wrapper: nothing unwinds through the system's thread entry.
    }
    if (thread->FFreeOnTerminate) {
        delete thread;
    }
}

void TThread::Synchronize(const TThreadMethod& method)
{
    if (InMainThread()) {
        method();
        return;
    }
    SyncRequest request;
    request.FMethod = method;
    SyncQueue& queue = Queue();
    queue.FLock.Enter();
    queue.FCalls.push_back(&request);
    queue.FLock.Leave();
    queue.FPending.Set();
    plat::WakeThread(kMainThreadId);
    request.FDone.Wait(plat::kInfiniteWait);
    if (request.FError) {
        std::rethrow_exception(request.FError);
    }
}

bool CheckSynchronize(uint32_t timeoutMs)
{
    if (!InMainThread()) {
        return false;
    }
    SyncQueue& queue = Queue();
    std::deque<SyncRequest*> calls;
    queue.FLock.Enter();
    calls.swap(queue.FCalls);
    queue.FLock.Leave();
    if (calls.empty() && timeoutMs > 0 && queue.FPending.Wait(timeoutMs) == plat::WaitResult::Signaled) {
        queue.FLock.Enter();
        calls.swap(queue.FCalls);
        queue.FLock.Leave();
    }
    for (SyncRequest* request : calls) {
        try {
            request->FMethod();
        } catch (...) {
            request->FError = std::current_exception();
        }
        request->FDone.Set();
    }
    return !calls.empty();
}

namespace {

constexpr uint32_t kPollMs = 10;
constexpr int kEmptyPollsAfterSignal = 10;

// One look at the queues: a window message or the synchronised calls.
plat::PumpResult PumpOnce()
{
    const plat::PumpResult result = plat::PumpOneMessage();
    if (result != plat::PumpResult::Empty) {
        return result;
    }
    return CheckSynchronize() ? plat::PumpResult::Dispatched : plat::PumpResult::Empty;
}

}  // namespace

bool WaitForWithMessages(TSyncEvent& event, uint32_t seconds)
{
    const uint64_t start = plat::MonotonicMs();
    const uint64_t limitMs = static_cast<uint64_t>(seconds) * 1000u;
    for (;;) {
        if (event.WaitFor(kPollMs) == TWaitResult::wrSignaled) {
            int emptyPolls = 0;
            while (emptyPolls < kEmptyPollsAfterSignal) {
                const plat::PumpResult result = PumpOnce();
                if (result == plat::PumpResult::Quit) {
                    break;
                }
                if (result == plat::PumpResult::Empty) {
                    ++emptyPolls;
                    plat::SleepMs(kPollMs);
                }
            }
            return true;
        }
        plat::PumpResult result;
        while ((result = PumpOnce()) == plat::PumpResult::Dispatched) {
        }
        if (result == plat::PumpResult::Quit) {
            return false;
        }
        if (plat::MonotonicMs() - start >= limitMs) {
            return false;
        }
    }
}
