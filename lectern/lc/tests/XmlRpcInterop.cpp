// Test helper for the XML-RPC interop check with another program's reader and writer
// (XmlRpcInterop.py).
//
//   XmlRpcInterop read    reads documents separated by NUL bytes from stdin and prints, one line
//                         of JSON each, the value each reads as (a holder's reading) in a neutral
//                         form, or {"error": ...}:
//                           null, {"int": "12"}, {"bool": true}, {"str": "..."}, {"float": "2.5"},
//                           {"date": "yyyymmddThh:mm:ss"}, {"b64": "..."}, {"array": [...]},
//                           {"struct": [[name, value], ...]}, {"fault": [code, message]},
//                           {"call": name, "fields": [[name, value], ...]}
//   XmlRpcInterop write   reads values that the other program made from stdin, one after the
//                         other in the form below, builds each in our value model and prints
//                         the XML-RPC text our writer makes of it, one line of JSON each, or
//                         {"error": ...} when our writer refuses the value:
//                           N                     no value
//                           B0, B1                Boolean
//                           I<decimal>;           integer (32 bits)
//                           F<text>;              float
//                           S<n>:<n bytes>        text in UTF-8
//                           D<yyyymmddThh:mm:ss>  date-time
//                           X<n>:<n bytes>        bytes
//                           A<n>; and n values    array
//                           R<n>; and n times S-like name and value    struct
//                           E<code>;<n>:<bytes>   fault (an exception value inside a value)
//                           C<n>:<name> P<array>  a call with positional parameters
//                           C<n>:<name> K<struct> a call with named parameters
//                         Integers and texts go into each of the model's classes in turn.
#include "lectern/lc/lcXmlRpc.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcCodeFormat.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

std::string Json(const std::string& bytes)
{
    std::string out = "\"";
    for (const char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<uint8_t>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<uint8_t>(c)));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Utf8(const std::string& system) { return Utf8EncodeText(plat::SystemToWide(system)); }

std::string Tagged(const char* tag, const std::string& json) { return std::string("{\"") + tag + "\": " + json + "}"; }

std::string Pair(const std::string& name, const std::string& value) { return "[" + Json(name) + ", " + value + "]"; }

// The neutral form of a value as the reader gives it.
std::string Form(TLcValueObject* value);

std::string Members(TLcRecord& record)
{
    std::string out;
    for (int32_t i = 0, count = record.TLcRecord::Count(); i < count; ++i) {
        out += (i ? ", " : "") + Pair(Utf8(record.FieldName(i)), Form(record.FieldObject(i)));
    }
    return "[" + out + "]";
}

// A fault's code and message: "#code:message" or the message alone.
std::string FaultForm(const std::string& text)
{
    const size_t colon = text.find(':');
    if (text.size() > 1 && text[0] == '#' && colon != std::string::npos) {
        return "[" + Json(text.substr(1, colon - 1)) + ", " + Json(text.substr(colon + 1)) + "]";
    }
    return "[" + Json("0") + ", " + Json(text) + "]";
}

