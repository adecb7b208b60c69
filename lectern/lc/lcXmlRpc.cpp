#include "lectern/lc/lcXmlRpc.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcCodeFormat.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcValueContainers.h"
#include "lectern/lc/lcValueFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

using lc_detail::SystemToUtf8;
using lc_detail::Utf8ToSystem;

// ---- constants ------------------------------------------------------------------------------

constexpr const char* kCrLf = "\r\n";
constexpr const char* kNil = "<value><nil/></value>";
constexpr const char* kFieldsName = "LC.DATASET.FIELDS";
constexpr const char* kRowsName = "LC.DATASET.ROWS";
constexpr const char* kParamsName = "PARAMS";
// A named entity's ";" must follow within this many characters after the "&".
constexpr size_t kNamedEntityReach = 6;
// The longest character reference: "&#" + "x" + 8 hexadecimal digits + ";" (or 10 decimal).
constexpr size_t kCharRefReach = 12;
// The largest code point.
constexpr uint32_t kLastCodePoint = 0x10FFFF;
// A comment, declaration or processing instruction is looked for only with this many bytes.
constexpr size_t kSkippableLeast = 4;

// The one way the reader reports a corrupt text.
[[noreturn]] void Corrupt(const std::string& message) { throw ELcInfo(message); }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }


std::string Trimmed(const std::string& s)
{
    size_t first = 0;
    size_t last = s.size();
    while (first < last && static_cast<uint8_t>(s[first]) < 33) {
        ++first;
    }
    while (last > first && static_cast<uint8_t>(s[last - 1]) < 33) {
        --last;
    }
    return s.substr(first, last - first);
}

// ---- nesting --------------------------------------------------------------------------------

// The calling thread's open container levels of this format, counted by the shared walk.
int& XmlDepth()
{
    thread_local int depth = 0;
    return depth;
}

// ---- tags -----------------------------------------------------------------------------------

// The normal form of a tag's inner text: trimmed, "name/" or "/name", upper case.
std::string NormalTag(const std::string& inner)
{
    std::string tag = Trimmed(inner);
    if (!tag.empty() && tag.back() == '/') {
        tag = Trimmed(tag.substr(0, tag.size() - 1)) + "/";
    } else if (!tag.empty() && tag.front() == '/') {
        tag = "/" + Trimmed(tag.substr(1));
    }
    return UpperCaseStr(tag);
}

// Moves at past comments, declarations and processing instructions (and the whitespace after
// each); a missing end raises.
void SkipMarkup(const std::string& text, size_t& at)
{
    while (text.size() - at >= kSkippableLeast && text[at] == '<' && (text[at + 1] == '!' || text[at + 1] == '?')) {
        const char* end = text[at + 1] == '?' ? "?>" : text[at + 2] == '-' ? "-->" : ">";
        const size_t found = text.find(end, at + 2);
        if (found == std::string::npos) {
            Corrupt("XML-RPC Error: Tag closing " + Quoted(end) + " expected, but missing.");
        }
        at = found + std::strlen(end);
        SkipXmlSpaces(text, at);
    }
}

// The tag at at, and the position after its ">"; peek does not fail on a missing "<".
std::string ScanTag(const std::string& text, size_t& at, bool peek)
{
    if (at >= text.size()) {
        return {};
    }
    if (text[at] != '<') {
        if (peek) {
            return {};
        }
        Corrupt("XML-RPC Error: Tag opening " + Quoted("<") + " expected, but " + Quoted(std::string(1, text[at])) +
                " found.");
    }
    SkipMarkup(text, at);
    if (at >= text.size() || text[at] != '<') {
        if (peek || at >= text.size()) {
            return {};
        }
        Corrupt("XML-RPC Error: Tag opening " + Quoted("<") + " expected, but " + Quoted(std::string(1, text[at])) +
                " found.");
    }
    const size_t close = text.find('>', at + 1);
    if (close == std::string::npos) {
        Corrupt("XML-RPC Error: Tag closing " + Quoted(">") + " expected, but missing.");
    }
    std::string tag = NormalTag(text.substr(at + 1, close - at - 1));
    at = close + 1;
    return tag;
}

bool IsClosing(const std::string& tag) { return !tag.empty() && tag.front() == '/'; }
bool IsSelfClosing(const std::string& tag) { return !tag.empty() && tag.back() == '/'; }

// The canonical name of a type tag.
std::string Alias(const std::string& tag)
{
    if (tag == "I4") return "INT";
    if (tag == "DATETIME" || tag == "TIMESTAMP") return "DATETIME.ISO8601";
    if (tag == "BASE64BINARY" || tag == "BINARY") return "BASE64";
    if (tag == "METHODFAULT") return "STRUCT";
    if (tag == "CALL") return "METHODCALL";
    return tag;
}

// ---- escaping -------------------------------------------------------------------------------

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// XML allows no character below U+0020 but tab, LF and CR, not even as a reference: a peer
// refuses the whole document that holds one, so the writer refuses the value instead.
[[noreturn]] void UnwritableCharacter(uint8_t c)
{
    char code[8];
    std::snprintf(code, sizeof code, "%04X", unsigned{c});
    Corrupt(std::string("XML-RPC Error: Character U+") + code +
            " can not be written: XML allows no character below U+0020 but tab, LF and CR.");
}

// The code point of the reference body (after "&#", before ";"): decimal or "x" and
// hexadecimal digits naming 0 to 0x10FFFF, not a surrogate; false otherwise.
bool CharRefCodePoint(const std::string& body, uint32_t& cp)
{
    const bool hex = !body.empty() && (body[0] == 'x' || body[0] == 'X');
    const size_t first = hex ? 1 : 0;
    if (body.size() <= first) {
        return false;
    }
    uint64_t value = 0;
    for (size_t i = first; i < body.size(); ++i) {
        const char c = body[i];
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * (hex ? 16 : 10) + digit;
        if (value > kLastCodePoint) {
            return false;
        }
    }
    if (value >= 0xD800 && value <= 0xDFFF) {
        return false;
    }
    cp = static_cast<uint32_t>(value);
    return true;
}

