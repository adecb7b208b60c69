// Drawing pictures into 32-bit memory sections with the drawing system (Windows build only):
// every pixel is checked against the blending formula, the stretch and the transparent colour.
#include "PngTestEnvironment.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>

using namespace pngtest;

namespace {

constexpr int kSurfaceWidth = 100, kSurfaceHeight = 60;

// A memory context with a 32-bit top-down section, filled with a pattern.
class Surface {
public:
    Surface()
    {
        FDC = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = kSurfaceWidth;
        info.bmiHeader.biHeight = -kSurfaceHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        FBitmap = CreateDIBSection(FDC, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&FBits), nullptr, 0);
        FOld = SelectObject(FDC, FBitmap);
        for (int y = 0; y < kSurfaceHeight; ++y) {
            for (int x = 0; x < kSurfaceWidth; ++x) {
                FBits[y * kSurfaceWidth + x] = uint32_t((x * 7) & 0xFF) | uint32_t((y * 11) & 0xFF) << 8 |
                                               uint32_t((x + y) * 3 & 0xFF) << 16;
            }
        }
    }
    ~Surface()
    {
        SelectObject(FDC, FOld);
        DeleteObject(FBitmap);
        DeleteDC(FDC);
    }
    HDC DC() const { return FDC; }
    // Blue, green, red as 0x00RRGGBB.
    uint32_t At(int x, int y) const { return FBits[y * kSurfaceWidth + x] & 0xFFFFFF; }
    std::vector<uint32_t> Pixels() const
    {
        GdiFlush();
        return std::vector<uint32_t>(FBits, FBits + kSurfaceWidth * kSurfaceHeight);
    }

private:
    HDC FDC = nullptr;
    HBITMAP FBitmap = nullptr;
    HGDIOBJ FOld = nullptr;
    uint32_t* FBits = nullptr;
};

void LoadFixture(TPngPicture& picture, const char* name)
{
    LoadPng(picture, FixtureBytes(name));
}

uint32_t Blend(uint32_t source, uint32_t alpha, uint32_t target)
{
    return (source * alpha + (255 - alpha) * target + 255) / 256;
}

// Draws picture into rect of a fresh surface and counts the surface's pixels that differ from
// expected(ix, iy, target): ix, iy the pixel's place relative to the rectangle, target the
// pixel before drawing (blue in the low byte).
int DrawAndCountWrong(TPngPicture& picture, const TRect& rect,
                      const std::function<uint32_t(int ix, int iy, uint32_t target)>& expected)
{
    Surface surface;
    const std::vector<uint32_t> before = surface.Pixels();
    TCanvas canvas(surface.DC());
    picture.Draw(&canvas, rect);
    const std::vector<uint32_t> after = surface.Pixels();
    int wrong = 0;
    for (int y = 0; y < kSurfaceHeight; ++y) {
        for (int x = 0; x < kSurfaceWidth; ++x) {
            const size_t at = size_t(y) * kSurfaceWidth + x;
            wrong += (after[at] & 0xFFFFFF) != expected(x - rect.Left, y - rect.Top, before[at] & 0xFFFFFF);
        }
    }
    return wrong;
}

// The red, green, blue, alpha of the image pixel (x, y), or nullptr outside the image.
const uint8_t* ImagePixel(const std::vector<uint8_t>& rgba, const TPngPicture& picture, int x, int y)
{
    if (x < 0 || y < 0 || x >= picture.Width() || y >= picture.Height()) {
        return nullptr;
    }
    return &rgba[(size_t(y) * picture.Width() + x) * 4];
}

uint32_t Opaque(const uint8_t* p)
{
    return uint32_t(p[2] | p[1] << 8 | p[0] << 16);
}

