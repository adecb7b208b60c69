// The dotted IPv4 test against a plain restatement of what it accepts: after leading blanks,
// four runs of digits, each worth less than 256, joined by single dots, then blanks only.
#include "lectern/lc/lcWinSockBase.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

bool Expected(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size() && Blank(s[i])) {
        ++i;
    }
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= s.size() || s[i] != '.') {
                return false;
            }
            ++i;
        }
        const std::size_t start = i;
        bool big = false;
        unsigned value = 0;
        for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
            value = value * 10 + static_cast<unsigned>(s[i] - '0');
            big = big || value > 255;
            if (big) {
                value = 256;
            }
        }
        if (i == start || big) {
            return false;
        }
    }
    for (; i < s.size(); ++i) {
        if (!Blank(s[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string s(reinterpret_cast<const char*>(data), size);
    if (IsDottedIP4(s) != Expected(s)) {
        std::abort();
    }
    return 0;
}
