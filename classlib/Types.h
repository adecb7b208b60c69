// Plain geometry values shared by the drawing code: points and rectangles in integer pixels,
// and the text alignment of captions.
//
// A rectangle includes its left and top edges and excludes its right and bottom edges, as the
// platform's rectangles do; it is empty when it has no area (Right <= Left or Bottom <= Top).
#pragma once

#include <algorithm>

struct TPoint {
    int X = 0;
    int Y = 0;

    bool operator==(const TPoint&) const = default;
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    TPoint TopLeft() const { return {Left, Top}; }

    // Point inside: left and top inclusive, right and bottom exclusive.
    bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }

    void Offset(int dx, int dy)
    {
        Left += dx;
        Right += dx;
        Top += dy;
        Bottom += dy;
    }
    // Grows the rectangle by dx on the left and right and dy at the top and bottom (negative
    // values shrink it).
    void Inflate(int dx, int dy)
    {
        Left -= dx;
        Right += dx;
        Top -= dy;
        Bottom += dy;
    }

    bool operator==(const TRect&) const = default;
};

inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
inline TPoint Point(int x, int y) { return {x, y}; }

// True when the two rectangles share at least one pixel.
inline bool RectsIntersect(const TRect& a, const TRect& b)
{
    return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) &&
           std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
}

// Horizontal alignment of a text; the numbering is the one stored layouts use.
enum TAlignment : unsigned char { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };
