// Helpers shared by the sources of unit lcInfo (not part of its interface).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lc_detail {

// The bytes s[start .. start+count-1] (1-based) inside s: a start below 1 counts as 1, the
// slice ends at the end of s, and a count below 1 gives nothing.
inline std::string_view Slice(const std::string& s, int32_t start, int32_t count)
{
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= s.size() || count < 1) {
        return {};
    }
    return std::string_view(s).substr(from, static_cast<size_t>(count));
}

// The value of a hexadecimal digit; -1 for any other byte.
inline int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace lc_detail
