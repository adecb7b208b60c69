// The XML-RPC reader on arbitrary text (see ValueFormatFuzz.h); the holder also reads whole
// method responses, and a fault reads into an exception value.
#include "ValueFormatFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzValueFormat<TXmlRpcFormat, TLcExceptionValue>(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
