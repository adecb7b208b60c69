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

// The Windows half, the hook object TPGBMouseHook: PgbMouseHookWin.h (the Windows tree only).
