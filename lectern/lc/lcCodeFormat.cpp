#include "lectern/lc/lcCodeFormat.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcValueContainers.h"
#include "lectern/lc/lcValueFormat.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

using lc_detail::SystemToUtf8;
using lc_detail::Utf8ToSystem;

// ---- signs and codes ------------------------------------------------------------------------

constexpr char kNameSign = ':';
constexpr char kTypeSign = '=';
constexpr char kStringMark = '"';
constexpr char kMidSign = ',';
constexpr char kEndSign = ';';

// Type codes by TLcValueType; Variant has none (a holder writes its content's).
constexpr const char* kTypeCodes[kLcValueTypeCount] = {
    "X", "V", "FC", "E", "AR", "RE", "DS", "T", "S", "W", "B", "I", "K", "L", "F", "C", "D", "BS", "O", "",
};
constexpr const char* kRowsCode = "ROWS";
// The longest type code the reader looks up.
constexpr size_t kLongestTypeCode = 2;
// The most digits a length or count can have and still fit in 64 bits (2^63 - 1 has 19).
constexpr size_t kMostCountDigits = 18;
// The shortest element: the empty item "X=;".
constexpr size_t kShortestItemBytes = 3;
// How much of an unknown type code a failure message quotes.
constexpr size_t kQuotedCodeBytes = 32;

// The one way the reader reports a corrupt text.
[[noreturn]] void Corrupt(const std::string& message) { throw ELcInfo(message); }

const char* TypeCode(TLcValueType type) { return kTypeCodes[type]; }


// ---- nesting --------------------------------------------------------------------------------

// The calling thread's open container levels of this format, counted by the shared walk.
int& CodeDepth()
{
    thread_local int depth = 0;
    return depth;
}

// ---- writing --------------------------------------------------------------------------------

void WriteEmpty(TLcHugeString& b, const char* code)
{
    b.Append(std::string(code) + kTypeSign + kEndSign);
}

void WriteShort(TLcHugeString& b, const char* code, const std::string& text)
{
    b.Append(std::string(code) + kTypeSign + text + kEndSign);
}

void WriteCounted(TLcHugeString& b, const char* code, std::string bytes)
{
    if (bytes.empty()) {
        WriteEmpty(b, code);
        return;
    }
    b.Append(std::string(code) + kTypeSign + std::to_string(bytes.size()) + kStringMark);
    b.Append(std::move(bytes));
    b.Append(std::string(1, kStringMark) + kEndSign);
}

// A number item: the empty item for zero.
void WriteNumber(TLcHugeString& b, const char* code, bool zero, const std::string& text)
{
    if (zero) {
        WriteEmpty(b, code);
    } else {
        WriteShort(b, code, text);
    }
}

// Whether a name goes through the format unchanged: it must not hold stop (the sign that
// ends it), and it must survive the trip through UTF-8. The writer refuses any other name, and
// so does the reader (overlong UTF-8 can decode to the sign).
bool NameSurvives(const std::string& name, const std::string& utf8, char stop)
{
    return name.find(stop) == std::string::npos && Utf8ToSystem(utf8) == name;
}

// A name as UTF-8, refused when the reader would not give it back.
std::string ReadableName(const std::string& name, char stop, const char* what)
{
    std::string utf8 = SystemToUtf8(name);
    if (!NameSurvives(name, utf8, stop)) {
        Corrupt(std::string(what) + " \"" + name + "\" can not be read back.");
    }
    return utf8;
}

// A name read as UTF-8 and narrowed, refused when the writer could not write it again.
std::string WritableName(const std::string& utf8, char stop, const char* what)
{
    std::string name = Utf8ToSystem(utf8);
    if (!NameSurvives(name, SystemToUtf8(name), stop)) {
        Corrupt(std::string(what) + " \"" + name + "\" can not be written back.");
    }
    return name;
}

// Runs write for element index; a failure comes back as ELcInfo with the element's place.
template <class TWrite>
void WriteElement(const char* tag, int32_t index, const char* separator, TWrite&& write)
{
    try {
        write();
    } catch (const Exception& e) {
        throw ELcInfo(tag + std::to_string(index) + " " + e.ClassName() + separator + e.Message());
    }
}

