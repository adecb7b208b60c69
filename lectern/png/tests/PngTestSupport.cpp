#include "PngTestSupport.h"

#include <zlib.h>

#include <stdexcept>

namespace pngtest {

std::string BE32(uint32_t value)
{
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

PngBuilder::PngBuilder() : FData("\x89PNG\r\n\x1a\n", 8) {}

PngBuilder& PngBuilder::ChunkWithCrc(const std::string& type, const std::string& data, uint32_t crc)
{
    FData += BE32(uint32_t(data.size())) + type + data + BE32(crc);
    return *this;
}

PngBuilder& PngBuilder::Chunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    return ChunkWithCrc(type, data, crc);
}

PngBuilder& PngBuilder::RawChunk(uint32_t length, const std::string& type, const std::string& data)
{
    FData += BE32(length) + type + data;
    return *this;
}

PngBuilder& PngBuilder::Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType,
                               uint8_t interlace, uint8_t compression)
{
    std::string d = BE32(width) + BE32(height);
    d += char(depth);
    d += char(colorType);
    d += char(compression);
    d += char(0);
    d += char(interlace);
    return Chunk("IHDR", d);
}

PngBuilder& PngBuilder::Bytes(const std::string& bytes)
{
    FData += bytes;
    return *this;
}

std::string Deflate(const std::string& data, int level)
{
    uLongf size = compressBound(uLong(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  uLong(data.size()), level) != Z_OK) {
        throw std::runtime_error("compress2 failed");
    }
    out.resize(size);
    return out;
}

std::string Inflate(const std::string& data)
{
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    std::string out;
    char buffer[4096];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("inflate failed");
    }
    return out;
}

std::string UnfilteredRows(const std::vector<std::string>& rows)
{
    std::string out;
    for (const std::string& row : rows) {
        out += '\0';
        out += row;
    }
    return out;
}

void LoadPng(TPngPicture& picture, const std::string& bytes)
{
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    stream.SetPosition(0);
    picture.LoadFromStream(stream);
}

std::string SavePng(TPngPicture& picture)
{
    TMemoryStream stream;
    picture.SaveToStream(stream);
    return stream.DataString();
}

std::string ReadFileBytes(const std::string& path)
{
    TMemoryStream stream;
    stream.LoadFromFile(path);
    return stream.DataString();
}

const std::vector<std::string> kFixtureNames = {
    "im-g1.png", "im-g2.png", "im-g4.png", "im-g8.png", "im-g16.png", "im-rgb8.png", "im-rgb16.png",
    "im-ga8.png", "im-ga16.png", "im-rgba8.png", "im-rgba16.png", "im-p1.png", "im-p2.png", "im-p4.png",
    "im-p8.png", "im-g1-i.png", "im-g2-i.png", "im-g4-i.png", "im-g8-i.png", "im-g16-i.png",
    "im-rgb8-i.png", "im-rgb16-i.png", "im-ga8-i.png", "im-ga16-i.png", "im-rgba8-i.png",
    "im-rgba16-i.png", "im-p1-i.png", "im-p2-i.png", "im-p4-i.png", "im-p8-i.png", "opt-o1.png",
    "opt-o4.png", "opt-o7.png", "opt-p8.png", "crush-small-idat.png", "crush-small-idat-i.png",
    "pil-ztxt.png", "pil-rgb-trns.png", "pil-g-trns.png", "pil-p-trns-partial.png", "pil-p-trns-bit.png",
};

std::string FixtureBytes(const std::string& name)
{
    return ReadFileBytes(std::string(PNG_FIXTURES) + name);
}

void ForEachSavedFixture(
    const std::function<void(const std::string& saved, const std::vector<uint8_t>& pixels, const std::string& label)>&
        check)
{
    const TFilters filterSets[] = {FilterBit(pfNone), FilterBit(pfSub),     FilterBit(pfUp),
                                   FilterBit(pfAverage), FilterBit(pfPaeth), kAllFilters};
    for (const std::string& name : kFixtureNames) {
        TPngPicture picture;
        LoadPng(picture, FixtureBytes(name));
        const std::vector<uint8_t> pixels = RgbaPixels(picture);
        for (TFilters filters : filterSets) {
            for (uint8_t interlace : {0, 1}) {
                picture.Filters = filters;
                picture.InterlaceMethod = interlace;
                check(SavePng(picture), pixels,
                      name + " filters " + std::to_string(filters) + " interlace " + std::to_string(interlace));
            }
        }
    }
}

