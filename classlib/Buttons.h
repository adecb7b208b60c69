// Speed buttons (Windows builds only): a button without a window of its own whose face shows a
// glyph. The glyph bitmap holds NumGlyphs pictures side by side (up, disabled, down, ...); only
// the properties are kept here, drawing is not needed yet.
#pragma once

#include "Controls.h"
#include "Graphics.h"

class TSpeedButton : public TControl {
public:
    explicit TSpeedButton(TComponent* owner) : TControl(owner)
    {
        FWidth = 23;
        FHeight = 22;
    }

    TBitmap* Glyph() { return &FGlyph; }
    // Copies the pixels of a bitmap into the glyph (an empty glyph for null).
    void SetGlyph(TBitmap* bitmap);
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int count) { FNumGlyphs = count; }

    CL_CLASS_NAME(TSpeedButton)

private:
    TBitmap FGlyph;
    int FNumGlyphs = 1;
};
