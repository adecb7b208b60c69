// Unit lcInfo: Base64 (see lcInfo.h).
#include "lcInfo.h"

#include <algorithm>
#include <cstring>

// ============================================================================================
// Base64
// ============================================================================================

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// 57 input bytes make one line of 76 characters.
constexpr size_t kBase64LineBytes = 57;
constexpr uint8_t kBase64Skip = 0xFF;

struct TBase64Table {
    uint8_t FValue[256];
    TBase64Table()
    {
        std::memset(FValue, kBase64Skip, sizeof FValue);
        for (uint8_t i = 0; i < 64; ++i) {
            FValue[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
        }
    }
};

void AppendBase64Group(std::string& out, const unsigned char* p, size_t n)
{
    const unsigned b0 = p[0];
    const unsigned b1 = n > 1 ? p[1] : 0;
    const unsigned b2 = n > 2 ? p[2] : 0;
    out += kBase64Alphabet[b0 >> 2];
    out += kBase64Alphabet[((b0 & 3) << 4) | (b1 >> 4)];
    out += n > 1 ? kBase64Alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    out += n > 2 ? kBase64Alphabet[b2 & 63] : '=';
}

}  // namespace

std::string Base64EncodeText(const std::string& s)
{
    std::string out;
    const size_t n = s.size();
    if (n == 0) {
        return out;
    }
    out.reserve((n + 2) / 3 * 4 + (n - 1) / kBase64LineBytes * 2);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t i = 0;
    // Whole lines first, each followed by CR LF when more text follows.
    for (; n - i >= kBase64LineBytes; i += kBase64LineBytes) {
        for (size_t k = 0; k < kBase64LineBytes; k += 3) {
            AppendBase64Group(out, p + i + k, 3);
        }
        if (i + kBase64LineBytes < n) {
            out += "\r\n";
        }
    }
    // Then the remainder, padded.
    for (; i < n; i += 3) {
        AppendBase64Group(out, p + i, std::min<size_t>(3, n - i));
    }
    return out;
}

std::string Base64DecodeText(const std::string& s)
{
    static const TBase64Table kTable;
    std::string out;
    out.reserve(s.size() / 4 * 3 + 2);
    uint32_t accumulator = 0;
    int needed = 4;
    for (const char c : s) {
        const uint8_t v = kTable.FValue[static_cast<unsigned char>(c)];
        if (v == kBase64Skip) {
            continue;
        }
        accumulator = (accumulator << 6) | v;
        if (--needed == 0) {
            out += static_cast<char>(accumulator >> 16);
            out += static_cast<char>(accumulator >> 8);
            out += static_cast<char>(accumulator);
            accumulator = 0;
            needed = 4;
        }
    }
    if (needed == 1) {  // three characters left: 18 bits, two bytes
        out += static_cast<char>(accumulator >> 10);
        out += static_cast<char>(accumulator >> 2);
    } else if (needed == 2) {  // two characters left: 12 bits, one byte
        out += static_cast<char>(accumulator >> 4);
    }
    return out;
}
