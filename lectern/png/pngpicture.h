// PNG pictures: a TGraphic that reads and writes PNG images as an ordered list of chunks.
//
// A PNG stream is the 8-byte signature and a list of chunks (length, 4-byte type, data, CRC).
// TPngPicture keeps one chunk object per chunk read, in order; the header chunk (TChunkIHDR)
// comes first and carries the decoded image in the drawing system's device-independent
// bitmap layout, so the picture draws without a conversion:
//  - the bitmap: bottom-up rows of BytesPerRow bytes (a multiple of 4), 1, 4 or 8 bits of
//    colour-table index per pixel for grey, palette and grey-with-alpha images (2-bit images are
//    held with 4 bits, 16-bit ones with 8), 24 bits (blue, green, red) for colour images;
//  - the colour table: 256 entries (blue, green, red, 0), the palette or the generated greys;
//  - the alpha plane (grey-with-alpha and colour-with-alpha images only): top-down, one byte
//    per pixel, Width bytes per row;
//  - the key mask (images with bit transparency from their tRNS chunk): which pixels the colour
//    key makes transparent, decided while decoding on the samples as stored (as the format
//    defines it), since the bitmap's colours have been through the gamma table and 16-bit
//    samples are held by their high byte; a one-bit top-down bitmap in the drawing system's
//    monochrome layout (rows of whole 16-bit words), 1 (white) for transparent. Drawing masks
//    by it.
// This store is plain memory: everything here builds and runs without the drawing system;
// only Draw, GetPalette and AssignHandle (pngdrawWin.cpp) call it.
//
// PngPictureInitialize (the unit's start) registers the chunk classes and the picture format;
// a program runs it before it loads a picture (without it every chunk is unknown).
//
// The image data ("IDAT") is one zlib stream over all consecutive image-data chunks. Loading
// inflates it straight into the bitmap with two row buffers; saving deflates the rows again,
// choosing a row filter from the allowed set by a small heuristic.
//
// Untrusted input: chunk lengths are checked against the bytes the stream still holds before
// anything is allocated; the header is validated (sizes, colour type and bit depth, image bytes
// computed in 64 bits) before the image is allocated; text chunks never read past their data and
// compressed text inflates into at most kPngTextInflateLimitBytes.
#pragma once

#include "classlib/Graphics.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPngPicture;
class TChunkIHDR;

// ---- exceptions --------------------------------------------------------------------------------
// A damaged or unsupported stream raises one of the ECorruptInput classes; EPngError (a chunk
// assigned across classes, a palette entry that is not there, a size change), a missing header
// and EPNGOutMemory are not the input's fault.

CL_DECLARE_EXCEPTION(EPngError, Exception)
CL_DECLARE_EXCEPTION(EPngUnexpectedEnd, ECorruptInput)
CL_DECLARE_EXCEPTION(EPngInvalidCRC, ECorruptInput)
CL_DECLARE_EXCEPTION(EPngInvalidIHDR, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGMissingMultipleIDAT, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGZLIBError, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGInvalidPalette, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGInvalidFileHeader, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGIHDRNotFirst, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGSizeExceeds, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGUnknownCriticalChunk, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGUnknownCompression, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGUnknownInterlace, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGNoImageData, ECorruptInput)
CL_DECLARE_EXCEPTION(EPNGHeaderNotPresent, Exception)
CL_DECLARE_EXCEPTION(EPNGOutMemory, Exception)

// The messages of the exceptions above.
extern const char* const EPNGInvalidFileHeaderText;
extern const char* const EPngUnexpectedEndText;
extern const char* const EPNGIHDRNotFirstText;
extern const char* const EPNGUnknownCriticalChunkText;
extern const char* const EPNGNoImageDataText;
extern const char* const EPngInvalidCRCText;
extern const char* const EPngInvalidIHDRText;
extern const char* const EPNGSizeExceedsText;
extern const char* const EPNGUnknownCompressionText;
extern const char* const EPNGUnknownInterlaceText;
extern const char* const EPNGInvalidPaletteText;
extern const char* const EPNGHeaderNotPresentText;
extern const char* const EPNGMissingMultipleIDATText;
extern const char* const EPNGZLIBErrorText;
extern const char* const EPNGOutMemoryText;
extern const char* const EPNGCannotAssignChunkText;
extern const char* const EPNGUnexistentPaletteEntryText;
extern const char* const EPNGCannotChangeSizeText;
extern const char* const EPNGInvalidKeywordText;

