#include "ExtCtrls.h"

#include "Forms.h"

namespace {
constexpr wchar_t kTimerWindowClass[] = L"ClasslibTimerWindow";
constexpr UINT_PTR kTimerId = 1;
}  // namespace

LRESULT CALLBACK TimerWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_TIMER) {
        auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (timer != nullptr && timer->OnTimer.Assigned()) {
            try {
                timer->OnTimer(timer);
            } catch (const std::exception& e) {
                if (Application != nullptr)
                    Application->HandleException(timer, e);
            } catch (...) {
            }
        }
        return 0;
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}

TTimer::TTimer(TComponent* owner) : TComponent(owner)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = TimerWindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kTimerWindowClass;
        RegisterClassW(&wc);
        registered = true;
    }
    FWindow = CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (FWindow == nullptr)
        throw EOutOfMemory("Not enough timers available");
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    UpdateTimer();
}

TTimer::~TTimer()
{
    KillTimer(FWindow, kTimerId);
    SetWindowLongPtrW(FWindow, GWLP_USERDATA, 0);
    DestroyWindow(FWindow);
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled != FEnabled) {
        FEnabled = enabled;
        UpdateTimer();
    }
}

void TTimer::SetInterval(unsigned interval)
{
    if (interval != FInterval) {
        FInterval = interval;
        UpdateTimer();
    }
}

void TTimer::UpdateTimer()
{
    KillTimer(FWindow, kTimerId);
    if (FEnabled && FInterval > 0)
        SetTimer(FWindow, kTimerId, FInterval, nullptr);
}
