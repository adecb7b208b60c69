#include "lectern/lc/lcDataSet.h"

#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/tests/ExpectError.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TLcValueObject> Int(int32_t value)
{
    auto v = std::make_unique<TLcIntegerValue>();
    v->SetInteger(value);
    return v;
}

std::unique_ptr<TLcValueObject> Str(const std::string& value)
{
    auto v = std::make_unique<TLcStringValue>();
    v->SetString(value);
    return v;
}

// Two rows: (id=1; name=a) and (id=2), with a sized, required name field.
void FillTwoRows(TLcDataSet& set)
{
    set.SetFieldSize("name", 20);
    set.SetFieldRequired("name", true);
    set.SetRow(set.RowCount());
    set.SetObject("id", Int(1));
    set.SetObject("name", Str("a"));
    set.SetRow(set.RowCount());
    set.SetObject("id", Int(2));
}

}  // namespace

TEST(LcDataSet, RowsGrowUpToTheCurrentRowAndEmptyRowsShowAsEmptyParentheses)
{
    TLcDataSet set;
    set.SetRow(2);
    set.SetObject("a", Int(7));
    EXPECT_EQ(set.RowCount(), 3);
    EXPECT_EQ(set.RowValues(0), nullptr);
    EXPECT_EQ(set.RowValues(1), nullptr);
    EXPECT_EQ(set.StringForm(), "()\r\n()\r\n(a=7)\r\n");
    EXPECT_EQ(set.Row(), 2);   // the string form puts the cursor back
    set.SetRow(1);
    EXPECT_TRUE(set.isNull("a"));
    set.SetRow(2);
    EXPECT_EQ(set.GetInteger("A"), 7);   // names compare case-insensitively
}

TEST(LcDataSet, FieldTypeComesFromTheFirstValueStored)
{
    TLcDataSet set;
    set.SetObject("n", Int(1));
    EXPECT_EQ(set.FieldType("n"), ft_Integer);
    set.SetObject("n", Str("x"));   // replaces the value, keeps the type
    EXPECT_EQ(set.FieldType("n"), ft_Integer);
    EXPECT_EQ(set.GetString("n"), "x");

    set.SetFieldSize("sized", 10);
    EXPECT_EQ(set.FieldType("sized"), ft_Unknown);
    EXPECT_EQ(set.FieldSize("sized"), 10);
    EXPECT_FALSE(set.FieldRequired("sized"));
    EXPECT_EQ(set.FieldSize("nothing"), 0);

    // Default types of a few value kinds.
    const std::vector<std::pair<TLcValueType, TLcFieldTypes>> defaults = {
        {vt_Exception, ft_String}, {vt_Text, ft_String},     {vt_Record, ft_ADT},         {vt_Array, ft_Array},
        {vt_Cardinal, ft_Largeint}, {vt_OID, ft_Largeint},   {vt_ByteStream, ft_Blob},    {vt_Variant, ft_Unknown},
        {vt_DataSet, ft_DataSet},  {vt_WideString, ft_WideString}, {vt_Variable, ft_Unknown},
    };
    for (const auto& [valueType, fieldType] : defaults) {
        EXPECT_EQ(DefaultFieldType(valueType), fieldType) << LcValueTypeName(valueType);
    }
}

TEST(LcDataSet, NoneNeverMakesAFieldOrARow)
{
    TLcDataSet set;
    set.SetObject("a", nullptr);
    EXPECT_EQ(set.FieldCount(), 0);
    EXPECT_EQ(set.RowCount(), 0);

    set.SetObject("a", Int(1));
    set.SetRow(1);
    set.SetObject("b", nullptr);
    EXPECT_EQ(set.FieldCount(), 1);
    EXPECT_EQ(set.RowCount(), 1);

    // None into a known field of a row with values removes the value.
    set.SetRow(0);
    set.SetObject("a", TLcStoreArg::Free());
    EXPECT_TRUE(set.isNull("a"));
    EXPECT_EQ(set.StringForm(), "()\r\n");
}

TEST(LcDataSet, CursorBeforeTheFirstRow)
{
    TLcDataSet set;
    EXPECT_TRUE(set.Eof());
    set.SetObject("a", Int(1));
    set.SetRow(-1);
    EXPECT_FALSE(set.Eof());
    EXPECT_TRUE(set.isNull("a"));
    ExpectError<ELcInfo>([&] { set.SetObject("a", Int(2)); }, "TLcDataSet.SetObject: Row index beyond BOF.");
    ExpectError<ELcInfo>([&] { set.SetRow(-2); }, "Can not move to a Row beyond BOF, index out of bounds.");
    set.First();
    set.Next();
    EXPECT_TRUE(set.Eof());
    set.Next();   // stays at RowCount
    EXPECT_EQ(set.Row(), 1);
}

TEST(LcDataSet, RefusalsNameTheirCase)
{
    TLcDataSet set;
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { set.SetObject("", Int(1)); },
         "TLcDataSet.SetObject: Fields without a name not allowed. Set Field Data by using a Field Name."},
        {[&] { set.SetFieldType("", ft_String); }, "Can not set field type without field name."},
        {[&] { set.SetFieldSize("", 1); }, "Can not set field size without field name."},
        {[&] { set.SetFieldRequired("", true); }, "Can not set required property for field without a field name."},
    };
    for (const auto& [call, message] : cases) {
        ExpectError<ELcInfo>(call, message);
    }
    EXPECT_EQ(set.FieldCount(), 0);
}

