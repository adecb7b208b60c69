// The codec against the reference decoder's classic interface (native build only): every fixture
// decodes to the same pixels (no gamma, 16-bit samples stripped to their high byte, packed and
// palette pixels expanded, transparency as alpha), and what the codec saves, with every filter
// set and both interlace methods, decodes there to the original pixels.
#include "PngTestEnvironment.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>

using namespace pngtest;

namespace {

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

TEST(PngAgainstReference, FixturesDecodeToTheSamePixels)
{
    for (const std::string& name : kFixtureNames) {
        const std::string bytes = FixtureBytes(name);
        const std::vector<uint8_t> expected = ReferencePixels(bytes);
        ASSERT_FALSE(expected.empty()) << name;
        TPngPicture picture;
        LoadPng(picture, bytes);
        EXPECT_EQ(RgbaPixels(picture), expected) << name;
    }
}

TEST(PngAgainstReference, SavedImagesDecodeThereToTheOriginalPixels)
{
    ForEachSavedFixture([](const std::string& saved, const std::vector<uint8_t>& pixels, const std::string& label) {
        EXPECT_EQ(ReferencePixels(saved), pixels) << label;
    });
}

}  // namespace
