// lcValues: the typed value objects of the communication library.
//
// Structured data (connection information, remote calls and their results) travels as a tree
// of value objects. This unit holds the roots of that tree and its scalar leaves:
//
//   TLcObject           anything that can be disposed of with Kill (values, pool jobs)
//   TLcValueObject      every value: copy, type, type check, the two text formats
//   TLcSimpleValue      a scalar: 33 conversion operations, all failing at this level
//   TLc...Value         the fourteen scalars, each with one field
//
// The containers (holder, record, array, function call, connection information, data set)
// derive from TLcValueObject in their own units.
//
// Conversions. TLcSimpleValue fails every getter and setter with EConvertError ("Can not
// convert <class> to <target>." or "Can not convert <source> to <class>."), except a few
// defaults that forward to another operation: GetCardinal and GetOID read GetLargeInt, which
// reads GetInteger; SetCardinal, SetOID and SetLinkedObject store through SetLargeInt, which
// stores through SetInteger; SetWideString and SetText store UTF-8 through SetString. Each
// class overrides what it supports, so a forwarded call that nobody supports fails with the
// message of the operation at the end of the chain (SetText on a Boolean value complains
// about AnsiString).
//
// Numbers. Rounding is to the nearest integer with halves to even and truncation drops the
// fraction; both are done on the exact binary value, so they do not depend on the FPU's
// rounding mode (the program changes it elsewhere). A float, currency or date-time that is
// NaN, infinite or outside the range of the integer or currency asked for fails with the
// getter's message instead of wrapping around.
//
// Ownership. Objects live on the heap: Kill and Extracted free the object itself. A value is
// owned by the container or holder that it was put into. A TLcByteStream owns its memory
// stream; a stream handed to SetByteStream stays the caller's (its content is copied).
#pragma once

#include "classlib/Streams.h"
#include "classlib/SysUtils.h"
#include "classlib/Variants.h"
#include "lectern/lc/lcInfo.h"

#include <cstdint>
#include <memory>
#include <string>

class TLcHugeString;

// A currency amount: a signed 64-bit count of ten-thousandths (1.5 is 15000).
using Currency = int64_t;

// ELcInfo (misuse of the value model and failures of its text formats) comes with lcInfo.

enum TLcValueType : uint8_t {
    vt_Null,
    vt_Variable,
    vt_FunctionCall,
    vt_Exception,
    vt_Array,
    vt_Record,
    vt_DataSet,
    vt_Text,
    vt_String,
    vt_WideString,
    vt_Boolean,
    vt_Integer,
    vt_Cardinal,
    vt_LargeInt,
    vt_Float,
    vt_Currency,
    vt_DateTime,
    vt_ByteStream,
    vt_OID,
    vt_Variant,
};
constexpr int kLcValueTypeCount = vt_Variant + 1;

// The display name of a type ("Null", "Variable", ... "Variant"); empty for an ordinal
// outside the enumeration.
std::string LcValueTypeName(TLcValueType type);

// Root of value objects and of the thread pool's jobs.
class TLcObject : public TObject {
public:
    // Disposes of the object.
    virtual void Kill() = 0;

    CL_CLASS_NAME(TLcObject)
};

// Root of every value. The four text-format operations do their work in the units of the two
// formats, lcCodeFormat and lcXmlRpc.
class TLcValueObject : public TLcObject {
public:
    // Frees the object (it must have been made with new).
    void Kill() override;
    // Copies the content of another object of the same class.
    virtual void CopyFrom(TLcValueObject& source) = 0;
    // Called when a holder gives the object away; nothing at this level.
    virtual void Extracted() {}
    virtual TLcValueType GetType() const = 0;
    // True when the object can be read as the given type.
    virtual bool TypeCheck(TLcValueType type) const = 0;
    // at counts the characters of text already consumed (0-based); the readers advance it.
    virtual void from_Code(const std::string& text, size_t& at);
    virtual void from_XMLrpc(const std::string& text, size_t& at);
    // A new, independent copy.
    virtual std::unique_ptr<TLcValueObject> copyOf() = 0;
    // Append the object's text to the builder.
    virtual void to_Code(TLcHugeString& builder);
    virtual void to_XMLRPC(TLcHugeString& builder);

    CL_CLASS_NAME(TLcValueObject)
};

// A scalar value. Every getter and setter fails here except the forwarding defaults described
// at the top of this file.
class TLcSimpleValue : public TLcValueObject {
public:
    // A simple value frees itself when a holder gives it away.
    void Extracted() override;

