// Speed of the raw-deflate decoder against zlib's raw inflate (and, in the host build,
// libdeflate) on a synthesized corpus of the kinds of entries books hold: HTML, CSS, JS,
// PNG-like filtered image rows and binary-like records, from 1 KB to 10 MB, compressed with
// zlib at level 6. Figures are MB/s of decoded output (1 MB = 10^6 bytes); "ratio" is the
// decoder's speed over zlib's. zlib's raw inflate computes no checksum while the decoder
// always computes CRC-32, so "zlib+crc" (zlib's inflate followed by zlib's crc32) is listed too.
// Each figure is the best of repeated samples (at least 5 and 0.25 s); a sample times a batch
// of decodes lasting at least kMinSampleSeconds, so that small entries are not measured at the
// clock's resolution (0.1 us under Wine) and its cost.
#include "lectern/book/FlDfDec.h"

#include <zlib.h>
#if defined(LECTERN_HAVE_LIBDEFLATE)
#include <libdeflate.h>
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

int BenchCodeShiftBytes();

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr double kMinSecondsPerMeasure = 0.25;
constexpr int kMinRepeats = 5;
constexpr double kMinSampleSeconds = 0.002;
constexpr size_t kSizes[] = {1000, 16000, 256000, 10000000};

// ---- corpus --------------------------------------------------------------------------------

class TTextMaker {
public:
    explicit TTextMaker(uint32_t seed) : FRng(seed)
    {
        static const char* const kSyllables[] = {"ka", "ri", "to", "men", "sa", "lo", "ve", "dor", "in", "ta",
                                                 "pel", "mu", "ne", "gra", "fi", "os", "ul", "be", "ch", "ist"};
        for (int i = 0; i < 3000; ++i) {
            std::string word;
            const int n = 1 + static_cast<int>(FRng() % 4);
            for (int k = 0; k < n; ++k) {
                word += kSyllables[FRng() % std::size(kSyllables)];
            }
            FWords.push_back(word);
        }
    }
    // Zipf-like choice: frequent words are short-listed.
    const std::string& Word()
    {
        const double u = std::uniform_real_distribution<double>(0, 1)(FRng);
        return FWords[static_cast<size_t>(std::pow(u, 3.0) * static_cast<double>(FWords.size() - 1))];
    }
    uint32_t Next(uint32_t n) { return FRng() % n; }

private:
    std::mt19937 FRng;
    std::vector<std::string> FWords;
};

Bytes MakeHtml(size_t size, uint32_t seed)
{
    TTextMaker t(seed);
    static const char* const kTags[] = {"p", "div", "span", "a", "li", "td", "h2", "em"};
    std::string s = "<!DOCTYPE html>\n<html><head><title>Book</title><link rel=\"stylesheet\" href=\"style.css\"></head>\n<body>\n";
    while (s.size() < size) {
        const char* tag = kTags[t.Next(std::size(kTags))];
        s += std::string("<") + tag;
        if (t.Next(3) == 0) {
            s += " class=\"" + t.Word() + "\"";
        }
        if (tag[0] == 'a') {
            s += " href=\"" + t.Word() + "/" + t.Word() + ".html\"";
        }
        s += ">";
        const int words = 3 + static_cast<int>(t.Next(40));
        for (int i = 0; i < words; ++i) {
            s += t.Word();
            s += t.Next(12) == 0 ? ", " : " ";
        }
        s += std::string("</") + tag + ">\n";
    }
    s.resize(size);
    return Bytes(s.begin(), s.end());
}

