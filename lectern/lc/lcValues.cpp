#include "lectern/lc/lcValues.h"

#include "classlib/PlatformText.h"
#include "lectern/lc/lcCodeFormat.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcValueContainers.h"
#include "lectern/lc/lcXmlRpc.h"

#include <cmath>
#include <limits>
#include <type_traits>

namespace {

// ---- failures -------------------------------------------------------------------------------

// Endings of the getters' messages: "Can not convert " + class name + ending.
constexpr const char* kToBoolean = " to Boolean.";
constexpr const char* kToCurrency = " to Currency.";
constexpr const char* kToDateTime = " to TDateTime.";
constexpr const char* kToException = " to TLcExceptionValue.";
constexpr const char* kToVarName = " to TLcVariableName.";
constexpr const char* kToInteger = " to Integer.";
constexpr const char* kToFloat = " to Float.";
constexpr const char* kToString = " to AnsiString.";
constexpr const char* kToWideString = " to WideString.";
constexpr const char* kToText = " to Text.";
constexpr const char* kToStream = " to TStream.";
constexpr const char* kToVariant = " to Variant.";

// Sources of the setters' messages: "Can not convert " + source + " to " + class name + ".".
constexpr const char* kFromBoolean = "Boolean";
constexpr const char* kFromCurrency = "Currency";
constexpr const char* kFromDateTime = "TDateTime";
constexpr const char* kFromException = "TLcExceptionValue";
constexpr const char* kFromVarName = "TLcVariableName";
constexpr const char* kFromInteger = "Integer";
constexpr const char* kFromFloat = "Float";
constexpr const char* kFromString = "AnsiString";
constexpr const char* kFromStream = "TStream";
constexpr const char* kFromVariant = "Variant";

[[noreturn]] void FailGet(const TObject& self, const char* ending)
{
    throw EConvertError(std::string("Can not convert ") + self.ClassName() + ending);
}

[[noreturn]] void FailSet(const TObject& self, const char* source)
{
    throw EConvertError(std::string("Can not convert ") + source + " to " + self.ClassName() + ".");
}

using lc_detail::TypeBit;

constexpr uint32_t kSimpleTypes = TypeBit(vt_Variable) | TypeBit(vt_Exception) | TypeBit(vt_Text) |
                                  TypeBit(vt_String) | TypeBit(vt_WideString) | TypeBit(vt_Boolean) |
                                  TypeBit(vt_Integer) | TypeBit(vt_Cardinal) | TypeBit(vt_LargeInt) |
                                  TypeBit(vt_Float) | TypeBit(vt_Currency) | TypeBit(vt_DateTime) |
                                  TypeBit(vt_ByteStream) | TypeBit(vt_OID);

// ---- text readings --------------------------------------------------------------------------

template <class Char>
bool AnyTextIsTrue(const std::basic_string<Char>& text)
{
    constexpr size_t kLongestFalseWord = 5;   // "FALSE"
    if (text.empty() || text.size() > kLongestFalseWord) {
        return !text.empty();
    }
    std::string upper;
    for (const Char c : text) {
        const auto code = static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
        if (code > 0x7F) {
            return true;   // none of the false words holds such a character
        }
        upper += static_cast<char>(code >= 'a' && code <= 'z' ? code - ('a' - 'A') : code);
    }
    return upper != "0" && upper != "F" && upper != "N" && upper != "FALSE" && upper != "NO";
}

using lc_detail::Widen;
std::string Narrow(const std::u16string& s) { return plat::WideToSystem(s); }

// ---- numbers --------------------------------------------------------------------------------
//
// Rounding and truncation work on the exact binary value of the double: frexp and ldexp are
// exact, and the rest is integer arithmetic, so the result does not depend on the FPU's
// rounding mode. Each helper answers false for NaN, infinities and results beyond int64.

constexpr int kMantissaBits = 53;            // of a double, the hidden bit included
constexpr uint64_t kTwoPow63 = uint64_t{1} << 63;
constexpr uint32_t kCurrencyScaleOdd = 625;  // 10 000 = 625 * 2^4
constexpr int kCurrencyScalePow2 = 4;
constexpr int64_t kCurrencyScale = 10000;

bool FitInt64(bool negative, uint64_t magnitude, int64_t& result)
{
    if (negative) {
        if (magnitude > kTwoPow63) {
            return false;
        }
        result = magnitude == kTwoPow63 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
    } else {
        if (magnitude >= kTwoPow63) {
            return false;
        }
        result = static_cast<int64_t>(magnitude);
    }
    return true;
}

// x * (odd * 2^pow2) rounded to the nearest integer, halves to even. odd must stay below
// 2^10, so that the mantissa times odd fits in 63 bits.
bool RoundScaledHalfEven(double x, uint32_t odd, int pow2, int64_t& result)
{
    if (!std::isfinite(x)) {
        return false;
    }
    if (x == 0) {
        result = 0;
        return true;
    }
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(x), &exponent);   // in [0.5, 1)
    const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, kMantissaBits));
    const uint64_t product = mantissa * odd;
    const int shift = exponent - kMantissaBits + pow2;   // |x| * scale = product * 2^shift
    uint64_t magnitude = 0;
    if (shift >= 0) {
        if (shift > 63 || product > (kTwoPow63 >> shift)) {
            return false;
        }
        magnitude = product << shift;
    } else if (shift > -64) {
        const int dropped = -shift;
        magnitude = product >> dropped;
        const uint64_t rest = product & ((uint64_t{1} << dropped) - 1);
        const uint64_t half = uint64_t{1} << (dropped - 1);
        if (rest > half || (rest == half && (magnitude & 1) != 0)) {
            ++magnitude;
        }
    }   // else below a half: 0
    return FitInt64(x < 0, magnitude, result);
}

