// The image data of a PNG picture: TChunkIDAT's decoding and encoding.
//
// Decoding reads one zlib stream across all consecutive "IDAT" chunks (IdatReader), undoes each
// row's filter against the previous row and converts the row straight into the header's bitmap
// and alpha plane (ConvertRow). Two row buffers of row bytes + 1 (the filter byte first) are
// used in turn as the current and the previous row. Adam7 images are read pass by pass; each
// pass row is converted into a row of pass pixels in the bitmap's format and its pixels are then
// placed at their columns.
//
// No input makes the reader loop without progress: every turn of IdatReader::Read either feeds
// zlib fresh input, moves to the next chunk (whose length was checked against the stream), or
// lets zlib produce; the end of the zlib stream, a stream that wants a preset dictionary and the
// end of the file all end the image data. Damaged image data raises EPNGZLIBError through one
// helper (DamagedImageData): what zlib refuses, data that ends before the last row of the image
// (or of its last Adam7 pass), and a row whose filter type the format does not know.
//
// Encoding converts each bitmap row back into a PNG row (UnconvertRow), chooses a filter from the
// allowed set and deflates filter byte and row; IdatWriter cuts the compressed bytes into
// "IDAT" chunks of at most kPngMaxIdatChunkBytes.
#include "pngcommon.h"
#include "pngpicture.h"

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

using namespace png;

namespace {

constexpr uint32_t kPngMaxIdatChunkBytes = 65535;
constexpr const char* kEndsEarlyText = "the image data ends before its last row";

struct Adam7Pass {
    uint32_t StartRow, StartColumn, RowStep, ColumnStep;
};
constexpr Adam7Pass kAdam7Passes[7] = {
    {0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1},
};

uint32_t PassWidth(uint32_t width, const Adam7Pass& pass)
{
    return (width + pass.ColumnStep - pass.StartColumn - 1) / pass.ColumnStep;
}

// The one way the decoder reports damaged image data.
[[noreturn]] void DamagedImageData(const std::string& description)
{
    throw EPNGZLIBError(std::string(EPNGZLIBErrorText) + description);
}

[[noreturn]] void ZlibFailure(int result) { DamagedImageData(zError(result)); }

std::vector<uint8_t> MakeBuffer(size_t size)
{
    try {
        return std::vector<uint8_t>(size, 0);
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory(EPNGOutMemoryText);
    }
}

// ---- reading --------------------------------------------------------------------------------

class IdatReader {
public:
    IdatReader(TStream& stream, uint32_t firstLength) : FStream(stream), FInput(MakeBuffer(kPngIdatInputBytes))
    {
        if (inflateInit(&FZ) != Z_OK) {
            throw EPNGOutMemory(EPNGOutMemoryText);
        }
        StartChunk(firstLength);
    }
    ~IdatReader() { inflateEnd(&FZ); }
    IdatReader(const IdatReader&) = delete;
    IdatReader& operator=(const IdatReader&) = delete;

    // Fills count bytes of buffer with image data; answers fewer only at the end of the data.
    uint32_t Read(uint8_t* buffer, uint32_t count)
    {
        if (FFinished) {
            return 0;
        }
        FZ.next_out = buffer;
        FZ.avail_out = count;
        while (FZ.avail_out > 0) {
            if (FZ.avail_in == 0 && FStream.Position() >= FChunkEnd) {
                NextChunk();
                continue;
            }
            if (FZ.avail_in == 0) {
                const uint32_t want = static_cast<uint32_t>(
                    std::min<int64_t>(kPngIdatInputBytes, FChunkEnd - FStream.Position()));
                const int32_t got = FStream.Read(FInput.data(), static_cast<int32_t>(want));
                if (got <= 0) {
                    FFinished = true;
                    break;
                }
                FCrc = UpdateCrc(FCrc, FInput.data(), size_t(got));
                FZ.next_in = FInput.data();
                FZ.avail_in = static_cast<uInt>(got);
            }
            const int result = inflate(&FZ, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                FFinished = true;
                break;
            }
            if (result == Z_NEED_DICT || (result < 0 && result != Z_BUF_ERROR)) {
                ZlibFailure(result);
            }
        }
        return count - FZ.avail_out;
    }

