// Unit lcInfo: text search and slicing (see lcInfo.h).
#include "lcInfo.h"

#include "lectern/lc/lcInfoCommon.h"

using lc_detail::Slice;

// ============================================================================================
// Text search and slicing
// ============================================================================================

namespace {

int32_t ToPosition(size_t index)
{
    return index == std::string::npos ? -1 : static_cast<int32_t>(index) + 1;
}

}  // namespace

int32_t FindCharPos(char c, const std::string& s)
{
    return ToPosition(s.find(c));
}

int32_t FindCharFrom(char c, const std::string& s, int32_t start)
{
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= s.size()) {
        return -1;
    }
    return ToPosition(s.find(c, from));
}

int32_t FindSubstrPos(const std::string& sub, const std::string& s, int32_t start)
{
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (sub.empty() || from >= s.size() || sub.size() > s.size() - from) {
        return -1;
    }
    if (sub.size() == 1) {
        return ToPosition(s.find(sub[0], from));
    }
    if (sub.size() == 2) {
        // Look for the first byte, then check the second: most candidates fail on the first.
        const char a = sub[0];
        const char b = sub[1];
        for (size_t i = s.find(a, from); i != std::string::npos && i + 1 < s.size(); i = s.find(a, i + 1)) {
            if (s[i + 1] == b) {
                return ToPosition(i);
            }
        }
        return -1;
    }
    return ToPosition(s.find(sub, from));
}

std::string TrimmedCopy(const std::string& s, int32_t start, int32_t count)
{
    std::string_view slice = Slice(s, start, count);
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) < 33; };
    while (!slice.empty() && isBlank(slice.front())) {
        slice.remove_prefix(1);
    }
    while (!slice.empty() && isBlank(slice.back())) {
        slice.remove_suffix(1);
    }
    return std::string(slice);
}
