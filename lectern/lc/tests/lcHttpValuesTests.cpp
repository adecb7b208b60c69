#include "lectern/lc/lcHttpValues.h"

#include "lectern/lc/lcInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

// Every name with its values ("name=v1|v2") or upload ("name@file:start:length"), in list
// order and joined by "; ". Upload starts are given as 0-based offsets into the body.
std::string Dump(TLcHttpValues& values)
{
    std::string out;
    for (int i = 0; i < values.NameCount(); ++i) {
        const std::string name = values.NameAt(i);
        if (!out.empty()) {
            out += "; ";
        }
        out += name;
        if (const TUploadFileObject* upload = values.UploadOf(name)) {
            const bool inFile = !values.TempFileName().empty();
            out += "@" + upload->FileName() + ":" + std::to_string(upload->Start() - (inFile ? 0 : 1)) + ":" +
                   std::to_string(upload->Length());
            continue;
        }
        out += "=";
        for (int j = 0; j < values.ValueCountOf(name); ++j) {
            if (j > 0) {
                out += "|";
            }
            out += values.ValueOf(name, j);
        }
    }
    return out;
}

// ---- name=value pairs -----------------------------------------------------------------------

TEST(HttpValuesPairs, ParseTable)
{
    struct Case {
        const char* text;
        const char* separator;
        const char* dump;
    } cases[] = {
        {"a=1&b=2&a=3", "&", "a=1|3; b=2"},
        {"x=1;y=2", ";", "x=1; y=2"},
        {"x=1&y=2;z", "&", "x=1; y=2;z"},
        {"x", "&", ""},
        {"&&a=1&&", "&", "a=1"},
        {"flag&a=1&=e&b==2", "&", "a=1; =e; b==2"},
        {" \tname =value \r\n;k=", ";", "name=value \r\n; k="},
        {"A=1&a=2", "&", "A=1|2"},
        {"a=%41+b", "&", "a=%41+b"},  // kept as it stands: no decoding
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TLcHttpValues values;
        values.SetEncodedText(c.text);
        EXPECT_EQ(Dump(values), c.dump);
        EXPECT_EQ(values.Separator(), c.separator);
    }
}

TEST(HttpValuesPairs, LookupsByNameAndIndex)
{
    TLcHttpValues values;
    values.SetEncodedText("a=1&b=2&a=3");
    EXPECT_EQ(values.NameCount(), 2);
    EXPECT_EQ(values.ValueCountOf("A"), 2);
    EXPECT_EQ(values.ValueOf("a", 1), "3");
    EXPECT_EQ(values.ValueOf("a", 2), "");
    EXPECT_EQ(values.ValueOf("missing", 0), "");
    EXPECT_EQ(values.ValueCountOf("missing"), 0);
    EXPECT_EQ(values.ValueAt(0), "3");  // the last value
    EXPECT_EQ(values.NameAt(2), "");
    EXPECT_EQ(values.ValueAt(2), "");
}

TEST(HttpValuesPairs, NegativeIndexesAreRejected)
{
    TLcHttpValues values;
    values.SetEncodedText("a=1&b=2");
    EXPECT_EQ(values.NameAt(-1), "");
    EXPECT_EQ(values.ValueAt(-1), "");
    EXPECT_EQ(values.ValueOf("a", -1), "");
    values.SetNameAt(-1, "x");
    values.SetValueAt(-1, "x");
    EXPECT_EQ(values.EncodedText(), "a=1&b=2");
    TStringArray array;
    array.Add("only");
    EXPECT_EQ(array.ValueAt(-1), "");
}

TEST(HttpValuesPairs, ChangesAreComposedInListOrder)
{
    TLcHttpValues values;
    values.SetEncodedText("a=1;b=2;a=3;c=x");
    values.SetValueAt(1, "two words");  // no encoding
    values.SetNameAt(2, "C2");
    values.SetValueAt(0, "");  // removes a's last value
    EXPECT_EQ(values.EncodedText(), "a=1;b=two words;C2=x");
    values.SetValueAt(0, "");  // a's array is left empty: the name holds nothing
    EXPECT_EQ(values.ValueCountOf("a"), 0);
    EXPECT_EQ(values.EncodedText(), "a=;b=two words;C2=x");
    values.SetValueAt(0, "new");
    values.SetSeparator("&");
    EXPECT_EQ(values.EncodedText(), "a=new&b=two words&C2=x");
    EXPECT_EQ(values.ValueOf("c2", 0), "x");
    EXPECT_EQ(values.ValueCountOf("c"), 0);
}

