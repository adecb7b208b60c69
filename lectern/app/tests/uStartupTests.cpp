#include "lectern/app/uStartup.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(BookChoice, FirstParameterIsABookOnlyWhenItExistsAndIsNoPageName)
{
    const std::u16string exe = u"C:\\Books\\lectern.exe";
    const std::set<std::u16string> files = {u"D:\\b\\manual.lbk", u"D:\\b\\manual", u"D:\\b\\start.htm",
                                            u"D:\\b\\x.h", u"D:\\b\\x.HTML", u"D:\\b\\x.xhtml", u"D:\\b\\x.",
                                            u"D:\\полка\\книга-本.lb"};
    struct Case {
        std::vector<std::u16string> params;
        std::u16string book;
        std::u16string dir;
        int used;
    };
    const Case cases[] = {
        {{}, exe, u"C:\\Books\\", 0},
        {{u""}, exe, u"C:\\Books\\", 0},
        {{u"D:\\b\\manual.lbk", u"12"}, u"D:\\b\\manual.lbk", u"D:\\b\\", 1},
        {{u"D:\\b\\manual"}, u"D:\\b\\manual", u"D:\\b\\", 1},      // no extension: a book
        {{u"D:\\b\\missing.lbk"}, exe, u"C:\\Books\\", 0},         // missing file
        {{u"D:\\b\\start.htm"}, exe, u"C:\\Books\\", 0},           // pieces of ".html" are page names
        {{u"D:\\b\\x.h"}, exe, u"C:\\Books\\", 0},
        {{u"D:\\b\\x.HTML"}, exe, u"C:\\Books\\", 0},
        {{u"D:\\b\\x."}, exe, u"C:\\Books\\", 0},
        {{u"D:\\b\\x.xhtml"}, u"D:\\b\\x.xhtml", u"D:\\b\\", 1},   // not inside ".html"
        {{u"12"}, exe, u"C:\\Books\\", 0},
        // Names the code page lacks stay whole.
        {{u"D:\\полка\\книга-本.lb"}, u"D:\\полка\\книга-本.lb", u"D:\\полка\\", 1},
    };
    for (const Case& c : cases) {
        int asked = 0;
        const TBookChoice choice = ChooseBook(c.params, exe, [&](const std::u16string& p) {
            ++asked;
            return files.count(p) > 0;
        });
        const size_t what = &c - cases;
        EXPECT_EQ(choice.BookPath, c.book) << what;
        EXPECT_EQ(choice.BaseDir, c.dir) << what;
        EXPECT_EQ(choice.ParamsUsed, c.used) << what;
    }
}

TEST(StartPage, CommandLineTopicsAndIndex)
{
    TStringList map;
    map.SetText("12=chapter12.html\r\n7=a/seven.htm\r\n");
    TStringList noMap;
    const std::string base = "http://127.0.0.1:8001/tomekit.7/GUID/";
    struct Case {
        std::vector<std::string> params;
        int used;
        bool commandline;
        const TStringList* topics;
        std::string index;
        std::string address;
    };
    const Case cases[] = {
        {{"start.htm"}, 0, true, &map, "", base + "start.htm"},
        {{"start.htm"}, 0, false, &map, "", base + "index.html"},       // Commandline off
        {{"book.lbk"}, 1, true, &map, "intro.html", base + "intro.html"},  // nothing after the book
        {{"book.lbk", "12"}, 1, true, &map, "", base + "chapter12.html"},
        {{"7"}, 0, true, &map, "", base + "a/seven.htm"},
        {{"99"}, 0, true, &map, "intro.html", base + "intro.html"},     // unmapped topic: start page
        {{"0"}, 0, true, &map, "", base + "0"},                         // "0" is a page name
        {{"12"}, 0, true, &noMap, "", base + "12"},                     // no map: a page name
        {{"http://example.org/x"}, 0, true, &map, "", "http://example.org/x"},
        {{"HTTP://example.org/x"}, 0, true, &map, "", base + "HTTP://example.org/x"},
        {{}, 0, true, &map, "http://127.0.0.1:9/start", "http://127.0.0.1:9/start"},
    };
    for (const Case& c : cases) {
        const std::string param = FirstPageParam(c.params, c.used, c.commandline);
        EXPECT_EQ(StartPageAddress(ResolveTopic(param, *c.topics), c.index, base), c.address) << param;
    }
}

TEST(UrlPrefix, ProducerIdIsOnePercentEncodedSegment)
{
    const std::string guid = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    EXPECT_EQ(UrlPrefix("tomekit.7", guid), "/tomekit.7/" + guid);
    EXPECT_EQ(UrlPrefix("a b/c?d#e%f", guid), "/a%20b%2Fc%3Fd%23e%25f/" + guid);
    EXPECT_EQ(UrlPrefix("tomekit.7", ""), "/tomekit.7");
    EXPECT_EQ(UrlPrefix("", guid), "/" + guid);
    EXPECT_EQ(PercentEncodePathSegment("\xE4-_.~Az09"), "%E4-_.~Az09");
    EXPECT_EQ(BaseUrl("127.0.0.1", "8000", "/tomekit.7/" + guid), "http://127.0.0.1:8000/tomekit.7/" + guid + "/");
}

}  // namespace
