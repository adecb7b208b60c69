#include "lectern/toolbar/PNCAPaint.h"

#include "classlib/Themes.h"
#include "lectern/toolbar/PNCAToolbar.h"

#include <algorithm>

using namespace pnca_detail;

namespace {

// Padding for the tab fill when the face lies on glass.
constexpr int kGlassTabExtra = 1;

constexpr TColor SysColor(int index) { return static_cast<TColor>(kColorSystemFlag | index); }

bool IsRightToLeft(HWND window)
{
    return (GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_RTLREADING | WS_EX_LAYOUTRTL)) != 0;
}

// Text drawn with the canvas's font and colour, without a background.
void PlainText(TCanvas* canvas, const std::string& text, TRect rect, unsigned format)
{
    HDC dc = canvas->Handle();
    HGDIOBJ old = SelectObject(dc, canvas->Font().Handle());
    int mode = SetBkMode(dc, TRANSPARENT);
    COLORREF color = SetTextColor(dc, ColorToRGB(canvas->Font().Color()));
    RECT r = ToRECT(rect);
    std::wstring wide = ToWide(text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, format);
    SetTextColor(dc, color);
    SetBkMode(dc, mode);
    SelectObject(dc, old);
}

void ThemedText(TCanvas* canvas, const std::string& text, TRect rect, unsigned format, TColor color)
{
    HDC dc = canvas->Handle();
    HGDIOBJ old = SelectObject(dc, canvas->Font().Handle());
    RECT r = ToRECT(rect);
    DrawThemedText(dc, ToWide(text), r, format, color, 0);
    SelectObject(dc, old);
}

}  // namespace

// ---- pictures ------------------------------------------------------------------------------------

void TPNCAToolbar::DrawImageListImage(TCustomImageList* imageList, TCanvas* canvas, int x, int y, int index,
                                      bool enabled)
{
    DrawImageListAlpha(imageList, canvas, x, y, index, enabled);
}

void TPNCAToolbar::DrawGraphic(TGraphic* graphic, TCanvas* canvas, int x, int y)
{
    DrawGraphicAlpha(graphic, canvas, x, y);
}

TCustomImageList* TPNCAToolbar::GetButtonImages(TPNCAButton* button)
{
    TPNCAPictureState s{FSmallButtons, button->Enabled(), button->Down(), button == FHotButton, button->Checked()};
    bool assigned[6];
    for (int i = 0; i < 6; ++i)
        assigned[i] = FImages[static_cast<size_t>(i)] != nullptr;
    return FImages[static_cast<size_t>(PNCAChooseImages(s, assigned))];
}

TGraphic* TPNCAToolbar::GetButtonGraphic(TPNCAButton* button)
{
    if (button == nullptr)
        return nullptr;
    TPNCAPictureState s{FSmallButtons, button->Enabled(), button->Down(), button == FHotButton, button->Checked()};
    bool has[8];
    for (int i = 0; i < 8; ++i) {
        TGraphic* g = button->PictureAt(i)->Graphic();
        has[i] = g != nullptr && !g->Empty();
    }
    int slot = PNCAChooseGraphic(s, has);
    return slot < 0 ? button->Picture()->Graphic() : button->PictureAt(slot)->Graphic();
}

// ---- painting ------------------------------------------------------------------------------------

void TPNCAToolbar::UpdateCaptionFont()
{
    NONCLIENTMETRICSA m{};
    m.cbSize = kPNCANonClientMetricsSize;
    LOGFONTA lf{};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kPNCANonClientMetricsSize, &m, 0))
        lf = m.lfCaptionFont;
    else
        GetObjectA(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
    FCaptionFont->SetName(lf.lfFaceName);
    FCaptionFont->SetHeight(lf.lfHeight);
    FCaptionFont->SetStyle((lf.lfWeight >= FW_BOLD ? TFontStyles{fsBold} : 0u) | (lf.lfItalic ? TFontStyles{fsItalic} : 0u));
    FCaptionFont->SetColor(SysColor(COLOR_CAPTIONTEXT));
}

