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
#include "Streams.h"

#include <cstdint>
#include <memory>
#include <string>

struct HDC__;
struct HBITMAP__;
struct HPALETTE__;

namespace plat {
using DCHandle = HDC__*;
using BitmapHandle = HBITMAP__*;
using PaletteHandle = HPALETTE__*;

// The RGB value (0x00BBGGRR) of the platform's system colour index; black on the host.
uint32_t SysColorRGB(int index);
}  // namespace plat

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor kColorSystemFlag = static_cast<TColor>(0x80000000u);

// The RGB value of a colour: system colours through the platform, others their low three bytes.
uint32_t ColorToRGB(TColor color);

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return TRect{left, top, right, bottom};
}

// A drawing surface: a device context that the canvas does not own.
class TCanvas : public TPersistent {
public:
    TCanvas() = default;
    explicit TCanvas(plat::DCHandle handle) : FHandle(handle) {}

    plat::DCHandle Handle() const { return FHandle; }
    void SetHandle(plat::DCHandle handle) { FHandle = handle; }
    bool HandleAllocated() const { return FHandle != nullptr; }

    CL_CLASS_NAME(TCanvas)

private:
    plat::DCHandle FHandle = nullptr;
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
