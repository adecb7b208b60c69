// The simple values: their conversion matrix, setters, variants, rounding and life cycle.
//
// Most tests are tables. A result is rendered as text so that one column can hold any
// getter's answer; "-" in a table stands for the class's own conversion failure of that
// operation, spelled out by ExpectedFailure below; "no" means SetVariant answered false.
#include "lectern/lc/lcValues.h"

#include "ExpectError.h"
#include "classlib/PlatformText.h"

#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

// ---- rendering ------------------------------------------------------------------------------

std::string Number(double x)
{
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, r.ptr);
}

std::string Wide(const std::u16string& w) { return plat::WideToSystem(w); }

std::string Render(const Variant& v)
{
    switch (v.VarType()) {
    case varBoolean: return std::string("bool:") + (v.Boolean() ? "true" : "false");
    case varInteger: return "int32:" + std::to_string(v.Int64());
    case varLongWord: return "uint32:" + std::to_string(v.Int64());
    case varInt64: return "int64:" + std::to_string(v.Int64());
    case varDouble: return "double:" + Number(v.Float());
    case varCurrency: return "currency:" + std::to_string(v.Currency());
    case varDate: return "date:" + Number(v.Float());
    case varString: return "str:" + v.String();
    case varOleStr: return "wide:" + Wide(v.WideString());
    default: return "kind " + std::to_string(v.VarType());
    }
}

enum Getter {
    gBoolean, gCurrency, gDateTime, gException, gVarName, gInteger, gCardinal, gLargeInt,
    gFloat, gString, gWideString, gText, gByteStream, gOID, gVariant, kGetterCount
};

// What a getter's failure message ends with; Cardinal, LargeInt and OID read through
// GetInteger by default and fail with its message.
const char* const kGetterEndings[kGetterCount] = {
    " to Boolean.", " to Currency.", " to TDateTime.", " to TLcExceptionValue.", " to TLcVariableName.",
    " to Integer.", " to Integer.", " to Integer.", " to Float.", " to AnsiString.", " to WideString.",
    " to Text.", " to TStream.", " to Integer.", " to Variant.",
};

std::string ReadAs(TLcSimpleValue& v, Getter g)
{
    try {
        switch (g) {
        case gBoolean: return v.GetBoolean() ? "true" : "false";
        case gCurrency: return "$" + std::to_string(v.GetCurrency());
        case gDateTime: return Number(v.GetDateTime());
        case gException: return v.GetException();
        case gVarName: return v.GetVarName();
        case gInteger: return std::to_string(v.GetInteger());
        case gCardinal: return std::to_string(v.GetCardinal());
        case gLargeInt: return std::to_string(v.GetLargeInt());
        case gFloat: return Number(v.GetFloat());
        case gString: return v.GetString();
        case gWideString: return "w:" + Wide(v.GetWideString());
        case gText: return v.GetText();
        case gByteStream: return v.GetByteStream() != nullptr ? "stream" : "no stream";
        case gOID: return std::to_string(v.GetOID());
        case gVariant: return Render(v.GetVariant());
        case kGetterCount: break;
        }
    } catch (const EConvertError& e) {
        return "!" + e.Message();
    }
    return "?";
}

std::string ExpectedFailure(const char* className, const char* ending)
{
    return std::string("!Can not convert ") + className + ending;
}

// ---- fixtures -------------------------------------------------------------------------------

struct Fixture {
    TLcValueType type;
    const char* className;
    std::function<void(TLcSimpleValue&)> fill;
};

std::unique_ptr<TLcSimpleValue> Make(TLcValueType type)
{
    std::unique_ptr<TLcValueObject> object = ObjectFromType(type);
    auto* simple = dynamic_cast<TLcSimpleValue*>(object.get());
    if (simple == nullptr) {
        ADD_FAILURE() << "no simple value for type " << int(type);
        return nullptr;
    }
    static_cast<void>(object.release());
    return std::unique_ptr<TLcSimpleValue>(simple);
}

std::unique_ptr<TLcSimpleValue> Make(const Fixture& f)
{
    auto v = Make(f.type);
    f.fill(*v);
    return v;
}

