// The code-format reader on arbitrary text (see ValueFormatFuzz.h).
#include "ValueFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzValueFormat<TCodeFormat>(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
