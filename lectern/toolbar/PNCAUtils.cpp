#include "lectern/toolbar/PNCAUtils.h"

#include "classlib/Controls.h"
#include "lectern/png/pngpicture.h"

#include <algorithm>

namespace {

// Parts and states of the visual-style classes the faces use.
constexpr int kWpCaption = 1, kCsActive = 1;
constexpr int kBpPushButton = 1, kBpRadioButton = 2, kBpCheckBox = 3;
constexpr int kPbsNormal = 1, kPbsHot = 2, kPbsPressed = 3, kPbsDisabled = 4;
// Check and radio boxes: unchecked 1..4, checked 5..8 (normal, hot, pressed, disabled).
constexpr int kBoxUnchecked = 1, kBoxChecked = 5;
constexpr int kTpButton = 1, kTpSplitButton = 3, kTpSplitButtonDropDown = 4, kTpSeparator = 5;
constexpr int kTsNormal = 1, kTsHot = 2, kTsPressed = 3, kTsDisabled = 4, kTsChecked = 5, kTsHotChecked = 6;

// The DTTOPTS record of the visual-style text engine (64 bytes) and its flags.
struct TDttOpts {
    DWORD dwSize;
    DWORD dwFlags;
    COLORREF crText;
    COLORREF crBorder;
    COLORREF crShadow;
    int iTextShadowType;
    POINT ptShadowOffset;
    int iBorderSize;
    int iFontPropId;
    int iColorPropId;
    int iStateId;
    BOOL fApplyOverlay;
    int iGlowSize;
    void* pfnDrawTextCallback;
    LPARAM lParam;
};
static_assert(sizeof(TDttOpts) == 64, "DTTOPTS is 64 bytes");
constexpr DWORD kDttTextColor = 0x0001;
constexpr DWORD kDttCalcRect = 0x0200;
constexpr DWORD kDttGlowSize = 0x0800;
constexpr DWORD kDttComposited = 0x2000;

// Tab faces leave 1 pixel on each side, and a tab (not a tab group) sits 2 pixels lower.
constexpr int kTabSideInset = 1;
constexpr int kTabDrop = 2;
constexpr int kTabCornerEllipse = 6;
// Width of the split-button arrow part and of the classic drop-down arrow's triangle.
constexpr int kSplitArrowWidth = 14;
constexpr int kClassicArrowFromRight = 12;
constexpr int kCheckBoxSize = 13;

using TDrawThemeTextEx = HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCWSTR, int, DWORD, LPRECT, const TDttOpts*);

// The text engine, looked up once: it is missing before visual styles could compose text.
TDrawThemeTextEx DrawThemeTextExProc()
{
    static TDrawThemeTextEx proc = [] {
        HMODULE module = GetModuleHandleW(L"uxtheme.dll");
        if (module == nullptr)
            module = LoadLibraryW(L"uxtheme.dll");
        return module ? reinterpret_cast<TDrawThemeTextEx>(reinterpret_cast<void*>(GetProcAddress(module, "DrawThemeTextEx"))) : nullptr;
    }();
    return proc;
}

void AlphaBlit(TCanvas* canvas, int x, int y, TBitmap& bitmap, int constantAlpha)
{
    BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(constantAlpha), AC_SRC_ALPHA};
    AlphaBlend(canvas->Handle(), x, y, bitmap.Width(), bitmap.Height(), bitmap.Canvas()->Handle(), 0, 0,
               bitmap.Width(), bitmap.Height(), blend);
}

// Pixel value 0 stays 0 (transparent); every other pixel gets alpha 255.
void KeyBlackRow(uint8_t* row, int width)
{
    for (int x = 0; x < width; ++x, row += 4)
        if (row[0] | row[1] | row[2] | row[3])
            row[3] = 255;
}

