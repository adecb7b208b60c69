#include "lectern/app/uPageServer.h"

#include "lectern/app/uDebugLines.h"
#include "lectern/app/uMimeTypes.h"

#include "classlib/Platform.h"
#include "lectern/lc/tests/LogCapture.h"
#include "tests/support/BookWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

const std::string kPrefix = "/tomekit.7/0F8E6A34-2C1B-4D5E-9A7B-123456789ABC";
const std::string kIndex = "<html>index</html>";
const std::string kBom = "\xEF\xBB\xBF<p>bom</p>";
// Larger than the decoder's window and output blocks: the body is built by many writes.
const std::string kLarge = booktest::XorshiftBytes(700001, 18);

class NoRegistry : public TMimeTypeSource {
public:
    bool SubkeyNames(const std::string&, std::vector<std::string>&) override { return false; }
    bool ReadString(const std::string&, const std::string&, std::string&) override { return false; }
};

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, ms);
}

// One fixture book for every test: the reader only reads it.
class PageServing : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        bookPath = plat::TempDir() + "lectern_page_tests_" + std::to_string(plat::CurrentThreadId()) + ".book";
        booktest::BookWriter()
            .Add("index.html", kIndex)
            .Add("images\\logo.png", "PNGDATA")
            .Add("bom.html", kBom)
            .Add("one.html", "\xEF")
            .Add("two.html", "\xEF\xBB")
            .Add("empty.html", "")
            .AddRecord("nodata.html", -1)
            .AddRawStream("corrupt.html", "\xFF\xFF\xFF\xFF")  // block type 3: not deflate
            .Add("#SYSTEM", "UserPassword=secret\r\n")
            .Add("a.html", "A")
            .Add("my page.html", "blank")
            .Add("caf\xE9.html", "cafe")  // "cafe" with e acute, in the system code page
            .Add("C++ notes.html", "plus")
            .Add("%41.html", "raw percent")
            .Add("data.unknownext", "x")
            .Add("large.bin", kLarge)
            .WriteFile(bookPath);
        book = std::make_unique<TLBFile>(nullptr);
        ASSERT_TRUE(book->Open(bookPath, TLBFile::kModeRead));
        NoRegistry none;
        mimeTypes = BuildMimeTypeList(none);
    }
    static void TearDownTestSuite()
    {
        book.reset();
        mimeTypes.reset();
        plat::RemoveFile(bookPath);
    }

    // A request as the HTTP wire hands it over: the path, and a Host field unless null.
    static std::unique_ptr<TLcRequest> Request(const std::string& fileName, const char* host = "127.0.0.1:8000")
    {
        auto request = std::make_unique<TLcRequest>();
        request->SetMethod("GET");
        request->SetFileName(fileName);
        if (host) {
            request->SetValue("Host", host);
        }
        return request;
    }

    struct Asked {
        TPageAnswer answer;
        std::unique_ptr<TLcServerResponse> response;  // 200 "OK" and no fields when made
    };
    // The answer to a request for fileName, and the response it filled in.
    static Asked Ask(const std::string& fileName, const char* host = "127.0.0.1:8000",
                     TDateTime now = At(2025, 1, 5, 14, 3, 10))
    {
        const auto request = Request(fileName, host);
        Asked asked{{}, std::make_unique<TLcServerResponse>()};
        asked.answer = AnswerPageRequest(*request, *book, *mimeTypes, kPrefix, now, *asked.response);
        return asked;
    }

    static inline std::string bookPath;
    static inline std::unique_ptr<TLBFile> book;
    static inline std::unique_ptr<TStringList> mimeTypes;
};

TEST_F(PageServing, ServedEntryCarriesExactlyTheseHeadersInOrder)
{
    const auto [answer, response] = Ask(kPrefix + "/index.html");
    EXPECT_EQ(answer.Outcome, TPageOutcome::Served);
    EXPECT_EQ(answer.Path, "index.html");
    EXPECT_EQ(answer.Body, kIndex);
    EXPECT_EQ(response->StatusCode(), 200);
    EXPECT_EQ(response->StatusText(), "OK");
    EXPECT_EQ(response->HeaderLines(), "CONTENT-TYPE: text/html\r\n"
                                       "CONTENT-LENGTH: 18\r\n"
                                       "Expires: Sun, 05 Jan 2025 14:03:09 GMT\r\n"
                                       "Cache-Control: no-cache\r\n");
}