// ---- writing --------------------------------------------------------------------------------

void WriteString(TLcHugeString& b, const std::string& bytes)
{
    b.Append(std::string("<value><string>"));
    b.Append(XmlEncodeText(bytes));
    b.Append(std::string("</string></value>"));
}

void WriteTyped(TLcHugeString& b, const char* tag, const std::string& text)
{
    b.Append(std::string("<value><") + tag + ">" + text + "</" + tag + "></value>");
}

// A name as escaped UTF-8, refused when the reader would not give it back.
std::string WritableName(const std::string& name, const char* what)
{
    const std::string utf8 = SystemToUtf8(name);
    if (Trimmed(name) != name || Utf8ToSystem(utf8) != name) {
        Corrupt(std::string(what) + " " + Quoted(name) + " can not be read back.");
    }
    return XmlEncodeText(utf8);
}

void WriteElement(TLcHugeString& b, TLcValueObject* value)
{
    if (value != nullptr) {
        value->to_XMLRPC(b);
    } else {
        b.Append(std::string(kNil));
    }
}

// The fault code of an exception text "#code:message": optional sign and digits that fit in
// 64 bits; anything else is no code.
bool IsFaultCode(const std::string& code)
{
    const size_t first = !code.empty() && (code[0] == '+' || code[0] == '-') ? 1 : 0;
    if (code.size() <= first) {
        return false;
    }
    for (size_t i = first; i < code.size(); ++i) {
        if (code[i] < '0' || code[i] > '9') {
            return false;
        }
    }
    try {
        TextToLargeInt(code);
    } catch (const EConvertError&) {
        return false;
    }
    return true;
}

void WriteException(TLcHugeString& b, const std::string& text)
{
    std::string code;
    std::string message = text;
    if (!text.empty() && text[0] == '#') {
        const size_t colon = text.find(':');
        const std::string candidate = text.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
        if (IsFaultCode(candidate)) {
            code = candidate;
            message = colon == std::string::npos ? std::string() : text.substr(colon + 1);
        }
    }
    b.Append("<value><struct>\r\n<member><name>faultCode</name><value><int>" + (code.empty() ? "0" : code) +
             "</int></value></member>\r\n<member><name>faultString</name><value><string>");
    b.Append(XmlEncodeText(message));
    b.Append(std::string("</string></value></member>\r\n</struct></value>"));
}

void WriteSimple(TLcSimpleValue& value, TLcHugeString& b)
{
    switch (value.GetType()) {
    case vt_String: WriteString(b, value.GetString()); break;
    case vt_Text: WriteString(b, dynamic_cast<TLcTextValue&>(value).Utf8Bytes()); break;
    case vt_WideString: WriteString(b, Utf8EncodeText(value.GetWideString())); break;
    case vt_Variable: WriteString(b, SystemToUtf8(value.GetVarName())); break;
    case vt_Boolean: WriteTyped(b, "boolean", value.GetBoolean() ? "1" : "0"); break;
    case vt_Integer:
    case vt_Cardinal:
    case vt_LargeInt:
    case vt_OID: WriteTyped(b, "i4", LargeIntToText(value.GetLargeInt())); break;
    case vt_Float: WriteTyped(b, "double", ExactFloatText(value.GetFloat())); break;
    case vt_Currency: WriteTyped(b, "double", CurrencyToText(value.GetCurrency())); break;
    case vt_DateTime: WriteTyped(b, "dateTime.iso8601", DateTimeToISO(value.GetDateTime())); break;
    case vt_ByteStream: WriteTyped(b, "base64", Base64EncodeText(value.GetString())); break;
    case vt_Exception: WriteException(b, value.GetException()); break;
    default: throw ELcInfo("Value class " + std::string(value.ClassName()) + " has no to_XMLRPC.");
    }
}

void WriteRecordForm(TLcRecord& record, TLcHugeString& b)
{
    b.Append(std::string("<value><struct>\r\n"));
    for (int32_t i = 0, count = record.TLcRecord::Count(); i < count; ++i) {
        b.Append("<member><name>" + WritableName(record.FieldName(i), "Field name") + "</name>");
        WriteElement(b, record.FieldObject(i));
        b.Append(std::string("</member>\r\n"));
    }
    b.Append(std::string("</struct></value>"));
}

void WriteArray(TLcArray& array, TLcHugeString& b)
{
    b.Append(std::string("<value><array><data>\r\n"));
    for (int32_t i = 0, count = array.Count(); i < count; ++i) {
        WriteElement(b, array.GetObject(i));
        b.Append(std::string(kCrLf));
    }
    b.Append(std::string("</data></array></value>"));
}

// The array of a call whose only parameter is an array named PARAMS; none otherwise.
TLcArray* PositionalParams(TLcFunctionInfo& call)
{
    if (call.TLcRecord::Count() != 1 || UpperCaseStr(call.FieldName(0)) != kParamsName) {
        return nullptr;
    }
    return dynamic_cast<TLcArray*>(call.FieldObject(0));
}

