// The toolbar's drawing helpers under Wine, checked pixel by pixel in 32-bit memory bitmaps
// against the blending rules: alpha pictures and image lists, themed and glow text, classic
// tab faces (gradient, rounded corners) and the alpha ramp of translucent faces.
#include "lectern/toolbar/PNCAUtils.h"

#include "lectern/png/tests/PngTestSupport.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr TColor RGB3(int r, int g, int b) { return r | (g << 8) | (b << 16); }

struct Px {
    int R, G, B;
};

Px PixelAt(TBitmap& bitmap, int x, int y)
{
    const uint8_t* p = bitmap.ScanLine(y) + x * 4;
    return {p[2], p[1], p[0]};
}

void Fill(TBitmap& bitmap, TColor color)
{
    bitmap.Canvas()->Brush().Style = TBrushStyle::bsSolid;
    bitmap.Canvas()->Brush().Color = color;
    bitmap.Canvas()->FillRect(Rect(0, 0, bitmap.Width(), bitmap.Height()));
}

::testing::AssertionResult Near(Px got, Px want, int tolerance = 1)
{
    if (std::abs(got.R - want.R) <= tolerance && std::abs(got.G - want.G) <= tolerance &&
        std::abs(got.B - want.B) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.R << "," << got.G << "," << got.B << ") want ("
                                         << want.R << "," << want.G << "," << want.B << ")";
}

class PNCADraw : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PngPictureInitialize(); }
    static void TearDownTestSuite()
    {
        ThemesDone();
        PngPictureFinalize();
    }
};

// A one-row PNG of the given colour type (2 RGB, 6 RGBA) and raw pixel bytes.
std::unique_ptr<TPngPicture> OneRowPng(int width, uint8_t colorType, const std::string& pixels)
{
    pngtest::PngBuilder b;
    b.Header(static_cast<uint32_t>(width), 1, 8, colorType)
        .Chunk("IDAT", pngtest::Deflate(pngtest::UnfilteredRows({pixels})))
        .End();
    auto png = std::make_unique<TPngPicture>();
    pngtest::LoadPng(*png, b.Data());
    return png;
}

TEST_F(PNCADraw, PngWithAlphaPlaneBlendsByItsAlpha)
{
    // (200, 100, 0) at alpha 128 and opaque blue.
    auto png = OneRowPng(2, 6, std::string("\xC8\x64\x00\x80\x00\x00\xFF\xFF", 8));
    TBitmap target(10, 10);
    Fill(target, clWhite);
    DrawGraphicAlpha(png.get(), target.Canvas(), 5, 5);
    // Over black the picture becomes (c * a + 255) div 256 = (100, 50, 0); blended onto
    // white: c' + 255 * (255 - 128) / 255.
    EXPECT_TRUE(Near(PixelAt(target, 5, 5), {100 + 127, 50 + 127, 127}));
    EXPECT_TRUE(Near(PixelAt(target, 6, 5), {0, 0, 255}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 4, 5), {255, 255, 255}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 7, 5), {255, 255, 255}, 0));
}

TEST_F(PNCADraw, BlackIsTheKeyOfPicturesWithoutAlpha)
{
    auto png = OneRowPng(2, 2, std::string("\x00\x00\x00\x01\x00\x00", 6));
    TBitmap target(10, 10);
    Fill(target, clWhite);
    DrawGraphicAlpha(png.get(), target.Canvas(), 5, 5);
    EXPECT_TRUE(Near(PixelAt(target, 5, 5), {255, 255, 255}, 0)) << "pure black is transparent";
    EXPECT_TRUE(Near(PixelAt(target, 6, 5), {1, 0, 0}, 0)) << "(1, 0, 0) stays opaque";
    DrawGraphicAlpha(nullptr, target.Canvas(), 0, 0);   // nothing, no fault
}

TEST_F(PNCADraw, ImageListImagesKeyOnBlackAndSkipBadIndexes)
{
    TBitmap strip(4, 2);
    Fill(strip, RGB3(255, 0, 255));   // the list's mask colour
    strip.Canvas()->SetPixel(0, 0, clBlack);
    strip.Canvas()->SetPixel(1, 0, RGB3(1, 0, 0));
    strip.Canvas()->SetPixel(2, 0, RGB3(0, 200, 0));
    TImageList list(nullptr, 2, 2);
    ASSERT_EQ(list.AddMasked(&strip, RGB3(255, 0, 255)), 0);
    ASSERT_EQ(list.Count(), 2);

    TBitmap target(10, 10);
    Fill(target, clWhite);
    DrawImageListAlpha(&list, target.Canvas(), 5, 5, 0, true);
    EXPECT_TRUE(Near(PixelAt(target, 5, 5), {255, 255, 255}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 6, 5), {1, 0, 0}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 5, 6), {255, 255, 255}, 0)) << "masked pixel";

    for (int bad : {-1, 2}) {
        TBitmap untouched(10, 10);
        Fill(untouched, clWhite);
        DrawImageListAlpha(&list, untouched.Canvas(), 0, 0, bad, true);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                ASSERT_TRUE(Near(PixelAt(untouched, x, y), {255, 255, 255}, 0)) << bad;
    }
    // Disabled: the list greys the image.
    DrawImageListAlpha(&list, target.Canvas(), 0, 0, 1, false);
    Px grey = PixelAt(target, 0, 0);
    EXPECT_EQ(grey.R, grey.G);
    EXPECT_EQ(grey.G, grey.B);
}

