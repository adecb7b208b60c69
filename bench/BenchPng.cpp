// Speed of the PNG codec (TPngPicture) against the reference decoder's classic interface and a
// second independent codec, on two 2048x2048 pictures: a photo-like RGBA image (smooth colour
// fields with noise and a soft alpha) and an 8-bit palette image of 256 colours. The host build
// runs all three side by side; the Windows build has only the codec.
//
// Decode: every decoder reads the same file (written by the reference encoder with its default
// settings where it is present, else by the codec with all filters allowed) into its native
// pixel format (the codec into its bitmap and alpha plane). Encode: each encoder writes the
// pixels with its own default settings. Figures are MB/s of pixel bytes (1 MB = 10^6 bytes),
// best of several runs (at least 3 and 0.5 s), and the compressed size.
#include "lectern/png/pngpicture.h"

#if defined(LECTERN_HAVE_LIBPNG)
#include <png.h>
#endif
#if defined(LECTERN_HAVE_SPNG)
#include <spng.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kSide = 2048;
constexpr double kMinSecondsPerMeasure = 0.5;
constexpr int kMinRepeats = 3;

struct Picture {
    const char* Name;
    uint8_t ColorType;  // 6 RGBA or 3 palette
    Bytes Pixels;       // PNG sample order, top-down
    Bytes Palette;      // red, green, blue per entry
};

Picture MakePhoto()
{
    Picture p{"RGBA photo-like", 6, Bytes(size_t(kSide) * kSide * 4), {}};
    std::mt19937 random(11);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (uint32_t y = 0; y < kSide; ++y) {
        for (uint32_t x = 0; x < kSide; ++x) {
            uint8_t* px = &p.Pixels[(size_t(y) * kSide + x) * 4];
            const double u = x / double(kSide), v = y / double(kSide);
            const double base[3] = {128 + 100 * std::sin(6 * u + 2 * v), 128 + 90 * std::cos(5 * v - 3 * u),
                                    128 + 80 * std::sin(4 * (u + v))};
            for (int c = 0; c < 3; ++c) {
                px[c] = uint8_t(std::clamp(base[c] + noise(random), 0.0, 255.0));
            }
            px[3] = uint8_t(std::clamp(255 * (1.2 - std::hypot(u - 0.5, v - 0.5) * 1.6), 0.0, 255.0));
        }
    }
    return p;
}

Picture MakePalette()
{
    Picture p{"palette 8-bit", 3, Bytes(size_t(kSide) * kSide), Bytes(256 * 3)};
    for (int i = 0; i < 256; ++i) {
        p.Palette[i * 3] = uint8_t(i);
        p.Palette[i * 3 + 1] = uint8_t(255 - i);
        p.Palette[i * 3 + 2] = uint8_t(i * 7);
    }
    std::mt19937 random(12);
    for (uint32_t y = 0; y < kSide; ++y) {
        for (uint32_t x = 0; x < kSide; ++x) {
            // Flat regions (as in drawings and icons) with some dithering.
            const uint32_t region = ((x / 64) * 13 + (y / 48) * 7) & 0xFF;
            p.Pixels[size_t(y) * kSide + x] = uint8_t(random() % 8 == 0 ? (region + 1) & 0xFF : region);
        }
    }
    return p;
}

double BestSeconds(const std::function<void()>& run)
{
    double best = 1e9, total = 0;
    for (int i = 0; i < kMinRepeats || total < kMinSecondsPerMeasure; ++i) {
        const auto start = Clock::now();
        run();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::min(best, seconds);
        total += seconds;
    }
    return best;
}

void Report(const char* what, const char* who, const Picture& p, double seconds, size_t fileBytes)
{
    const double mb = double(p.Pixels.size()) / 1e6;
    std::printf("  %-7s %-10s %8.1f ms %8.1f MB/s   %9zu bytes\n", what, who, seconds * 1e3, mb / seconds, fileBytes);
}

// ---- the codec -------------------------------------------------------------------------------

