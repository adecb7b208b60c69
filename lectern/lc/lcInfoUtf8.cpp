// Unit lcInfo: wide text and UTF-8 (see lcInfo.h).
#include "lcInfo.h"

#include "lectern/lc/lcInfoCommon.h"

using lc_detail::Slice;

// ============================================================================================
// Wide text and UTF-8
//
// The encoder writes each UTF-16 unit by itself, so a surrogate pair becomes two three-byte
// sequences, as the library has always stored wide text. The decoder reads one- to four-byte
// sequences; a four-byte one becomes a surrogate pair, and three-byte surrogate halves come
// back as the halves they were. Invalid input makes the whole call fail with -1.
// Both write into buffers of a given size and never past them: one unit of each buffer is
// kept for the terminating zero, and a character that would not fit before it is not begun.
// ============================================================================================

namespace {

int32_t Utf8LengthOfUnit(char16_t unit)
{
    return unit < 0x80 ? 1 : (unit < 0x800 ? 2 : 3);
}

// Largest code point a four-byte sequence may carry (the last one a surrogate pair can hold).
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

}  // namespace

int32_t WideToUtf8Buffer(char* dst, int32_t dstSize, const char16_t* src, int32_t count)
{
    if (!src || count < 0) {
        count = 0;
    }
    if (!dst) {
        int32_t needed = 0;
        for (int32_t i = 0; i < count; ++i) {
            needed += Utf8LengthOfUnit(src[i]);
        }
        return needed + 1;
    }
    if (dstSize < 1) {
        return 0;
    }
    const int32_t limit = dstSize - 1;  // the last byte is the terminating zero's
    int32_t pos = 0;
    for (int32_t i = 0; i < count; ++i) {
        const char16_t u = src[i];
        const int32_t length = Utf8LengthOfUnit(u);
        if (pos + length > limit) {
            break;
        }
        if (length == 1) {
            dst[pos] = static_cast<char>(u);
        } else if (length == 2) {
            dst[pos] = static_cast<char>(0xC0 | (u >> 6));
            dst[pos + 1] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            dst[pos] = static_cast<char>(0xE0 | (u >> 12));
            dst[pos + 1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            dst[pos + 2] = static_cast<char>(0x80 | (u & 0x3F));
        }
        pos += length;
    }
    dst[pos] = '\0';
    return pos + 1;
}

int32_t Utf8ToWideBuffer(char16_t* dst, int32_t dstCount, const char* src, int32_t len)
{
    if (!src || len < 0) {
        len = 0;
    }
    // A destination with no room gets nothing written; the call still says whether the
    // input is valid.
    const bool noRoom = dst && dstCount < 1;
    const bool writing = dst && !noRoom;
    const int32_t limit = dstCount - 1;  // the last unit is the terminating zero's
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    int32_t units = 0;
    int32_t i = 0;
    while (i < len) {
        const unsigned char lead = bytes[i];
        uint32_t codePoint;
        int32_t length;
        if (lead < 0x80) {
            codePoint = lead;
            length = 1;
        } else if (lead < 0xC0) {
            return -1;  // a continuation byte with no lead byte
        } else if (lead < 0xE0) {
            codePoint = lead & 0x1F;
            length = 2;
        } else if (lead < 0xF0) {
            codePoint = lead & 0x0F;
            length = 3;
        } else if (lead < 0xF8) {
            codePoint = lead & 0x07;
            length = 4;
        } else {
            return -1;  // no sequence begins with 0xF8 or above
        }
        if (length > len - i) {
            return -1;  // cut off by the end of the input
        }
        for (int32_t k = 1; k < length; ++k) {
            const unsigned char next = bytes[i + k];
            if ((next & 0xC0) != 0x80) {
                return -1;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint > kMaxCodePoint) {
            return -1;
        }
        const int32_t needed = codePoint >= 0x10000 ? 2 : 1;
        if (writing) {
            if (units + needed > limit) {
                break;
            }
            if (needed == 1) {
                dst[units] = static_cast<char16_t>(codePoint);
            } else {
                const uint32_t v = codePoint - 0x10000;
                dst[units] = static_cast<char16_t>(0xD800 + (v >> 10));
                dst[units + 1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
            }
        }
        units += needed;
        i += length;
    }
    if (noRoom) {
        return 0;
    }
    if (writing) {
        dst[units] = u'\0';
    }
    return units + 1;
}

std::string Utf8EncodeText(const std::u16string& wide)
{
    if (wide.empty()) {
        return {};
    }
    std::string buffer(wide.size() * 3 + 4, '\0');
    const int32_t n = WideToUtf8Buffer(buffer.data(), static_cast<int32_t>(buffer.size()), wide.data(),
                                       static_cast<int32_t>(wide.size()));
    buffer.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return buffer;
}

namespace {

std::u16string Utf8Decode(std::string_view bytes)
{
    if (bytes.empty()) {
        return {};
    }
    // A byte never gives more than one unit (four bytes give at most two).
    std::u16string buffer(bytes.size() + 1, u'\0');
    const int32_t n = Utf8ToWideBuffer(buffer.data(), static_cast<int32_t>(buffer.size()), bytes.data(),
                                       static_cast<int32_t>(bytes.size()));
    if (n < 1) {
        return {};
    }
    buffer.resize(static_cast<size_t>(n - 1));
    return buffer;
}

}  // namespace

std::u16string Utf8DecodeText(const std::string& s)
{
    return Utf8Decode(s);
}

std::u16string Utf8DecodeSlice(const std::string& s, int32_t start, int32_t count)
{
    return Utf8Decode(Slice(s, start, count));
}