// Draws a picture with bit transparency at (10, 12), each pixel scale by scale, and counts the
// surface's pixels that differ from the image's colour where transparent(x, y) is false and
// from the target where it is true (or outside the image).
int DrawKeyedAndCountWrong(TPngPicture& picture, int scale, const std::function<bool(int x, int y)>& transparent)
{
    const std::vector<uint8_t> rgba = RgbaPixels(picture);
    const TRect rect = Rect(10, 12, 10 + scale * picture.Width(), 12 + scale * picture.Height());
    return DrawAndCountWrong(picture, rect, [&](int ix, int iy, uint32_t target) {
        const uint8_t* p = ix >= 0 && iy >= 0 ? ImagePixel(rgba, picture, ix / scale, iy / scale) : nullptr;
        return p && !transparent(ix / scale, iy / scale) ? Opaque(p) : target;
    });
}

TEST(PngDraw, PartialTransparencyBlendsEveryPixelAtTheImagesOwnSize)
{
    for (const char* name : {"im-rgba8.png", "im-ga8.png", "pil-p-trns-partial.png", "im-rgba16-i.png"}) {
        TPngPicture picture;
        LoadFixture(picture, name);
        ASSERT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmPartial) << name;
        const std::vector<uint8_t> rgba = RgbaPixels(picture);
        const TRect twice = Rect(5, 7, 5 + 2 * picture.Width(), 7 + 2 * picture.Height());
        EXPECT_EQ(DrawAndCountWrong(picture, twice,
                                    [&](int ix, int iy, uint32_t target) {
                                        const uint8_t* p = ImagePixel(rgba, picture, ix, iy);
                                        if (!p) {
                                            return target;
                                        }
                                        return Blend(p[2], p[3], target & 0xFF) |
                                               Blend(p[1], p[3], target >> 8 & 0xFF) << 8 |
                                               Blend(p[0], p[3], target >> 16) << 16;
                                    }),
                  0)
            << name;
    }
}

TEST(PngDraw, AnOpaqueImageIsStretchedOverTheRectangle)
{
    TPngPicture picture;
    LoadFixture(picture, "im-rgb8.png");
    ASSERT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmNone);
    const std::vector<uint8_t> rgba = RgbaPixels(picture);
    const TRect twice = Rect(3, 4, 3 + 2 * picture.Width(), 4 + 2 * picture.Height());
    EXPECT_EQ(DrawAndCountWrong(picture, twice,
                                [&](int ix, int iy, uint32_t target) {
                                    const uint8_t* p = ix >= 0 && iy >= 0 ? ImagePixel(rgba, picture, ix / 2, iy / 2)
                                                                          : nullptr;
                                    return p ? Opaque(p) : target;
                                }),
              0);
}

TEST(PngDraw, TheTransparentColourLeavesTheTargetAndTheRestIsCopied)
{
    for (const char* name : {"pil-rgb-trns.png", "pil-p-trns-bit.png", "pil-g-trns.png"}) {
        TPngPicture picture;
        LoadFixture(picture, name);
        ASSERT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmBit) << name;
        const std::vector<uint8_t> rgba = RgbaPixels(picture);
        int transparent = 0;
        for (size_t i = 3; i < rgba.size(); i += 4) {
            transparent += rgba[i] == 0;
        }
        EXPECT_GT(transparent, 0) << name;
        // At the image's own size, and stretched to twice it (each pixel covers two by two).
        for (int scale : {1, 2}) {
            EXPECT_EQ(DrawKeyedAndCountWrong(picture, scale,
                                             [&](int x, int y) { return ImagePixel(rgba, picture, x, y)[3] == 0; }),
                      0)
                << name << " scale " << scale;
        }
    }
}

TEST(PngDraw, TheColourKeyDecidedOnTheStoredSamplesIsTheOneDrawn)
{
    for (const TColourKeyCase& c : ColourKeyCases()) {
        TPngPicture picture;
        LoadPng(picture, c.Png);
        for (int scale : {1, 3}) {
            EXPECT_EQ(DrawKeyedAndCountWrong(picture, scale,
                                             [&](int x, int y) { return c.Transparent[size_t(y) * picture.Width() + x]; }),
                      0)
                << c.Name << " scale " << scale;
        }
    }
}

