#include "lectern/lc/lcXmlRpc.h"

#include "classlib/DateUtils.h"
#include "lectern/lc/lcDataSet.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/tests/ExpectError.h"
#include "lectern/lc/tests/RandomValues.h"
#include "lectern/lc/tests/ValueTestKit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Xml(TLcValueObject& value)
{
    TLcHugeString builder;
    value.to_XMLRPC(builder);
    return builder.GetText();
}

Obj Read(const std::string& text)
{
    size_t at = 0;
    Obj value = ObjectFromXMLrpc(text, at);
    EXPECT_EQ(at, text.size()) << text;
    return value;
}

// Reads text into a holder (which also reads whole method responses) and answers its content.
Obj ReadHolder(const std::string& text)
{
    TLcValue holder;
    size_t at = 0;
    holder.from_XMLrpc(text, at);
    EXPECT_EQ(at, text.size()) << text;
    return holder.SetObject(TLcStoreArg::Forget());
}

std::string StringOf(const Obj& value)
{
    auto* simple = dynamic_cast<TLcSimpleValue*>(value.get());
    return simple != nullptr ? simple->GetString() : "(not simple)";
}

}  // namespace

TEST(LcXmlRpc, SimpleValuesWriteStandardElementsAndReadBack)
{
    TDateTime date = 0;
    ASSERT_TRUE(TryEncodeDate(2024, 2, 29, date));
    std::vector<std::pair<Obj, std::string>> cases;
    cases.emplace_back(Str("a<b&c>d"), "<value><string>a&lt;b&amp;c&gt;d</string></value>");
    cases.emplace_back(Str("cr\r\nlf"), "<value><string>cr&#13;\nlf</string></value>");
    cases.emplace_back(Make<TLcTextValue>([](auto& v) { v.SetString("\xC3\xA9"); }),
                       "<value><string>\xC3\xA9</string></value>");
    cases.emplace_back(Make<TLcWideStringValue>([](auto& v) { v.SetWideString(u"\u20AC"); }),
                       "<value><string>\xE2\x82\xAC</string></value>");
    cases.emplace_back(Make<TLcVariableName>([](auto& v) { v.SetVarName("\xE9"); }),
                       "<value><string>\xC3\xA9</string></value>");
    cases.emplace_back(Make<TLcBooleanValue>([](auto& v) { v.SetBoolean(true); }),
                       "<value><boolean>1</boolean></value>");
    cases.emplace_back(Make<TLcBooleanValue>([](auto&) {}), "<value><boolean>0</boolean></value>");
    cases.emplace_back(Int(-7), "<value><i4>-7</i4></value>");
    cases.emplace_back(Make<TLcCardinalValue>([](auto& v) { v.SetCardinal(4294967295u); }),
                       "<value><i4>4294967295</i4></value>");
    cases.emplace_back(Make<TLcLargeIntValue>([](auto& v) { v.SetLargeInt(-4294967296); }),
                       "<value><i4>-4294967296</i4></value>");
    cases.emplace_back(Make<TLcFloatValue>([](auto&) {}), "<value><double>0</double></value>");
    cases.emplace_back(Make<TLcFloatValue>([](auto& v) { v.SetFloat(0.1 + 0.2); }),
                       "<value><double>0.30000000000000004</double></value>");
    cases.emplace_back(Make<TLcCurrencyValue>([](auto& v) { v.SetCurrency(15000); }),
                       "<value><double>1.5</double></value>");
    cases.emplace_back(Make<TLcDateTimeValue>([&](auto& v) { v.SetDateTime(date + 0.75); }),
                       "<value><dateTime.iso8601>20240229T18:00:00</dateTime.iso8601></value>");
    cases.emplace_back(Make<TLcByteStream>([](auto& v) { v.GetByteStream()->WriteBuffer("xyz", 3); }),
                       "<value><base64>eHl6</base64></value>");
    cases.emplace_back(Make<TLcByteStream>([](auto&) {}), "<value><base64></base64></value>");
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(Xml(*value), text);
        Obj back = Read(text);
        Obj expected = AsAfterXmlRpc(value.get());
        ExpectSame(expected.get(), back.get(), text);
    }
    TLcValue empty;
    EXPECT_EQ(Xml(empty), "<value><nil/></value>");
    EXPECT_EQ(Read("<value><nil/></value>"), nullptr);
    EXPECT_EQ(Read("<value><NIL /></value>"), nullptr);
}

