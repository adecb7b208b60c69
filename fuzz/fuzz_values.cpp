// Every reading of the simple values, on arbitrary text and arbitrary doubles: a reading
// either answers or raises EConvertError; nothing else may happen (no overflow, no wrap,
// no other exception).
#include "lectern/lc/lcValues.h"

#include <cstring>
#include <functional>

namespace {

void ReadEverything(TLcSimpleValue& v)
{
    const std::function<void()> readings[] = {
        [&] { v.GetBoolean(); },  [&] { v.GetCurrency(); }, [&] { v.GetDateTime(); },
        [&] { v.GetInteger(); },  [&] { v.GetCardinal(); }, [&] { v.GetLargeInt(); },
        [&] { v.GetFloat(); },    [&] { v.GetString(); },   [&] { v.GetWideString(); },
        [&] { v.GetText(); },     [&] { v.GetOID(); },      [&] { v.GetVariant(); },
    };
    for (const auto& read : readings) {
        try {
            read();
        } catch (const EConvertError&) {
        }
    }
}

// A new value of class T, filled by fill, read in every way.
template <class T, class Fill>
void ReadFilled(Fill fill)
{
    T v;
    fill(v);
    ReadEverything(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReadFilled<TLcStringValue>([&](TLcSimpleValue& v) { v.SetString(text); });
    ReadFilled<TLcTextValue>([&](TLcSimpleValue& v) { v.SetString(text); });
    ReadFilled<TLcWideStringValue>([&](TLcSimpleValue& v) { v.SetString(text); });
    if (size >= sizeof(double)) {
        double x = 0;
        std::memcpy(&x, data, sizeof x);
        int64_t n = 0;
        std::memcpy(&n, data, sizeof n);
        ReadFilled<TLcFloatValue>([&](TLcSimpleValue& v) { v.SetFloat(x); });
        ReadFilled<TLcDateTimeValue>([&](TLcSimpleValue& v) { v.SetDateTime(x); });
        ReadFilled<TLcCurrencyValue>([&](TLcSimpleValue& v) { v.SetCurrency(n); });
        ReadFilled<TLcLargeIntValue>([&](TLcSimpleValue& v) { v.SetLargeInt(n); });
    }
    return 0;
}
