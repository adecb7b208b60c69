#include "lectern/toolbar/PNCAHintWindow.h"

#include "classlib/Forms.h"
#include "lectern/toolbar/PNCAUtils.h"

TPNCAHintWindow::TPNCAHintWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.style = CS_SAVEBITS;
        wc.lpfnWndProc = &TPNCAHintWindow::WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
        wc.lpszClassName = L"PNCAHintWindow";
        RegisterClassW(&wc);
        registered = true;
    }
    HWND owner = Application != nullptr ? Application->Handle() : nullptr;
    FWindow = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"PNCAHintWindow", L"", WS_POPUP | WS_BORDER, 0,
                              0, 0, 0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    NONCLIENTMETRICSW m{};
    m.cbSize = kPNCANonClientMetricsSize;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, kPNCANonClientMetricsSize, &m, 0))
        FFont = CreateFontIndirectW(&m.lfStatusFont);
    if (FWindow != nullptr)
        SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TPNCAHintWindow::~TPNCAHintWindow()
{
    if (FWindow != nullptr)
        DestroyWindow(FWindow);
    if (FFont != nullptr)
        DeleteObject(FFont);
}

TRect TPNCAHintWindow::CalcHintRect(int maxWidth, const std::string& text)
{
    HDC dc = GetDC(FWindow);
    HGDIOBJ old = SelectObject(dc, FFont ? FFont : GetStockObject(DEFAULT_GUI_FONT));
    RECT r{0, 0, maxWidth, 0};
    std::wstring wide = ToWide(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(FWindow, dc);
    return Rect(0, 0, r.right + 6, r.bottom + 2);
}

void TPNCAHintWindow::ActivateHint(const TRect& rect, const std::string& text)
{
    FText = ToWide(text);
    SetWindowPos(FWindow, HWND_TOPMOST, rect.Left, rect.Top, rect.Width(), rect.Height(),
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
    InvalidateRect(FWindow, nullptr, TRUE);
}

LRESULT CALLBACK TPNCAHintWindow::WindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        if (msg == WM_PAINT) {
            auto* self = reinterpret_cast<TPNCAHintWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            if (self != nullptr) {
                HGDIOBJ old = SelectObject(dc, self->FFont ? self->FFont : GetStockObject(DEFAULT_GUI_FONT));
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
                RECT r;
                GetClientRect(window, &r);
                r.left += 2;
                r.top += 1;
                DrawTextW(dc, self->FText.c_str(), static_cast<int>(self->FText.size()), &r,
                          DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
                SelectObject(dc, old);
            }
            EndPaint(window, &ps);
            return 0;
        }
        if (msg == WM_NCHITTEST)
            return HTTRANSPARENT;
    } catch (...) {
        return 0;   // nothing unwinds into the system
    }
    return DefWindowProcW(window, msg, wParam, lParam);
}