// ---- limits and small types --------------------------------------------------------------------

constexpr uint32_t kPngMaxDimension = 65535;           // widest and highest image
constexpr uint32_t kPngMaxChunkLength = 0x7FFFFFFFu;    // the format's limit of a chunk's data
constexpr uint32_t kPngMinIdatSize = 65535;            // smallest output buffer when writing
constexpr uint32_t kPngIdatInputBytes = 65535;         // compressed bytes read at a time
// The longest keyword of a text chunk the format allows.
constexpr size_t kPngMaxKeywordBytes = 79;
// Compressed text inflates into at most this many bytes; a longer text is refused (left empty).
constexpr uint32_t kPngTextInflateLimitBytes = 1u << 20;
// The decoded image (bitmap bytes) may not exceed this; 64-bit arithmetic decides.
constexpr uint64_t kPngMaxImageBytes = 0x7FFFFFFFu;

// Row filters. The allowed set when writing is a bit set: bit n for filter n.
enum TFilter : uint8_t { pfNone = 0, pfSub = 1, pfUp = 2, pfAverage = 3, pfPaeth = 4 };
using TFilters = uint8_t;
constexpr TFilters FilterBit(TFilter filter) { return static_cast<TFilters>(1u << filter); }
constexpr TFilters kAllFilters = 0x1F;

enum class TPNGTransparencyMode { ptmNone, ptmBit, ptmPartial };

struct TRGBQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

// The 40-byte bitmap header of the drawing system, field for field.
struct TBitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(TBitmapInfoHeader) == 40, "the bitmap header is 40 bytes");

struct TMaxBitmapInfo {
    TBitmapInfoHeader bmiHeader;
    std::array<TRGBQuad, 256> bmiColors{};
};

// A zero-filled block of bytes. Fresh blocks come from calloc, so large ones are pages the
// system hands out zeroed instead of being cleared again.
class TZeroedBytes {
public:
    TZeroedBytes() = default;
    TZeroedBytes(const TZeroedBytes& other) { *this = other; }
    TZeroedBytes& operator=(const TZeroedBytes& other);
    TZeroedBytes(TZeroedBytes&&) noexcept = default;
    TZeroedBytes& operator=(TZeroedBytes&&) noexcept = default;

    // Replaces the block with size zero bytes; raises std::bad_alloc when memory is short.
    void Allocate(size_t size);
    void clear()
    {
        FData.reset();
        FSize = 0;
    }
    uint8_t* data() { return FData.get(); }
    const uint8_t* data() const { return FData.get(); }
    size_t size() const { return FSize; }
    bool empty() const { return FSize == 0; }
    uint8_t& operator[](size_t index) { return FData[index]; }
    uint8_t operator[](size_t index) const { return FData[index]; }

private:
    struct Free {
        void operator()(uint8_t* p) const;
    };
    std::unique_ptr<uint8_t[], Free> FData;
    size_t FSize = 0;
};

// ---- chunks -----------------------------------------------------------------------------------

// One chunk of a PNG stream. The base class keeps any chunk as its raw data; the derived
// classes decode theirs. Data() always has one byte more than DataSize(), so a text held in it
// is zero-terminated.
class TChunk : public TObject {
public:
    explicit TChunk(TPngPicture* owner) : TChunk(owner, "") {}
    ~TChunk() override = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    // A new chunk of this one's class for owner (the virtual constructor).
    virtual std::unique_ptr<TChunk> CreateLike(TPngPicture* owner) const;
    // Takes source's state; a chunk of another class raises EPngError.
    virtual void Assign(const TChunk& source);
    virtual bool SaveToStream(TStream& stream);
    // Reads size bytes of data and the CRC from stream (the length and type were read).
    virtual bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size);

    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }
    uint8_t* Data() { return FData.data(); }
    const uint8_t* Data() const { return FData.data(); }
    uint32_t DataSize() const { return FDataSize; }
    TPngPicture* Owner() const { return FOwner; }
    TChunkIHDR* GetHeader() const;
    void ResizeData(uint32_t size);

    CL_CLASS_NAME(TChunk)