TEST(LcXmlRpc, ReaderTakesShortFormsAliasesAndMarkup)
{
    const std::vector<std::pair<std::string, std::string>> strings = {
        {"<value>plain text</value>", "plain text"},
        {"<value>  padded </value>", "  padded "},
        {"<value></value>", ""},
        {"<VALUE><String>x</STRING></value>", "x"},
        {"<value><!-- note --><string>y</string></value>", "y"},
        {"<?xml version='1.0'?>\n<value><string>z</string></value>", "z"},
        {"<value><string>&#65;&QUOT;&copy;&amp;&Lt;</string></value>", "A\"&copy;&<"},
        {"<value><string>&#233;&#x20AC;</string></value>", "\xC3\xA9\xE2\x82\xAC"},
        {"<value><string>a & b</string></value>", "a & b"},
        // Character references: &#0; is the zero byte; one that is not well formed, or names no
        // character, is literal text.
        {"<value><string>a&#0;b&#x0;</string></value>", std::string("a\0b\0", 4)},
        {"<value><string>&#65</string></value>", "&#65"},
        {"<value><string>R&#D</string></value>", "R&#D"},
        {"<value><string>&#65;&#66 &#;&#x;</string></value>", "A&#66 &#;&#x;"},
        {"<value><string>&#12 x</string></value>", "&#12 x"},
        {"<value><string>&#xD800;&#1114112;&#x110000;</string></value>", "&#xD800;&#1114112;&#x110000;"},
    };
    for (const auto& [text, value] : strings) {
        Obj back = Read(text);
        ASSERT_NE(back, nullptr) << text;
        EXPECT_EQ(back->GetType(), vt_String) << text;
        EXPECT_EQ(StringOf(back), value) << text;
    }
    const std::vector<std::pair<std::string, TLcValueType>> types = {
        {"<value><i4>7</i4></value>", vt_LargeInt},
        {"<value><int> 7 </int></value>", vt_LargeInt},
        {"<value><dateTime>20240229T18:00:00</dateTime></value>", vt_DateTime},
        {"<value><timestamp>20240229T18:00:00</timestamp></value>", vt_DateTime},
        {"<value><binary>eHl6</binary></value>", vt_ByteStream},
        {"<value><base64Binary>eHl6</base64Binary></value>", vt_ByteStream},
        {"<value><struct><name>a</name><value><i4>1</i4></value></struct></value>", vt_Record},
        {"<struct><member><name>faultString</name><value>x</value></member></struct>", vt_Exception},
        {"<value><array><value>1</value></array></value>", vt_Array},
    };
    for (const auto& [text, type] : types) {
        Obj back = Read(text);
        ASSERT_NE(back, nullptr) << text;
        EXPECT_EQ(back->GetType(), type) << text;
    }
    // An Integer reads an i4 as 7 and writes it back the same way.
    TLcIntegerValue seven;
    size_t at = 0;
    seven.from_XMLrpc("<value><i4>7</i4></value>", at);
    EXPECT_EQ(seven.GetInteger(), 7);
    EXPECT_EQ(Xml(seven), "<value><i4>7</i4></value>");

    // Bare name and value pairs make a record.
    Obj record = Read("<name>a</name><value><i4>1</i4></value><name>b</name><value>x</value>");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(dynamic_cast<TLcRecord&>(*record).StringForm(), "(a=1; b=x)");
}

