#include "FlUtils.h"

#include <array>

// CRC-32 by tables ("slicing by 8"): table k gives the effect of a byte followed by k zero
// bytes, so one step advances the register over eight bytes with eight independent lookups.
// Longer buffers run four such steps side by side on four consecutive lanes of equal length, every lane but the first starting from a zero register; the lanes are then joined
// with the linear map "advance over a lane of zero bytes", itself held in four tables.
// CRC(a, A B) = Advance(CRC(a, A), |B|) xor CRC(0, B) makes the join exact.

namespace {

constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;
constexpr size_t kSliceBytes = 8;
constexpr size_t kLanes = 4;
// Long lanes for long buffers, short lanes for the rest down to one short block.
constexpr size_t kLongLaneBytes = 1024;
constexpr size_t kShortLaneBytes = 128;

using TTable = std::array<uint32_t, 256>;
using TSliceTables = std::array<TTable, kSliceBytes>;
using TAdvanceTables = std::array<TTable, 4>;

constexpr TSliceTables MakeSliceTables()
{
    TSliceTables tables{};
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

constexpr TSliceTables kSlice = MakeSliceTables();

constexpr TAdvanceTables MakeAdvanceTables(size_t laneBytes)
{
    // The map is linear: find the image of each of the 32 register bits, then combine.
    std::array<uint32_t, 32> basis{};
    for (int bit = 0; bit < 32; ++bit) {
        uint32_t c = 1u << bit;
        for (size_t i = 0; i < laneBytes; ++i) {
            c = (c >> 8) ^ kSlice[0][c & 0xFF];
        }
        basis[static_cast<size_t>(bit)] = c;
    }
    TAdvanceTables tables{};
    for (size_t k = 0; k < 4; ++k) {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t image = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if (b & (1u << bit)) {
                    image ^= basis[k * 8 + static_cast<size_t>(bit)];
                }
            }
            tables[k][b] = image;
        }
    }
    return tables;
}

constexpr TAdvanceTables kAdvanceLong = MakeAdvanceTables(kLongLaneBytes);
constexpr TAdvanceTables kAdvanceShort = MakeAdvanceTables(kShortLaneBytes);

inline uint32_t LoadLittle32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline uint32_t Step8(uint32_t crc, const uint8_t* p)
{
    const auto& t = kSlice;
    const uint32_t lo = crc ^ LoadLittle32(p);
    const uint32_t hi = LoadLittle32(p + 4);
    return t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
           t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
}

inline uint32_t AdvanceLane(const TAdvanceTables& a, uint32_t crc)
{
    return a[0][crc & 0xFF] ^ a[1][(crc >> 8) & 0xFF] ^ a[2][(crc >> 16) & 0xFF] ^ a[3][crc >> 24];
}

// Runs whole blocks of four lanes of laneBytes each.
template <size_t kLaneBytes>
uint32_t UpdateBlocks(uint32_t crc, const uint8_t*& data, size_t& length, const TAdvanceTables& advance)
{
    constexpr size_t kBlockBytes = kLanes * kLaneBytes;
    while (length >= kBlockBytes) {
        uint32_t c0 = crc, c1 = 0, c2 = 0, c3 = 0;
        for (size_t i = 0; i < kLaneBytes; i += kSliceBytes) {
            c0 = Step8(c0, data + i);
            c1 = Step8(c1, data + kLaneBytes + i);
            c2 = Step8(c2, data + 2 * kLaneBytes + i);
            c3 = Step8(c3, data + 3 * kLaneBytes + i);
        }
        crc = AdvanceLane(advance, AdvanceLane(advance, AdvanceLane(advance, c0) ^ c1) ^ c2) ^ c3;
        data += kBlockBytes;
        length -= kBlockBytes;
    }
    return crc;
}

}  // namespace

uint32_t FlUpdateCrc32(uint32_t crc, const uint8_t* data, size_t length)
{
    crc = UpdateBlocks<kLongLaneBytes>(crc, data, length, kAdvanceLong);
    crc = UpdateBlocks<kShortLaneBytes>(crc, data, length, kAdvanceShort);
    while (length >= kSliceBytes) {
        crc = Step8(crc, data);
        data += kSliceBytes;
        length -= kSliceBytes;
    }
    while (length-- > 0) {
        crc = (crc >> 8) ^ kSlice[0][(crc ^ *data++) & 0xFF];
    }
    return crc;
}
