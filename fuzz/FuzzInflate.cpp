// Differential fuzzing of the raw-deflate decoder against zlib: wherever zlib's raw inflate
// decodes the input to its end, the decoder must give the same bytes, the CRC-32 of them and
// stop at the same input byte. Any input at all may only end in EFlInflateError; the same
// input is also decoded in deflate64 mode, where only a crash can be found.
#include "lectern/book/FlDfDec.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Deflate expands at most 1032 to 1; libFuzzer's inputs stay far below 8 KB by default.
constexpr size_t kMaxOutputBytes = 16u << 20;

struct TZlibResult {
    bool FComplete;
    std::vector<uint8_t> FOutput;
    size_t FConsumed;
};

TZlibResult ZlibInflate(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> out(kMaxOutputBytes);
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    TZlibResult result{rc == Z_STREAM_END, std::vector<uint8_t>(out.data(), out.data() + z.total_out), z.total_in};
    inflateEnd(&z);
    return result;
}

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TZlibResult zlib = ZlibInflate(data, size);
    {
        TMemoryStream source;
        source.WriteBuffer(data, static_cast<int64_t>(size));
        source.SetPosition(0);
        TMemoryStream dest;
        TFlDeflateHelper options;
        try {
            const uint32_t crc = Inflate(&source, &dest, &options);
            if (zlib.FComplete) {
                Check(dest.Size() == static_cast<int64_t>(zlib.FOutput.size()));
                Check(std::equal(zlib.FOutput.begin(), zlib.FOutput.end(), dest.Memory()));
                Check(crc == crc32(0, zlib.FOutput.data(), static_cast<uInt>(zlib.FOutput.size())));
                Check(options.FCompressedSize == static_cast<int32_t>(zlib.FConsumed));
            }
        } catch (const EFlInflateError&) {
            Check(!zlib.FComplete);
        }
    }
    {
        TMemoryStream source;
        source.WriteBuffer(data, static_cast<int64_t>(size));
        source.SetPosition(0);
        TMemoryStream dest;
        TFlDeflateHelper options;
        options.FOptions |= kFlDfOptionDeflate64;
        try {
            Inflate(&source, &dest, &options);
        } catch (const EFlInflateError&) {
        }
    }
    return 0;
}