protected:
    TChunk(TPngPicture* owner, const char* typeName);
    // Raises EPngError "The chunks must be compatible to be assigned." unless same class.
    void CheckSameClass(const TChunk& source) const;
    // The field-by-field part of an Assign: checks the class as CheckSameClass does, copies the
    // listed fields of source (a chunk of class T) and answers source as a T.
    template <class T, class... TFields>
    const T& AssignFields(const TChunk& source, TFields T::*... fields)
    {
        CheckSameClass(source);
        const auto& from = static_cast<const T&>(source);
        auto& to = static_cast<T&>(*this);
        ((to.*fields = from.*fields), ...);
        return from;
    }
    // Writes length, type, data and CRC.
    void WriteChunk(TStream& stream);

    std::string FName;
    std::vector<uint8_t> FData;
    uint32_t FDataSize = 0;
    TPngPicture* FOwner;
};

// A chunk class: its type name and how to make one (the registry of chunk classes holds these).
struct TChunkClass {
    const char* Name;
    std::unique_ptr<TChunk> (*Create)(TPngPicture* owner);
};

#define PNG_CHUNK_CLASS(Name, Type)                                                         \
    std::unique_ptr<TChunk> CreateLike(TPngPicture* owner) const override                  \
    {                                                                                       \
        return std::make_unique<Name>(owner);                                               \
    }                                                                                       \
    static std::unique_ptr<TChunk> Create(TPngPicture* owner) { return std::make_unique<Name>(owner); } \
    static constexpr TChunkClass kClass{Type, &Name::Create};                              \
    CL_CLASS_NAME(Name)

class TChunkIEND : public TChunk {
public:
    explicit TChunkIEND(TPngPicture* owner) : TChunk(owner, "IEND") {}
    PNG_CHUNK_CLASS(TChunkIEND, "IEND")
};

class TChunkIHDR : public TChunk {
public:
    explicit TChunkIHDR(TPngPicture* owner) : TChunk(owner, "IHDR") {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;

    // Allocates the zeroed bitmap (and alpha plane) for the header's fields and fills the
    // bitmap header; releases the owner's palette handle. Raises for a header that describes
    // no image this codec holds, or when memory is short; the header then has no image and a
    // width and height of 0.
    void PrepareImageData();

    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;

    TMaxBitmapInfo BitmapInfo;
    TZeroedBytes ImageData;   // bottom-up rows of BytesPerRow bytes
    TZeroedBytes ImageAlpha;  // top-down, Width bytes per row (colour types 4 and 6)
    TZeroedBytes KeyMask;     // top-down rows of KeyMaskRowBytes(), empty without a decoded key
    uint32_t BytesPerRow = 0;
    bool HasPalette = false;

    uint32_t KeyMaskRowBytes() const { return (Width + 15) / 16 * 2; }
    // Whether the colour key makes the pixel transparent (false without a key mask).
    bool KeyedPixel(uint32_t x, uint32_t row) const;
    void SetKeyedPixel(uint32_t x, uint32_t row, bool transparent);

    // The bitmap row r counted from the top of the image.
    uint8_t* BitmapRow(uint32_t row) { return ImageData.data() + size_t(Height - 1 - row) * BytesPerRow; }
    const uint8_t* BitmapRow(uint32_t row) const
    {
        return ImageData.data() + size_t(Height - 1 - row) * BytesPerRow;
    }

    PNG_CHUNK_CLASS(TChunkIHDR, "IHDR")
};

class TChunkIDAT : public TChunk {
public:
    explicit TChunkIDAT(TPngPicture* owner) : TChunk(owner, "IDAT") {}
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;
    PNG_CHUNK_CLASS(TChunkIDAT, "IDAT")
};

class TChunkPLTE : public TChunk {
public:
    explicit TChunkPLTE(TPngPicture* owner) : TChunk(owner, "PLTE") {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;
    // The header's colour entry index; raises EPngError beyond the count.
    TRGBQuad GetPaletteEntry(uint32_t index) const;

    uint32_t Count = 0;
    PNG_CHUNK_CLASS(TChunkPLTE, "PLTE")
};

class TChunkgAMA : public TChunk {
public:
    explicit TChunkgAMA(TPngPicture* owner);
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;

