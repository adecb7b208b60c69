// PNCAUtils: the drawing helpers of the caption-bar toolbar (Windows builds only).
//
// Pictures and image-list images are drawn with per-pixel alpha through a 32-bit work bitmap:
// its background is black, and in it a pixel whose whole 32-bit value is 0 is the transparent
// key. Text is drawn with the visual-style text engine, optionally with a glow for glass.
// Button faces come in three looks: classic (frame controls, edges and plain fills), themed
// (visual-style elements) and alpha-blended (a face painted into a work bitmap and blended with
// a vertical alpha ramp). The colour arithmetic and the enumerations are in PNCACommon.
//
// Every alpha blit uses per-pixel alpha (AC_SRC_OVER, AC_SRC_ALPHA); the constant alpha is 255
// except in PaintAlphaFace, where it is the face's TabAlphaBlend.
#pragma once

#include "classlib/Graphics.h"
#include "classlib/ImgList.h"
#include "classlib/Themes.h"
#include "lectern/toolbar/PNCACommon.h"

#include <windows.h>

#include <string>

// The size of the non-client metrics record the system expects (its caption and status fonts
// are what the toolbar needs); larger records are refused by some versions.
constexpr UINT kPNCANonClientMetricsSize = 340;

// The process-wide visual-style services.
TThemeServices* PNCAThemeServices();

// A gradient from one colour to another over rect: top to bottom, or left to right.
void GradientFillRect(HDC dc, const TRect& rect, TColor from, TColor to, bool vertical);

// Image index of the list at (x, y) with per-pixel alpha; nothing for an index out of range.
// A pure black pixel comes out transparent, every other pixel opaque.
void DrawImageListAlpha(TCustomImageList* imageList, TCanvas* canvas, int x, int y, int index, bool enabled);

// A picture's graphic at (x, y) with its alpha: a PNG picture with an alpha plane through that
// plane; any other picture (and a PNG without alpha) with black as the transparent key.
void DrawGraphicAlpha(TGraphic* graphic, TCanvas* canvas, int x, int y);

// Text with the visual-style text engine in the caption font's theme (window caption, active),
// with a glow of glowSize when above 0. Answers the engine's result, or 0 when nothing was
// drawn: for an empty rectangle unless format asks to measure (DT_CALCRECT), or when the
// engine is missing. rect is measured in place with DT_CALCRECT.
int DrawThemedText(HDC dc, const std::wstring& text, RECT& rect, unsigned format, TColor color, int glowSize);

// Text on glass: drawn into a work bitmap grown by glowSize on every side (first in white with
// twice the glow when whiteHalo and glowSize > 0, then in color), blended onto the canvas at
// rect's corner less glowSize. The canvas's font is used.
void DrawGlowText(TCanvas* canvas, const std::string& text, const TRect& rect, unsigned format, TColor color,
                  int glowSize, bool whiteHalo);

// Button faces. Alignment: 0 the check box or picture side is left, 1 right, 2 centre.
void PaintClassicFace(TCanvas* canvas, const TRect& rect, TPNCAButtonStyle style, bool down, bool checked,
                      bool hot, bool enabled, uint8_t alignment, TColor tabColor, TColor tabColorTo,
                      TColor tabFrameColor, int tabAlphaBlend, bool tabRounded);
void PaintButtonFace(TCanvas* canvas, const TRect& rect, TPNCAButtonStyle style, bool down, bool checked,
                     bool hot, bool enabled, uint8_t alignment, TColor tabColor, TColor tabColorTo,
                     TColor tabFrameColor, int tabAlphaBlend, bool tabRounded);
void PaintAlphaFace(TCanvas* canvas, const TRect& rect, TPNCAButtonStyle style, bool down, bool checked,
                    bool hot, bool enabled, uint8_t alignment, TColor tabColor, TColor tabColorTo,
                    TColor tabFrameColor, int tabAlphaBlend, bool tabRounded);
