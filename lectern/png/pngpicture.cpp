// PNG pictures: the chunk list, the registry of chunk classes and the picture object (see
// pngpicture.h). The chunk classes are in pngchunks.cpp, the image data's coding in pngidat.cpp,
// drawing in pngdrawWin.cpp (the Windows tree; the host build's refusals in pngdraw.cpp).
#include "pngpicture.h"

#include "pngcommon.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

const char* const EPNGInvalidFileHeaderText =
    "The file being readed is not a valid \"Portable Network Graphics\" image because it contains "
    "an invalid header. This file may be corruped, try obtaining it again.";
const char* const EPngUnexpectedEndText =
    "This \"Portable Network Graphics\" image is invalid because the decoder found an unexpected "
    "end of the file.";
const char* const EPNGIHDRNotFirstText =
    "This \"Portable Network Graphics\" image is not supported or it might be invalid.\r\n"
    "(IHDR chunk is not the first)";
const char* const EPNGUnknownCriticalChunkText =
    "This \"Portable Network Graphics\" image contains an unknown critical part which could not "
    "be decoded.";
const char* const EPNGNoImageDataText = "This \"Portable Network Graphics\" image contains no data.";
const char* const EPngInvalidCRCText =
    "This \"Portable Network Graphics\" image is not valid because it contains invalid pieces of "
    "data (crc error)";
const char* const EPngInvalidIHDRText =
    "The \"Portable Network Graphics\" image could not be loaded because one of its main piece of "
    "data (ihdr) might be corrupted";
const char* const EPNGSizeExceedsText =
    "This \"Portable Network Graphics\" image is not supported because either it's width or height "
    "exceeds the maximum size, which is 65535 pixels length.";
const char* const EPNGUnknownCompressionText =
    "This \"Portable Network Graphics\" image is encoded with an unknown compression scheme which "
    "could not be decoded.";
const char* const EPNGUnknownInterlaceText =
    "This \"Portable Network Graphics\" image uses an unknown interlace scheme which could not be "
    "decoded.";
const char* const EPNGInvalidPaletteText =
    "The \"Portable Network Graphics\" image contains an invalid palette.";
const char* const EPNGHeaderNotPresentText =
    "This operation is not valid because the current image contains no valid header.";
const char* const EPNGMissingMultipleIDATText =
    "This \"Portable Network Graphics\" image is invalid because it has missing image parts.";
const char* const EPNGZLIBErrorText =
    "Could not decompress the image because it contains invalid compressed data.\r\n Description: ";
const char* const EPNGOutMemoryText =
    "Some operation could not be performed because the system is out of resources. Close some "
    "windows and try again.";
const char* const EPNGCannotAssignChunkText = "The chunks must be compatible to be assigned.";
const char* const EPNGUnexistentPaletteEntryText = "There is no such palette entry.";
const char* const EPNGCannotChangeSizeText =
    "The \"Portable Network Graphics\" image can not be resize by changing width and height "
    "properties. Try assigning the image from a bitmap.";
const char* const EPNGInvalidKeywordText =
    "The \"Portable Network Graphics\" image can not be saved because one of its texts has a keyword "
    "that is empty, longer than 79 bytes, holds a zero byte or is not ended by one.";

namespace {

const uint8_t kPngSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// The process's chunk classes, filled at unit start on the main thread.
std::vector<TChunkClass>& ChunkClasses()
{
    static std::vector<TChunkClass> classes;
    return classes;
}

}  // namespace

uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t size)
{
    // zlib's crc32 is the same CRC-32 (polynomial 0xEDB88320) with the inversion folded in.
    uLong value = ~static_cast<uLong>(crc) & 0xFFFFFFFFu;
    while (size > 0) {
        const uInt part = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
        value = crc32(value, data, part);
        data += part;
        size -= part;
    }
    return ~static_cast<uint32_t>(value);
}

uint8_t PaethPredictor(uint8_t left, uint8_t above, uint8_t upperLeft)
{
    const int p = int(left) + above - upperLeft;
    const int pa = std::abs(p - left);
    const int pb = std::abs(p - above);
    const int pc = std::abs(p - upperLeft);
    if (pa <= pb && pa <= pc) {
        return left;
    }
    return pb <= pc ? above : upperLeft;
}

namespace png {

bool ReadExact(TStream& stream, void* buffer, uint32_t count)
{
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const int32_t got = stream.Read(out, static_cast<int32_t>(std::min<uint32_t>(count, 0x40000000u)));
        if (got <= 0) {
            return false;
        }
        out += got;
        count -= static_cast<uint32_t>(got);
    }
    return true;
}