void WriteElementValue(TLcHugeString& b, TLcValueObject* value)
{
    if (value != nullptr) {
        value->to_Code(b);
    } else {
        WriteEmpty(b, TypeCode(vt_Null));
    }
}

void WriteRecordPart(TLcRecord& record, TLcHugeString& b)
{
    const int32_t count = record.TLcRecord::Count();   // fields only, also for TLcInfo
    WriteShort(b, TypeCode(vt_Record), IntegerToText(count));
    for (int32_t i = 0; i < count; ++i) {
        WriteElement("fld#", i, ": ", [&] {
            b.Append(ReadableName(record.FieldName(i), kNameSign, "Field name") + kNameSign);
            WriteElementValue(b, record.FieldObject(i));
        });
    }
}

void WriteArray(TLcArray& array, TLcHugeString& b)
{
    const int32_t count = array.Count();
    WriteShort(b, TypeCode(vt_Array), IntegerToText(count));
    for (int32_t i = 0; i < count; ++i) {
        WriteElement("idx#", i, ": ", [&] { WriteElementValue(b, array.GetObject(i)); });
    }
}

void WriteDataSet(TLcDataSet& set, TLcHugeString& b)
{
    const int32_t fields = set.FieldCount();
    WriteShort(b, TypeCode(vt_DataSet), IntegerToText(fields));
    for (int32_t i = 0; i < fields; ++i) {
        WriteElement("fld#", i, " : ", [&] {
            b.Append(ReadableName(set.FieldName(i), kNameSign, "Field name") + kNameSign +
                     FieldTypeCode(set.FieldTypeAt(i)) + kMidSign + IntegerToText(set.FieldSizeAt(i)) + kMidSign +
                     (set.FieldRequiredAt(i) ? "T" : "F") + kEndSign);
        });
    }
    const int32_t rows = set.RowCount();
    WriteShort(b, kRowsCode, IntegerToText(rows));
    for (int32_t i = 0; i < rows; ++i) {
        WriteElement("row#", i, ": ", [&] { WriteElementValue(b, set.RowValues(i)); });
    }
}

void WriteCall(TLcFunctionInfo& call, TLcHugeString& b)
{
    WriteShort(b, TypeCode(vt_FunctionCall), ReadableName(call.FunctionName(), kEndSign, "Function name"));
    WriteRecordPart(call, b);
}

void WriteHolder(TLcValue& holder, TLcHugeString& b) { holder.to_Code(b); }

