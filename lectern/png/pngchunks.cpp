// PNG pictures: the chunk classes (see pngpicture.h): the chunk kept as raw data, and the
// header, palette, gamma, transparency, time and text chunks that decode theirs. The image
// data's chunk is in pngidat.cpp.
#include "pngpicture.h"

#include "pngcommon.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using namespace png;

// ---- TChunk -----------------------------------------------------------------------------------

TChunk::TChunk(TPngPicture* owner, const char* typeName) : FName(typeName), FData(1, 0), FOwner(owner) {}

std::unique_ptr<TChunk> TChunk::CreateLike(TPngPicture* owner) const
{
    auto chunk = std::make_unique<TChunk>(owner);
    chunk->FName = FName;
    return chunk;
}

void TChunk::CheckSameClass(const TChunk& source) const
{
    if (typeid(source) != typeid(*this)) {
        throw EPngError(EPNGCannotAssignChunkText);
    }
}

void TChunk::Assign(const TChunk& source)
{
    AssignFields(source, &TChunk::FName, &TChunk::FData, &TChunk::FDataSize);
}

TChunkIHDR* TChunk::GetHeader() const
{
    return dynamic_cast<TChunkIHDR*>(FOwner->Chunks().GetItem(0));
}

void TChunk::ResizeData(uint32_t size)
{
    try {
        FData.assign(size_t(size) + 1, 0);
    } catch (const std::bad_alloc&) {
        throw EPNGOutMemory(EPNGOutMemoryText);
    }
    FDataSize = size;
}

void TChunk::WriteChunk(TStream& stream)
{
    WriteChunkBytes(stream, FName.c_str(), FData.data(), FDataSize);
}

bool TChunk::SaveToStream(TStream& stream)
{
    WriteChunk(stream);
    return true;
}

bool TChunk::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    CheckChunkLength(stream, size);
    ResizeData(size);
    uint8_t crcBytes[4];
    if (!ReadExact(stream, FData.data(), size) || !ReadExact(stream, crcBytes, 4)) {
        throw EPngUnexpectedEnd(EPngUnexpectedEndText);
    }
    uint32_t crc = UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(chunkName.data()), 4);
    crc = ~UpdateCrc(crc, FData.data(), size);
    if (crc != ReadBE32(crcBytes)) {
        throw EPngInvalidCRC(EPngInvalidCRCText);
    }
    return true;
}

// ---- TChunkIHDR ---------------------------------------------------------------------------------

namespace {

// Raises for a header that describes no image the codec holds: no pixels, a colour type and
// bit depth pair that the format forbids (there is no row converter for it), or more image
// bytes than the limit.
void CheckImageFits(uint32_t width, uint32_t height, uint8_t colorType, uint8_t bitDepth)
{
    if (width == 0 || height == 0 || !ValidDepth(colorType, bitDepth)) {
        throw EPngInvalidIHDR(EPngInvalidIHDRText);
    }
    const uint64_t rowBytes = (uint64_t(BitmapBitCount(colorType, bitDepth)) * width + 31) / 32 * 4;
    const bool hasAlpha = colorType == 4 || colorType == 6;
    if (rowBytes * height > kPngMaxImageBytes || (hasAlpha && uint64_t(width) * height > kPngMaxImageBytes)) {
        throw EPNGSizeExceeds(EPNGSizeExceedsText);
    }
}

}  // namespace

bool TChunkIHDR::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    if (FDataSize < 13) {
        throw EPngInvalidIHDR(EPngInvalidIHDRText);
    }
    // Everything is checked before anything is taken: a refused header leaves this chunk
    // without an image (no size), never a size without the pixels behind it.
    const uint8_t* d = FData.data();
    const uint32_t width = ReadBE32(d);
    const uint32_t height = ReadBE32(d + 4);
    if (width > kPngMaxDimension || height > kPngMaxDimension) {
        throw EPNGSizeExceeds(EPNGSizeExceedsText);
    }
    if (d[10] != 0) {
        throw EPNGUnknownCompression(EPNGUnknownCompressionText);
    }
    if (d[12] > 1) {
        throw EPNGUnknownInterlace(EPNGUnknownInterlaceText);
    }
    CheckImageFits(width, height, d[9], d[8]);
    Width = width;
    Height = height;
    BitDepth = d[8];
    ColorType = d[9];
    CompressionMethod = d[10];
    FilterMethod = d[11];
    InterlaceMethod = d[12];
    PrepareImageData();
    FOwner->InterlaceMethod = InterlaceMethod;
    return true;
}

