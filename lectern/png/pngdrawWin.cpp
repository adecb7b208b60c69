// Drawing a PNG picture with the drawing system (the GDI adaptor of the portable store).
//
// By the transparency mode:
//  - none: the bitmap is stretched onto the rectangle;
//  - bit: the pixels of the colour key are masked out and the rest is combined with the target;
//    the mask is the header's key mask (decided on the stored samples while decoding) or, for an
//    image without one (built from a bitmap, or given its key as a colour), the pixels of the
//    transparent colour by the system's colour-to-monochrome conversion;
//  - partial: the target's pixels under the image are copied into a 32-bit bitmap (TBitmap),
//    the image is blended over them per pixel (TPngPicture::BlendOnto, platform-free) and the
//    bitmap is copied back at the image's own size.
// Built in the Windows tree only; the host build's pictures refuse to draw (pngdraw.cpp).
#include "pngpicture.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const BITMAPINFO* AsBitmapInfo(const TChunkIHDR& header)
{
    return reinterpret_cast<const BITMAPINFO*>(&header.BitmapInfo);
}

void DrawTransparentBitmap(HDC dc, const TChunkIHDR& header, const TRect& rect, COLORREF transparent)
{
    const int width = static_cast<int>(header.Width), height = static_cast<int>(header.Height);
    const int w = rect.Width(), h = rect.Height();
    if (w <= 0 || h <= 0) {
        return;
    }
    HDC imageDC = CreateCompatibleDC(dc);
    HDC maskDC = CreateCompatibleDC(dc);
    HDC inverseDC = CreateCompatibleDC(dc);
    HDC workDC = CreateCompatibleDC(dc);
    HBITMAP image = CreateDIBitmap(dc, &AsBitmapInfo(header)->bmiHeader, CBM_INIT, header.ImageData.data(),
                                   AsBitmapInfo(header), DIB_RGB_COLORS);
    HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
    HBITMAP inverse = CreateBitmap(w, h, 1, 1, nullptr);
    HBITMAP work = CreateCompatibleBitmap(dc, w, h);
    HDC keyDC = nullptr;
    HBITMAP key = nullptr;
    HGDIOBJ oldKey = nullptr;
    if (!header.KeyMask.empty()) {
        keyDC = CreateCompatibleDC(dc);
        key = CreateBitmap(width, height, 1, 1, header.KeyMask.data());
        if (keyDC && key) {
            oldKey = SelectObject(keyDC, key);
        }
    }
    const bool keyReady = header.KeyMask.empty() || (keyDC && key);
    if (imageDC && maskDC && inverseDC && workDC && image && mask && inverse && work && keyReady) {
        HGDIOBJ oldImage = SelectObject(imageDC, image);
        HGDIOBJ oldMask = SelectObject(maskDC, mask);
        HGDIOBJ oldInverse = SelectObject(inverseDC, inverse);
        HGDIOBJ oldWork = SelectObject(workDC, work);
        SetStretchBltMode(maskDC, COLORONCOLOR);
        SetStretchBltMode(imageDC, COLORONCOLOR);
        SetStretchBltMode(workDC, COLORONCOLOR);

        if (keyDC) {
            // The key mask, monochrome to monochrome: its bits as they are (1, white: transparent).
            StretchBlt(maskDC, 0, 0, w, h, keyDC, 0, 0, width, height, SRCCOPY);
        } else {
            // Pixels of the source's background colour become white in a monochrome target.
            SetBkColor(imageDC, transparent);
            StretchBlt(maskDC, 0, 0, w, h, imageDC, 0, 0, width, height, SRCCOPY);
        }
        BitBlt(inverseDC, 0, 0, w, h, maskDC, 0, 0, NOTSRCCOPY);

        // Monochrome into colour: white becomes the background (white), black the text colour.
        SetBkColor(workDC, RGB(255, 255, 255));
        SetTextColor(workDC, RGB(0, 0, 0));
        SetBkColor(imageDC, RGB(255, 255, 255));
        SetTextColor(imageDC, RGB(0, 0, 0));
        BitBlt(workDC, 0, 0, w, h, dc, rect.Left, rect.Top, SRCCOPY);
        BitBlt(workDC, 0, 0, w, h, maskDC, 0, 0, SRCAND);
        StretchBlt(imageDC, 0, 0, width, height, inverseDC, 0, 0, w, h, SRCAND);
        StretchBlt(workDC, 0, 0, w, h, imageDC, 0, 0, width, height, SRCPAINT);
        BitBlt(dc, rect.Left, rect.Top, w, h, workDC, 0, 0, SRCCOPY);

        if (keyDC) {
            SelectObject(keyDC, oldKey);
        }
        SelectObject(imageDC, oldImage);
        SelectObject(maskDC, oldMask);
        SelectObject(inverseDC, oldInverse);
        SelectObject(workDC, oldWork);
    }
    for (HBITMAP bitmap : {image, mask, inverse, work, key}) {
        if (bitmap) {
            DeleteObject(bitmap);
        }
    }
    for (HDC memory : {imageDC, maskDC, inverseDC, workDC, keyDC}) {
        if (memory) {
            DeleteDC(memory);
        }
    }
}

}  // namespace

