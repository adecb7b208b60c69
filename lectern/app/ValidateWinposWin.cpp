// CheckWindowPosition over the platform's monitors (see ValidateWinpos.h). Built in the Windows
// tree only; the decision, FitWindowToMonitor, is platform-free and tested natively.
#include "lectern/app/ValidateWinpos.h"

#include "classlib/Forms.h"

void CheckWindowPosition(TForm& form, bool centre, bool sizeable, int minWidth, int minHeight, int maxWidth,
                         int maxHeight)
{
    const RECT bounds = form.BoundsRect();
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromRect(&bounds, MONITOR_DEFAULTTONEAREST), &info)) {
        return;
    }
    TWindowFit fit;
    fit.Bounds = {form.Left(), form.Top(), form.Width(), form.Height()};
    fit.Maximized = form.HandleAllocated() && IsZoomed(form.HandleValue());
    fit.Sizeable = sizeable;
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
    if (form.HandleAllocated() && (IsZoomed(form.HandleValue()) || IsIconic(form.HandleValue()))) {
        ShowWindow(form.HandleValue(), SW_RESTORE);
    }
    form.SetBounds(result.Bounds.Left, result.Bounds.Top, result.Bounds.Width, result.Bounds.Height);
}