bool TChunkIHDR::KeyedPixel(uint32_t x, uint32_t row) const
{
    if (KeyMask.empty() || x >= Width || row >= Height) {
        return false;
    }
    return (KeyMask[size_t(row) * KeyMaskRowBytes() + x / 8] & (0x80 >> (x % 8))) != 0;
}

void TChunkIHDR::SetKeyedPixel(uint32_t x, uint32_t row, bool transparent)
{
    if (KeyMask.empty() || x >= Width || row >= Height) {
        return;
    }
    uint8_t& byte = KeyMask[size_t(row) * KeyMaskRowBytes() + x / 8];
    const uint8_t bit = uint8_t(0x80 >> (x % 8));
    byte = transparent ? uint8_t(byte | bit) : uint8_t(byte & ~bit);
}

void TChunkIHDR::PrepareImageData()
{
    FOwner->ReleasePalette();
    ImageData.clear();
    ImageAlpha.clear();
    KeyMask.clear();
    const bool hasAlpha = ColorType == 4 || ColorType == 6;
    const uint16_t bitCount = BitmapBitCount(ColorType, BitDepth);
    const uint64_t rowBytes = (uint64_t(bitCount) * Width + 31) / 32 * 4;
    const uint64_t imageBytes = rowBytes * Height;
    try {
        CheckImageFits(Width, Height, ColorType, BitDepth);
        try {
            ImageData.Allocate(size_t(imageBytes));
            if (hasAlpha) {
                ImageAlpha.Allocate(size_t(Width) * Height);
            }
        } catch (const std::bad_alloc&) {
            throw EPNGOutMemory(EPNGOutMemoryText);
        }
    } catch (...) {
        // No image, so no size: nothing may reach for pixels that are not there.
        ImageData.clear();
        ImageAlpha.clear();
        Width = 0;
        Height = 0;
        BytesPerRow = 0;
        throw;
    }
    BytesPerRow = static_cast<uint32_t>(rowBytes);
    HasPalette = ColorType == 0 || ColorType == 3 || ColorType == 4;

    BitmapInfo = TMaxBitmapInfo();
    TBitmapInfoHeader& h = BitmapInfo.bmiHeader;
    h.biWidth = static_cast<int32_t>(Width);
    h.biHeight = static_cast<int32_t>(Height);  // positive: bottom-up
    h.biBitCount = bitCount;
    h.biSizeImage = static_cast<uint32_t>(imageBytes);
}

bool TChunkIHDR::SaveToStream(TStream& stream)
{
    ResizeData(13);
    uint8_t* d = FData.data();
    WriteBE32(d, Width);
    WriteBE32(d + 4, Height);
    d[8] = BitDepth == 2 ? 4 : BitDepth;  // the bitmap holds 2-bit images with 4 bits
    d[9] = ColorType;
    d[10] = CompressionMethod;
    d[11] = FilterMethod;
    d[12] = FOwner->InterlaceMethod;
    WriteChunk(stream);
    return true;
}

void TChunkIHDR::Assign(const TChunk& source)
{
    const auto& s = AssignFields(source, &TChunkIHDR::Width, &TChunkIHDR::Height, &TChunkIHDR::BitDepth,
                                 &TChunkIHDR::ColorType, &TChunkIHDR::CompressionMethod, &TChunkIHDR::FilterMethod,
                                 &TChunkIHDR::InterlaceMethod);
    PrepareImageData();
    ImageData = s.ImageData;
    ImageAlpha = s.ImageAlpha;
    KeyMask = s.KeyMask;
    BitmapInfo.bmiColors = s.BitmapInfo.bmiColors;
}