void TPNCAToolbar::PaintBar(TPNCAButton* button, bool assumeMaximized)
{
    if (!FormHasHandle())
        return;
    CalcButtonRects(assumeMaximized);
    HWND window = FormHandle();
    HDC windowDC = GetWindowDC(window);
    if (windowDC == nullptr)
        return;
    TRect w = WindowRectOf(window);
    const TPNCAFrame f = Frame();
    const int systemButtons = 3 * GetSystemMetrics(SM_CXSIZE);
    try {
        if (FCompositionActive) {
            w.Offset(-w.Left, -w.Top);
            RECT client{};
            GetClientRect(window, &client);
            TRect c = FromRECT(client);
            c.Offset(f.FX, f.FY + f.CH);
            if (GetMenu(window) != nullptr)
                c.Bottom += GetSystemMetrics(SM_CYMENU);
            ExcludeClipRect(windowDC, c.Left, c.Top, c.Right, c.Bottom);
            TBitmap work(w.Width(), w.Height());
            TCanvas* canvas = work.Canvas();
            ExcludeClipRect(canvas->Handle(), c.Left, c.Top, c.Right, c.Bottom);
            RECT all = ToRECT(w);
            FillRect(canvas->Handle(), &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            ExcludeClipRect(canvas->Handle(), w.Right - f.FX - systemButtons, 0, w.Right, c.Top);
            DrawCaption(canvas, w, assumeMaximized);
            bool glassMax = IsVistaGlassMaximized(assumeMaximized);
            for (int i = 0; i < FButtons->Count(); ++i)
                DrawButton(FButtons->Items(i), canvas, nullptr, glassMax);
            BitBlt(windowDC, 0, 0, w.Width(), w.Height(), canvas->Handle(), 0, 0, SRCCOPY);
        } else {
            TRect w0 = w;
            w0.Offset(-w.Left, -w.Top);
            TRect r;
            GetButtonRect(button, true, r);
            if (button == nullptr && FShowCaption != pscpNone) {
                r.Left = f.FX;
                r.Right = w0.Right - f.FX - systemButtons;
            }
            if (!r.IsEmpty()) {
                TBitmap work(r.Width(), r.Height());
                TCanvas* canvas = work.Canvas();
                bool active = FormActive();
                if (PNCAThemeServices()->ThemesEnabled()) {
                    bool maximized = IsZoomed(window) != FALSE;
                    TRect bg = w0;
                    bg.Offset(-r.Left, -r.Top);
                    bg.Bottom = bg.Top + f.FY + f.CH;
                    if (maximized)
                        bg.Top += f.FY;
                    constexpr int kWpMaxCaption = 5;
                    PNCAThemeServices()->DrawElement(canvas->Handle(), L"WINDOW", maximized ? kWpMaxCaption : 1,
                                                     active ? 1 : 2, ToRECT(bg));
                } else {
                    TRect bg = Rect(f.FX, f.FY, w0.Width() - f.FX - systemButtons, f.FY + f.CH);
                    bg.Right = std::max(bg.Right, r.Right);
                    bg.Offset(-r.Left, -r.Top);
                    TColor from = SysColor(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
                    TColor to = SysColor(active ? COLOR_GRADIENTACTIVECAPTION : COLOR_GRADIENTINACTIVECAPTION);
                    GradientFillRect(canvas->Handle(), bg, from, FGradientCaptions ? to : from, false);
                }
                if (button == nullptr)
                    DrawCaption(canvas, w0, assumeMaximized);
                const TPoint origin = r.TopLeft();
                bool glassMax = IsVistaGlassMaximized(assumeMaximized);
                if (button != nullptr) {
                    DrawButton(button, canvas, &origin, glassMax);
                } else {
                    for (int i = 0; i < FButtons->Count(); ++i)
                        DrawButton(FButtons->Items(i), canvas, &origin, glassMax);
                }
                BitBlt(windowDC, r.Left, r.Top, r.Width(), r.Height(), canvas->Handle(), 0, 0, SRCCOPY);
            }
        }
    } catch (...) {
        ReleaseDC(window, windowDC);
        throw;
    }
    ReleaseDC(window, windowDC);
}

void TPNCAToolbar::DrawCaption(TCanvas* canvas, const TRect& windowRect, bool assumeMaximized)
{
    if ((FShowCaption != pscpBeforeButtons && FShowCaption != pscpAfterButtons) || FSavedCaption.empty())
        return;
    TRect buttons;
    GetButtonRect(nullptr, true, buttons);
    HWND window = FormHandle();
    TPNCAFormCaptionInput in;
    in.WindowRect = windowRect;
    in.Buttons = buttons;
    in.HasButtons = FButtons->Count() > 0;
    in.Position = FShowCaption;
    in.FX = Frame().FX;
    in.SmallIconWidth = GetSystemMetrics(SM_CXSMICON);
    in.SystemButtonWidth = GetSystemMetrics(SM_CXSIZE);
    in.Dialog = BorderStyleOf(window) == TBorderStyle::bsDialog;
    TRect r = PNCAFormCaptionRect(in);
    if (r.IsEmpty())
        return;
    unsigned format = FCaptionAlignment == taLeftJustify ? DT_LEFT : FCaptionAlignment == taRightJustify ? DT_RIGHT : DT_CENTER;
    format |= DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER;
    canvas->Font().Assign(FCaptionFont.get());
    canvas->Brush().Style = TBrushStyle::bsClear;
    bool active = FormActive();
    TColor color = SysColor(COLOR_CAPTIONTEXT);
    if (!FCompositionActive || !FIsVistaOrLater || FIsWin8OrLater)
        color = active ? SysColor(COLOR_CAPTIONTEXT) : SysColor(COLOR_INACTIVECAPTIONTEXT);
    if (FCompositionActive) {
        bool halo = active;
        int glow = FIsWin8OrLater ? 0 : FCaptionGlowSize + (FCaptionGlowSize > 0 && !active ? 3 : 0);
        if (FIsVista && (assumeMaximized || IsMaximizedByPlacement(window))) {
            glow = 0;
            color = ContrastColor(SysColor(COLOR_CAPTIONTEXT));
        }
        canvas->Font().SetColor(color);
        DrawGlowText(canvas, FSavedCaption, r, format, color, glow, halo);
    } else {
        canvas->Font().SetColor(color);
        r.Offset(0, -r.Top);
        if (PNCAThemeServices()->ThemesEnabled() && FIsVistaOrLater)
            ThemedText(canvas, FSavedCaption, r, format, color);
        else
            PlainText(canvas, FSavedCaption, r, format);
    }
}

void TPNCAToolbar::DrawButton(TPNCAButton* button, TCanvas* canvas, const TPoint* origin, bool vistaGlassMax)
{
    if (button == nullptr || !button->Visible())
        return;
    TRect btnRect = button->BtnRect();
    TRect barRect = button->BarRect();
    if (origin != nullptr) {
        btnRect.Offset(-origin->X, -origin->Y);
        barRect.Offset(-origin->X, -origin->Y);
    }
    const bool hot = button == FHotButton;
    const bool themes = PNCAThemeServices()->ThemesEnabled();
    const bool unthemed = !FCompositionActive && !themes;
    const TPNCAButtonStyle style = button->Style();
    canvas->Brush().Style = TBrushStyle::bsClear;
    canvas->Font().Assign(FCaptionFont.get());
    canvas->Font().SetStyle(style == pbsLinkLabel && hot ? TFontStyles{fsUnderline} : 0u);
    TColor color = button->CaptionColor();
    if (color == clNone || color == clDefault)
        color = style == pbsButton && unthemed ? SysColor(COLOR_BTNTEXT) : SysColor(COLOR_CAPTIONTEXT);
    if (vistaGlassMax && style != pbsButton)
        color = ContrastColor(color);
    canvas->Font().SetColor(color);

    TPNCADefaultDrawingKind kind = pddkDefault;
    if (OnBeforeDrawButton.Assigned())
        OnBeforeDrawButton(this, button, canvas, btnRect, barRect, kind);
    color = canvas->Font().Color();
    if (kind != pddkNone) {
        const bool hasCaption = button->ShowCaption() && button->CaptionWidth() > 0;
        const bool rtl = IsRightToLeft(FormHandle());
        const int side = PNCAPictureSide(hasCaption, button->CaptionAlignment(), rtl);
        // Face.
        if (style > pbsSeparator) {
            const TColor tabColor = button->StyleTabColor(), tabColorTo = button->StyleTabColorTo();
            if (style == pbsTab || style == pbsTabGroup) {
                TRect face = barRect;
                if (FCompositionActive)
                    face.Bottom += kGlassTabExtra;
                auto set = [](TColor c) { return c != clNone && c != clBlack; };
                bool alpha = FCompositionActive || button->StyleTabAlphaBlend() < 255 ||
                             (set(tabColor) && tabColorTo == clBlack) || (set(tabColorTo) && tabColor == clBlack);
                (alpha ? PaintAlphaFace : PaintButtonFace)(
                    canvas, face, style, button->Down(), button->Checked(), hot, button->Enabled(),
                    static_cast<uint8_t>(side), tabColor, tabColorTo, button->StyleTabFrameColor(),
                    button->StyleTabAlphaBlend(), button->StyleTabRounded());
            } else {
                TRect face = btnRect;
                face.Bottom = std::min(face.Bottom, barRect.Bottom);
                face.Top = std::max(face.Top, barRect.Top < 2 ? barRect.Top : barRect.Top - 2);
                PaintButtonFace(canvas, face, style, button->Down(), button->Checked(), hot, button->Enabled(),
                                static_cast<uint8_t>(side), tabColor, tabColorTo, button->StyleTabFrameColor(),
                                button->StyleTabAlphaBlend(), button->StyleTabRounded());
            }
        }
        // Picture.
        TRect content = btnRect;
        content.Inflate(-button->Padding(), -button->Padding());
        const int y = content.Top + button->OffsetY();
        int pictureWidth = 0;
        if (TGraphic* graphic = GetButtonGraphic(button); graphic != nullptr && !graphic->Empty()) {
            pictureWidth = graphic->Width();
            int x = PNCAPictureLeft(content, side, hasCaption, button->OffsetX(), pictureWidth, style);
            if (kind == pddkDefault)
                DrawGraphic(graphic, canvas, x, y);
            else
                canvas->Draw(x, y, graphic);
        } else if (TCustomImageList* images = GetButtonImages(button)) {
            pictureWidth = images->Width();
            int x = PNCAPictureLeft(content, side, hasCaption, button->OffsetX(), pictureWidth, style);
            if (kind == pddkDefault)
                DrawImageListImage(images, canvas, x, y, button->ImageIndex(), button->Enabled());
            else
                images->Draw(canvas, x, y, button->ImageIndex(), true);
        }
        // Caption.
        if (hasCaption) {
            TPNCACaptionInput in;
            in.BtnRect = btnRect;
            in.BarRect = barRect;
            in.Style = style;
            in.Side = side;
            in.Padding = button->Padding();
            in.OffsetX = button->OffsetX();
            in.Spacing = button->Spacing();
            in.PictureWidth = pictureWidth;
            in.Unthemed = unthemed;
            in.RightToLeft = rtl;
            TPNCACaptionPlace place = PNCACaptionPlace(in);
            if (kind == pddkDefault && FCompositionActive)
                DrawGlowText(canvas, button->Caption(), place.Rect, place.Format, color,
                             vistaGlassMax ? 0 : button->CaptionGlowSize(), false);
            else if (kind == pddkDefault && themes && FIsVistaOrLater)
                ThemedText(canvas, button->Caption(), place.Rect, place.Format, color);
            else
                PlainText(canvas, button->Caption(), place.Rect, place.Format);
        }
    }
    if (OnDrawButton.Assigned())
        OnDrawButton(this, button, canvas, btnRect, barRect);
}