bool RoundHalfEven(double x, int64_t& result) { return RoundScaledHalfEven(x, 1, 0, result); }

bool Truncate(double x, int64_t& result)
{
    if (!std::isfinite(x)) {
        return false;
    }
    const double whole = std::trunc(x);
    const double limit = static_cast<double>(kTwoPow63);
    if (whole < -limit || whole >= limit) {
        return false;
    }
    result = static_cast<int64_t>(whole);
    return true;
}

// A currency amount rounded to whole units, halves to even.
int64_t RoundCurrency(Currency value)
{
    int64_t whole = value / kCurrencyScale;
    const int64_t rest = value % kCurrencyScale;
    const int64_t restSize = rest < 0 ? -rest : rest;
    if (restSize > kCurrencyScale / 2 || (restSize == kCurrencyScale / 2 && (whole & 1) != 0)) {
        whole += value < 0 ? -1 : 1;
    }
    return whole;
}

// The readings of a float-like value as an integer or currency, failing with the class's
// message when the value has none.
int64_t RoundedOrFail(double x, const TObject& self)
{
    int64_t result = 0;
    if (!RoundHalfEven(x, result)) {
        FailGet(self, kToInteger);
    }
    return result;
}

int64_t TruncatedOrFail(double x, const TObject& self)
{
    int64_t result = 0;
    if (!Truncate(x, result)) {
        FailGet(self, kToInteger);
    }
    return result;
}

Currency FloatToCurrencyOrFail(double x, const TObject& self)
{
    Currency result = 0;
    if (!RoundScaledHalfEven(x, kCurrencyScaleOdd, kCurrencyScalePow2, result)) {
        FailGet(self, kToCurrency);
    }
    return result;
}

int32_t IntegerOrFail(int64_t value, const TObject& self)
{
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        FailGet(self, kToInteger);
    }
    return static_cast<int32_t>(value);
}

uint32_t CardinalOrFail(int64_t value, const TObject& self)
{
    if (value < 0 || value > std::numeric_limits<uint32_t>::max()) {
        FailGet(self, kToInteger);
    }
    return static_cast<uint32_t>(value);
}

// ---- variants -------------------------------------------------------------------------------

bool IsIntegerVariant(TVarType type)
{
    switch (type) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
        return true;
    default:
        return false;
    }
}

bool IsWideVariant(TVarType type) { return type == varOleStr || type == varStrArg; }

}  // namespace

// ---- lc_detail ------------------------------------------------------------------------------

void lc_detail::FailCopy(const TObject& source, const TObject& target)
{
    throw ELcInfo(std::string("Can not copy ") + source.ClassName() + " to " + target.ClassName() + ".");
}