TEST(HttpValuesPairs, ComposeThenParseGivesTheSameValues)
{
    const char* texts[] = {"a=1&b=2&a=3", "k=v;k=w;m=", "x= spaced value &y==z", "only=one"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        TLcHttpValues values;
        values.SetEncodedText(text);
        values.SetValueAt(0, "changed");
        const std::string before = Dump(values);
        const std::string composed = values.EncodedText();
        TLcHttpValues again;
        again.SetEncodedText(composed);
        EXPECT_EQ(Dump(again), before);
        EXPECT_EQ(again.Separator(), values.Separator());
    }
}

TEST(HttpValuesPairs, AddedTextIsParsedWithoutRepeatingEarlierValues)
{
    TLcHttpValues values;
    values.SetEncodedText("a=1");
    EXPECT_EQ(values.ValueCountOf("a"), 1);
    values.AddText("&b=2");
    EXPECT_EQ(Dump(values), "a=1; b=2");
    values.SetValueAt(1, "3");
    values.AddText("&c=4");  // composes the change first
    EXPECT_EQ(Dump(values), "a=1; b=3; c=4");
}

// ---- temporary file ---------------------------------------------------------------------------

TEST(HttpValuesFile, LargeTextMovesToATemporaryFileThatClearDeletes)
{
    TLcHttpValues values;
    std::string text = "big=" + std::string(20000 - 4 - 6, 'x') + "&s=end";
    ASSERT_EQ(text.size(), 20000u);
    values.SetEncodedText(text);
    const std::string file = values.TempFileName();
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(FileIsOpenable(file));
    EXPECT_EQ(values.EncodedText(), text);
    values.Clear();
    EXPECT_TRUE(values.TempFileName().empty());
    EXPECT_FALSE(FileIsOpenable(file));

    // Below the limit the text stays in memory; a negative limit never spills.
    values.SetEncodedText(std::string(15999, 'y'));
    EXPECT_TRUE(values.TempFileName().empty());
    values.SetCacheLimit(-1);
    values.SetEncodedText(text);
    EXPECT_TRUE(values.TempFileName().empty());
    values.SetCacheLimit(10);
    values.SetEncodedText("a=1&b=2&c=3");
    EXPECT_FALSE(values.TempFileName().empty());
    // Pairs are read back into memory to be parsed, and the file goes.
    const std::string small = values.TempFileName();
    EXPECT_EQ(Dump(values), "a=1; b=2; c=3");
    EXPECT_TRUE(values.TempFileName().empty());
    EXPECT_FALSE(FileIsOpenable(small));
}

// ---- multipart ------------------------------------------------------------------------------

std::string Part(const std::string& boundary, const std::string& disposition, const std::string& content,
                 const std::string& headers = "")
{
    return "--" + boundary + "\r\nContent-Disposition: " + disposition + "\r\n" + headers + "\r\n" + content + "\r\n";
}

// A one-part body with boundary "bnd" whose first line is line.
std::string FirstLine(const std::string& line) { return "--bnd\r\n" + line + "\r\n\r\nv\r\n--bnd--\r\n"; }

struct MultipartCase {
    const char* title;
    std::string boundary;
    std::string body;
    std::string dump;
    std::string error;  // the message of the ELcInfo raised, or empty
};

