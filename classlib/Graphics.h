// Pictures and the canvas they are drawn on.
//
// TColor is a colour of the class library: 0x00BBGGRR (red in the low byte), or a system colour
// (the high bit set, the index of the platform's colour in the low byte). TCanvas stands over a
// device context of the drawing system; TGraphic is the base of every picture class (drawn onto a
// canvas, read from and written to a stream), and picture classes register themselves for a file
// extension so that stored pictures load through them.
//
// The device context, bitmap and palette handles are opaque pointer types here: on Windows they
// are the very types the system headers declare, so values pass to the system unchanged; the host
// build never makes one. Everything that calls the drawing system lives in the Win32-only sources.
#pragma once

#include "Components.h"
#include "Events.h"
#include "Streams.h"
#include "Types.h"

#include <cstdint>
#include <memory>
#include <string>

struct HDC__;
struct HBITMAP__;
struct HPALETTE__;
struct HFONT__;

namespace plat {
using DCHandle = HDC__*;
using BitmapHandle = HBITMAP__*;
using PaletteHandle = HPALETTE__*;
using FontHandle = HFONT__*;

// Frees a font handle the class layer made or adopted (nothing on the host).
void DeleteFontHandle(FontHandle font);

// The RGB value (0x00BBGGRR) of the platform's system colour index; black on the host.
uint32_t SysColorRGB(int index);

// The screen's vertical resolution in pixels per inch (96 on the host).
int ScreenPixelsPerInch();
}  // namespace plat

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor kColorSystemFlag = static_cast<TColor>(0x80000000u);
// System colours: the flag and the platform's colour index.
constexpr TColor clWindow = kColorSystemFlag | 5;
constexpr TColor clWindowText = kColorSystemFlag | 8;
constexpr TColor clHighlight = kColorSystemFlag | 13;
constexpr TColor clBtnFace = kColorSystemFlag | 15;

// The RGB value of a colour: system colours through the platform, others their low three bytes.
uint32_t ColorToRGB(TColor color);

// Text styles of a font, or'ed.
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

// A font description; its platform handle is made from it on first use (Windows builds) and
// freed with the font or when the description changes.
class TFont : public TPersistent {
public:
    TFont() = default;
    ~TFont() override;
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;

    // The face name, in UTF-16 as the platform's fonts have it; an 8-bit name is taken in the
    // system code page.
    const std::u16string& Name() const { return FName; }
    void SetName(const std::u16string& name);
    void SetName(const std::string& name);
    int Height() const { return FHeight; }   // negative: character height in pixels
    void SetHeight(int height);
    // The size in points at the screen's resolution (the height's counterpart).
    int Size() const;
    void SetSize(int points);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles style);
    TColor Color() const { return FColor; }
    void SetColor(TColor color) { FColor = color; }

    // The platform font; made from the description when there is none (Windows builds).
    plat::FontHandle Handle();

    // Copies the description.
    void Assign(const TPersistent* source) override;

    CL_CLASS_NAME(TFont)

private:
    void DropHandle();

    std::u16string FName = u"Tahoma";
    int FHeight = -11;
    TFontStyles FStyle = 0;
    TColor FColor = clBlack;
    plat::FontHandle FHandle = nullptr;
};

enum class TBrushStyle { bsSolid, bsClear };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
};

class TGraphic;

// A drawing surface: a device context that the canvas does not own. Font, brush and pen are
// put into the device context by each drawing call (Windows builds only); a clear brush fills
// nothing and draws text without a background.
class TCanvas : public TPersistent {
public:
    TCanvas() = default;
    explicit TCanvas(plat::DCHandle handle) : FHandle(handle) {}

    plat::DCHandle Handle() const { return FHandle; }
    void SetHandle(plat::DCHandle handle) { FHandle = handle; }
    bool HandleAllocated() const { return FHandle != nullptr; }

    TFont& Font() { return FFont; }
    TBrush& Brush() { return FBrush; }
    TPen& Pen() { return FPen; }

    // Drawing (Windows builds).
    void FillRect(const TRect& rect);            // with the brush
    void FrameRect(const TRect& rect);           // 1-pixel frame in the brush colour
    void Rectangle(const TRect& rect);           // pen outline, brush inside
    void RoundRect(const TRect& rect, int ellipseWidth, int ellipseHeight);
    void Polygon(const TPoint* points, int count);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void SetPixel(int x, int y, TColor color);
    TColor GetPixel(int x, int y) const;
    int TextWidth(const std::string& text);
    int TextHeight(const std::string& text);
    void WriteText(int x, int y, const std::string& text);   // TextOut (a macro name on Windows)
    void WriteText(int x, int y, const std::u16string& text);   // UTF-16, as it is
    // Draws a picture at its own size with its own drawing.
    void Draw(int x, int y, TGraphic* graphic);

    CL_CLASS_NAME(TCanvas)

private:
    plat::DCHandle FHandle = nullptr;
    TFont FFont;
    TBrush FBrush;
    TPen FPen;
};

