#include "PlatformThreads.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#include <condition_variable>
#include <mutex>
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

#endif

}  // namespace plat