TEST(LcDataSet, RowViewHasNoValueObjectOperations)
{
    TLcDataRow row;
    TLcHugeString builder;
    TLcDataSet other;
    size_t at = 0;
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { row.Clear(); }, "Clear"},
        {[&] { row.CopyFrom(other); }, "CopyFrom"},
        {[&] { row.GetType(); }, "GetType"},
        {[&] { row.TypeCheck(vt_DataSet); }, "TypeCheck"},
        {[&] { row.from_Code("", at); }, "from_Code"},
        {[&] { row.from_XMLrpc("", at); }, "from_XMLrpc"},
        {[&] { row.copyOf(); }, "copyOf"},
        {[&] { row.to_Code(builder); }, "to_Code"},
        {[&] { row.to_XMLRPC(builder); }, "to_XMLRPC"},
    };
    for (const auto& [call, operation] : cases) {
        ExpectError<ELcInfo>(call, operation + " method not available for TLcDataRow");
    }
    // The row view still reads and writes the current row.
    row.SetObject("a", Int(3));
    EXPECT_EQ(row.GetInteger("a"), 3);
}

TEST(LcDataSet, CopyIsDeepAndKeepsTheDefinitions)
{
    TLcDataSet set;
    FillTwoRows(set);
    set.SetRow(1);
    auto copy = set.copyOf();
    auto& copied = dynamic_cast<TLcDataSet&>(*copy);
    EXPECT_EQ(copied.Row(), 0);   // the cursor is not copied
    EXPECT_EQ(copied.FieldCount(), 2);
    EXPECT_EQ(copied.FieldName(0), "name");   // first used by its size
    EXPECT_EQ(copied.FieldSize("name"), 20);
    EXPECT_TRUE(copied.FieldRequired("name"));
    EXPECT_EQ(copied.FieldType("id"), ft_Integer);
    EXPECT_EQ(copied.StringForm(), set.StringForm());
    EXPECT_EQ(copied.StringForm(), "(name=a; id=1)\r\n(id=2)\r\n");
    EXPECT_NE(copied.RowValues(0), set.RowValues(0));
}

TEST(LcDataSet, CopyAndReadRefuseADataSetInUseEvenWhenCleared)
{
    TLcDataSet source;
    FillTwoRows(source);

    TLcDataSet onlyFields;
    onlyFields.SetFieldType("x", ft_String);
    ExpectError<ELcInfo>([&] { onlyFields.CopyFrom(source); },
                         "Can not merge DataSets. This DataSet already has data assigned.");

    TLcDataSet cleared;
    cleared.SetObject("a", Int(1));
    cleared.SetRow(4);
    cleared.Clear();
    EXPECT_EQ(cleared.FieldCount(), 0);
    EXPECT_EQ(cleared.RowCount(), 0);
    EXPECT_EQ(cleared.Row(), 4);   // Clear keeps the cursor
    ExpectError<ELcInfo>([&] { cleared.CopyFrom(source); },
                         "Can not merge DataSets. This DataSet already has data assigned.");
    size_t at = 0;
    ExpectError<ELcInfo>([&] { cleared.from_Code("DS=0;ROWS=0;", at); },
                         "Can not merge DataSet data. TLcDataSet object is already in use.");
    ExpectError<ELcInfo>([&] { cleared.from_XMLrpc("<value><struct></struct></value>", at); },
                         "Can not merge DataSet data. TLcDataSet object is already in use.");
}

TEST(LcDataSet, ContainersReadADataSetAsItsRows)
{
    auto set = std::make_unique<TLcDataSet>();
    FillTwoRows(*set);
    TLcDataSet* inner = set.get();
    TLcRecord record;
    record.SetObject("t", std::move(set));
    EXPECT_EQ(record.GetString("t"), "(name=a; id=1)\r\n(id=2)\r\n");
    EXPECT_EQ(record.GetType("t"), vt_DataSet);

    // A data set can not be handed into its own rows (the refused holder goes, and the data
    // set with it).
    auto holder = std::make_unique<TLcValue>();
    auto* self = new TLcDataSet;
    holder->SetObject(std::unique_ptr<TLcValueObject>(self));
    EXPECT_THROW(self->SetObject("me", std::move(holder)), ELcInfo);
    static_cast<void>(inner);

    auto made = ObjectFromType(vt_DataSet);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetType(), vt_DataSet);
    EXPECT_STREQ(made->ClassName(), "TLcDataSet");
}

TEST(LcDataSet, TextFormDecodesUtf8Values)
{
    TLcDataSet set;
    auto text = std::make_unique<TLcTextValue>();
    text->SetString("\xC3\xA9");   // U+00E9 in UTF-8
    set.SetObject("t", std::move(text));
    EXPECT_EQ(set.TextForm(), "(t=\xE9)\r\n");   // in the system code page
}

TEST(LcDataSet, FieldTypeCodesRoundTrip)
{
    EXPECT_STREQ(FieldTypeCode(ft_Unknown), "U");
    EXPECT_STREQ(FieldTypeCode(ft_Single), "SN");
    EXPECT_STREQ(FieldTypeCode(ft_Largeint), "L");
    for (int t = 0; t < kLcFieldTypeCount; ++t) {
        TLcFieldTypes back = ft_Unknown;
        ASSERT_TRUE(FieldTypeOfCode(FieldTypeCode(TLcFieldTypes(t)), back)) << t;
        EXPECT_EQ(back, t);
    }
    TLcFieldTypes type = ft_String;
    EXPECT_FALSE(FieldTypeOfCode("u", type));
    EXPECT_FALSE(FieldTypeOfCode("", type));
}
