#include "lectern/lc/lcCodeFormat.h"

#include "classlib/DateUtils.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/tests/ExpectError.h"
#include "lectern/lc/tests/RandomValues.h"
#include "lectern/lc/tests/ValueTestKit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Code(TLcValueObject& value)
{
    TLcHugeString builder;
    value.to_Code(builder);
    return builder.GetText();
}

// Reads one item of any type and checks that the whole text was consumed.
Obj Read(const std::string& text)
{
    size_t at = 0;
    Obj value = ObjectFromCode(text, at);
    EXPECT_EQ(at, text.size()) << text;
    return value;
}

}  // namespace

TEST(LcCodeFormat, RecordExampleByteForByte)
{
    TLcRecord record;
    record.SetObject("a", Int(5));
    record.SetObject("b", Str("abc"));
    const std::string text = "RE=2;a:I=5;b:S=3\"abc\";";
    EXPECT_EQ(Code(record), text);
    Obj back = Read(text);
    ExpectSame(&record, back.get(), text);
}

TEST(LcCodeFormat, SimpleValuesAreWrittenAsTheirItems)
{
    TDateTime date = 0;
    ASSERT_TRUE(TryEncodeDate(2024, 2, 29, date));
    std::u16string wide = u"A\u20AC";
    const std::vector<std::pair<Obj, std::string>> cases = [&] {
        std::vector<std::pair<Obj, std::string>> c;
        c.emplace_back(Str("a;b\"c"), "S=5\"a;b\"c\";");
        c.emplace_back(Str(""), "S=;");
        c.emplace_back(Int(0), "I=;");
        c.emplace_back(Int(-17), "I=-17;");
        c.emplace_back(Make<TLcBooleanValue>([](auto& v) { v.SetBoolean(false); }), "B=;");
        c.emplace_back(Make<TLcBooleanValue>([](auto& v) { v.SetBoolean(true); }), "B=T;");
        c.emplace_back(Make<TLcCardinalValue>([](auto& v) { v.SetCardinal(4294967295u); }), "K=4294967295;");
        c.emplace_back(Make<TLcLargeIntValue>([](auto& v) { v.SetLargeInt(-4294967296); }), "L=-4294967296;");
        c.emplace_back(Make<TLcOIDValue>([](auto& v) { v.SetOID(42); }), "O=42;");
        c.emplace_back(Make<TLcFloatValue>([](auto& v) { v.SetFloat(2.5); }), "F=2.5;");
        c.emplace_back(Make<TLcFloatValue>([](auto& v) { v.SetFloat(0.1 + 0.2); }), "F=0.30000000000000004;");
        c.emplace_back(Make<TLcFloatValue>([](auto& v) { v.SetFloat(1e300); }), "F=1E300;");
        c.emplace_back(Make<TLcCurrencyValue>([](auto& v) { v.SetCurrency(15000); }), "C=1.5;");
        c.emplace_back(Make<TLcDateTimeValue>([&](auto& v) { v.SetDateTime(date + 0.5); }), "D=2024-2-29 12:0:0.0;");
        c.emplace_back(Make<TLcTextValue>([](auto& v) { v.SetString("\xC3\xA9"); }), "T=2\"\xC3\xA9\";");
        c.emplace_back(Make<TLcExceptionValue>([](auto& v) { v.SetException("#1:x"); }), "E=4\"#1:x\";");
        c.emplace_back(Make<TLcVariableName>([](auto& v) { v.SetVarName("\xE9"); }), "V=2\"\xC3\xA9\";");
        c.emplace_back(Make<TLcWideStringValue>([&](auto& v) { v.SetWideString(wide); }),
                       std::string("W=4\"A\0\xAC\x20\";", 10));
        c.emplace_back(Make<TLcByteStream>([](auto&) {}), "BS=;");
        return c;
    }();
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(Code(*value), text);
        Obj back = Read(text);
        ExpectSame(value.get(), back.get(), text);
    }

    TLcByteStream stream;
    stream.GetByteStream()->WriteBuffer("xyz", 3);   // position 3
    EXPECT_EQ(Code(stream), "BS=3\"xyz\";");
    EXPECT_EQ(stream.GetByteStream()->Position(), 3);   // kept
    Obj back = Read("BS=3\"xyz\";");
    EXPECT_EQ(dynamic_cast<TLcByteStream&>(*back).GetByteStream()->Position(), 0);
}

