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