// ---- TChunkPLTE -----------------------------------------------------------------------------------

bool TChunkPLTE::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    if (FDataSize % 3 != 0 || FDataSize / 3 > 256) {
        throw EPNGInvalidPalette(EPNGInvalidPaletteText);
    }
    Count = FDataSize / 3;
    TChunkIHDR* header = FOwner->Header();
    const auto& gamma = FOwner->GammaTable;
    for (uint32_t i = 0; i < Count; ++i) {
        TRGBQuad& entry = header->BitmapInfo.bmiColors[i];
        entry.rgbRed = gamma[FData[i * 3]];
        entry.rgbGreen = gamma[FData[i * 3 + 1]];
        entry.rgbBlue = gamma[FData[i * 3 + 2]];
        entry.rgbReserved = 0;
    }
    return true;
}

bool TChunkPLTE::SaveToStream(TStream& stream)
{
    TChunkIHDR* header = FOwner->Header();
    ResizeData(Count * 3);
    const auto& inverse = FOwner->InverseGamma;
    for (uint32_t i = 0; i < Count; ++i) {
        const TRGBQuad& entry = header->BitmapInfo.bmiColors[i];
        FData[i * 3] = inverse[entry.rgbRed];
        FData[i * 3 + 1] = inverse[entry.rgbGreen];
        FData[i * 3 + 2] = inverse[entry.rgbBlue];
    }
    WriteChunk(stream);
    return true;
}

TRGBQuad TChunkPLTE::GetPaletteEntry(uint32_t index) const
{
    if (index >= Count) {
        throw EPngError(EPNGUnexistentPaletteEntryText);
    }
    return FOwner->Header()->BitmapInfo.bmiColors[index];
}

void TChunkPLTE::Assign(const TChunk& source)
{
    AssignFields(source, &TChunkPLTE::Count);
}

// ---- TChunkgAMA -------------------------------------------------------------------------------------

TChunkgAMA::TChunkgAMA(TPngPicture* owner) : TChunk(owner, "gAMA")
{
    SetGamma(1);
}

uint32_t TChunkgAMA::Gamma() const
{
    return FDataSize == 4 ? ReadBE32(FData.data()) : 1;
}

void TChunkgAMA::SetGamma(uint32_t value)
{
    if (FDataSize != 4) {
        ResizeData(4);
    }
    WriteBE32(FData.data(), value);
}

bool TChunkgAMA::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    // A gamma chunk of another size than 4 carries no value: it is kept as read and ignored
    // (taking a value of 1 from it would turn every colour black).
    if (FDataSize != 4) {
        return true;
    }
    const uint32_t value = Gamma();
    if (value == 0) {
        return true;
    }
    const double exponent = 1.0 / (value / 100000.0 * 2.2);
    auto& gamma = FOwner->GammaTable;
    auto& inverse = FOwner->InverseGamma;
    for (int i = 0; i < 256; ++i) {
        const double mapped = std::pow(i / 255.0, exponent) * 255.0;
        gamma[i] = static_cast<uint8_t>(std::clamp(std::lround(mapped), 0L, 255L));
        inverse[gamma[i]] = static_cast<uint8_t>(i);
    }
    return true;
}

void TChunkgAMA::Assign(const TChunk& source)
{
    CheckSameClass(source);
    TChunk::Assign(source);
}

// ---- TChunktRNS ---------------------------------------------------------------------------------------

bool TChunktRNS::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    if (FDataSize > 256) {
        throw EPNGInvalidPalette(EPNGInvalidPaletteText);
    }
    PaletteValues.fill(255);
    std::memcpy(PaletteValues.data(), FData.data(), FDataSize);
    const TChunkIHDR* header = FOwner->Header();
    switch (header->ColorType) {
    case 0:
    case 2:
        BitTransparency = true;
        break;
    case 3: {
        // One colour alone fully transparent is a transparent colour; any other use of the
        // values is partial transparency, drawn with the values as alpha.
        uint32_t below = 0;
        uint32_t zeros = 0;
        for (uint32_t i = 0; i < FDataSize; ++i) {
            below += FData[i] != 255;
            zeros += FData[i] == 0;
        }
        BitTransparency = below == 1 && zeros == 1;
        break;
    }
    default:
        BitTransparency = false;
        break;
    }
    return true;
}

