#include "lectern/toolbar/PNCACommon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kHlsMax = 240;   // the scale of hue, luminance and saturation
constexpr int kRgbMax = 255;
constexpr int kHueUndefined = kHlsMax * 2 / 3;   // hue of a grey

int Red(TColor c) { return c & 0xFF; }
int Green(TColor c) { return (c >> 8) & 0xFF; }
int Blue(TColor c) { return (c >> 16) & 0xFF; }
TColor RGB(int r, int g, int b) { return static_cast<TColor>(r | (g << 8) | (b << 16)); }

int Clamp(long long v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : static_cast<int>(v); }

// numerator / 100 rounded to the nearest integer, halves to even, in integers only.
long long DivideBy100RoundEven(long long numerator)
{
    long long q = numerator / 100;
    long long r = numerator % 100;
    if (r < 0) {   // floor division
        r += 100;
        --q;
    }
    if (r > 50 || (r == 50 && (q & 1) != 0))
        ++q;
    return q;
}

int ShiftChannel(int c, int percent, int sign)
{
    // c -+ percent * 2.55, without the binary fraction that a literal 2.55 would bring in.
    long long n = static_cast<long long>(c) * 100 + sign * static_cast<long long>(percent) * 255;
    return Clamp(DivideBy100RoundEven(n), 0, 255);
}

TColor ShiftColor(TColor color, int percent, int sign)
{
    TColor rgb = ColorToRGB(color);
    return RGB(ShiftChannel(Red(rgb), percent, sign), ShiftChannel(Green(rgb), percent, sign),
               ShiftChannel(Blue(rgb), percent, sign));
}

// channel + delta * 2.4, rounded with halves to even and clamped to the HLS scale. The sum is
// formed as (channel * 10 + delta * 24) / 10: both products are exact in long double, so only
// the division rounds, and a decimal half stays a half.
int MoveHlsChannel(int channel, float delta)
{
    long double v = (static_cast<long double>(channel) * 10 + static_cast<long double>(delta) * 24) / 10;
    return Clamp(static_cast<long long>(std::nearbyint(v)), 0, kHlsMax);
}

int HueToRgb(int n1, int n2, int hue)
{
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    if (hue < kHlsMax / 6)
        return n1 + (((n2 - n1) * hue + kHlsMax / 12) / (kHlsMax / 6));
    if (hue < kHlsMax / 2)
        return n2;
    if (hue < kHlsMax * 2 / 3)
        return n1 + (((n2 - n1) * (kHlsMax * 2 / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6));
    return n1;
}

bool IsTabStyle(TPNCAButtonStyle s) { return s == pbsTab || s == pbsTabGroup; }

}  // namespace

// ---- colours -------------------------------------------------------------------------------

TColor ContrastColor(TColor color)
{
    TColor rgb = ColorToRGB(color);
    auto flip = [](int c) { return c <= 128 ? 255 : 0; };
    return RGB(flip(Red(rgb)), flip(Green(rgb)), flip(Blue(rgb)));
}

TColor DarkenColor(TColor color, int percent) { return ShiftColor(color, percent, -1); }

TColor LightenColor(TColor color, int percent) { return ShiftColor(color, percent, +1); }