void TPngPicture::Draw(TCanvas* canvas, const TRect& rect)
{
    if (!HeaderPresent() || Header()->ImageData.empty() || !canvas) {
        return;   // nothing to draw: no header, or a header whose image was refused
    }
    HDC dc = canvas->Handle();
    const TChunkIHDR& header = *Header();
    const int width = static_cast<int>(header.Width), height = static_cast<int>(header.Height);
    switch (TransparencyMode()) {
    case TPNGTransparencyMode::ptmNone:
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchDIBits(dc, rect.Left, rect.Top, rect.Width(), rect.Height(), 0, 0, width, height,
                      header.ImageData.data(), AsBitmapInfo(header), DIB_RGB_COLORS, SRCCOPY);
        break;
    case TPNGTransparencyMode::ptmBit:
        DrawTransparentBitmap(dc, header, rect, ColorToRGB(TransparentColor()));
        break;
    case TPNGTransparencyMode::ptmPartial: {
        std::unique_ptr<TBitmap> section;
        try {
            section = std::make_unique<TBitmap>(width, height);
        } catch (const EOutOfMemory&) {
            throw EPNGOutMemory(EPNGOutMemoryText);
        }
        HDC memory = section->Canvas()->Handle();
        BitBlt(memory, 0, 0, width, height, dc, rect.Left, rect.Top, SRCCOPY);
        BlendOnto(section->ScanLine(0), size_t(width) * 4);
        BitBlt(dc, rect.Left, rect.Top, width, height, memory, 0, 0, SRCCOPY);
        break;
    }
    }
}

