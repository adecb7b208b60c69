// The name=value reader on arbitrary text: it never fails, reading the text from a temporary
// file gives what reading it in memory gives, and composing what was read and reading that
// again gives the same names and values.
#include "lectern/lc/lcHttpValues.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using TNamedValues = std::vector<std::pair<std::string, std::vector<std::string>>>;

TNamedValues Read(TLcHttpValues& values)
{
    TNamedValues result;
    for (int i = 0; i < values.NameCount(); ++i) {
        const std::string name = values.NameAt(i);
        std::vector<std::string> items;
        for (int j = 0; j < values.ValueCountOf(name); ++j) {
            items.push_back(values.ValueOf(name, j));
        }
        if (items.empty() || values.ValueAt(i) != items.back()) {
            std::abort();
        }
        result.emplace_back(name, std::move(items));
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TLcHttpValues values;
    values.SetCacheLimit(-1);
    values.SetEncodedText(text);
    const TNamedValues read = Read(values);
    const std::string separator = values.Separator();
    if (separator != "&" && separator != ";") {
        std::abort();
    }

    TLcHttpValues fromFile;
    fromFile.SetCacheLimit(1);
    fromFile.SetEncodedText(text);
    if (!text.empty() && fromFile.TempFileName().empty()) {
        std::abort();
    }
    if (Read(fromFile) != read || !fromFile.TempFileName().empty()) {
        std::abort();
    }

    // Switching the separator away and back marks the values changed: the text is composed.
    values.SetSeparator(separator == "&" ? ";" : "&");
    values.SetSeparator(separator);
    const std::string composed = values.EncodedText();
    TLcHttpValues again;
    again.SetCacheLimit(-1);
    again.SetSeparator(separator);
    again.AddText(composed);
    if (Read(again) != read) {
        std::abort();
    }
    return 0;
}
