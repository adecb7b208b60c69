#include "lectern/app/ValidateWinpos.h"

#include <algorithm>

namespace {

constexpr int kMaximizedOverhang = 4;

bool Inside(const TWindowBounds& r, int x, int y)
{
    return x >= r.Left && x < r.Left + r.Width && y >= r.Top && y < r.Top + r.Height;
}

}  // namespace

TWindowFitResult FitWindowToMonitor(const TWindowFit& window, const TWindowBounds& monitor, bool centre)
{
    TWindowBounds r = monitor;
    if (window.Maximized) {
        r = {r.Left - kMaximizedOverhang, r.Top - kMaximizedOverhang, r.Width + 2 * kMaximizedOverhang,
             r.Height + 2 * kMaximizedOverhang};
    }
    const TWindowBounds& b = window.Bounds;
    if (Inside(r, b.Left, b.Top) && Inside(r, b.Left + b.Width / 2, b.Top + b.Height / 2)) {
        return {false, b};
    }
    TWindowBounds n{r.Left, r.Top, b.Width, b.Height};
    if (window.Sizeable) {
        n.Height = std::min(n.Height, r.Top + r.Height - n.Top);
        n.Width = std::min(n.Width, r.Left + r.Width - n.Left);
        n.Width = std::max(n.Width, window.MinWidth);
        n.Height = std::max(n.Height, window.MinHeight);
        if (window.MaxWidth != 0) n.Width = std::min(n.Width, window.MaxWidth);
        if (window.MaxHeight != 0) n.Height = std::min(n.Height, window.MaxHeight);
    }
    if (centre) {
        if (n.Width < r.Width) n.Left = r.Left + (r.Width - n.Width) / 2;
        if (n.Height < r.Height) n.Top = r.Top + (r.Height - n.Height) / 2;
    }
    return {true, n};
}

#ifdef _WIN32
void CheckWindowPosition(HWND window, bool centre, int minWidth, int minHeight, int maxWidth, int maxHeight)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
        return;
    }
    RECT wr{};
    GetWindowRect(window, &wr);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    TWindowFit fit;
    fit.Bounds = {wr.left, wr.top, wr.right - wr.left, wr.bottom - wr.top};
    fit.Maximized = IsZoomed(window) != FALSE;
    fit.Sizeable = (style & WS_THICKFRAME) != 0;
    fit.MinWidth = minWidth;
    fit.MinHeight = minHeight;
    fit.MaxWidth = maxWidth;
    fit.MaxHeight = maxHeight;
    const TWindowBounds monitor{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right - info.rcMonitor.left,
                                info.rcMonitor.bottom - info.rcMonitor.top};
    const TWindowFitResult result = FitWindowToMonitor(fit, monitor, centre);
    if (!result.Moved) {
        return;
    }
    if (fit.Maximized || IsIconic(window)) {
        ShowWindow(window, SW_RESTORE);
    }
    SetWindowPos(window, nullptr, result.Bounds.Left, result.Bounds.Top, result.Bounds.Width, result.Bounds.Height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}
#endif
