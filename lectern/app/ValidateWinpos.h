// Keeps a window on its monitor: a remembered placement or a default size can leave the main
// window off screen (a monitor that was removed, a smaller screen).
//
// The window stays where it is when its top-left corner and its centre both lie on its monitor
// (the whole monitor, not its work area; left and top edges inside, right and bottom edges
// outside; a maximized window may overhang by 4 pixels on every side). Otherwise it is made
// normal and moved to the monitor's top-left corner; a sizeable window is shrunk to the monitor
// within its size constraints, and with centre it is centred where it is smaller.
#pragma once

#include "lectern/app/uBookSettings.h"

struct TWindowFit {
    TWindowBounds Bounds;   // the window's bounds (left, top, width, height)
    bool Maximized = false;
    bool Sizeable = false;  // a sizeable border or a sizeable tool window
    int MinWidth = 0;       // size constraints; 0 for no maximum
    int MinHeight = 0;
    int MaxWidth = 0;
    int MaxHeight = 0;
};

struct TWindowFitResult {
    bool Moved = false;      // false: leave the window as it is
    TWindowBounds Bounds;    // the new bounds when moved
};

// monitor: the monitor the platform assigns to the window.
TWindowFitResult FitWindowToMonitor(const TWindowFit& window, const TWindowBounds& monitor, bool centre);

class TForm;
// Keeps a form on the monitor the platform assigns to its bounds (also before its window
// exists); a moved maximized window is restored first. sizeable: the form has a sizeable
// border. Constraints: 0 for none. Windows tree only (ValidateWinposWin.cpp).
void CheckWindowPosition(TForm& form, bool centre, bool sizeable, int minWidth = 0, int minHeight = 0,
                         int maxWidth = 0, int maxHeight = 0);