    // Reads what is left of the current chunk and checks its CRC.
    void FinishChunk()
    {
        int64_t left = FChunkEnd - FStream.Position();
        while (left > 0) {
            const int32_t want = static_cast<int32_t>(std::min<int64_t>(left, kPngIdatInputBytes));
            if (!ReadExact(FStream, FInput.data(), uint32_t(want))) {
                throw EPngUnexpectedEnd(EPngUnexpectedEndText);
            }
            FCrc = UpdateCrc(FCrc, FInput.data(), size_t(want));
            left -= want;
        }
        uint8_t crc[4];
        if (!ReadExact(FStream, crc, 4)) {
            throw EPngUnexpectedEnd(EPngUnexpectedEndText);
        }
        if (ReadBE32(crc) != ~FCrc) {
            throw EPngInvalidCRC(EPngInvalidCRCText);
        }
    }

private:
    void StartChunk(uint32_t length)
    {
        CheckChunkLength(FStream, length);
        FCrc = UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>("IDAT"), 4);
        FChunkEnd = FStream.Position() + length;
    }

    void NextChunk()
    {
        FinishChunk();
        uint8_t head[8];
        if (!ReadExact(FStream, head, 8)) {
            throw EPngUnexpectedEnd(EPngUnexpectedEndText);
        }
        if (std::memcmp(head + 4, "IDAT", 4) != 0) {
            throw EPNGMissingMultipleIDAT(EPNGMissingMultipleIDATText);
        }
        StartChunk(ReadBE32(head));
    }

    TStream& FStream;
    z_stream FZ{};
    std::vector<uint8_t> FInput;
    uint32_t FCrc = 0;
    int64_t FChunkEnd = 0;
    bool FFinished = false;
};

#if defined(__SSE2__)
// Sub, average and Paeth for 3 and 4 bytes per pixel, one pixel per step with its samples side
// by side in 16-bit lanes: the chain through the left pixel stays, but the samples of a pixel
// are done at once and the Paeth choice needs no branches.
template <size_t PixelBytes>
__m128i LoadPixel(const uint8_t* p)
{
    uint32_t v = 0;
    std::memcpy(&v, p, PixelBytes);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

template <size_t PixelBytes>
void StorePixel(uint8_t* p, __m128i v)
{
    const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    std::memcpy(p, &bytes, PixelBytes);
}

template <size_t PixelBytes, uint8_t Filter>
void FilterPixelsSse2(uint8_t* row, const uint8_t* prev, size_t size)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i left = zero, upperLeft = zero;
    const size_t pixels = size / PixelBytes;
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* at = row + i * PixelBytes;
        const __m128i raw = LoadPixel<PixelBytes>(at);
        __m128i predicted;
        if constexpr (Filter == pfSub) {
            predicted = left;
        } else if constexpr (Filter == pfAverage) {
            predicted = _mm_srli_epi16(_mm_add_epi16(left, LoadPixel<PixelBytes>(prev + i * PixelBytes)), 1);
        } else {
            const __m128i above = LoadPixel<PixelBytes>(prev + i * PixelBytes);
            const __m128i bc = _mm_sub_epi16(above, upperLeft);
            const __m128i ac = _mm_sub_epi16(left, upperLeft);
            const __m128i abc = _mm_add_epi16(bc, ac);
            const __m128i pa = _mm_max_epi16(bc, _mm_sub_epi16(zero, bc));
            const __m128i pb = _mm_max_epi16(ac, _mm_sub_epi16(zero, ac));
            const __m128i pc = _mm_max_epi16(abc, _mm_sub_epi16(zero, abc));
            const __m128i notLeft = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
            const __m128i upperLeftWins = _mm_cmpgt_epi16(pb, pc);
            const __m128i aboveOrUpperLeft =
                _mm_or_si128(_mm_andnot_si128(upperLeftWins, above), _mm_and_si128(upperLeftWins, upperLeft));
            predicted = _mm_or_si128(_mm_andnot_si128(notLeft, left), _mm_and_si128(notLeft, aboveOrUpperLeft));
            upperLeft = above;
        }
        left = _mm_and_si128(_mm_add_epi16(raw, predicted), low);
        StorePixel<PixelBytes>(at, left);
    }
}