std::string WideBytes(const std::u16string& wide)
{
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (const char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

void WriteSimple(TLcSimpleValue& value, TLcHugeString& b)
{
    const TLcValueType type = value.GetType();
    const char* code = TypeCode(type);
    switch (type) {
    case vt_String: WriteCounted(b, code, value.GetString()); break;
    case vt_Text: WriteCounted(b, code, dynamic_cast<TLcTextValue&>(value).Utf8Bytes()); break;
    case vt_Exception: WriteCounted(b, code, value.GetException()); break;
    case vt_Variable: WriteCounted(b, code, SystemToUtf8(value.GetVarName())); break;
    case vt_WideString: WriteCounted(b, code, WideBytes(value.GetWideString())); break;
    case vt_ByteStream: WriteCounted(b, code, value.GetString()); break;
    case vt_Boolean: WriteNumber(b, code, !value.GetBoolean(), "T"); break;
    case vt_Integer: {
        const int32_t v = value.GetInteger();
        WriteNumber(b, code, v == 0, IntegerToText(v));
        break;
    }
    case vt_Cardinal: {
        const uint32_t v = value.GetCardinal();
        WriteNumber(b, code, v == 0, CardinalToText(v));
        break;
    }
    case vt_LargeInt: {
        const int64_t v = value.GetLargeInt();
        WriteNumber(b, code, v == 0, LargeIntToText(v));
        break;
    }
    case vt_OID: {
        const int64_t v = value.GetOID();
        WriteNumber(b, code, v == 0, LargeIntToText(v));
        break;
    }
    case vt_Float: {
        const double v = value.GetFloat();
        WriteNumber(b, code, v == 0, ExactFloatText(v));
        break;
    }
    case vt_Currency: {
        const Currency v = value.GetCurrency();
        WriteNumber(b, code, v == 0, CurrencyToText(v));
        break;
    }
    case vt_DateTime: {
        const TDateTime v = value.GetDateTime();
        WriteNumber(b, code, v == 0, DateTimeToText(v));
        break;
    }
    default: throw ELcInfo("Value class " + std::string(value.ClassName()) + " has no to_Code.");
    }
}

// ---- reading --------------------------------------------------------------------------------

// The unread rest of the text from at.
size_t Left(const std::string& text, size_t at) { return at < text.size() ? text.size() - at : 0; }

// Position of c at or after from; npos when absent.
size_t Find(const std::string& text, char c, size_t from)
{
    return from < text.size() ? text.find(c, from) : std::string::npos;
}

// The first checks of an item of code: data left, the type sign after the code, the code.
// Answers the position just after the type sign.
size_t OpenItem(const std::string& text, size_t at, const char* code, size_t leastAfterCode,
                const char* endOfText = "No more data. Starting position beyond end-of-AnsiString.")
{
    if (at >= text.size()) {
        Corrupt(endOfText);
    }
    const size_t codeLength = std::strlen(code);
    if (Left(text, at) < codeLength + leastAfterCode) {
        Corrupt("Not enough data to include type info.");
    }
    if (text[at + codeLength] != kTypeSign) {
        Corrupt("End Mark not found.");
    }
    if (text.compare(at, codeLength, code) != 0) {
        Corrupt("Expected object type specifier not found.");
    }
    return at + codeLength + 1;
}

// Decimal digits only, at most kMostCountDigits of them; false otherwise.
bool ParseCount(const std::string& text, size_t from, size_t to, uint64_t& count)
{
    if (to <= from || to - from > kMostCountDigits) {
        return false;
    }
    count = 0;
    for (size_t i = from; i < to; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return false;
        }
        count = count * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// A counted item of code: its bytes (empty for the empty item).
std::string ReadCounted(const std::string& text, size_t& at, const char* code,
                        const char* endOfText = "No more data. Starting position beyond end-of-AnsiString.")
{
    const size_t start = OpenItem(text, at, code, 2, endOfText);
    if (text[start] == kEndSign) {
        at = start + 1;
        return {};
    }
    const size_t mark = Find(text, kStringMark, start);
    if (mark == std::string::npos) {
        Corrupt("String START-MARK missing.");
    }
    uint64_t length = 0;
    if (!ParseCount(text, start, mark, length)) {
        Corrupt("Length value missing.");
    }
    const size_t first = mark + 1;
    if (length > Left(text, first) || Left(text, first) - length < 2) {
        Corrupt("Not enough data.");
    }
    const size_t end = first + static_cast<size_t>(length);
    if (text[end] != kStringMark) {
        Corrupt("String END-MARK missing.");
    }
    if (text[end + 1] != kEndSign) {
        Corrupt("COMMAND END-MARK missing.");
    }
    at = end + 2;
    return text.substr(first, static_cast<size_t>(length));
}

// A short item of code: its text.
std::string ReadShort(const std::string& text, size_t& at, const char* code)
{
    const size_t start = OpenItem(text, at, code, 1);
    const size_t end = Find(text, kEndSign, start);
    if (end == std::string::npos) {
        Corrupt("END-MARK missing.");
    }
    at = end + 1;
    return text.substr(start, end - start);
}

// The text from at up to the sign stop, which is consumed.
std::string ReadUpTo(const std::string& text, size_t& at, char stop, const char* missing)
{
    const size_t end = Find(text, stop, at);
    if (end == std::string::npos) {
        Corrupt(missing);
    }
    std::string piece = text.substr(at, end - at);
    at = end + 1;
    return piece;
}

// The element count of a container header: decimal (empty is 0), never more than the
// elements the unread text could hold.
int32_t ReadCountItem(const std::string& text, size_t& at, const char* code, const char* missing)
{
    const std::string digits = ReadShort(text, at, code);
    uint64_t count = 0;
    if (!digits.empty() && !ParseCount(digits, 0, digits.size(), count)) {
        Corrupt(missing);
    }
    if (count > Left(text, at) / kShortestItemBytes) {
        Corrupt("Not enough data.");
    }
    return static_cast<int32_t>(count);
}

std::u16string WideFromBytes(const std::string& bytes)
{
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
    }
    return wide;
}

void ReadSimple(TLcSimpleValue& value, const std::string& text, size_t& at)
{
    const TLcValueType type = value.GetType();
    const char* code = TypeCode(type);
    switch (type) {
    case vt_String:
    case vt_Text: value.SetString(ReadCounted(text, at, code)); break;
    case vt_Exception: value.SetException(ReadCounted(text, at, code)); break;
    case vt_Variable: value.SetVarName(Utf8ToSystem(ReadCounted(text, at, code))); break;
    case vt_WideString: value.SetWideString(WideFromBytes(ReadCounted(text, at, code))); break;
    case vt_ByteStream: {
        const std::string bytes =
            ReadCounted(text, at, code, "No more data. Starting position beyond end-of-String.");
        lc_detail::FillByteStream(value, bytes);
        break;
    }
    case vt_Boolean: value.SetBoolean(lc_detail::TextIsTrue(ReadShort(text, at, code))); break;
    case vt_Integer: value.SetInteger(lc_detail::ParseInteger(ReadShort(text, at, code))); break;
    case vt_Cardinal:
        value.SetCardinal(static_cast<uint32_t>(lc_detail::ParseLargeInt(ReadShort(text, at, code))));
        break;
    case vt_LargeInt: value.SetLargeInt(lc_detail::ParseLargeInt(ReadShort(text, at, code))); break;
    case vt_OID: value.SetOID(lc_detail::ParseLargeInt(ReadShort(text, at, code))); break;
    case vt_Float: {
        const std::string number = ReadShort(text, at, code);
        value.SetFloat(number.empty() ? 0 : ReadFloatText(number));
        break;
    }
    case vt_Currency: value.SetCurrency(lc_detail::ParseCurrency(ReadShort(text, at, code))); break;
    case vt_DateTime: value.SetDateTime(lc_detail::ParseDateTime(ReadShort(text, at, code))); break;
    default: throw ELcInfo("Value class " + std::string(value.ClassName()) + " has no from_Code.");
    }
}

// The fields of a record part (from "RE=n;") into record, which is empty.
void ReadRecordPart(TLcRecord& record, const std::string& text, size_t& at)
{
    try {
        const int32_t count = ReadCountItem(text, at, TypeCode(vt_Record), "TLcRecord.from_Code: Field Count missing.");
        for (int32_t i = 0; i < count; ++i) {
            const std::string name =
                WritableName(ReadUpTo(text, at, kNameSign, "END-MARK missing."), kNameSign, "Field name");
            record.AppendField(name, ObjectFromCode(text, at));
        }
    } catch (...) {
        record.TLcRecord::Clear();   // the fields only: a TLcInfo keeps its listed objects
        throw;
    }
}

void ReadCall(TLcFunctionInfo& call, const std::string& text, size_t& at)
{
    call.SetFunctionName(WritableName(ReadShort(text, at, TypeCode(vt_FunctionCall)), kEndSign, "Function name"));
    try {
        ReadRecordPart(call, text, at);
    } catch (...) {
        call.SetFunctionName({});
        throw;
    }
}

void ReadArray(TLcArray& array, const std::string& text, size_t& at)
{
    try {
        const int32_t count = ReadCountItem(text, at, TypeCode(vt_Array), "TLcArray.from_Code: Field Count missing.");
        for (int32_t i = 0; i < count; ++i) {
            array.AppendItem(ObjectFromCode(text, at));
        }
    } catch (...) {
        array.Clear();
        throw;
    }
}

void ReadDataSet(TLcDataSet& set, const std::string& text, size_t& at)
{
    TLcDataSet fresh;   // taken over only when all of it was read
    const int32_t fields =
        ReadCountItem(text, at, TypeCode(vt_DataSet), "TLcDataSet.from_Code: Field Count missing.");
    for (int32_t i = 0; i < fields; ++i) {
        const std::string name =
            WritableName(ReadUpTo(text, at, kNameSign, "END-MARK missing."), kNameSign, "Field name");
        const std::string typeCode = ReadUpTo(text, at, kMidSign, "MID-MARK missing.");
        const std::string size = ReadUpTo(text, at, kMidSign, "MID-MARK missing.");
        const std::string flag = ReadUpTo(text, at, kEndSign, "END-MARK missing.");
        TLcFieldTypes type = ft_Unknown;
        if (!FieldTypeOfCode(typeCode, type)) {
            Corrupt("Unknown Field Type specifier \"" + typeCode + "\".");
        }
        fresh.SetFieldType(name, type);
        fresh.SetFieldSize(name, TextToInteger(size));
        fresh.SetFieldRequired(name, UpperCaseStr(flag) == "T");
    }
    const int32_t rows = ReadCountItem(text, at, kRowsCode, "TLcDataSet.from_Code: Row Count missing.");
    for (int32_t i = 0; i < rows; ++i) {
        std::unique_ptr<TLcValueObject> row = ObjectFromCode(text, at);
        if (row && row->GetType() != vt_Array) {
            Corrupt("TLcDataSet.from_Code: row " + std::to_string(i) + " is not an array.");
        }
        fresh.AppendRow(std::unique_ptr<TLcArray>(static_cast<TLcArray*>(row.release())));
    }
    set.TakeOver(fresh);
}

void ReadHolder(TLcValue& holder, const std::string& text, size_t& at) { holder.SetObject(ObjectFromCode(text, at)); }

// The code format's steps of the walk both formats share.
constexpr lc_detail::TLcValueFormat kCodeFormat{
    "to_Code", "from_Code", kCodeNestingLimit, "Values nested deeper than ", CodeDepth, false,
    {WriteSimple, WriteCall, WriteRecordPart, WriteArray, WriteDataSet, WriteHolder},
    {ReadSimple, ReadCall, ReadRecordPart, ReadArray, ReadDataSet, ReadHolder},
};

}  // namespace

// ---- floats ---------------------------------------------------------------------------------

std::string ExactFloatText(double value)
{
    std::string text = FloatToText(value);
    if (!std::isfinite(value) || ReadFloatText(text) == value) {
        return text;
    }
    // The shortest form that reads back exactly, with the exponent written as FloatToText does.
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.assign(buffer, r.ptr);
    const size_t e = text.find('e');
    if (e != std::string::npos) {
        const size_t digits = text[e + 1] == '+' ? e + 2 : e + 1;
        text = text.substr(0, e) + "E" + text.substr(digits);
    }
    return text;
}

double ReadFloatText(const std::string& text)
{
    const std::string upper = UpperCaseStr(text);
    if (upper == "NAN") {
        return std::nan("");
    }
    if (upper == "INF" || upper == "+INF") {
        return HUGE_VAL;
    }
    if (upper == "-INF") {
        return -HUGE_VAL;
    }
    return TextToFloat(text);
}

// ---- entry points ---------------------------------------------------------------------------

std::unique_ptr<TLcValueObject> ObjectFromCode(const std::string& text, size_t& at)
{
    const size_t sign = Find(text, kTypeSign, at);
    if (sign == std::string::npos) {
        Corrupt("Object type specifier not found.");
    }
    const size_t length = sign - at;
    int found = -1;
    if (length >= 1 && length <= kLongestTypeCode) {
        for (int t = 0; t < kLcValueTypeCount; ++t) {
            if (text.compare(at, length, kTypeCodes[t]) == 0 && std::strlen(kTypeCodes[t]) == length) {
                found = t;
                break;
            }
        }
    }
    if (found < 0) {
        Corrupt("Unknown object type specifier \"" + text.substr(at, std::min(length, kQuotedCodeBytes)) + "\".");
    }
    if (found == vt_Null) {
        ReadShort(text, at, TypeCode(vt_Null));
        return nullptr;
    }
    std::unique_ptr<TLcValueObject> object = ObjectFromType(static_cast<TLcValueType>(found));
    object->from_Code(text, at);
    return object;
}

void WriteCode(TLcValueObject& object, TLcHugeString& builder)
{
    lc_detail::WriteValue(kCodeFormat, object, builder);
}

void ReadCode(TLcValueObject& object, const std::string& text, size_t& at)
{
    lc_detail::ReadValue(kCodeFormat, object, text, at);
}
