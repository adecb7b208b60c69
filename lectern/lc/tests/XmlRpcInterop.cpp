// Test helper for the XML-RPC interop check with another program's reader and writer
// (XmlRpcInterop.py). Each value is printed as one line of JSON in a neutral form:
//   null, {"int": "12"}, {"bool": true}, {"str": "..."}, {"float": "2.5"}, {"date": "yyyymmddThh:mm:ss"},
//   {"b64": "..."}, {"array": [...]}, {"struct": [[name, value], ...]}, {"fault": [code, message]},
//   {"call": name, "fields": [[name, value], ...]}
//
//   XmlRpcInterop read           reads documents separated by NUL bytes from stdin and prints
//                                the value each reads as (a holder's reading), or {"error": ...}
//   XmlRpcInterop write N SEED   prints N lines {"xml": text, "value": form} of random values
//                                and calls as they should look to the other program's reader
#include "lectern/lc/lcXmlRpc.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcCodeFormat.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/tests/RandomValues.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
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

// The fault code and message our writer sends for an exception text.
std::pair<std::string, std::string> FaultParts(const std::string& text)
{
    if (!text.empty() && text[0] == '#') {
        const size_t colon = text.find(':');
        const std::string code = text.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
        const size_t first = !code.empty() && (code[0] == '+' || code[0] == '-') ? 1 : 0;
        bool digits = code.size() > first;
        for (size_t i = first; digits && i < code.size(); ++i) {
            digits = code[i] >= '0' && code[i] <= '9';
        }
        if (digits) {
            return {LargeIntToText(TextToLargeInt(code)), colon == std::string::npos ? "" : text.substr(colon + 1)};
        }
    }
    return {"0", text};
}

// The neutral form of a value; asWritten: as the writer puts it on the wire (exceptions and
// data sets are structs there), else as the reader gives it.
std::string Form(TLcValueObject* value, bool asWritten);

std::string Members(TLcRecord& record, bool asWritten)
{
    std::string out;
    for (int32_t i = 0, count = record.TLcRecord::Count(); i < count; ++i) {
        out += (i ? ", " : "") + Pair(Utf8(record.FieldName(i)), Form(record.FieldObject(i), asWritten));
    }
    return "[" + out + "]";
}

std::string Form(TLcValueObject* value, bool asWritten)
{
    if (value == nullptr) {
        return "null";
    }
    if (auto* holder = dynamic_cast<TLcValue*>(value)) {
        return Form(holder->GetObject(), asWritten);
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
        case vt_Exception: {
            const auto [code, message] = FaultParts(v->GetException());
            if (asWritten) {
                return Tagged("struct", "[" + Pair("faultCode", Tagged("int", Json(code))) + ", " +
                                            Pair("faultString", Tagged("str", Json(message))) + "]");
            }
            return Tagged("fault", "[" + Json(code) + ", " + Json(message) + "]");
        }
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
            rows += (i ? ", " : "") + Form(set->RowValues(i), asWritten);
        }
        return Tagged("struct", "[" + Pair("LC.DATASET.FIELDS", Tagged("array", "[" + fields + "]")) + ", " +
                                    Pair("LC.DATASET.ROWS", Tagged("array", "[" + rows + "]")) + "]");
    }
    if (auto* call = dynamic_cast<TLcFunctionInfo*>(value)) {
        if (!asWritten) {
            return "{\"call\": " + Json(Utf8(call->FunctionName())) + ", \"fields\": " + Members(*call, false) + "}";
        }
        // On the wire: no parameters, the positional ones, or one struct of all fields.
        std::string params;
        auto* positional = dynamic_cast<TLcArray*>(call->FieldObject(0));
        const bool loneRecord = positional != nullptr && positional->Count() == 1 &&
                                positional->GetObject(0) != nullptr && positional->GetObject(0)->GetType() == vt_Record;
        if (call->TLcRecord::Count() == 1 && positional != nullptr && !loneRecord &&
            UpperCaseStr(call->FieldName(0)) == "PARAMS") {
            for (int32_t i = 0; i < positional->Count(); ++i) {
                params += (i ? ", " : "") + Form(positional->GetObject(i), true);
            }
        } else if (call->TLcRecord::Count() > 0) {
            params = Tagged("struct", Members(*call, true));
        }
        return "{\"call\": " + Json(Utf8(call->FunctionName())) + ", \"params\": [" + params + "]}";
    }
    if (auto* record = dynamic_cast<TLcRecord*>(value)) {
        return Tagged("struct", Members(*record, asWritten));
    }
    if (auto* array = dynamic_cast<TLcArray*>(value)) {
        std::string items;
        for (int32_t i = 0; i < array->Count(); ++i) {
            items += (i ? ", " : "") + Form(array->GetObject(i), asWritten);
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
            std::cout << Form(&holder, false) << "\n";
        } catch (const Exception& e) {
            std::cout << Tagged("error", Json(e.Message())) << "\n";
        }
    }
    return 0;
}

int Write(int count, uint32_t seed)
{
    TRandomValues random(seed, {/*WholeSeconds=*/true, /*PrintableText=*/true, /*NoCalls=*/true});
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<TLcValueObject> value;
        if (i % 3 == 2) {
            // A call: no parameters, positional ones, or named ones.
            auto call = std::make_unique<TLcFunctionInfo>();
            call->SetFunctionName("m" + std::to_string(i));
            auto params = std::make_unique<TLcArray>();
            for (uint32_t p = 0, n = random.Below(4); p < n; ++p) {
                params->AppendItem(random.Tree(3));
            }
            if (random.Below(3) != 0) {
                call->SetObject("PARAMS", std::move(params));
            } else {
                call->SetObject("k", random.Tree(2));
            }
            value = std::move(call);
        } else {
            value = random.Tree(4);
        }
        TLcValue holder;
        holder.SetObject(std::move(value));
        TLcHugeString builder;
        holder.to_XMLRPC(builder);
        std::cout << "{\"xml\": " << Json(builder.GetText()) << ", \"value\": " << Form(&holder, true) << "}\n";
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
    if (mode == "write" && argc > 3) {
        return Write(std::atoi(argv[2]), static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)));
    }
    std::cerr << "usage: XmlRpcInterop read | write N SEED\n";
    return 2;
}
