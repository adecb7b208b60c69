// The XML-RPC reader on arbitrary text. Reading either gives a value or raises ELcInfo or
// EConvertError; nothing else may happen (no overflow, no stack exhaustion, no leak on a failure
// path). A value that was read writes a text that reads back and writes the same text again.
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcXmlRpc.h"

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
    holder.to_XMLRPC(builder);
    return builder.GetText();
}

// Reads text into a new T (the holder also reads method responses); none when refused.
template <class T>
std::unique_ptr<T> ReadInto(const std::string& text)
{
    auto container = std::make_unique<T>();
    size_t at = 0;
    try {
        container->from_XMLrpc(text, at);
    } catch (const ELcInfo&) {
        return nullptr;
    } catch (const EConvertError&) {
        return nullptr;
    }
    return container;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReadInto<TLcRecord>(text);
    ReadInto<TLcArray>(text);
    ReadInto<TLcFunctionInfo>(text);
    ReadInto<TLcDataSet>(text);
    ReadInto<TLcExceptionValue>(text);

    std::unique_ptr<TLcValue> holder = ReadInto<TLcValue>(text);
    if (!holder) {
        return 0;
    }
    const std::string written = Write(holder->GetObject());
    size_t again = 0;
    std::unique_ptr<TLcValueObject> back = ObjectFromXMLrpc(written, again);
    const std::string rewritten = Write(back.get());
    if (again != written.size() || rewritten != written) {
        std::fprintf(stderr, "round trip differs:\n%s\n%s\n", written.c_str(), rewritten.c_str());
        std::abort();
    }
    return 0;
}