TEST(LcXmlRpc, FaultsCarryCodeAndMessage)
{
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        // text, code written, text read back
        {"#12:Oops", "12", "#12:Oops"},
        {"Oops", "0", "Oops"},
        {"#12", "12", "#12:"},
        {"#-3:a:b", "-3", "#-3:a:b"},
        {"#x1:Oops", "0", "#x1:Oops"},
        {"#+:sign only", "0", "#+:sign only"},   // a code needs a digit
        {"#0:zero", "0", "zero"},
        {"#", "0", "#"},
    };
    for (const auto& [text, code, back] : cases) {
        TLcExceptionValue fault;
        fault.SetException(text);
        const std::string xml = Xml(fault);
        EXPECT_NE(xml.find("<name>faultCode</name><value><int>" + code + "</int>"), std::string::npos) << xml;
        Obj read = Read(xml);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(dynamic_cast<TLcExceptionValue&>(*read).GetException(), back) << text;
    }
    TLcExceptionValue oops;
    oops.SetException("#12:Oops");
    EXPECT_EQ(Xml(oops),
              "<value><struct>\r\n<member><name>faultCode</name><value><int>12</int></value></member>\r\n"
              "<member><name>faultString</name><value><string>Oops</string></value></member>\r\n</struct></value>");
    // A fault in a method response.
    Obj fault = ReadHolder("<methodResponse><fault><value><struct><member><name>faultCode</name><value><int>4</int>"
                           "</value></member><member><name>faultString</name><value><string>Too many</string>"
                           "</value></member></struct></value></fault></methodResponse>");
    ASSERT_NE(fault, nullptr);
    EXPECT_EQ(dynamic_cast<TLcExceptionValue&>(*fault).GetException(), "#4:Too many");
}

TEST(LcXmlRpc, ContainersByteForByte)
{
    TLcRecord record;
    record.SetObject("a<&", Int(1));
    record.SetObject("n", nullptr);
    auto inner = std::make_unique<TLcArray>();
    inner->SetObject(1, Str("x"));
    record.SetObject("list", std::move(inner));
    const std::string text =
        "<value><struct>\r\n<member><name>a&lt;&amp;</name><value><i4>1</i4></value></member>\r\n"
        "<member><name>list</name><value><array><data>\r\n<value><nil/></value>\r\n"
        "<value><string>x</string></value>\r\n</data></array></value></member>\r\n</struct></value>";
    EXPECT_EQ(Xml(record), text);
    Obj back = Read(text);
    Obj expected = AsAfterXmlRpc(&record);
    ExpectSame(expected.get(), back.get(), text);

    TLcDataSet set;
    set.SetFieldSize("n", 8);
    set.SetFieldRequired("n", true);
    set.SetObject("n", Str("v"));
    set.SetRow(1);
    set.SetObject("k", Int(3));
    const std::string setText =
        "<value><struct><member><name>LC.DATASET.FIELDS</name>\r\n<value><array><data>\r\n"
        "<value><struct>\r\n<member><name>Name</name><value>n</value></member>\r\n"
        "<member><name>Type</name><value>S</value></member>\r\n"
        "<member><name>Size</name><value><int>8</int></value></member>\r\n"
        "<member><name>Required</name><value><boolean>1</boolean></value></member>\r\n</struct></value>\r\n"
        "<value><struct>\r\n<member><name>Name</name><value>k</value></member>\r\n"
        "<member><name>Type</name><value>I</value></member>\r\n</struct></value>\r\n"
        "</data></array></value></member>\r\n<member><name>LC.DATASET.ROWS</name>\r\n<value><array><data>\r\n"
        "<value><array><data>\r\n<value><string>v</string></value>\r\n</data></array></value>\r\n"
        "<value><array><data>\r\n<value><nil/></value>\r\n<value><i4>3</i4></value>\r\n</data></array></value>\r\n"
        "</data></array></value></member></struct></value>";
    EXPECT_EQ(Xml(set), setText);
    back = Read(setText);
    expected = AsAfterXmlRpc(&set);
    ExpectSame(expected.get(), back.get(), "data set");
}

