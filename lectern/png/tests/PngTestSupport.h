// Test helpers of the PNG codec: PNG streams built by hand and the pixels of a picture.
#pragma once

#include "lectern/png/pngpicture.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pngtest {

// A PNG stream written chunk by chunk; every chunk gets its right CRC unless told otherwise.
class PngBuilder {
public:
    PngBuilder();  // starts with the signature
    PngBuilder& Chunk(const std::string& type, const std::string& data);
    PngBuilder& ChunkWithCrc(const std::string& type, const std::string& data, uint32_t crc);
    // A raw length field followed by a type and data (for lengths that lie).
    PngBuilder& RawChunk(uint32_t length, const std::string& type, const std::string& data);
    PngBuilder& Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType,
                       uint8_t interlace = 0, uint8_t compression = 0);
    PngBuilder& End() { return Chunk("IEND", ""); }
    PngBuilder& Bytes(const std::string& bytes);
    const std::string& Data() const { return FData; }

private:
    std::string FData;
};

std::string BE32(uint32_t value);
// The zlib stream of data.
std::string Deflate(const std::string& data, int level = 6);
std::string Inflate(const std::string& data);
// A filter byte 0 in front of each row of rowBytes bytes.
std::string UnfilteredRows(const std::vector<std::string>& rows);

// Loads a PNG from bytes (raises as LoadFromStream does).
void LoadPng(TPngPicture& picture, const std::string& bytes);
std::string SavePng(TPngPicture& picture);
std::string ReadFileBytes(const std::string& path);

// The committed fixtures (tests/fixtures): every colour type, bit depth and interlace method
// from one producer, and the files of the others; and the bytes of one of them.
extern const std::vector<std::string> kFixtureNames;
std::string FixtureBytes(const std::string& name);
// Saves every fixture with each filter set (none, each filter alone, all) and both interlace
// methods, and hands check the saved file, the fixture's pixels and a label of the case.
void ForEachSavedFixture(
    const std::function<void(const std::string& saved, const std::vector<uint8_t>& pixels, const std::string& label)>&
        check);

// The picture's pixels as red, green, blue, alpha, top-down: palettes expanded, transparency
// applied as alpha (the alpha plane, the palette's values, or 0 for the pixels of the colour key:
// those of the key mask, or without one those of the transparent colour).
std::vector<uint8_t> RgbaPixels(TPngPicture& picture);

// Images with a colour key (a tRNS chunk of grey, colour or palette bit transparency) and
// which of their pixels (row by row) the key makes transparent: decided on the samples as
// stored, whatever the gamma table makes of the colours or the bitmap keeps of the bits.
struct TColourKeyCase {
    std::string Name;
    std::string Png;
    std::vector<bool> Transparent;
};
std::vector<TColourKeyCase> ColourKeyCases();

// The chunks of a PNG stream, in order: (type, data).
std::vector<std::pair<std::string, std::string>> SplitChunks(const std::string& png);

}  // namespace pngtest