Bytes MakeCss(size_t size, uint32_t seed)
{
    TTextMaker t(seed);
    static const char* const kProps[] = {"margin", "padding", "color", "font-size", "border", "display", "width",
                                         "line-height", "background-color", "text-align"};
    static const char* const kValues[] = {"0", "auto", "1em", "12px", "#336699", "#fff", "block", "none", "100%",
                                          "1px solid #ccc", "center", "1.5"};
    std::string s;
    while (s.size() < size) {
        s += "." + t.Word() + " ." + t.Word() + (t.Next(2) ? ":hover" : "") + " {\n";
        const int n = 1 + static_cast<int>(t.Next(6));
        for (int i = 0; i < n; ++i) {
            s += std::string("  ") + kProps[t.Next(std::size(kProps))] + ": " + kValues[t.Next(std::size(kValues))] + ";\n";
        }
        s += "}\n";
    }
    s.resize(size);
    return Bytes(s.begin(), s.end());
}

Bytes MakeJs(size_t size, uint32_t seed)
{
    TTextMaker t(seed);
    static const char* const kKeywords[] = {"var ", "function ", "return ", "if (", "for (var i = 0; i < ", "this.",
                                            "document.getElementById(\"", "} else {", "null", "true"};
    std::string s;
    int depth = 0;
    while (s.size() < size) {
        s += std::string(static_cast<size_t>(depth) * 2, ' ');
        s += kKeywords[t.Next(std::size(kKeywords))];
        s += t.Word() + (t.Next(2) ? "." + t.Word() : "") + " = " + std::to_string(t.Next(1000)) + ";\n";
        if (t.Next(5) == 0 && depth < 6) {
            s += "function " + t.Word() + "(a, b) {\n";
            ++depth;
        } else if (t.Next(5) == 0 && depth > 0) {
            --depth;
            s += "}\n";
        }
    }
    s.resize(size);
    return Bytes(s.begin(), s.end());
}

// Filtered RGB scanlines of a smooth picture with noise, as a PNG's image data before deflate.
Bytes MakePngLike(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    const size_t width = 400;
    const size_t stride = 1 + width * 3;
    Bytes out;
    out.reserve(size + stride);
    for (size_t y = 0; out.size() < size; ++y) {
        out.push_back(1);   // "sub" filter: differences to the left neighbour
        for (size_t x = 0; x < width * 3; ++x) {
            const int smooth = (x % 3 == 0) ? 1 : 0;
            const int noise = static_cast<int>(rng() % 7) - 3;
            out.push_back(static_cast<uint8_t>(rng() % 11 == 0 ? rng() : static_cast<uint32_t>(smooth + noise + ((y / 16) % 2))));
        }
    }
    out.resize(size);
    return out;
}

// Records of a binary file: small integers, offsets, flags and some random payload.
Bytes MakeBinaryLike(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out;
    uint32_t offset = 0x1000;
    while (out.size() < size) {
        const uint32_t fields[4] = {static_cast<uint32_t>(rng() % 64), offset, static_cast<uint32_t>(0x00401000u + (rng() % 256) * 16),
                                    static_cast<uint32_t>(rng() % 3 == 0 ? rng() : 0)};
        offset += 4 + rng() % 200;
        for (uint32_t f : fields) {
            for (int k = 0; k < 4; ++k) {
                out.push_back(static_cast<uint8_t>(f >> (8 * k)));
            }
        }
        const size_t payload = rng() % 24;
        for (size_t k = 0; k < payload; ++k) {
            out.push_back(static_cast<uint8_t>(rng() % 5 == 0 ? rng() : rng() % 16));
        }
    }
    out.resize(size);
    return out;
}

Bytes DeflateRaw(const Bytes& data, int level)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// ---- decoders --------------------------------------------------------------------------------

// Writes into a buffer allocated once, as zlib and libdeflate are given one.
class TFixedOutStream : public TStream {
public:
    explicit TFixedOutStream(size_t capacity) : FData(capacity) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void* buffer, int32_t count) override
    {
        if (FPos + static_cast<size_t>(count) > FData.size()) {
            return 0;
        }
        std::memcpy(FData.data() + FPos, buffer, static_cast<size_t>(count));
        FPos += static_cast<size_t>(count);
        return count;
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override
    {
        if (origin == SeekOrigin::Begin) {
            FPos = static_cast<size_t>(offset);
        } else if (origin == SeekOrigin::Current) {
            FPos = static_cast<size_t>(static_cast<int64_t>(FPos) + offset);
        } else {
            FPos = static_cast<size_t>(static_cast<int64_t>(FData.size()) + offset);
        }
        return static_cast<int64_t>(FPos);
    }
    const uint8_t* Data() const { return FData.data(); }

private:
    Bytes FData;
    size_t FPos = 0;
};