TEST_F(PageServing, RequestPathsNameTheirEntries)
{
    struct Case { std::string fileName, path, body, type; };
    const Case cases[] = {
        {kPrefix + "/index.html", "index.html", kIndex, "text/html"},
        {"/index.html", "index.html", kIndex, "text/html"},  // without the prefix
        {kPrefix + "///index.html", "index.html", kIndex, "text/html"},
        {kPrefix + "/INDEX.HTML", "INDEX.HTML", kIndex, "text/html"},
        {kPrefix + "/images/Logo.PNG", "images\\Logo.PNG", "PNGDATA", "image/x-png"},
        {kPrefix + "/index.html?x=1&y=2", "index.html", kIndex, "text/html"},
        {kPrefix + "/index.html#top", "index.html", kIndex, "text/html"},
        {kPrefix + "/index.html#a?b", "index.html", kIndex, "text/html"},
        {kPrefix + "/bom.html", "bom.html", kBom, "text/html; charset=utf-8"},
        {kPrefix + "/one.html", "one.html", "\xEF", "text/html"},
        {kPrefix + "/two.html", "two.html", "\xEF\xBB", "text/html"},
        {kPrefix + "/data.unknownext", "data.unknownext", "x", "application/octet-stream"},
        {kPrefix + "/large.bin", "large.bin", kLarge, "application/octet-stream"},
        // The raw name first, then its percent-decoded UTF-8 form in the system code page.
        {kPrefix + "/%41.html", "%41.html", "raw percent", "text/html"},
        {kPrefix + "/my%20page.html", "my page.html", "blank", "text/html"},
        {kPrefix + "/caf%C3%A9.html", "caf\xE9.html", "cafe", "text/html"},
        {kPrefix + "/C++%20notes.html", "C++ notes.html", "plus", "text/html"},
    };
    for (const Case& c : cases) {
        const auto [answer, response] = Ask(c.fileName);
        EXPECT_EQ(answer.Outcome, TPageOutcome::Served) << c.fileName;
        EXPECT_EQ(answer.Path, c.path) << c.fileName;
        EXPECT_EQ(answer.Body, c.body) << c.fileName;
        EXPECT_EQ(response->StatusCode(), 200) << c.fileName;
        EXPECT_EQ(response->ContentType(), c.type) << c.fileName;
        EXPECT_EQ(response->ContentLength(), static_cast<int64_t>(c.body.size())) << c.fileName;
    }
}

TEST_F(PageServing, MissingPrivateAndNulNamesAre404)
{
    struct Case { std::string fileName, path; };
    const Case cases[] = {
        {kPrefix + "/missing.html", "missing.html"},
        {kPrefix + "/", ""},
        {"/TOMEKIT.7/x/index.html", "TOMEKIT.7\\x\\index.html"},  // the prefix is case-sensitive
        {kPrefix + "/#SYSTEM", ""},
        {kPrefix + "/%23SYSTEM", "%23SYSTEM"},
        {kPrefix + "/%23system", "%23system"},
        {kPrefix + "/a.html%00", "a.html%00"},
        {kPrefix + std::string("/a.html\0", 8), std::string("a.html\0", 7)},
        {kPrefix + std::string("/a.html\0.txt", 12), std::string("a.html\0.txt", 11)},
        {kPrefix + "/caf%E9.html", "caf%E9.html"},  // not UTF-8: no decoded name is tried
        {kPrefix + "/my+page.html", "my+page.html"},  // "+" is no blank in a path
    };
    for (const Case& c : cases) {
        const auto [answer, response] = Ask(c.fileName);
        EXPECT_EQ(answer.Outcome, TPageOutcome::NotFound) << c.fileName;
        EXPECT_EQ(answer.Path, c.path) << c.fileName;
        EXPECT_EQ(answer.Body, "Status 404: File not found") << c.fileName;
        EXPECT_EQ(response->StatusCode(), 404) << c.fileName;
        EXPECT_EQ(response->StatusText(), "File not found") << c.fileName;
        EXPECT_EQ(response->HeaderLines(), "") << c.fileName;
    }
}

TEST_F(PageServing, EntriesWithoutDataAre404AndRaiseNothing)
{
    for (const std::string name : {"empty.html", "nodata.html", "corrupt.html"}) {
        Asked asked;
        EXPECT_NO_THROW(asked = Ask(kPrefix + "/" + name)) << name;
        const TPageAnswer& answer = asked.answer;
        const auto& response = asked.response;
        EXPECT_EQ(answer.Outcome, TPageOutcome::NotLoaded) << name;
        EXPECT_EQ(answer.Path, name);
        EXPECT_EQ(answer.Body, "Status 404: File not found") << name;
        EXPECT_EQ(response->StatusCode(), 404) << name;
        EXPECT_EQ(response->HeaderLines(), "") << name;
    }
}

// The fixture book, opened again, whose entries can no longer be read (its file was mapped
// and then lost): extracting fails with a file error, which is no damage of the book.
class TUnreadableBook : public TLBFile {
public:
    explicit TUnreadableBook(const std::string& path) : TLBFile(nullptr)
    {
        opened = Open(path, kModeRead);
        DropMappedView();
        FViewFile.reset();
        FViewFileError = "the book file is gone";
    }
    bool opened = false;
};