TEST(LcCodeFormat, ContainersWriteCountsAndMissingElements)
{
    TLcArray array;
    array.SetObject(0, Int(1));
    array.SetObject(2, Str("x"));
    EXPECT_EQ(Code(array), "AR=3;I=1;X=;S=1\"x\";");

    TLcFunctionInfo call;
    call.SetFunctionName("f\xE9");
    call.SetObject("p", Int(2));
    EXPECT_EQ(Code(call), "FC=f\xC3\xA9;RE=1;p:I=2;");

    TLcDataSet set;
    set.SetFieldSize("n", 8);
    set.SetFieldRequired("n", true);
    set.SetObject("n", Str("v"));
    set.SetRow(2);
    set.SetObject("k", Int(3));
    const std::string text = "DS=2;n:S,8,T;k:I,0,F;ROWS=3;AR=1;S=1\"v\";X=;AR=2;X=;I=3;";
    EXPECT_EQ(Code(set), text);
    Obj back = Read(text);
    ExpectSame(&set, back.get(), text);

    // A record entry set to none keeps its place, also through the text.
    TLcRecord record;
    record.SetObject("a", Int(1));
    record.SetObject("a", TLcStoreArg::Free());
    EXPECT_EQ(Code(record), "RE=1;a:X=;");
    back = Read("RE=1;a:X=;");
    EXPECT_EQ(dynamic_cast<TLcRecord&>(*back).Count(), 1);

    // The holder writes its content; an empty one the null item.
    TLcValue holder;
    EXPECT_EQ(Code(holder), "X=;");
    size_t at = 0;
    holder.from_Code("I=9;", at);
    EXPECT_EQ(holder.GetInteger(), 9);
}

TEST(LcCodeFormat, RequiredFlagIsTrueOnlyForT)
{
    for (const auto& [flag, required] : std::vector<std::pair<std::string, bool>>{
             {"T", true}, {"t", true}, {"F", false}, {"TRUE", false}, {"", false}}) {
        Obj back = Read("DS=1;a:S,0," + flag + ";ROWS=0;");
        EXPECT_EQ(dynamic_cast<TLcDataSet&>(*back).FieldRequired("a"), required) << flag;
    }
}

TEST(LcCodeFormat, CorruptTextsFailWithTheFormatsMessages)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"S=10\"abc", "Not enough data."},
        {"Q=;", "Unknown object type specifier \"Q\"."},
        {"ABC=;", "Unknown object type specifier \"ABC\"."},
        {"abc", "Object type specifier not found."},
        {"S=abc", "String START-MARK missing."},
        {"S=x\"abc\";", "Length value missing."},
        {"S=+3\"abc\";", "Length value missing."},
        {"S=0x3\"abc\";", "Length value missing."},
        {"S=99999999999999999999\"abc\";", "Length value missing."},
        {"S=999999999999999999\"abc\";", "Not enough data."},
        {"S=3\"abcX;", "String END-MARK missing."},
        {"S=3\"abc\"X", "COMMAND END-MARK missing."},
        {"S=", "Not enough data to include type info."},
        {"I=5", "END-MARK missing."},
        {"RE=x;", "TLcRecord.from_Code: Field Count missing."},
        {"RE=-1;", "TLcRecord.from_Code: Field Count missing."},
        {"RE=1000;a:I=1;", "Not enough data."},
        {"RE=1;aI=1;", "END-MARK missing."},
        {"RE=1;:I=1;", "TLcRecord.SetObject: Fields without a name not allowed."},
        {"AR=2;I=1;", "Not enough data."},
        {"AR=2;I=1;XYZ", "Object type specifier not found."},
        {"AR=q;", "TLcArray.from_Code: Field Count missing."},
        {"DS=x;", "TLcDataSet.from_Code: Field Count missing."},
        {"DS=1;a:ZZ,0,F;ROWS=0;", "Unknown Field Type specifier \"ZZ\"."},
        {"DS=1;a:S;", "MID-MARK missing."},
        {"DS=1;a:S,0,F", "END-MARK missing."},
        {"DS=0;ROWS=q;", "TLcDataSet.from_Code: Row Count missing."},
        {"DS=0;RX=1;", "End Mark not found."},
        {"DS=0;ROWS=1;I=1;", "TLcDataSet.from_Code: row 0 is not an array."},
        {"FC=f;AR=0;", "Expected object type specifier not found."},
        {"BS=", "Not enough data to include type info."},
    };
    for (const auto& [text, message] : cases) {
        ExpectError<ELcInfo>([&] { Read(text); }, message);
    }
    // Texts beyond their end, for the counted readers.
    size_t at = 3;
    TLcStringValue s;
    ExpectError<ELcInfo>([&] { s.from_Code("S=;", at); }, "No more data. Starting position beyond end-of-AnsiString.");
    TLcByteStream b;
    ExpectError<ELcInfo>([&] { b.from_Code("S=;", at); }, "No more data. Starting position beyond end-of-String.");
    at = 0;
    ExpectError<ELcInfo>([&] { s.from_Code("I=5;", at); }, "Expected object type specifier not found.");
    // A number that does not parse is a conversion failure.
    EXPECT_THROW(Read("I=12x;"), EConvertError);
    EXPECT_THROW(Read("DS=1;a:S,z,F;ROWS=0;"), EConvertError);
}