template <size_t PixelBytes>
bool FilterRowSse2(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t size)
{
    switch (filter) {
    case pfAverage:
        FilterPixelsSse2<PixelBytes, pfAverage>(row, prev, size);
        return true;
    case pfPaeth:
        FilterPixelsSse2<PixelBytes, pfPaeth>(row, prev, size);
        return true;
    default:
        return false;  // none, up and sub are as fast in plain code
    }
}
#endif

void FilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t size, size_t pixelBytes)
{
    if (filter > pfPaeth) {
        DamagedImageData("unknown row filter " + std::to_string(filter));
    }
#if defined(__SSE2__)
    if ((pixelBytes == 4 && FilterRowSse2<4>(filter, row, prev, size)) ||
        (pixelBytes == 3 && FilterRowSse2<3>(filter, row, prev, size))) {
        return;
    }
#endif
    const size_t lead = std::min(pixelBytes, size);
    switch (filter) {
    case pfSub:
        for (size_t i = pixelBytes; i < size; ++i) {
            row[i] = uint8_t(row[i] + row[i - pixelBytes]);
        }
        break;
    case pfUp:
        for (size_t i = 0; i < size; ++i) {
            row[i] = uint8_t(row[i] + prev[i]);
        }
        break;
    case pfAverage:
        for (size_t i = 0; i < lead; ++i) {
            row[i] = uint8_t(row[i] + prev[i] / 2);
        }
        for (size_t i = pixelBytes; i < size; ++i) {
            row[i] = uint8_t(row[i] + (unsigned(row[i - pixelBytes]) + prev[i]) / 2);
        }
        break;
    case pfPaeth:
        for (size_t i = 0; i < lead; ++i) {
            row[i] = uint8_t(row[i] + prev[i]);  // the predictor of (0, above, 0) is above
        }
        for (size_t i = pixelBytes; i < size; ++i) {
            const int a = row[i - pixelBytes], b = prev[i], c = prev[i - pixelBytes];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            row[i] = uint8_t(row[i] + predicted);
        }
        break;
    default:
        break;  // none
    }
}