std::string Form(TLcValueObject* value)
{
    if (value == nullptr) {
        return "null";
    }
    if (auto* holder = dynamic_cast<TLcValue*>(value)) {
        return Form(holder->GetObject());
    }
    if (auto* v = dynamic_cast<TLcSimpleValue*>(value)) {
        switch (v->GetType()) {
        case vt_Integer:
        case vt_Cardinal:
        case vt_LargeInt:
        case vt_OID: return Tagged("int", Json(LargeIntToText(v->GetLargeInt())));
        case vt_Boolean: return Tagged("bool", v->GetBoolean() ? "true" : "false");
        case vt_String: return Tagged("str", Json(v->GetString()));
        case vt_Text: return Tagged("str", Json(dynamic_cast<TLcTextValue&>(*v).Utf8Bytes()));
        case vt_WideString: return Tagged("str", Json(Utf8EncodeText(v->GetWideString())));
        case vt_Variable: return Tagged("str", Json(Utf8(v->GetVarName())));
        case vt_Float: return Tagged("float", Json(ExactFloatText(v->GetFloat())));
        case vt_Currency: return Tagged("float", Json(CurrencyToText(v->GetCurrency())));
        case vt_DateTime: return Tagged("date", Json(DateTimeToISO(v->GetDateTime())));
        case vt_ByteStream: {
            std::string b64;
            for (const char c : Base64EncodeText(v->GetString())) {
                if (c != '\r' && c != '\n') {
                    b64 += c;
                }
            }
            return Tagged("b64", Json(b64));
        }
        case vt_Exception: return Tagged("fault", FaultForm(v->GetException()));
        default: return "\"?\"";
        }
    }
    if (auto* set = dynamic_cast<TLcDataSet*>(value)) {
        std::string fields;
        for (int32_t i = 0; i < set->FieldCount(); ++i) {
            std::string field = Pair("Name", Tagged("str", Json(Utf8(set->FieldName(i))))) + ", " +
                                Pair("Type", Tagged("str", Json(FieldTypeCode(set->FieldTypeAt(i)))));
            if (set->FieldSizeAt(i) != 0) {
                field += ", " + Pair("Size", Tagged("int", Json(IntegerToText(set->FieldSizeAt(i)))));
            }
            if (set->FieldRequiredAt(i)) {
                field += ", " + Pair("Required", Tagged("bool", "true"));
            }
            fields += (i ? ", " : "") + Tagged("struct", "[" + field + "]");
        }
        std::string rows;
        for (int32_t i = 0; i < set->RowCount(); ++i) {
            rows += (i ? ", " : "") + Form(set->RowValues(i));
        }
        return Tagged("struct", "[" + Pair("LC.DATASET.FIELDS", Tagged("array", "[" + fields + "]")) + ", " +
                                    Pair("LC.DATASET.ROWS", Tagged("array", "[" + rows + "]")) + "]");
    }
    if (auto* call = dynamic_cast<TLcFunctionInfo*>(value)) {
        return "{\"call\": " + Json(Utf8(call->FunctionName())) + ", \"fields\": " + Members(*call) + "}";
    }
    if (auto* record = dynamic_cast<TLcRecord*>(value)) {
        return Tagged("struct", Members(*record));
    }
    if (auto* array = dynamic_cast<TLcArray*>(value)) {
        std::string items;
        for (int32_t i = 0; i < array->Count(); ++i) {
            items += (i ? ", " : "") + Form(array->GetObject(i));
        }
        return Tagged("array", "[" + items + "]");
    }
    return "\"?\"";
}

int Read()
{
    const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < input.size()) {
        size_t end = input.find('\0', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string document = input.substr(start, end - start);
        start = end + 1;
        TLcValue holder;
        size_t at = 0;
        try {
            holder.from_XMLrpc(document, at);
            std::cout << Form(&holder) << "\n";
        } catch (const Exception& e) {
            std::cout << Tagged("error", Json(e.Message())) << "\n";
        }
    }
    return 0;
}

// A new T, filled by set.
template <class T, class Set>
std::unique_ptr<TLcValueObject> Made(Set&& set)
{
    auto v = std::make_unique<T>();
    set(*v);
    return v;
}

// Builds the values of the write mode's input (see the top of the file).
class TValueBuilder {
public:
    explicit TValueBuilder(std::string input) : FInput(std::move(input)) {}

    bool AtEnd() const { return FAt >= FInput.size(); }

    // The next top-level value: a call or any value.
    std::unique_ptr<TLcValueObject> Next()
    {
        if (Peek() != 'C') {
            return Value();
        }
        ++FAt;
        auto call = std::make_unique<TLcFunctionInfo>();
        call->SetFunctionName(lc_detail::Utf8ToSystem(Counted()));
        const char shape = Take();
        std::unique_ptr<TLcValueObject> params = Value();
        if (shape == 'P') {
            call->SetObject("PARAMS", std::move(params));
        } else {
            auto& record = dynamic_cast<TLcRecord&>(*params);
            for (int32_t i = 0, count = record.TLcRecord::Count(); i < count; ++i) {
                const std::string name = record.FieldName(i);
                call->AppendField(name, record.SetObject(name, TLcStoreArg::Forget()));
            }
        }
        return call;
    }

private:
    char Peek() const
    {
        if (AtEnd()) {
            throw std::runtime_error("input ends inside a value");
        }
        return FInput[FAt];
    }
    char Take()
    {
        const char c = Peek();
        ++FAt;
        return c;
    }
    std::string UpTo(char stop)
    {
        const size_t end = FInput.find(stop, FAt);
        if (end == std::string::npos) {
            throw std::runtime_error("input ends inside a value");
        }
        std::string piece = FInput.substr(FAt, end - FAt);
        FAt = end + 1;
        return piece;
    }
    std::string Counted()
    {
        const size_t n = std::stoul(UpTo(':'));
        std::string bytes = FInput.substr(FAt, n);
        FAt += n;
        return bytes;
    }

