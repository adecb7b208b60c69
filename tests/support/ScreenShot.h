// The screen's pixels in a rectangle, for the tests that run on a display (Windows builds).
#pragma once

#ifdef _WIN32

#include "classlib/Graphics.h"

#include <windows.h>

#include <string>

class TScreenShot {
public:
    // The pixels of area, in screen coordinates.
    explicit TScreenShot(const RECT& area);
    // The whole screen, or the window's rectangle on it.
    TScreenShot();
    explicit TScreenShot(HWND window);

    const RECT& Area() const { return FArea; }
    int Width() const { return FBitmap.Width(); }
    int Height() const { return FBitmap.Height(); }
    // The colour at (x, y) of the shot (0, 0 is the area's top-left corner).
    COLORREF At(int x, int y);
    // Red, green, blue, alpha (opaque) per pixel, top-down.
    std::string Rgba();
    // Writes a 32-bit top-down bitmap file; false when it cannot.
    bool SaveBmp(const std::string& path);

private:
    void Take();

    RECT FArea{};
    TBitmap FBitmap;
};

#endif
