// Base64: encoding arbitrary bytes decodes back to them with the promised length, and
// decoding arbitrary text never fails.
#include "lectern/lc/lcInfo.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string s(reinterpret_cast<const char*>(data), size);
    const std::string text = Base64EncodeText(s);
    const size_t expected = size == 0 ? 0 : (size + 2) / 3 * 4 + (size - 1) / 57 * 2;
    if (text.size() != expected || Base64DecodeText(text) != s) {
        std::abort();
    }
    const std::string decoded = Base64DecodeText(s);
    if (decoded.size() > size) {
        std::abort();
    }
    return 0;
}