uint32_t ReadBE32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void WriteBE32(uint8_t* p, uint32_t value)
{
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

void CheckChunkLength(TStream& stream, uint32_t length)
{
    // The data and its 4-byte CRC must lie in the stream.
    const int64_t left = stream.Size() - stream.Position();
    if (length > kPngMaxChunkLength || int64_t(length) + 4 > left) {
        throw EPngUnexpectedEnd(EPngUnexpectedEndText);
    }
}

void WriteChunkBytes(TStream& stream, const char* type, const uint8_t* data, uint32_t size)
{
    uint8_t head[8];
    WriteBE32(head, size);
    std::memcpy(head + 4, type, 4);
    stream.WriteBuffer(head, 8);
    if (size > 0) {
        stream.WriteBuffer(data, size);
    }
    uint8_t crc[4];
    WriteBE32(crc, ~UpdateCrc(UpdateCrc(0xFFFFFFFFu, head + 4, 4), data, size));
    stream.WriteBuffer(crc, 4);
}

uint16_t BitmapBitCount(uint8_t colorType, uint8_t bitDepth)
{
    switch (colorType) {
    case 0:
    case 3:
    case 4:
        return bitDepth == 2 ? 4 : bitDepth == 16 ? 8 : bitDepth;
    default:
        return 24;
    }
}

bool ValidDepth(uint8_t colorType, uint8_t bitDepth)
{
    switch (colorType) {
    case 0:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3:
        return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6:
        return bitDepth == 8 || bitDepth == 16;
    default:
        return false;
    }
}

uint64_t PngRowBytes(uint8_t colorType, uint8_t bitDepth, uint64_t width)
{
    const uint64_t bits = width * bitDepth;
    switch (colorType) {
    case 0:
    case 3:
        return (bits + 7) / 8;
    case 2:
        return bits * 3 / 8;
    case 4:
        return bits * 2 / 8;
    case 6:
        return bits * 4 / 8;
    default:
        return 0;
    }
}

uint32_t PngPixelBytes(uint8_t colorType, uint8_t bitDepth)
{
    switch (colorType) {
    case 0:
        return bitDepth == 16 ? 2 : 1;
    case 3:
        return 1;
    case 2:
        return bitDepth * 3 / 8;
    case 4:
        return bitDepth / 4;
    case 6:
        return bitDepth / 2;
    default:
        return 0;
    }
}

}  // namespace png

using namespace png;

// ---- TZeroedBytes -----------------------------------------------------------------------------

void TZeroedBytes::Free::operator()(uint8_t* p) const
{
    std::free(p);
}

void TZeroedBytes::Allocate(size_t size)
{
    clear();
    if (size > 0) {
        FData.reset(static_cast<uint8_t*>(std::calloc(size, 1)));
        if (!FData) {
            throw std::bad_alloc();
        }
        FSize = size;
    }
}

TZeroedBytes& TZeroedBytes::operator=(const TZeroedBytes& other)
{
    if (this != &other) {
        Allocate(other.FSize);
        if (FSize > 0) {
            std::memcpy(FData.get(), other.FData.get(), FSize);
        }
    }
    return *this;
}

// ---- the list and the registry -----------------------------------------------------------------

TChunk* TPNGList::GetItem(int index) const
{
    return index >= 0 && index < Count() ? FItems[size_t(index)].get() : nullptr;
}

TChunk* TPNGList::Add(std::unique_ptr<TChunk> chunk)
{
    FItems.push_back(std::move(chunk));
    return FItems.back().get();
}

std::unique_ptr<TChunk> TPNGList::Remove(TChunk* chunk)
{
    for (size_t i = FItems.size(); i-- > 0;) {
        if (FItems[i].get() == chunk) {
            std::unique_ptr<TChunk> found = std::move(FItems[i]);
            FItems.erase(FItems.begin() + std::ptrdiff_t(i));
            return found;
        }
    }
    return nullptr;
}

void RegisterChunk(const TChunkClass& chunkClass)
{
    ChunkClasses().push_back(chunkClass);
}

void RegisterCommonChunks()
{
    RegisterChunk(TChunkIEND::kClass);
    RegisterChunk(TChunkIHDR::kClass);
    RegisterChunk(TChunkIDAT::kClass);
    RegisterChunk(TChunkPLTE::kClass);
    RegisterChunk(TChunkgAMA::kClass);
    RegisterChunk(TChunktRNS::kClass);
    RegisterChunk(TChunktIME::kClass);
    RegisterChunk(TChunktEXt::kClass);
    RegisterChunk(TChunkzTXt::kClass);
}