void WriteCall(TLcFunctionInfo& call, TLcHugeString& b)
{
    const std::string head = "<methodCall><methodName>" + WritableName(call.FunctionName(), "Function name") +
                             "</methodName>";
    const int32_t count = call.TLcRecord::Count();
    if (count == 0) {
        b.Append(head + "</methodCall>");
        return;
    }
    // An array named PARAMS alone holds the positional parameters, as a standard peer writes
    // them: login({"user": "bob"}) is one struct parameter (which reads back as the call's
    // named parameters).
    TLcArray* positional = PositionalParams(call);
    if (positional != nullptr) {
        if (positional->Count() == 0) {
            b.Append(head + "<params></params></methodCall>");
            return;
        }
        b.Append(head + "<params>\r\n");
        for (int32_t i = 0; i < positional->Count(); ++i) {
            b.Append(std::string("<param>"));
            WriteElement(b, positional->GetObject(i));
            b.Append(std::string("</param>\r\n"));
        }
        b.Append(std::string("</params></methodCall>"));
        return;
    }
    b.Append(head + "<params>\r\n<param>");
    WriteRecordForm(call, b);
    b.Append(std::string("</param>\r\n</params></methodCall>"));
}

void WriteDataSet(TLcDataSet& set, TLcHugeString& b)
{
    b.Append(std::string("<value><struct><member><name>") + kFieldsName + "</name>\r\n<value><array><data>\r\n");
    for (int32_t i = 0, count = set.FieldCount(); i < count; ++i) {
        std::string field = "<value><struct>\r\n<member><name>Name</name><value>" +
                            WritableName(set.FieldName(i), "Field name") +
                            "</value></member>\r\n<member><name>Type</name><value>" +
                            FieldTypeCode(set.FieldTypeAt(i)) + "</value></member>\r\n";
        if (set.FieldSizeAt(i) != 0) {
            field += "<member><name>Size</name><value><int>" + IntegerToText(set.FieldSizeAt(i)) +
                     "</int></value></member>\r\n";
        }
        if (set.FieldRequiredAt(i)) {
            field += "<member><name>Required</name><value><boolean>1</boolean></value></member>\r\n";
        }
        b.Append(field + "</struct></value>\r\n");
    }
    b.Append(std::string("</data></array></value></member>\r\n<member><name>") + kRowsName +
             "</name>\r\n<value><array><data>\r\n");
    for (int32_t i = 0, count = set.RowCount(); i < count; ++i) {
        WriteElement(b, set.RowValues(i));
        b.Append(std::string(kCrLf));
    }
    b.Append(std::string("</data></array></value></member></struct></value>"));
}

void WriteHolder(TLcValue& holder, TLcHugeString& b) { holder.to_XMLRPC(b); }

// ---- reading simple values ------------------------------------------------------------------

// The content of a simple value between its opening and closing tags.
template <class TContent>
void ReadWrapped(const char* expected, const std::string& text, size_t& at, TContent&& content)
{
    lcClosingTagsType closing;
    OpenXmlTags(expected, text, closing, at);
    content();
    CloseXmlTags(text, at, closing);
}

std::string ReadString(const std::string& text, size_t& at)
{
    std::string value;
    ReadWrapped("STRING", text, at, [&] { value = XmlDecodeText(ReadXmlText(text, at)); });
    return value;
}

std::string ReadTrimmed(const char* expected, const std::string& text, size_t& at)
{
    std::string value;
    ReadWrapped(expected, text, at, [&] { value = ReadXmlTrimmedText(text, at); });
    return value;
}

// A name as the readers keep it: unescaped and trimmed, then (when decode is set) decoded from
// UTF-8, narrowed and trimmed again, so that no decoding (overlong UTF-8 of a blank) leaves a
// byte at either end that the writer would refuse.
std::string NameText(const std::string& raw, bool decode)
{
    std::string name = Trimmed(XmlDecodeText(raw));
    return decode ? Trimmed(Utf8ToSystem(name)) : name;
}

// A member name of a struct: NAME, the name text, /NAME.
std::string ReadName(const std::string& text, size_t& at, bool decode)
{
    ReadXmlTag(text, at, true, "NAME");
    std::string name = NameText(ReadXmlText(text, at), decode);
    ReadXmlTag(text, at, true, "/NAME");
    return name;
}

// What a struct is by the name of its first member (decoded as the readers decode it).
TLcValueType TypeOfStructNamed(const std::string& name)
{
    const std::string upper = UpperCaseStr(name);
    if (upper == kFieldsName || upper == kRowsName) {
        return vt_DataSet;
    }
    if (upper == "FAULTCODE" || upper == "FAULTSTRING") {
        return vt_Exception;
    }
    return vt_Record;
}

void ReadException(TLcSimpleValue& value, const std::string& text, size_t& at);

void ReadSimple(TLcSimpleValue& value, const std::string& text, size_t& at)
{
    switch (value.GetType()) {
    case vt_String:
    case vt_Text: value.SetString(ReadString(text, at)); break;
    case vt_WideString: value.SetWideString(Utf8DecodeText(ReadString(text, at))); break;
    case vt_Variable: value.SetVarName(Utf8ToSystem(ReadString(text, at))); break;
    case vt_Boolean: value.SetBoolean(lc_detail::TextIsTrue(ReadTrimmed("BOOLEAN", text, at))); break;
    case vt_Integer: value.SetInteger(lc_detail::ParseInteger(ReadTrimmed("INT", text, at))); break;
    case vt_Cardinal:
        value.SetCardinal(static_cast<uint32_t>(lc_detail::ParseLargeInt(ReadTrimmed("INT", text, at))));
        break;
    case vt_LargeInt: value.SetLargeInt(lc_detail::ParseLargeInt(ReadTrimmed("INT", text, at))); break;
    case vt_OID: value.SetOID(lc_detail::ParseLargeInt(ReadTrimmed("INT", text, at))); break;
    case vt_Float: {
        const std::string number = ReadTrimmed("DOUBLE", text, at);
        value.SetFloat(number.empty() ? 0 : ReadFloatText(number));
        break;
    }
    case vt_Currency: value.SetCurrency(lc_detail::ParseCurrency(ReadTrimmed("DOUBLE", text, at))); break;
    case vt_DateTime: {
        const std::string date = ReadTrimmed("DATETIME.ISO8601", text, at);
        value.SetDateTime(date.empty() ? 0 : ISOToDateTime(date));
        break;
    }
    case vt_ByteStream:
        ReadWrapped("BASE64", text, at, [&] {
            if (at >= text.size()) {
                Corrupt("No more data. Starting position beyond end-of-AnsiString.");
            }
            lc_detail::FillByteStream(value, Base64DecodeText(ReadXmlText(text, at)));
        });
        break;
    case vt_Exception: ReadException(value, text, at); break;
    default: throw ELcInfo("Value class " + std::string(value.ClassName()) + " has no from_XMLrpc.");
    }
}