std::vector<MultipartCase> MultipartCases()
{
    const std::string d = "bnd";
    const std::string w = "----WebKitFormBoundary7MA4YWxkTrZu0gW";
    const std::string q = "'()+_,-./:=? x";  // every character a boundary may hold
    const std::string end = "--bnd--\r\n";
    std::vector<MultipartCase> c;
    c.push_back({"one field", d, Part(d, "form-data; name=\"f\"", "abc") + end, "f=abc", ""});
    c.push_back({"upload", d, Part(d, "form-data; name=\"f\"; filename=\"a.txt\"", "abc") + end,
                 "f@a.txt:69:3", ""});
    c.push_back({"extra header line", d,
                 Part(d, "form-data; name=\"f\"", "abc", "Content-Type: text/plain\r\n") + end, "f=abc", ""});
    c.push_back({"fields, a repeated name and a file", w,
                 "preamble\r\n" + Part(w, "form-data; name=\"a\"", "1") + Part(w, "form-data; name=\"b\"", "") +
                     Part(w, "form-data; name=\"A\"", "line1\r\nline2") +
                     Part(w, "form-data; name=\"up\"; filename=\"x.bin\"", std::string("\0\1\2", 3),
                          "Content-Type: application/octet-stream\r\n") +
                     "--" + w + "--\r\n",
                 "a=1|line1\r\nline2; b=; up@x.bin:428:3", ""});
    c.push_back({"boundary text inside content", d, Part(d, "form-data; name=\"f\"", "x--bndy\r\n-bnd") + end,
                 "f=x--bndy\r\n-bnd", ""});
    c.push_back({"punctuation boundary", q, Part(q, "form-data; name=\"f\"", "v") + "--" + q + "--\r\n", "f=v", ""});
    c.push_back({"names and blanks", d,
                 Part(d, " form-data ;name = \"n m\" ;  FILENAME=\"\"", "v") +
                     Part(d, "FORM-DATA; NAME=\"f\"; filename=\"b c\"  ", "w") + end,
                 "n m=v; f@b c:143:1", ""});
    c.push_back({"later upload replaces the earlier", d,
                 Part(d, "form-data; name=\"f\"; filename=\"1\"", "aa") +
                     Part(d, "form-data; name=\"f\"; filename=\"2\"", "bbb") + end,
                 "f@2:134:3", ""});
    c.push_back({"parts that hold nothing", d,
                 "--bnd\r\nContent-Disposition: form-data; name=\"a\"\r\n--bnd\r\n"
                 "Content-Disposition: form-data; name=\"b\"\r\nX: y\r\n" +
                     Part(d, "form-data; name=\"c\"", "") + end,
                 "c=", ""});
    c.push_back({"no final boundary", d, Part(d, "form-data; name=\"f\"", "abc") + "--bnd", "f=abc", ""});
    c.push_back({"final boundary without CR LF", d, Part(d, "form-data; name=\"f\"", "abc") + "--bnd--", "f=abc", ""});
    c.push_back({"no boundary at all", d, "a=1&b=2", "", ""});
    c.push_back({"boundary at the very start", d, "bnd\r\n", "", ""});
    c.push_back({"cut off inside the content", d, "--bnd\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nabc",
                 "", "Delimiter missing after Multipart data."});
    c.push_back({"content ends with LF only", d,
                 Part(d, "form-data; name=\"a\"", "1") + "--bnd\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\n"
                                                         "abc\n--bnd--\r\n",
                 "a=1", "Delimiter missing after Multipart data."});
    c.push_back({"LF line ends", d, "--bnd\nContent-Disposition: form-data; name=\"f\"\n\nabc\n--bnd--\n", "",
                 "Missing <CRLF> after Delimiter in Multipart text"});
    c.push_back({"disposition line without CR LF", d, "--bnd\r\nContent-Disposition: form-data; name=\"f\"", "",
                 "Missing <CRLF> in Multipart text"});
    c.push_back({"header line without CR LF", d, "--bnd\r\nContent-Disposition: form-data; name=\"f\"\r\nX: y",
                 "", "Missing <CRLF> after content disposition param."});
    c.push_back({"second header line without CR LF", d,
                 "--bnd\r\nContent-Disposition: form-data; name=\"f\"\r\nX: y\r\nZ", "",
                 "Missing <CRLF> after content header."});
    c.push_back({"empty first line", d, "--bnd\r\n\r\n\r\nabc\r\n--bnd--\r\n", "",
                 "Missing field name in Multipart text."});
    c.push_back({"boundary not preceded by dashes", d, "xx" + Part(d, "form-data; name=\"a\"", "1").substr(2) + end, "",
                 "Missing \"--\" at the beginning of a new Multipart data"});
    c.push_back({"attachment", d, Part(d, "attachment; name=\"f\"", "abc") + end, "",
                 "Invalid disposition type \" attachment\", expecting \"FORM-DATA\" in Multipart text"});
    c.push_back({"field then file under one name", d,
                 Part(d, "form-data; name=\"f\"", "abc") + Part(d, "form-data; name=\"F\"; filename=\"a\"", "x") +
                     end,
                 "f=abc", "Duplicate value for \"F\" in Multipart text"});
    c.push_back({"file then field under one name", d,
                 Part(d, "form-data; name=\"f\"; filename=\"a\"", "x") + Part(d, "form-data; name=\"f\"", "abc") +
                     end,
                 "f@a:65:1", "Duplicate value for \"f\" in Multipart text"});
    c.push_back({"no colon", d, FirstLine("Content-Disposition form-data; name=\"f\""), "",
                 "Missing \":\" (after \"Content-disposition\"?) in Multipart text"});
    c.push_back({"other header first", d, FirstLine("Content-Type: text/plain"), "",
                 "Missing \"Content-disposition\" in Multipart data"});
    c.push_back({"no semicolon", d, Part(d, "form-data name=\"f\"", "v") + end, "",
                 "Missing \";\" (after \"form-data\"?) in Multipart text."});
    c.push_back({"no equals", d, Part(d, "form-data; name", "v") + end, "",
                 "Missing \"=\" (after \"name\"?) in Multipart text."});
    c.push_back({"not name", d, Part(d, "form-data; title=\"f\"", "v") + end, "",
                 "Invalid disposition param \" title\", expecting \"NAME\" in Multipart text"});
    c.push_back({"unquoted name", d, Part(d, "form-data; name=f", "v") + end, "",
                 "Parameter names have to be in quotes. Missing opening <\"> in Multipart text"});
    c.push_back({"unclosed name", d, Part(d, "form-data; name=\"f", "v") + end, "",
                 "Parameter names have to be in quotes. Missing closing <\"> in Multipart text"});
    c.push_back({"data after the name", d, Part(d, "form-data; name=\"f\" junk", "v") + end, "",
                 "Error. Data after content disposition param: \"junk\"."});
    c.push_back({"filename without equals", d, Part(d, "form-data; name=\"f\"; filename", "v") + end, "",
                 "Missing \"=\" (after \"filename\"?) in Multipart text."});
    c.push_back({"not filename", d, Part(d, "form-data; name=\"f\"; size=\"3\"", "v") + end, "",
                 "Invalid disposition param \" size\", expecting \"FILENAME\" in Multipart text"});
    c.push_back({"data after the file name", d, Part(d, "form-data; name=\"f\"; filename=\"a\"; x", "v") + end,
                 "", "Error. Data after content disposition param: \"; x\"."});
    return c;
}

