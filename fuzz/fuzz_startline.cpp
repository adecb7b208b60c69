// Any bytes as a request line and as a status line: reading them never fails, what was read
// is well formed, and a start line written from it reads back to the same values.
#include "lectern/lc/lcHttpHeader.h"

#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcHttpValues.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void RequestLine(const std::string& input)
{
    TLcRequest request;
    request.SetHeaderLines(input);
    const std::string query = request.Query().EncodedText();
    Check(request.Method() == UpperCaseStr(request.Method()));
    Check(request.Method().find(' ') == std::string::npos);
    Check(request.FileName().find_first_of(" ?") == std::string::npos);
    Check(request.FileName() == request.URIPath());
    Check(request.Method().find("\r\n") == std::string::npos && query.find("\r\n") == std::string::npos);

    // The method is written only when a request line was read, so a line is written back
    // only then.
    if (request.Method().empty()) {
        return;
    }
    const std::string uri = request.FileName() + (query.empty() ? "" : "?" + query);
    TLcRequest again;
    again.SetHeaderLines(request.Method() + " " + uri + " HTTP/1.1\r\n\r\n");
    Check(again.Method() == request.Method());
    Check(again.FileName() == request.FileName());
    Check(again.Query().EncodedText() == query);
}

void StatusLine(const std::string& input)
{
    TLcResponse response;
    response.SetHeaderLines(input);
    if (response.StatusText().empty()) {
        Check(response.StatusCode() == 0);
        return;
    }
    Check(response.StatusText().find("\r\n") == std::string::npos);
    TLcResponse again;
    again.SetHeaderLines("HTTP/1.1 " + std::to_string(response.StatusCode()) + " " + response.StatusText() + "\r\n");
    Check(again.StatusCode() == response.StatusCode());
    Check(again.StatusText() == response.StatusText());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    RequestLine(input);
    StatusLine(input);
    return 0;
}