    virtual bool GetBoolean();
    virtual Currency GetCurrency();
    virtual TDateTime GetDateTime();
    virtual std::string GetException();
    virtual std::string GetVarName();
    virtual int32_t GetInteger();
    virtual uint32_t GetCardinal();   // default: low 32 bits of GetLargeInt
    virtual int64_t GetLargeInt();    // default: GetInteger sign-extended
    virtual double GetFloat();
    virtual std::string GetString();
    virtual std::u16string GetWideString();
    virtual std::string GetText();
    // The value's own stream (it stays owned by the value).
    virtual TStream* GetByteStream();
    virtual int64_t GetOID();              // default: GetLargeInt
    virtual TObject* GetLinkedObject();    // default: the object manager's object for GetLargeInt
    // SetNull(true) stores the class's null value; SetNull(false) does nothing.
    virtual void SetNull(bool null);
    virtual void SetBoolean(bool value);
    virtual void SetCurrency(Currency value);
    virtual void SetDateTime(TDateTime value);
    virtual void SetException(const std::string& message);
    virtual void SetVarName(const std::string& name);
    virtual void SetInteger(int32_t value);
    virtual void SetCardinal(uint32_t value);   // default: SetLargeInt zero-extended
    virtual void SetLargeInt(int64_t value);    // default: SetInteger with the low 32 bits
    virtual void SetFloat(double value);
    virtual void SetString(const std::string& value);
    virtual void SetWideString(const std::u16string& value);   // default: SetString(UTF-8)
    virtual void SetText(const std::string& value);   // default: SetString(UTF-8 of the widened text)
    // The stream stays the caller's; its content is copied.
    virtual void SetByteStream(TStream* stream);
    virtual void SetOID(int64_t value);              // default: SetLargeInt
    virtual void SetLinkedObject(TObject* object);   // default: SetLargeInt of the object's id
    virtual Variant GetVariant();
    // True when the value took the variant, false when the variant's kind does not fit.
    virtual bool SetVariant(const Variant& value);

    CL_CLASS_NAME(TLcSimpleValue)
};

// ---- the shared plumbing of the simple classes ----------------------------------------------

namespace lc_detail {

constexpr uint32_t TypeBit(TLcValueType type) { return uint32_t{1} << type; }

// The types that TypeCheck accepts, by family.
constexpr uint32_t kReadsAsException = TypeBit(vt_Exception) | TypeBit(vt_Variant);
constexpr uint32_t kReadsAsVariable = TypeBit(vt_Variable) | TypeBit(vt_Variant);
constexpr uint32_t kReadsAsStream = TypeBit(vt_String) | TypeBit(vt_ByteStream) | TypeBit(vt_Variant);
constexpr uint32_t kReadsAsBoolean = TypeBit(vt_Boolean) | TypeBit(vt_Variant);
constexpr uint32_t kReadsAsText =
    TypeBit(vt_Text) | TypeBit(vt_String) | TypeBit(vt_WideString) | TypeBit(vt_Variant);
constexpr uint32_t kReadsAsInteger =
    TypeBit(vt_Integer) | TypeBit(vt_Cardinal) | TypeBit(vt_LargeInt) | TypeBit(vt_OID) | TypeBit(vt_Variant);
constexpr uint32_t kReadsAsFloat =
    TypeBit(vt_Float) | TypeBit(vt_Currency) | TypeBit(vt_DateTime) | TypeBit(vt_Variant);

constexpr bool ReadsAs(uint32_t set, TLcValueType type)
{
    return type < kLcValueTypeCount && (set & TypeBit(type)) != 0;
}

// Raises ELcInfo: CopyFrom was given an object of another class.
[[noreturn]] void FailCopy(const TObject& source, const TObject& target);
// A whole number as currency; fails with the class's message when it is out of range.
Currency WholeToCurrency(int64_t value, const TObject& self);
// SetLargeInt with an integer variant of any size; false for other kinds.
bool TakeIntegerVariant(TLcSimpleValue& self, const Variant& value);
// Text in the system code page, widened.
std::u16string Widen(const std::string& text);
// Text in the system code page as UTF-8, and back.
std::string SystemToUtf8(const std::string& text);
std::string Utf8ToSystem(const std::string& utf8);
// The Boolean reading of text.
bool TextIsTrue(const std::string& text);
bool TextIsTrue(const std::u16string& text);
// The text readers of lcInfo, with empty text read as 0 before any parsing.
Currency ParseCurrency(const std::string& text);
TDateTime ParseDateTime(const std::string& text);
int32_t ParseInteger(const std::string& text);
int64_t ParseLargeInt(const std::string& text);
double ParseFloat(const std::string& text);

}  // namespace lc_detail