void FreeChunkClassList()
{
    ChunkClasses().clear();
    ChunkClasses().shrink_to_fit();
}

std::unique_ptr<TChunk> CreateClassChunk(TPngPicture* owner, const std::string& chunkName)
{
    for (const TChunkClass& chunkClass : ChunkClasses()) {
        if (chunkName == chunkClass.Name) {
            return chunkClass.Create(owner);
        }
    }
    auto chunk = std::make_unique<TChunk>(owner);
    chunk->SetName(chunkName);
    return chunk;
}

void PngPictureInitialize()
{
    RegisterCommonChunks();
    RegisterFileFormat("PNG", "Portable Network Graphics", &TPngPicture::CreatePicture);
}

void PngPictureFinalize()
{
    UnregisterFileFormat(&TPngPicture::CreatePicture);
    FreeChunkClassList();
}

// ---- TPngPicture ----------------------------------------------------------------------------------

TPngPicture::TPngPicture() : FChunkList(this)
{
    InitializeGamma();
}

TPngPicture::~TPngPicture()
{
    FChunkList.Clear();
    ReleasePalette();
}

void TPngPicture::InitializeGamma()
{
    for (int i = 0; i < 256; ++i) {
        GammaTable[i] = static_cast<uint8_t>(i);
        InverseGamma[i] = static_cast<uint8_t>(i);
    }
}

void TPngPicture::Clear()
{
    InitializeGamma();
    FChunkList.Clear();
}

TChunkIHDR* TPngPicture::Header() const
{
    auto* header = dynamic_cast<TChunkIHDR*>(FChunkList.GetItem(0));
    if (!header) {
        throw EPNGHeaderNotPresent(EPNGHeaderNotPresentText);
    }
    return header;
}

bool TPngPicture::HeaderPresent() const
{
    return dynamic_cast<TChunkIHDR*>(FChunkList.GetItem(0)) != nullptr;
}

int32_t TPngPicture::GetWidth() const
{
    return HeaderPresent() ? static_cast<int32_t>(Header()->Width) : 0;
}

int32_t TPngPicture::GetHeight() const
{
    return HeaderPresent() ? static_cast<int32_t>(Header()->Height) : 0;
}

void TPngPicture::SetWidth(int32_t)
{
    throw EPngError(EPNGCannotChangeSizeText);
}

void TPngPicture::SetHeight(int32_t)
{
    throw EPngError(EPNGCannotChangeSizeText);
}

void TPngPicture::GetPixelInfo(uint32_t& lineSize, uint32_t& offset) const
{
    lineSize = 0;
    offset = 0;
    if (HeaderPresent()) {
        const TChunkIHDR* h = Header();
        lineSize = static_cast<uint32_t>(PngRowBytes(h->ColorType, h->BitDepth, h->Width));
        offset = PngPixelBytes(h->ColorType, h->BitDepth);
    }
}

void TPngPicture::LoadFromStream(TStream& stream)
{
    Clear();
    uint8_t signature[8];
    if (!ReadExact(stream, signature, 8) || std::memcmp(signature, kPngSignature, 8) != 0) {
        throw EPNGInvalidFileHeader(EPNGInvalidFileHeaderText);
    }
    bool hasIdat = false;
    for (;;) {
        uint8_t head[8];
        if (!ReadExact(stream, head, 8)) {
            throw EPngUnexpectedEnd(EPngUnexpectedEndText);
        }
        const uint32_t length = ReadBE32(head);
        const std::string type(reinterpret_cast<const char*>(head + 4), 4);
        CheckChunkLength(stream, length);
        if (FChunkList.Count() == 0 && type != "IHDR") {
            Clear();
            throw EPNGIHDRNotFirst(EPNGIHDRNotFirstText);
        }
        if (FChunkList.Count() > 0 && type == "IHDR") {
            // One image has one header; a second would reset the interlace method under the
            // image of the first and be saved again beside it.
            throw EPngInvalidIHDR(EPngInvalidIHDRText);
        }
        if (type == "cHRM" || (type == "IDAT" && hasIdat)) {
            stream.Seek(int64_t(length) + 4, SeekOrigin::Current);
            continue;
        }
        std::unique_ptr<TChunk> made = CreateClassChunk(this, type);
        const TChunk& madeChunk = *made;
        if (typeid(madeChunk) == typeid(TChunk) && (head[4] & 0x20) == 0) {
            throw EPNGUnknownCriticalChunk(EPNGUnknownCriticalChunkText);
        }
        TChunk* chunk = FChunkList.Add(std::move(made));
        const bool more = chunk->LoadFromStream(stream, type, length);
        if (type == "IDAT") {
            hasIdat = true;
        }
        if (!more || type == "IEND") {
            break;
        }
    }
    if (!hasIdat) {
        throw EPNGNoImageData(EPNGNoImageDataText);
    }
}

