#include "PlatformThreads.h"

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace plat {

#ifdef _WIN32

struct CriticalSection::Impl {
    CRITICAL_SECTION FSection;
};

CriticalSection::CriticalSection() : FImpl(std::make_unique<Impl>())
{
    InitializeCriticalSection(&FImpl->FSection);
}

CriticalSection::~CriticalSection() { DeleteCriticalSection(&FImpl->FSection); }
void CriticalSection::Enter() { EnterCriticalSection(&FImpl->FSection); }
void CriticalSection::Leave() { LeaveCriticalSection(&FImpl->FSection); }
bool CriticalSection::TryEnter() { return TryEnterCriticalSection(&FImpl->FSection) != 0; }

struct Event::Impl {
    HANDLE FHandle = nullptr;
};

Event::Event(bool manualReset, bool initialState) : FImpl(std::make_unique<Impl>())
{
    FImpl->FHandle = CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
}

Event::~Event()
{
    if (FImpl->FHandle) {
        CloseHandle(FImpl->FHandle);
    }
}

void Event::Set() { SetEvent(FImpl->FHandle); }
void Event::Reset() { ResetEvent(FImpl->FHandle); }

WaitResult Event::Wait(uint32_t timeoutMs)
{
    if (!FImpl->FHandle) {
        return WaitResult::Error;
    }
    switch (WaitForSingleObject(FImpl->FHandle, timeoutMs == kInfiniteWait ? INFINITE : timeoutMs)) {
    case WAIT_OBJECT_0: return WaitResult::Signaled;
    case WAIT_TIMEOUT: return WaitResult::Timeout;
    case WAIT_ABANDONED: return WaitResult::Abandoned;
    default: return WaitResult::Error;
    }
}


struct Thread::Impl {
    HANDLE FHandle = nullptr;
};

namespace {

struct StartBlock {
    Thread::Entry FEntry;
    void* FArg;
};

unsigned __stdcall ThreadTrampoline(void* block)
{
    const StartBlock start = *static_cast<StartBlock*>(block);
    delete static_cast<StartBlock*>(block);
    start.FEntry(start.FArg);
    return 0;
}

}  // namespace

Thread::Thread() : FImpl(std::make_unique<Impl>()) {}

Thread::~Thread()
{
    if (FImpl->FHandle) {
        CloseHandle(FImpl->FHandle);
    }
}

bool Thread::Start(Entry entry, void* arg, bool detached)
{
    auto* block = new StartBlock{entry, arg};
    const uintptr_t handle = _beginthreadex(nullptr, 0, ThreadTrampoline, block, 0, nullptr);
    if (handle == 0) {
        delete block;
        return false;
    }
    if (detached) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    } else {
        FImpl->FHandle = reinterpret_cast<HANDLE>(handle);
    }
    return true;
}

void Thread::Join()
{
    if (FImpl->FHandle) {
        WaitForSingleObject(FImpl->FHandle, INFINITE);
        CloseHandle(FImpl->FHandle);
        FImpl->FHandle = nullptr;
    }
}

PumpResult PumpOneMessage()
{
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        return PumpResult::Empty;
    }
    if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return PumpResult::Quit;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return PumpResult::Dispatched;
}

void WakeThread(uint32_t threadId) { PostThreadMessageA(threadId, WM_NULL, 0, 0); }

#else  // host

struct CriticalSection::Impl {
    std::recursive_mutex FMutex;
};

CriticalSection::CriticalSection() : FImpl(std::make_unique<Impl>()) {}
CriticalSection::~CriticalSection() = default;
void CriticalSection::Enter() { FImpl->FMutex.lock(); }
void CriticalSection::Leave() { FImpl->FMutex.unlock(); }
bool CriticalSection::TryEnter() { return FImpl->FMutex.try_lock(); }

struct Event::Impl {
    std::mutex FMutex;
    std::condition_variable FChanged;
    bool FManualReset = false;
    bool FSignaled = false;
};

Event::Event(bool manualReset, bool initialState) : FImpl(std::make_unique<Impl>())
{
    FImpl->FManualReset = manualReset;
    FImpl->FSignaled = initialState;
}

Event::~Event() = default;

void Event::Set()
{
    std::lock_guard<std::mutex> lock(FImpl->FMutex);
    FImpl->FSignaled = true;
    if (FImpl->FManualReset) {
        FImpl->FChanged.notify_all();
    } else {
        FImpl->FChanged.notify_one();
    }
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(FImpl->FMutex);
    FImpl->FSignaled = false;
}

WaitResult Event::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(FImpl->FMutex);
    const auto signaled = [this] { return FImpl->FSignaled; };
    if (timeoutMs == kInfiniteWait) {
        FImpl->FChanged.wait(lock, signaled);
    } else if (!FImpl->FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), signaled)) {
        return WaitResult::Timeout;
    }
    if (!FImpl->FManualReset) {
        FImpl->FSignaled = false;  // an auto-reset event lets exactly this waiter through
    }
    return WaitResult::Signaled;
}

struct Thread::Impl {
    std::thread FThread;
};

Thread::Thread() : FImpl(std::make_unique<Impl>()) {}

Thread::~Thread()
{
    if (FImpl->FThread.joinable()) {
        FImpl->FThread.detach();  // never std::terminate from a destructor
    }
}

bool Thread::Start(Entry entry, void* arg, bool detached)
{
    try {
        std::thread thread(entry, arg);
        if (detached) {
            thread.detach();
        } else {
            FImpl->FThread = std::move(thread);
        }
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void Thread::Join()
{
    if (FImpl->FThread.joinable()) {
        FImpl->FThread.join();
    }
}

PumpResult PumpOneMessage() { return PumpResult::Empty; }
void WakeThread(uint32_t) {}

#endif


}  // namespace plat