uint32_t LoadWord(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreWord(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Red, green, blue in the low three bytes become blue, green, red.
uint32_t SwapRgb(uint32_t word)
{
    return (word & 0xFF) << 16 | (word & 0xFF00) | ((word >> 16) & 0xFF);
}

// Converts one PNG row of width pixels into the bitmap's format (dst) and alpha plane.
// identity: the gamma table maps every value onto itself (no gamma chunk), so colours are copied.
void ConvertRow(const TChunkIHDR& h, const uint8_t* src, uint32_t width, uint8_t* dst, uint8_t* alpha,
                const std::array<uint8_t, 256>& gamma, bool identity)
{
    const bool step16 = h.BitDepth == 16;
    switch (h.ColorType) {
    case 0:
    case 3:
        if (h.BitDepth == 2) {
            // Two bits become a 4-bit index: the palette's own index, or the grey level on the
            // 16-level scale (0, 1, 2, 3 -> 0, 5, 10, 15, the same greys exactly).
            const uint8_t scale = h.ColorType == 0 ? 5 : 1;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t value = uint8_t(((src[x / 4] >> (6 - 2 * (x % 4))) & 3) * scale);
                if (x % 2 == 0) {
                    dst[x / 2] = uint8_t(value << 4);
                } else {
                    dst[x / 2] |= value;
                }
            }
        } else if (step16) {
            for (uint32_t x = 0; x < width; ++x) {
                dst[x] = src[x * 2];
            }
        } else {
            std::memcpy(dst, src, size_t(PngRowBytes(h.ColorType, h.BitDepth, width)));
        }
        break;
    case 2: {
        const size_t step = step16 ? 6 : 3, k = step16 ? 2 : 1;
        if (!step16 && identity) {
            // One 32-bit word per pixel: the fourth byte read and written belongs to the next
            // pixel (and is overwritten by it); the last pixel goes byte by byte.
            for (uint32_t x = 0; x + 1 < width; ++x, src += 3, dst += 3) {
                StoreWord(dst, SwapRgb(LoadWord(src)));
            }
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            break;
        }
        for (uint32_t x = 0; x < width; ++x, src += step, dst += 3) {
            dst[0] = gamma[src[2 * k]];
            dst[1] = gamma[src[k]];
            dst[2] = gamma[src[0]];
        }
        break;
    }
    case 4: {
        const size_t k = step16 ? 2 : 1;
        for (uint32_t x = 0; x < width; ++x, src += 2 * k) {
            dst[x] = src[0];
            alpha[x] = src[k];
        }
        break;
    }
    case 6: {
        const size_t k = step16 ? 2 : 1;
        if (!step16 && identity) {
            for (uint32_t x = 0; x + 1 < width; ++x, src += 4, dst += 3) {
                const uint32_t word = LoadWord(src);
                StoreWord(dst, SwapRgb(word));
                alpha[x] = uint8_t(word >> 24);
            }
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            alpha[width - 1] = src[3];
            break;
        }
        for (uint32_t x = 0; x < width; ++x, src += 4 * k, dst += 3) {
            dst[0] = gamma[src[2 * k]];
            dst[1] = gamma[src[k]];
            dst[2] = gamma[src[0]];
            alpha[x] = src[3 * k];
        }
        break;
    }
    default:
        break;
    }
}

// Copies pixel `from` of a packed row to pixel `to` of another (1, 4, 8 or 24 bits per pixel);
// the target bits are or-ed in (the bitmap starts zeroed and each pixel is placed once).
void PlacePixel(const uint8_t* src, uint32_t from, uint8_t* dst, uint32_t to, uint32_t bitCount)
{
    if (bitCount == 24) {
        std::memcpy(dst + size_t(to) * 3, src + size_t(from) * 3, 3);
    } else if (bitCount == 8) {
        dst[to] = src[from];
    } else {
        const uint32_t mask = (1u << bitCount) - 1;
        const uint32_t fromBit = from * bitCount, toBit = to * bitCount;
        const uint32_t value = (src[fromBit / 8] >> (8 - bitCount - fromBit % 8)) & mask;
        dst[toBit / 8] = uint8_t(dst[toBit / 8] | (value << (8 - bitCount - toBit % 8)));
    }
}

// The colour key of an image with bit transparency, compared with each pixel's samples as
// stored in the PNG row (before the gamma table, all 16 bits): grey and colour images against
// the tRNS samples (cut to the bit depth, as the format keeps them), palette images by the
// transparent entry's index.
class ColourKey {
public:
    ColourKey(const TChunkIHDR& h, const TChunktRNS* trns) : FColorType(h.ColorType), FBitDepth(h.BitDepth)
    {
        if (!trns || !trns->BitTransparency) {
            return;
        }
        const uint32_t top = FBitDepth == 16 ? 0xFFFF : (1u << FBitDepth) - 1;
        const auto sample = [&](int i) {
            return (uint32_t(trns->PaletteValues[i * 2]) << 8 | trns->PaletteValues[i * 2 + 1]) & top;
        };
        switch (FColorType) {
        case 0:
            FActive = trns->DataSize() >= 2;
            FSamples[0] = sample(0);
            break;
        case 2:
            FActive = trns->DataSize() >= 6;
            for (int i = 0; i < 3; ++i) {
                FSamples[i] = sample(i);
            }
            break;
        case 3:
            FActive = true;
            FPaletteValues = &trns->PaletteValues;
            break;
        default:
            break;
        }
    }

    bool Active() const { return FActive; }

    // Whether pixel x of a PNG row (unfiltered, without its filter byte) is the key.
    bool Matches(const uint8_t* src, uint32_t x) const
    {
        switch (FColorType) {
        case 0:
            return Sample(src, x) == FSamples[0];
        case 2:
            return Sample(src, x * 3) == FSamples[0] && Sample(src, x * 3 + 1) == FSamples[1] &&
                   Sample(src, x * 3 + 2) == FSamples[2];
        default:
            return (*FPaletteValues)[Sample(src, x)] == 0;
        }
    }

private:
    // Sample n of a row (bit depths below 8 packed from the most significant bit).
    uint32_t Sample(const uint8_t* src, uint32_t n) const
    {
        switch (FBitDepth) {
        case 16:
            return uint32_t(src[2 * n]) << 8 | src[2 * n + 1];
        case 8:
            return src[n];
        default: {
            const uint32_t bit = n * FBitDepth;
            return (src[bit / 8] >> (8 - FBitDepth - bit % 8)) & ((1u << FBitDepth) - 1);
        }
        }
    }

    uint8_t FColorType;
    uint8_t FBitDepth;
    bool FActive = false;
    uint32_t FSamples[3] = {};
    const std::array<uint8_t, 256>* FPaletteValues = nullptr;
};

// Marks the pixels of one PNG row of width pixels that are the key, at columns first, first +
// step, ... of image row `row`.
void MarkKeyedPixels(const ColourKey& key, const uint8_t* src, uint32_t width, TChunkIHDR& h, uint32_t row,
                     uint32_t first, uint32_t step)
{
    for (uint32_t i = 0, column = first; i < width; ++i, column += step) {
        if (key.Matches(src, i)) {
            h.SetKeyedPixel(column, row, true);
        }
    }
}

// ---- writing -----------------------------------------------------------------------------------

class IdatWriter {
public:
    IdatWriter(TStream& stream, int level, uint32_t bufferSize) : FStream(stream), FOutput(MakeBuffer(bufferSize))
    {
        if (deflateInit(&FZ, level) != Z_OK) {
            throw EPNGOutMemory(EPNGOutMemoryText);
        }
        FZ.next_out = FOutput.data();
        FZ.avail_out = static_cast<uInt>(FOutput.size());
    }
    ~IdatWriter() { deflateEnd(&FZ); }
    IdatWriter(const IdatWriter&) = delete;
    IdatWriter& operator=(const IdatWriter&) = delete;

    void Write(const uint8_t* data, size_t size)
    {
        FZ.next_in = const_cast<uint8_t*>(data);
        FZ.avail_in = static_cast<uInt>(size);
        while (FZ.avail_in > 0) {
            if (deflate(&FZ, Z_NO_FLUSH) < 0) {
                throw EPNGOutMemory(EPNGOutMemoryText);
            }
            if (FZ.avail_out == 0) {
                Flush();
            }
        }
    }

    void Finish()
    {
        for (;;) {
            const int result = deflate(&FZ, Z_FINISH);
            if (result < 0 && result != Z_BUF_ERROR) {
                throw EPNGOutMemory(EPNGOutMemoryText);
            }
            if (result == Z_STREAM_END) {
                break;
            }
            if (FZ.avail_out == 0) {
                Flush();
            }
        }
        Flush();
    }

private:
    void Flush()
    {
        const size_t filled = FOutput.size() - FZ.avail_out;
        for (size_t at = 0; at < filled; at += kPngMaxIdatChunkBytes) {
            const uint32_t part = static_cast<uint32_t>(std::min<size_t>(filled - at, kPngMaxIdatChunkBytes));
            WriteChunkBytes(FStream, "IDAT", FOutput.data() + at, part);
        }
        FZ.next_out = FOutput.data();
        FZ.avail_out = static_cast<uInt>(FOutput.size());
    }

    TStream& FStream;
    z_stream FZ{};
    std::vector<uint8_t> FOutput;
};

// Converts bitmap pixels (and alpha) back into one PNG row of width pixels.
void UnconvertRow(const TChunkIHDR& h, uint8_t savedDepth, const uint8_t* src, const uint8_t* alpha,
                  uint32_t width, uint8_t* dst, const std::array<uint8_t, 256>& inverse)
{
    const bool step16 = h.BitDepth == 16;
    const size_t k = step16 ? 2 : 1;
    switch (h.ColorType) {
    case 0:
    case 3:
        if (step16) {
            for (uint32_t x = 0; x < width; ++x) {
                dst[2 * x] = src[x];
                dst[2 * x + 1] = 0;
            }
        } else {
            std::memcpy(dst, src, size_t(PngRowBytes(h.ColorType, savedDepth, width)));
        }
        break;
    case 2:
    case 6: {
        const bool hasAlpha = h.ColorType == 6;
        const size_t step = (hasAlpha ? 4 : 3) * k;
        std::memset(dst, 0, step * width);
        for (uint32_t x = 0; x < width; ++x, src += 3, dst += step) {
            dst[0] = inverse[src[2]];
            dst[k] = inverse[src[1]];
            dst[2 * k] = inverse[src[0]];
            if (hasAlpha) {
                dst[3 * k] = alpha[x];
            }
        }
        break;
    }
    case 4:
        std::memset(dst, 0, 2 * k * width);
        for (uint32_t x = 0; x < width; ++x, dst += 2 * k) {
            dst[0] = src[x];
            dst[k] = alpha[x];
        }
        break;
    default:
        break;
    }
}

// Filters rows for writing: one candidate buffer per allowed filter; picks one per row.
class RowFilterChooser {
public:
    RowFilterChooser(TFilters filters, size_t rowBytes, size_t pixelBytes)
        : FFilters(filters & kAllFilters), FRowBytes(rowBytes), FPixelBytes(pixelBytes),
          FPrevious(MakeBuffer(rowBytes))
    {
        for (int f = pfSub; f <= pfPaeth; ++f) {
            if (FFilters & FilterBit(TFilter(f))) {
                FCandidates[f] = MakeBuffer(rowBytes);
            }
        }
    }

    // The previous row is zeros at the start of each Adam7 pass, as at the start of the image.
    void StartPass(size_t rowBytes)
    {
        FRowBytes = rowBytes;
        std::fill(FPrevious.begin(), FPrevious.end(), 0);
    }

    // Answers the chosen filter and its filtered row for the raw row.
    std::pair<uint8_t, const uint8_t*> Choose(const uint8_t* raw)
    {
        const size_t n = FRowBytes, bpp = FPixelBytes;
        const uint8_t* prev = FPrevious.data();
        for (int f = pfSub; f <= pfPaeth; ++f) {
            if (FCandidates[f].empty()) {
                continue;
            }
            uint8_t* out = FCandidates[f].data();
            for (size_t i = 0; i < n; ++i) {
                const int left = i >= bpp ? raw[i - bpp] : 0;
                const int above = prev[i];
                const int upperLeft = i >= bpp ? prev[i - bpp] : 0;
                int predicted = 0;
                switch (f) {
                case pfSub: predicted = left; break;
                case pfUp: predicted = above; break;
                case pfAverage: predicted = (left + above) / 2; break;
                default: predicted = PaethPredictor(uint8_t(left), uint8_t(above), uint8_t(upperLeft)); break;
                }
                out[i] = uint8_t(raw[i] - predicted);
            }
        }
        std::memcpy(FPrevious.data(), raw, n);

        if (FFilters == 0 || FFilters == FilterBit(pfNone)) {
            return {pfNone, raw};
        }
        uint8_t best = 0xFF;
        const uint8_t* bestRow = raw;
        long bestScore = -1;
        const bool single = (FFilters & (FFilters - 1)) == 0;
        for (int f = pfNone; f <= pfPaeth; ++f) {
            if (!(FFilters & FilterBit(TFilter(f)))) {
                continue;
            }
            const uint8_t* row = f == pfNone ? raw : FCandidates[f].data();
            if (single) {
                return {uint8_t(f), row};
            }
            // Bytes equal to one of the two before them compress well.
            long score = 0;
            for (size_t i = 2; i < n; ++i) {
                score += row[i] == row[i - 1] || row[i] == row[i - 2];
            }
            if (score > bestScore) {
                bestScore = score;
                best = uint8_t(f);
                bestRow = row;
            }
        }
        return {best, bestRow};
    }

private:
    TFilters FFilters;
    size_t FRowBytes;
    size_t FPixelBytes;
    std::vector<uint8_t> FPrevious;
    std::vector<uint8_t> FCandidates[5];
};

}  // namespace