// ---- members of a struct --------------------------------------------------------------------

// Calls member(name, value) for every member up to the struct's closing tag: MEMBER elements
// or bare NAME and value pairs. A member without value gives none.
template <class TMember>
void ReadMembers(const std::string& text, size_t& at, TMember&& member)
{
    for (;;) {
        SkipXmlSpaces(text, at);
        const std::string tag = PeekXmlTag(text, at);
        if (tag == "MEMBER") {
            ReadXmlTag(text, at, true);
            const std::string name = ReadName(text, at, true);
            std::unique_ptr<TLcValueObject> value;
            if (PeekXmlTag(text, at) != "/MEMBER") {
                value = ObjectFromXMLrpc(text, at);
            }
            SkipXmlSpaces(text, at);
            ReadXmlTag(text, at, true, "/MEMBER");
            member(name, std::move(value));
        } else if (tag == "NAME") {
            const std::string name = ReadName(text, at, true);
            std::unique_ptr<TLcValueObject> value;
            const std::string next = PeekXmlTag(text, at);
            if (!IsClosing(next) && next != "NAME" && next != "MEMBER") {
                value = ObjectFromXMLrpc(text, at);
            }
            member(name, std::move(value));
        } else {
            return;
        }
    }
}

// The text of an exception value from the members of a fault struct, one at a time.
class TFaultMembers {
public:
    void Add(const std::string& name, std::unique_ptr<TLcValueObject> part)
    {
        const std::string upper = UpperCaseStr(name);
        const bool isCode = upper == "FAULTCODE";
        if (!isCode && upper != "FAULTSTRING") {
            Corrupt("XML-RPC Error: " + Quoted("faultCode") + " or " + Quoted("faultString") + " expected, but " +
                    Quoted(name) + " found.");
        }
        if (!part) {
            return;
        }
        auto* simple = dynamic_cast<TLcSimpleValue*>(part.get());
        if (simple == nullptr) {
            Corrupt("XML-RPC Error parsing " + Quoted("fault") + (isCode ? ": faultCode" : ": faultString") +
                    " value expected, complex object found.");
        }
        (isCode ? FCode : FMessage) = simple->GetString();
    }
    std::string Text() const { return !FCode.empty() && FCode != "0" ? "#" + FCode + ":" + FMessage : FMessage; }

private:
    std::string FCode;
    std::string FMessage;
};

void ReadException(TLcSimpleValue& value, const std::string& text, size_t& at)
{
    TFaultMembers fault;
    ReadWrapped("STRUCT", text, at, [&] {
        ReadMembers(text, at, [&](const std::string& name, std::unique_ptr<TLcValueObject> part) {
            fault.Add(name, std::move(part));
        });
    });
    value.SetException(fault.Text());
}

// A field definition record of a data set into fresh.
void AddFieldDefinition(TLcDataSet& fresh, TLcValueObject* definition)
{
    auto* record = dynamic_cast<TLcRecord*>(definition);
    if (record == nullptr) {
        Corrupt("XML-RPC Error parsing Dataset: Field definition inside <struc> expected, different data type found.");
    }
    // The name is trimmed as member names are (the writer refuses blanks at either end).
    const std::string name = Trimmed(Utf8ToSystem(record->GetString("Name")));
    const std::string code = record->GetString("Type");
    TLcFieldTypes type = ft_Unknown;
    if (!FieldTypeOfCode(code, type)) {
        Corrupt("Unknown Field Type specifier " + Quoted(code) + ".");
    }
    fresh.SetFieldType(name, type);
    fresh.SetFieldSize(name, record->GetInteger("Size"));
    fresh.SetFieldRequired(name, record->GetBoolean("Required"));
}

// A data set from the members of its struct, one at a time; handed over only when all of it
// was read.
class TDataSetMembers {
public:
    void Add(const std::string& name, std::unique_ptr<TLcValueObject> value)
    {
        const std::string upper = UpperCaseStr(name);
        const bool fields = upper == kFieldsName;
        if (!fields && upper != kRowsName) {
            Corrupt("XML-RPC Error parsing DataSet: " + Quoted(kFieldsName) + " or " + Quoted(kRowsName) +
                    " in <name> expected, but " + Quoted(name) + " found.");
        }
        if (fields ? FHaveFields : FHaveRows) {
            Corrupt(std::string("XML-RPC Error parsing DataSet: <member><name>") + (fields ? kFieldsName : kRowsName) +
                    "</name> already parsed, second " + (fields ? "Fields" : "Rows") + " definition found.");
        }
        (fields ? FHaveFields : FHaveRows) = true;
        auto* array = dynamic_cast<TLcArray*>(value.get());
        if (value && array == nullptr) {
            Corrupt("XML-RPC Error parsing Dataset: DataSet Fields definitions inside <array> expected, different "
                    "data type found.");
        }
        for (int32_t i = 0, count = array != nullptr ? array->Count() : 0; i < count; ++i) {
            if (fields) {
                AddFieldDefinition(FFresh, array->GetObject(i));
                continue;
            }
            std::unique_ptr<TLcValueObject> row = array->SetObject(i, TLcStoreArg::Forget());
            if (row && row->GetType() != vt_Array) {
                Corrupt("XML-RPC Error parsing DataSet: row " + std::to_string(i) + " is not an array.");
            }
            FFresh.AppendRow(std::unique_ptr<TLcArray>(static_cast<TLcArray*>(row.release())));
        }
    }