class TGraphic : public TPersistent {
public:
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    // Draws the picture into rect of the canvas.
    virtual void Draw(TCanvas* canvas, const TRect& rect) = 0;
    virtual bool GetEmpty() const = 0;
    virtual int32_t GetHeight() const = 0;
    virtual int32_t GetWidth() const = 0;
    virtual void SetHeight(int32_t value) = 0;
    virtual void SetWidth(int32_t value) = 0;
    // A palette the picture wants realised when drawn; none by default. The picture keeps it.
    virtual plat::PaletteHandle GetPalette() { return nullptr; }
    virtual bool GetTransparent() const { return FTransparent; }
    virtual void SetTransparent(bool value) { FTransparent = value; }
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // The clipboard form: a clipboard format, a handle to the data of that format and a palette
    // handle (none when the picture needs no palette). Saving hands both handles to the caller,
    // who puts them on the clipboard or frees them; loading leaves them with their owner. The
    // base class has no clipboard form: both raise EInvalidOperation.
    virtual void LoadFromClipboardFormat(uint16_t format, uintptr_t data, plat::PaletteHandle palette);
    virtual void SaveToClipboardFormat(uint16_t& format, uintptr_t& data, plat::PaletteHandle& palette);

    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    bool Empty() const { return GetEmpty(); }
    int32_t Width() const { return GetWidth(); }
    int32_t Height() const { return GetHeight(); }
    bool Transparent() const { return GetTransparent(); }

    CL_CLASS_NAME(TGraphic)

private:
    bool FTransparent = false;
};

// Makes a new, empty picture of one class.
using TGraphicFactory = std::unique_ptr<TGraphic> (*)();

// The picture formats known by file extension (compared with ASCII case ignored, without ".").
void RegisterFileFormat(const std::string& extension, const std::string& description,
                        TGraphicFactory factory);
void UnregisterFileFormat(TGraphicFactory factory);
// The factory registered for extension, or nullptr.
TGraphicFactory GraphicFactoryForExtension(const std::string& extension);
// The description registered for extension, or "".
std::string GraphicDescription(const std::string& extension);

// A 32-bit bitmap with its own canvas (Windows builds): a top-down device-independent section,
// four bytes a pixel (blue, green, red, alpha), reached row by row through ScanLine. A new or
// resized bitmap is black with alpha 0.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height);
    ~TBitmap() override;

    void SetSize(int width, int height);
    // The first byte of row y (0 = top).
    uint8_t* ScanLine(int y);
    TCanvas* Canvas() { return &FCanvas; }
    plat::BitmapHandle Handle() const { return FBitmap; }
    // The colour a transparent bitmap leaves out when it is copied into a picture that keeps
    // transparency (Transparent() tells whether it does).
    TColor TransparentColor() const { return FTransparentColor; }
    void SetTransparentColor(TColor value) { FTransparentColor = value; }

    void Draw(TCanvas* canvas, const TRect& rect) override;
    bool GetEmpty() const override { return FWidth == 0 || FHeight == 0; }
    int32_t GetHeight() const override { return FHeight; }
    int32_t GetWidth() const override { return FWidth; }
    void SetHeight(int32_t value) override { SetSize(FWidth, value); }
    void SetWidth(int32_t value) override { SetSize(value, FHeight); }
    // Bitmaps of the toolbar are work surfaces: they are never stored. Both raise EInvalidOperation.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    // The clipboard form is a bitmap handle (the system's bitmap format) with no palette. Saving
    // hands over a new copy of the pixels (EInvalidOperation when empty); loading takes the
    // pixels of a bitmap handle at its size, through palette when one is given for a palette
    // bitmap, and raises EInvalidOperation for another format or a handle that is no bitmap.
    void LoadFromClipboardFormat(uint16_t format, uintptr_t data, plat::PaletteHandle palette) override;
    void SaveToClipboardFormat(uint16_t& format, uintptr_t& data, plat::PaletteHandle& palette) override;

    CL_CLASS_NAME(TBitmap)

private:
    void Release();

    int FWidth = 0;
    int FHeight = 0;
    TColor FTransparentColor = clNone;
    plat::DCHandle FDC = nullptr;
    plat::BitmapHandle FBitmap = nullptr;
    void* FOldBitmap = nullptr;
    uint8_t* FBits = nullptr;
    TCanvas FCanvas;
};

// A holder of one picture (owned), of any registered picture class. OnChange runs when the
// graphic is replaced, assigned or told to have changed.
class TPicture : public TPersistent {
public:
    TPicture() = default;
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TGraphic* Graphic() const { return FGraphic.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Loads a file through the picture class registered for its extension (EInvalidGraphic
    // ... EConvertError when none is).
    void LoadFromFile(const std::string& fileName);
    // Loads a stream through the picture class registered for extension.
    void LoadFromStream(TStream& stream, const std::string& extension);
    // Copies another picture's graphic (through its stream form and its registered class),
    // or empties this one for nullptr or an empty picture.
    void Assign(const TPersistent* source) override;
    // Tells the holder that the graphic changed in place.
    void Changed();

    TNotifyEvent OnChange;

    CL_CLASS_NAME(TPicture)

private:
    std::unique_ptr<TGraphic> FGraphic;
};