bool TChunkIDAT::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunkIHDR& h = *FOwner->Header();
    if (h.ImageData.empty()) {
        throw EPNGHeaderNotPresent(EPNGHeaderNotPresentText);  // a header whose image was never prepared
    }
    if (h.ColorType == 0 || h.ColorType == 4) {
        // The generated greys of the bitmap's colour table.
        const uint32_t levels = 1u << h.BitmapInfo.bmiHeader.biBitCount;
        for (uint32_t n = 0; n < levels; ++n) {
            const uint8_t grey = FOwner->GammaTable[(n * 255 + (levels - 1) / 2) / (levels - 1)];
            h.BitmapInfo.bmiColors[n] = TRGBQuad{grey, grey, grey, 0};
        }
    }
    const auto& gamma = FOwner->GammaTable;
    bool identity = true;
    for (int i = 0; i < 256; ++i) {
        identity = identity && gamma[size_t(i)] == i;
    }
    uint32_t rowBytes = 0, pixelBytes = 0;
    FOwner->GetPixelInfo(rowBytes, pixelBytes);
    const ColourKey key(h, FOwner->Chunks().ItemFromClass<TChunktRNS>());
    h.KeyMask.clear();
    if (key.Active()) {
        try {
            h.KeyMask.Allocate(size_t(h.KeyMaskRowBytes()) * h.Height);
        } catch (const std::bad_alloc&) {
            throw EPNGOutMemory(EPNGOutMemoryText);
        }
    }
    IdatReader reader(stream, size);
    std::vector<uint8_t> current = MakeBuffer(size_t(rowBytes) + 1);
    std::vector<uint8_t> previous = MakeBuffer(size_t(rowBytes) + 1);

    if (FOwner->InterlaceMethod == 0) {
        for (uint32_t row = 0; row < h.Height; ++row) {
            if (reader.Read(current.data(), rowBytes + 1) != rowBytes + 1) {
                DamagedImageData(kEndsEarlyText);
            }
            FilterRow(current[0], current.data() + 1, previous.data() + 1, rowBytes, pixelBytes);
            uint8_t* alpha = h.ImageAlpha.empty() ? nullptr : h.ImageAlpha.data() + size_t(row) * h.Width;
            ConvertRow(h, current.data() + 1, h.Width, h.BitmapRow(row), alpha, gamma, identity);
            if (key.Active()) {
                MarkKeyedPixels(key, current.data() + 1, h.Width, h, row, 0, 1);
            }
            std::swap(current, previous);
        }
    } else {
        const uint32_t bitCount = h.BitmapInfo.bmiHeader.biBitCount;
        std::vector<uint8_t> passPixels = MakeBuffer(h.BytesPerRow);
        std::vector<uint8_t> passAlpha = MakeBuffer(h.ImageAlpha.empty() ? 0 : h.Width);
        for (const Adam7Pass& pass : kAdam7Passes) {
            const uint32_t width = PassWidth(h.Width, pass);
            const uint32_t passRowBytes = static_cast<uint32_t>(PngRowBytes(h.ColorType, h.BitDepth, width));
            if (passRowBytes == 0) {
                continue;
            }
            std::fill(previous.begin(), previous.end(), 0);
            for (uint32_t row = pass.StartRow; row < h.Height; row += pass.RowStep) {
                if (reader.Read(current.data(), passRowBytes + 1) != passRowBytes + 1) {
                    DamagedImageData(kEndsEarlyText);
                }
                FilterRow(current[0], current.data() + 1, previous.data() + 1, passRowBytes, pixelBytes);
                ConvertRow(h, current.data() + 1, width, passPixels.data(), passAlpha.data(), gamma, identity);
                if (key.Active()) {
                    MarkKeyedPixels(key, current.data() + 1, width, h, row, pass.StartColumn, pass.ColumnStep);
                }
                uint8_t* target = h.BitmapRow(row);
                uint8_t* alpha = h.ImageAlpha.empty() ? nullptr : h.ImageAlpha.data() + size_t(row) * h.Width;
                for (uint32_t i = 0, column = pass.StartColumn; i < width; ++i, column += pass.ColumnStep) {
                    PlacePixel(passPixels.data(), i, target, column, bitCount);
                    if (alpha) {
                        alpha[column] = passAlpha[i];
                    }
                }
                std::swap(current, previous);
            }
        }
    }
    reader.FinishChunk();
    return true;
}