TEST(PngDraw, PaletteHandlesForGreyAndPaletteImagesOnly)
{
    TPngPicture picture;
    LoadFixture(picture, "im-p4.png");
    HPALETTE palette = picture.GetPalette();
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(picture.GetPalette(), palette);  // made once
    PALETTEENTRY entry{};
    ASSERT_EQ(GetPaletteEntries(palette, 1, 1, &entry), 1u);
    const TRGBQuad& colour = picture.Header()->BitmapInfo.bmiColors[1];
    EXPECT_EQ(entry.peRed, colour.rgbRed);
    EXPECT_EQ(entry.peGreen, colour.rgbGreen);
    EXPECT_EQ(entry.peBlue, colour.rgbBlue);
    LoadFixture(picture, "im-rgba8.png");
    EXPECT_EQ(picture.GetPalette(), nullptr);
}

// A bottom-up section of the given bits per pixel; colours (0x00RRGGBB) fill a palette.
HBITMAP MakeSection(int width, int height, int bits, const std::vector<uint32_t>& colours, void** pixels)
{
    std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = WORD(bits);
    info->bmiHeader.biClrUsed = DWORD(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        std::memcpy(&info->bmiColors[i], &colours[i], 4);
    }
    return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, pixels, nullptr, 0);
}

TEST(PngDraw, BitmapsBecomeRgbOrPaletteImages)
{
    // 24 bits: colour type 2, bit depth 8, no palette chunk; rows bottom-up in the bitmap.
    void* bits = nullptr;
    HBITMAP rgb = MakeSection(3, 2, 24, {}, &bits);
    ASSERT_NE(rgb, nullptr);
    const uint8_t rows[2][12] = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}, {10, 20, 30, 40, 50, 60, 70, 80, 90, 0, 0, 0}};
    std::memcpy(bits, rows, sizeof rows);
    GdiFlush();
    TPngPicture picture;
    picture.AssignHandle(rgb, false, 0);
    EXPECT_EQ(picture.Header()->ColorType, 2);
    EXPECT_EQ(picture.Header()->BitDepth, 8);
    EXPECT_EQ(picture.Chunks().ItemFromClass<TChunkPLTE>(), nullptr);
    EXPECT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmNone);
    EXPECT_EQ(picture.GetPixels(0, 1), 3 | 2 << 8 | 1 << 16);      // the bottom row
    EXPECT_EQ(picture.GetPixels(2, 0), 90 | 80 << 8 | 70 << 16);   // the top row
    TPngPicture again;
    LoadPng(again, SavePng(picture));
    EXPECT_EQ(RgbaPixels(again), RgbaPixels(picture));
    DeleteObject(rgb);

    // 8 bits with a transparent colour: colour type 3, the palette, and bit transparency.
    std::vector<uint32_t> colours(256);
    for (uint32_t i = 0; i < 256; ++i) {
        colours[i] = i << 16 | (255 - i) << 8 | (i * 3 & 0xFF);
    }
    HBITMAP indexed = MakeSection(4, 1, 8, colours, &bits);
    ASSERT_NE(indexed, nullptr);
    const uint8_t indexes[4] = {0, 5, 9, 5};
    std::memcpy(bits, indexes, 4);
    GdiFlush();
    const TColor five = TColor(5 | 250 << 8 | 15 << 16);  // red 5, green 250, blue 15
    picture.AssignHandle(indexed, true, five);
    EXPECT_EQ(picture.Header()->ColorType, 3);
    EXPECT_EQ(picture.Header()->BitDepth, 8);
    ASSERT_NE(picture.Chunks().ItemFromClass<TChunkPLTE>(), nullptr);
    EXPECT_EQ(picture.Chunks().ItemFromClass<TChunkPLTE>()->Count, 256u);
    EXPECT_EQ(picture.TransparencyMode(), TPNGTransparencyMode::ptmBit);
    EXPECT_EQ(picture.TransparentColor(), five);
    const std::vector<uint8_t> rgba = RgbaPixels(picture);
    EXPECT_EQ(std::vector<uint8_t>(rgba.begin(), rgba.begin() + 8), (std::vector<uint8_t>{0, 255, 0, 255, 5, 250, 15, 0}));
    LoadPng(again, SavePng(picture));
    EXPECT_EQ(RgbaPixels(again), rgba);
    DeleteObject(indexed);

    EXPECT_THROW(picture.AssignHandle(nullptr, false, 0), EInvalidOperation);
    EXPECT_THROW(picture.AssignHandle(reinterpret_cast<plat::BitmapHandle>(GetStockObject(WHITE_BRUSH)), false, 0),
                 EInvalidOperation);
}