TEST(LcCodeFormat, FailedReadsLeaveContainersEmpty)
{
    const std::vector<std::pair<std::string, std::function<Obj()>>> cases = {
        {"RE=2;a:I=1;b:Q=;", [] { return Obj(new TLcRecord); }},
        {"AR=2;I=1;S=5\"ab\";", [] { return Obj(new TLcArray); }},
        {"FC=f;RE=2;a:I=1;b:I=x;", [] { return Obj(new TLcFunctionInfo); }},
        {"DS=1;a:S,0,F;ROWS=2;AR=1;S=1\"v\";AR=1;I=", [] { return Obj(new TLcDataSet); }},
    };
    for (const auto& [text, make] : cases) {
        Obj container = make();
        size_t at = 0;
        EXPECT_ANY_THROW(container->from_Code(text, at)) << text;
        // Empty again: a second read of a good text is not refused.
        const std::string good = Code(*make());
        at = 0;
        container->from_Code(good, at);
        EXPECT_EQ(Code(*container), good) << text;
    }
    auto call = std::make_unique<TLcFunctionInfo>();
    size_t at = 0;
    EXPECT_ANY_THROW(call->from_Code("FC=f;RE=1;a:Q=;", at));
    EXPECT_EQ(call->FunctionName(), "");
}

TEST(LcCodeFormat, ReadingRefusesContainersInUse)
{
    size_t at = 0;
    TLcValue holder;
    holder.SetObject(Int(1));
    ExpectError<ELcInfo>([&] { holder.from_Code("I=2;", at); }, "Can not merge data. TLcValue object is already in use.");
    TLcRecord record;
    record.SetObject("a", Int(1));
    ExpectError<ELcInfo>([&] { record.from_Code("RE=0;", at); },
                         "Can not merge Record data. TLcRecord object is already in use.");
    TLcFunctionInfo call;
    call.SetObject("a", Int(1));
    ExpectError<ELcInfo>([&] { call.from_Code("FC=f;RE=0;", at); },
                         "Can not merge Function Calls. TLcFunctionInfo is already in use.");
    TLcArray array;
    array.SetObject(0, Int(1));
    ExpectError<ELcInfo>([&] { array.from_Code("AR=0;", at); }, "Can not merge Arrays. TLcArray is already in use.");
}

