// ScanFile over a 100 MB file: the pattern sits in the last bytes, so every block is read
// and searched. The file is made in the temporary folder and deleted afterwards. Prints the
// best of three runs per block size, in MB/s (1 MB = 2^20 bytes).
#include "lectern/lc/lcInfo.h"

#include "classlib/Platform.h"
#include "classlib/Streams.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int64_t kFileBytes = int64_t{100} << 20;
constexpr int kRuns = 3;

// Letters from a small linear congruential generator: text-like bytes with many near misses
// of the pattern's first letters.
std::string MakeChunk(size_t bytes, uint32_t& seed)
{
    std::string chunk(bytes, '\0');
    for (char& c : chunk) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>('a' + (seed >> 24) % 26);
    }
    return chunk;
}

}  // namespace

int main()
{
    const std::string name = TempFolder() + "bench_scanfile_" + std::to_string(MyThreadId()) + ".dat";
    const std::string pattern = "boundary-Q7#";  // contains bytes the filler never has
    {
        TFileStream file(name, fmCreate);
        uint32_t seed = 12345;
        const std::string chunk = MakeChunk(size_t{1} << 20, seed);
        for (int64_t written = 0; written < kFileBytes - int64_t{1 << 20}; written += chunk.size()) {
            file.WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size()));
        }
        std::string last = MakeChunk(size_t{1} << 20, seed);
        last.replace(last.size() - pattern.size() - 100, pattern.size(), pattern);
        file.WriteBuffer(last.data(), static_cast<int64_t>(last.size()));
    }
    const int64_t expected = kFileBytes - static_cast<int64_t>(pattern.size()) - 100;

    std::printf("ScanFile over %lld MB, pattern of %zu bytes near the end\n",
                static_cast<long long>(kFileBytes >> 20), pattern.size());
    int status = 0;
    for (int block : {4096, 65536, 1 << 20}) {
        double best = 0;
        for (int run = 0; run < kRuns; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const int64_t at = ScanFile(name, pattern, block, 0, 0, kFileBytes);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (at != expected) {
                std::printf("block %7d: wrong offset %lld (expected %lld)\n", block, static_cast<long long>(at),
                            static_cast<long long>(expected));
                status = 1;
                break;
            }
            best = std::max(best, static_cast<double>(kFileBytes >> 20) / seconds);
        }
        std::printf("block %7d bytes: %8.1f MB/s\n", block, best);
    }
    plat::RemoveFile(name);
    return status;
}