void WriteBytes(TStream& stream, const std::string& bytes)
{
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// One filled value of each class, in the order of the tables below.
const std::vector<Fixture>& Fixtures()
{
    static const std::vector<Fixture> fixtures = {
        {vt_Exception, "TLcExceptionValue", [](TLcSimpleValue& v) { v.SetException("boom"); }},
        {vt_Variable, "TLcVariableName", [](TLcSimpleValue& v) { v.SetVarName("x1"); }},
        {vt_ByteStream, "TLcByteStream", [](TLcSimpleValue& v) { WriteBytes(*v.GetByteStream(), "ab"); }},
        {vt_Boolean, "TLcBooleanValue", [](TLcSimpleValue& v) { v.SetBoolean(true); }},
        {vt_String, "TLcStringValue", [](TLcSimpleValue& v) { v.SetString("12"); }},
        {vt_WideString, "TLcWideStringValue", [](TLcSimpleValue& v) { v.SetWideString(u"-7"); }},
        {vt_Text, "TLcTextValue", [](TLcSimpleValue& v) { v.SetText("3"); }},
        {vt_Integer, "TLcIntegerValue", [](TLcSimpleValue& v) { v.SetInteger(-1); }},
        {vt_Cardinal, "TLcCardinalValue", [](TLcSimpleValue& v) { v.SetCardinal(4294967295u); }},
        {vt_LargeInt, "TLcLargeIntValue", [](TLcSimpleValue& v) { v.SetLargeInt(4294967296); }},
        {vt_OID, "TLcOIDValue", [](TLcSimpleValue& v) { v.SetOID(5); }},
        {vt_Float, "TLcFloatValue", [](TLcSimpleValue& v) { v.SetFloat(2.5); }},
        {vt_Currency, "TLcCurrencyValue", [](TLcSimpleValue& v) { v.SetCurrency(35000); }},
        {vt_DateTime, "TLcDateTimeValue", [](TLcSimpleValue& v) { v.SetDateTime(2.9); }},
    };
    return fixtures;
}

// ---- the getter matrix ----------------------------------------------------------------------

// Columns: Boolean, Currency, DateTime, Exception, VarName, Integer, Cardinal, LargeInt,
// Float, String, WideString, Text, ByteStream, OID, Variant. Rows: the fixtures, in order.
using GetterRow = std::array<const char*, kGetterCount>;
const GetterRow kGetterMatrix[] = {
    // TLcExceptionValue "boom"
    {"-", "-", "-", "boom", "-", "-", "-", "-", "-", "boom", "w:boom", "boom", "-", "-", "str:boom"},
    // TLcVariableName "x1"
    {"-", "-", "-", "-", "x1", "-", "-", "-", "-", "x1", "w:x1", "x1", "-", "-", "str:x1"},
    // TLcByteStream holding "ab"
    {"-", "-", "-", "-", "-", "-", "-", "-", "-", "ab", "w:ab", "ab", "stream", "-", "str:ab"},
    // TLcBooleanValue True
    {"true", "$10000", "-", "-", "-", "1", "1", "1", "1", "T", "w:T", "T", "-", "1", "bool:true"},
    // TLcStringValue "12" (no "-" or ":", so the date-time reader finds nothing)
    {"true", "$120000", "0", "-", "-", "12", "12", "12", "12", "12", "w:12", "12", "-", "12", "str:12"},
    // TLcWideStringValue "-7" (the "-" makes it a date of year 0, month 7, day 0)
    {"true", "$-70000", "!Invalid argument to date encode\r\nInvalid date format.", "-", "-", "-7", "4294967289",
     "-7", "-7", "-7", "w:-7", "-7", "-", "-7", "wide:-7"},
    // TLcTextValue "3"
    {"true", "$30000", "0", "-", "-", "3", "3", "3", "3", "3", "w:3", "3", "-", "3", "str:3"},
    // TLcIntegerValue -1
    {"true", "$-10000", "-1", "-", "-", "-1", "4294967295", "-1", "-1", "-1", "w:-1", "-1", "-", "-1", "int32:-1"},
    // TLcCardinalValue 4294967295
    {"true", "$42949672950000", "4294967295", "-", "-", "-1", "4294967295", "4294967295", "4294967295",
     "4294967295", "w:4294967295", "4294967295", "-", "4294967295", "uint32:4294967295"},
    // TLcLargeIntValue 4294967296
    {"true", "$42949672960000", "4294967296", "-", "-", "0", "0", "4294967296", "4294967296", "4294967296",
     "w:4294967296", "4294967296", "-", "4294967296", "int64:4294967296"},
    // TLcOIDValue 5
    {"true", "$50000", "5", "-", "-", "5", "5", "5", "5", "5", "w:5", "5", "-", "5", "int64:5"},
    // TLcFloatValue 2.5 (halves round to even)
    {"true", "$25000", "2.5", "-", "-", "2", "2", "2", "2.5", "2.5", "w:2.5", "2.5", "-", "2", "double:2.5"},
    // TLcCurrencyValue 3.5
    {"true", "$35000", "3.5", "-", "-", "4", "4", "4", "3.5", "3.5", "w:3.5", "3.5", "-", "4", "currency:35000"},
    // TLcDateTimeValue 2.9 (1 January 1900, 21:36; integers truncate)
    {"true", "$29000", "2.9", "-", "-", "2", "2", "2", "2.9", "1900-1-1 21:36:0.0", "w:1900-1-1 21:36:0.0",
     "1900-1-1 21:36:0.0", "-", "2", "date:2.9"},
};

TEST(LcSimpleValues, GetterMatrix)
{
    ASSERT_EQ(std::size(kGetterMatrix), Fixtures().size());
    for (size_t row = 0; row < Fixtures().size(); ++row) {
        const Fixture& f = Fixtures()[row];
        auto v = Make(f);
        for (int g = 0; g < kGetterCount; ++g) {
            const std::string cell = kGetterMatrix[row][g];
            const std::string expected = cell == "-" ? ExpectedFailure(f.className, kGetterEndings[g]) : cell;
            EXPECT_EQ(ReadAs(*v, Getter(g)), expected) << f.className << ", getter column " << g;
        }
    }
}

// Single readings that the matrix does not show: text tests and parsing, decoding, rounding.
struct Reading {
    const char* what;
    Fixture value;
    Getter getter;
    const char* expected;
};

Fixture Str(std::string s) { return {vt_String, "", [s](TLcSimpleValue& v) { v.SetString(s); }}; }
Fixture WStr(std::u16string s) { return {vt_WideString, "", [s](TLcSimpleValue& v) { v.SetWideString(s); }}; }
Fixture TextBytes(std::string s) { return {vt_Text, "", [s](TLcSimpleValue& v) { v.SetString(s); }}; }
Fixture Float(double x) { return {vt_Float, "", [x](TLcSimpleValue& v) { v.SetFloat(x); }}; }
Fixture Money(Currency c) { return {vt_Currency, "", [c](TLcSimpleValue& v) { v.SetCurrency(c); }}; }
Fixture Date(double d) { return {vt_DateTime, "", [d](TLcSimpleValue& v) { v.SetDateTime(d); }}; }
Fixture Large(int64_t n) { return {vt_LargeInt, "", [n](TLcSimpleValue& v) { v.SetLargeInt(n); }}; }

TEST(LcSimpleValues, Readings)
{
    const Reading readings[] = {
        {"no is false", Str("no"), gBoolean, "false"},
        {"yes is true", Str("yes"), gBoolean, "true"},
        {"empty is false", Str(""), gBoolean, "false"},
        {"false words in any case", Str("fAlSe"), gBoolean, "false"},
        {"F", Str("f"), gBoolean, "false"},
        {"N", Str("N"), gBoolean, "false"},
        {"0", Str("0"), gBoolean, "false"},
        {"blank before no", Str(" no"), gBoolean, "true"},
        {"00 is not a false word", Str("00"), gBoolean, "true"},
        {"wide no", WStr(u"No"), gBoolean, "false"},
        {"wide non-ASCII", WStr(u"\u00F1o"), gBoolean, "true"},
        {"text FALSE", TextBytes("FALSE"), gBoolean, "false"},
        {"empty integer", Str(""), gInteger, "0"},
        {"empty float", Str(""), gFloat, "0"},
        {"empty currency", WStr(u""), gCurrency, "$0"},
        {"empty date", TextBytes(""), gDateTime, "0"},
        {"bad integer", Str("abc"), gInteger, "!'abc' is not a valid integer value"},
        {"decimal text to integer", Str("2.5"), gInteger, "!'2.5' is not a valid integer value"},
        {"text float", Str("2.5"), gFloat, "2.5"},
        {"text currency", Str("1.5"), gCurrency, "$15000"},
        {"text date", Str("1899-12-31 12:0:0.0"), gDateTime, "1.5"},
        {"cardinal: low 32 bits of the 64-bit parse", Str("4294967297"), gCardinal, "1"},
        {"integer parse is 32-bit", Str("4294967297"), gInteger, "!'4294967297' is not a valid integer value"},
        {"hex text", WStr(u"$FF"), gInteger, "255"},
        {"string keeps UTF-8 bytes", Str("\xC3\xA9"), gString, "\xC3\xA9"},
        {"text decodes UTF-8 to the code page", TextBytes("\xC3\xA9"), gString, "\xE9"},
        {"text's GetText", TextBytes("\xC3\xA9"), gText, "\xE9"},
        {"text's wide string", TextBytes("\xC3\xA9"), gWideString, "w:\xE9"},
        {"text variant holds GetString", TextBytes("\xC3\xA9"), gVariant, "str:\xE9"},
        {"invalid UTF-8 reads as empty", TextBytes("\xC3" "A"), gString, ""},
        {"wide narrowed", WStr(u"\u00E9"), gString, "\xE9"},
        {"float 3.5 rounds up to 4", Float(3.5), gInteger, "4"},
        {"float -2.5 rounds to -2", Float(-2.5), gLargeInt, "-2"},
        {"float -0.5 rounds to 0", Float(-0.5), gCardinal, "0"},
        {"float to currency, tie to even", Float(0.03125), gCurrency, "$312"},
        {"float to currency, tie up to even", Float(0.09375), gCurrency, "$938"},
        {"float text", Float(1e15), gString, "1E15"},
        {"currency 2.5 rounds to 2", Money(25000), gInteger, "2"},
        {"currency -2.5 rounds to -2", Money(-25000), gInteger, "-2"},
        {"currency -3.5 rounds to -4", Money(-35000), gLargeInt, "-4"},
        {"currency 2.5001 rounds to 3", Money(25001), gCardinal, "3"},
        {"currency float", Money(-12345), gFloat, "-1.2345"},
        {"currency date", Money(15000), gDateTime, "1.5"},
        {"date -2.9 truncates to -2", Date(-2.9), gInteger, "-2"},
        {"date to currency", Date(1.00005), gCurrency, "$10001"},
        {"date text, whole day", Date(1), gString, "1899-12-31"},
        {"date 0 is empty text", Date(0), gString, ""},
        {"large int: low 32 bits", Large(-4294967295), gInteger, "1"},
    };
    for (const Reading& r : readings) {
        auto v = Make(r.value);
        EXPECT_EQ(ReadAs(*v, r.getter), r.expected) << r.what;
    }
}

// ---- rounding, whatever the rounding mode ---------------------------------------------------

TEST(LcSimpleValues, RoundingIsHalfToEvenInEveryFloatingPointMode)
{
    struct Case {
        double x;
        int64_t integer;    // GetLargeInt of a float value
        Currency currency;  // GetCurrency of a float value
    };
    const Case cases[] = {
        {0.5, 0, 5000},
        {1.5, 2, 15000},
        {2.5, 2, 25000},
        {-0.5, 0, -5000},
        {-1.5, -2, -15000},
        {-2.5, -2, -25000},
        {0.49999999999999994, 0, 5000},
        {2.4999999999999996, 2, 25000},
        {4503599627370495.5, 4503599627370496, 0},   // too large for currency: not checked
        {4503599627370494.5, 4503599627370494, 0},
        {1e-300, 0, 0},
        {0.03125, 0, 312},
        {0.09375, 0, 938},
        {-0.09375, 0, -938},
        // Decimal ties are rarely ties as doubles: the exact binary value decides.
        {0.00005, 0, 1},      // 0.50000000000000002396...
        {0.00035, 0, 3},      // 3.49999999999999996443...
        {0.12345, 0, 1235},   // 1234.50000000000004174...
        {-9223372036854775808.0, std::numeric_limits<int64_t>::min(), 0},
    };
    const int modes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};
    const int saved = std::fegetround();
    for (const int mode : modes) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const Case& c : cases) {
            TLcFloatValue v;
            v.SetFloat(c.x);
            EXPECT_EQ(v.GetLargeInt(), c.integer) << c.x << " in mode " << mode;
            if (std::fabs(c.x) < 1e14) {
                EXPECT_EQ(v.GetCurrency(), c.currency) << c.x << " in mode " << mode;
            }
        }
    }
    std::fesetround(saved);
}