// Only damage of an entry is answered as an entry without data: any other failure travels on
// out of the answer (a fuzz target sees it as a finding).
TEST_F(PageServing, AFailureOtherThanDamageTravelsOn)
{
    TUnreadableBook unreadable(bookPath);
    ASSERT_TRUE(unreadable.opened);
    const auto request = Request(kPrefix + "/index.html");
    TLcServerResponse response;
    EXPECT_THROW(AnswerPageRequest(*request, unreadable, *mimeTypes, kPrefix, 45000.5, response), EFOpenError);
}

TEST_F(PageServing, OnlyLoopbackHostsAreServed)
{
    struct Case { const char* host; bool served; };
    const Case cases[] = {
        {"127.0.0.1", true}, {"127.0.0.1:8000", true}, {"localhost", true}, {"LocalHost:8099", true},
        {nullptr, true},  // no Host field at all
        {"evil.example", false}, {"evil.example:8000", false}, {"127.0.0.1.evil.example", false},
        {"localhost.", false}, {"127.0.0.2:8000", false}, {"127.0.0.1:", false}, {"127.0.0.1:80x", false},
        {"localhost:8000:1", false}, {"[::1]:8000", false}, {"localhost.evil.example:8000", false},
    };
    for (const Case& c : cases) {
        const auto [answer, response] = Ask(kPrefix + "/index.html", c.host);
        const std::string label = c.host ? c.host : "(none)";
        if (c.served) {
            EXPECT_EQ(answer.Outcome, TPageOutcome::Served) << label;
            EXPECT_EQ(answer.Body, kIndex) << label;
        } else {
            EXPECT_EQ(answer.Outcome, TPageOutcome::Refused) << label;
            EXPECT_EQ(answer.Body, "Status 400: Bad Request") << label;
            EXPECT_EQ(response->StatusCode(), 400) << label;
            EXPECT_EQ(response->StatusText(), "Bad Request") << label;
            EXPECT_EQ(response->HeaderLines(), "") << label;
        }
    }
}

TEST_F(PageServing, ExpiresIsOneSecondBeforeNowInGmt)
{
    const auto [answer, response] = Ask(kPrefix + "/index.html", "localhost", At(2025, 1, 1, 0, 0, 0, 500));
    EXPECT_EQ(answer.Outcome, TPageOutcome::Served);
    EXPECT_EQ(response->GetValueUpper("EXPIRES"), "Tue, 31 Dec 2024 23:59:59 GMT");
}

TEST(HttpDate, FormatsDayMonthAndTime)
{
    struct Case { TDateTime t; const char* text; };
    const Case cases[] = {
        {At(2025, 1, 5, 14, 3, 9), "Sun, 05 Jan 2025 14:03:09 GMT"},
        {0, "Sat, 30 Dec 1899 00:00:00 GMT"},
        {At(2024, 2, 29, 23, 59, 59, 999), "Thu, 29 Feb 2024 23:59:59 GMT"},
        {At(2000, 3, 1, 9, 8, 7), "Wed, 01 Mar 2000 09:08:07 GMT"},
        {At(999, 7, 4, 12, 0, 0), "Thu, 04 Jul 0999 12:00:00 GMT"},
        {At(1, 1, 1, 0, 0, 0), "Mon, 01 Jan 0001 00:00:00 GMT"},
        {At(9999, 12, 31, 23, 59, 59), "Fri, 31 Dec 9999 23:59:59 GMT"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HttpDateString(c.t), c.text);
    }
}