    std::unique_ptr<TLcValueObject> Value()
    {
        const int turn = FTurn++;
        switch (const char kind = Take()) {
        case 'N': return nullptr;
        case 'B': {
            const bool flag = Take() == '1';
            return Made<TLcBooleanValue>([&](auto& v) { v.SetBoolean(flag); });
        }
        case 'I': {
            const int32_t n = static_cast<int32_t>(std::stol(UpTo(';')));
            std::unique_ptr<TLcSimpleValue> v;
            switch (turn % 4) {
            case 0: v = std::make_unique<TLcIntegerValue>(); break;
            case 1: v = std::make_unique<TLcLargeIntValue>(); break;
            case 2: v = std::make_unique<TLcOIDValue>(); break;
            default: v = n >= 0 ? std::unique_ptr<TLcSimpleValue>(std::make_unique<TLcCardinalValue>())
                                : std::unique_ptr<TLcSimpleValue>(std::make_unique<TLcIntegerValue>());
            }
            v->SetInteger(n);
            return v;
        }
        case 'F': {
            const double number = std::strtod(UpTo(';').c_str(), nullptr);
            return Made<TLcFloatValue>([&](auto& v) { v.SetFloat(number); });
        }
        case 'S': {
            const std::string utf8 = Counted();
            switch (turn % 4) {
            case 0: return Made<TLcStringValue>([&](auto& v) { v.SetString(utf8); });
            case 1: return Made<TLcTextValue>([&](auto& v) { v.SetWideString(Utf8DecodeText(utf8)); });
            case 2: return Made<TLcWideStringValue>([&](auto& v) { v.SetWideString(Utf8DecodeText(utf8)); });
            default: return Made<TLcVariableName>([&](auto& v) { v.SetVarName(lc_detail::Utf8ToSystem(utf8)); });
            }
        }
        case 'D': {
            const TDateTime date = ISOToDateTime(FInput.substr(FAt, 17));
            FAt += 17;
            return Made<TLcDateTimeValue>([&](auto& v) { v.SetDateTime(date); });
        }
        case 'X': {
            const std::string bytes = Counted();
            return Made<TLcByteStream>([&](auto& v) {
                v.GetByteStream()->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
            });
        }
        case 'A': {
            auto v = std::make_unique<TLcArray>();
            for (long n = std::stol(UpTo(';')); n > 0; --n) {
                v->AppendItem(Value());
            }
            return v;
        }
        case 'R': {
            auto v = std::make_unique<TLcRecord>();
            for (long n = std::stol(UpTo(';')); n > 0; --n) {
                const std::string name = lc_detail::Utf8ToSystem(Counted());
                v->AppendField(name, Value());
            }
            return v;
        }
        case 'E': {
            const std::string code = UpTo(';');
            const std::string message = Counted();
            return Made<TLcExceptionValue>(
                [&](auto& v) { v.SetException(code == "0" ? message : "#" + code + ":" + message); });
        }
        default: throw std::runtime_error(std::string("unknown value kind ") + kind);
        }
    }

    std::string FInput;
    size_t FAt = 0;
    int FTurn = 0;
};

int Write()
{
    TValueBuilder values(std::string((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>()));
    while (!values.AtEnd()) {
        TLcValue holder;
        holder.SetObject(values.Next());
        TLcHugeString builder;
        try {
            holder.to_XMLRPC(builder);
            std::cout << Json(builder.GetText()) << "\n";
        } catch (const ELcInfo& e) {
            std::cout << Tagged("error", Json(e.Message())) << "\n";
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "read") {
        return Read();
    }
    if (mode == "write") {
        return Write();
    }
    std::cerr << "usage: XmlRpcInterop read | write\n";
    return 2;
}