std::vector<uint8_t> RgbaPixels(TPngPicture& picture)
{
    const TChunkIHDR& h = *picture.Header();
    const uint32_t width = h.Width, height = h.Height;
    std::vector<uint8_t> out(size_t(width) * height * 4);
    const TPNGTransparencyMode mode = picture.TransparencyMode();
    const uint32_t transparent = ColorToRGB(picture.TransparentColor());
    const TChunktRNS* trns = picture.Chunks().ItemFromClass<TChunktRNS>();
    const uint32_t bitCount = h.BitmapInfo.bmiHeader.biBitCount;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = h.BitmapRow(y);
        const uint8_t* alpha = picture.AlphaScanline(y);
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &out[(size_t(y) * width + x) * 4];
            uint32_t index = 0;
            if (bitCount == 24) {
                p[0] = row[x * 3 + 2];
                p[1] = row[x * 3 + 1];
                p[2] = row[x * 3];
            } else {
                const uint32_t bit = x * bitCount;
                index = (row[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                const TRGBQuad& entry = h.BitmapInfo.bmiColors[index];
                p[0] = entry.rgbRed;
                p[1] = entry.rgbGreen;
                p[2] = entry.rgbBlue;
            }
            p[3] = 255;
            if (alpha) {
                p[3] = alpha[x];
            } else if (mode == TPNGTransparencyMode::ptmPartial && trns) {
                p[3] = trns->PaletteValues[index];
            } else if (mode == TPNGTransparencyMode::ptmBit && !h.KeyMask.empty()) {
                p[3] = h.KeyedPixel(x, y) ? 0 : 255;   // the key as decided on the stored samples
            } else if (mode == TPNGTransparencyMode::ptmBit) {
                const uint32_t rgb = p[0] | p[1] << 8 | p[2] << 16;
                p[3] = rgb == transparent ? 0 : 255;
            }
        }
    }
    return out;
}

std::vector<TColourKeyCase> ColourKeyCases()
{
    const std::string gamma = BE32(100000);   // 1.0: colours are brightened (100 becomes 167)
    const auto rgb = [](int r, int g, int b) { return std::string{char(r), char(g), char(b)}; };
    const std::string greyKey("\x12\x34", 2);
    std::vector<TColourKeyCase> cases;
    cases.push_back({"colour with gamma: the key's own pixels",
                     PngBuilder().Header(3, 1, 8, 2).Chunk("gAMA", gamma).Chunk("tRNS", std::string("\0d\0d\0d", 6))
                         .Chunk("IDAT", Deflate(UnfilteredRows({rgb(100, 100, 100) + rgb(255, 255, 255) +
                                                                 rgb(100, 100, 101)})))
                         .End().Data(),
                     {true, false, false}});
    const std::string white = std::string("\0\xFF\0\xFF\0\xFF", 6);
    cases.push_back({"colour with gamma: pixels the table moves onto the key",
                     PngBuilder().Header(3, 1, 8, 2).Chunk("gAMA", gamma).Chunk("tRNS", white)
                         .Chunk("IDAT", Deflate(UnfilteredRows({rgb(254, 254, 254) + rgb(255, 255, 255) +
                                                                 rgb(0, 0, 0)})))
                         .End().Data(),
                     {false, true, false}});
    // Adam7 of 3 x 1: pass 1 holds pixel 0, pass 4 pixel 2, pass 6 pixel 1.
    cases.push_back({"interlaced colour with gamma",
                     PngBuilder().Header(3, 1, 8, 2, 1).Chunk("gAMA", gamma).Chunk("tRNS", white)
                         .Chunk("IDAT", Deflate(UnfilteredRows({rgb(254, 254, 254), rgb(0, 0, 0), rgb(255, 255, 255)})))
                         .End().Data(),
                     {false, true, false}});
    cases.push_back({"16-bit grey: the whole sample",
                     PngBuilder().Header(2, 1, 16, 0).Chunk("tRNS", greyKey)
                         .Chunk("IDAT", Deflate(UnfilteredRows({greyKey + std::string("\x12\0", 2)}))).End().Data(),
                     {true, false}});
    cases.push_back({"2-bit grey",
                     PngBuilder().Header(4, 1, 2, 0).Chunk("tRNS", std::string("\0\2", 2))
                         .Chunk("IDAT", Deflate(UnfilteredRows({"\x1B"}))).End().Data(),
                     {false, false, true, false}});
    cases.push_back({"palette with gamma: entries the table makes equal",
                     PngBuilder().Header(2, 1, 8, 3).Chunk("gAMA", gamma)
                         .Chunk("PLTE", rgb(254, 254, 254) + rgb(255, 255, 255)).Chunk("tRNS", std::string("\xFF\0", 2))
                         .Chunk("IDAT", Deflate(UnfilteredRows({std::string("\0\1", 2)}))).End().Data(),
                     {false, true}});
    return cases;
}

std::vector<std::pair<std::string, std::string>> SplitChunks(const std::string& png)
{
    std::vector<std::pair<std::string, std::string>> chunks;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const uint8_t*>(png.data() + at);
        const uint32_t length = uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
        chunks.emplace_back(png.substr(at + 4, 4), png.substr(at + 8, length));
        at += 12 + size_t(length);
    }
    return chunks;
}

}  // namespace pngtest