    uint32_t Gamma() const;
    void SetGamma(uint32_t value);
    PNG_CHUNK_CLASS(TChunkgAMA, "gAMA")
};

class TChunktRNS : public TChunk {
public:
    explicit TChunktRNS(TPngPicture* owner) : TChunk(owner, "tRNS") { PaletteValues.fill(255); }
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;

    // The transparent colour as 0x00BBGGRR (see the source for how each colour type keeps it).
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);

    std::array<uint8_t, 256> PaletteValues{};
    bool BitTransparency = false;
    PNG_CHUNK_CLASS(TChunktRNS, "tRNS")
};

class TChunktIME : public TChunk {
public:
    explicit TChunktIME(TPngPicture* owner) : TChunk(owner, "tIME") {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;

    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    PNG_CHUNK_CLASS(TChunktIME, "tIME")
};

// A text chunk that was read is saved again as it came (its data unchanged, whatever its form:
// a keyword with empty text, an unknown compression method or a stream that does not inflate)
// unless the program changed its keyword or text; then it is written anew. Reading takes any
// keyword, but saving refuses one the format forbids (Writable), with EPngError.
class TChunktEXt : public TChunk {
public:
    explicit TChunktEXt(TPngPicture* owner) : TChunk(owner, "tEXt") {}
    void Assign(const TChunk& source) override;
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;
    // Whether the format allows the chunk as SaveToStream writes it: a keyword of 1 to
    // kPngMaxKeywordBytes bytes with no zero byte, and a chunk saved as it came has the zero
    // byte that ends its keyword.
    bool Writable() const;
    // Raises EPngError (EPNGInvalidKeywordText) unless Writable.
    void CheckWritable() const;

    std::string Keyword;
    std::string Text;
    PNG_CHUNK_CLASS(TChunktEXt, "tEXt")

protected:
    TChunktEXt(TPngPicture* owner, const char* typeName) : TChunk(owner, typeName) {}
    // The keyword (up to the first zero byte, or all the data) and the offset after its zero.
    size_t ReadKeyword();
    // Notes that the data holds the chunk as read, with the keyword and text it gave.
    void KeepAsRead();
    // Writes the data as read when keyword and text are still the ones it gave; false when the
    // chunk must be written anew.
    bool SaveAsRead(TStream& stream);
    bool SavesAsRead() const;

private:
    bool FAsRead = false;
    std::string FReadKeyword;
    std::string FReadText;
};

class TChunkzTXt : public TChunktEXt {
public:
    explicit TChunkzTXt(TPngPicture* owner) : TChunktEXt(owner, "zTXt") {}
    bool LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size) override;
    bool SaveToStream(TStream& stream) override;
    PNG_CHUNK_CLASS(TChunkzTXt, "zTXt")
};

// ---- the chunk list and the registry -------------------------------------------------------------

// The chunks of a picture, in stream order; owns them.
class TPNGList {
public:
    explicit TPNGList(TPngPicture* owner) : FOwner(owner) {}

    int Count() const { return static_cast<int>(FItems.size()); }
    TChunk* GetItem(int index) const;  // nullptr outside 0..Count-1
    TChunk* Add(std::unique_ptr<TChunk> chunk);
    // Removes the last position holding chunk and hands it back (empty when absent).
    std::unique_ptr<TChunk> Remove(TChunk* chunk);
    void Clear() { FItems.clear(); }
    TPngPicture* Owner() const { return FOwner; }

    // The first item of class T (or derived from it), or nullptr.
    template <class T>
    T* ItemFromClass() const
    {
        for (const auto& item : FItems) {
            if (auto* found = dynamic_cast<T*>(item.get())) {
                return found;
            }
        }
        return nullptr;
    }

private:
    TPngPicture* FOwner;
    std::vector<std::unique_ptr<TChunk>> FItems;
};

void RegisterChunk(const TChunkClass& chunkClass);
void RegisterCommonChunks();
void FreeChunkClassList();
// A chunk of the first registered class named chunkName (exact comparison), else a TChunk.
std::unique_ptr<TChunk> CreateClassChunk(TPngPicture* owner, const std::string& chunkName);

// The unit's start and end: the chunk classes and the picture format "PNG".
void PngPictureInitialize();
void PngPictureFinalize();

// The CRC of PNG and zlib over data, continuing crc (start with 0xFFFFFFFF, invert at the end).
uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t size);