// Copies into the class layer's bitmap and back keep every colour, the size and a single
// transparent colour; an empty picture cannot be copied into a bitmap.
TEST(PngDraw, PicturesCopyIntoAndFromBitmaps)
{
    const struct {
        const char* name;
        bool bitTransparent;
    } cases[] = {
        {"im-rgb8.png", false}, {"im-p4.png", false},          {"im-g2.png", false},
        {"im-rgba8.png", false}, {"pil-p-trns-bit.png", true}, {"pil-rgb-trns.png", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPngPicture picture;
        LoadFixture(picture, c.name);
        const std::vector<uint8_t> rgba = RgbaPixels(picture);
        TBitmap bitmap(3, 3);
        bitmap.SetTransparent(!c.bitTransparent);  // replaced by the copy
        bitmap.Assign(&picture);
        ASSERT_EQ(bitmap.Width(), picture.Width());
        ASSERT_EQ(bitmap.Height(), picture.Height());
        EXPECT_EQ(bitmap.Transparent(), c.bitTransparent);
        EXPECT_EQ(bitmap.TransparentColor(), c.bitTransparent ? picture.TransparentColor() : clNone);
        int wrong = 0;
        for (int y = 0; y < bitmap.Height(); ++y) {
            const uint8_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < bitmap.Width(); ++x) {
                const uint8_t* p = &rgba[(size_t(y) * picture.Width() + x) * 4];
                wrong += row[x * 4 + 2] != p[0] || row[x * 4 + 1] != p[1] || row[x * 4] != p[2];
            }
        }
        EXPECT_EQ(wrong, 0);

        TPngPicture back;
        back.Assign(&bitmap);
        EXPECT_EQ(back.Header()->ColorType, 2);
        EXPECT_EQ(back.TransparencyMode(),
                  c.bitTransparent ? TPNGTransparencyMode::ptmBit : TPNGTransparencyMode::ptmNone);
        if (c.bitTransparent) {
            EXPECT_EQ(back.TransparentColor(), picture.TransparentColor());
        }
        const std::vector<uint8_t> again = RgbaPixels(back);
        ASSERT_EQ(again.size(), rgba.size());
        wrong = 0;
        for (size_t i = 0; i < rgba.size(); i += 4) {
            wrong += std::memcmp(&again[i], &rgba[i], 3) != 0;
        }
        EXPECT_EQ(wrong, 0);
    }

    TPngPicture empty;
    TBitmap bitmap(2, 2);
    EXPECT_THROW(bitmap.Assign(&empty), EConvertError);
    EXPECT_EQ(bitmap.Width(), 2);
    TBitmap none;
    TPngPicture picture;
    LoadFixture(picture, "im-rgb8.png");
    picture.Assign(&none);
    EXPECT_TRUE(picture.Empty());
}

}  // namespace