    // Checks what was read and gives it to set.
    void HandOver(TLcDataSet& set)
    {
        if (FHaveRows && !FHaveFields) {
            Corrupt(std::string("XML-RPC Error parsing DataSet: Field definitions missing, tags <member><name>") +
                    kRowsName + "</name> not found.");
        }
        set.TakeOver(FFresh);
    }

private:
    TLcDataSet FFresh;
    bool FHaveFields = false;
    bool FHaveRows = false;
};

// ---- reading containers ---------------------------------------------------------------------

void ReadRecord(TLcRecord& record, const std::string& text, size_t& at)
{
    try {
        ReadWrapped("STRUCT", text, at, [&] {
            ReadMembers(text, at, [&](const std::string& name, std::unique_ptr<TLcValueObject> value) {
                record.AppendField(name, std::move(value));
            });
        });
    } catch (...) {
        record.TLcRecord::Clear();   // the fields only: a TLcInfo keeps its listed objects
        throw;
    }
}

void ReadArray(TLcArray& array, const std::string& text, size_t& at)
{
    try {
        ReadWrapped("ARRAY", text, at, [&] {
            SkipXmlSpaces(text, at);
            const bool data = PeekXmlTag(text, at) == "DATA";
            if (data) {
                ReadXmlTag(text, at, true);
            }
            for (;;) {
                SkipXmlSpaces(text, at);
                const std::string tag = PeekXmlTag(text, at);
                if (IsClosing(tag) || tag.empty()) {
                    break;
                }
                array.AppendItem(ObjectFromXMLrpc(text, at));
            }
            if (data) {
                ReadXmlTag(text, at, true, "/DATA");
            }
        });
    } catch (...) {
        array.Clear();
        throw;
    }
}

// What a parameter list (of a method response or a call) holds.
struct TParams {
    enum TKind { kNone, kEmptyParams, kSingle, kSeveral, kNamed } Kind = kNone;
    std::unique_ptr<TLcValueObject> Value;   // the single value, the array or the named values
};

// Bare NAME and value pairs, also split over PARAM elements, up to a closing tag: a struct
// given without its tags, so its first name tells a data set or a fault from a record, as for
// a bare struct (a record of such names would be written as a struct that reads as the other).
std::unique_ptr<TLcValueObject> ReadNamedValues(const std::string& text, size_t& at, bool decodeNames)
{
    std::vector<std::pair<std::string, std::unique_ptr<TLcValueObject>>> members;
    for (;;) {
        SkipXmlSpaces(text, at);
        const std::string tag = PeekXmlTag(text, at);
        if (tag == "NAME") {
            const std::string name = ReadName(text, at, decodeNames);
            std::unique_ptr<TLcValueObject> value;
            const std::string next = PeekXmlTag(text, at);
            if (!IsClosing(next) && next != "NAME" && next != "PARAM") {
                value = ObjectFromXMLrpc(text, at);
            }
            members.emplace_back(name, std::move(value));
        } else if (tag == "/PARAM") {
            ReadXmlTag(text, at, true);
        } else if (tag == "PARAM") {
            size_t after = at;
            ReadXmlTag(text, after, true);
            if (PeekXmlTag(text, after) != "NAME") {
                break;
            }
            at = after;
        } else {
            break;
        }
    }
    switch (members.empty() ? vt_Record : TypeOfStructNamed(members.front().first)) {
    case vt_DataSet: {
        TDataSetMembers builder;
        for (auto& [name, value] : members) {
            builder.Add(name, std::move(value));
        }
        auto set = std::make_unique<TLcDataSet>();
        builder.HandOver(*set);
        return set;
    }
    case vt_Exception: {
        TFaultMembers fault;
        for (auto& [name, value] : members) {
            fault.Add(name, std::move(value));
        }
        auto exception = std::make_unique<TLcExceptionValue>();
        exception->SetException(fault.Text());
        return exception;
    }
    default: {
        auto record = std::make_unique<TLcRecord>();
        for (auto& [name, value] : members) {
            record->AppendField(name, std::move(value));
        }
        return record;
    }
    }
}

// One more value of a parameter list: the first is kept as it is, a second makes an array of
// both (the first at index 0), later ones join the array.
void AddParam(TParams& params, std::unique_ptr<TLcValueObject> value)
{
    if (params.Kind == TParams::kNone || params.Kind == TParams::kEmptyParams) {
        params.Kind = TParams::kSingle;
        params.Value = std::move(value);
        return;
    }
    if (params.Kind == TParams::kSingle) {
        auto array = std::make_unique<TLcArray>();
        array->AppendItem(std::move(params.Value));
        params.Value = std::move(array);
        params.Kind = TParams::kSeveral;
    }
    static_cast<TLcArray&>(*params.Value).AppendItem(std::move(value));
}

// Values up to a closing tag, without PARAM tags.
void ReadBareValues(TParams& params, const std::string& text, size_t& at)
{
    for (;;) {
        SkipXmlSpaces(text, at);
        const std::string tag = PeekXmlTag(text, at);
        if (tag.empty() || IsClosing(tag)) {
            return;
        }
        AddParam(params, ObjectFromXMLrpc(text, at));
    }
}

