// The message heads: field lines in and out byte for byte, start lines, cookies, query and
// path elements.
#include "lectern/lc/lcHttpHeader.h"

#include "lectern/lc/lcHttpValues.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/tests/ExpectError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

struct ComposeCase {
    bool response;  // read by a response, else by a request
    const char* what;
    std::string head;      // given to SetHeaderLines
    std::string composed;  // HeaderLines afterwards
};

// Field lines of a request and of a response, read and written again.
TEST(HttpHeaderTest, FieldLinesComposeToExactBytes)
{
    const std::vector<ComposeCase> cases = {
        {false, "plain", "Host: 127.0.0.1:8000\r\nAccept: */*\r\n\r\n", "Host: 127.0.0.1:8000\r\nAccept: */*\r\n"},
        {false, "no final line break", "Host: h", "Host: h\r\n"},
        {false, "trimmed name and value", " \tX-A :  v 1 \t\r\n", "X-A: v 1\r\n"},
        {false, "value holding colons", "Referer: http://h:80/a\r\n", "Referer: http://h:80/a\r\n"},
        {false, "repeat keeps first spelling, last value", "Accept: a\r\nX: 1\r\nACCEPT: b\r\n",
         "Accept: b\r\nX: 1\r\n"},
        {false, "empty values are not written", "A:\r\nB: 1\r\nC:  \r\n", "B: 1\r\n"},
        {false, "emptied field is not written", "A: 1\r\nB: 2\r\na:\r\n", "B: 2\r\n"},
        {false, "line without colon skipped", "junk\r\nA: 1\r\n", "A: 1\r\n"},
        {false, "blank-led line is its own line", "A: 1\r\n  Folded: x\r\n", "A: 1\r\nFolded: x\r\n"},
        {false, "bare LF lines", "A: 1\nB: 2\n", "A: 1\r\nB: 2\r\n"},
        {false, "bare LF empty line ends the head", "A: 1\n\nB: 2\n", "A: 1\r\n"},
        {false, "CR LF empty line ends the head", "A: 1\r\n\r\nB: 2\r\n", "A: 1\r\n"},
        {false, "body after the head is not read", "Content-Length: 5\r\n\r\nX: y\r\n", "Content-Length: 5\r\n"},
        {false, "cookies one line each, after the fields", "Cookie: a=1\r\nHost: h\r\nCookie: b=2\r\n",
         "Host: h\r\nCOOKIE: a=1\r\nCOOKIE: b=2\r\n"},
        {false, "a cookie's last value", "Cookie: a=1; b=2; a=3\r\n", "COOKIE: a=3\r\nCOOKIE: b=2\r\n"},
        {false, "Set-Cookie is a field of a request", "Set-Cookie: s=1\r\n", "Set-Cookie: s=1\r\n"},
        {true, "Set-Cookie is the cookie", "Set-Cookie: s=1\r\nCookie: c=2\r\n", "Cookie: c=2\r\nSET-COOKIE: s=1\r\n"},
        {true, "after a status line", "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nbody: 1", "Server: x\r\n"},
    };
    for (const ComposeCase& c : cases) {
        TLcRequest request;
        TLcResponse response;
        TLcHttpHeader& head = c.response ? static_cast<TLcHttpHeader&>(response) : request;
        head.SetHeaderLines(c.head);
        EXPECT_EQ(head.HeaderLines(), c.composed) << c.what;
    }
}

TEST(HttpHeaderTest, EmptyTextKeepsFieldsAndLinesAddToThem)
{
    TLcRequest request;
    request.SetHeaderLines("A: 1\r\n");
    request.SetHeaderLines("");
    request.SetHeaderLines("B: 2\r\na: 3\r\n");
    EXPECT_EQ(request.HeaderLines(), "A: 3\r\nB: 2\r\n");
}

