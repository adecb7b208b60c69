#include "lcHWndPool.h"

#include "classlib/Threads.h"
#include "lectern/lc/lcLog.h"

#include <vector>

namespace {

constexpr int kWindowExtraBytes = 4;

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&WndProc_MAIN), &module);
    return module;
}

HWND CreateHiddenWindow(const std::string& className, HINSTANCE instance)
{
    HWND wnd = CreateWindowExA(WS_EX_TOOLWINDOW, className.c_str(), "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               instance, nullptr);
    if (wnd != nullptr) {
        SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
    }
    return wnd;
}

bool IsSignalled(TLcEvent& event) { return event.WaitFor(0) == TWaitResult::wrSignaled; }

}  // namespace

// What the message thread uses: made when it starts, held by the pool and by the thread.
// The window list is written by the thread before it signals ready, and read by the pool
// only after ready; the thread destroys its windows itself before it signals ended.
struct TLcHWNDPoolUnit::TThreadShared {
    std::string FClassName;
    HINSTANCE FInstance = nullptr;
    int FWindowCount = 0;
    TLcEvent FReady{true, false};
    TLcEvent FEnded{true, false};
    std::vector<HWND> FWindows;
    std::uint32_t FThreadId = 0;
};

namespace {

class tHWndThread : public TThread {
public:
    explicit tHWndThread(std::shared_ptr<TLcHWNDPoolUnit::TThreadShared> shared) : FShared(std::move(shared)) {}

    // Signals the end; the shared state goes with the last of its holders.
    ~tHWndThread() override { FShared->FEnded.SetEvent(); }

    CL_CLASS_NAME(tHWndThread)

protected:
    void Execute() override
    {
        TLcHWNDPoolUnit::TThreadShared& shared = *FShared;
        shared.FThreadId = GetCurrentThreadId();
        try {
            for (int i = 0; i < shared.FWindowCount; ++i) {
                HWND wnd = CreateHiddenWindow(shared.FClassName, shared.FInstance);
                if (wnd == nullptr) {
                    break;
                }
                shared.FWindows.push_back(wnd);
            }
        } catch (...) {
            LogCurrentException("THWndThread.Execute", "ERROR");
        }
        // Signalled whether or not the windows exist: the pool waits for it without limit.
        shared.FReady.SetEvent();
        if (shared.FWindows.empty()) {
            return;
        }
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        for (HWND wnd : shared.FWindows) {
            DestroyWindow(wnd);
        }
    }

private:
    std::shared_ptr<TLcHWNDPoolUnit::TThreadShared> FShared;
};

}  // namespace

LRESULT CALLBACK WndProc_MAIN(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept
{
    std::intptr_t result = 0;
    if (DispatchWndMessage(reinterpret_cast<std::uintptr_t>(wnd), msg, wParam, lParam, result)) {
        return result;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

TLcHWNDPoolUnit::TLcHWNDPoolUnit(const TLcHWNDPoolSettings& settings)
    : FSettings(settings), FInstance(ThisModule())
{
    WNDCLASSA known{};
    if (GetClassInfoA(FInstance, FSettings.ClassName.c_str(), &known)) {
        FClassReady = true;
    } else {
        WNDCLASSA wc{};
        wc.style = 0;
        wc.lpfnWndProc = WndProc_MAIN;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = kWindowExtraBytes;
        wc.hInstance = FInstance;
        wc.lpszClassName = FSettings.ClassName.c_str();
        FClassReady = RegisterClassA(&wc) != 0;
    }
    for (HWND& wnd : FMainWindows) {
        wnd = CreateHiddenWindow(FSettings.ClassName, FInstance);
    }
}

TLcHWNDPoolUnit::~TLcHWNDPoolUnit()
{
    try {
        bool threadEnded = true;
        if (FThread != nullptr) {
            TThreadShared& shared = *FThread;
            if (IsSignalled(shared.FReady) && !IsSignalled(shared.FEnded) && !shared.FWindows.empty()) {
                PostThreadMessageA(shared.FThreadId, WM_QUIT, 0, 0);
                WaitForHWndThreadEnd(FSettings.EndWaitSeconds);
            }
            // A thread that did not end keeps its windows and the shared state; it frees both.
            threadEnded = IsSignalled(shared.FEnded);
            FThread.reset();
        }
        for (HWND& wnd : FMainWindows) {
            if (wnd != nullptr) {
                DestroyWindow(wnd);
                wnd = nullptr;
            }
        }
        if (threadEnded) {
            if (FClassReady) {
                UnregisterClassA(FSettings.ClassName.c_str(), FInstance);
            }
            ClearWndMessageHandlers();
        }
    } catch (...) {
        LogCurrentException("TLcHWNDPoolUnit.Destroy", "ERROR");
    }
}

HWND TLcHWNDPoolUnit::GetHWnd(bool threaded)
{
    TLockGuard lock(FLock);
    if (!threaded) {
        HWND wnd = FMainWindows[FMainIndex];
        FMainIndex = (FMainIndex + 1) % kMainHWndCount;
        return wnd;
    }
    if (FThread == nullptr) {
        auto shared = std::make_shared<TThreadShared>();
        shared->FClassName = FSettings.ClassName;
        shared->FInstance = FInstance;
        shared->FWindowCount = FSettings.ThreadWindows;
        auto thread = std::make_unique<tHWndThread>(shared);
        thread->SetFreeOnTerminate(true);
        thread->Start();     // raises when the system refuses a thread; a later call tries again
        thread.release();    // frees itself when it ends
        FThread = shared;
        FThread->FReady.WaitFor(plat::kInfiniteWait);
    }
    if (FThread->FWindows.empty() || IsSignalled(FThread->FEnded)) {
        throw Exception("Windows Message Thread terminated.");
    }
    HWND wnd = FThread->FWindows[FThreadIndex];
    FThreadIndex = (FThreadIndex + 1) % FThread->FWindows.size();
    return wnd;
}

bool TLcHWNDPoolUnit::WaitForHWndThreadEnd(std::uint32_t seconds)
{
    if (FThread == nullptr) {
        return true;
    }
    return WaitForWithMessages(FThread->FEnded, seconds);
}

std::uint32_t TLcHWNDPoolUnit::MessageThreadId() const
{
    return FThread != nullptr && IsSignalled(FThread->FReady) ? FThread->FThreadId : 0;
}

// ---- the unit's pool ----------------------------------------------------------------------------

namespace {
std::unique_ptr<TLcHWNDPoolUnit> gPool;
}

HWND GetHWndFromPool(bool threaded)
{
    if (gPool == nullptr) {
        if (threaded) {
            throw Exception("Windows Message Thread terminated.");
        }
        return nullptr;
    }
    return gPool->GetHWnd(threaded);
}

void InitializeLcHWndPool()
{
    if (gPool == nullptr) {
        gPool = std::make_unique<TLcHWNDPoolUnit>();
    }
}

void FinalizeLcHWndPool() { gPool.reset(); }