// A source over bytes held elsewhere, so that no copy of the input is timed.
class TBorrowedInStream : public TStream {
public:
    TBorrowedInStream(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    int32_t Read(void* buffer, int32_t count) override
    {
        const size_t n = std::min(static_cast<size_t>(count), FSize - FPos);
        std::memcpy(buffer, FData + FPos, n);
        FPos += n;
        return static_cast<int32_t>(n);
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override
    {
        const int64_t base = origin == SeekOrigin::Begin ? 0 : origin == SeekOrigin::Current ? static_cast<int64_t>(FPos)
                                                                                            : static_cast<int64_t>(FSize);
        FPos = static_cast<size_t>(base + offset);
        return static_cast<int64_t>(FPos);
    }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

struct TEntry {
    std::string FName;
    Bytes FPlain;
    Bytes FCompressed;
};

bool DecodeOurs(const TEntry& e, TFixedOutStream& out)
{
    TBorrowedInStream in(e.FCompressed.data(), e.FCompressed.size());
    out.SetPosition(0);
    InflateDefault(&in, &out);
    return out.Position() == static_cast<int64_t>(e.FPlain.size());
}

bool DecodeZlib(const TEntry& e, uint8_t* out, bool withCrc)
{
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(e.FCompressed.data());
    z.avail_in = static_cast<uInt>(e.FCompressed.size());
    z.next_out = out;
    z.avail_out = static_cast<uInt>(e.FPlain.size());
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    if (withCrc) {
        volatile uLong crc = crc32(0, out, static_cast<uInt>(e.FPlain.size()));
        (void)crc;
    }
    return rc == Z_STREAM_END;
}

// Seconds for batch decodes.
double TimeBatch(const std::function<bool()>& decode, int batch)
{
    const auto start = Clock::now();
    for (int i = 0; i < batch; ++i) {
        if (!decode()) {
            std::printf("decode failed\n");
            return 0;
        }
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds per decode, the best of several timed samples.
double Measure(const std::function<bool()>& decode)
{
    int batch = 1;
    while (TimeBatch(decode, batch) < kMinSampleSeconds) {
        batch *= 2;
    }
    double best = 1e30;
    double total = 0;
    int runs = 0;
    while (runs < kMinRepeats || total < kMinSecondsPerMeasure) {
        const double seconds = TimeBatch(decode, batch);
        if (seconds <= 0) {
            return 0;
        }
        best = std::min(best, seconds / batch);
        total += seconds;
        ++runs;
    }
    return best;
}

}  // namespace

// An argument limits the run to the entries whose name contains it ("html 1K"), e.g. to
// profile one kind of entry.
int main(int argc, char** argv)
{
    const std::string only = argc > 1 ? argv[1] : "";
    if (BenchCodeShiftBytes() > 0) {
        std::printf("zlib's code shifted by %d bytes\n", BenchCodeShiftBytes());
    }
    FlDfInitFixedTrees();
    using TMaker = Bytes (*)(size_t, uint32_t);
    const std::pair<const char*, TMaker> kinds[] = {
        {"html", MakeHtml}, {"css", MakeCss}, {"js", MakeJs}, {"png-like", MakePngLike}, {"binary", MakeBinaryLike}};
    std::vector<TEntry> entries;
    for (const auto& [kind, maker] : kinds) {
        for (size_t size : kSizes) {
            TEntry e;
            e.FName = std::string(kind) + " " + std::to_string(size / 1000) + "K";
            if (e.FName.find(only) == std::string::npos) {
                continue;   // not made at all: compressing the 10 MB entries takes seconds
            }
            e.FPlain = maker(size, static_cast<uint32_t>(size));
            e.FCompressed = DeflateRaw(e.FPlain, 6);
            entries.push_back(std::move(e));
        }
    }

#if defined(LECTERN_HAVE_LIBDEFLATE)
    libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
    std::printf("%-16s %8s %9s %9s %9s %9s %7s %7s %7s\n", "entry", "ratio%", "flinflate", "zlib", "zlib+crc",
                "libdeflt", "vs zlib", "vs z+crc", "vs ldef");
#else
    std::printf("%-16s %8s %9s %9s %9s %7s %7s\n", "entry", "ratio%", "flinflate", "zlib", "zlib+crc", "vs zlib",
                "vs z+crc");
#endif
    double oursTotal = 0, zlibTotal = 0, zlibCrcTotal = 0, ldTotal = 0, bytesTotal = 0;
    for (const TEntry& e : entries) {
        TFixedOutStream out(e.FPlain.size());
        if (!DecodeOurs(e, out) || std::memcmp(out.Data(), e.FPlain.data(), e.FPlain.size()) != 0) {
            std::printf("%s: flinflate output differs\n", e.FName.c_str());
            return 1;
        }
        Bytes zout(e.FPlain.size());
        const double ours = Measure([&] { return DecodeOurs(e, out); });
        const double zlib = Measure([&] { return DecodeZlib(e, zout.data(), false); });
        const double zlibCrc = Measure([&] { return DecodeZlib(e, zout.data(), true); });
        const double mb = static_cast<double>(e.FPlain.size()) / 1e6;
        // Totals weigh every entry alike: the time to decode each entry once.
        oursTotal += ours;
        zlibTotal += zlib;
        zlibCrcTotal += zlibCrc;
        bytesTotal += mb;
        const double ratioPercent = 100.0 * static_cast<double>(e.FCompressed.size()) / static_cast<double>(e.FPlain.size());
#if defined(LECTERN_HAVE_LIBDEFLATE)
        const double lds = Measure([&] {
            size_t actual = 0;
            return libdeflate_deflate_decompress(ld, e.FCompressed.data(), e.FCompressed.size(), zout.data(),
                                                 zout.size(), &actual) == LIBDEFLATE_SUCCESS;
        });
        ldTotal += lds;
        std::printf("%-16s %8.1f %9.1f %9.1f %9.1f %9.1f %7.2f %7.2f %7.2f\n", e.FName.c_str(), ratioPercent,
                    mb / ours, mb / zlib, mb / zlibCrc, mb / lds, zlib / ours, zlibCrc / ours, lds / ours);
#else
        std::printf("%-16s %8.1f %9.1f %9.1f %9.1f %7.2f %7.2f\n", e.FName.c_str(), ratioPercent, mb / ours, mb / zlib,
                    mb / zlibCrc, zlib / ours, zlibCrc / ours);
#endif
    }
    // "all": the bytes of every entry over the time to decode each entry once; the 10 MB
    // entries weigh most in it, the rows above show the small ones.
#if defined(LECTERN_HAVE_LIBDEFLATE)
    std::printf("%-16s %8s %9.1f %9.1f %9.1f %9.1f %7.2f %7.2f %7.2f\n", "all", "", bytesTotal / oursTotal,
                bytesTotal / zlibTotal, bytesTotal / zlibCrcTotal, bytesTotal / ldTotal, zlibTotal / oursTotal,
                zlibCrcTotal / oursTotal, ldTotal / oursTotal);
    libdeflate_free_decompressor(ld);
#else
    (void)ldTotal;
    std::printf("%-16s %8s %9.1f %9.1f %9.1f %7.2f %7.2f\n", "all", "", bytesTotal / oursTotal, bytesTotal / zlibTotal,
                bytesTotal / zlibCrcTotal, zlibTotal / oursTotal, zlibCrcTotal / oursTotal);
#endif
    return 0;
}