// The spelling a field goes out with is the one it was first set with.
TEST(HttpHeaderTest, FieldsKeepTheirFirstSpelling)
{
    TLcResponse response;
    response.SetContentType("text/html");
    response.SetContentLength(12);
    response.SetValue("Expires", "Thu, 10 Dec 2026 08:00:00 GMT");
    response.SetValue("Cache-Control", "private");
    response.SetValue("EXPIRES", "Thu, 10 Dec 2026 09:00:00 GMT");
    response.SetValueUpper("CACHE-CONTROL", "no-cache");
    response.SetValue("content-type", "text/html; charset=utf-8");
    EXPECT_EQ(response.HeaderLines(),
              "CONTENT-TYPE: text/html; charset=utf-8\r\n"
              "CONTENT-LENGTH: 12\r\n"
              "Expires: Thu, 10 Dec 2026 09:00:00 GMT\r\n"
              "Cache-Control: no-cache\r\n");
    EXPECT_EQ(response.ContentType(), "text/html; charset=utf-8");

    // An emptied field stays where it is: set again, it is written in its old place.
    response.SetValue("Expires", "");
    EXPECT_EQ(response.HeaderLines(),
              "CONTENT-TYPE: text/html; charset=utf-8\r\nCONTENT-LENGTH: 12\r\nCache-Control: no-cache\r\n");
    response.SetValue("expires", "0");
    EXPECT_EQ(response.HeaderLines(),
              "CONTENT-TYPE: text/html; charset=utf-8\r\nCONTENT-LENGTH: 12\r\nExpires: 0\r\nCache-Control: no-cache\r\n");
}

TEST(HttpHeaderTest, UpperCaseLookupTakesUpperCaseNames)
{
    TLcRequest request;
    request.SetHeaderLines("Host: 127.0.0.1:8000\r\n");
    EXPECT_EQ(request.GetValueUpper("HOST"), "127.0.0.1:8000");
    EXPECT_EQ(request.GetValueUpper("Host"), "");
    EXPECT_EQ(request.GetValueUpper("ACCEPT"), "");
}

