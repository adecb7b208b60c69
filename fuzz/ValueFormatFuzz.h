// Shared by the fuzz targets of the two value formats: reading arbitrary text into each kind
// of container, and the round trip a text that was read must survive. Reading either gives a
// value or raises ELcInfo or EConvertError (their base ECorruptInput is all that is caught);
// nothing else may happen (no overflow, no stack
// exhaustion, no leak on a failure path).
#pragma once

#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

// The two formats: text of a value, and a value read from text.
// Refusable: whether the writer may refuse a value the reader gave, with this error.
struct TCodeFormat {
    static void Write(TLcValueObject& value, TLcHugeString& builder) { value.to_Code(builder); }
    static void Read(TLcValueObject& value, const std::string& text, size_t& at) { value.from_Code(text, at); }
    static bool Refusable(const ECorruptInput&) { return false; }
};
struct TXmlRpcFormat {
    static void Write(TLcValueObject& value, TLcHugeString& builder) { value.to_XMLRPC(builder); }
    static void Read(TLcValueObject& value, const std::string& text, size_t& at) { value.from_XMLrpc(text, at); }
    // The reader takes the characters XML allows nowhere (raw or as references); the writer
    // refuses a text that holds one.
    static bool Refusable(const ECorruptInput& e) { return e.Message().rfind("XML-RPC Error: Character U+", 0) == 0; }
};

template <class TFormat>
std::string WriteValue(TLcValueObject* value)
{
    TLcValue holder;
    holder.SetObject(value != nullptr ? value->copyOf() : nullptr);
    TLcHugeString builder;
    TFormat::Write(holder, builder);
    return builder.GetText();
}

// Reads text into a new T; none when the text is refused.
template <class TFormat, class T>
std::unique_ptr<T> ReadInto(const std::string& text)
{
    auto container = std::make_unique<T>();
    size_t at = 0;
    try {
        TFormat::Read(*container, text, at);
    } catch (const ECorruptInput&) {
        return nullptr;  // ELcInfo or EConvertError: text the format refuses
    }
    return container;
}

// text reads into every container; when a holder reads it, the value's text reads back to a
// value that writes the same text again (unless the format's writer may refuse the value).
template <class TFormat, class... TMore>
void FuzzValueFormat(const std::string& text)
{
    ReadInto<TFormat, TLcRecord>(text);
    ReadInto<TFormat, TLcArray>(text);
    ReadInto<TFormat, TLcFunctionInfo>(text);
    ReadInto<TFormat, TLcDataSet>(text);
    (ReadInto<TFormat, TMore>(text), ...);
    std::unique_ptr<TLcValue> holder = ReadInto<TFormat, TLcValue>(text);
    if (!holder) {
        return;
    }
    std::string written;
    try {
        written = WriteValue<TFormat>(holder->GetObject());
    } catch (const ECorruptInput& e) {
        if (TFormat::Refusable(e)) {
            return;
        }
        throw;  // a value that was read and that the writer refuses otherwise is a finding
    }
    TLcValue back;
    size_t again = 0;
    TFormat::Read(back, written, again);
    const std::string rewritten = WriteValue<TFormat>(back.GetObject());
    if (again != written.size() || rewritten != written) {
        std::fprintf(stderr, "round trip differs:\n%s\n%s\n", written.c_str(), rewritten.c_str());
        std::abort();
    }
}
