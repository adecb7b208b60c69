// PNCAHintWindow: the toolbar's hint, a small pop-up window that shows one line of hint text in
// the hint colours (Windows builds only).
//
// The window is a topmost tool window owned by the application window; it never takes the
// activation and lets the mouse through (HTTRANSPARENT). Its text is drawn in the system's
// status font. The toolbar makes one when a hint is due and frees it when the hint goes.
#pragma once

#include "classlib/Types.h"

#include <windows.h>

#include <string>

class TPNCAHintWindow {
public:
    TPNCAHintWindow();
    ~TPNCAHintWindow();
    TPNCAHintWindow(const TPNCAHintWindow&) = delete;
    TPNCAHintWindow& operator=(const TPNCAHintWindow&) = delete;

    bool Showing() const { return FWindow != nullptr && IsWindowVisible(FWindow); }

    // The rectangle the text needs, at most maxWidth wide, with the window's margins.
    TRect CalcHintRect(int maxWidth, const std::string& text);
    void ActivateHint(const TRect& rect, const std::string& text);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

    HWND FWindow = nullptr;
    HFONT FFont = nullptr;
    std::wstring FText;
};
