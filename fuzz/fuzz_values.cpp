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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TLcStringValue s;
    s.SetString(text);
    ReadEverything(s);
    TLcTextValue t;
    t.SetString(text);
    ReadEverything(t);
    TLcWideStringValue w;
    w.SetString(text);
    ReadEverything(w);

    if (size >= sizeof(double)) {
        double x = 0;
        std::memcpy(&x, data, sizeof x);
        TLcFloatValue f;
        f.SetFloat(x);
        ReadEverything(f);
        TLcDateTimeValue d;
        d.SetDateTime(x);
        ReadEverything(d);
        int64_t n = 0;
        std::memcpy(&n, data, sizeof n);
        TLcCurrencyValue c;
        c.SetCurrency(n);
        ReadEverything(c);
        TLcLargeIntValue l;
        l.SetLargeInt(n);
        ReadEverything(l);
    }
    return 0;
}