Currency lc_detail::WholeToCurrency(int64_t value, const TObject& self)
{
    constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / kCurrencyScale;
    if (value > kLimit || value < -kLimit) {
        FailGet(self, kToCurrency);
    }
    return value * kCurrencyScale;
}

bool lc_detail::TakeIntegerVariant(TLcSimpleValue& self, const Variant& value)
{
    if (!IsIntegerVariant(value.VarType())) {
        return false;
    }
    self.SetLargeInt(value.Int64());
    return true;
}

std::u16string lc_detail::Widen(const std::string& text) { return plat::SystemToWide(text); }
std::string lc_detail::SystemToUtf8(const std::string& text) { return Utf8EncodeText(plat::SystemToWide(text)); }
std::string lc_detail::Utf8ToSystem(const std::string& utf8) { return plat::WideToSystem(Utf8DecodeText(utf8)); }
bool lc_detail::TextIsTrue(const std::string& text) { return AnyTextIsTrue(text); }
bool lc_detail::TextIsTrue(const std::u16string& text) { return AnyTextIsTrue(text); }
Currency lc_detail::ParseCurrency(const std::string& text) { return text.empty() ? 0 : TextToCurrency(text); }
TDateTime lc_detail::ParseDateTime(const std::string& text) { return text.empty() ? 0 : TextToDateTime(text); }
int32_t lc_detail::ParseInteger(const std::string& text) { return text.empty() ? 0 : TextToInteger(text); }
int64_t lc_detail::ParseLargeInt(const std::string& text) { return text.empty() ? 0 : TextToLargeInt(text); }
double lc_detail::ParseFloat(const std::string& text) { return text.empty() ? 0 : TextToFloat(text); }

// ---- types ----------------------------------------------------------------------------------

std::string LcValueTypeName(TLcValueType type)
{
    static const char* const kNames[kLcValueTypeCount] = {
        "Null",     "Variable", "FunctionCall", "Exception", "Array",    "Record",     "DataSet",
        "Text",     "String",   "WideString",   "Boolean",   "Integer",  "Cardinal",   "LargeInt",
        "Float",    "Currency", "DateTime",     "ByteStream", "OID",     "Variant",
    };
    return type < kLcValueTypeCount ? kNames[type] : "";
}

bool IsSimpleType(TLcValueType type) { return lc_detail::ReadsAs(kSimpleTypes, type); }

bool IsSimpleValue(const TLcValueObject* object)
{
    if (object == nullptr) {
        return true;
    }
    const TLcValueType type = object->GetType();
    return type == vt_Null || IsSimpleType(type);
}

std::unique_ptr<TLcValueObject> ObjectFromType(TLcValueType type)
{
    switch (type) {
    case vt_Null: return nullptr;
    case vt_Variable: return std::make_unique<TLcVariableName>();
    case vt_Exception: return std::make_unique<TLcExceptionValue>();
    case vt_Text: return std::make_unique<TLcTextValue>();
    case vt_String: return std::make_unique<TLcStringValue>();
    case vt_WideString: return std::make_unique<TLcWideStringValue>();
    case vt_Boolean: return std::make_unique<TLcBooleanValue>();
    case vt_Integer: return std::make_unique<TLcIntegerValue>();
    case vt_Cardinal: return std::make_unique<TLcCardinalValue>();
    case vt_LargeInt: return std::make_unique<TLcLargeIntValue>();
    case vt_Float: return std::make_unique<TLcFloatValue>();
    case vt_Currency: return std::make_unique<TLcCurrencyValue>();
    case vt_DateTime: return std::make_unique<TLcDateTimeValue>();
    case vt_ByteStream: return std::make_unique<TLcByteStream>();
    case vt_OID: return std::make_unique<TLcOIDValue>();
    case vt_FunctionCall: return std::make_unique<TLcFunctionInfo>();
    case vt_Array: return std::make_unique<TLcArray>();
    case vt_Record: return std::make_unique<TLcRecord>();
    case vt_Variant: return std::make_unique<TLcValue>();
    case vt_DataSet: return std::make_unique<TLcDataSet>();
    default: throw ELcInfo("Unsupported object type in function ObjectFromType.");
    }
}

// ---- TLcValueObject -------------------------------------------------------------------------

void TLcValueObject::Kill() { delete this; }

