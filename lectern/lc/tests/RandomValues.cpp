#include "lectern/lc/tests/RandomValues.h"

#include "classlib/DateUtils.h"
#include "classlib/PlatformText.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "tests/support/BookWriter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

constexpr size_t kPoolBytes = 1 << 16;
// Sizes of the generated pieces.
constexpr uint32_t kMostTextBytes = 40;
constexpr uint32_t kMostElements = 6;
constexpr uint32_t kMostNameBytes = 8;
// A tolerance of half a millisecond, in days, for date-times read back from decimal text.
constexpr double kHalfMillisecondDays = 0.5 / 86400000.0;

// Name letters: no ":" or ";", and the blank never at either end.
constexpr char kNameLetters[] = "abcXYZ_09&<>\"'-. \xE9\xFC";

// Printable pieces of text: ASCII, a blank, and two UTF-8 letters.
const char* const kPrintablePieces[] = {"a", "Z", "7", " ", "<", "&", ">", "'", "\"", "\t", "\n",
                                        ";", ":", "\xC3\xA9", "\xE2\x82\xAC"};

// The simple types a tree draws from.
constexpr TLcValueType kSimpleTypes[] = {
    vt_Variable, vt_Exception, vt_Text,  vt_String,   vt_WideString, vt_Boolean,    vt_Integer,
    vt_Cardinal, vt_LargeInt,  vt_Float, vt_Currency, vt_DateTime,   vt_ByteStream, vt_OID,
};

}  // namespace

TRandomValues::TRandomValues(uint32_t seed, TOptions options) : FOptions(options), FSeed(seed | 1) {}

uint8_t TRandomValues::Byte()
{
    if (FUsed >= FPool.size()) {
        FPool = booktest::XorshiftBytes(kPoolBytes, FSeed);
        FSeed = FSeed * 2654435761u + 1;
        FUsed = 0;
    }
    return static_cast<uint8_t>(FPool[FUsed++]);
}

uint32_t TRandomValues::Next()
{
    uint32_t x = 0;
    for (int i = 0; i < 4; ++i) {
        x = (x << 8) | Byte();
    }
    return x;
}

uint32_t TRandomValues::TextCharacter(uint32_t c) const
{
    const bool forbidden = c < 0x20 && c != '\t' && c != '\n' && c != '\r';
    return FOptions.XmlCharacters && forbidden ? c + 0x20 : c;
}

std::string TRandomValues::Bytes(size_t count, bool text)
{
    std::string s;
    if (FOptions.PrintableText) {
        while (s.size() < count) {
            s += kPrintablePieces[Below(sizeof kPrintablePieces / sizeof kPrintablePieces[0])];
        }
        return s;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = Byte();
        s += static_cast<char>(text ? TextCharacter(b) : b);
    }
    return s;
}

std::string TRandomValues::Name()
{
    const size_t letters = sizeof kNameLetters - 1;
    std::string name(1, kNameLetters[Below(3)]);
    for (uint32_t i = 0, n = Below(kMostNameBytes); i < n; ++i) {
        name += kNameLetters[Below(letters)];
    }
    if (name.back() == ' ') {
        name.back() = '_';
    }
    return name;
}