bool TChunktRNS::SaveToStream(TStream& stream)
{
    if (FDataSize <= 256) {
        std::memcpy(FData.data(), PaletteValues.data(), FDataSize);
        const TChunkIHDR* header = GetHeader();
        if (header && header->ColorType == 0 && header->BitDepth == 2 && FDataSize >= 2) {
            // The image is written with 4 bits: its transparent sample moves onto that scale.
            const uint32_t sample = ((uint32_t(FData[0]) << 8 | FData[1]) & 3) * 5;
            FData[0] = 0;
            FData[1] = static_cast<uint8_t>(sample);
        }
        if (header && (header->ColorType == 0 || header->ColorType == 2) && header->BitDepth == 16) {
            // 16-bit samples are written as the 8-bit value and 0: so is the transparent one.
            for (uint32_t i = 1; i < FDataSize; i += 2) {
                FData[i] = 0;
            }
        }
    }
    WriteChunk(stream);
    return true;
}

namespace {

// A stored sample of the image's bit depth on the 8-bit scale of the decoded pixels.
uint8_t SampleTo8Bits(uint32_t sample, uint8_t bitDepth)
{
    switch (bitDepth) {
    case 16:
        return static_cast<uint8_t>(sample >> 8);
    case 8:
        return static_cast<uint8_t>(sample);
    default: {
        const uint32_t top = (1u << bitDepth) - 1;
        return static_cast<uint8_t>((sample & top) * 255 / top);
    }
    }
}

uint32_t SampleFrom8Bits(uint8_t value, uint8_t bitDepth)
{
    switch (bitDepth) {
    case 16:
        return uint32_t(value) << 8;  // the encoder writes 16-bit samples as value, 0
    case 8:
        return value;
    default: {
        const uint32_t top = (1u << bitDepth) - 1;
        return (uint32_t(value) * top + 127) / 255;
    }
    }
}

}  // namespace

TColor TChunktRNS::TransparentColor() const
{
    const TChunkIHDR* header = GetHeader();
    if (!header) {
        return 0;
    }
    const auto sample = [this](int index) { return uint32_t(PaletteValues[index * 2]) << 8 | PaletteValues[index * 2 + 1]; };
    // The stored samples are brought to the scale of the decoded pixels, so that the colour is
    // the one the transparent pixels have in the bitmap.
    switch (header->ColorType) {
    case 0: {
        const uint8_t grey = SampleTo8Bits(sample(0), header->BitDepth);
        return grey | grey << 8 | grey << 16;
    }
    case 2:
        return SampleTo8Bits(sample(0), header->BitDepth) | SampleTo8Bits(sample(1), header->BitDepth) << 8 |
               SampleTo8Bits(sample(2), header->BitDepth) << 16;
    case 3:
        for (uint32_t i = 0; i < FDataSize && i < 256; ++i) {
            if (PaletteValues[i] == 0) {
                const TRGBQuad& entry = header->BitmapInfo.bmiColors[i];
                return entry.rgbRed | entry.rgbGreen << 8 | entry.rgbBlue << 16;
            }
        }
        return 0;
    default:
        return 0;
    }
}