TEST(LcXmlRpc, FunctionCallsInTheirThreeShapes)
{
    TLcFunctionInfo none;
    none.SetFunctionName("f&g");
    TLcFunctionInfo positional;
    positional.SetFunctionName("sum");
    auto params = std::make_unique<TLcArray>();
    params->SetObject(0, Int(1));
    params->SetObject(1, Str("two"));
    positional.SetObject("PARAMS", std::move(params));
    TLcFunctionInfo emptyList;
    emptyList.SetFunctionName("e");
    emptyList.SetObject("PARAMS", std::make_unique<TLcArray>());
    TLcFunctionInfo named;
    named.SetFunctionName("n");
    named.SetObject("a", Int(1));
    const std::vector<std::pair<TLcFunctionInfo*, std::string>> cases = {
        {&none, "<methodCall><methodName>f&amp;g</methodName></methodCall>"},
        {&positional, "<methodCall><methodName>sum</methodName><params>\r\n<param><value><i4>1</i4></value></param>\r\n"
                      "<param><value><string>two</string></value></param>\r\n</params></methodCall>"},
        {&emptyList, "<methodCall><methodName>e</methodName><params></params></methodCall>"},
        {&named, "<methodCall><methodName>n</methodName><params>\r\n<param><value><struct>\r\n<member><name>a</name>"
                 "<value><i4>1</i4></value></member>\r\n</struct></value></param>\r\n</params></methodCall>"},
    };
    for (const auto& [call, text] : cases) {
        EXPECT_EQ(Xml(*call), text);
        Obj back = Read(text);
        Obj expected = AsAfterXmlRpc(call);
        ExpectSame(expected.get(), back.get(), text);
    }
    // One positional record is one struct parameter, as a standard peer writes
    // login({"user": "bob"}); it reads back as the call's named parameters.
    TLcFunctionInfo login;
    login.SetFunctionName("login");
    auto user = std::make_unique<TLcRecord>();
    user->SetObject("user", Str("bob"));
    auto list = std::make_unique<TLcArray>();
    list->SetObject(0, std::move(user));
    login.SetObject("PARAMS", std::move(list));
    const std::string loginText = "<methodCall><methodName>login</methodName><params>\r\n<param><value><struct>\r\n"
                                  "<member><name>user</name><value><string>bob</string></value></member>\r\n"
                                  "</struct></value></param>\r\n</params></methodCall>";
    EXPECT_EQ(Xml(login), loginText);
    Obj loginBack = Read(loginText);
    ASSERT_NE(loginBack, nullptr);
    EXPECT_EQ(dynamic_cast<TLcFunctionInfo&>(*loginBack).StringForm(), "(user=bob)");
    // Named values can say PARAMS and such an array: that call is read as the record's fields
    // at once, so it writes the same text again.
    Obj namedParams = Read("<methodCall><methodName>login</methodName><params><param><name>PARAMS</name><value>"
                           "<array><data><value><struct><member><name>user</name><value>bob</value></member></struct>"
                           "</value></data></array></value></param></params></methodCall>");
    ASSERT_NE(namedParams, nullptr);
    EXPECT_EQ(Xml(*namedParams), loginText);

    // Other spellings of the same calls.
    Obj single = Read("<call><methodName> s </methodName><params><param><value>x</value></param></params></call>");
    ASSERT_NE(single, nullptr);
    auto& call = dynamic_cast<TLcFunctionInfo&>(*single);
    EXPECT_EQ(call.FunctionName(), "s");
    ASSERT_NE(call.GetArray("PARAMS"), nullptr);
    EXPECT_EQ(call.GetArray("PARAMS")->GetString(0), "x");
    Obj bare = Read("<methodCall><methodName>b</methodName><params/></methodCall>");
    EXPECT_EQ(dynamic_cast<TLcFunctionInfo&>(*bare).Count(), 0);
}

TEST(LcXmlRpc, MethodResponses)
{
    Obj one = ReadHolder("<?xml version='1.0'?>\n<methodResponse>\n<params>\n<param>\n<value><int>5</int></value>\n"
                         "</param>\n</params>\n</methodResponse>\n");
    EXPECT_EQ(StringOf(one), "5");
    Obj two = ReadHolder("<methodResponse><params><param><value>a</value></param><param><value>b</value></param>"
                         "</params></methodResponse>");
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(dynamic_cast<TLcArray&>(*two).Count(), 2);
    EXPECT_EQ(dynamic_cast<TLcArray&>(*two).GetString(1), "b");
    Obj named = ReadHolder("<methodResponse><params><param><name>a</name><value>1</value></param>"
                           "<param><name>b</name><value>2</value></param></params></methodResponse>");
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(dynamic_cast<TLcRecord&>(*named).StringForm(), "(a=1; b=2)");
    EXPECT_EQ(ReadHolder("<methodResponse><params/></methodResponse>"), nullptr);
    EXPECT_EQ(ReadHolder("<methodResponse><params></params></methodResponse>"), nullptr);
    Obj bare = ReadHolder("<params><param><value><i4>3</i4></value></param></params>");
    EXPECT_EQ(StringOf(bare), "3");
}