plat::PaletteHandle TPngPicture::GetPalette()
{
    if (!HeaderPresent()) {
        return nullptr;
    }
    const TChunkIHDR& header = *Header();
    if (header.ColorType != 0 && header.ColorType != 3) {
        return nullptr;
    }
    if (!FPalette) {
        std::vector<uint8_t> block(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
        auto* palette = reinterpret_cast<LOGPALETTE*>(block.data());
        palette->palVersion = 0x300;
        palette->palNumEntries = 256;
        for (int i = 0; i < 256; ++i) {
            const TRGBQuad& entry = header.BitmapInfo.bmiColors[size_t(i)];
            palette->palPalEntry[i] = PALETTEENTRY{entry.rgbRed, entry.rgbGreen, entry.rgbBlue, 0};
        }
        FPalette = CreatePalette(palette);
    }
    return FPalette;
}

void TPngPicture::ReleasePalette()
{
    if (FPalette) {
        DeleteObject(FPalette);
        FPalette = nullptr;
    }
}

void TPngPicture::AssignHandle(plat::BitmapHandle handle, bool transparent, TColor transparentColor)
{
    BITMAP description{};
    if (!handle || GetObjectType(handle) != OBJ_BITMAP || !GetObject(handle, sizeof description, &description)) {
        throw EInvalidOperation("The handle is not a bitmap");
    }
    Clear();
    InterlaceMethod = 0;
    const int bitsPerPixel = description.bmBitsPixel * description.bmPlanes;
    const bool paletted = bitsPerPixel < 16;
    auto* header = static_cast<TChunkIHDR*>(Chunks().Add(std::make_unique<TChunkIHDR>(this)));
    header->Width = static_cast<uint32_t>(description.bmWidth);
    header->Height = static_cast<uint32_t>(std::abs(description.bmHeight));
    header->BitDepth = static_cast<uint8_t>(paletted ? bitsPerPixel : 8);
    header->ColorType = paletted ? 3 : 2;
    TChunkPLTE* palette = nullptr;
    if (paletted) {
        palette = static_cast<TChunkPLTE*>(Chunks().Add(std::make_unique<TChunkPLTE>(this)));
        palette->Count = 1u << bitsPerPixel;
    }
    TChunktRNS* trns = nullptr;
    if (transparent) {
        trns = static_cast<TChunktRNS*>(Chunks().Add(std::make_unique<TChunktRNS>(this)));
    }
    Chunks().Add(std::make_unique<TChunkIDAT>(this));
    Chunks().Add(std::make_unique<TChunkIEND>(this));
    header->PrepareImageData();

    // The bits in the header's own format; for palette bitmaps this fills the colour table.
    HDC dc = CreateCompatibleDC(nullptr);
    const int rows = GetDIBits(dc, handle, 0, header->Height, header->ImageData.data(),
                               reinterpret_cast<BITMAPINFO*>(&header->BitmapInfo), DIB_RGB_COLORS);
    DeleteDC(dc);
    if (rows == 0) {
        throw EPNGOutMemory(EPNGOutMemoryText);
    }
    if (trns) {
        trns->SetTransparentColor(transparentColor);
    }
}

bool TPngPicture::AssignFromBitmap(const TPersistent* source)
{
    const auto* bitmap = dynamic_cast<const TBitmap*>(source);
    if (!bitmap) {
        return false;
    }
    if (bitmap->Empty()) {
        Clear();
        return true;
    }
    AssignHandle(bitmap->Handle(), bitmap->Transparent(), bitmap->TransparentColor());
    return true;
}

bool TPngPicture::AssignToBitmap(TPersistent* dest) const
{
    auto* bitmap = dynamic_cast<TBitmap*>(dest);
    if (!bitmap) {
        return false;
    }
    const TChunkIHDR& header = *Header();
    const int width = static_cast<int>(header.Width), height = static_cast<int>(header.Height);
    bitmap->SetSize(width, height);
    SetDIBitsToDevice(bitmap->Canvas()->Handle(), 0, 0, width, height, 0, 0, 0, height, header.ImageData.data(),
                      AsBitmapInfo(header), DIB_RGB_COLORS);
    GdiFlush();
    const bool bit = TransparencyMode() == TPNGTransparencyMode::ptmBit;
    bitmap->SetTransparentColor(bit ? TransparentColor() : clNone);
    bitmap->SetTransparent(bit);
    return true;
}

void TPngPicture::SaveToClipboardFormat(uint16_t& format, uintptr_t& data, plat::PaletteHandle& palette)
{
    TBitmap bitmap(Width(), Height());
    Draw(bitmap.Canvas(), Rect(0, 0, bitmap.Width(), bitmap.Height()));
    bitmap.SaveToClipboardFormat(format, data, palette);
}

void TPngPicture::LoadFromClipboardFormat(uint16_t format, uintptr_t data, plat::PaletteHandle palette)
{
    TBitmap bitmap;
    bitmap.LoadFromClipboardFormat(format, data, palette);
    Assign(&bitmap);
}