// ---- values without a reading as integer or currency -----------------------------------------

TEST(LcSimpleValues, OutOfRangeAndNonFiniteReadingsFailInsteadOfWrapping)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const char* const toInteger = " to Integer.";
    const char* const toCurrency = " to Currency.";
    struct Case {
        const char* what;
        Fixture value;
        Getter getter;
        const char* className;
        const char* ending;   // nullptr: the reading succeeds with `fine`
        const char* fine;
    };
    const Case cases[] = {
        {"NaN", Float(nan), gInteger, "TLcFloatValue", toInteger, nullptr},
        {"NaN 64-bit", Float(nan), gLargeInt, "TLcFloatValue", toInteger, nullptr},
        {"NaN currency", Float(nan), gCurrency, "TLcFloatValue", toCurrency, nullptr},
        {"infinity", Float(inf), gCardinal, "TLcFloatValue", toInteger, nullptr},
        {"-infinity", Float(-inf), gOID, "TLcFloatValue", toInteger, nullptr},
        {"rounds past int32", Float(2147483647.5), gInteger, "TLcFloatValue", toInteger, nullptr},
        {"highest int32", Float(2147483647.4), gInteger, "", nullptr, "2147483647"},
        {"lowest int32 by rounding", Float(-2147483648.5), gInteger, "", nullptr, "-2147483648"},
        {"below int32", Float(-2147483649.0), gInteger, "TLcFloatValue", toInteger, nullptr},
        {"negative cardinal", Float(-1), gCardinal, "TLcFloatValue", toInteger, nullptr},
        {"past cardinal", Float(4294967295.5), gCardinal, "TLcFloatValue", toInteger, nullptr},
        {"past int64", Float(9223372036854775808.0), gLargeInt, "TLcFloatValue", toInteger, nullptr},
        {"past currency", Float(1e15), gCurrency, "TLcFloatValue", toCurrency, nullptr},
        {"near the currency limit", Float(922337203685477.5), gCurrency, "", nullptr, "$9223372036854775000"},
        {"date NaN", Date(nan), gInteger, "TLcDateTimeValue", toInteger, nullptr},
        {"date past int32", Date(3e9), gInteger, "TLcDateTimeValue", toInteger, nullptr},
        {"date 3e9 as 64-bit", Date(3e9 + 0.7), gLargeInt, "", nullptr, "3000000000"},
        {"date past int64", Date(1e19), gLargeInt, "TLcDateTimeValue", toInteger, nullptr},
        {"date infinity to currency", Date(inf), gCurrency, "TLcDateTimeValue", toCurrency, nullptr},
        {"currency past int32", Money(21474836475000), gInteger, "TLcCurrencyValue", toInteger, nullptr},
        {"currency negative cardinal", Money(-10000), gCardinal, "TLcCurrencyValue", toInteger, nullptr},
        {"currency extreme as 64-bit", Money(std::numeric_limits<int64_t>::min()), gLargeInt, "", nullptr,
         "-922337203685478"},
        {"large int past currency", Large(922337203685478), gCurrency, "TLcLargeIntValue", toCurrency, nullptr},
        {"large int at currency limit", Large(-922337203685477), gCurrency, "", nullptr, "$-9223372036854770000"},
        {"OID past currency", {vt_OID, "", [](TLcSimpleValue& v) { v.SetOID(-922337203685478); }}, gCurrency,
         "TLcOIDValue", toCurrency, nullptr},
    };
    for (const Case& c : cases) {
        auto v = Make(c.value);
        const std::string expected = c.ending != nullptr ? ExpectedFailure(c.className, c.ending) : c.fine;
        EXPECT_EQ(ReadAs(*v, c.getter), expected) << c.what;
    }
}

