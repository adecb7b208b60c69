// The codec against the reference decoder's classic interface (native build only): every fixture
// decodes to the same pixels (no gamma, 16-bit samples stripped to their high byte, packed and
// palette pixels expanded, transparency as alpha), and what the codec saves, with every filter
// set and both interlace methods, decodes there to the original pixels.
#include "PngTestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>

using namespace pngtest;

namespace {

struct PngEnvironment : testing::Environment {
    void SetUp() override { PngPictureInitialize(); }
    void TearDown() override { PngPictureFinalize(); }
};
[[maybe_unused]] testing::Environment* const kEnvironment = testing::AddGlobalTestEnvironment(new PngEnvironment);

struct MemoryReader {
    const std::string* Bytes;
    size_t At;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (reader->At + count > reader->Bytes->size()) {
        png_error(png, "read past the end");
    }
    std::memcpy(out, reader->Bytes->data() + reader->At, count);
    reader->At += count;
}

// The pixels as red, green, blue, alpha, top-down; empty when the reference refuses the file.
std::vector<uint8_t> ReferencePixels(const std::string& bytes)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{&bytes, 0};
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return {};
    }
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    EXPECT_EQ(png_get_rowbytes(png, info), size_t(width) * 4);
    pixels.resize(size_t(width) * height * 4);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows.push_back(pixels.data() + size_t(y) * width * 4);
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return pixels;
}

const char* const kFixtures[] = {
    "im-g1.png", "im-g2.png", "im-g4.png", "im-g8.png", "im-g16.png", "im-rgb8.png", "im-rgb16.png",
    "im-ga8.png", "im-ga16.png", "im-rgba8.png", "im-rgba16.png", "im-p1.png", "im-p2.png", "im-p4.png",
    "im-p8.png", "im-g1-i.png", "im-g2-i.png", "im-g4-i.png", "im-g8-i.png", "im-g16-i.png",
    "im-rgb8-i.png", "im-rgb16-i.png", "im-ga8-i.png", "im-ga16-i.png", "im-rgba8-i.png",
    "im-rgba16-i.png", "im-p1-i.png", "im-p2-i.png", "im-p4-i.png", "im-p8-i.png", "opt-o1.png",
    "opt-o4.png", "opt-o7.png", "opt-p8.png", "crush-small-idat.png", "crush-small-idat-i.png",
    "pil-ztxt.png", "pil-rgb-trns.png", "pil-g-trns.png", "pil-p-trns-partial.png", "pil-p-trns-bit.png",
};

TEST(PngAgainstReference, FixturesDecodeToTheSamePixels)
{
    for (const char* name : kFixtures) {
        const std::string bytes = ReadFileBytes(std::string(PNG_FIXTURES) + name);
        const std::vector<uint8_t> expected = ReferencePixels(bytes);
        ASSERT_FALSE(expected.empty()) << name;
        TPngPicture picture;
        LoadPng(picture, bytes);
        EXPECT_EQ(RgbaPixels(picture), expected) << name;
    }
}

TEST(PngAgainstReference, SavedImagesDecodeThereToTheOriginalPixels)
{
    const TFilters filterSets[] = {FilterBit(pfNone), FilterBit(pfSub),  FilterBit(pfUp),
                                   FilterBit(pfAverage), FilterBit(pfPaeth), kAllFilters};
    for (const char* name : kFixtures) {
        TPngPicture picture;
        LoadPng(picture, ReadFileBytes(std::string(PNG_FIXTURES) + name));
        const std::vector<uint8_t> pixels = RgbaPixels(picture);
        for (TFilters filters : filterSets) {
            for (uint8_t interlace : {0, 1}) {
                picture.Filters = filters;
                picture.InterlaceMethod = interlace;
                EXPECT_EQ(ReferencePixels(SavePng(picture)), pixels)
                    << name << " filters " << int(filters) << " interlace " << int(interlace);
            }
        }
    }
}

}  // namespace