TParams ReadParams(const std::string& text, size_t& at, bool decodeNames)
{
    TParams params;
    SkipXmlSpaces(text, at);
    std::string tag = PeekXmlTag(text, at);
    if (tag == "PARAMS/") {
        ReadXmlTag(text, at, true);
        return params;   // no parameters at all
    }
    if (tag == "NAME") {
        params.Kind = TParams::kNamed;
        params.Value = ReadNamedValues(text, at, decodeNames);
        return params;
    }
    if (tag != "PARAMS" && tag != "PARAM") {
        ReadBareValues(params, text, at);   // values straight after the opening tag
        return params;
    }
    const bool opened = tag == "PARAMS";
    if (opened) {
        ReadXmlTag(text, at, true);
        SkipXmlSpaces(text, at);
        tag = PeekXmlTag(text, at);
        if (tag == "/PARAMS") {
            ReadXmlTag(text, at, true);
            params.Kind = TParams::kEmptyParams;
            return params;
        }
    }
    if (tag == "PARAM" || tag == "NAME") {
        // The first parameter.
        size_t afterParam = at;
        if (tag == "PARAM") {
            ReadXmlTag(text, afterParam, true);
        }
        const std::string inner = PeekXmlTag(text, afterParam);
        if (inner == "NAME") {
            params.Kind = TParams::kNamed;
            params.Value = ReadNamedValues(text, at, decodeNames);
        } else {
            at = afterParam;
            params.Kind = TParams::kSingle;
            if (inner == "/PARAM") {
                ReadXmlTag(text, at, true);
            } else {
                params.Value = ObjectFromXMLrpc(text, at);
                SkipXmlSpaces(text, at);
                ReadXmlTag(text, at, true, "/PARAM");
            }
            // Further parameters make an array.
            for (;;) {
                SkipXmlSpaces(text, at);
                if (PeekXmlTag(text, at) != "PARAM") {
                    break;
                }
                ReadXmlTag(text, at, true);
                std::unique_ptr<TLcValueObject> value;
                if (PeekXmlTag(text, at) != "/PARAM") {
                    value = ObjectFromXMLrpc(text, at);
                    SkipXmlSpaces(text, at);
                }
                AddParam(params, std::move(value));
                ReadXmlTag(text, at, true, "/PARAM");
            }
        }
    } else {
        ReadBareValues(params, text, at);   // values inside PARAMS without PARAM tags
    }
    if (opened) {
        SkipXmlSpaces(text, at);
        ReadXmlTag(text, at, true, "/PARAMS");
    }
    return params;
}

void ReadHolder(TLcValue& holder, const std::string& text, size_t& at)
{
    if (XmlRpcTypeOf(text, at) != vt_Variant) {
        holder.SetObject(ObjectFromXMLrpc(text, at));
        return;
    }
    lcClosingTagsType closing;
    OpenXmlTags("METHODRESPONSE", text, closing, at);
    TParams params = ReadParams(text, at, false);
    CloseXmlTags(text, at, closing);
    holder.SetObject(std::move(params.Value));
}

void ReadCall(TLcFunctionInfo& call, const std::string& text, size_t& at)
{
    try {
        ReadWrapped("METHODCALL", text, at, [&] {
            SkipXmlSpaces(text, at);
            ReadXmlTag(text, at, false, "METHODNAME");
            call.SetFunctionName(NameText(ReadXmlText(text, at), true));
            ReadXmlTag(text, at, true, "/METHODNAME");
            TParams params = ReadParams(text, at, true);
            switch (params.Kind) {
            case TParams::kNone: break;
            case TParams::kEmptyParams: call.SetObject(kParamsName, std::make_unique<TLcArray>()); break;
            case TParams::kNamed:
            case TParams::kSingle:
                if (auto* record = dynamic_cast<TLcRecord*>(params.Value.get());
                    record != nullptr && params.Value->GetType() == vt_Record) {
                    for (int32_t i = 0, count = record->TLcRecord::Count(); i < count; ++i) {
                        const std::string name = record->FieldName(i);
                        call.AppendField(name, record->SetObject(name, TLcStoreArg::Forget()));
                    }
                    break;
                }
                {
                    auto array = std::make_unique<TLcArray>();
                    array->AppendItem(std::move(params.Value));
                    call.SetObject(kParamsName, std::move(array));
                }
                break;
            case TParams::kSeveral: call.SetObject(kParamsName, std::move(params.Value)); break;
            }
            // One positional record is written as one struct parameter, which reads as the
            // record's fields: named values (PARAMS holding such an array) read so at once.
            for (TLcArray* positional = PositionalParams(call);
                 positional != nullptr && positional->Count() == 1 && positional->GetObject(0) != nullptr &&
                 positional->GetObject(0)->GetType() == vt_Record;
                 positional = PositionalParams(call)) {
                std::unique_ptr<TLcValueObject> lone = positional->SetObject(0, TLcStoreArg::Forget());
                auto& record = static_cast<TLcRecord&>(*lone);
                call.TLcRecord::Clear();
                for (int32_t i = 0, count = record.TLcRecord::Count(); i < count; ++i) {
                    const std::string name = record.FieldName(i);
                    call.AppendField(name, record.SetObject(name, TLcStoreArg::Forget()));
                }
            }
        });
    } catch (...) {
        call.Clear();
        throw;
    }
}

void ReadDataSet(TLcDataSet& set, const std::string& text, size_t& at)
{
    TDataSetMembers members;
    ReadWrapped("STRUCT", text, at, [&] {
        ReadMembers(text, at, [&](const std::string& name, std::unique_ptr<TLcValueObject> value) {
            members.Add(name, std::move(value));
        });
    });
    members.HandOver(set);
}