// The predictor of the Paeth filter.
uint8_t PaethPredictor(uint8_t left, uint8_t above, uint8_t upperLeft);

// ---- the picture ------------------------------------------------------------------------------

class TPngPicture : public TGraphic {
public:
    TPngPicture();
    ~TPngPicture() override;

    static std::unique_ptr<TGraphic> CreatePicture() { return std::make_unique<TPngPicture>(); }

    void Assign(const TPersistent* source) override;
    void Draw(TCanvas* canvas, const TRect& rect) override;
    bool GetEmpty() const override { return FChunkList.Count() == 0; }
    int32_t GetHeight() const override;
    int32_t GetWidth() const override;
    void SetHeight(int32_t value) override;
    void SetWidth(int32_t value) override;
    plat::PaletteHandle GetPalette() override;
    bool GetTransparent() const override { return TransparencyMode() != TPNGTransparencyMode::ptmNone; }
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    // The clipboard form is that of a bitmap: saving draws the image into a new bitmap of the
    // image's size (partial transparency blended over its black) and lets the bitmap save
    // itself; loading lets a bitmap load and builds the image from it (8-bit RGB). Both raise
    // EInvalidOperation in the host build, which has no drawing system.
    void LoadFromClipboardFormat(uint16_t format, uintptr_t data, plat::PaletteHandle palette) override;
    void SaveToClipboardFormat(uint16_t& format, uintptr_t& data, plat::PaletteHandle& palette) override;

    // Pixel access: the colour at (x, y) as 0x00BBGGRR; 0 (get) or nothing (set) outside the image.
    virtual TColor GetPixels(int32_t x, int32_t y) const;
    virtual void SetPixels(int32_t x, int32_t y, TColor value);

    TPNGList& Chunks() { return FChunkList; }
    const TPNGList& Chunks() const { return FChunkList; }
    TChunkIHDR* Header() const;  // raises EPNGHeaderNotPresent
    bool HeaderPresent() const;
    void Clear();

    // The bytes of one PNG row and the bytes per complete pixel (0 and 0 without a header).
    void GetPixelInfo(uint32_t& lineSize, uint32_t& offset) const;

    uint8_t* Scanline(uint32_t row);
    uint8_t* AlphaScanline(uint32_t row);  // nullptr unless the image has an alpha plane
    TPNGTransparencyMode TransparencyMode() const;
    TColor TransparentColor() const;

    // Builds the image from a bitmap of the drawing system: below 16 bits per pixel a palette
    // image of that depth, else 8-bit RGB; with a transparent colour when transparent. Raises
    // EInvalidOperation for a handle that is no bitmap (and always in the host build).
    // Assign from a TBitmap builds the image this way, with the bitmap's transparency; AssignTo
    // a TBitmap gives it the image's colours at the image's size (its own 32 bits a pixel) and,
    // for bit transparency, the transparent colour with Transparent set.
    void AssignHandle(plat::BitmapHandle handle, bool transparent, TColor transparentColor);

    // Composes the image over the pixels of a 32-bit top-down section of the image's size
    // (blue, green, red, unused per pixel; stride bytes per row), as partial transparency draws.
    void BlendOnto(uint8_t* section, size_t stride) const;

    int CompressionLevel = 7;
    TFilters Filters = FilterBit(pfSub);
    uint8_t InterlaceMethod = 0;
    uint32_t MaxIdatSize() const { return FMaxIdatSize; }
    void SetMaxIdatSize(uint32_t value) { FMaxIdatSize = value > kPngMinIdatSize - 1 ? value : kPngMinIdatSize; }

    std::array<uint8_t, 256> GammaTable{};
    std::array<uint8_t, 256> InverseGamma{};
    void InitializeGamma();

    // Releases the palette handle made by GetPalette (the image data changed).
    void ReleasePalette();

    CL_CLASS_NAME(TPngPicture)

protected:
    void AssignTo(TPersistent* dest) const override;

private:
    // The copies from and into the class layer's TBitmap (the drawing side, pngdrawWin.cpp);
    // false when the other object is no bitmap.
    bool AssignFromBitmap(const TPersistent* source);
    bool AssignToBitmap(TPersistent* dest) const;

    TPNGList FChunkList;
    uint32_t FMaxIdatSize = kPngMinIdatSize;
    plat::PaletteHandle FPalette = nullptr;
};
