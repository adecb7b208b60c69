#include "FlDfBase.h"

#include <algorithm>

namespace {

constexpr uint32_t kAdlerModulus = 65521;
// Both sums stay far below 2^32 over a run of this many bytes before they are reduced.
constexpr size_t kAdlerRunBytes = 4096;

}  // namespace

void FlDfRaiseCorrupt(const char* message)
{
    throw EFlInternalInflateError(message);
}

void TFlDeflateHelper::Assign(const TFlDeflateHelper& source)
{
    *this = source;
}

uint32_t FlUpdateAdler32(uint32_t adler, const uint8_t* data, size_t length)
{
    uint32_t a = adler & 0xFFFF;
    uint32_t b = adler >> 16;
    while (length > 0) {
        const size_t run = std::min(length, kAdlerRunBytes);
        for (size_t i = 0; i < run; ++i) {
            a += data[i];
            b += a;
        }
        a %= kAdlerModulus;
        b %= kAdlerModulus;
        data += run;
        length -= run;
    }
    return b << 16 | a;
}