// The XML-RPC format's steps of the walk both formats share; a holder's read is a level, since
// it may read a method response.
constexpr lc_detail::TLcValueFormat kXmlRpcFormat{
    "to_XMLRPC", "from_XMLrpc", kXmlRpcNestingLimit, "XML-RPC Error: Values nested deeper than ", XmlDepth, true,
    {WriteSimple, WriteCall, WriteRecordForm, WriteArray, WriteDataSet, WriteHolder},
    {ReadSimple, ReadCall, ReadRecord, ReadArray, ReadDataSet, ReadHolder},
};

}  // namespace

// ---- the scanner ----------------------------------------------------------------------------

void SkipXmlSpaces(const std::string& text, size_t& at)
{
    while (at < text.size() && IsSpace(text[at])) {
        ++at;
    }
}

std::string ReadXmlTag(const std::string& text, size_t& at, bool skipSpacesAfter, const char* expected)
{
    std::string tag = ScanTag(text, at, false);
    if (skipSpacesAfter) {
        SkipXmlSpaces(text, at);
    }
    if (expected != nullptr) {
        if (tag.empty()) {
            Corrupt(std::string("XML-RPC Error: Tag <") + expected + "> expected, but missing.");
        }
        if (tag != expected) {
            Corrupt(std::string("XML-RPC Error: Tag <") + expected + "> expected, but <" + tag + "> found.");
        }
    }
    return tag;
}

std::string PeekXmlTag(const std::string& text, size_t at) { return ScanTag(text, at, true); }

void SkipXmlTag(const std::string& text, size_t& at, bool skipSpacesAfter) { ReadXmlTag(text, at, skipSpacesAfter); }

std::string ReadXmlText(const std::string& text, size_t& at)
{
    if (at < text.size() && text[at] == '<') {
        return {};
    }
    const size_t end = at < text.size() ? text.find('<', at) : std::string::npos;
    if (end == std::string::npos) {
        Corrupt("XML-RPC Error: Tag opening " + Quoted("<") + " expected, but missing.");
    }
    std::string piece = text.substr(at, end - at);
    at = end;
    return piece;
}

std::string ReadXmlTrimmedText(const std::string& text, size_t& at) { return Trimmed(ReadXmlText(text, at)); }

void OpenXmlTags(const char* expected, const std::string& text, lcClosingTagsType& closing, size_t& at)
{
    const std::string wanted = expected;
    SkipXmlSpaces(text, at);
    std::string tag = PeekXmlTag(text, at);
    if (tag.empty()) {
        Corrupt("XML-RPC Error: Type identifier expected.");
    }
    if (tag == "METHODRESPONSE" || tag == "PARAMS" || tag == "PARAM") {
        if (wanted != "METHODRESPONSE") {
            Corrupt("XML-RPC Error: Tag <" + tag + "> found, while <" + wanted + "> was expected.");
        }
        if (tag == "METHODRESPONSE") {
            ReadXmlTag(text, at, true);
            closing.push_back("/METHODRESPONSE");
        }
        return;
    }
    if (tag == "FAULT") {
        closing.push_back("/FAULT");
        ReadXmlTag(text, at, true);
        tag = PeekXmlTag(text, at);
    }
    bool inValue = false;
    size_t afterValue = at;
    while (tag == "VALUE") {
        closing.push_back("/VALUE");
        ReadXmlTag(text, at, false);
        afterValue = at;
        inValue = true;
        SkipXmlSpaces(text, at);
        tag = PeekXmlTag(text, at);
        while (tag == "DATA") {
            closing.push_back("/DATA");
            ReadXmlTag(text, at, true);
            tag = PeekXmlTag(text, at);
        }
    }
    if (inValue && (tag.empty() || tag == "/VALUE")) {
        if (wanted != "STRING") {
            Corrupt("XML-RPC Error: Tag <" + tag + "> found, but <" + wanted + "> expected.");
        }
        at = afterValue;   // leading whitespace belongs to the string
        return;
    }
    if (IsClosing(tag)) {
        Corrupt("XML-RPC Error: Type identifier or </value> expected (<" + tag + "> found).");
    }
    if (tag.empty()) {
        Corrupt("XML-RPC Error: Type identifier <" + wanted + "> expected, but missing.");
    }
    if (tag == "NAME" || tag == "MEMBER") {
        if (wanted != "STRUCT") {
            Corrupt("XML-RPC Error: Tag <" + tag + "> found, while <" + wanted + "> was expected.");
        }
        return;
    }
    closing.push_back("/" + tag);
    ReadXmlTag(text, at, false);
    if (Alias(tag) != wanted) {
        Corrupt("XML-RPC Error: Tag <" + tag + "> found, while <" + wanted + "> was expected.");
    }
}

void CloseXmlTags(const std::string& text, size_t& at, lcClosingTagsType& closing)
{
    SkipXmlSpaces(text, at);
    while (!closing.empty()) {
        if (PeekXmlTag(text, at) != closing.back()) {
            std::string missing;
            for (auto it = closing.rbegin(); it != closing.rend(); ++it) {
                missing += "<" + *it + ">";
            }
            Corrupt("XML-RPC Error: Closing Tag(s) missing: " + missing);
        }
        closing.pop_back();
        ReadXmlTag(text, at, true);
    }
}

namespace {

// The type of a bare struct by its first member's name.
TLcValueType TypeByMemberName(const std::string& text, size_t at)
{
    ReadXmlTag(text, at, true);   // NAME
    return TypeOfStructNamed(NameText(ReadXmlText(text, at), true));
}

}  // namespace

