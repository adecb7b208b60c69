// Variant: a small tagged value of one of the class library's variant kinds.
//
// It holds one of: nothing (varEmpty), null, a Boolean, an integer of 8, 16, 32 or 64 bits
// (signed or unsigned as the kind says), a single or double float, a currency (a 64-bit count
// of ten-thousandths), a date (days since 30 December 1899), an 8-bit string, or a wide string
// (varOleStr, or varStrArg for a string argument). The kind codes are those of the class
// library, so code that switches on them reads as it does there.
//
// Integers of every kind are kept as 64-bit values, singles as the double they widen to. The
// accessors read the stored field as it is; they do not convert between kinds (Int64() of a
// string variant is 0): callers look at VarType() first.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

using TVarType = uint16_t;

constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varSingle = 0x0004;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varOleStr = 0x0008;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varShortInt = 0x0010;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varWord = 0x0012;
constexpr TVarType varLongWord = 0x0013;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varStrArg = 0x0048;
constexpr TVarType varString = 0x0100;

class Variant {
public:
    Variant() = default;
    explicit Variant(bool value) : FType(varBoolean), FInt(value ? 1 : 0) {}
    explicit Variant(int8_t value) : FType(varShortInt), FInt(value) {}
    explicit Variant(uint8_t value) : FType(varByte), FInt(value) {}
    explicit Variant(int16_t value) : FType(varSmallint), FInt(value) {}
    explicit Variant(uint16_t value) : FType(varWord), FInt(value) {}
    explicit Variant(int32_t value) : FType(varInteger), FInt(value) {}
    explicit Variant(uint32_t value) : FType(varLongWord), FInt(value) {}
    explicit Variant(int64_t value) : FType(varInt64), FInt(value) {}
    explicit Variant(float value) : FType(varSingle), FFloat(value) {}
    explicit Variant(double value) : FType(varDouble), FFloat(value) {}
    explicit Variant(std::string value) : FType(varString), FString(std::move(value)) {}
    explicit Variant(const char* value) : FType(varString), FString(value) {}
    explicit Variant(std::u16string value) : FType(varOleStr), FWide(std::move(value)) {}

    static Variant Null() { return WithType(varNull); }
    static Variant FromCurrency(int64_t tenThousandths)
    {
        Variant v = WithType(varCurrency);
        v.FInt = tenThousandths;
        return v;
    }
    static Variant FromDate(double days)
    {
        Variant v = WithType(varDate);
        v.FFloat = days;
        return v;
    }
    static Variant FromStrArg(std::u16string value)
    {
        Variant v(std::move(value));
        v.FType = varStrArg;
        return v;
    }

    TVarType VarType() const { return FType; }
    bool IsEmpty() const { return FType == varEmpty; }

    bool Boolean() const { return FInt != 0; }
    int64_t Int64() const { return FInt; }      // every integer kind
    int64_t Currency() const { return FInt; }   // ten-thousandths
    double Float() const { return FFloat; }     // single, double and date
    const std::string& String() const { return FString; }
    const std::u16string& WideString() const { return FWide; }   // varOleStr, varStrArg

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    static Variant WithType(TVarType type)
    {
        Variant v;
        v.FType = type;
        return v;
    }

    TVarType FType = varEmpty;
    int64_t FInt = 0;
    double FFloat = 0;
    std::string FString;
    std::u16string FWide;
};
