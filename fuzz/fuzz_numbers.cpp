// The number and date readers on arbitrary text: they answer or raise EConvertError, and
// what they read writes back to text that reads as the same value.
#include "lectern/lc/lcInfo.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

template <class Fn>
void Guarded(Fn fn)
{
    try {
        fn();
    } catch (const EConvertError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string s(reinterpret_cast<const char*>(data), size);
    Guarded([&] {
        const int32_t v = TextToInteger(s);
        if (TextToInteger(IntegerToText(v)) != v) {
            std::abort();
        }
    });
    Guarded([&] {
        const int64_t v = TextToLargeInt(s);
        if (TextToLargeInt(LargeIntToText(v)) != v) {
            std::abort();
        }
    });
    TextToIntegerDef(s, 0);
    Guarded([&] {
        const double v = TextToFloat(s);
        const double back = TextToFloat(FloatToText(v));
        if (std::fabs(back - v) > std::fabs(v) * 1e-14) {
            std::abort();
        }
    });
    Guarded([&] {
        const int64_t v = TextToCurrency(s);
        if (TextToCurrency(CurrencyToText(v)) != v) {
            std::abort();
        }
    });
    Guarded([&] {
        const TDateTime d = TextToDateTime(s);
        if (d != 0 && std::fabs(TextToDateTime(DateTimeToText(d)) - d) > 1e-8) {
            std::abort();
        }
    });
    Guarded([&] {
        const TDateTime d = ISOToDateTime(s);
        DateTimeToISO(d);
    });
    return 0;
}