TEST(LcXmlRpc, CorruptTextsFailWithTheFormatsMessages)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<value><string>x</string>", "XML-RPC Error: Closing Tag(s) missing: </VALUE>"},
        {"<value><string>x</value>", "XML-RPC Error: Closing Tag(s) missing: </STRING></VALUE>"},
        {"", "XML-RPC Error: Type identifier expected."},
        {"<value><!-- open <string>x</string></value>", "XML-RPC Error: Tag closing \"-->\" expected, but missing."},
        {"<value><?pi <string>x</string></value>", "XML-RPC Error: Tag closing \"?>\" expected, but missing."},
        {"<value><string>x", "XML-RPC Error: Tag opening \"<\" expected, but missing."},
        {"<value><string", "XML-RPC Error: Tag closing \">\" expected, but missing."},
        {"<value><bogus>1</bogus></value>", "XML-RPC Error: Type identifier expected, <BOGUS> found."},
        {"<struct><member>x</member></struct>",
         "XML-RPC Error: <Struct><Member> Tags followed by plain data (<Name> expected)."},
        {"<value><struct><name>faultCode</name><value>1</value><name>other</name><value>2</value></struct></value>",
         "XML-RPC Error: \"faultCode\" or \"faultString\" expected, but \"other\" found."},
        {"<value><struct><name>faultCode</name><value><array></array></value></struct></value>",
         "XML-RPC Error parsing \"fault\": faultCode value expected, complex object found."},
        {"<value><struct><name>LC.DATASET.ROWS</name><value><array></array></value></struct></value>",
         "XML-RPC Error parsing DataSet: Field definitions missing, tags <member><name>LC.DATASET.ROWS</name> not "
         "found."},
        {"<value><struct><name>LC.DATASET.FIELDS</name><value><array></array></value><name>x</name><value>1</value>"
         "</struct></value>",
         "XML-RPC Error parsing DataSet: \"LC.DATASET.FIELDS\" or \"LC.DATASET.ROWS\" in <name> expected, but \"x\" "
         "found."},
        {"<value><struct><name>LC.DATASET.FIELDS</name><value><array></array></value><name>LC.DATASET.FIELDS</name>"
         "<value><array></array></value></struct></value>",
         "XML-RPC Error parsing DataSet: <member><name>LC.DATASET.FIELDS</name> already parsed, second Fields "
         "definition found."},
        {"<value><struct><name>LC.DATASET.FIELDS</name><value>1</value></struct></value>",
         "XML-RPC Error parsing Dataset: DataSet Fields definitions inside <array> expected, different data type "
         "found."},
        {"<value><struct><name>LC.DATASET.FIELDS</name><value><array><value>1</value></array></value></struct>"
         "</value>",
         "XML-RPC Error parsing Dataset: Field definition inside <struc> expected, different data type found."},
        {"<methodCall><name>x</name></methodCall>", "XML-RPC Error: Tag <METHODNAME> expected, but <NAME> found."},
    };
    for (const auto& [text, message] : cases) {
        ExpectError<ELcInfo>([&] { Read(text); }, message);
    }
    size_t at = 0;
    TLcIntegerValue number;
    ExpectError<ELcInfo>([&] { number.from_XMLrpc("<value>7</value>", at); },
                         "XML-RPC Error: Tag <> found, but <INT> expected.");
    at = 0;
    ExpectError<ELcInfo>([&] { number.from_XMLrpc("<value><string>7</string></value>", at); },
                         "XML-RPC Error: Tag <STRING> found, while <INT> was expected.");
    at = 0;
    ExpectError<ELcInfo>([&] { number.from_XMLrpc("<value></i4></value>", at); },
                         "XML-RPC Error: Type identifier or </value> expected (</I4> found).");
    EXPECT_THROW(Read("<value><i4>seven</i4></value>"), EConvertError);
}