// The picture's pixels put into a TPngPicture through a PNG written by the codec itself.
Bytes CodecWrite(TPngPicture& picture)
{
    TMemoryStream stream;
    picture.SaveToStream(stream);
    return Bytes(stream.Memory(), stream.Memory() + stream.Size());
}

void CodecRead(TPngPicture& picture, const Bytes& file)
{
    TMemoryStream stream;
    stream.WriteBuffer(file.data(), int64_t(file.size()));
    stream.SetPosition(0);
    picture.LoadFromStream(stream);
}

// A minimal PNG of the picture (filter 0, one image-data chunk) for the codec to load first.
Bytes PlainPng(const Picture& p);

#if defined(LECTERN_HAVE_LIBPNG)

// ---- the reference --------------------------------------------------------------------------

struct MemoryIo {
    const Bytes* In = nullptr;
    size_t At = 0;
    Bytes Out;
};

void ReadMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* io = static_cast<MemoryIo*>(png_get_io_ptr(png));
    if (io->At + count > io->In->size()) {
        png_error(png, "short");
    }
    std::memcpy(out, io->In->data() + io->At, count);
    io->At += count;
}

void WriteMemory(png_structp png, png_bytep data, png_size_t count)
{
    auto* io = static_cast<MemoryIo*>(png_get_io_ptr(png));
    io->Out.insert(io->Out.end(), data, data + count);
}

void FlushMemory(png_structp) {}

Bytes ReferenceWrite(const Picture& p)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryIo io;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &io, WriteMemory, FlushMemory);
    png_set_IHDR(png, info, kSide, kSide, 8, p.ColorType == 6 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette(256);
    if (p.ColorType == 3) {
        for (int i = 0; i < 256; ++i) {
            palette[i] = png_color{p.Palette[i * 3], p.Palette[i * 3 + 1], p.Palette[i * 3 + 2]};
        }
        png_set_PLTE(png, info, palette.data(), 256);
    }
    png_write_info(png, info);
    const size_t rowBytes = p.Pixels.size() / kSide;
    for (uint32_t y = 0; y < kSide; ++y) {
        png_write_row(png, const_cast<png_bytep>(p.Pixels.data() + y * rowBytes));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return io.Out;
}

void ReferenceRead(const Bytes& file, Bytes& pixels)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryIo io;
    io.In = &file;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &io, ReadMemory);
    png_read_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    pixels.resize(rowBytes * kSide);
    for (uint32_t y = 0; y < kSide; ++y) {
        png_read_row(png, pixels.data() + y * rowBytes, nullptr);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
}

#endif

#if defined(LECTERN_HAVE_SPNG)

Bytes SpngWrite(const Picture& p)
{
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{};
    ihdr.width = kSide;
    ihdr.height = kSide;
    ihdr.bit_depth = 8;
    ihdr.color_type = p.ColorType;
    spng_set_ihdr(ctx, &ihdr);
    if (p.ColorType == 3) {
        spng_plte plte{};
        plte.n_entries = 256;
        for (int i = 0; i < 256; ++i) {
            plte.entries[i] = spng_plte_entry{p.Palette[i * 3], p.Palette[i * 3 + 1], p.Palette[i * 3 + 2], 0};
        }
        spng_set_plte(ctx, &plte);
    }
    Bytes out;
    if (spng_encode_image(ctx, p.Pixels.data(), p.Pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) == 0) {
        size_t size = 0;
        int error = 0;
        auto* buffer = static_cast<uint8_t*>(spng_get_png_buffer(ctx, &size, &error));
        if (buffer) {
            out.assign(buffer, buffer + size);
            free(buffer);
        }
    }
    spng_ctx_free(ctx);
    return out;
}

void SpngRead(const Bytes& file, Bytes& pixels)
{
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, file.data(), file.size());
    size_t size = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
    pixels.resize(size);
    spng_decode_image(ctx, pixels.data(), size, SPNG_FMT_PNG, 0);
    spng_ctx_free(ctx);
}

#endif

