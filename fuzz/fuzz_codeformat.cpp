// The code-format reader on arbitrary text. Reading either gives a value or raises ELcInfo or
// EConvertError; nothing else may happen (no overflow, no stack exhaustion, no leak on a failure
// path). A value that was read writes a text that reads back and writes the same text again.
#include "lectern/lc/lcCodeFormat.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string Write(TLcValueObject* value)
{
    TLcValue holder;
    holder.SetObject(value != nullptr ? value->copyOf() : nullptr);
    TLcHugeString builder;
    holder.to_Code(builder);
    return builder.GetText();
}

// Reads text into a new T; false when the text is refused.
template <class T>
bool ReadInto(const std::string& text)
{
    T container;
    size_t at = 0;
    try {
        container.from_Code(text, at);
    } catch (const ELcInfo&) {
        return false;
    } catch (const EConvertError&) {
        return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReadInto<TLcRecord>(text);
    ReadInto<TLcArray>(text);
    ReadInto<TLcFunctionInfo>(text);
    ReadInto<TLcDataSet>(text);

    std::unique_ptr<TLcValueObject> value;
    size_t at = 0;
    try {
        value = ObjectFromCode(text, at);
    } catch (const ELcInfo&) {
        return 0;
    } catch (const EConvertError&) {
        return 0;
    }
    const std::string written = Write(value.get());
    size_t again = 0;
    std::unique_ptr<TLcValueObject> back = ObjectFromCode(written, again);
    const std::string rewritten = Write(back.get());
    if (again != written.size() || rewritten != written) {
        std::fprintf(stderr, "round trip differs:\n%s\n%s\n", written.c_str(), rewritten.c_str());
        std::abort();
    }
    return 0;
}