TEST(LcCodeFormat, WriterRefusesNamesThatCanNotBeReadBack)
{
    TLcRecord record;
    record.SetObject("ok", Int(1));
    record.SetObject("a:b", Int(2));
    ExpectError<ELcInfo>([&] { Code(record); }, "fld#1 ELcInfo: Field name \"a:b\" can not be read back.");

    TLcFunctionInfo call;
    call.SetFunctionName("f;g");
    ExpectError<ELcInfo>([&] { Code(call); }, "Function name \"f;g\" can not be read back.");

    TLcDataSet set;
    set.SetFieldType("x:y", ft_String);
    ExpectError<ELcInfo>([&] { Code(set); }, "fld#0 ELcInfo : Field name \"x:y\" can not be read back.");

    // A failure deep inside names every level on its way out.
    TLcArray outer;
    auto inner = std::make_unique<TLcRecord>();
    inner->SetObject("p:q", Int(1));
    outer.SetObject(1, std::move(inner));
    ExpectError<ELcInfo>([&] { Code(outer); },
                         "idx#1 ELcInfo: fld#0 ELcInfo: Field name \"p:q\" can not be read back.");
}

TEST(LcCodeFormat, ReaderRefusesNamesTheWriterCouldNotWrite)
{
    // Overlong UTF-8 decodes to the sign that ends the name: such a name can not be written
    // back, so it is not read either.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"RE=1;a\xC0\xBA" "b:I=1;", "Field name \"a:b\" can not be written back."},
        {"FC=a\xC0\xBB" "b;RE=0;", "Function name \"a;b\" can not be written back."},
        {"DS=1;a\xC0\xBA" "b:S,0,F;ROWS=0;", "Field name \"a:b\" can not be written back."},
    };
    for (const auto& [text, message] : refused) {
        ExpectError<ELcInfo>([&] { Read(text); }, message);
    }
    // Any other name that is read writes again.
    Obj record = Read("RE=1;a\xC0\xA1" "b:I=1;");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(Code(*record), "RE=1;a!b:I=1;");
}

TEST(LcCodeFormat, NestingIsLimited)
{
    const auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) {
            text += "AR=1;";
        }
        return text + "X=;";
    };
    Obj deepest = Read(nested(kCodeNestingLimit));
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(Code(*deepest), nested(kCodeNestingLimit));
    const std::string tooDeep = "Values nested deeper than " + std::to_string(kCodeNestingLimit) + " levels.";
    ExpectError<ELcInfo>([&] { Read(nested(kCodeNestingLimit + 1)); }, tooDeep);
    // Far deeper input fails the same way instead of exhausting the stack.
    EXPECT_THROW(Read(nested(200000)), ELcInfo);
    std::string records;
    for (int i = 0; i < 100000; ++i) {
        records += "RE=1;a:";
    }
    EXPECT_THROW(Read(records + "X=;"), ELcInfo);

    // The writer keeps to the same limit.
    auto top = std::make_unique<TLcArray>();
    TLcArray* level = top.get();
    for (int i = 0; i < kCodeNestingLimit; ++i) {
        auto next = std::make_unique<TLcArray>();
        TLcArray* raw = next.get();
        level->SetObject(0, std::move(next));
        level = raw;
    }
    EXPECT_THROW(Code(*top), ELcInfo);
}

TEST(LcCodeFormat, InfoRecordsWriteTheirFieldsOnly)
{
    TLcInfo info;
    info.SetObject("a", Int(1));
    EXPECT_EQ(Code(info), "RE=1;a:I=1;");
    TLcInfo readBack;
    size_t at = 0;
    readBack.from_Code("RE=1;a:I=1;", at);
    EXPECT_EQ(readBack.GetInteger("a"), 1);
}

TEST(LcCodeFormat, RandomTreesRoundTrip)
{
    constexpr int kTrees = 400;
    constexpr int kDepth = 4;
    TRandomValues random(20261210, {});
    for (int i = 0; i < kTrees; ++i) {
        Obj tree = random.Tree(kDepth);
        TLcValue holder;
        holder.SetObject(tree ? tree->copyOf() : nullptr);
        const std::string text = Code(holder);
        Obj back = Read(text);
        ExpectSame(tree.get(), back.get(), "tree " + std::to_string(i));
        TLcValue again;
        again.SetObject(std::move(back));
        EXPECT_EQ(Code(again), text) << "tree " << i;
        if (HasFailure()) {
            break;
        }
    }
}