// Worker threads answer from one book at once.
TEST_F(PageServing, ConcurrentRequestsEachGetTheirEntry)
{
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&wrong, t] {
            const std::string name = t % 2 ? "/index.html" : "/images/logo.png";
            const std::string body = t % 2 ? kIndex : "PNGDATA";
            for (int i = 0; i < 50; ++i) {
                if (Ask(kPrefix + name).answer.Body != body) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
}

// ---- the server events ----------------------------------------------------------------------

class FakeConnection : public TPageConnection {
public:
    TLcServerRequest request;
    TLcServerResponse response;  // 200 "OK" from the start
    int accepted = 0;
    std::vector<std::string> written;

    const TLcServerRequest& Request() override { return request; }
    TLcServerResponse& Response() override { return response; }
    void Write(std::string text) override { written.push_back(std::move(text)); }
    void AcceptRequest() override { ++accepted; }
};

class FakeHost : public TPageServerHost {
public:
    FakeHost(TLBFile& book, const TStringList& mimeTypes) : FBook(book), FMimeTypes(mimeTypes) {}
    TLBFile& Book() override { return FBook; }
    const TStringList& MimeTypes() override { return FMimeTypes; }
    const std::string& UrlPrefix() override { return kPrefix; }
    TDateTime UtcNow() override { return At(2025, 1, 5, 14, 3, 10); }
    void Debug(const std::string& line) override { pane.Add(line); }
    void DebugServed(const std::string& path) override { pane.AddServed(path); }

    TDebugLines pane;

private:
    TLBFile& FBook;
    const TStringList& FMimeTypes;
};

class PageServerEvents : public PageServing {
protected:
    FakeConnection& Send(const std::string& fileName, const char* host = "localhost:8000", bool complete = true)
    {
        connection = std::make_unique<FakeConnection>();
        connection->request.SetMethod("GET");
        connection->request.SetFileName(fileName);
        connection->request.SetValue("Host", host);
        connection->request.SetComplete(complete);
        server.FileProviderDataReceived(*connection);
        return *connection;
    }

    FakeHost host{*book, *mimeTypes};
    TPageServer server{host};
    std::unique_ptr<FakeConnection> connection;
};

using Lines = std::vector<std::string>;

TEST_F(PageServerEvents, EachCompleteRequestIsAnsweredOnceWithItsDebugLine)
{
    EXPECT_EQ(Send(kPrefix + "/index.html", "localhost", false).accepted, 0);  // not complete yet
    EXPECT_TRUE(connection->written.empty());

    FakeConnection& first = Send(kPrefix + "/index.html");
    EXPECT_EQ(first.accepted, 1);
    EXPECT_EQ(first.written, Lines{kIndex});
    EXPECT_EQ(first.response.StatusCode(), 200);
    EXPECT_EQ(first.response.StatusText(), "OK");
    EXPECT_EQ(first.response.HeaderLines(), "CONTENT-TYPE: text/html\r\n"
                                            "CONTENT-LENGTH: 18\r\n"
                                            "Expires: Sun, 05 Jan 2025 14:03:09 GMT\r\n"
                                            "Cache-Control: no-cache\r\n");
    Send(kPrefix + "/images/logo.png");
    Send(kPrefix + "/missing.html");
    EXPECT_EQ(Send(kPrefix + "/corrupt.html").written, Lines{"Status 404: File not found"});
    Send(kPrefix + "/my%20page.html");
    Send(kPrefix + "/index.html", "evil.example");  // answered 400, no debug line
    EXPECT_EQ(connection->written, Lines{"Status 400: Bad Request"});
    EXPECT_EQ(connection->response.StatusCode(), 400);

    EXPECT_EQ(host.pane.Lines(), (Lines{"Ok: index.html, images\\logo.png", "---> ERROR: missing.html NOT found!",
                                        "---> ERROR: corrupt.html found but NOT loaded!", "Ok: my page.html"}));
}

// The server answers such a failure 500 and logs what it was, class and message.
TEST_F(PageServerEvents, AFailureOtherThanDamageIsLoggedAndAnswered500)
{
    TLogCapture log("pageserver500");
    TUnreadableBook unreadable(bookPath);
    ASSERT_TRUE(unreadable.opened);
    FakeHost failing(unreadable, *mimeTypes);
    TPageServer failingServer(failing);
    FakeConnection sent;
    sent.request.SetMethod("GET");
    sent.request.SetFileName(kPrefix + "/index.html");
    sent.request.SetComplete(true);
    EXPECT_NO_THROW(failingServer.FileProviderDataReceived(sent));
    EXPECT_EQ(sent.written, Lines{"Status 500: Internal Server Error"});
    EXPECT_EQ(sent.response.StatusCode(), 500);
    EXPECT_EQ(sent.response.StatusText(), "Internal Server Error");
    EXPECT_EQ(sent.response.HeaderLines(), "");
    EXPECT_EQ(log.Text("ERROR"), "TPageServer.FileProviderDataReceived (" + kPrefix +
                                     "/index.html) Exception! EFOpenError: the book file is gone\r\n");
}

TEST_F(PageServerEvents, CheckInvalidAndListenEvents)
{
    FakeConnection checked;
    server.FileProviderCheckRequest(checked);
    EXPECT_EQ(checked.accepted, 1);

    FakeConnection invalid;
    server.ServerInvalidRequest(invalid);
    EXPECT_EQ(invalid.response.StatusCode(), 400);
    EXPECT_EQ(invalid.response.StatusText(), "Bad Request");
    EXPECT_EQ(invalid.written, Lines{"Status 400: Bad Request"});

    server.ServerListenStart();
    server.ServerListenError(EConvertError("Address already in use"));
    EXPECT_EQ(host.pane.Lines(),
              (Lines{"Server ready", "Error starting Web Server! EConvertError>Address already in use"}));
}

}  // namespace