// ---- setters --------------------------------------------------------------------------------

enum Setter {
    sBoolean, sCurrency, sDateTime, sException, sVarName, sInteger, sCardinal, sLargeInt, sFloat,
    sString, sWideString, sText, sByteStream, sOID, kSetterCount
};

// The operation at the end of each setter's chain names the source in the failure.
const char* const kSetterSources[kSetterCount] = {
    "Boolean", "Currency", "TDateTime", "TLcExceptionValue", "TLcVariableName", "Integer", "Integer",
    "Integer", "Float", "AnsiString", "AnsiString", "AnsiString", "TStream", "Integer",
};

// Sets one argument per setter and answers "=" + GetString, or "!" + the failure.
std::string SetAndRead(TLcSimpleValue& v, Setter s)
{
    try {
        TMemoryStream stream;
        switch (s) {
        case sBoolean: v.SetBoolean(true); break;
        case sCurrency: v.SetCurrency(15000); break;
        case sDateTime: v.SetDateTime(1.5); break;
        case sException: v.SetException("e"); break;
        case sVarName: v.SetVarName("v"); break;
        case sInteger: v.SetInteger(-1); break;
        case sCardinal: v.SetCardinal(4294967295u); break;
        case sLargeInt: v.SetLargeInt(0x100000007); break;
        case sFloat: v.SetFloat(2.5); break;
        case sString: v.SetString("\xC3\xA9"); break;     // UTF-8 e acute
        case sWideString: v.SetWideString(u"\u00E9"); break;
        case sText: v.SetText("\xE9"); break;             // e acute in the code page
        case sByteStream: WriteBytes(stream, "xy"); v.SetByteStream(&stream); break;
        case sOID: v.SetOID(9); break;
        case kSetterCount: break;
        }
        return "=" + v.GetString();
    } catch (const EConvertError& e) {
        return "!" + e.Message();
    }
}

