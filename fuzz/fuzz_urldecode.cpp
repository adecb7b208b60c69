// URL decoding of arbitrary bytes: never longer than its input, strict mode either agrees
// with the lenient one or raises EConvertError, and text without "%" or "+" comes back as is.
#include "lectern/lc/lcInfo.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string s(reinterpret_cast<const char*>(data), size);
    const std::string lenient = DecodeUrlText(s, false);
    if (lenient.size() > s.size()) {
        std::abort();
    }
    try {
        if (DecodeUrlText(s, true) != lenient) {
            std::abort();
        }
    } catch (const EConvertError&) {
    }
    if (s.find_first_of("%+") == std::string::npos && lenient != s) {
        std::abort();
    }
    return 0;
}