void TPngPicture::SaveToStream(TStream& stream)
{
    // A text the format forbids is refused before anything is written.
    for (int i = 0; i < FChunkList.Count(); ++i) {
        if (const auto* text = dynamic_cast<const TChunktEXt*>(FChunkList.GetItem(i)); text != nullptr) {
            text->CheckWritable();
        }
    }
    stream.WriteBuffer(kPngSignature, 8);
    for (int i = 0; i < FChunkList.Count(); ++i) {
        FChunkList.GetItem(i)->SaveToStream(stream);
    }
}

void TPngPicture::Assign(const TPersistent* source)
{
    if (const auto* png = dynamic_cast<const TPngPicture*>(source)) {
        if (png == this) {
            return;
        }
        InterlaceMethod = png->InterlaceMethod;
        FMaxIdatSize = png->FMaxIdatSize;
        CompressionLevel = png->CompressionLevel;
        Filters = png->Filters;
        Clear();
        GammaTable = png->GammaTable;
        InverseGamma = png->InverseGamma;
        for (int i = 0; i < png->FChunkList.Count(); ++i) {
            const TChunk* from = png->FChunkList.GetItem(i);
            TChunk* to = FChunkList.Add(from->CreateLike(this));
            to->Assign(*from);
        }
        return;
    }
    if (AssignFromBitmap(source)) {
        return;
    }
    TGraphic::Assign(source);
}

void TPngPicture::AssignTo(TPersistent* dest) const
{
    if (auto* png = dynamic_cast<TPngPicture*>(dest)) {
        png->Assign(this);
        return;
    }
    if (HeaderPresent() && AssignToBitmap(dest)) {
        return;
    }
    TGraphic::AssignTo(dest);
}

uint8_t* TPngPicture::Scanline(uint32_t row)
{
    TChunkIHDR* h = Header();
    return row < h->Height ? h->BitmapRow(row) : nullptr;
}

uint8_t* TPngPicture::AlphaScanline(uint32_t row)
{
    TChunkIHDR* h = Header();
    if ((h->ColorType != 4 && h->ColorType != 6) || row >= h->Height) {
        return nullptr;
    }
    return h->ImageAlpha.data() + size_t(row) * h->Width;
}

TPNGTransparencyMode TPngPicture::TransparencyMode() const
{
    if (!HeaderPresent()) {
        return TPNGTransparencyMode::ptmNone;
    }
    const TChunktRNS* trns = FChunkList.ItemFromClass<TChunktRNS>();
    switch (Header()->ColorType) {
    case 0:
    case 2:
        return trns ? TPNGTransparencyMode::ptmBit : TPNGTransparencyMode::ptmNone;
    case 3:
        if (!trns) {
            return TPNGTransparencyMode::ptmNone;
        }
        return trns->BitTransparency ? TPNGTransparencyMode::ptmBit : TPNGTransparencyMode::ptmPartial;
    case 4:
    case 6:
        return TPNGTransparencyMode::ptmPartial;
    default:
        return TPNGTransparencyMode::ptmNone;
    }
}

TColor TPngPicture::TransparentColor() const
{
    const TChunktRNS* trns = FChunkList.ItemFromClass<TChunktRNS>();
    return trns ? trns->TransparentColor() : 0;
}

namespace {

// The colour-table index of pixel x in a bitmap row of bitCount 1, 4 or 8.
uint32_t IndexAt(const uint8_t* row, uint32_t x, uint32_t bitCount)
{
    const uint32_t bit = x * bitCount;
    const uint32_t shift = 8 - bitCount - bit % 8;
    return (row[bit / 8] >> shift) & ((1u << bitCount) - 1);
}

}  // namespace