// Columns: Boolean, Currency, DateTime, Exception, VarName, Integer, Cardinal, LargeInt,
// Float, String, WideString, Text, ByteStream, OID. Rows: the fixtures' classes, in order.
using SetterRow = std::array<const char*, kSetterCount>;
const SetterRow kSetterMatrix[] = {
    {"-", "-", "-", "=e", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"},   // Exception
    {"-", "-", "-", "-", "=v", "-", "-", "-", "-", "-", "-", "-", "-", "-"},   // VariableName
    {"-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "=xy", "-"},  // ByteStream
    {"=T", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"},   // Boolean
    {"-", "-", "-", "-", "-", "-", "-", "-", "-", "=\xC3\xA9", "=\xC3\xA9", "=\xC3\xA9", "-", "-"},   // String
    {"-", "-", "-", "-", "-", "-", "-", "-", "-", "=\xE9", "=\xE9", "=\xE9", "-", "-"},   // WideString
    {"-", "-", "-", "-", "-", "-", "-", "-", "-", "=\xE9", "=\xE9", "=\xE9", "-", "-"},   // Text
    {"-", "-", "-", "-", "-", "=-1", "=-1", "=7", "-", "-", "-", "-", "-", "=9"},   // Integer
    {"-", "-", "-", "-", "-", "=4294967295", "=4294967295", "=7", "-", "-", "-", "-", "-", "=9"},   // Cardinal
    {"-", "-", "-", "-", "-", "=-1", "=4294967295", "=4294967303", "-", "-", "-", "-", "-", "=9"},   // LargeInt
    {"-", "-", "-", "-", "-", "=-1", "=4294967295", "=4294967303", "-", "-", "-", "-", "-", "=9"},   // OID
    {"-", "-", "-", "-", "-", "-", "-", "-", "=2.5", "-", "-", "-", "-", "-"},   // Float
    {"-", "=1.5", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"},   // Currency
    {"-", "-", "=1899-12-31 12:0:0.0", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"},   // DateTime
};

TEST(LcSimpleValues, SetterMatrix)
{
    ASSERT_EQ(std::size(kSetterMatrix), Fixtures().size());
    for (size_t row = 0; row < Fixtures().size(); ++row) {
        const Fixture& f = Fixtures()[row];
        for (int s = 0; s < kSetterCount; ++s) {
            auto v = Make(f.type);
            const std::string cell = kSetterMatrix[row][s];
            const std::string expected =
                cell == "-" ? std::string("!Can not convert ") + kSetterSources[s] + " to " + f.className + "." : cell;
            EXPECT_EQ(SetAndRead(*v, Setter(s)), expected) << f.className << ", setter column " << s;
        }
    }
}

TEST(LcSimpleValues, FailingSettersAndTheirChainsLeaveTheValueAlone)
{
    // The messages come from the end of the chain, spelled out once in full.
    TLcBooleanValue b;
    b.SetBoolean(true);
    EXPECT_EQ(SetAndRead(b, sText), "!Can not convert AnsiString to TLcBooleanValue.");
    EXPECT_EQ(SetAndRead(b, sWideString), "!Can not convert AnsiString to TLcBooleanValue.");
    EXPECT_TRUE(b.GetBoolean());
    TLcIntegerValue i;
    i.SetInteger(3);
    EXPECT_EQ(SetAndRead(i, sBoolean), "!Can not convert Boolean to TLcIntegerValue.");
    EXPECT_EQ(i.GetInteger(), 3);
    TLcExceptionValue e;
    EXPECT_EQ(ReadAs(e, gCardinal), "!Can not convert TLcExceptionValue to Integer.");
    EXPECT_EQ(ReadAs(e, gLargeInt), "!Can not convert TLcExceptionValue to Integer.");
    // A failed parse changes nothing either.
    TLcStringValue s;
    s.SetString("x");
    EXPECT_THROW(s.GetFloat(), EConvertError);
    EXPECT_EQ(s.GetString(), "x");
}

TEST(LcSimpleValues, LinkedObjectsNeedAnObjectManager)
{
    // Nothing registers a manager, so both directions fail at the look-up.
    TLcOIDValue oid;
    oid.SetOID(12);
    ExpectError<ELcObjectLinks>([&] { oid.GetLinkedObject(); }, "No active LC Object Manager.");
    ExpectError<ELcObjectLinks>([&] { oid.SetLinkedObject(&oid); }, "No active LC Object Manager.");
    EXPECT_EQ(oid.GetOID(), 12);
}

// ---- variants -------------------------------------------------------------------------------

enum VariantColumn {
    vBoolean, vShortInt, vByte, vSmallint, vWord, vInteger, vLongWord, vInt64, vSingle, vDouble,
    vCurrency, vDate, vOleStr, vStrArg, vString, vEmpty, kVariantCount
};

Variant Sample(VariantColumn c)
{
    switch (c) {
    case vBoolean: return Variant(true);
    case vShortInt: return Variant(int8_t{-5});
    case vByte: return Variant(uint8_t{200});
    case vSmallint: return Variant(int16_t{-300});
    case vWord: return Variant(uint16_t{60000});
    case vInteger: return Variant(int32_t{-1});
    case vLongWord: return Variant(uint32_t{4294967295u});
    case vInt64: return Variant(int64_t{0x100000007});
    case vSingle: return Variant(1.5f);
    case vDouble: return Variant(2.25);
    case vCurrency: return Variant::FromCurrency(35000);
    case vDate: return Variant::FromDate(1.5);
    case vOleStr: return Variant(std::u16string(u"\u00E9"));
    case vStrArg: return Variant::FromStrArg(u"w");
    case vString: return Variant("s");
    case vEmpty:
    case kVariantCount: break;
    }
    return Variant();
}

// Columns: Boolean, ShortInt, Byte, Smallint, Word, Integer, LongWord, Int64, Single, Double,
// Currency, Date, OleStr, StrArg, String, Empty. Rows: the fixtures' classes, in order.
using VariantRow = std::array<const char*, kVariantCount>;
#define NO8 "no", "no", "no", "no", "no", "no", "no", "no"
const VariantRow kSetVariantMatrix[] = {
    {NO8, NO8},   // Exception
    {NO8, NO8},   // VariableName
    {"-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"},   // ByteStream
    {"=T", "no", "no", "no", "no", "no", "no", "no", NO8},   // Boolean
    {NO8, "no", "no", "no", "no", "=\xE9", "=w", "=s", "no"},   // String
    {NO8, "no", "no", "no", "no", "=\xE9", "=w", "=s", "no"},   // WideString
    {NO8, "no", "no", "no", "no", "=\xE9", "=w", "=s", "no"},   // Text
    {"no", "=-5", "=200", "=-300", "=60000", "=-1", "=-1", "=7", NO8},   // Integer
    {"no", "=4294967291", "=200", "=4294966996", "=60000", "=4294967295", "=4294967295", "=7", NO8},   // Cardinal
    {"no", "=-5", "=200", "=-300", "=60000", "=-1", "=4294967295", "=4294967303", NO8},   // LargeInt
    {"no", "=-5", "=200", "=-300", "=60000", "=-1", "=4294967295", "=4294967303", NO8},   // OID
    {NO8, "=1.5", "=2.25", "no", "no", "no", "no", "no", "no"},   // Float
    {NO8, "no", "no", "=3.5", "no", "no", "no", "no", "no"},   // Currency
    {NO8, "=1899-12-31 12:0:0.0", "=1900-1-1 6:0:0.0", "no", "=1899-12-31 12:0:0.0", "no", "no", "no",
     "no"},   // DateTime
};
#undef NO8

TEST(LcSimpleValues, SetVariantAcceptsOnlyItsKinds)
{
    ASSERT_EQ(std::size(kSetVariantMatrix), Fixtures().size());
    for (size_t row = 0; row < Fixtures().size(); ++row) {
        const Fixture& f = Fixtures()[row];
        for (int c = 0; c < kVariantCount; ++c) {
            auto v = Make(f);
            const std::string before = v->GetString();
            std::string got;
            try {
                got = v->SetVariant(Sample(VariantColumn(c))) ? "=" + v->GetString() : "no";
            } catch (const EConvertError& e) {
                got = "!" + e.Message();
            }
            const std::string cell = kSetVariantMatrix[row][c];
            const std::string expected =
                cell == "-" ? std::string("!Can not convert Variant to ") + f.className + "." : cell;
            EXPECT_EQ(got, expected) << f.className << ", variant column " << c;
            if (got[0] != '=') {
                EXPECT_EQ(v->GetString(), before) << f.className << " changed on a refused variant " << c;
            }
        }
    }
}

TEST(LcSimpleValues, GetVariantRoundTripsThroughSetVariant)
{
    for (const Fixture& f : Fixtures()) {
        if (f.type == vt_Exception || f.type == vt_Variable || f.type == vt_ByteStream) {
            continue;   // they never take a variant
        }
        auto source = Make(f);
        auto target = Make(f.type);
        ASSERT_TRUE(target->SetVariant(source->GetVariant())) << f.className;
        EXPECT_EQ(target->GetString(), source->GetString()) << f.className;
    }
}

// An OID whose storing fails part way, to show that SetVariant then resets it.
class TFailingOIDValue : public TLcOIDValue {
public:
    void SetOID(int64_t value) override
    {
        SetLargeInt(value);
        throw EConvertError("store failed");
    }
};

TEST(LcSimpleValues, OIDResetsItselfWhenStoringAVariantFails)
{
    TFailingOIDValue oid;
    oid.SetLargeInt(77);
    EXPECT_THROW(oid.SetVariant(Variant(int32_t{5})), EConvertError);
    EXPECT_EQ(oid.GetOID(), 0);
}

// ---- objects: types, null values, copies ----------------------------------------------------

std::string AcceptedTypes(const TLcValueObject& v)
{
    std::string names;
    for (int t = 0; t < kLcValueTypeCount + 2; ++t) {
        if (v.TypeCheck(TLcValueType(t))) {
            names += (names.empty() ? "" : " ") + LcValueTypeName(TLcValueType(t));
        }
    }
    return names;
}

TEST(LcSimpleValues, TypesNullValuesAndCopies)
{
    struct Row {
        const char* accepted;
        const char* nullText;   // GetString of a new object and after SetNull(true)
    };
    // In the order of the fixtures.
    const Row rows[] = {
        {"Exception Variant", ""},
        {"Variable Variant", ""},
        {"String ByteStream Variant", ""},
        {"Boolean Variant", "F"},
        {"Text String WideString Variant", ""},
        {"Text String WideString Variant", ""},
        {"Text String WideString Variant", ""},
        {"Integer Cardinal LargeInt OID Variant", "0"},
        {"Integer Cardinal LargeInt OID Variant", "0"},
        {"Integer Cardinal LargeInt OID Variant", "0"},
        {"Integer Cardinal LargeInt OID Variant", "0"},
        {"Float Currency DateTime Variant", "0"},
        {"Float Currency DateTime Variant", "0"},
        {"Float Currency DateTime Variant", ""},
    };
    ASSERT_EQ(std::size(rows), Fixtures().size());
    for (size_t i = 0; i < Fixtures().size(); ++i) {
        const Fixture& f = Fixtures()[i];
        auto v = Make(f.type);
        EXPECT_STREQ(v->ClassName(), f.className);
        EXPECT_EQ(v->GetType(), f.type) << f.className;
        EXPECT_TRUE(IsSimpleValue(v.get())) << f.className;
        EXPECT_EQ(AcceptedTypes(*v), rows[i].accepted) << f.className;
        EXPECT_EQ(v->GetString(), rows[i].nullText) << f.className;

        f.fill(*v);
        const std::string filled = v->GetString();
        ASSERT_NE(filled, rows[i].nullText) << f.className;
        std::unique_ptr<TLcValueObject> copy = v->copyOf();
        auto& simpleCopy = dynamic_cast<TLcSimpleValue&>(*copy);
        EXPECT_STREQ(copy->ClassName(), f.className);
        EXPECT_EQ(simpleCopy.GetString(), filled) << f.className;

        v->SetNull(false);
        EXPECT_EQ(v->GetString(), filled) << f.className << ": SetNull(false) changed the value";
        v->SetNull(true);
        EXPECT_EQ(v->GetString(), rows[i].nullText) << f.className;
        EXPECT_EQ(simpleCopy.GetString(), filled) << f.className << ": the copy is not independent";
    }
}

TEST(LcSimpleValues, CopyFromWantsTheSameClass)
{
    TLcIntegerValue i;
    TLcLargeIntValue l;
    l.SetLargeInt(5);
    EXPECT_THROW(i.CopyFrom(l), ELcInfo);
    EXPECT_EQ(i.GetInteger(), 0);
}

TEST(LcValueModel, ObjectFromTypeAndTypeNames)
{
    const char* const names[] = {
        "Null", "Variable", "FunctionCall", "Exception", "Array", "Record", "DataSet", "Text", "String",
        "WideString", "Boolean", "Integer", "Cardinal", "LargeInt", "Float", "Currency", "DateTime", "ByteStream",
        "OID", "Variant",
    };
    for (int t = 0; t < kLcValueTypeCount; ++t) {
        EXPECT_EQ(LcValueTypeName(TLcValueType(t)), names[t]);
        if (IsSimpleType(TLcValueType(t))) {
            auto v = ObjectFromType(TLcValueType(t));
            ASSERT_NE(v, nullptr) << names[t];
            EXPECT_EQ(v->GetType(), t);
        }
    }
    EXPECT_EQ(ObjectFromType(vt_Null), nullptr);
    ExpectError<ELcInfo>([] { ObjectFromType(TLcValueType(20)); },
                         "Unsupported object type in function ObjectFromType.");
}

// A stand-in for the containers: whatever type it claims.
class TClaimingValue : public TLcSimpleValue {
public:
    explicit TClaimingValue(TLcValueType type) : FType(type) {}
    void CopyFrom(TLcValueObject&) override {}
    TLcValueType GetType() const override { return FType; }
    bool TypeCheck(TLcValueType type) const override { return type == FType; }
    std::unique_ptr<TLcValueObject> copyOf() override { return std::make_unique<TClaimingValue>(FType); }
    CL_CLASS_NAME(TClaimingValue)

private:
    TLcValueType FType;
};

TEST(LcValueModel, IsSimpleValueLooksAtTheType)
{
    EXPECT_TRUE(IsSimpleValue(nullptr));
    const std::pair<TLcValueType, bool> cases[] = {
        {vt_Null, true}, {vt_Variant, false}, {vt_Record, false}, {vt_Array, false},
        {vt_FunctionCall, false}, {vt_DataSet, false}, {vt_OID, true}, {vt_Variable, true},
    };
    for (const auto& [type, simple] : cases) {
        TClaimingValue v(type);
        EXPECT_EQ(IsSimpleValue(&v), simple) << LcValueTypeName(type);
    }
}

TEST(LcValueModel, BaseSetNullRaisesELcInfo)
{
    TClaimingValue v(vt_Integer);
    ExpectError<ELcInfo>([&] { v.SetNull(true); }, "Can not re-set TClaimingValue to NULL.");
}

TEST(LcValueModel, KillAndExtractedFreeTheObject)
{
    // ASan reports a leak when they do not.
    (new TLcStringValue)->Kill();
    (new TLcIntegerValue)->Extracted();
    TLcValueObject* asRoot = new TLcDateTimeValue;
    asRoot->Kill();
}

// ---- the byte stream ------------------------------------------------------------------------

TEST(LcByteStream, OwnsItsStreamFromTheFirstRequestUntilSetNull)
{
    TLcByteStream v;
    EXPECT_EQ(v.GetString(), "");
    TStream* own = v.GetByteStream();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->Size(), 0);
    EXPECT_EQ(v.GetByteStream(), own);
    WriteBytes(*own, "hello");
    own->SetPosition(2);
    EXPECT_EQ(v.GetString(), "hello");
    EXPECT_EQ(own->Position(), 2);
    v.SetNull(true);   // frees it: ASan catches a leak or a late use
    EXPECT_EQ(v.GetString(), "");
}

TEST(LcByteStream, SetByteStreamCopiesTheWholeContentAndKeepsThePosition)
{
    TMemoryStream given;
    WriteBytes(given, "abcdef");
    given.SetPosition(4);
    TLcByteStream v;
    WriteBytes(*v.GetByteStream(), "old content, longer");
    v.SetByteStream(&given);
    EXPECT_EQ(v.GetString(), "abcdef");
    EXPECT_EQ(given.Position(), 4);
    EXPECT_EQ(v.GetByteStream()->Position(), 4);
    given.Clear();   // the value holds its own copy
    EXPECT_EQ(v.GetString(), "abcdef");

    v.SetByteStream(v.GetByteStream());   // its own stream: nothing happens
    EXPECT_EQ(v.GetString(), "abcdef");
    v.SetByteStream(nullptr);
    EXPECT_EQ(v.GetString(), "");
}

TEST(LcByteStream, CopyFromGivesTheSourceAStreamAndKeepsBothPositions)
{
    TLcByteStream empty;
    TLcByteStream target;
    WriteBytes(*target.GetByteStream(), "x");
    target.CopyFrom(empty);
    EXPECT_EQ(target.GetString(), "");
    EXPECT_NE(target.GetByteStream(), nullptr);

    TLcByteStream source;
    WriteBytes(*source.GetByteStream(), "12345");
    source.GetByteStream()->SetPosition(3);
    std::unique_ptr<TLcValueObject> copy = source.copyOf();
    auto& copied = dynamic_cast<TLcByteStream&>(*copy);
    EXPECT_EQ(copied.GetString(), "12345");
    EXPECT_EQ(copied.GetByteStream()->Position(), 3);
    EXPECT_EQ(source.GetByteStream()->Position(), 3);
    EXPECT_NE(copied.GetByteStream(), source.GetByteStream());
}

TEST(LcByteStream, ExtractedHandsTheStreamToWhoeverAskedForIt)
{
    auto* v = new TLcByteStream;
    std::unique_ptr<TStream> taken(v->GetByteStream());
    WriteBytes(*taken, "kept");
    v->Extracted();   // frees the value, not the stream
    taken->SetPosition(0);
    char buffer[4];
    taken->ReadBuffer(buffer, 4);
    EXPECT_EQ(std::string(buffer, 4), "kept");
}

}  // namespace
