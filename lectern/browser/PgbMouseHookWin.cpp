// The hook object TPGBMouseHook (see PgbMouseHook.h and PgbMouseHookWin.h). Built in the Windows
// tree only.
#include "PgbMouseHookWin.h"

#include "SHDocVw_PGBWin.h"

#include "classlib/Forms.h"

namespace {

TPGBMouseHook* gHook = nullptr;
int gHookCount = 0;

bool OnThisThread(HWND window)
{
    return window != nullptr && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

}  // namespace

TPGBMouseHook* TPGBMouseHook::Acquire()
{
    if (gHook == nullptr) {
        gHook = new TPGBMouseHook();
        gHook->ActiveFormOnly = false;
        gHookCount = 0;
    }
    ++gHookCount;
    return gHook;
}

void TPGBMouseHook::Release(TPGBMouseHook* hook)
{
    if (hook == nullptr || hook != gHook) {
        return;
    }
    if (--gHookCount <= 0) {
        delete gHook;
        gHook = nullptr;
        gHookCount = 0;
    }
}

TPGBMouseHook::~TPGBMouseHook() { Remove(); }

bool TPGBMouseHook::Install()
{
    if (FHook != nullptr) {
        return true;
    }
    FHook = SetWindowsHookExW(WH_MOUSE, &TPGBMouseHook::HookProc, nullptr, GetCurrentThreadId());
    return FHook != nullptr;
}

bool TPGBMouseHook::Remove()
{
    if (FHook == nullptr) {
        return true;
    }
    const bool ok = UnhookWindowsHookEx(FHook) != FALSE;
    FHook = nullptr;
    return ok;
}

LRESULT CALLBACK TPGBMouseHook::HookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (gHook == nullptr) {
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    try {
        return gHook->Handle(code, wParam, lParam);
    } catch (...) {
        return CallNextHookEx(gHook != nullptr ? gHook->FHook : nullptr, code, wParam, lParam);
    }
}

LRESULT TPGBMouseHook::Handle(int code, WPARAM wParam, LPARAM lParam)
{
    if (code < 0 || code != HC_ACTION || wParam != WM_MOUSEWHEEL || lParam == 0) {
        return CallNextHookEx(FHook, code, wParam, lParam);
    }
    const auto* record = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (WheelMessage(record->pt, lParam)) {
        return 2;   // discarded
    }
    return CallNextHookEx(FHook, code, wParam, lParam);
}

bool TPGBMouseHook::WheelMessage(POINT point, LPARAM record)
{
    HWND target = WindowFromPoint(point);
    bool handled = false;
    if (OnMouseWheel) {
        OnMouseWheel(point, target, record, handled);
    }
    // A form that is not the active one is left to the system; the option never takes back
    // what the event decided.
    if (ActiveFormOnly && !handled) {
        if (TForm* form = GetParentForm(FindVCLWindow(point)); form != nullptr && Screen != nullptr) {
            handled = form != Screen->ActiveForm();
        }
    }
    HWND focus = GetFocus();
    // Only this thread's windows are ours to move the focus between.
    const bool haveTarget = OnThisThread(target);
    const bool haveFocus = OnThisThread(focus);
    const HWND targetBrowser = haveTarget ? FindParentByClass(target, L"Shell Embedding") : nullptr;
    const HWND focusBrowser = haveFocus && targetBrowser != nullptr ? FindParentByClass(focus, L"Shell Embedding") : nullptr;
    const bool focusIsDocView = haveFocus && GetWindowClassNameW(focus) == L"Shell DocObject View";
    if (WheelFocusDecision(handled, haveTarget, haveFocus, reinterpret_cast<uintptr_t>(targetBrowser),
                           reinterpret_cast<uintptr_t>(focusBrowser), focusIsDocView) == TWheelAction::FocusAndEat) {
        ::SetFocus(target);
        return true;
    }
    return false;
}