bool TChunkIDAT::SaveToStream(TStream& stream)
{
    const TChunkIHDR& h = *FOwner->Header();
    if (h.ImageData.empty()) {
        throw EPNGHeaderNotPresent(EPNGHeaderNotPresentText);
    }
    const uint8_t savedDepth = h.BitDepth == 2 ? 4 : h.BitDepth;
    const uint32_t bitCount = h.BitmapInfo.bmiHeader.biBitCount;
    const size_t rowBytes = size_t(PngRowBytes(h.ColorType, savedDepth, h.Width));
    const size_t pixelBytes = PngPixelBytes(h.ColorType, savedDepth);
    const auto& inverse = FOwner->InverseGamma;

    std::vector<uint8_t> raw = MakeBuffer(rowBytes);
    RowFilterChooser chooser(FOwner->Filters, rowBytes, pixelBytes);
    IdatWriter writer(stream, FOwner->CompressionLevel, FOwner->MaxIdatSize());
    auto writeRow = [&](size_t size) {
        const auto [filter, row] = chooser.Choose(raw.data());
        writer.Write(&filter, 1);
        writer.Write(row, size);
    };

    if (FOwner->InterlaceMethod == 0) {
        for (uint32_t row = 0; row < h.Height; ++row) {
            const uint8_t* alpha = h.ImageAlpha.empty() ? nullptr : h.ImageAlpha.data() + size_t(row) * h.Width;
            UnconvertRow(h, savedDepth, h.BitmapRow(row), alpha, h.Width, raw.data(), inverse);
            writeRow(rowBytes);
        }
    } else {
        std::vector<uint8_t> passPixels = MakeBuffer(h.BytesPerRow);
        std::vector<uint8_t> passAlpha = MakeBuffer(h.ImageAlpha.empty() ? 0 : h.Width);
        for (const Adam7Pass& pass : kAdam7Passes) {
            const uint32_t width = PassWidth(h.Width, pass);
            const size_t passRowBytes = size_t(PngRowBytes(h.ColorType, savedDepth, width));
            if (passRowBytes == 0 || pass.StartRow >= h.Height) {
                continue;
            }
            chooser.StartPass(passRowBytes);
            for (uint32_t row = pass.StartRow; row < h.Height; row += pass.RowStep) {
                std::fill(passPixels.begin(), passPixels.end(), 0);
                const uint8_t* source = h.BitmapRow(row);
                const uint8_t* alpha = h.ImageAlpha.empty() ? nullptr : h.ImageAlpha.data() + size_t(row) * h.Width;
                for (uint32_t i = 0, column = pass.StartColumn; i < width; ++i, column += pass.ColumnStep) {
                    PlacePixel(source, column, passPixels.data(), i, bitCount);
                    if (alpha) {
                        passAlpha[i] = alpha[column];
                    }
                }
                UnconvertRow(h, savedDepth, passPixels.data(), passAlpha.data(), width, raw.data(), inverse);
                writeRow(passRowBytes);
            }
        }
    }
    writer.Finish();
    return true;
}