void TLcValueObject::from_Code(const std::string& text, size_t& at) { ReadCode(*this, text, at); }
void TLcValueObject::from_XMLrpc(const std::string& text, size_t& at) { ReadXmlRpc(*this, text, at); }
void TLcValueObject::to_Code(TLcHugeString& builder) { WriteCode(*this, builder); }
void TLcValueObject::to_XMLRPC(TLcHugeString& builder) { WriteXmlRpc(*this, builder); }

// ---- TLcSimpleValue: failures and forwarding defaults ---------------------------------------

void TLcSimpleValue::Extracted() { delete this; }

bool TLcSimpleValue::GetBoolean() { FailGet(*this, kToBoolean); }
Currency TLcSimpleValue::GetCurrency() { FailGet(*this, kToCurrency); }
TDateTime TLcSimpleValue::GetDateTime() { FailGet(*this, kToDateTime); }
std::string TLcSimpleValue::GetException() { FailGet(*this, kToException); }
std::string TLcSimpleValue::GetVarName() { FailGet(*this, kToVarName); }
int32_t TLcSimpleValue::GetInteger() { FailGet(*this, kToInteger); }
uint32_t TLcSimpleValue::GetCardinal() { return static_cast<uint32_t>(GetLargeInt()); }
int64_t TLcSimpleValue::GetLargeInt() { return GetInteger(); }
double TLcSimpleValue::GetFloat() { FailGet(*this, kToFloat); }
std::string TLcSimpleValue::GetString() { FailGet(*this, kToString); }
std::u16string TLcSimpleValue::GetWideString() { FailGet(*this, kToWideString); }
std::string TLcSimpleValue::GetText() { FailGet(*this, kToText); }
TStream* TLcSimpleValue::GetByteStream() { FailGet(*this, kToStream); }
int64_t TLcSimpleValue::GetOID() { return GetLargeInt(); }
TObject* TLcSimpleValue::GetLinkedObject() { return GetObjectManager()->FindObject(GetLargeInt()); }
Variant TLcSimpleValue::GetVariant() { FailGet(*this, kToVariant); }

void TLcSimpleValue::SetNull(bool)
{
    throw ELcInfo(std::string("Can not re-set ") + ClassName() + " to NULL.");
}
void TLcSimpleValue::SetBoolean(bool) { FailSet(*this, kFromBoolean); }
void TLcSimpleValue::SetCurrency(Currency) { FailSet(*this, kFromCurrency); }
void TLcSimpleValue::SetDateTime(TDateTime) { FailSet(*this, kFromDateTime); }
void TLcSimpleValue::SetException(const std::string&) { FailSet(*this, kFromException); }
void TLcSimpleValue::SetVarName(const std::string&) { FailSet(*this, kFromVarName); }
void TLcSimpleValue::SetInteger(int32_t) { FailSet(*this, kFromInteger); }
void TLcSimpleValue::SetCardinal(uint32_t value) { SetLargeInt(value); }
void TLcSimpleValue::SetLargeInt(int64_t value) { SetInteger(static_cast<int32_t>(value)); }
void TLcSimpleValue::SetFloat(double) { FailSet(*this, kFromFloat); }
void TLcSimpleValue::SetString(const std::string&) { FailSet(*this, kFromString); }
void TLcSimpleValue::SetWideString(const std::u16string& value) { SetString(Utf8EncodeText(value)); }
void TLcSimpleValue::SetText(const std::string& value) { SetString(Utf8EncodeText(Widen(value))); }
void TLcSimpleValue::SetByteStream(TStream*) { FailSet(*this, kFromStream); }
void TLcSimpleValue::SetOID(int64_t value) { SetLargeInt(value); }
void TLcSimpleValue::SetLinkedObject(TObject* object) { SetLargeInt(GetObjectManager()->FindOID(object)); }
bool TLcSimpleValue::SetVariant(const Variant&) { FailSet(*this, kFromVariant); }

// ---- TLcExceptionValue, TLcVariableName -----------------------------------------------------

std::u16string TLcExceptionValue::GetWideString() { return Widen(FValue); }
Variant TLcExceptionValue::GetVariant() { return Variant(FValue); }

std::u16string TLcVariableName::GetWideString() { return Widen(FValue); }
Variant TLcVariableName::GetVariant() { return Variant(FValue); }

// ---- TLcByteStream --------------------------------------------------------------------------