// Parses the body with the boundary, either in memory or from a temporary file.
void ParseBody(TLcHttpValues& values, const MultipartCase& c, bool inFile)
{
    values.SetCacheLimit(inFile ? 1 : -1);
    values.SetSeparator(c.boundary);
    values.AddText(c.body);
    ASSERT_EQ(values.TempFileName().empty(), !inFile);
}

TEST(HttpValuesMultipart, MemoryAndFileReadersGiveTheSameResult)
{
    static_assert(std::is_same_v<decltype(TUploadFileObject("", 0, 0).Start()), int64_t>);
    static_assert(std::is_same_v<decltype(TUploadFileObject("", 0, 0).Length()), int64_t>);
    for (const MultipartCase& c : MultipartCases()) {
        for (const bool inFile : {false, true}) {
            SCOPED_TRACE(std::string(c.title) + (inFile ? " (file)" : " (memory)"));
            TLcHttpValues values;
            ParseBody(values, c, inFile);
            std::string error;
            try {
                values.NameCount();
            } catch (const ELcInfo& e) {
                error = e.Message();
            }
            EXPECT_EQ(error, c.error);
            EXPECT_EQ(Dump(values), c.dump);  // what was parsed before a fault stays
        }
    }
}

TEST(HttpValuesMultipart, UploadPositionsLocateTheContentInEitherMedium)
{
    const std::string body = Part("BND", "form-data; name=\"a\"", "1") +
                             Part("BND", "form-data; name=\"f\"; filename=\"a.txt\"", "file\r\ncontent") + "--BND--\r\n";
    for (const bool inFile : {false, true}) {
        SCOPED_TRACE(inFile ? "file" : "memory");
        TLcHttpValues values;
        ParseBody(values, {"", "BND", body, "", ""}, inFile);
        EXPECT_EQ(values.ValueOf("f", 0), "a.txt");
        EXPECT_EQ(values.ValueCountOf("f"), 1);
        const TUploadFileObject* upload = values.UploadOf("F");
        ASSERT_NE(upload, nullptr);
        const std::string content =
            inFile ? ReadFileRange(values.TempFileName(), 0, upload->Length(), upload->Start())
                   : values.EncodedText().substr(static_cast<size_t>(upload->Start() - 1),
                                                 static_cast<size_t>(upload->Length()));
        EXPECT_EQ(content, "file\r\ncontent");
    }
}

