#include "FlUtils.h"

#include <array>

namespace {

constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;
// Eight bytes advance the register per step: table k gives the effect of a byte followed by
// k zero bytes, so eight lookups replace eight dependent table steps.
constexpr size_t kSliceBytes = 8;

using TCrcTables = std::array<std::array<uint32_t, 256>, kSliceBytes>;

constexpr TCrcTables MakeCrcTables()
{
    TCrcTables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
        }
        tables[0][n] = c;
    }
    for (size_t k = 1; k < kSliceBytes; ++k) {
        for (uint32_t n = 0; n < 256; ++n) {
            const uint32_t prev = tables[k - 1][n];
            tables[k][n] = (prev >> 8) ^ tables[0][prev & 0xFF];
        }
    }
    return tables;
}

constexpr TCrcTables kCrcTables = MakeCrcTables();

uint32_t LoadLittle32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t FlUpdateCrc32(uint32_t crc, const uint8_t* data, size_t length)
{
    const auto& t = kCrcTables;
    while (length >= kSliceBytes) {
        const uint32_t lo = crc ^ LoadLittle32(data);
        const uint32_t hi = LoadLittle32(data + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += kSliceBytes;
        length -= kSliceBytes;
    }
    while (length-- > 0) {
        crc = (crc >> 8) ^ t[0][(crc ^ *data++) & 0xFF];
    }
    return crc;
}