TEST(HttpHeaderTest, ContentLengthIsATrimmedSignedDecimal)
{
    struct Case {
        const char* value;
        int64_t length;
    };
    const std::vector<Case> good = {
        {"  1234 ", 1234},
        {"", 0},
        {" \t", 0},
        {"0", 0},
        {"-5", -5},
        {"+7", 7},
        {"007", 7},
        {"9223372036854775807", std::numeric_limits<int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
    };
    for (const Case& c : good) {
        TLcRequest request;
        request.SetValue("Content-Length", c.value);
        EXPECT_EQ(request.ContentLength(), c.length) << "'" << c.value << "'";
    }
    const std::vector<const char*> bad = {
        "12a", "$10", "0x10", "1 2", "-", "+", "- 1", "1e3", "9223372036854775808", "-9223372036854775809", "٣",
    };
    for (const char* value : bad) {
        TLcRequest request;
        request.SetHeaderLines(std::string("Content-Length: ") + value + "\r\n");
        ExpectError<EConvertError>([&] { request.ContentLength(); },
                                   std::string("'") + value + "' is not a valid integer value");
    }

    TLcRequest absent;
    EXPECT_EQ(absent.ContentLength(), 0);
    absent.SetContentLength(-42);
    EXPECT_EQ(absent.HeaderLines(), "CONTENT-LENGTH: -42\r\n");
    EXPECT_EQ(absent.ContentLength(), -42);
}

TEST(HttpHeaderTest, RequestLine)
{
    struct Case {
        const char* what;
        std::string head;
        std::string method;
        std::string fileName;
        std::string query;   // the query's text
        std::string fields;  // HeaderLines afterwards
    };
    const std::vector<Case> cases = {
        {"browser request", "GET /a/b.html?x=1&y=2 HTTP/1.1\r\nHost: 127.0.0.1:8000\r\n\r\n", "GET", "/a/b.html",
         "x=1&y=2", "Host: 127.0.0.1:8000\r\n"},
        {"method upper-cased", "get /x HTTP/1.0", "GET", "/x", "", ""},
        {"secure version", "POST /s HTTPS/1.1\r\nA: 1", "POST", "/s", "", "A: 1\r\n"},
        {"lower-case version is no request line", "GET /x http/1.1\r\nA: 1", "", "", "", "A: 1\r\n"},
        {"version without minor digit", "GET /x HTTP/1\r\nA: 1", "", "", "", "A: 1\r\n"},
        {"no URI", "OPTIONS HTTP/1.1\r\n", "OPTIONS", "", "", ""},
        {"no blank at all", "HTTP/1.1\r\nA: 1", "", "", "", "A: 1\r\n"},
        {"empty URI", "GET  HTTP/1.1", "GET", "", "", ""},
        {"query only", "GET ?q=1 HTTP/1.1", "GET", "", "q=1", ""},
        {"field-like first line ending in a version", "Via: HTTP/1.1\r\nA: 1", "VIA:", "", "", "A: 1\r\n"},
    };
    for (const Case& c : cases) {
        TLcRequest request;
        request.SetHeaderLines(c.head);
        EXPECT_EQ(request.Method(), c.method) << c.what;
        EXPECT_EQ(request.FileName(), c.fileName) << c.what;
        EXPECT_EQ(request.URIPath(), c.fileName) << c.what;
        EXPECT_EQ(request.Query().EncodedText(), c.query) << c.what;
        EXPECT_EQ(request.HeaderLines(), c.fields) << c.what;
    }
}

TEST(HttpHeaderTest, RequestLineFillsTheQuery)
{
    TLcRequest request;
    request.SetHeaderLines("GET /a/b.html?x=1&y=2&x=3 HTTP/1.1\r\n\r\n");
    TLcHttpValues& query = request.Query();
    ASSERT_EQ(query.NameCount(), 2);
    EXPECT_EQ(query.NameAt(0), "x");
    EXPECT_EQ(query.NameAt(1), "y");
    EXPECT_EQ(query.ValueOf("x", 1), "3");
}

TEST(HttpHeaderTest, LaterRequestLineGoesToURIPathOnly)
{
    TLcRequest request;
    request.SetFileName("/fixed");
    EXPECT_EQ(request.URIPath(), "/fixed");
    request.SetHeaderLines("GET /orig?x=1 HTTP/1.1\r\n");
    EXPECT_EQ(request.FileName(), "/fixed");
    EXPECT_EQ(request.URIPath(), "/orig");
    EXPECT_EQ(request.Query().NameCount(), 1);

    // FileName set while it differs from URIPath leaves URIPath alone.
    request.SetFileName("/other");
    EXPECT_EQ(request.URIPath(), "/orig");

    // A URI without "?" clears the query.
    request.SetHeaderLines("GET /b HTTP/1.1\r\n");
    EXPECT_EQ(request.Query().NameCount(), 0);
    EXPECT_EQ(request.URIPath(), "/b");
}

TEST(HttpHeaderTest, StatusLine)
{
    struct Case {
        std::string head;
        int32_t code;
        std::string text;
    };
    // Each response starts as 7 "kept", so a line that is not read shows.
    const std::vector<Case> cases = {
        {"HTTP/1.1 404 File not found", 404, "File not found"},
        {"HTTP/1.1 200 OK\r\nServer: x\r\n", 200, "OK"},
        {"http/1.0 301 Moved Permanently", 301, "Moved Permanently"},
        {"HTTPS/1.1 204 No Content", 204, "No Content"},
        {"HTTP/1.1 abc OK", 0, ""},
        {"HTTP/1.1 200", 0, ""},
        {"HTTP/1.1 200 ", 0, ""},
        {"HTTP/1.1  200 OK", 0, ""},
        {"HTTP/1.1 0x1F Hex", 0, ""},
        {"HTTP/1.1 99999999999 Big", 0, ""},
        {"HTTP/1.1", 7, "kept"},
        {"HTTP 200 OK", 7, "kept"},
        {"XHTTP/1.1 200 OK", 7, "kept"},
        {"Server: x\r\n", 7, "kept"},
    };
    for (const Case& c : cases) {
        TLcResponse response;
        response.SetStatusCode(7);
        response.SetStatusText("kept");
        response.SetHeaderLines(c.head);
        EXPECT_EQ(response.StatusCode(), c.code) << c.head;
        EXPECT_EQ(response.StatusText(), c.text) << c.head;
    }
}

TEST(HttpHeaderTest, ClearOfRequestAndResponse)
{
    TLcRequest request;
    request.SetHeaderLines("GET /a?x=1 HTTP/1.1\r\nHost: h\r\nCookie: c=1\r\n");
    request.BodyValues().SetEncodedText("b=2");
    request.Clear();
    EXPECT_EQ(request.Method(), "");
    EXPECT_EQ(request.FileName(), "");
    EXPECT_EQ(request.URIPath(), "");
    EXPECT_EQ(request.Query().NameCount(), 0);
    EXPECT_EQ(request.BodyValues().NameCount(), 0);
    EXPECT_EQ(request.GetValueUpper("COOKIE"), "");
    EXPECT_EQ(request.HeaderLines(), "");

    TLcResponse response;
    response.SetHeaderLines("HTTP/1.1 404 Not Found\r\nServer: x\r\nSet-Cookie: s=1\r\n");
    response.Clear();
    EXPECT_EQ(response.HeaderLines(), "");
    EXPECT_EQ(response.StatusCode(), 404);
    EXPECT_EQ(response.StatusText(), "Not Found");
}

TEST(HttpHeaderTest, CookieValuesAreJoined)
{
    TLcRequest request;
    request.SetHeaderLines("Cookie: a=1\r\nCOOKIE: b=2\r\n");
    EXPECT_EQ(request.GetValueUpper("COOKIE"), "a=1;b=2");
    EXPECT_EQ(request.Cookie().ValueOf("b", 0), "2");
    request.SetValueUpper("COOKIE", "c=3");
    request.SetValue("cookie", "a=4");
    EXPECT_EQ(request.GetValueUpper("COOKIE"), "a=1;b=2;c=3;a=4");
    EXPECT_EQ(request.HeaderLines(), "COOKIE: a=4\r\nCOOKIE: b=2\r\nCOOKIE: c=3\r\n");

    TLcResponse response;
    response.SetValue("Set-Cookie", "s=1");
    EXPECT_EQ(response.GetValueUpper("SET-COOKIE"), "s=1");
    EXPECT_EQ(response.HeaderLines(), "SET-COOKIE: s=1\r\n");
}

std::vector<std::string> Items(TLcFilePath& path)
{
    std::vector<std::string> items;
    for (int i = 0; i < path.Count(); ++i) {
        items.push_back(path.Item(i));
    }
    return items;
}

TEST(HttpHeaderTest, FilePathFollowsFileName)
{
    struct Case {
        std::string fileName;
        std::vector<std::string> items;
    };
    const std::vector<Case> cases = {
        {"/a//b/", {"a", "", "b", ""}},
        {"/index.html", {"index.html"}},
        {"/", {""}},
        {"", {}},
        {"name", {}},
        {"x/y", {"y"}},
    };
    TLcRequest request;
    TLcFilePath& path = request.FilePath();
    for (const Case& c : cases) {
        request.SetFileName(c.fileName);
        EXPECT_EQ(Items(path), c.items) << c.fileName;
    }

    // A list made after FileName was set starts from it.
    TLcRequest later;
    later.SetHeaderLines("GET /p/q HTTP/1.1\r\n");
    EXPECT_EQ(Items(later.FilePath()), (std::vector<std::string>{"p", "q"}));
}

TEST(HttpHeaderTest, FilePathChangesWriteFileName)
{
    TLcRequest request;
    request.SetFileName("/a/b/c");
    TLcFilePath& path = request.FilePath();

    path.SetItem(1, "x");
    EXPECT_EQ(request.FileName(), "/a/x/c");
    EXPECT_EQ(request.URIPath(), "/a/x/c");

    path.SetItem(5, "z");
    EXPECT_EQ(request.FileName(), "/a/x/c///z");

    path.SetItem(1, "");
    EXPECT_EQ(Items(path), (std::vector<std::string>{"a"}));
    EXPECT_EQ(request.FileName(), "/a");

    path.SetItem(4, "");
    EXPECT_EQ(request.FileName(), "/a");

    path.SetCount(3);
    EXPECT_EQ(request.FileName(), "/a//");

    ExpectError<ELcInfo>([&] { path.SetItem(0, "b/c"); }, "Do NOT use \"/\" inside FilePath elements!");
    EXPECT_EQ(Items(path), (std::vector<std::string>{"a", "", ""}));

    path.SetCount(0);
    EXPECT_EQ(request.FileName(), "/");
    EXPECT_EQ(path.Count(), 0);

    // URIPath only follows while it equals FileName.
    request.SetHeaderLines("GET /from/line HTTP/1.1\r\n");
    EXPECT_EQ(request.URIPath(), "/from/line");
    path.SetItem(0, "mine");
    EXPECT_EQ(request.FileName(), "/mine");
    EXPECT_EQ(request.URIPath(), "/from/line");
}

}  // namespace