void TLcByteStream::CopyFrom(TLcValueObject& source)
{
    auto* same = dynamic_cast<TLcByteStream*>(&source);
    if (same == nullptr) {
        lc_detail::FailCopy(source, *this);
    }
    SetByteStream(same->GetByteStream());
}

void TLcByteStream::Extracted()
{
    static_cast<void>(FStream.release());   // now owned by whoever asked for it
    delete this;
}

bool TLcByteStream::TypeCheck(TLcValueType type) const { return lc_detail::ReadsAs(lc_detail::kReadsAsStream, type); }

std::unique_ptr<TLcValueObject> TLcByteStream::copyOf()
{
    auto copy = std::make_unique<TLcByteStream>();
    copy->CopyFrom(*this);
    return copy;
}
std::string TLcByteStream::GetString() { return FStream ? FStream->DataString() : std::string(); }
std::u16string TLcByteStream::GetWideString() { return Widen(GetString()); }
Variant TLcByteStream::GetVariant() { return Variant(GetString()); }

TStream* TLcByteStream::GetByteStream()
{
    if (!FStream) {
        FStream = std::make_unique<TMemoryStream>();
    }
    return FStream.get();
}

void TLcByteStream::SetNull(bool null)
{
    if (null) {
        FStream.reset();
    }
}

void TLcByteStream::SetByteStream(TStream* stream)
{
    if (stream == nullptr) {
        FStream.reset();
        return;
    }
    if (stream == FStream.get()) {
        return;
    }
    if (FStream) {
        FStream->Clear();
    } else {
        FStream = std::make_unique<TMemoryStream>();
    }
    const int64_t position = stream->Position();
    FStream->CopyFrom(*stream, 0);   // 0: the whole of stream, from its start
    stream->SetPosition(position);
    FStream->SetPosition(position);
}

// ---- TLcBooleanValue ------------------------------------------------------------------------

Currency TLcBooleanValue::GetCurrency() { return FValue ? kCurrencyScale : 0; }
Variant TLcBooleanValue::GetVariant() { return Variant(FValue); }

bool TLcBooleanValue::SetVariant(const Variant& value)
{
    if (value.VarType() != varBoolean) {
        return false;
    }
    FValue = value.Boolean();
    return true;
}

// ---- TLcStringValue -------------------------------------------------------------------------

std::u16string TLcStringValue::GetWideString() { return Widen(FValue); }
Variant TLcStringValue::GetVariant() { return Variant(FValue); }

bool TLcStringValue::SetVariant(const Variant& value)
{
    if (value.VarType() == varString) {
        FValue = value.String();
    } else if (IsWideVariant(value.VarType())) {
        FValue = Narrow(value.WideString());
    } else {
        return false;
    }
    return true;
}

// ---- TLcWideStringValue ---------------------------------------------------------------------

std::string TLcWideStringValue::GetString() { return Narrow(FValue); }
Variant TLcWideStringValue::GetVariant() { return Variant(FValue); }
void TLcWideStringValue::SetString(const std::string& value) { FValue = Utf8DecodeText(value); }

bool TLcWideStringValue::SetVariant(const Variant& value)
{
    if (value.VarType() == varString) {
        FValue = Widen(value.String());
    } else if (IsWideVariant(value.VarType())) {
        FValue = value.WideString();
    } else {
        return false;
    }
    return true;
}

// ---- TLcTextValue ---------------------------------------------------------------------------

std::string TLcTextValue::GetString() { return Narrow(Utf8DecodeText(FValue)); }
std::u16string TLcTextValue::GetWideString() { return Utf8DecodeText(FValue); }
Variant TLcTextValue::GetVariant() { return Variant(GetString()); }
void TLcTextValue::SetWideString(const std::u16string& value) { FValue = Utf8EncodeText(value); }
void TLcTextValue::SetText(const std::string& value) { FValue = Utf8EncodeText(Widen(value)); }

bool TLcTextValue::SetVariant(const Variant& value)
{
    if (value.VarType() == varString) {
        SetText(value.String());
    } else if (IsWideVariant(value.VarType())) {
        SetWideString(value.WideString());   // the same as SetText, without a detour through the code page
    } else {
        return false;
    }
    return true;
}

// ---- the integer classes --------------------------------------------------------------------