TEST(HttpValuesMultipart, ComposeThenParseGivesTheSameValues)
{
    const std::string boundary = "xYz-42";
    const std::string body = Part(boundary, "form-data; name=\"a\"", "1") +
                             Part(boundary, "form-data; name=\"b\"", "two\r\nlines") +
                             Part(boundary, "form-data; name=\"a\"", "3") +
                             Part(boundary, "form-data; name=\"up\"; filename=\"u.txt\"", "data") + "--" + boundary +
                             "--\r\n";
    TLcHttpValues values;
    ParseBody(values, {"", boundary, body, "", ""}, false);
    values.SetValueAt(1, "changed");
    const std::string composed = values.EncodedText();
    TLcHttpValues again;
    again.SetSeparator(boundary);
    again.AddText(composed);
    // The upload comes back as a value holding its file name.
    EXPECT_EQ(Dump(again), "a=1|3; b=changed; up=u.txt");

    // Pairs switched to a boundary compose as a multipart body.
    TLcHttpValues pairs;
    pairs.SetEncodedText("k=v&k=w&e=");
    pairs.SetSeparator("BND");
    const std::string multipart = pairs.EncodedText();
    EXPECT_EQ(multipart.substr(0, 5), "--BND");
    TLcHttpValues back;
    back.SetSeparator("BND");
    back.AddText(multipart);
    EXPECT_EQ(Dump(back), "k=v|w; e=");
}

TEST(HttpValuesMultipart, ChangesToABodyInATemporaryFileAreNotLost)
{
    const std::string body = Part("BND", "form-data; name=\"a\"", "1") + Part("BND", "form-data; name=\"b\"", "2") +
                             "--BND--\r\n";
    TLcHttpValues values;
    ParseBody(values, {"", "BND", body, "", ""}, true);
    const std::string file = values.TempFileName();
    values.SetValueAt(0, "changed");
    const std::string composed = values.EncodedText();
    EXPECT_NE(composed.find("\r\n\r\nchanged\r\n"), std::string::npos) << composed;
    EXPECT_TRUE(values.TempFileName().empty());
    EXPECT_FALSE(FileIsOpenable(file));

    // An edit followed by more text keeps the edit as well.
    TLcHttpValues more;
    ParseBody(more, {"", "BND", Part("BND", "form-data; name=\"a\"", "1") + "--BND--\r\n", "", ""}, true);
    EXPECT_EQ(Dump(more), "a=1");
    more.SetValueAt(0, "edited");
    more.AddText("epilogue");
    EXPECT_FALSE(more.TempFileName().empty());
    EXPECT_EQ(Dump(more), "a=edited");
}

TEST(HttpValuesMultipart, SettingEncodedTextForgetsTheBoundary)
{
    TLcHttpValues values;
    values.SetSeparator("D");
    values.SetSeparator("DD");
    values.SetEncodedText("x=1;y=2");
    EXPECT_EQ(values.Separator(), ";");
    EXPECT_EQ(Dump(values), "x=1; y=2");
}

}  // namespace