RECT ToRECT(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

void FrameIn(TCanvas* canvas, const TRect& r, TColor color)
{
    canvas->Brush().Color = color;
    canvas->Brush().Style = TBrushStyle::bsSolid;
    canvas->FrameRect(r);
}

void RoundOutline(TCanvas* canvas, const TRect& r, TColor color)
{
    canvas->Brush().Style = TBrushStyle::bsClear;
    canvas->Pen().Color = color;
    canvas->RoundRect(r, kTabCornerEllipse, kTabCornerEllipse);
}

// The tab faces of the classic look (tabs and tab groups).
void PaintClassicTab(TCanvas* canvas, TRect r, bool group, const TPNCAFaceState& state, TColor tabColor,
                     TColor tabColorTo, TColor tabFrameColor, bool rounded)
{
    if (tabColor == clBlack)
        tabColor = clNone;
    if (tabColorTo == clBlack)
        tabColorTo = clNone;
    AdjustTabColors(state, tabColor, tabColorTo, tabFrameColor);
    r.Left += kTabSideInset;
    r.Right -= kTabSideInset;
    if (group)
        rounded = false;
    else
        r.Offset(0, kTabDrop);
    bool frame = tabFrameColor != clNone;
    if (tabColor != clNone && tabColorTo != clNone) {
        GradientFillRect(canvas->Handle(), r, tabColor, tabColorTo, true);
        if (frame) {
            if (rounded)
                RoundOutline(canvas, r, tabFrameColor);
            else
                FrameIn(canvas, r, tabFrameColor);
        }
        if (rounded) {
            const TPoint corners[] = {{r.Left, r.Top},      {r.Left + 1, r.Top},  {r.Left, r.Top + 1},
                                      {r.Right - 1, r.Top}, {r.Right - 2, r.Top}, {r.Right - 1, r.Top + 1}};
            for (TPoint p : corners)
                canvas->SetPixel(p.X, p.Y, clBlack);
        }
    } else if (tabColor != clNone) {
        canvas->Brush().Style = TBrushStyle::bsSolid;
        canvas->Brush().Color = tabColor;
        // Without a frame colour the outline takes the fill colour.
        canvas->Pen().Color = frame ? tabFrameColor : tabColor;
        if (rounded)
            canvas->RoundRect(r, kTabCornerEllipse, kTabCornerEllipse);
        else
            canvas->Rectangle(r);
    } else if (frame) {
        if (rounded)
            RoundOutline(canvas, r, tabFrameColor);
        else
            FrameIn(canvas, r, tabFrameColor);
    }
    canvas->Brush().Style = TBrushStyle::bsClear;
}

}  // namespace

TThemeServices* PNCAThemeServices() { return ThemeServices(); }

