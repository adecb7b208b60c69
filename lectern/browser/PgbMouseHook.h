// The mouse-wheel fix: a thread mouse hook of the main thread that sends the wheel to the
// browser under the cursor.
//
// A wheel turn over a browser that does not have the focus first moves the focus there and
// discards that one wheel message; the next turn scrolls the browser. Only this thread's
// windows are ever touched: a window under the cursor or with the focus that belongs to
// another thread leaves the message to the system.
#pragma once

#include <cstdint>

// What the hook does with one wheel message, from the facts it gathered: the windows are
// compared by the "Shell Embedding" ancestor of each (0 when none).
enum class TWheelAction { PassOn, FocusAndEat };
TWheelAction WheelFocusDecision(bool handled, bool haveTarget, bool haveFocus, uintptr_t targetBrowser,
                                uintptr_t focusBrowser, bool focusIsDocView);

#ifdef _WIN32

#include "classlib/Controls.h"

using TMouseWheelEvent = TEvent<POINT, HWND, LPARAM, bool&>;

class TPGBMouseHook : public TObject {
public:
    // The process's single hook object, counted: the first call makes it, each further one
    // adds to the count; Release subtracts and frees it at zero.
    static TPGBMouseHook* Acquire();
    static void Release(TPGBMouseHook* hook);

    bool Install();
    bool Remove();
    bool Installed() const { return FHook != nullptr; }
    // Examines one wheel message at a screen point (record: the hook record, passed to the
    // event); true when it moved the focus and the message is to be discarded.
    bool WheelMessage(POINT point, LPARAM record);

    TMouseWheelEvent OnMouseWheel;
    bool ActiveFormOnly = false;

    CL_CLASS_NAME(TPGBMouseHook)

private:
    TPGBMouseHook() = default;
    ~TPGBMouseHook() override;
    static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(int code, WPARAM wParam, LPARAM lParam);

    HHOOK FHook = nullptr;
};

#endif  // _WIN32