// What the simple classes have in common: the one field FValue (value-initialised, which is the
// null value), its copy, the class's type and the types it reads as, copyOf and SetNull. It is
// only a helper of the implementation: each class behaves as a direct TLcSimpleValue.
template <class Self, class Field, TLcValueType Type, uint32_t ReadsAsSet>
class TLcSimpleValueOf : public TLcSimpleValue {
public:
    TLcValueType GetType() const override { return Type; }
    bool TypeCheck(TLcValueType type) const override { return lc_detail::ReadsAs(ReadsAsSet, type); }
    void CopyFrom(TLcValueObject& source) override
    {
        auto* same = dynamic_cast<Self*>(&source);
        if (same == nullptr) {
            lc_detail::FailCopy(source, *this);
        }
        FValue = static_cast<TLcSimpleValueOf&>(*same).FValue;
    }
    std::unique_ptr<TLcValueObject> copyOf() override
    {
        auto copy = std::make_unique<Self>();
        copy->CopyFrom(*this);
        return copy;
    }
    void SetNull(bool null) override
    {
        if (null) {
            FValue = Self::NullValue();
        }
    }

protected:
    Field FValue{};
};

// ---- the fourteen simple values -------------------------------------------------------------

class TLcExceptionValue
    : public TLcSimpleValueOf<TLcExceptionValue, std::string, vt_Exception, lc_detail::kReadsAsException> {
public:
    static std::string NullValue() { return {}; }

    std::string GetException() override { return FValue; }
    std::string GetString() override { return FValue; }
    std::u16string GetWideString() override;
    std::string GetText() override { return FValue; }
    Variant GetVariant() override;
    void SetException(const std::string& message) override { FValue = message; }
    bool SetVariant(const Variant&) override { return false; }

    CL_CLASS_NAME(TLcExceptionValue)
};

class TLcVariableName
    : public TLcSimpleValueOf<TLcVariableName, std::string, vt_Variable, lc_detail::kReadsAsVariable> {
public:
    static std::string NullValue() { return {}; }

    std::string GetVarName() override { return FValue; }
    std::string GetString() override { return FValue; }
    std::u16string GetWideString() override;
    std::string GetText() override { return FValue; }
    Variant GetVariant() override;
    void SetVarName(const std::string& name) override { FValue = name; }
    bool SetVariant(const Variant&) override { return false; }

    CL_CLASS_NAME(TLcVariableName)
};

// Bytes in a memory stream that is made on first request.
class TLcByteStream : public TLcSimpleValue {
public:
    static TStream* NullValue() { return nullptr; }

    // Copies the source's whole content (the source gets an empty stream when it has none);
    // both streams end where the source's was.
    void CopyFrom(TLcValueObject& source) override;
    // Lets go of the stream without freeing it (whoever asked for it with GetByteStream has
    // taken it over), then frees the value.
    void Extracted() override;
    TLcValueType GetType() const override { return vt_ByteStream; }
    bool TypeCheck(TLcValueType type) const override;
    std::unique_ptr<TLcValueObject> copyOf() override;
    // The whole content; the stream's position is kept.
    std::string GetString() override;
    std::u16string GetWideString() override;
    std::string GetText() override { return GetString(); }
    TStream* GetByteStream() override;
    Variant GetVariant() override;
    // Frees the stream.
    void SetNull(bool null) override;
    void SetByteStream(TStream* stream) override;

    CL_CLASS_NAME(TLcByteStream)

private:
    std::unique_ptr<TMemoryStream> FStream;
};

class TLcBooleanValue
    : public TLcSimpleValueOf<TLcBooleanValue, bool, vt_Boolean, lc_detail::kReadsAsBoolean> {
public:
    static bool NullValue() { return false; }

    bool GetBoolean() override { return FValue; }
    Currency GetCurrency() override;
    int32_t GetInteger() override { return FValue ? 1 : 0; }
    uint32_t GetCardinal() override { return FValue ? 1 : 0; }
    int64_t GetLargeInt() override { return FValue ? 1 : 0; }
    double GetFloat() override { return FValue ? 1.0 : 0.0; }
    std::string GetString() override { return FValue ? "T" : "F"; }
    std::u16string GetWideString() override { return FValue ? u"T" : u"F"; }
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override;
    void SetBoolean(bool value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcBooleanValue)
};

