#include "Buttons.h"

#include <cstring>

void TSpeedButton::SetGlyph(TBitmap* bitmap)
{
    if (bitmap == nullptr) {
        FGlyph.SetSize(0, 0);
        return;
    }
    FGlyph.SetSize(bitmap->Width(), bitmap->Height());
    for (int y = 0; y < bitmap->Height(); ++y)
        std::memcpy(FGlyph.ScanLine(y), bitmap->ScanLine(y), static_cast<size_t>(bitmap->Width()) * 4);
}