std::unique_ptr<TLcValueObject> TRandomValues::Simple(TLcValueType type)
{
    auto object = ObjectFromType(type);
    auto& v = dynamic_cast<TLcSimpleValue&>(*object);
    const bool empty = Below(5) == 0;   // the empty item of every type is its own case
    if (empty) {
        return object;
    }
    const size_t length = Below(kMostTextBytes) + 1;
    switch (type) {
    case vt_Variable: v.SetVarName(plat::WideToSystem(plat::SystemToWide(Name()))); break;
    case vt_Exception: {
        std::string text = Bytes(length, true);
        if (Below(2) == 0) {
            text = "#" + std::to_string(static_cast<int32_t>(Next())) + ":" + text;
        }
        v.SetException(text);
        break;
    }
    case vt_Text:
    case vt_String: v.SetString(Bytes(length, true)); break;
    case vt_WideString: {
        std::u16string wide;
        for (size_t i = 0; i < length; ++i) {
            wide += FOptions.PrintableText ? static_cast<char16_t>(u'a' + Below(26) + (Below(4) == 0 ? 0xC0 : 0))
                                           : static_cast<char16_t>(TextCharacter(Next() & 0xFFFF));
        }
        if (FOptions.PrintableText) {
            wide += u"\u20AC";
        }
        v.SetWideString(wide);
        break;
    }
    case vt_Boolean: v.SetBoolean(true); break;
    case vt_Integer: {
        const int32_t extremes[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -1};
        v.SetInteger(Below(4) == 0 ? extremes[Below(3)] : static_cast<int32_t>(Next()));
        break;
    }
    case vt_Cardinal: v.SetCardinal(Below(4) == 0 ? 0xFFFFFFFFu : Next()); break;
    case vt_LargeInt:
    case vt_OID: {
        const int64_t extremes[] = {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
        const int64_t value = Below(4) == 0 ? extremes[Below(2)]
                                            : static_cast<int64_t>((uint64_t{Next()} << 32) | Next());
        if (type == vt_OID) {
            v.SetOID(value);
        } else {
            v.SetLargeInt(value);
        }
        break;
    }
    case vt_Float: {
        uint64_t bits = (uint64_t{Next()} << 32) | Next();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        const double specials[] = {0.1, -2.5, 1e300, 5e-324, std::numeric_limits<double>::infinity(),
                                   std::nan("")};
        if (Below(3) == 0 || std::isnan(value) || std::isinf(value)) {
            value = specials[Below(FOptions.PrintableText ? 4 : 6)];
        }
        v.SetFloat(value);
        break;
    }
    case vt_Currency: {
        const Currency extremes[] = {std::numeric_limits<int64_t>::min() + 1, std::numeric_limits<int64_t>::max(),
                                     15000, -1};
        v.SetCurrency(Below(3) == 0 ? extremes[Below(4)]
                                    : static_cast<int64_t>(Next()) * (Below(2) ? 1 : -1000003));
        break;
    }
    case vt_DateTime: {
        TDateTime date = 0;
        TDateTime time = 0;
        TryEncodeDate(static_cast<int32_t>(1900 + Below(200)), static_cast<int32_t>(1 + Below(12)),
                      static_cast<int32_t>(1 + Below(28)), date);
        TryEncodeTime(static_cast<int32_t>(Below(24)), static_cast<int32_t>(Below(60)),
                      static_cast<int32_t>(Below(60)), FOptions.WholeSeconds ? 0 : static_cast<int32_t>(Below(1000)),
                      time);
        v.SetDateTime(date + time);
        break;
    }
    case vt_ByteStream: {
        TMemoryStream stream;
        const std::string bytes = Bytes(length * 3, false);
        stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        v.SetByteStream(&stream);
        break;
    }
    default: break;
    }
    return object;
}

std::unique_ptr<TLcDataSet> TRandomValues::DataSet(int depth)
{
    auto set = std::make_unique<TLcDataSet>();
    const uint32_t fields = Below(kMostElements);
    for (uint32_t f = 0; f < fields; ++f) {
        const std::string name = Name();
        set->SetFieldType(name, static_cast<TLcFieldTypes>(Below(kLcFieldTypeCount)));
        if (Below(2) == 0) {
            set->SetFieldSize(name, static_cast<int32_t>(Next()));
        }
        set->SetFieldRequired(name, Below(2) == 0);
    }
    const uint32_t rows = fields == 0 ? 0 : Below(kMostElements);
    for (uint32_t r = 0; r < rows; ++r) {
        set->SetRow(static_cast<int32_t>(r));
        for (int32_t f = 0; f < set->FieldCount(); ++f) {
            if (Below(4) != 0) {
                set->SetObject(set->FieldName(f), depth > 0 && Below(4) == 0 ? Tree(depth - 1)
                                                                             : Simple(kSimpleTypes[Below(14)]));
            }
        }
    }
    set->First();
    return set;
}

std::unique_ptr<TLcValueObject> TRandomValues::Tree(int depth)
{
    const uint32_t pick = Below(depth > 0 ? 24 : 15);
    if (pick == 14) {
        return nullptr;
    }
    if (pick < 14) {
        return Simple(kSimpleTypes[pick]);
    }
    switch (pick) {
    case 15:
    case 16:
    case 17: {
        auto record = std::make_unique<TLcRecord>();
        for (uint32_t i = 0, n = Below(kMostElements); i < n; ++i) {
            const std::string name = Name();
            if (record->GetObject(name) == nullptr) {
                record->AppendField(name, Tree(depth - 1));
            }
        }
        return record;
    }
    case 18:
    case 19:
    case 20: {
        auto array = std::make_unique<TLcArray>();
        for (uint32_t i = 0, n = Below(kMostElements); i < n; ++i) {
            array->AppendItem(Tree(depth - 1));
        }
        return array;
    }
    case 21:
    case 22: {
        if (FOptions.NoCalls) {
            return Simple(kSimpleTypes[Below(14)]);
        }
        auto call = std::make_unique<TLcFunctionInfo>();
        call->SetFunctionName(Below(4) == 0 ? std::string() : Name());
        if (Below(2) == 0) {
            // Positional parameters: one array named PARAMS.
            auto params = std::make_unique<TLcArray>();
            for (uint32_t i = 0, n = Below(kMostElements); i < n; ++i) {
                params->AppendItem(Tree(depth - 1));
            }
            call->SetObject("PARAMS", std::move(params));
        } else {
            for (uint32_t i = 0, n = Below(kMostElements); i < n; ++i) {
                const std::string name = Name();
                if (call->GetObject(name) == nullptr && UpperCaseStr(name) != "PARAMS") {
                    call->AppendField(name, Tree(depth - 1));
                }
            }
        }
        return call;
    }
    default: return DataSet(depth - 1);
    }
}

// ---- comparison -----------------------------------------------------------------------------

namespace {

bool Fail(std::string& why, const std::string& what)
{
    why = what;
    return false;
}

bool SameSimple(TLcSimpleValue& a, TLcSimpleValue& b, std::string& why)
{
    switch (a.GetType()) {
    case vt_Variable: return a.GetVarName() == b.GetVarName() || Fail(why, "name " + a.GetVarName());
    case vt_Exception: return a.GetException() == b.GetException() || Fail(why, "exception " + a.GetException());
    case vt_Text:
        return dynamic_cast<TLcTextValue&>(a).Utf8Bytes() == dynamic_cast<TLcTextValue&>(b).Utf8Bytes() ||
               Fail(why, "text");
    case vt_String:
    case vt_ByteStream: return a.GetString() == b.GetString() || Fail(why, "bytes \"" + a.GetString() + "\" vs \"" + b.GetString() + "\"");
    case vt_WideString: return a.GetWideString() == b.GetWideString() || Fail(why, "wide string");
    case vt_Boolean: return a.GetBoolean() == b.GetBoolean() || Fail(why, "Boolean");
    case vt_Integer:
    case vt_Cardinal:
    case vt_LargeInt:
    case vt_OID: return a.GetLargeInt() == b.GetLargeInt() || Fail(why, "integer " + a.GetString() + " vs " + b.GetString());
    case vt_Float: {
        const double x = a.GetFloat();
        const double y = b.GetFloat();
        return (std::isnan(x) && std::isnan(y)) || x == y || Fail(why, "float " + a.GetString() + " vs " + b.GetString());
    }
    case vt_Currency: return a.GetCurrency() == b.GetCurrency() || Fail(why, "currency " + a.GetString());
    case vt_DateTime:
        return std::fabs(a.GetDateTime() - b.GetDateTime()) < kHalfMillisecondDays ||
               Fail(why, "date-time " + a.GetString() + " vs " + b.GetString());
    default: return Fail(why, "unknown simple type");
    }
}

}  // namespace

bool SameValue(TLcValueObject* a, TLcValueObject* b, std::string& why)
{
    if (a == nullptr || b == nullptr) {
        return (a == nullptr && b == nullptr) || Fail(why, std::string("none vs ") + (a ? a->ClassName() : b->ClassName()));
    }
    if (std::strcmp(a->ClassName(), b->ClassName()) != 0) {
        return Fail(why, std::string(a->ClassName()) + " vs " + b->ClassName());
    }
    if (auto* simple = dynamic_cast<TLcSimpleValue*>(a)) {
        return SameSimple(*simple, dynamic_cast<TLcSimpleValue&>(*b), why);
    }
    if (auto* set = dynamic_cast<TLcDataSet*>(a)) {
        auto& other = dynamic_cast<TLcDataSet&>(*b);
        if (set->FieldCount() != other.FieldCount() || set->RowCount() != other.RowCount()) {
            return Fail(why, "data set shape");
        }
        for (int32_t i = 0; i < set->FieldCount(); ++i) {
            if (set->FieldName(i) != other.FieldName(i) || set->FieldTypeAt(i) != other.FieldTypeAt(i) ||
                set->FieldSizeAt(i) != other.FieldSizeAt(i) || set->FieldRequiredAt(i) != other.FieldRequiredAt(i)) {
                return Fail(why, "field definition " + set->FieldName(i));
            }
        }
        for (int32_t r = 0; r < set->RowCount(); ++r) {
            if (!SameValue(set->RowValues(r), other.RowValues(r), why)) {
                why = "row#" + std::to_string(r) + " " + why;
                return false;
            }
        }
        return true;
    }
    if (auto* record = dynamic_cast<TLcRecord*>(a)) {
        auto& other = dynamic_cast<TLcRecord&>(*b);
        if (auto* call = dynamic_cast<TLcFunctionInfo*>(a)) {
            if (call->FunctionName() != dynamic_cast<TLcFunctionInfo&>(*b).FunctionName()) {
                return Fail(why, "function name " + call->FunctionName());
            }
        }
        if (record->Count() != other.Count()) {
            return Fail(why, "field count " + std::to_string(record->Count()) + " vs " + std::to_string(other.Count()));
        }
        for (int32_t i = 0; i < record->Count(); ++i) {
            if (record->FieldName(i) != other.FieldName(i)) {
                return Fail(why, "field name " + record->FieldName(i) + " vs " + other.FieldName(i));
            }
            if (!SameValue(record->FieldObject(i), other.FieldObject(i), why)) {
                why = "fld " + record->FieldName(i) + " " + why;
                return false;
            }
        }
        return true;
    }
    if (auto* array = dynamic_cast<TLcArray*>(a)) {
        auto& other = dynamic_cast<TLcArray&>(*b);
        if (array->Count() != other.Count()) {
            return Fail(why, "item count " + std::to_string(array->Count()) + " vs " + std::to_string(other.Count()));
        }
        for (int32_t i = 0; i < array->Count(); ++i) {
            if (!SameValue(array->GetObject(i), other.GetObject(i), why)) {
                why = "idx " + std::to_string(i) + " " + why;
                return false;
            }
        }
        return true;
    }
    if (auto* holder = dynamic_cast<TLcValue*>(a)) {
        return SameValue(holder->GetObject(), dynamic_cast<TLcValue&>(*b).GetObject(), why);
    }
    return Fail(why, std::string("no comparison for ") + a->ClassName());
}

// ---- the expected value after XML-RPC -----------------------------------------------------
//
// Computed here from each value's own stored field, by the format's rules, without the
// library's text, UTF-8, currency or integer conversions that the round trip checks.

namespace {

// UTF-8 of UTF-16 code units, each unit by itself: one, two or three bytes, a surrogate half
// as three bytes of its own.
std::string OracleUtf8(const std::u16string& wide)
{
    std::string bytes;
    for (const char16_t unit : wide) {
        const uint32_t c = unit;
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else if (c < 0x800) {
            bytes += static_cast<char>(0xC0 | (c >> 6));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes += static_cast<char>(0xE0 | (c >> 12));
            bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return bytes;
}

[[noreturn]] void OutsideTheOracle(const std::string& what)
{
    throw std::logic_error("the XML-RPC oracle does not know " + what);
}

// A name in the system code page, widened: the names made here hold ASCII and Latin-1 letters,
// whose code points are their bytes in the code pages these tests run with.
std::u16string OracleWidenName(const std::string& name)
{
    std::u16string wide;
    for (const char ch : name) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0) {
            OutsideTheOracle("the code page's byte " + std::to_string(b));
        }
        wide += static_cast<char16_t>(b);
    }
    return wide;
}

// The decimal text of currency (a count of ten-thousandths), exact.
std::string OracleCurrencyText(int64_t currency)
{
    const bool negative = currency < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(currency) : static_cast<uint64_t>(currency);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    text += '.';
    text += fraction;
    return text;
}

// A fault's text as it reads back: the code between "#" and the first ":" survives as its
// decimal value unless it is 0; a code that is not a number is dropped with the whole text
// kept as the message.
std::string OracleFaultText(const std::string& text)
{
    if (text.empty() || text[0] != '#') {
        return text;
    }
    const size_t colon = text.find(':');
    const std::string code = text.substr(1, colon == std::string::npos ? std::string::npos : colon - 1);
    const std::string message = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (code.empty() || code.find_first_not_of("+-0123456789") != std::string::npos) {
        return text;
    }
    size_t at = 0;
    bool negative = false;
    if (code[0] == '+' || code[0] == '-') {
        negative = code[0] == '-';
        at = 1;
    }
    if (at == code.size() || code.find_first_not_of("0123456789", at) != std::string::npos) {
        OutsideTheOracle("the fault code \"" + code + "\"");
    }
    uint64_t magnitude = 0;
    for (; at < code.size(); ++at) {
        const uint64_t digit = static_cast<uint64_t>(code[at] - '0');
        if (magnitude > (uint64_t{1} << 63) / 10) {
            OutsideTheOracle("the fault code \"" + code + "\"");
        }
        magnitude = magnitude * 10 + digit;
    }
    if (magnitude > (negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1)) {
        OutsideTheOracle("the fault code \"" + code + "\"");
    }
    if (magnitude == 0) {
        return message;
    }
    std::string result = negative ? "#-" : "#";
    result += std::to_string(magnitude);
    result += ':';
    result += message;
    return result;
}

std::unique_ptr<TLcValueObject> LargeInt(int64_t value)
{
    auto v = std::make_unique<TLcLargeIntValue>();
    v->SetLargeInt(value);
    return v;
}

std::unique_ptr<TLcValueObject> String(std::string bytes)
{
    auto v = std::make_unique<TLcStringValue>();
    v->SetString(std::move(bytes));
    return v;
}

}  // namespace

std::unique_ptr<TLcValueObject> AsAfterXmlRpc(TLcValueObject* value)
{
    if (value == nullptr) {
        return nullptr;
    }
    if (auto* holder = dynamic_cast<TLcValue*>(value)) {
        return AsAfterXmlRpc(holder->GetObject());
    }
    // Each class by its own stored field: integers of every size read back as LargeInt, the
    // texts as String (their UTF-8 bytes), currency as Float.
    if (auto* v = dynamic_cast<TLcIntegerValue*>(value)) {
        return LargeInt(v->GetInteger());
    }
    if (auto* v = dynamic_cast<TLcCardinalValue*>(value)) {
        return LargeInt(static_cast<int64_t>(v->GetCardinal()));
    }
    if (auto* v = dynamic_cast<TLcLargeIntValue*>(value)) {
        return LargeInt(v->GetLargeInt());
    }
    if (auto* v = dynamic_cast<TLcOIDValue*>(value)) {
        return LargeInt(v->GetOID());
    }
    if (auto* v = dynamic_cast<TLcTextValue*>(value)) {
        return String(v->Utf8Bytes());
    }
    if (auto* v = dynamic_cast<TLcWideStringValue*>(value)) {
        return String(OracleUtf8(v->GetWideString()));
    }
    if (auto* v = dynamic_cast<TLcVariableName*>(value)) {
        return String(OracleUtf8(OracleWidenName(v->GetVarName())));
    }
    if (auto* v = dynamic_cast<TLcCurrencyValue*>(value)) {
        auto f = std::make_unique<TLcFloatValue>();
        f->SetFloat(std::strtod(OracleCurrencyText(v->GetCurrency()).c_str(), nullptr));
        return f;
    }
    if (auto* v = dynamic_cast<TLcExceptionValue*>(value)) {
        auto e = std::make_unique<TLcExceptionValue>();
        e->SetException(OracleFaultText(v->GetException()));
        return e;
    }
    if (dynamic_cast<TLcSimpleValue*>(value) != nullptr) {
        return value->copyOf();  // Boolean, String, Float, DateTime, ByteStream keep their class
    }
    if (auto* set = dynamic_cast<TLcDataSet*>(value)) {
        auto copy = std::make_unique<TLcDataSet>();
        for (int32_t i = 0; i < set->FieldCount(); ++i) {
            const std::string name = set->FieldName(i);
            copy->SetFieldType(name, set->FieldTypeAt(i));
            copy->SetFieldSize(name, set->FieldSizeAt(i));
            copy->SetFieldRequired(name, set->FieldRequiredAt(i));
        }
        for (int32_t r = 0; r < set->RowCount(); ++r) {
            copy->AppendRow(std::unique_ptr<TLcArray>(static_cast<TLcArray*>(AsAfterXmlRpc(set->RowValues(r)).release())));
        }
        return copy;
    }
    if (auto* call = dynamic_cast<TLcFunctionInfo*>(value)) {
        auto copy = std::make_unique<TLcFunctionInfo>();
        copy->SetFunctionName(call->FunctionName());
        for (int32_t i = 0; i < call->TLcRecord::Count(); ++i) {
            copy->AppendField(call->FieldName(i), AsAfterXmlRpc(call->FieldObject(i)));
        }
        return copy;
    }
    if (auto* record = dynamic_cast<TLcRecord*>(value)) {
        auto copy = std::make_unique<TLcRecord>();
        for (int32_t i = 0; i < record->TLcRecord::Count(); ++i) {
            copy->AppendField(record->FieldName(i), AsAfterXmlRpc(record->FieldObject(i)));
        }
        return copy;
    }
    if (auto* array = dynamic_cast<TLcArray*>(value)) {
        auto copy = std::make_unique<TLcArray>();
        for (int32_t i = 0; i < array->Count(); ++i) {
            copy->AppendItem(AsAfterXmlRpc(array->GetObject(i)));
        }
        return copy;
    }
    return value->copyOf();
}