// String, WideString and Text: numbers, dates and Booleans are read from the text.
template <class Self, class Field, TLcValueType Type>
class TLcTextualValueOf : public TLcSimpleValueOf<Self, Field, Type, lc_detail::kReadsAsText> {
protected:
    using TLcSimpleValueOf<Self, Field, Type, lc_detail::kReadsAsText>::FValue;

public:
    static Field NullValue() { return {}; }

    // False for empty text and for "0", "F", "N", "FALSE" and "NO" in any letter case.
    bool GetBoolean() override { return lc_detail::TextIsTrue(FValue); }
    // The numbers and dates of GetString (the narrowed or decoded text); empty text is 0.
    Currency GetCurrency() override { return lc_detail::ParseCurrency(this->GetString()); }
    TDateTime GetDateTime() override { return lc_detail::ParseDateTime(this->GetString()); }
    int32_t GetInteger() override { return lc_detail::ParseInteger(this->GetString()); }
    uint32_t GetCardinal() override { return static_cast<uint32_t>(lc_detail::ParseLargeInt(this->GetString())); }
    int64_t GetLargeInt() override { return lc_detail::ParseLargeInt(this->GetString()); }
    double GetFloat() override { return lc_detail::ParseFloat(this->GetString()); }
    std::string GetText() override { return this->GetString(); }
};

// 8-bit text, bytes as given.
class TLcStringValue : public TLcTextualValueOf<TLcStringValue, std::string, vt_String> {
public:
    std::string GetString() override { return FValue; }
    std::u16string GetWideString() override;
    Variant GetVariant() override;
    void SetString(const std::string& value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcStringValue)
};

// UTF-16 text.
class TLcWideStringValue : public TLcTextualValueOf<TLcWideStringValue, std::u16string, vt_WideString> {
public:
    std::string GetString() override;   // narrowed
    std::u16string GetWideString() override { return FValue; }
    Variant GetVariant() override;
    // The bytes are read as UTF-8.
    void SetString(const std::string& value) override;
    void SetWideString(const std::u16string& value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcWideStringValue)
};

// 8-bit text holding UTF-8; read back in the system code page.
class TLcTextValue : public TLcTextualValueOf<TLcTextValue, std::string, vt_Text> {
public:
    std::string GetString() override;   // decoded, then narrowed
    std::u16string GetWideString() override;
    Variant GetVariant() override;
    // Stores the bytes as given.
    void SetString(const std::string& value) override { FValue = value; }
    void SetWideString(const std::u16string& value) override;
    // Stores the UTF-8 form of text in the system code page.
    void SetText(const std::string& value) override;
    bool SetVariant(const Variant& value) override;
    // The stored bytes as they are (the text formats carry them unchanged).
    const std::string& Utf8Bytes() const { return FValue; }

    CL_CLASS_NAME(TLcTextValue)
};

class TLcIntegerValue
    : public TLcSimpleValueOf<TLcIntegerValue, int32_t, vt_Integer, lc_detail::kReadsAsInteger> {
public:
    static int32_t NullValue() { return 0; }

    bool GetBoolean() override { return FValue != 0; }
    Currency GetCurrency() override;
    TDateTime GetDateTime() override { return FValue; }
    int32_t GetInteger() override { return FValue; }
    double GetFloat() override { return FValue; }
    std::string GetString() override;
    std::u16string GetWideString() override;
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override;
    void SetInteger(int32_t value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcIntegerValue)
};

class TLcCardinalValue
    : public TLcSimpleValueOf<TLcCardinalValue, uint32_t, vt_Cardinal, lc_detail::kReadsAsInteger> {
public:
    static uint32_t NullValue() { return 0; }

    bool GetBoolean() override { return FValue != 0; }
    Currency GetCurrency() override;
    TDateTime GetDateTime() override { return FValue; }
    int32_t GetInteger() override { return static_cast<int32_t>(FValue); }
    uint32_t GetCardinal() override { return FValue; }
    int64_t GetLargeInt() override { return FValue; }
    double GetFloat() override { return FValue; }
    std::string GetString() override;
    std::u16string GetWideString() override;
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override;
    // Keeps the 32 bits, read as unsigned.
    void SetInteger(int32_t value) override { FValue = static_cast<uint32_t>(value); }
    void SetCardinal(uint32_t value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcCardinalValue)
};

// LargeInt and OID: a signed 64-bit value read in the same ways.
template <class Self, TLcValueType Type>
class TLcInt64ValueOf : public TLcSimpleValueOf<Self, int64_t, Type, lc_detail::kReadsAsInteger> {
protected:
    using TLcSimpleValueOf<Self, int64_t, Type, lc_detail::kReadsAsInteger>::FValue;

public:
    static int64_t NullValue() { return 0; }

