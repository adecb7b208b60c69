// Drawing a PNG picture in the host build, which has no drawing system: its canvases have no
// device, so Draw refuses there, as do the bitmap and clipboard conversions. The Windows tree
// builds the GDI adaptor instead (pngdrawWin.cpp).
#include "pngpicture.h"

bool TPngPicture::AssignFromBitmap(const TPersistent*) { return false; }

void TPngPicture::SaveToClipboardFormat(uint16_t&, uintptr_t&, plat::PaletteHandle&)
{
    throw EInvalidOperation("The clipboard needs the drawing system, which this build has not");
}

void TPngPicture::LoadFromClipboardFormat(uint16_t, uintptr_t, plat::PaletteHandle)
{
    throw EInvalidOperation("The clipboard needs the drawing system, which this build has not");
}
bool TPngPicture::AssignToBitmap(TPersistent*) const { return false; }

void TPngPicture::AssignHandle(plat::BitmapHandle, bool, TColor)
{
    throw EInvalidOperation("Bitmaps need the drawing system, which this build has not");
}

void TPngPicture::Draw(TCanvas* canvas, const TRect& rect)
{
    (void)rect;
    if (HeaderPresent() && canvas) {
        throw EInvalidOperation("Drawing needs the drawing system, which this build has not");
    }
}

plat::PaletteHandle TPngPicture::GetPalette()
{
    return nullptr;
}

void TPngPicture::ReleasePalette()
{
    FPalette = nullptr;
}
