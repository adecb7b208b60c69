// The drawing side of Graphics.h over GDI (Windows builds only): font handles, the canvas's
// drawing calls and the 32-bit bitmap.
#include "Graphics.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Puts the canvas's font, brush and pen into its device context for one drawing call, and
// takes the previous objects back afterwards.
class TCanvasState {
public:
    TCanvasState(HDC dc, TFont& font, const TBrush& brush, const TPen& pen) : FDC(dc)
    {
        FOldFont = SelectObject(dc, font.Handle());
        if (brush.Style == TBrushStyle::bsClear) {
            FOldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
            FOldBkMode = SetBkMode(dc, TRANSPARENT);
        } else {
            FBrush = CreateSolidBrush(ColorToRGB(brush.Color));
            FOldBrush = SelectObject(dc, FBrush);
            FOldBkMode = SetBkMode(dc, OPAQUE);
            FOldBkColor = SetBkColor(dc, ColorToRGB(brush.Color));
        }
        FPen = CreatePen(PS_SOLID, pen.Width, ColorToRGB(pen.Color));
        FOldPen = SelectObject(dc, FPen);
        FOldTextColor = SetTextColor(dc, ColorToRGB(font.Color()));
    }
    ~TCanvasState()
    {
        SelectObject(FDC, FOldFont);
        SelectObject(FDC, FOldBrush);
        SelectObject(FDC, FOldPen);
        SetBkMode(FDC, FOldBkMode);
        if (FBrush != nullptr)
            SetBkColor(FDC, FOldBkColor);
        SetTextColor(FDC, FOldTextColor);
        if (FBrush != nullptr)
            DeleteObject(FBrush);
        DeleteObject(FPen);
    }
    TCanvasState(const TCanvasState&) = delete;
    TCanvasState& operator=(const TCanvasState&) = delete;

private:
    HDC FDC;
    HGDIOBJ FOldFont, FOldBrush, FOldPen;
    HBRUSH FBrush = nullptr;
    HPEN FPen = nullptr;
    int FOldBkMode;
    COLORREF FOldBkColor = 0;
    COLORREF FOldTextColor;
};

RECT ToRECT(const TRect& r) { return RECT{r.Left, r.Top, r.Right, r.Bottom}; }

// The description of the bitmaps' own pixels: 32 bits (blue, green, red, unused), rows top-down.
BITMAPINFO TopDown32BitInfo(int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

// ---- TFont -----------------------------------------------------------------------------------

plat::FontHandle TFont::Handle()
{
    if (FHandle == nullptr) {
        LOGFONTW lf{};
        lf.lfHeight = FHeight;
        lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (FStyle & fsItalic) ? 1 : 0;
        lf.lfUnderline = (FStyle & fsUnderline) ? 1 : 0;
        lf.lfStrikeOut = (FStyle & fsStrikeOut) ? 1 : 0;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, reinterpret_cast<const wchar_t*>(FName.c_str()), LF_FACESIZE);
        FHandle = CreateFontIndirectW(&lf);
    }
    return FHandle;
}

// ---- TCanvas ---------------------------------------------------------------------------------

void TCanvas::FillRect(const TRect& rect)
{
    if (FBrush.Style == TBrushStyle::bsClear)
        return;
    HBRUSH brush = CreateSolidBrush(ColorToRGB(FBrush.Color));
    RECT r = ToRECT(rect);
    ::FillRect(FHandle, &r, brush);
    DeleteObject(brush);
}

void TCanvas::FrameRect(const TRect& rect)
{
    HBRUSH brush = CreateSolidBrush(ColorToRGB(FBrush.Color));
    RECT r = ToRECT(rect);
    ::FrameRect(FHandle, &r, brush);
    DeleteObject(brush);
}

void TCanvas::Rectangle(const TRect& rect)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    ::Rectangle(FHandle, rect.Left, rect.Top, rect.Right, rect.Bottom);
}

void TCanvas::RoundRect(const TRect& rect, int ellipseWidth, int ellipseHeight)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    ::RoundRect(FHandle, rect.Left, rect.Top, rect.Right, rect.Bottom, ellipseWidth, ellipseHeight);
}

void TCanvas::Polygon(const TPoint* points, int count)
{
    std::vector<POINT> p(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        p[static_cast<size_t>(i)] = POINT{points[i].X, points[i].Y};
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    ::Polygon(FHandle, p.data(), count);
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(FHandle, x, y, nullptr); }

void TCanvas::LineTo(int x, int y)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    ::LineTo(FHandle, x, y);
}

void TCanvas::SetPixel(int x, int y, TColor color) { ::SetPixel(FHandle, x, y, ColorToRGB(color)); }

TColor TCanvas::GetPixel(int x, int y) const { return static_cast<TColor>(::GetPixel(FHandle, x, y)); }

int TCanvas::TextWidth(const std::string& text)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    SIZE size{};
    GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &size);
    return size.cx;
}

