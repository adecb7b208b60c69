// Answers a mutated page request from a small fixed book and checks what every answer must
// hold: a served entry carries its bytes with the four header fields, a refusal or a miss has
// its fixed body and no fields, and no private entry is ever served.
//
// Input: the "Host" value up to the first LF (no LF: no Host field), then the request path.
#include "lectern/app/uMimeTypes.h"
#include "lectern/app/uPageServer.h"

#include "classlib/Platform.h"
#include "tests/support/BookWriter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const std::string kPrefix = "/p/GUID";
const std::string kSecret = "UserPassword=secret\r\n";

class NoRegistry : public TMimeTypeSource {
public:
    bool SubkeyNames(const std::string&, std::vector<std::string>&) override { return false; }
    bool ReadString(const std::string&, const std::string&, std::string&) override { return false; }
};

struct Fixture {
    Fixture()
    {
        const std::string path = plat::TempDir() + "fuzz_page_request.book";
        booktest::BookWriter()
            .Add("index.html", "\xEF\xBB\xBF<html></html>")
            .Add("a b.css", "css")
            .Add("caf\xE9.js", "js")
            .Add("empty.txt", "")
            .AddRawStream("bad.png", "\xFF\xFF")
            .Add("#SYSTEM", kSecret)
            .Add("#MAP", kSecret)
            .WriteFile(path);
        book = std::make_unique<TLBFile>(nullptr);
        if (!book->Open(path, TLBFile::kModeRead)) {
            std::abort();
        }
        NoRegistry none;
        mimeTypes = BuildMimeTypeList(none);
    }
    std::unique_ptr<TLBFile> book;
    std::unique_ptr<TStringList> mimeTypes;
};

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Fixture fixture;
    const std::string input(reinterpret_cast<const char*>(data), size);
    TLcRequest request;
    const size_t lf = input.find('\n');
    if (lf != std::string::npos) {
        request.SetValue("Host", input.substr(0, lf));
    }
    request.SetFileName(lf == std::string::npos ? input : input.substr(lf + 1));
    TLcResponse response;
    response.SetStatusCode(200);
    const TPageAnswer answer =
        AnswerPageRequest(request, *fixture.book, *fixture.mimeTypes, kPrefix, 45000.5, response);
    switch (answer.Outcome) {
    case TPageOutcome::Served:
        Check(!answer.Body.empty() && answer.Body != kSecret && response.StatusCode() == 200);
        Check(response.ContentLength() == static_cast<int64_t>(answer.Body.size()));
        Check(response.GetValueUpper("CACHE-CONTROL") == "no-cache" && !response.ContentType().empty());
        break;
    case TPageOutcome::NotLoaded:
    case TPageOutcome::NotFound:
        Check(answer.Body == "Status 404: File not found" && response.StatusCode() == 404);
        Check(response.HeaderLines().empty());
        break;
    case TPageOutcome::Refused:
        Check(answer.Body == "Status 400: Bad Request" && response.StatusCode() == 400);
        Check(response.HeaderLines().empty());
        break;
    }
    return 0;
}