Currency TLcIntegerValue::GetCurrency() { return Currency{FValue} * kCurrencyScale; }
std::string TLcIntegerValue::GetString() { return IntegerToText(FValue); }
std::u16string TLcIntegerValue::GetWideString() { return Widen(GetString()); }
Variant TLcIntegerValue::GetVariant() { return Variant(FValue); }

bool TLcIntegerValue::SetVariant(const Variant& value) { return lc_detail::TakeIntegerVariant(*this, value); }

Currency TLcCardinalValue::GetCurrency() { return Currency{FValue} * kCurrencyScale; }
std::string TLcCardinalValue::GetString() { return CardinalToText(FValue); }
std::u16string TLcCardinalValue::GetWideString() { return Widen(GetString()); }
Variant TLcCardinalValue::GetVariant() { return Variant(FValue); }

bool TLcCardinalValue::SetVariant(const Variant& value) { return lc_detail::TakeIntegerVariant(*this, value); }


bool TLcOIDValue::SetVariant(const Variant& value)
{
    if (!IsIntegerVariant(value.VarType())) {
        return false;
    }
    try {
        SetOID(value.Int64());
    } catch (...) {
        FValue = NullValue();
        throw;
    }
    return true;
}

// ---- TLcFloatValue, TLcCurrencyValue, TLcDateTimeValue --------------------------------------

Currency TLcFloatValue::GetCurrency() { return FloatToCurrencyOrFail(FValue, *this); }
int32_t TLcFloatValue::GetInteger() { return IntegerOrFail(RoundedOrFail(FValue, *this), *this); }
uint32_t TLcFloatValue::GetCardinal() { return CardinalOrFail(RoundedOrFail(FValue, *this), *this); }
int64_t TLcFloatValue::GetLargeInt() { return RoundedOrFail(FValue, *this); }
std::string TLcFloatValue::GetString() { return FloatToText(FValue); }
std::u16string TLcFloatValue::GetWideString() { return Widen(GetString()); }
Variant TLcFloatValue::GetVariant() { return Variant(FValue); }

bool TLcFloatValue::SetVariant(const Variant& value)
{
    if (value.VarType() != varSingle && value.VarType() != varDouble) {
        return false;
    }
    FValue = value.Float();
    return true;
}

bool TLcCurrencyValue::GetBoolean() { return FValue != 0; }
int32_t TLcCurrencyValue::GetInteger() { return IntegerOrFail(RoundCurrency(FValue), *this); }
uint32_t TLcCurrencyValue::GetCardinal() { return CardinalOrFail(RoundCurrency(FValue), *this); }
int64_t TLcCurrencyValue::GetLargeInt() { return RoundCurrency(FValue); }
double TLcCurrencyValue::GetFloat() { return static_cast<double>(FValue) / kCurrencyScale; }
std::string TLcCurrencyValue::GetString() { return CurrencyToText(FValue); }
std::u16string TLcCurrencyValue::GetWideString() { return Widen(GetString()); }
Variant TLcCurrencyValue::GetVariant() { return Variant::FromCurrency(FValue); }

bool TLcCurrencyValue::SetVariant(const Variant& value)
{
    if (value.VarType() != varCurrency) {
        return false;
    }
    FValue = value.Currency();   // a currency variant is already whole ten-thousandths
    return true;
}

Currency TLcDateTimeValue::GetCurrency() { return FloatToCurrencyOrFail(FValue, *this); }
int32_t TLcDateTimeValue::GetInteger() { return IntegerOrFail(TruncatedOrFail(FValue, *this), *this); }
uint32_t TLcDateTimeValue::GetCardinal() { return CardinalOrFail(TruncatedOrFail(FValue, *this), *this); }
int64_t TLcDateTimeValue::GetLargeInt() { return TruncatedOrFail(FValue, *this); }
std::string TLcDateTimeValue::GetString() { return DateTimeToText(FValue); }
std::u16string TLcDateTimeValue::GetWideString() { return Widen(GetString()); }
Variant TLcDateTimeValue::GetVariant() { return Variant::FromDate(FValue); }

bool TLcDateTimeValue::SetVariant(const Variant& value)
{
    const TVarType type = value.VarType();
    if (type != varSingle && type != varDouble && type != varDate) {
        return false;
    }
    FValue = value.Float();
    return true;
}