TEST(LcXmlRpc, FailedReadsLeaveContainersEmptyAndInUseIsRefused)
{
    const std::vector<std::pair<std::string, std::function<Obj()>>> cases = {
        {"<value><struct><member><name>a</name><value><i4>1</i4></value></member><member>", [] { return Obj(new TLcRecord); }},
        {"<value><array><data><value>1</value><value><i4>x</i4></value></data></array></value>", [] { return Obj(new TLcArray); }},
        {"<methodCall><methodName>f</methodName><params><param><value>1</value></param><param>", [] { return Obj(new TLcFunctionInfo); }},
        {"<value><struct><name>LC.DATASET.FIELDS</name><value><array><value><struct><name>Name</name><value>a</value>"
         "<name>Type</name><value>S</value></struct></value></array></value><name>LC.DATASET.ROWS</name><value>1</value>",
         [] { return Obj(new TLcDataSet); }},
    };
    for (const auto& [text, make] : cases) {
        Obj container = make();
        size_t at = 0;
        EXPECT_ANY_THROW(container->from_XMLrpc(text, at)) << text;
        const std::string good = Xml(*make());
        at = 0;
        container->from_XMLrpc(good, at);   // empty again: not refused
        EXPECT_EQ(Xml(*container), good) << text;
    }
    size_t at = 0;
    TLcRecord record;
    record.SetObject("a", Int(1));
    ExpectError<ELcInfo>([&] { record.from_XMLrpc("<value><struct></struct></value>", at); },
                         "Can not merge Record data. TLcRecord object is already in use.");
    TLcArray array;
    array.SetObject(0, Int(1));
    ExpectError<ELcInfo>([&] { array.from_XMLrpc("<value><array></array></value>", at); },
                         "Can not merge Array data. TLcArray object is already in use.");
    TLcFunctionInfo call;
    call.SetObject("a", Int(1));
    ExpectError<ELcInfo>([&] { call.from_XMLrpc("<methodCall></methodCall>", at); },
                         "Can not merge Record data. TLcRecord object is already in use.");
    TLcValue holder;
    holder.SetObject(Int(1));
    ExpectError<ELcInfo>([&] { holder.from_XMLrpc("<value>1</value>", at); },
                         "Can not merge data. TLcValue object is already in use.");
}

TEST(LcXmlRpc, WriterRefusesNamesThatCanNotBeReadBack)
{
    TLcRecord record;
    record.SetObject(" padded", Int(1));
    ExpectError<ELcInfo>([&] { Xml(record); }, "Field name \" padded\" can not be read back.");
    TLcFunctionInfo call;
    call.SetFunctionName("f\t");
    ExpectError<ELcInfo>([&] { Xml(call); }, "Function name \"f\t\" can not be read back.");
    TLcDataSet set;
    set.SetFieldType("x\n", ft_String);
    ExpectError<ELcInfo>([&] { Xml(set); }, "Field name \"x\n\" can not be read back.");
}

// XML 1.0 allows no character below U+0020 but tab, LF and CR, not even as a reference: a peer
// refuses a document that holds one. The writer refuses such a text in every place it writes
// text, naming the character; the reader takes them as it did.
TEST(LcXmlRpc, WriterRefusesCharactersXmlForbidsAndTheReaderStillTakesThem)
{
    const std::vector<std::pair<const char*, std::function<Obj(const std::string&)>>> places = {
        {"String", [](const std::string& t) { return Str(t); }},
        {"Text", [](const std::string& t) { return Make<TLcTextValue>([&](auto& v) { v.SetString(t); }); }},
        {"WideString",
         [](const std::string& t) {
             return Make<TLcWideStringValue>([&](auto& v) { v.SetWideString(std::u16string(t.begin(), t.end())); });
         }},
        {"Variable", [](const std::string& t) { return Make<TLcVariableName>([&](auto& v) { v.SetVarName(t); }); }},
        {"Exception", [](const std::string& t) { return Make<TLcExceptionValue>([&](auto& v) { v.SetException("#4:" + t); }); }},
        {"field name",
         [](const std::string& t) {
             auto record = std::make_unique<TLcRecord>();
             record->SetObject(t, Int(1));
             return Obj(std::move(record));
         }},
        {"function name",
         [](const std::string& t) {
             auto call = std::make_unique<TLcFunctionInfo>();
             call->SetFunctionName(t);
             return Obj(std::move(call));
         }},
        {"data set field name",
         [](const std::string& t) {
             auto set = std::make_unique<TLcDataSet>();
             set->SetFieldType(t, ft_String);
             return Obj(std::move(set));
         }},
        {"element of an array",
         [](const std::string& t) {
             auto array = std::make_unique<TLcArray>();
             array->AppendItem(Int(1));
             array->AppendItem(Str(t));
             return Obj(std::move(array));
         }},
    };
    for (int c = 0; c < 0x20; ++c) {
        if (c == '\t' || c == '\n' || c == '\r') {
            continue;
        }
        char code[8];
        std::snprintf(code, sizeof code, "%04X", unsigned(c));
        const std::string message = std::string("XML-RPC Error: Character U+") + code +
                                    " can not be written: XML allows no character below U+0020 but tab, LF and CR.";
        const std::string text = std::string("a") + char(c) + "b";
        for (const auto& [place, make] : places) {
            SCOPED_TRACE(std::string(place) + " with U+" + code);
            Obj value = make(text);
            TLcValue holder;
            holder.SetObject(std::move(value));
            ExpectError<ELcInfo>([&] { Xml(holder); }, message);
        }
        ExpectError<ELcInfo>([&] { XmlEncodeText(text); }, message);
        // The reader takes the character, raw and as a reference.
        EXPECT_EQ(StringOf(Read("<value><string>" + text + "</string></value>")), text);
        EXPECT_EQ(StringOf(Read("<value><string>a&#" + std::to_string(c) + ";b</string></value>")), text);
    }
    ExpectError<ELcInfo>([] { XmlEncodeText("\x01x]]>y\r\n\xff"); },
                         "XML-RPC Error: Character U+0001 can not be written: XML allows no character below U+0020 "
                         "but tab, LF and CR.");
    EXPECT_EQ(XmlEncodeText("\tx]]>y\r\n\x7f\xff"), "\tx]]&gt;y&#13;\n\x7f\xff");
}