void TChunktRNS::SetTransparentColor(TColor color)
{
    const uint32_t rgb = ColorToRGB(color);
    const uint8_t red = uint8_t(rgb), green = uint8_t(rgb >> 8), blue = uint8_t(rgb >> 16);
    TChunkIHDR* header = GetHeader();
    if (!header) {
        return;
    }
    // A key given as a colour is compared with the colours: the mask decided on the stored
    // samples is for the key they were read with.
    header->KeyMask.clear();
    BitTransparency = true;
    auto put = [this](int index, uint32_t sample) {
        PaletteValues[index * 2] = uint8_t(sample >> 8);
        PaletteValues[index * 2 + 1] = uint8_t(sample);
    };
    switch (header->ColorType) {
    case 0:
        ResizeData(2);
        put(0, SampleFrom8Bits(red, header->BitDepth));
        break;
    case 2:
        ResizeData(6);
        put(0, SampleFrom8Bits(red, header->BitDepth));
        put(1, SampleFrom8Bits(green, header->BitDepth));
        put(2, SampleFrom8Bits(blue, header->BitDepth));
        break;
    case 3:
        for (uint32_t i = 0; i < 256; ++i) {
            const TRGBQuad& entry = header->BitmapInfo.bmiColors[i];
            if (entry.rgbBlue == blue && entry.rgbGreen == green && entry.rgbRed == red) {
                PaletteValues.fill(255);
                PaletteValues[i] = 0;
                ResizeData(i + 1);
                break;
            }
        }
        break;
    default:
        break;
    }
    std::memcpy(FData.data(), PaletteValues.data(), std::min<uint32_t>(FDataSize, 256));
}

void TChunktRNS::Assign(const TChunk& source)
{
    TChunk::Assign(source);
    AssignFields(source, &TChunktRNS::PaletteValues, &TChunktRNS::BitTransparency);
}

// ---- TChunktIME -----------------------------------------------------------------------------------------

bool TChunktIME::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    if (FDataSize == 7) {
        Year = static_cast<uint16_t>(FData[0] << 8 | FData[1]);
        Month = FData[2];
        Day = FData[3];
        Hour = FData[4];
        Minute = FData[5];
        Second = FData[6];
    }
    return true;
}

bool TChunktIME::SaveToStream(TStream& stream)
{
    ResizeData(7);
    FData[0] = uint8_t(Year >> 8);
    FData[1] = uint8_t(Year);
    FData[2] = Month;
    FData[3] = Day;
    FData[4] = Hour;
    FData[5] = Minute;
    FData[6] = Second;
    WriteChunk(stream);
    return true;
}

void TChunktIME::Assign(const TChunk& source)
{
    AssignFields(source, &TChunktIME::Year, &TChunktIME::Month, &TChunktIME::Day, &TChunktIME::Hour,
                 &TChunktIME::Minute, &TChunktIME::Second);
}

// ---- TChunktEXt and TChunkzTXt ------------------------------------------------------------------------

size_t TChunktEXt::ReadKeyword()
{
    // FData holds one byte more than the data, so the zero is searched for in the data alone.
    const uint8_t* begin = FData.data();
    const uint8_t* end = begin + FDataSize;
    const uint8_t* zero = std::find(begin, end, uint8_t(0));
    Keyword.assign(reinterpret_cast<const char*>(begin), size_t(zero - begin));
    return zero == end ? FDataSize : Keyword.size() + 1;
}

void TChunktEXt::KeepAsRead()
{
    FAsRead = true;
    FReadKeyword = Keyword;
    FReadText = Text;
}

bool TChunktEXt::SavesAsRead() const { return FAsRead && Keyword == FReadKeyword && Text == FReadText; }

bool TChunktEXt::Writable() const
{
    const bool keyword = !Keyword.empty() && Keyword.size() <= kPngMaxKeywordBytes &&
                         Keyword.find('\0') == std::string::npos;
    // As read, the keyword is the data up to the first zero byte, or all of it.
    return keyword && (!SavesAsRead() || Keyword.size() < FDataSize);
}

void TChunktEXt::CheckWritable() const
{
    if (!Writable()) {
        throw EPngError(EPNGInvalidKeywordText);
    }
}

bool TChunktEXt::SaveAsRead(TStream& stream)
{
    if (!SavesAsRead()) {
        return false;
    }
    WriteChunk(stream);
    return true;
}