TEST_F(PNCADraw, ThemedTextSkipsEmptyRectanglesUnlessMeasuring)
{
    TBitmap target(60, 30);
    target.Canvas()->Font().SetHeight(-14);
    HGDIOBJ old = SelectObject(target.Canvas()->Handle(), target.Canvas()->Font().Handle());
    RECT empty{10, 10, 10, 10};
    EXPECT_EQ(DrawThemedText(target.Canvas()->Handle(), L"Wg", empty, DT_LEFT, clWhite, 0), 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            ASSERT_TRUE(Near(PixelAt(target, x, y), {0, 0, 0}, 0));
    RECT measured{10, 10, 10, 10};
    DrawThemedText(target.Canvas()->Handle(), L"Wg", measured, DT_LEFT | DT_CALCRECT, clWhite, 0);
    EXPECT_GT(measured.right, 10);
    EXPECT_GT(measured.bottom, 10);
    SelectObject(target.Canvas()->Handle(), old);
}

// The pixels of glow text on black: whether some pixel has green (only the white halo has).
struct GlowResult {
    bool anyInk = false;
    bool anyGreen = false;
    bool outside = false;   // ink outside the text rectangle
};

GlowResult DrawGlow(int glow, bool halo)
{
    TBitmap target(100, 50);
    target.Canvas()->Font().SetHeight(-16);
    const TRect box = Rect(30, 10, 70, 35);
    DrawGlowText(target.Canvas(), "WWW", box, DT_LEFT | DT_SINGLELINE | DT_VCENTER, RGB3(255, 0, 0), glow, halo);
    GlowResult r;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) {
            Px p = PixelAt(target, x, y);
            if (p.R == 0 && p.G == 0 && p.B == 0)
                continue;
            r.anyInk = true;
            r.anyGreen |= p.G > 0;
            r.outside |= !box.Contains(Point(x, y));
        }
    return r;
}

TEST_F(PNCADraw, GlowTextLandsInItsRectangleAndHaloNeedsAGlow)
{
    // The platform here draws no glow itself: the text lands inside its rectangle, though the
    // work bitmap is glowSize larger on every side.
    GlowResult plain = DrawGlow(10, false);
    EXPECT_TRUE(plain.anyInk);
    EXPECT_FALSE(plain.anyGreen);
    EXPECT_FALSE(plain.outside);
    GlowResult halo = DrawGlow(5, true);
    EXPECT_TRUE(halo.anyGreen) << "the white halo is drawn with a glow";
    GlowResult noGlow = DrawGlow(0, true);
    EXPECT_TRUE(noGlow.anyInk);
    EXPECT_FALSE(noGlow.anyGreen) << "no halo without a glow";
}

TEST_F(PNCADraw, ClassicTabGradientFrameAndCorners)
{
    const TColor top = RGB3(200, 0, 0), bottom = RGB3(0, 0, 200), frame = RGB3(0, 160, 0);
    TBitmap target(30, 20);
    Fill(target, clWhite);
    PaintClassicFace(target.Canvas(), Rect(0, 0, 30, 20), pbsTab, false, false, false, true, 2, top, bottom,
                     clNone, 255, false);
    // The face is 1 pixel narrower on each side and 2 pixels lower: (1, 2, 29, 22).
    EXPECT_TRUE(Near(PixelAt(target, 0, 10), {255, 255, 255}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 10, 1), {255, 255, 255}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 1, 2), {200, 0, 0}));
    EXPECT_TRUE(Near(PixelAt(target, 15, 12), {100, 0, 100}, 2)) << "half way down the 20 rows";

    Fill(target, clWhite);
    PaintClassicFace(target.Canvas(), Rect(0, 0, 30, 20), pbsTab, false, false, false, true, 2, top, bottom,
                     frame, 255, true);
    const TPoint corners[] = {{1, 2}, {2, 2}, {1, 3}, {28, 2}, {27, 2}, {28, 3}};
    for (TPoint c : corners)
        EXPECT_TRUE(Near(PixelAt(target, c.X, c.Y), {0, 0, 0}, 0)) << c.X << "," << c.Y;
    EXPECT_TRUE(Near(PixelAt(target, 1, 10), {0, 160, 0}, 0)) << "rounded outline";
    EXPECT_TRUE(Near(PixelAt(target, 15, 12), {100, 0, 100}, 2));

    // Black fill colours count as none: only the frame is drawn.
    Fill(target, clWhite);
    PaintClassicFace(target.Canvas(), Rect(0, 0, 30, 20), pbsTab, false, false, false, true, 2, clBlack, clBlack,
                     frame, 255, false);
    EXPECT_TRUE(Near(PixelAt(target, 1, 10), {0, 160, 0}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 15, 12), {255, 255, 255}, 0));
}