namespace {

// Opens the clipboard for a window of its own (the clipboard takes data only from an owner).
class ClipboardOwner {
public:
    ClipboardOwner()
    {
        FWindow = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        FOpen = FWindow != nullptr && OpenClipboard(FWindow);
    }
    ~ClipboardOwner()
    {
        if (FOpen) {
            CloseClipboard();
        }
        if (FWindow) {
            DestroyWindow(FWindow);
        }
    }
    bool Open() const { return FOpen; }

private:
    HWND FWindow = nullptr;
    bool FOpen = false;
};

// A picture put on the system clipboard in its clipboard form and read back from there keeps its
// size and colours; partial and bit transparency are blended over the black of the new bitmap.
TEST(PngDraw, PicturesGoThroughTheClipboardAsBitmaps)
{
    for (const char* name : {"im-rgb8.png", "im-p4.png", "im-g16.png", "im-rgba8.png", "pil-p-trns-bit.png"}) {
        SCOPED_TRACE(name);
        TPngPicture picture;
        LoadFixture(picture, name);
        const std::vector<uint8_t> rgba = RgbaPixels(picture);
        uint16_t format = 0;
        uintptr_t data = 0;
        plat::PaletteHandle palette = reinterpret_cast<plat::PaletteHandle>(1);
        picture.SaveToClipboardFormat(format, data, palette);
        EXPECT_EQ(format, CF_BITMAP);
        ASSERT_NE(data, 0u);
        EXPECT_EQ(palette, nullptr);

        TPngPicture back;
        {
            ClipboardOwner clipboard;
            ASSERT_TRUE(clipboard.Open());
            ASSERT_TRUE(EmptyClipboard());
            ASSERT_NE(SetClipboardData(format, reinterpret_cast<HANDLE>(data)), nullptr);  // owns it now
            HANDLE onClipboard = GetClipboardData(CF_BITMAP);
            ASSERT_NE(onClipboard, nullptr);
            back.LoadFromClipboardFormat(CF_BITMAP, reinterpret_cast<uintptr_t>(onClipboard), nullptr);
            EmptyClipboard();
        }
        ASSERT_EQ(back.Width(), picture.Width());
        ASSERT_EQ(back.Height(), picture.Height());
        EXPECT_EQ(back.Header()->ColorType, 2);
        EXPECT_EQ(back.TransparencyMode(), TPNGTransparencyMode::ptmNone);
        const std::vector<uint8_t> again = RgbaPixels(back);
        ASSERT_EQ(again.size(), rgba.size());
        int wrong = 0;
        for (size_t i = 0; i < rgba.size(); i += 4) {
            for (size_t c = 0; c < 3; ++c) {
                wrong += again[i + c] != Blend(rgba[i + c], rgba[i + 3], 0);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// A bitmap of another depth (monochrome, with a palette passed along) is read at its size; other
// formats, handles that are no bitmap and an empty picture are refused, and a refused load keeps
// the image.
TEST(PngDraw, ClipboardFormsThatAreNoBitmapAreRefused)
{
    const uint8_t bits[4] = {0x01, 0, 0, 0};   // two pixels of a 1-bit bitmap: index 0, then 1
    struct {
        LOGPALETTE header;
        PALETTEENTRY second;
    } colours{{0x300, 2, {{10, 20, 30, 0}}}, {200, 150, 100, 0}};
    HPALETTE palette = CreatePalette(&colours.header);
    HBITMAP mono = CreateBitmap(16, 1, 1, 1, bits);
    TPngPicture picture;
    picture.LoadFromClipboardFormat(CF_BITMAP, reinterpret_cast<uintptr_t>(mono), palette);
    ASSERT_EQ(picture.Width(), 16);
    EXPECT_EQ(picture.GetPixels(0, 0), TColor(0x000000));
    EXPECT_EQ(picture.GetPixels(7, 0), TColor(0xFFFFFF));
    DeleteObject(mono);
    DeleteObject(palette);

    const TColor before = picture.GetPixels(7, 0);
    EXPECT_THROW(picture.LoadFromClipboardFormat(CF_TEXT, 1, nullptr), EInvalidOperation);
    EXPECT_THROW(picture.LoadFromClipboardFormat(CF_BITMAP, 0, nullptr), EInvalidOperation);
    EXPECT_THROW(picture.LoadFromClipboardFormat(CF_BITMAP, reinterpret_cast<uintptr_t>(GetStockObject(WHITE_BRUSH)),
                                                 nullptr),
                 EInvalidOperation);
    EXPECT_EQ(picture.Width(), 16);
    EXPECT_EQ(picture.GetPixels(7, 0), before);

    TPngPicture empty;
    uint16_t format = 0;
    uintptr_t data = 0;
    plat::PaletteHandle none = nullptr;
    EXPECT_THROW(empty.SaveToClipboardFormat(format, data, none), EInvalidOperation);
    EXPECT_EQ(data, 0u);
}

}  // namespace