bool TChunktEXt::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    // Also the shortest chunks: "a" and its zero are a keyword and empty text.
    const size_t textStart = ReadKeyword();
    Text.assign(reinterpret_cast<const char*>(FData.data()) + textStart, FDataSize - textStart);
    KeepAsRead();
    return true;
}

bool TChunktEXt::SaveToStream(TStream& stream)
{
    CheckWritable();
    if (SaveAsRead(stream)) {
        return true;
    }
    ResizeData(static_cast<uint32_t>(Keyword.size() + 1 + Text.size()));
    std::memcpy(FData.data(), Keyword.data(), Keyword.size());
    FData[Keyword.size()] = 0;
    std::memcpy(FData.data() + Keyword.size() + 1, Text.data(), Text.size());
    WriteChunk(stream);
    return true;
}

void TChunktEXt::Assign(const TChunk& source)
{
    TChunk::Assign(source);   // the data as read, too
    AssignFields(source, &TChunktEXt::Keyword, &TChunktEXt::Text, &TChunktEXt::FAsRead, &TChunktEXt::FReadKeyword,
                 &TChunktEXt::FReadText);
}

namespace {

// Inflates one whole zlib stream into at most limit bytes; false (with zlib's message when it
// has one) for data that is not one complete stream or inflates to more.
bool DecompressZLIB(const uint8_t* input, size_t size, std::string& output, uint32_t limit,
                    std::string& errorText)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return false;
    }
    z.next_in = const_cast<uint8_t*>(input);
    z.avail_in = static_cast<uInt>(size);
    uint8_t buffer[256];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        if (result < 0 && result != Z_BUF_ERROR) {
            break;
        }
        const size_t produced = sizeof buffer - z.avail_out;
        if (output.size() + produced > limit) {
            result = Z_MEM_ERROR;
            break;
        }
        output.append(reinterpret_cast<char*>(buffer), produced);
        if (result == Z_BUF_ERROR || (result == Z_OK && produced == 0 && z.avail_in == 0)) {
            result = Z_DATA_ERROR;  // the input ended before the stream did
        }
    }
    if (result != Z_STREAM_END) {
        errorText = z.msg ? z.msg : zError(result);
        output.clear();
    }
    inflateEnd(&z);
    return result == Z_STREAM_END;
}

bool CompressZLIB(const std::string& input, int level, std::vector<uint8_t>& output)
{
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK) {
        return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    uint8_t buffer[256];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        result = deflate(&z, Z_FINISH);
        if (result < 0) {
            break;
        }
        output.insert(output.end(), buffer, buffer + (sizeof buffer - z.avail_out));
    }
    deflateEnd(&z);
    return result == Z_STREAM_END;
}

}  // namespace

bool TChunkzTXt::LoadFromStream(TStream& stream, const std::string& chunkName, uint32_t size)
{
    TChunk::LoadFromStream(stream, chunkName, size);
    Keyword.clear();
    Text.clear();
    const size_t methodAt = ReadKeyword();
    if (methodAt < FDataSize && FData[methodAt] == 0) {
        std::string error;
        DecompressZLIB(FData.data() + methodAt + 1, FDataSize - methodAt - 1, Text, kPngTextInflateLimitBytes,
                       error);
    }
    KeepAsRead();
    return true;
}

bool TChunkzTXt::SaveToStream(TStream& stream)
{
    CheckWritable();
    if (SaveAsRead(stream)) {
        return true;
    }
    std::vector<uint8_t> packed;
    if (!CompressZLIB(Text.empty() ? std::string(" ") : Text, FOwner->CompressionLevel, packed)) {
        throw EPNGOutMemory(EPNGOutMemoryText);
    }
    ResizeData(static_cast<uint32_t>(Keyword.size() + 2 + packed.size()));
    std::memcpy(FData.data(), Keyword.data(), Keyword.size());
    FData[Keyword.size()] = 0;
    FData[Keyword.size() + 1] = 0;
    std::memcpy(FData.data() + Keyword.size() + 2, packed.data(), packed.size());
    WriteChunk(stream);
    return true;
}
