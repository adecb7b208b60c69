#include "lectern/app/uStartup.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(BookChoice, FirstParameterIsABookOnlyWhenItExistsAndIsNoPageName)
{
    const std::string exe = "C:\\Books\\lectern.exe";
    const std::set<std::string> files = {"D:\\b\\manual.lbk", "D:\\b\\manual", "D:\\b\\start.htm",
                                         "D:\\b\\x.h", "D:\\b\\x.HTML", "D:\\b\\x.xhtml", "D:\\b\\x."};
    struct Case {
        std::vector<std::string> params;
        std::string book;
        std::string dir;
        int used;
    };
    const Case cases[] = {
        {{}, exe, "C:\\Books\\", 0},
        {{""}, exe, "C:\\Books\\", 0},
        {{"D:\\b\\manual.lbk", "12"}, "D:\\b\\manual.lbk", "D:\\b\\", 1},
        {{"D:\\b\\manual"}, "D:\\b\\manual", "D:\\b\\", 1},      // no extension: a book
        {{"D:\\b\\missing.lbk"}, exe, "C:\\Books\\", 0},         // missing file
        {{"D:\\b\\start.htm"}, exe, "C:\\Books\\", 0},           // pieces of ".html" are page names
        {{"D:\\b\\x.h"}, exe, "C:\\Books\\", 0},
        {{"D:\\b\\x.HTML"}, exe, "C:\\Books\\", 0},
        {{"D:\\b\\x."}, exe, "C:\\Books\\", 0},
        {{"D:\\b\\x.xhtml"}, "D:\\b\\x.xhtml", "D:\\b\\", 1},   // not inside ".html"
        {{"12"}, exe, "C:\\Books\\", 0},
    };
    for (const Case& c : cases) {
        int asked = 0;
        const TBookChoice choice = ChooseBook(c.params, exe, [&](const std::string& p) {
            ++asked;
            return files.count(p) > 0;
        });
        const std::string what = c.params.empty() ? "(none)" : c.params[0];
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
