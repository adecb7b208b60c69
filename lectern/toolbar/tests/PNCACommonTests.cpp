// The toolbar's window-free rules: colours, button sizes, bar layout, the places of pictures
// and captions, state pictures, hit codes and the click order.
#include "lectern/toolbar/PNCACommon.h"

#include <gtest/gtest.h>

namespace {

constexpr TColor RGB(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// ---- colours -------------------------------------------------------------------------------

TEST(PNCAColors, ContrastDarkenLightenPerChannel)
{
    struct Case {
        const char* what;
        TColor got;
        TColor want;
    } cases[] = {
        {"contrast flips at 128", ContrastColor(RGB(128, 129, 0)), RGB(255, 0, 255)},
        {"contrast of white", ContrastColor(RGB(255, 255, 255)), RGB(0, 0, 0)},
        {"darken clamps at 0", DarkenColor(RGB(10, 100, 200), 7), RGB(0, 82, 182)},
        {"lighten clamps at 255", LightenColor(RGB(250, 0, 100), 7), RGB(255, 18, 118)},
        {"darken by 0", DarkenColor(RGB(1, 2, 3), 0), RGB(1, 2, 3)},
        // Exact halves round to even: 25.5 -> 26, 127.5 -> 128, 229.5 -> 230. A product with
        // a binary 2.55 lands just below the half and would give 25, 127 and 229.
        {"lighten 10 % of black is 25.5", LightenColor(RGB(0, 0, 0), 10), RGB(26, 26, 26)},
        {"lighten 50 % of black is 127.5", LightenColor(RGB(0, 0, 0), 50), RGB(128, 128, 128)},
        {"darken 10 % of 255 is 229.5", DarkenColor(RGB(255, 255, 255), 10), RGB(230, 230, 230)},
        {"lighten 30 % of black is 76.5", LightenColor(RGB(0, 0, 0), 30), RGB(76, 76, 76)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(PNCAColors, HlsModelAndAdjustments)
{
    EXPECT_EQ(ColorRGBToHLS(RGB(255, 0, 0)), (THLS{0, 120, 240}));
    EXPECT_EQ(ColorRGBToHLS(RGB(0, 255, 0)), (THLS{80, 120, 240}));
    EXPECT_EQ(ColorRGBToHLS(RGB(0, 0, 255)), (THLS{160, 120, 240}));
    EXPECT_EQ(ColorRGBToHLS(RGB(255, 255, 255)), (THLS{160, 240, 0}));
    EXPECT_EQ(ColorHLSToRGB({0, 120, 240}), RGB(255, 0, 0));
    EXPECT_EQ(ColorHLSToRGB({80, 120, 240}), RGB(0, 255, 0));
    // A grey of the same luminance.
    EXPECT_EQ(DesaturateColor(RGB(255, 0, 0)), RGB(127, 127, 127));
    // Luminance 188 of 240 comes back as 199 of 255: the 0..240 scale loses a step.
    EXPECT_EQ(DesaturateColor(RGB(200, 200, 200)), RGB(199, 199, 199));
    // 0.625 * 2.4 is exactly 1.5: luminance 120 + 1.5 rounds to 122 (even), grey 129.
    EXPECT_EQ(AdjustColorHLS(RGB(128, 128, 128), 0, 0.625f, 0), RGB(129, 129, 129));
    // Channels clamp to 0..240.
    EXPECT_EQ(AdjustColorHLS(RGB(128, 128, 128), 0, 200, 0), RGB(255, 255, 255));
    EXPECT_EQ(AdjustColorHLS(RGB(128, 128, 128), 0, -200, 0), RGB(0, 0, 0));
}

TEST(PNCAColors, TabColorsByState)
{
    const TColor c = RGB(0xC0, 0xE0, 0xFF), f = RGB(0xFF, 0xB0, 0x00);
    struct Case {
        TPNCAFaceState state;
        TColor want;       // the first colour after the change
        TColor wantFrame;
    } cases[] = {
        {{false, false, false, true}, c, f},                                  // plain
        {{false, false, true, true}, LightenColor(c, 7), LightenColor(f, 7)},  // hot
        {{true, false, false, true}, DarkenColor(c, 7), DarkenColor(f, 7)},    // down
        {{false, true, false, true}, DarkenColor(c, 7), DarkenColor(f, 7)},    // checked
        {{false, true, true, true}, c, f},                                    // hot and checked
        {{true, true, true, true}, DarkenColor(c, 7), DarkenColor(f, 7)},      // ... and down
        {{false, false, true, false}, DesaturateColor(c), DesaturateColor(f)}, // disabled
    };
    for (const Case& k : cases) {
        TColor a = c, none = clNone, frame = f;
        AdjustTabColors(k.state, a, none, frame);
        EXPECT_EQ(a, k.want);
        EXPECT_EQ(frame, k.wantFrame);
        EXPECT_EQ(none, clNone) << "clNone stays in every state";
    }
}

// ---- button size ---------------------------------------------------------------------------

TEST(PNCAButtonSize, WidthAndHeightRules)
{
    auto pic = [](int w, int h) {
        TPNCAButtonSizeInput in;
        in.HasGraphic = true;
        in.GraphicWidth = w;
        in.GraphicHeight = h;
        return in;
    };
    auto captioned = [&](TAlignment a, TPNCAButtonStyle s) {
        TPNCAButtonSizeInput in = pic(16, 16);
        in.ShowCaption = true;
        in.CaptionWidth = 40;
        in.CaptionAlignment = a;
        in.Style = s;
        return in;
    };
    TPNCAButtonSizeInput fixed = pic(16, 16);
    fixed.ButtonWidth = 25;
    fixed.ButtonHeight = 0;
    TPNCAButtonSizeInput bare;
    bare.DefaultImageWidth = 24;
    bare.DefaultImageHeight = 22;
    bare.Padding = 2;
    TPNCAButtonSizeInput face = bare;
    face.Style = pbsButton;
    face.Padding = 3;
    TPNCAButtonSizeInput unmeasured = captioned(taLeftJustify, pbsNone);
    unmeasured.CaptionWidth = -1;
    TPNCAButtonSizeInput right = captioned(taRightJustify, pbsNone);
    right.Padding = 3;
    right.Spacing = 5;
    TPNCAButtonSizeInput wideCenter = captioned(taCenter, pbsNone);
    wideCenter.GraphicWidth = 32;
    wideCenter.CaptionWidth = 10;
    wideCenter.Padding = 1;
    TPNCAButtonSizeInput tallPadded = pic(16, 20);
    tallPadded.Padding = 3;
    TPNCAButtonSizeInput captionNoPic;
    captionNoPic.ShowCaption = true;
    captionNoPic.Padding = 1;
    captionNoPic.DefaultImageHeight = 30;

    struct Case {
        const char* what;
        TPNCAButtonSizeInput in;
        int width, height;
    } cases[] = {
        {"own size wins", fixed, 25, 0},
        {"caption after picture", captioned(taLeftJustify, pbsNone), 16 + 40 + 3 + 1, 16},
        {"caption centred", captioned(taCenter, pbsNone), 40, 16},
        {"drop-down, caption after", captioned(taLeftJustify, pbsDropDownToolButton), 76, 16},
        {"drop-down, caption centred", captioned(taCenter, pbsDropDownToolButton), 56, 16},
        {"no picture: toolbar size", bare, 28, 26},
        {"face style without picture", face, 22, 22},
        {"caption not measured", unmeasured, 16, 16},
        {"caption before, spacing 5", right, 22 + 40 + 5 + 1, 22},
        {"centred picture wider than caption", wideCenter, 34, 18},
        {"picture height and padding", tallPadded, 22, 26},
        {"caption without picture", captionNoPic, 2, 18},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PNCAButtonWidth(c.in), c.width) << c.what;
        EXPECT_EQ(PNCAButtonHeight(c.in), c.height) << c.what;
    }
    EXPECT_EQ(PNCADefaultImageSize(-1, false, 16), 0);
    EXPECT_EQ(PNCADefaultImageSize(-1, true, 16), 16);
    EXPECT_EQ(PNCADefaultImageSize(20, true, 16), 20);
    EXPECT_EQ(PNCADefaultImageSize(0, true, 16), 0);
}

// ---- bar layout ----------------------------------------------------------------------------

TEST(PNCABarLayout, AutomaticOffset)
{
    struct Case {
        bool themed, glass, maximized, vista;
        int fy;
        TPNCAAutoOffsetBtns pao;
        int want;
    } cases[] = {
        {true, false, false, true, 4, paoNone, 0},
        {false, false, false, true, 4, paoAll, 1},
        {true, false, true, true, 4, paoAll, 1},
        {true, false, true, false, 4, paoAll, 2},   // maximized before Vista: plus BY
        {true, true, false, true, 4, paoAll, 2},    // glass: FY - 2
        {true, false, false, true, 4, paoAll, 2},   // 3 is odd
        {true, false, false, false, 4, paoAll, 4},  // before Vista: FY - 1 + BY
        {true, true, false, true, 8, paoAll, 6},
        {true, false, false, true, 8, paoAll, 6},
        {true, true, false, true, 3, paoAll, 0},
    };
    for (const Case& c : cases) {
        TPNCABarInput bar;
        bar.Frame = {4, c.fy, 18, 1, 1};
        bar.Themed = c.themed;
        bar.OnGlass = c.glass;
        bar.Maximized = c.maximized;
        bar.VistaOrLater = c.vista;
        bar.AutoOffset = c.pao;
        EXPECT_EQ(PNCAAutoOffset(bar), c.want) << c.themed << c.glass << c.maximized << c.vista << c.fy;
    }
}

TEST(PNCABarLayout, UnthemedRowWithPaddingAndHiddenButton)
{
    TPNCABarInput bar;
    bar.Frame = {4, 4, 18, 1, 1};
    bar.OffsetX = 2;
    std::vector<TPNCABarButton> buttons(4);
    buttons[0].Width = 20, buttons[0].Height = 16;
    buttons[1].Width = 30, buttons[1].Height = 22, buttons[1].Padding = 3;
    buttons[2].Visible = false, buttons[2].Width = 50, buttons[2].Height = 16;
    buttons[3].Width = 10, buttons[3].Height = 16;
    TPNCABarLayout l = PNCALayoutBar(bar, buttons);
    // Bar bottom CH + FY - 1 = 21; the first button sits at the frame, the others one lower.
    EXPECT_EQ(l.Buttons[0].BarRect, Rect(6, 4, 26, 21));
    EXPECT_EQ(l.Buttons[0].BtnRect, Rect(6, 4, 26, 20));
    EXPECT_EQ(l.Buttons[1].BarRect, Rect(26, 4, 56, 21));
    EXPECT_EQ(l.Buttons[1].BtnRect, Rect(26, 2, 56, 24));   // 5..27, up by the padding
    EXPECT_TRUE(l.Buttons[2].BarRect.IsEmpty());
    EXPECT_TRUE(l.Buttons[2].BtnRect.IsEmpty());
    EXPECT_EQ(l.Buttons[3].BarRect, Rect(56, 4, 66, 21));   // the hidden one takes no room
    EXPECT_EQ(l.Buttons[3].BtnRect, Rect(56, 5, 66, 21));
    EXPECT_FALSE(l.SmallButtons);
}

TEST(PNCABarLayout, ThemedBarStartsAtTheBorderAndPressedTabsShift)
{
    TPNCABarInput bar;
    bar.Frame = {4, 4, 18, 1, 1};
    bar.Themed = true;
    std::vector<TPNCABarButton> buttons(3);
    for (auto& b : buttons)
        b.Width = 20, b.Height = 16;
    buttons[1].Down = true, buttons[1].Style = pbsTab;
    buttons[2].Down = true, buttons[2].Style = pbsToolButton;
    TPNCABarLayout l = PNCALayoutBar(bar, buttons);
    EXPECT_EQ(l.Buttons[0].BarRect, Rect(3, 1, 23, 21));
    EXPECT_EQ(l.Buttons[0].BtnRect, Rect(3, 1, 23, 17));
    EXPECT_EQ(l.Buttons[1].BtnRect, Rect(24, 4, 44, 20));   // auto offset 2, pressed tab (1, 1)
    EXPECT_EQ(l.Buttons[2].BtnRect, Rect(43, 3, 63, 19));   // a pressed tool button stays put

    bar.AutoOffset = paoNone;
    bar.OffsetY = 2;
    l = PNCALayoutBar(bar, buttons);
    for (const auto& b : l.Buttons)
        EXPECT_EQ(b.BtnRect.Top, 1 + 2) << "paoNone: bar top plus OffsetY";
}

TEST(PNCABarLayout, MaximizedOnGlassAndSmallButtons)
{
    TPNCABarInput bar;
    bar.Frame = {4, 4, 18, 1, 1};
    bar.Themed = bar.OnGlass = bar.Maximized = true;
    bar.AutoOffset = paoAll;
    bar.OffsetY = 2;
    std::vector<TPNCABarButton> buttons(1);
    buttons[0].Width = 20, buttons[0].Height = 30;
    TPNCABarLayout l = PNCALayoutBar(bar, buttons);
    EXPECT_EQ(l.Buttons[0].BarRect, Rect(4, 4, 24, 21));
    EXPECT_EQ(l.Buttons[0].BtnRect, Rect(4, 7, 24, 37));
    EXPECT_TRUE(l.SmallButtons) << "only 14 of 30 pixels fit";

    bar.OnGlass = false;   // maximized with visual styles: one lower
    l = PNCALayoutBar(bar, buttons);
    EXPECT_EQ(l.Buttons[0].BarRect.Top, 5);
}

// ---- inside a button -----------------------------------------------------------------------

TEST(PNCAButtonInside, PictureSideAndLeft)
{
    EXPECT_EQ(PNCAPictureSide(false, taLeftJustify, false), 2);
    EXPECT_EQ(PNCAPictureSide(true, taCenter, false), 2);
    EXPECT_EQ(PNCAPictureSide(true, taRightJustify, false), 0);
    EXPECT_EQ(PNCAPictureSide(true, taLeftJustify, false), 1);
    EXPECT_EQ(PNCAPictureSide(true, taLeftJustify, true), 0);

    const TRect content = Rect(10, 2, 70, 20);
    struct Case {
        int side;
        bool caption;
        int offsetX;
        TPNCAButtonStyle style;
        int want;
    } cases[] = {
        {2, false, 3, pbsNone, 13},           // no caption: left plus offset
        {0, true, 0, pbsNone, 10},
        {1, true, 0, pbsNone, 54},
        {1, true, 2, pbsDropDownToolButton, 40},
        {2, true, 0, pbsNone, 32},
        {2, true, 1, pbsDropDownToolButton, 25},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PNCAPictureLeft(content, c.side, c.caption, c.offsetX, 16, c.style), c.want)
            << c.side << " " << int(c.style);
}

TEST(PNCAButtonInside, CaptionPlaces)
{
    auto in = [](int side, TPNCAButtonStyle style) {
        TPNCACaptionInput c;
        c.BtnRect = Rect(10, 2, 70, 20);
        c.BarRect = Rect(10, 0, 70, 22);
        c.Side = side;
        c.Style = style;
        c.PictureWidth = 16;
        return c;
    };
    constexpr unsigned common = kDtEndEllipsis | kDtSingleLine | kDtVCenter;
    TPNCACaptionInput unthemedRight = in(1, pbsToolButton);
    unthemedRight.Unthemed = true;
    TPNCACaptionInput unthemedLeft = in(0, pbsButton);
    unthemedLeft.Unthemed = true;
    TPNCACaptionInput noPicture = in(0, pbsNone);
    noPicture.PictureWidth = 0;
    TPNCACaptionInput faceNoPicture = in(0, pbsToolButton);
    faceNoPicture.PictureWidth = 0;
    TPNCACaptionInput padded = in(0, pbsNone);
    padded.Padding = 3;
    padded.OffsetX = 2;
    TPNCACaptionInput rtl = in(0, pbsNone);
    rtl.RightToLeft = true;
    struct Case {
        const char* what;
        TPNCACaptionInput in;
        TRect rect;
        unsigned format;
    } cases[] = {
        {"centred", in(2, pbsNone), Rect(10, 2, 70, 20), kDtCenter | common},
        {"picture left", in(0, pbsNone), Rect(29, 2, 70, 20), common},
        {"picture right", in(1, pbsNone), Rect(10, 2, 51, 20), common},
        {"unthemed tool button, picture right", unthemedRight, Rect(11, 2, 52, 20), common},
        {"unthemed button, picture left", unthemedLeft, Rect(28, 2, 69, 20), common},
        {"tab: bar slot, one lower", in(2, pbsTab), Rect(10, 1, 70, 22), kDtCenter | common},
        {"tab group: bar slot", in(2, pbsTabGroup), Rect(10, 0, 70, 22), kDtCenter | common},
        {"drop-down leaves the arrow", in(0, pbsDropDownToolButton), Rect(29, 2, 54, 20), common},
        {"no picture, no face", noPicture, Rect(13, 2, 70, 20), common},
        {"face glyph counts 16", faceNoPicture, Rect(29, 2, 70, 20), common},
        {"padding and offset", padded, Rect(13 + 2 + 3 + 16, 2, 67, 20), common},
        {"right to left", rtl, Rect(29, 2, 70, 20), kDtRight | kDtRtlReading | common},
    };
    for (const Case& c : cases) {
        TPNCACaptionPlace p = PNCACaptionPlace(c.in);
        EXPECT_EQ(p.Rect, c.rect) << c.what;
        EXPECT_EQ(p.Format, c.format) << c.what;
    }
}

TEST(PNCAButtonInside, FormCaptionBeforeOrAfterTheButtons)
{
    auto in = [](TPNCAShowCaptionPos pos, TRect buttons) {
        TPNCAFormCaptionInput c;
        c.WindowRect = Rect(0, 0, 400, 30);
        c.Buttons = buttons;
        c.HasButtons = !buttons.IsEmpty();
        c.Position = pos;
        c.FX = 4;
        c.SmallIconWidth = 16;
        c.SystemButtonWidth = 18;
        return c;
    };
    TPNCAFormCaptionInput dialog = in(pscpBeforeButtons, Rect(100, 0, 200, 22));
    dialog.Dialog = true;
    struct Case {
        const char* what;
        TPNCAFormCaptionInput in;
        TRect want;
    } cases[] = {
        {"before", in(pscpBeforeButtons, Rect(100, 0, 200, 22)), Rect(20, 0, 84, 22)},
        {"before, no room", in(pscpBeforeButtons, Rect(30, 0, 130, 22)), TRect{}},
        {"after", in(pscpAfterButtons, Rect(100, 0, 200, 22)), Rect(216, 0, 326, 22)},
        {"dialog has no icon", dialog, Rect(4, 0, 84, 22)},
        {"hidden", in(pscpHidden, Rect(100, 0, 200, 22)), TRect{}},
        {"no buttons, no bar", in(pscpAfterButtons, TRect{}), TRect{}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PNCAFormCaptionRect(c.in), c.want) << c.what;
}

// ---- state pictures ------------------------------------------------------------------------

TEST(PNCAStatePictures, GraphicPerState)
{
    const bool all[8] = {true, true, true, true, true, true, true, true};
    const bool onlyNormal[8] = {true};
    const bool normalAndSmall[8] = {true, false, false, true};
    const bool normalAndHovered[8] = {true, true};
    const bool none[8] = {};
    struct Case {
        TPNCAPictureState s;   // Small, Enabled, Down, Hot, Checked
        const bool* has;
        int want;
    } cases[] = {
        {{false, true, false, false, false}, all, ppPicture},
        {{false, true, false, true, false}, all, ppPictureHovered},
        {{false, true, true, true, false}, all, ppPictureDown},
        {{false, true, false, false, true}, all, ppPictureDown},
        {{false, true, false, true, true}, all, ppPictureHovered},
        {{false, false, true, true, true}, all, ppPictureDisabled},
        {{true, true, false, false, false}, all, ppPictureSmall},
        {{true, true, false, true, false}, all, ppPictureSmallHovered},
        {{true, true, true, false, false}, all, ppPictureSmallDown},
        {{true, false, false, false, false}, all, ppPictureSmallDisabled},
        {{false, false, false, false, false}, onlyNormal, ppPicture},   // disabled shows normal
        {{true, true, false, true, false}, onlyNormal, ppPicture},
        {{true, true, false, true, false}, normalAndSmall, ppPictureSmall},
        {{true, true, false, true, false}, normalAndHovered, ppPictureHovered},
        {{false, true, false, false, false}, none, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PNCAChooseGraphic(c.s, c.has), c.want)
            << c.s.Small << c.s.Enabled << c.s.Down << c.s.Hot << c.s.Checked;
}

TEST(PNCAStatePictures, ImageListPerState)
{
    const bool all[6] = {true, true, true, true, true, true};
    const bool plain[6] = {true, false, false, true};
    const bool noneSet[6] = {};
    struct Case {
        TPNCAPictureState s;
        const bool* set;
        int want;
    } cases[] = {
        {{false, true, false, false, false}, all, pilImages},
        {{false, true, false, true, false}, all, pilHoverImages},
        {{false, true, false, false, true}, all, pilDownImages},
        {{false, false, true, false, false}, all, pilDownImages},   // no disabled list
        {{true, true, false, true, false}, all, pilSmallHoverImages},
        {{true, true, true, false, false}, all, pilSmallDownImages},
        {{true, true, false, true, false}, plain, pilSmallImages},
        {{false, true, false, true, false}, plain, pilImages},
        {{true, true, false, false, false}, noneSet, pilImages},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PNCAChooseImages(c.s, c.set), c.want);
}

// ---- mouse ---------------------------------------------------------------------------------

TEST(PNCAMouse, HitCodesAndPressing)
{
    struct Case {
        int code;
        bool hot, glass;
        int want;
    } cases[] = {
        {kHtCaption, true, false, kHtCaption},
        {kHtTop, true, false, kHtCaption},
        {kHtTopLeft, true, true, kHtCaption},
        {kHtTop, false, false, kHtTop},
        {kHtSysMenu, true, false, kHtSysMenu},
        {kHtClose, false, true, kHtCaption},
        {kHtMinButton, false, true, kHtCaption},
        {kHtMaxButton, false, true, kHtCaption},
        {kHtClose, false, false, kHtClose},
        {1 /* client */, false, true, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PNCARemapHitCode(c.code, c.hot, c.glass), c.want) << c.code << c.hot << c.glass;

    EXPECT_TRUE(PNCAHitSeeksButton(kHtTopLeft));
    EXPECT_FALSE(PNCAHitSeeksButton(kHtClose));
    EXPECT_TRUE(PNCAIsPressingHitCode(kHtCaption, true));
    EXPECT_FALSE(PNCAIsPressingHitCode(kHtSysMenu, true));   // the system menu opens instead
    EXPECT_TRUE(PNCAIsPressingHitCode(kHtSysMenu, false));
    EXPECT_FALSE(PNCAIsPressingHitCode(kHtTop, false));
}

TEST(PNCAMouse, ClickGoesToButtonThenActionThenToolbar)
{
    using T = TPNCAClickTarget;
    struct Case {
        TPNCAClickInput in;   // OnClick, OnClick is the action's, link, designing, toolbar OnClick
        T want;
    } cases[] = {
        {{true, false, true, false, true}, T::ButtonOnClick},    // its own handler first
        {{true, true, true, false, true}, T::ActionLink},        // the action's handler: through the link
        {{false, false, true, false, true}, T::ActionLink},
        {{true, true, true, true, true}, T::ButtonOnClick},      // designing: no action
        {{false, false, true, true, true}, T::ToolbarOnClick},
        {{false, false, false, false, true}, T::ToolbarOnClick},
        {{false, false, false, false, false}, T::Nobody},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PNCAClickTarget(c.in), c.want);
}

}  // namespace