TEST_F(PNCADraw, AlphaFaceRampFadesUpwardsFromTheBottomRow)
{
    const int r = 200, g = 100, b = 50;
    TBitmap target(20, 10);
    PaintAlphaFace(target.Canvas(), Rect(0, 0, 20, 10), pbsTab, false, false, false, true, 2, RGB3(r, g, b), clBlack,
                   clNone, 255, false);
    // Row alpha starts at 255 at the bottom and falls by 255 div 10 + 1 = 26 a row; colours are
    // multiplied by it (shifted right by 8) and land on black unchanged.
    for (int row = 2; row < 10; ++row) {
        int a = 255 - 26 * (9 - row);
        EXPECT_TRUE(Near(PixelAt(target, 10, row), {(r * a) >> 8, (g * a) >> 8, (b * a) >> 8})) << row;
    }
    EXPECT_TRUE(Near(PixelAt(target, 10, 1), {0, 0, 0}, 0)) << "above the tab: transparent";
    EXPECT_TRUE(Near(PixelAt(target, 0, 9), {0, 0, 0}, 0));
}

TEST_F(PNCADraw, FacesSkipEmptyRectangles)
{
    using Painter = void (*)(TCanvas*, const TRect&, TPNCAButtonStyle, bool, bool, bool, bool, uint8_t, TColor,
                             TColor, TColor, int, bool);
    for (Painter paint : {&PaintClassicFace, &PaintButtonFace, &PaintAlphaFace}) {
        for (TPNCAButtonStyle style : {pbsButton, pbsToolButton, pbsTab, pbsDivider}) {
            TBitmap target(20, 20);
            Fill(target, clWhite);
            paint(target.Canvas(), Rect(5, 5, 5, 15), style, true, true, true, true, 0, RGB3(1, 2, 3),
                  RGB3(4, 5, 6), RGB3(7, 8, 9), 128, true);
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 20; ++x)
                    ASSERT_TRUE(Near(PixelAt(target, x, y), {255, 255, 255}, 0)) << int(style);
        }
    }
}

TEST_F(PNCADraw, ClassicDropDownArrowAndDivider)
{
    TBitmap target(40, 20);
    Fill(target, clWhite);
    target.Canvas()->Font().SetColor(RGB3(0, 0, 255));
    PaintClassicFace(target.Canvas(), Rect(0, 0, 40, 20), pbsDropDownToolButton, false, false, false, true, 2,
                     clNone, clNone, clNone, 255, false);
    // Triangle (28, 8), (31, 11), (34, 8) in the font colour.
    EXPECT_TRUE(Near(PixelAt(target, 31, 9), {0, 0, 255}, 0));
    EXPECT_TRUE(Near(PixelAt(target, 31, 13), {255, 255, 255}, 0));
    // Disabled tool buttons draw nothing at all.
    Fill(target, clWhite);
    PaintClassicFace(target.Canvas(), Rect(0, 0, 40, 20), pbsDropDownToolButton, false, false, false, false, 2,
                     clNone, clNone, clNone, 255, false);
    EXPECT_TRUE(Near(PixelAt(target, 31, 9), {255, 255, 255}, 0));
}

TEST_F(PNCADraw, HlsModelAgreesWithThePlatform)
{
    for (TColor c : {RGB3(255, 0, 0), RGB3(0xC0, 0xE0, 0xFF), RGB3(0xFF, 0xB0, 0x00), RGB3(12, 200, 90),
                     RGB3(128, 128, 128), RGB3(3, 2, 250), RGB3(250, 250, 5)}) {
        WORD h, l, s;
        ColorRGBToHLS(static_cast<COLORREF>(c), &h, &l, &s);
        THLS ours = ColorRGBToHLS(c);
        EXPECT_EQ(ours, (THLS{h, l, s})) << std::hex << c;
        EXPECT_EQ(static_cast<COLORREF>(ColorHLSToRGB(ours)), ColorHLSToRGB(h, l, s)) << std::hex << c;
    }
}

}  // namespace