void TPngPicture::BlendOnto(uint8_t* section, size_t stride) const
{
    const TChunkIHDR* h = Header();
    const uint32_t bitCount = h->BitmapInfo.bmiHeader.biBitCount;
    const TChunktRNS* trns = FChunkList.ItemFromClass<TChunktRNS>();
    auto blend = [](uint8_t& target, uint32_t source, uint32_t alpha) {
        target = static_cast<uint8_t>((source * alpha + (255 - alpha) * target + 255) >> 8);
    };
    for (uint32_t y = 0; y < h->Height; ++y) {
        uint8_t* out = section + y * stride;
        const uint8_t* row = h->BitmapRow(y);
        const uint8_t* alpha = h->ImageAlpha.empty() ? nullptr : h->ImageAlpha.data() + size_t(y) * h->Width;
        for (uint32_t x = 0; x < h->Width; ++x, out += 4) {
            uint32_t b, g, r, a;
            if (bitCount == 24) {
                b = row[x * 3];
                g = row[x * 3 + 1];
                r = row[x * 3 + 2];
                a = alpha ? alpha[x] : 255;
            } else if (h->ColorType == 4) {
                b = g = r = row[x];
                a = alpha[x];
            } else {
                const uint32_t index = IndexAt(row, x, bitCount);
                const TRGBQuad& entry = h->BitmapInfo.bmiColors[index];
                b = entry.rgbBlue;
                g = entry.rgbGreen;
                r = entry.rgbRed;
                a = trns ? trns->PaletteValues[index] : 255;
            }
            blend(out[0], b, a);
            blend(out[1], g, a);
            blend(out[2], r, a);
        }
    }
}

TColor TPngPicture::GetPixels(int32_t x, int32_t y) const
{
    const TChunkIHDR* h = Header();
    if (x < 0 || y < 0 || uint32_t(x) >= h->Width || uint32_t(y) >= h->Height) {
        return 0;
    }
    const uint8_t* row = h->BitmapRow(uint32_t(y));
    const uint32_t bitCount = h->BitmapInfo.bmiHeader.biBitCount;
    if (bitCount == 24) {
        return row[x * 3 + 2] | row[x * 3 + 1] << 8 | row[x * 3] << 16;
    }
    // Palette and grey images (grey with alpha too): the colour-table entry of the index. The
    // palette and the generated greys went through the gamma table when they were made, so the
    // colour is the one drawn, as for colour images (mapping it again would darken it twice).
    const TRGBQuad& entry = h->BitmapInfo.bmiColors[IndexAt(row, uint32_t(x), bitCount)];
    return entry.rgbRed | entry.rgbGreen << 8 | entry.rgbBlue << 16;
}

void TPngPicture::SetPixels(int32_t x, int32_t y, TColor value)
{
    TChunkIHDR* h = Header();
    if (x < 0 || y < 0 || uint32_t(x) >= h->Width || uint32_t(y) >= h->Height) {
        return;
    }
    uint8_t* row = h->BitmapRow(uint32_t(y));
    const uint32_t rgb = ColorToRGB(value);
    const int red = rgb & 0xFF, green = (rgb >> 8) & 0xFF, blue = (rgb >> 16) & 0xFF;
    const uint32_t bitCount = h->BitmapInfo.bmiHeader.biBitCount;
    if (bitCount == 24) {
        row[x * 3] = uint8_t(blue);
        row[x * 3 + 1] = uint8_t(green);
        row[x * 3 + 2] = uint8_t(red);
        // A pixel set to the transparent colour is transparent.
        h->SetKeyedPixel(uint32_t(x), uint32_t(y), rgb == ColorToRGB(TransparentColor()));
        return;
    }
    // The nearest colour among the indexes a pixel of this bitmap can hold (and, for palette
    // images, that the palette has).
    uint32_t count = 1u << bitCount;
    if (h->ColorType == 3) {
        if (const TChunkPLTE* plte = FChunkList.ItemFromClass<TChunkPLTE>()) {
            count = std::min(count, std::max<uint32_t>(plte->Count, 1));
        }
    }
    uint32_t best = 0;
    int bestDistance = 1 << 30;
    for (uint32_t i = 0; i < count; ++i) {
        const TRGBQuad& entry = h->BitmapInfo.bmiColors[i];
        const int dr = entry.rgbRed - red, dg = entry.rgbGreen - green, db = entry.rgbBlue - blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    const uint32_t bit = uint32_t(x) * bitCount;
    const uint32_t shift = 8 - bitCount - bit % 8;
    const uint32_t mask = ((1u << bitCount) - 1) << shift;
    uint8_t& byte = row[bit / 8];
    byte = static_cast<uint8_t>((byte & ~mask) | (best << shift));
    // The transparent entry of a palette, or the transparent colour of grey, is transparent.
    const TChunktRNS* trns = FChunkList.ItemFromClass<TChunktRNS>();
    h->SetKeyedPixel(uint32_t(x), uint32_t(y),
                     trns && (h->ColorType == 3 ? trns->PaletteValues[best] == 0
                                                : rgb == ColorToRGB(TransparentColor())));
}