void GradientFillRect(HDC dc, const TRect& rect, TColor from, TColor to, bool vertical)
{
    COLORREF a = ColorToRGB(from), b = ColorToRGB(to);
    auto vertex = [](int x, int y, COLORREF c) {
        return TRIVERTEX{x, y, static_cast<COLOR16>(GetRValue(c) << 8), static_cast<COLOR16>(GetGValue(c) << 8),
                         static_cast<COLOR16>(GetBValue(c) << 8), 0};
    };
    TRIVERTEX v[2] = {vertex(rect.Left, rect.Top, a), vertex(rect.Right, rect.Bottom, b)};
    GRADIENT_RECT g{0, 1};
    GradientFill(dc, v, 2, &g, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

void DrawImageListAlpha(TCustomImageList* imageList, TCanvas* canvas, int x, int y, int index, bool enabled)
{
    if (imageList == nullptr || index < 0 || index >= imageList->Count())
        return;
    TBitmap work(imageList->Width(), imageList->Height());
    imageList->Draw(work.Canvas(), 0, 0, index, enabled);
    for (int row = work.Height() - 1; row >= 0; --row)
        KeyBlackRow(work.ScanLine(row), work.Width());
    AlphaBlit(canvas, x, y, work, 255);
}

void DrawGraphicAlpha(TGraphic* graphic, TCanvas* canvas, int x, int y)
{
    if (graphic == nullptr || graphic->Empty())
        return;
    TBitmap work(graphic->Width(), graphic->Height());
    // Colours blended over black are already multiplied by their alpha.
    graphic->Draw(work.Canvas(), Rect(0, 0, work.Width(), work.Height()));
    auto* png = dynamic_cast<TPngPicture*>(graphic);
    for (int row = work.Height() - 1; row >= 0; --row) {
        uint8_t* pixel = work.ScanLine(row);
        const uint8_t* alpha = png ? png->AlphaScanline(static_cast<uint32_t>(row)) : nullptr;
        if (alpha == nullptr) {
            KeyBlackRow(pixel, work.Width());
            continue;
        }
        for (int col = 0; col < work.Width(); ++col)
            pixel[col * 4 + 3] = alpha[col];
    }
    AlphaBlit(canvas, x, y, work, 255);
}

int DrawThemedText(HDC dc, const std::wstring& text, RECT& rect, unsigned format, TColor color, int glowSize)
{
    bool measure = (format & DT_CALCRECT) != 0;
    if (IsRectEmpty(&rect) && !measure)
        return 0;
    TDrawThemeTextEx draw = DrawThemeTextExProc();
    HTHEME theme = PNCAThemeServices()->Theme(L"WINDOW");
    if (draw == nullptr || theme == nullptr)
        return 0;
    TDttOpts options{};
    options.dwSize = sizeof(options);
    options.dwFlags = kDttComposited | kDttTextColor;
    if (glowSize > 0) {
        options.dwFlags |= kDttGlowSize;
        options.iGlowSize = glowSize;
    }
    if (measure)
        options.dwFlags |= kDttCalcRect;
    options.crText = ColorToRGB(color);
    return draw(theme, dc, kWpCaption, kCsActive, text.c_str(), static_cast<int>(text.size()), format, &rect,
                &options);
}

void DrawGlowText(TCanvas* canvas, const std::string& text, const TRect& rect, unsigned format, TColor color,
                  int glowSize, bool whiteHalo)
{
    if (rect.IsEmpty())
        return;
    TRect r = rect;
    r.Inflate(glowSize, glowSize);
    r.Offset(-r.Left, -r.Top);
    TBitmap work(r.Width(), r.Height());
    TCanvas* wc = work.Canvas();
    wc->Font().Assign(&canvas->Font());
    wc->Font().SetColor(color);
    wc->Brush().Style = TBrushStyle::bsClear;
    r.Inflate(-glowSize, -glowSize);
    RECT box = ToRECT(r);
    std::wstring wide = ToWide(text);
    HGDIOBJ oldFont = SelectObject(wc->Handle(), wc->Font().Handle());
    SetBkMode(wc->Handle(), TRANSPARENT);
    if (glowSize > 0 && whiteHalo) {
        RECT halo = box;
        DrawThemedText(wc->Handle(), wide, halo, format, clWhite, 2 * glowSize);
    }
    DrawThemedText(wc->Handle(), wide, box, format, color, glowSize);
    SelectObject(wc->Handle(), oldFont);
    AlphaBlit(canvas, rect.Left - glowSize, rect.Top - glowSize, work, 255);
}

void PaintClassicFace(TCanvas* canvas, const TRect& rect, TPNCAButtonStyle style, bool down, bool checked,
                      bool hot, bool enabled, uint8_t alignment, TColor tabColor, TColor tabColorTo,
                      TColor tabFrameColor, int tabAlphaBlend, bool tabRounded)
{
    (void)tabAlphaBlend;
    if (rect.IsEmpty())
        return;
    HDC dc = canvas->Handle();
    const TPNCAFaceState state{down, checked, hot, enabled};
    const int h = rect.Height();
    switch (style) {
    case pbsButton:
    case pbsCheckBox:
    case pbsRadioButton: {
        UINT s = 0;
        if (!enabled)
            s = DFCS_INACTIVE;
        else if (hot && checked)
            s = DFCS_HOT | DFCS_CHECKED;
        else if (down)
            s = DFCS_PUSHED;
        else if (hot)
            s = DFCS_HOT;
        else if (checked)
            s = DFCS_CHECKED;
        RECT r = ToRECT(rect);
        if (style == pbsButton) {
            s |= DFCS_BUTTONPUSH | DFCS_ADJUSTRECT;
        } else {
            s |= style == pbsRadioButton ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
            int d = (h - 16) / 2;
            r.top = rect.Top + (h - kCheckBoxSize) / 2 + 1;
            r.bottom = r.top + kCheckBoxSize;
            if (alignment == 0) {
                r.left = rect.Left + d;
                r.right = r.left + kCheckBoxSize;
            } else if (alignment == 1) {
                r.left = rect.Right - d - kCheckBoxSize - 1;
                r.right = rect.Right - d - 1;
            }
        }
        DrawFrameControl(dc, &r, DFC_BUTTON, s);
        break;
    }
    case pbsToolButton:
    case pbsDropDownToolButton: {
        if (!enabled)
            return;
        RECT r = ToRECT(rect);
        if ((hot && checked) || down)
            DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
        else if (hot)
            DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        else if (checked)
            DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_SOFT);
        if (style == pbsDropDownToolButton) {
            int x = rect.Right - kClassicArrowFromRight;
            int y = rect.Top + (h - 3) / 2;
            const TPoint arrow[] = {{x, y}, {x + 3, y + 3}, {x + 6, y}};
            canvas->Pen().Color = canvas->Font().Color();
            canvas->Brush().Color = canvas->Font().Color();
            canvas->Brush().Style = TBrushStyle::bsSolid;
            canvas->Polygon(arrow, 3);
        }
        break;
    }
    case pbsDivider: {
        int g = (h - 16) / 2 + 2;
        int x = std::max(rect.Left, rect.Left + rect.Width() / 2 - 3);
        canvas->Pen().Color = static_cast<TColor>(kColorSystemFlag | COLOR_BTNSHADOW);
        canvas->MoveTo(x, rect.Top + g);
        canvas->LineTo(x, rect.Bottom - g);
        canvas->Pen().Color = static_cast<TColor>(kColorSystemFlag | COLOR_BTNHIGHLIGHT);
        canvas->MoveTo(x + 1, rect.Top + g);
        canvas->LineTo(x + 1, rect.Bottom - g);
        break;
    }
    case pbsTab:
    case pbsTabGroup:
        PaintClassicTab(canvas, rect, style == pbsTabGroup, state, tabColor, tabColorTo, tabFrameColor, tabRounded);
        break;
    default:
        return;   // pbsNone, pbsSeparator, pbsLabel, pbsLinkLabel draw nothing
    }
    canvas->Brush().Style = TBrushStyle::bsClear;
}

void PaintButtonFace(TCanvas* canvas, const TRect& rect, TPNCAButtonStyle style, bool down, bool checked,
                     bool hot, bool enabled, uint8_t alignment, TColor tabColor, TColor tabColorTo,
                     TColor tabFrameColor, int tabAlphaBlend, bool tabRounded)
{
    if (rect.IsEmpty())
        return;
    TThemeServices* themes = PNCAThemeServices();
    if (style == pbsTab || style == pbsTabGroup || !themes->ThemesEnabled()) {
        PaintClassicFace(canvas, rect, style, down, checked, hot, enabled, alignment, tabColor, tabColorTo,
                         tabFrameColor, tabAlphaBlend, tabRounded);
        return;
    }
    HDC dc = canvas->Handle();
    auto toolState = [&] {
        if (!enabled)
            return kTsDisabled;
        if (hot && checked)
            return kTsHotChecked;
        if (down)
            return kTsPressed;
        if (hot)
            return kTsHot;
        return checked ? kTsChecked : kTsNormal;
    };
    RECT r = ToRECT(rect);
    switch (style) {
    case pbsButton: {
        int s = !enabled ? kPbsDisabled
                : (hot && checked) || down ? kPbsPressed
                : hot ? kPbsHot
                : checked ? kPbsPressed : kPbsNormal;
        themes->DrawElement(dc, L"BUTTON", kBpPushButton, s, r);
        break;
    }
    case pbsCheckBox:
    case pbsRadioButton: {
        if (alignment == 0)
            r.right = r.left + rect.Height();
        else if (alignment == 1)
            r.left = r.right - rect.Height();
        int base = checked ? kBoxChecked : kBoxUnchecked;
        int s = base + (!enabled ? 3 : down ? 2 : hot ? 1 : 0);
        themes->DrawElement(dc, L"BUTTON", style == pbsCheckBox ? kBpCheckBox : kBpRadioButton, s, r);
        break;
    }
    case pbsToolButton:
        themes->DrawElement(dc, L"TOOLBAR", kTpButton, toolState(), r);
        break;
    case pbsDropDownToolButton: {
        RECT left{rect.Left, rect.Top, rect.Right - kSplitArrowWidth, rect.Bottom};
        RECT right{rect.Right - kSplitArrowWidth, rect.Top, rect.Right, rect.Bottom};
        themes->DrawElement(dc, L"TOOLBAR", kTpSplitButton, toolState(), left);
        themes->DrawElement(dc, L"TOOLBAR", kTpSplitButtonDropDown, toolState(), right);
        break;
    }
    case pbsDivider:
        r.left = std::max(rect.Left, rect.Left + rect.Width() / 2 - 3);
        themes->DrawElement(dc, L"TOOLBAR", kTpSeparator, kTsNormal, r);
        break;
    default:
        break;
    }
}

void PaintAlphaFace(TCanvas* canvas, const TRect& rect, TPNCAButtonStyle style, bool down, bool checked,
                    bool hot, bool enabled, uint8_t alignment, TColor tabColor, TColor tabColorTo,
                    TColor tabFrameColor, int tabAlphaBlend, bool tabRounded)
{
    if (rect.IsEmpty())
        return;
    TBitmap work(rect.Width(), rect.Height());
    const int h = work.Height();
    const bool tab = style == pbsTab || style == pbsTabGroup;
    int alpha = 255, delta = 0;
    auto set = [](TColor c) { return c != clNone && c != clBlack; };
    if (tab && set(tabColor) && tabColorTo == clBlack) {
        // Opaque at the bottom, fading upwards.
        tabColorTo = tabColor;
        alpha = tabAlphaBlend;
        delta = -(tabAlphaBlend / h) - 1;
        tabAlphaBlend = 255;
    } else if (tab && set(tabColorTo) && tabColor == clBlack) {
        // Transparent at the bottom, growing upwards.
        tabColor = tabColorTo;
        alpha = 0;
        delta = tabAlphaBlend / h + 1;
        tabAlphaBlend = 255;
    }
    // A ramp carries the face's own alpha in its rows; a flat face blends as a whole.
    const int constantAlpha = tabAlphaBlend;
    PaintButtonFace(work.Canvas(), Rect(0, 0, work.Width(), h), style, down, checked, hot, enabled, alignment,
                    tabColor, tabColorTo, tabFrameColor, tabAlphaBlend, tabRounded);
    for (int row = h - 1; row >= 0; --row) {
        uint8_t* p = work.ScanLine(row);
        for (int x = 0; x < work.Width(); ++x, p += 4) {
            if ((p[0] | p[1] | p[2] | p[3]) == 0)
                continue;
            p[3] = static_cast<uint8_t>(alpha);
            if (delta != 0) {
                p[0] = static_cast<uint8_t>((p[0] * alpha) >> 8);
                p[1] = static_cast<uint8_t>((p[1] * alpha) >> 8);
                p[2] = static_cast<uint8_t>((p[2] * alpha) >> 8);
            }
        }
        alpha = std::clamp(alpha + delta, 0, 255);
    }
    AlphaBlit(canvas, rect.Left, rect.Top, work, constantAlpha);
}
