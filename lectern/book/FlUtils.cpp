#include "FlUtils.h"

#include <array>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <emmintrin.h>
#include <wmmintrin.h>
#define FL_CRC32_CARRYLESS 1
#endif

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

#if defined(FL_CRC32_CARRYLESS)

// CRC-32 by carry-less multiplication ("folding"): four 128-bit accumulators each take
// 16 bytes per step, multiplied by x^(512+-64) mod P to move them 64 bytes on; at the end
// they are folded into one, reduced to 64 and then, by Barrett's method, to 32 bits. The
// constants are powers of x modulo the (bit-reflected) polynomial, shifted one bit as the
// reflected product needs.
constexpr size_t kFoldBytes = 64;
constexpr size_t kFoldLaneBytes = 16;

#define FL_CARRYLESS_TARGET __attribute__((target("pclmul,sse2")))

FL_CARRYLESS_TARGET inline __m128i Load128(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Moves acc on by the distance k stands for and adds the next 16 bytes.
FL_CARRYLESS_TARGET inline __m128i Fold(__m128i acc, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11)), next);
}

FL_CARRYLESS_TARGET uint32_t UpdateCarryless(uint32_t crc, const uint8_t* data, size_t length)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596LL, 0x0154442bd4LL);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009eLL, 0x01751997d0LL);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124LL);
    const __m128i poly = _mm_set_epi64x(0x01f7011641LL, 0x01db710641LL);
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

    __m128i x1 = _mm_xor_si128(Load128(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load128(data + 16);
    __m128i x3 = Load128(data + 32);
    __m128i x4 = Load128(data + 48);
    data += kFoldBytes;
    length -= kFoldBytes;
    while (length >= kFoldBytes) {
        x1 = Fold(x1, k1k2, Load128(data));
        x2 = Fold(x2, k1k2, Load128(data + 16));
        x3 = Fold(x3, k1k2, Load128(data + 32));
        x4 = Fold(x4, k1k2, Load128(data + 48));
        data += kFoldBytes;
        length -= kFoldBytes;
    }
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    while (length >= kFoldLaneBytes) {
        x1 = Fold(x1, k3k4, Load128(data));
        data += kFoldLaneBytes;
        length -= kFoldLaneBytes;
    }
    // 128 to 64 bits, then to 32 by Barrett reduction.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

bool HasCarrylessMultiply()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    constexpr unsigned kPclmulqdq = 1u << 1;
    constexpr unsigned kSse2 = 1u << 26;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & kPclmulqdq) != 0 && (edx & kSse2) != 0;
}

#endif

}  // namespace

bool FlCrc32Carryless()
{
#if defined(FL_CRC32_CARRYLESS)
    static const bool available = HasCarrylessMultiply();
    return available;
#else
    return false;
#endif
}

uint32_t FlUpdateCrc32(uint32_t crc, const uint8_t* data, size_t length)
{
#if defined(FL_CRC32_CARRYLESS)
    if (length >= kFoldBytes && FlCrc32Carryless()) {
        const size_t whole = length & ~(kFoldLaneBytes - 1);
        crc = UpdateCarryless(crc, data, whole);
        data += whole;
        length -= whole;
    }
#endif
    return FlUpdateCrc32Tables(crc, data, length);
}

uint32_t FlUpdateCrc32Tables(uint32_t crc, const uint8_t* data, size_t length)
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
