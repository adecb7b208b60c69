// Unit lcInfo: URL decoding (see lcInfo.h).
#include "lcInfo.h"

#include "lectern/lc/lcInfoCommon.h"

#include <algorithm>

using lc_detail::HexValue;

// ============================================================================================
// URL decoding
// ============================================================================================

std::string DecodeUrlText(const std::string& s, bool strict)
{
    std::string result;
    result.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '+') {
            result += ' ';
        } else if (c != '%') {
            result += c;
        } else if (i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            result += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else if (strict) {
            throw EConvertError("Error decoding URL: " + s);
        } else {
            // A broken escape stays as it stands: the "%" and the (at most two) bytes after it.
            const size_t n = std::min<size_t>(2, s.size() - i - 1);
            result.append(s, i, n + 1);
            i += n;
        }
    }
    return result;
}