int TCanvas::TextHeight(const std::string& text)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    SIZE size{};
    GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &size);
    return size.cy;
}

void TCanvas::WriteText(int x, int y, const std::string& text)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    TextOutA(FHandle, x, y, text.data(), static_cast<int>(text.size()));
}

void TCanvas::WriteText(int x, int y, const std::u16string& text)
{
    TCanvasState state(FHandle, FFont, FBrush, FPen);
    TextOutW(FHandle, x, y, reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()));
}

void TCanvas::Draw(int x, int y, TGraphic* graphic)
{
    if (graphic == nullptr || graphic->Empty())
        return;
    graphic->Draw(this, Rect(x, y, x + graphic->Width(), y + graphic->Height()));
}

// ---- TBitmap ---------------------------------------------------------------------------------

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::~TBitmap() { Release(); }

void TBitmap::Release()
{
    if (FDC != nullptr) {
        SelectObject(FDC, static_cast<HGDIOBJ>(FOldBitmap));
        DeleteDC(FDC);
    }
    if (FBitmap != nullptr)
        DeleteObject(FBitmap);
    FDC = nullptr;
    FBitmap = nullptr;
    FBits = nullptr;
    FCanvas.SetHandle(nullptr);
}

void TBitmap::SetSize(int width, int height)
{
    if (width == FWidth && height == FHeight && FBitmap != nullptr)
        return;
    Release();
    FWidth = std::max(width, 0);
    FHeight = std::max(height, 0);
    FDC = CreateCompatibleDC(nullptr);
    if (FDC == nullptr)
        throw EOutOfMemory("Out of system resources");
    if (FWidth > 0 && FHeight > 0) {
        const BITMAPINFO info = TopDown32BitInfo(FWidth, FHeight);
        void* bits = nullptr;
        FBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (FBitmap == nullptr) {
            Release();
            throw EOutOfMemory("Out of system resources");
        }
        FBits = static_cast<uint8_t*>(bits);
        FOldBitmap = SelectObject(FDC, FBitmap);
    }
    FCanvas.SetHandle(FDC);
}

uint8_t* TBitmap::ScanLine(int y)
{
    if (FBits == nullptr || y < 0 || y >= FHeight)
        throw EInvalidOperation(Format("Scan line index out of range (%d)", y));
    GdiFlush();
    return FBits + static_cast<size_t>(y) * static_cast<size_t>(FWidth) * 4;
}

void TBitmap::Draw(TCanvas* canvas, const TRect& rect)
{
    if (FBitmap == nullptr)
        return;
    StretchBlt(canvas->Handle(), rect.Left, rect.Top, rect.Width(), rect.Height(), FDC, 0, 0, FWidth,
               FHeight, SRCCOPY);
}

void TBitmap::LoadFromStream(TStream&) { throw EInvalidOperation("A bitmap cannot be read from a stream"); }

void TBitmap::SaveToStream(TStream&) { throw EInvalidOperation("A bitmap cannot be written to a stream"); }

void TBitmap::LoadFromClipboardFormat(uint16_t format, uintptr_t data, plat::PaletteHandle palette)
{
    HBITMAP source = reinterpret_cast<HBITMAP>(data);
    BITMAP description{};
    if (format != CF_BITMAP || source == nullptr || GetObjectType(source) != OBJ_BITMAP ||
        !GetObject(source, sizeof description, &description))
        throw EInvalidOperation("Unsupported clipboard format");
    const int width = description.bmWidth, height = std::abs(description.bmHeight);
    // Read into a buffer first, so that a bitmap that cannot be read leaves this one as it was.
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    BITMAPINFO info = TopDown32BitInfo(width, height);
    HDC dc = CreateCompatibleDC(nullptr);
    HPALETTE oldPalette = nullptr;
    if (palette != nullptr) {
        oldPalette = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    const int rows = height > 0 ? GetDIBits(dc, source, 0, height, pixels.data(), &info, DIB_RGB_COLORS) : 0;
    if (oldPalette != nullptr)
        SelectPalette(dc, oldPalette, FALSE);
    DeleteDC(dc);
    if (rows != height)
        throw EInvalidOperation("The clipboard bitmap cannot be read");
    SetSize(width, height);
    if (FBits != nullptr) {
        GdiFlush();
        std::memcpy(FBits, pixels.data(), pixels.size());
    }
}

void TBitmap::SaveToClipboardFormat(uint16_t& format, uintptr_t& data, plat::PaletteHandle& palette)
{
    if (FBitmap == nullptr)
        throw EInvalidOperation("An empty bitmap has no clipboard format");
    const BITMAPINFO info = TopDown32BitInfo(FWidth, FHeight);
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (copy == nullptr)
        throw EOutOfMemory("Out of system resources");
    GdiFlush();
    std::memcpy(bits, FBits, static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight) * 4);
    format = CF_BITMAP;
    data = reinterpret_cast<uintptr_t>(copy);
    palette = GetPalette();
}