TLcValueType XmlRpcTypeOf(const std::string& text, size_t at)
{
    SkipXmlSpaces(text, at);
    std::string tag = PeekXmlTag(text, at);
    if (tag.empty()) {
        Corrupt("XML-RPC Error: Type identifier expected.");
    }
    if (tag == "METHODRESPONSE" || tag == "PARAMS" || tag == "PARAM") {
        return vt_Variant;
    }
    if (tag == "VALUE") {
        while (tag == "VALUE" || tag == "DATA") {
            ReadXmlTag(text, at, true);
            tag = PeekXmlTag(text, at);
        }
        if (tag.empty() || tag == "/VALUE") {
            return vt_String;
        }
    }
    if (tag == "FAULT") return vt_Exception;
    if (tag == "METHODCALL" || tag == "CALL") return vt_FunctionCall;
    if (tag == "I4" || tag == "INT") return vt_LargeInt;
    if (tag == "BOOLEAN") return vt_Boolean;
    if (tag == "STRING") return vt_String;
    if (tag == "DOUBLE") return vt_Float;
    if (tag == "DATETIME.ISO8601" || tag == "DATETIME" || tag == "TIMESTAMP") return vt_DateTime;
    if (tag == "BASE64" || tag == "BASE64BINARY" || tag == "BINARY") return vt_ByteStream;
    if (tag == "ARRAY") return vt_Array;
    if (tag == "NAME") {
        return TypeByMemberName(text, at);
    }
    if (tag == "STRUCT" || tag == "METHODFAULT" || tag == "MEMBER") {
        ReadXmlTag(text, at, true);
        if (tag != "MEMBER" && PeekXmlTag(text, at) == "MEMBER") {
            ReadXmlTag(text, at, true);
        }
        const std::string next = PeekXmlTag(text, at);
        if (next == "NAME") {
            return TypeByMemberName(text, at);
        }
        if (next.empty() && at < text.size()) {
            Corrupt("XML-RPC Error: <Struct><Member> Tags followed by plain data (<Name> expected).");
        }
        return vt_Record;
    }
    if (IsSelfClosing(tag)) {
        return vt_Null;
    }
    Corrupt("XML-RPC Error: Type identifier expected, <" + tag + "> found.");
}

void ReadXmlNil(const std::string& text, size_t& at)
{
    lcClosingTagsType closing;
    SkipXmlSpaces(text, at);
    std::string tag = PeekXmlTag(text, at);
    if (tag == "FAULT") {
        closing.push_back("/FAULT");
        ReadXmlTag(text, at, true);
        tag = PeekXmlTag(text, at);
    }
    while (tag == "VALUE" || tag == "DATA") {
        closing.push_back("/" + tag);
        ReadXmlTag(text, at, true);
        tag = PeekXmlTag(text, at);
    }
    if (!IsSelfClosing(tag)) {
        Corrupt("XML-RPC Error: <NIL/> expected, <" + tag + "> found.");
    }
    ReadXmlTag(text, at, true);
    CloseXmlTags(text, at, closing);
}

// ---- escaping -------------------------------------------------------------------------------

std::string XmlEncodeText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\r': out += "&#13;"; break;
        default:
            if (static_cast<uint8_t>(c) < 0x20 && c != '\t' && c != '\n') {
                UnwritableCharacter(static_cast<uint8_t>(c));
            }
            out += c;
        }
    }
    return out;
}

std::string XmlDecodeText(const std::string& text)
{
    static const std::pair<const char*, char> kNamed[] = {
        {"LT", '<'}, {"GT", '>'}, {"AMP", '&'}, {"QUOT", '"'}, {"APOS", '\''}, {"NBSP", ' '},
    };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '#') {
            // Only the reach is searched, as for the named entities.
            const size_t reach = std::min(text.size(), i + kCharRefReach + 1);
            const size_t end = std::find(text.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                                         text.begin() + static_cast<std::ptrdiff_t>(reach), ';') - text.begin();
            uint32_t cp = 0;
            if (end < reach && CharRefCodePoint(text.substr(i + 2, end - i - 2), cp)) {
                AppendUtf8(out, cp);
                i = end;
            } else {
                out += '&';   // not a reference: kept as it stands
            }
            continue;
        }
        // Only the reach is searched: a text full of bare "&" stays linear.
        const size_t reach = std::min(text.size(), i + kNamedEntityReach + 1);
        const size_t end = std::find(text.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                     text.begin() + static_cast<std::ptrdiff_t>(reach), ';') - text.begin();
        bool decoded = false;
        if (end < reach) {
            const std::string name = UpperCaseStr(text.substr(i + 1, end - i - 1));
            for (const auto& [entity, c] : kNamed) {
                if (name == entity) {
                    out += c;
                    i = end;
                    decoded = true;
                    break;
                }
            }
        }
        if (!decoded) {
            out += '&';   // not an entity: kept as it stands
        }
    }
    return out;
}

// ---- entry points ---------------------------------------------------------------------------

std::unique_ptr<TLcValueObject> ObjectFromXMLrpc(const std::string& text, size_t& at)
{
    const TLcValueType type = XmlRpcTypeOf(text, at);
    if (type == vt_Null) {
        ReadXmlNil(text, at);
        return nullptr;
    }
    std::unique_ptr<TLcValueObject> object = ObjectFromType(type);
    object->from_XMLrpc(text, at);
    return object;
}

void WriteXmlRpc(TLcValueObject& object, TLcHugeString& builder)
{
    lc_detail::WriteValue(kXmlRpcFormat, object, builder);
}

void ReadXmlRpc(TLcValueObject& object, const std::string& text, size_t& at)
{
    lc_detail::ReadValue(kXmlRpcFormat, object, text, at);
}