// What the reader takes, the writer writes, and that text reads back to a value that writes
// the same text again.
void ExpectRoundTrip(const std::string& text)
{
    Obj first = ReadHolder(text);
    TLcValue holder;
    holder.SetObject(first ? first->copyOf() : nullptr);
    std::string written;
    ASSERT_NO_THROW(written = Xml(holder)) << text;
    Obj again = ReadHolder(written);
    TLcValue back;
    back.SetObject(std::move(again));
    EXPECT_EQ(Xml(back), written) << text;
}

TEST(LcXmlRpc, WhatIsReadWritesAndReadsBackTheSame)
{
    const std::string overlongBlank = "\xC0\xA0", overlongDot = "\xC0\xAE";
    const std::vector<std::string> texts = {
        // Names are trimmed after their decoding too.
        "<value><struct><member><name>a" + overlongBlank + "</name><value>1</value></member></struct></value>",
        "<methodCall><methodName>f" + overlongBlank + "</methodName></methodCall>",
        "<methodCall><methodName>f</methodName><params><param><name>n" + overlongBlank +
            "</name><value>1</value></param></params></methodCall>",
        // A field definition's name is trimmed as member names are.
        "<value><struct><member><name>LC.DATASET.FIELDS</name><value><array><data><value><struct><member><name>Name"
        "</name><value> a </value></member><member><name>Type</name><value>S</value></member></struct></value>"
        "</data></array></value></member></struct></value>",
        // The type of a struct is told by its first member's name as the readers decode it.
        "<value><struct><member><name>LC" + overlongDot + "DATASET.FIELDS</name><value><array></array></value>"
        "</member></struct></value>",
    };
    for (const std::string& text : texts) {
        ExpectRoundTrip(text);
    }
}