Bytes PlainPng(const Picture& p)
{
    // Through the codec's own chunk writer: a header, the palette, the unfiltered rows.
    TPngPicture picture;
    auto* header = static_cast<TChunkIHDR*>(picture.Chunks().Add(std::make_unique<TChunkIHDR>(&picture)));
    header->Width = kSide;
    header->Height = kSide;
    header->BitDepth = 8;
    header->ColorType = p.ColorType;
    header->PrepareImageData();
    if (p.ColorType == 3) {
        auto* plte = static_cast<TChunkPLTE*>(picture.Chunks().Add(std::make_unique<TChunkPLTE>(&picture)));
        plte->Count = 256;
        for (int i = 0; i < 256; ++i) {
            header->BitmapInfo.bmiColors[i] = TRGBQuad{p.Palette[i * 3 + 2], p.Palette[i * 3 + 1], p.Palette[i * 3], 0};
        }
        for (uint32_t y = 0; y < kSide; ++y) {
            std::memcpy(header->BitmapRow(y), p.Pixels.data() + size_t(y) * kSide, kSide);
        }
    } else {
        for (uint32_t y = 0; y < kSide; ++y) {
            uint8_t* row = header->BitmapRow(y);
            for (uint32_t x = 0; x < kSide; ++x) {
                const uint8_t* px = &p.Pixels[(size_t(y) * kSide + x) * 4];
                row[x * 3] = px[2];
                row[x * 3 + 1] = px[1];
                row[x * 3 + 2] = px[0];
                header->ImageAlpha[size_t(y) * kSide + x] = px[3];
            }
        }
    }
    picture.Chunks().Add(std::make_unique<TChunkIDAT>(&picture));
    picture.Chunks().Add(std::make_unique<TChunkIEND>(&picture));
    return CodecWrite(picture);
}

void Run(const Picture& p)
{
    std::printf("%s, %ux%u, %.1f MB of pixels\n", p.Name, kSide, kSide, p.Pixels.size() / 1e6);
    TPngPicture codec;
    CodecRead(codec, PlainPng(p));

    Bytes input;
#if defined(LECTERN_HAVE_LIBPNG)
    input = ReferenceWrite(p);
    std::printf("  decode input: written by the reference with its defaults, %zu bytes\n", input.size());
#else
    codec.Filters = kAllFilters;
    input = CodecWrite(codec);
    codec.Filters = FilterBit(pfSub);
    std::printf("  decode input: written by the codec with all filters, %zu bytes\n", input.size());
#endif

    TPngPicture decoded;
    TMemoryStream inputStream;
    inputStream.WriteBuffer(input.data(), int64_t(input.size()));
    Report("decode", "codec", p, BestSeconds([&] {
               inputStream.SetPosition(0);
               decoded.LoadFromStream(inputStream);
           }),
           input.size());
#if defined(LECTERN_HAVE_LIBPNG)
    Report("decode", "libpng", p, BestSeconds([&] {
               Bytes pixels;  // each decoder makes its output, as the codec does
               ReferenceRead(input, pixels);
           }),
           input.size());
#endif
#if defined(LECTERN_HAVE_SPNG)
    Report("decode", "spng", p, BestSeconds([&] {
               Bytes pixels;
               SpngRead(input, pixels);
           }),
           input.size());
#endif

    Bytes written;
    double seconds = BestSeconds([&] { written = CodecWrite(codec); });
    Report("encode", "codec", p, seconds, written.size());
#if defined(LECTERN_HAVE_LIBPNG)
    seconds = BestSeconds([&] { written = ReferenceWrite(p); });
    Report("encode", "libpng", p, seconds, written.size());
#endif
#if defined(LECTERN_HAVE_SPNG)
    seconds = BestSeconds([&] { written = SpngWrite(p); });
    Report("encode", "spng", p, seconds, written.size());
#endif
}

}  // namespace

int main()
{
    PngPictureInitialize();
    Run(MakePhoto());
    Run(MakePalette());
    PngPictureFinalize();
    return 0;
}