    bool GetBoolean() override { return FValue != 0; }
    Currency GetCurrency() override { return lc_detail::WholeToCurrency(FValue, *this); }
    TDateTime GetDateTime() override { return static_cast<double>(FValue); }
    int32_t GetInteger() override { return static_cast<int32_t>(FValue); }   // low 32 bits
    uint32_t GetCardinal() override { return static_cast<uint32_t>(FValue); }
    int64_t GetLargeInt() override { return FValue; }
    double GetFloat() override { return static_cast<double>(FValue); }
    std::string GetString() override { return LargeIntToText(FValue); }
    std::u16string GetWideString() override { return lc_detail::Widen(GetString()); }
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override { return Variant(FValue); }
    void SetInteger(int32_t value) override { FValue = value; }
    void SetCardinal(uint32_t value) override { FValue = value; }
    void SetLargeInt(int64_t value) override { FValue = value; }
    bool SetVariant(const Variant& value) override { return lc_detail::TakeIntegerVariant(*this, value); }
};

class TLcLargeIntValue : public TLcInt64ValueOf<TLcLargeIntValue, vt_LargeInt> {
public:
    CL_CLASS_NAME(TLcLargeIntValue)
};

// A 64-bit object id of the object manager.
class TLcOIDValue : public TLcInt64ValueOf<TLcOIDValue, vt_OID> {
public:
    int64_t GetOID() override { return FValue; }
    void SetOID(int64_t value) override { FValue = value; }
    // On a failure while storing, the value becomes 0 and the failure passes on.
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcOIDValue)
};

class TLcFloatValue
    : public TLcSimpleValueOf<TLcFloatValue, double, vt_Float, lc_detail::kReadsAsFloat> {
public:
    static double NullValue() { return 0; }

    bool GetBoolean() override { return FValue != 0; }
    Currency GetCurrency() override;   // rounded to four decimals
    TDateTime GetDateTime() override { return FValue; }
    int32_t GetInteger() override;     // rounded
    uint32_t GetCardinal() override;   // rounded
    int64_t GetLargeInt() override;    // rounded
    double GetFloat() override { return FValue; }
    std::string GetString() override;
    std::u16string GetWideString() override;
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override;
    void SetFloat(double value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcFloatValue)
};

class TLcCurrencyValue
    : public TLcSimpleValueOf<TLcCurrencyValue, Currency, vt_Currency, lc_detail::kReadsAsFloat> {
public:
    static Currency NullValue() { return {}; }

    bool GetBoolean() override;
    Currency GetCurrency() override { return FValue; }
    TDateTime GetDateTime() override { return GetFloat(); }
    int32_t GetInteger() override;     // rounded
    uint32_t GetCardinal() override;   // rounded
    int64_t GetLargeInt() override;    // rounded
    double GetFloat() override;
    std::string GetString() override;
    std::u16string GetWideString() override;
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override;
    void SetCurrency(Currency value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcCurrencyValue)
};

// Days since 30 December 1899, the time of day as fraction.
class TLcDateTimeValue
    : public TLcSimpleValueOf<TLcDateTimeValue, TDateTime, vt_DateTime, lc_detail::kReadsAsFloat> {
public:
    static TDateTime NullValue() { return 0; }

    bool GetBoolean() override { return FValue != 0; }
    Currency GetCurrency() override;   // the day number rounded to four decimals
    TDateTime GetDateTime() override { return FValue; }
    int32_t GetInteger() override;     // truncated
    uint32_t GetCardinal() override;   // truncated
    int64_t GetLargeInt() override;    // truncated
    double GetFloat() override { return FValue; }
    std::string GetString() override;
    std::u16string GetWideString() override;
    std::string GetText() override { return GetString(); }
    Variant GetVariant() override;
    void SetDateTime(TDateTime value) override { FValue = value; }
    bool SetVariant(const Variant& value) override;

    CL_CLASS_NAME(TLcDateTimeValue)
};

// ---- free functions -------------------------------------------------------------------------

// A new, empty object of the class made for the type; none for vt_Null. Any other ordinal
// raises ELcInfo "Unsupported object type in function ObjectFromType.".
std::unique_ptr<TLcValueObject> ObjectFromType(TLcValueType type);

// True when there is no object, or when its GetType is vt_Null or a simple type (so an empty
// holder, or a holder of a simple value, counts as simple).
bool IsSimpleValue(const TLcValueObject* object);

// True for the simple types: Variable, Exception and Text through OID.
bool IsSimpleType(TLcValueType type);