TEST(LcXmlRpc, NamedValuesAreAStructWithoutItsTags)
{
    // Named values of a method response or a call are told apart by their first name, as a
    // bare struct is: so the value reads back the same once it is written as a struct.
    const std::string fault = "<param><name>faultCode</name><value><int>4</int></value></param>"
                              "<param><name>faultString</name><value>x</value></param>";
    const std::string response = "<methodResponse><params>" + fault + "</params></methodResponse>";
    const std::string call = "<methodCall><methodName>m</methodName><params>" + fault + "</params></methodCall>";
    ExpectRoundTrip(response);
    ExpectRoundTrip(call);
    // A data set's member that is neither of its two is refused, as in a struct. This text was
    // read as a record that was then written as a data set the reader refused.
    const std::string found = Base64DecodeText(
        "PCFhcmFtcyU8cGFtcj48cGFyYW0+PCE8bWV0T0UdRFM8L25hbWU+PCE8bWU+PG5hbWU+TEMuREFUQVNFVC5GSUVMRFM8L25hbWU+PCE8bQsA"
        "AAAAAAAAZT48bmFtZT5MQy5EQVQuRklFTERTPC9uYW1lPjwhYXJhbXIAAABlPjwvm8A8L3ZhAA0kZT48dmFsdWU+PGQ=");
    TLcValue holder;
    size_t at = 0;
    ExpectError<ELcInfo>([&] { holder.from_XMLrpc(found, at); },
                         "XML-RPC Error parsing DataSet: \"LC.DATASET.FIELDS\" or \"LC.DATASET.ROWS\" in <name> "
                         "expected, but \"LC.DAT.FIELDS\" found.");

    Obj exception = ReadHolder(response);
    ASSERT_NE(exception, nullptr);
    ASSERT_EQ(exception->GetType(), vt_Exception);
    EXPECT_EQ(dynamic_cast<TLcExceptionValue&>(*exception).GetException(), "#4:x");
    Obj set = ReadHolder("<methodResponse><params><param><name>LC.DATASET.FIELDS</name><value><array><data><value>"
                         "<struct><member><name>Name</name><value>a</value></member><member><name>Type</name><value>I"
                         "</value></member></struct></value></data></array></value></param></params>"
                         "</methodResponse>");
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->GetType(), vt_DataSet);
    EXPECT_EQ(dynamic_cast<TLcDataSet&>(*set).FieldName(0), "a");
    // In a call, a fault is one positional parameter.
    Obj faultCall = ReadHolder(call);
    ASSERT_NE(faultCall, nullptr);
    TLcArray* params = dynamic_cast<TLcFunctionInfo&>(*faultCall).GetArray("PARAMS");
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(params->GetString(0), "#4:x");
}

TEST(LcXmlRpc, BareAmpersandsAreReadInLinearTime)
{
    // Each "&" looks for its ";" only within an entity's reach.
    const std::string text = "<value><string>" + std::string(4 << 20, '&') + "</string></value>";
    const auto start = std::chrono::steady_clock::now();
    Obj back = Read(text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(StringOf(back).size(), size_t{4} << 20);
}

TEST(LcXmlRpc, NestingIsLimited)
{
    const auto nested = [](int levels) {
        std::string text;
        for (int i = 0; i < levels; ++i) {
            text += "<value><array><data>";
        }
        text += "<value><nil/></value>";
        for (int i = 0; i < levels; ++i) {
            text += "</data></array></value>";
        }
        return text;
    };
    Obj deepest = Read(nested(kXmlRpcNestingLimit));
    ASSERT_NE(deepest, nullptr);
    ExpectError<ELcInfo>([&] { Read(nested(kXmlRpcNestingLimit + 1)); },
                         "XML-RPC Error: Values nested deeper than " + std::to_string(kXmlRpcNestingLimit) + " levels.");
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<struct><name>a</name>";
    }
    EXPECT_THROW(Read(deep), ELcInfo);
    std::string responses;
    for (int i = 0; i < 100000; ++i) {
        responses += "<methodResponse><params><param>";
    }
    EXPECT_THROW(ReadHolder(responses), ELcInfo);
}

TEST(LcXmlRpc, RandomTreesRoundTrip)
{
    constexpr int kTrees = 400;
    constexpr int kDepth = 4;
    TRandomValues random(4711, {/*WholeSeconds=*/true, /*PrintableText=*/false, /*NoCalls=*/false,
                                /*XmlCharacters=*/true});
    for (int i = 0; i < kTrees; ++i) {
        Obj tree = random.Tree(kDepth);
        TLcValue holder;
        holder.SetObject(tree ? tree->copyOf() : nullptr);
        const std::string text = Xml(holder);
        Obj back = Read(text);
        Obj expected = AsAfterXmlRpc(tree.get());
        ExpectSame(expected.get(), back.get(), "tree " + std::to_string(i) + ": " + text.substr(0, 400));
        // What was read writes what the expected tree writes (currency has become a float).
        TLcValue again;
        again.SetObject(std::move(back));
        TLcValue expectedHolder;
        expectedHolder.SetObject(std::move(expected));
        EXPECT_EQ(Xml(again), Xml(expectedHolder)) << "tree " << i;
        if (HasFailure()) {
            break;
        }
    }
}
