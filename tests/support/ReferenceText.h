// Pixel checks of text drawn through the class layer's canvases (Windows test builds): what
// GDI's wide TextOut draws, and whether two bitmaps hold the same pixels.
#pragma once

#include "classlib/Graphics.h"

#include <windows.h>

#include <cstring>
#include <string>

// What GDI's wide TextOut draws for text with the canvas's font and colours, independently of
// the class layer's own text drawing.
inline void DrawReferenceText(TCanvas* canvas, int x, int y, const std::u16string& text)
{
    HDC dc = canvas->Handle();
    HGDIOBJ old = SelectObject(dc, canvas->Font().Handle());
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ColorToRGB(canvas->Brush().Color));
    SetTextColor(dc, ColorToRGB(canvas->Font().Color()));
    TextOutW(dc, x, y, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()));
    SelectObject(dc, old);
}

// Two 32-bit bitmaps of the same size hold the same pixels.
inline bool SamePixels(TBitmap& a, TBitmap& b)
{
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.Width()) * 4) != 0)
            return false;
    return true;
}