THLS ColorRGBToHLS(TColor rgb)
{
    int r = Red(rgb), g = Green(rgb), b = Blue(rgb);
    int cMax = std::max({r, g, b});
    int cMin = std::min({r, g, b});
    THLS out;
    out.Lum = ((cMax + cMin) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (cMax == cMin) {
        out.Sat = 0;
        out.Hue = kHueUndefined;
        return out;
    }
    int sum = cMax + cMin;
    int span = cMax - cMin;
    if (out.Lum <= kHlsMax / 2)
        out.Sat = (span * kHlsMax + sum / 2) / sum;
    else
        out.Sat = (span * kHlsMax + (2 * kRgbMax - sum) / 2) / (2 * kRgbMax - sum);
    int rDelta = ((cMax - r) * (kHlsMax / 6) + span / 2) / span;
    int gDelta = ((cMax - g) * (kHlsMax / 6) + span / 2) / span;
    int bDelta = ((cMax - b) * (kHlsMax / 6) + span / 2) / span;
    int hue;
    if (r == cMax)
        hue = bDelta - gDelta;
    else if (g == cMax)
        hue = kHlsMax / 3 + rDelta - bDelta;
    else
        hue = kHlsMax * 2 / 3 + gDelta - rDelta;
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    out.Hue = hue;
    return out;
}

TColor ColorHLSToRGB(THLS hls)
{
    int lum = hls.Lum, sat = hls.Sat, hue = hls.Hue;
    if (sat == 0) {
        int v = lum * kRgbMax / kHlsMax;
        return RGB(v, v, v);
    }
    int magic2 = lum <= kHlsMax / 2 ? (lum * (kHlsMax + sat) + kHlsMax / 2) / kHlsMax
                                    : lum + sat - (lum * sat + kHlsMax / 2) / kHlsMax;
    int magic1 = 2 * lum - magic2;
    auto channel = [&](int h) {
        return Clamp((HueToRgb(magic1, magic2, h) * kRgbMax + kHlsMax / 2) / kHlsMax, 0, 255);
    };
    return RGB(channel(hue + kHlsMax / 3), channel(hue), channel(hue - kHlsMax / 3));
}

TColor AdjustColorHLS(TColor color, float deltaHue, float deltaLum, float deltaSat)
{
    THLS hls = ColorRGBToHLS(ColorToRGB(color));
    if (deltaHue != 0)
        hls.Hue = MoveHlsChannel(hls.Hue, deltaHue);
    if (deltaLum != 0)
        hls.Lum = MoveHlsChannel(hls.Lum, deltaLum);
    if (deltaSat != 0)
        hls.Sat = MoveHlsChannel(hls.Sat, deltaSat);
    return ColorHLSToRGB(hls);
}

TColor DesaturateColor(TColor color) { return AdjustColorHLS(color, 0, 0, -100); }

void AdjustTabColors(const TPNCAFaceState& s, TColor& tabColor, TColor& tabColorTo, TColor& tabFrameColor)
{
    TColor (*change)(TColor) = nullptr;
    if (!s.Enabled)
        change = [](TColor c) { return DesaturateColor(c); };
    else if (s.Hot && s.Checked && !s.Down)
        return;
    else if (s.Checked || s.Down)
        change = [](TColor c) { return DarkenColor(c, 7); };
    else if (s.Hot)
        change = [](TColor c) { return LightenColor(c, 7); };
    else
        return;
    for (TColor* c : {&tabColor, &tabColorTo, &tabFrameColor})
        if (*c != clNone)
            *c = change(*c);
}

// ---- button size ---------------------------------------------------------------------------

int PNCAButtonWidth(const TPNCAButtonSizeInput& in)
{
    if (in.ButtonWidth >= 0)
        return in.ButtonWidth;
    int width;
    if (in.HasGraphic || in.Style == pbsNone || in.Style == pbsSeparator)
        width = (in.HasGraphic ? in.GraphicWidth : in.DefaultImageWidth) + 2 * in.Padding;
    else
        width = 2 * in.Padding + kPNCAFaceGlyphSize;
    if (in.ShowCaption && in.CaptionWidth > 0) {
        if (in.CaptionAlignment == taCenter)
            width = std::max(width, in.CaptionWidth + 2 * in.Padding);
        else
            width = width + in.CaptionWidth + in.Spacing + 1;
    }
    if (in.Style == pbsDropDownToolButton)
        width += kPNCADropDownArrowWidth;
    return width;
}

int PNCAButtonHeight(const TPNCAButtonSizeInput& in)
{
    if (in.ButtonHeight >= 0)
        return in.ButtonHeight;
    if (in.HasGraphic)
        return in.GraphicHeight + 2 * in.Padding;
    if (in.ShowCaption || in.Style >= pbsButton)
        return 2 * in.Padding + kPNCAFaceGlyphSize;
    return in.DefaultImageHeight + 2 * in.Padding;
}

int PNCADefaultImageSize(int toolbarSize, bool hasImages, int imagesSize)
{
    if (toolbarSize >= 0)
        return toolbarSize;
    return hasImages ? imagesSize : 0;
}

// ---- bar layout ----------------------------------------------------------------------------

int PNCAAutoOffset(const TPNCABarInput& bar)
{
    if (bar.AutoOffset == paoNone)
        return 0;
    if (!bar.Themed)
        return 1;
    if (bar.Maximized)
        return 1 + (bar.VistaOrLater ? 0 : bar.Frame.BY);
    int a = bar.Frame.FY - 1;
    if (bar.OnGlass)
        a -= 1;
    else if (!bar.VistaOrLater)
        a += bar.Frame.BY;
    if (a % 2 != 0)
        a -= 1;
    return a;
}

TPNCABarLayout PNCALayoutBar(const TPNCABarInput& bar, const std::vector<TPNCABarButton>& buttons)
{
    TPNCABarLayout out;
    out.Buttons.resize(buttons.size());
    const TPNCAFrame& f = bar.Frame;
    int autoOffset = PNCAAutoOffset(bar);
    int barBottom = f.CH + f.FY - 1;
    int running = 0;
    for (size_t i = 0; i < buttons.size(); ++i) {
        const TPNCABarButton& b = buttons[i];
        if (!b.Visible)
            continue;   // both rectangles stay empty
        TRect barRect;
        barRect.Left = f.FX + bar.OffsetX;
        barRect.Right = barRect.Left + b.Width;
        barRect.Bottom = barBottom;
        if (!bar.Themed) {
            barRect.Top = f.FY;
        } else if (bar.Maximized) {
            barRect.Top = f.FY + (bar.OnGlass ? 0 : 1);
        } else {
            barRect.Top = f.BY;
            barRect.Offset(-f.BX, 0);
        }
        TRect btnRect = barRect;
        btnRect.Top += bar.OffsetY;
        bool offsetApplies = bar.AutoOffset == paoAll || (bar.AutoOffset == paoAllExceptFirst && i > 0);
        if (offsetApplies) {
            btnRect.Top += autoOffset;
            if (b.Down && (b.Style == pbsNone || b.Style == pbsSeparator || IsTabStyle(b.Style)))
                btnRect.Offset(1, 1);
        }
        btnRect.Bottom = btnRect.Top + b.Height;
        btnRect.Offset(0, -b.Padding);
        barRect.Offset(running, 0);
        btnRect.Offset(running, 0);
        out.Buttons[i] = {btnRect, barRect};
        running += barRect.Width();
    }
    if (!buttons.empty()) {
        const TPNCABarButtonRects& first = out.Buttons[0];
        out.SmallButtons = first.BarRect.Bottom - first.BtnRect.Top < buttons[0].Height;
    }
    return out;
}

// ---- inside a button -----------------------------------------------------------------------

int PNCAPictureSide(bool hasCaption, TAlignment captionAlignment, bool rightToLeft)
{
    if (!hasCaption || captionAlignment == taCenter)
        return 2;
    if (captionAlignment == taRightJustify)
        return 0;
    return rightToLeft ? 0 : 1;
}

int PNCAPictureLeft(const TRect& content, int side, bool hasCaption, int offsetX, int pictureWidth,
                    TPNCAButtonStyle style)
{
    int arrow = style == pbsDropDownToolButton ? kPNCADropDownArrowWidth : 0;
    if (!hasCaption || side == 0)
        return content.Left + offsetX;
    if (side == 1)
        return content.Right + offsetX - pictureWidth - arrow;
    return content.Left + (content.Width() - pictureWidth - arrow) / 2 + offsetX;
}

TPNCACaptionPlace PNCACaptionPlace(const TPNCACaptionInput& in)
{
    TPNCACaptionPlace out;
    TRect r = IsTabStyle(in.Style) ? in.BarRect : in.BtnRect;
    r.Left += in.Padding;
    r.Right -= in.Padding;
    int picture = in.PictureWidth > 0 ? in.PictureWidth : (in.Style > pbsSeparator ? kPNCAFaceGlyphSize : 0);
    bool plainFace = in.Unthemed && (in.Style == pbsButton || in.Style == pbsToolButton);
    unsigned format = kDtLeft;
    if (in.Side == 2) {
        format = kDtCenter;
    } else if (in.Side == 1) {
        if (plainFace) {
            r.Right += 1 - in.OffsetX - in.Spacing;
            r.Left += 1;
        } else {
            r.Right -= in.OffsetX + in.Spacing;
        }
        r.Right -= picture;
    } else {
        if (plainFace) {
            r.Left += in.OffsetX + in.Spacing - 1;
            r.Right -= 1;
        } else {
            r.Left += in.OffsetX + in.Spacing;
        }
        r.Left += picture;
    }
    format |= kDtEndEllipsis | kDtSingleLine | kDtVCenter;
    if (in.RightToLeft) {
        // The form's bidirectional mode mirrors left and right and reads right to left.
        if ((format & (kDtCenter | kDtRight)) == kDtLeft)
            format |= kDtRight;
        else if ((format & kDtRight) != 0)
            format &= ~kDtRight;
        format |= kDtRtlReading;
    }
    if (in.Style == pbsDropDownToolButton)
        r.Right -= kPNCADropDownArrowWidth;
    if (in.Style == pbsTab)
        r.Top += 1;
    out.Rect = r;
    out.Format = format;
    return out;
}

TRect PNCAFormCaptionRect(const TPNCAFormCaptionInput& in)
{
    if (in.Position != pscpBeforeButtons && in.Position != pscpAfterButtons)
        return {};
    int icon = in.Dialog ? 0 : in.SmallIconWidth;
    int beforeLeft = in.WindowRect.Left + in.FX + icon;
    TRect r;
    if (in.Position == pscpBeforeButtons) {
        r.Left = beforeLeft;
        r.Right = in.Buttons.Left - in.SmallIconWidth;
    } else {
        r.Left = in.HasButtons ? in.Buttons.Right + in.SmallIconWidth : beforeLeft;
        r.Right = in.WindowRect.Right - in.FX - 3 * in.SystemButtonWidth - in.SmallIconWidth;
    }
    if (r.Left >= r.Right || in.Buttons.Bottom <= in.Buttons.Top)
        return {};
    r.Top = in.Buttons.Top;
    r.Bottom = in.Buttons.Bottom;
    return r;
}

// ---- state pictures ------------------------------------------------------------------------

int PNCAChooseGraphic(const TPNCAPictureState& s, const bool hasGraphic[8])
{
    auto byState = [&](int down, int hovered, int normal, int disabled) {
        if (!s.Enabled)
            return disabled;
        if (s.Down)
            return down;
        if (s.Hot)
            return hovered;
        if (s.Checked)
            return down;
        return normal;
    };
    if (s.Small) {
        int slot = byState(ppPictureSmallDown, ppPictureSmallHovered, ppPictureSmall, ppPictureSmallDisabled);
        if (hasGraphic[slot])
            return slot;
    }
    int slot = byState(ppPictureDown, ppPictureHovered, ppPicture, ppPictureDisabled);
    if (hasGraphic[slot])
        return slot;
    if (s.Small && hasGraphic[ppPictureSmall])
        return ppPictureSmall;
    return hasGraphic[ppPicture] ? ppPicture : -1;
}

int PNCAChooseImages(const TPNCAPictureState& s, const bool assigned[6])
{
    auto byState = [&](int down, int hovered, int normal) {
        if (s.Down)
            return down;
        if (s.Hot)
            return hovered;
        if (s.Checked)
            return down;
        return normal;
    };
    if (s.Small) {
        int slot = byState(pilSmallDownImages, pilSmallHoverImages, pilSmallImages);
        if (assigned[slot])
            return slot;
    }
    int slot = byState(pilDownImages, pilHoverImages, pilImages);
    if (assigned[slot])
        return slot;
    if (s.Small && assigned[pilSmallImages])
        return pilSmallImages;
    return pilImages;
}

// ---- mouse ---------------------------------------------------------------------------------

bool PNCAHitSeeksButton(int hitCode)
{
    return hitCode == kHtCaption || hitCode == kHtSysMenu || hitCode == kHtTop || hitCode == kHtTopLeft;
}

int PNCARemapHitCode(int hitCode, bool hasHotButton, bool onGlass)
{
    if (PNCAHitSeeksButton(hitCode)) {
        if (hasHotButton && (hitCode == kHtTop || hitCode == kHtTopLeft))
            return kHtCaption;
        return hitCode;
    }
    if (onGlass && (hitCode == kHtMinButton || hitCode == kHtMaxButton || hitCode == kHtClose))
        return kHtCaption;
    return hitCode;
}

bool PNCAIsPressingHitCode(int hitCode, bool allowSystemMenu)
{
    return hitCode == kHtCaption || (hitCode == kHtSysMenu && !allowSystemMenu);
}

TPNCAClickTarget PNCAClickTarget(const TPNCAClickInput& in)
{
    if (in.ButtonOnClickAssigned && !in.OnClickIsActionExecute)
        return TPNCAClickTarget::ButtonOnClick;
    if (in.HasActionLink && !in.Designing)
        return TPNCAClickTarget::ActionLink;
    if (in.ButtonOnClickAssigned)
        return TPNCAClickTarget::ButtonOnClick;
    if (in.ToolbarOnClickAssigned)
        return TPNCAClickTarget::ToolbarOnClick;
    return TPNCAClickTarget::Nobody;
}
