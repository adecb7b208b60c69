// Any bytes as the head of a request and of a response: reading them never fails, and the
// head composed from what was read reads back to the same fields.
#include "lectern/lc/lcHttpHeader.h"

#include "lectern/lc/lcFastStrings.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The composed head without its cookie lines, which name and value texts may join
// differently when read again (a value may itself hold ";" or "&"). Each field line must
// name a field that the upper-case lookup finds with the value written.
std::string FieldLinesOf(TLcHttpHeader& head)
{
    const std::string text = head.HeaderLines();
    const std::string cookiePrefix = head.CookieName() + ": ";
    std::string fields;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) {
            std::abort();  // every composed line ends with CR LF
        }
        const std::string line = text.substr(pos, end + 2 - pos);
        if (line.compare(0, cookiePrefix.size(), cookiePrefix) != 0) {
            const std::size_t colon = line.find(':');
            if (head.GetValueUpper(UpperCaseStr(line.substr(0, colon))) != line.substr(colon + 2, line.size() - colon - 4)) {
                std::abort();
            }
            fields += line;
        }
        pos = end + 2;
    }
    return fields;
}

template <class THead>
void RoundTrip(const std::string& input, const std::string& startLine)
{
    THead first;
    first.SetHeaderLines(input);
    try {
        (void)first.ContentLength();
    } catch (const EConvertError&) {
    }
    const std::string composed = first.HeaderLines();

    THead second;
    second.SetHeaderLines(startLine + composed + "\r\n");
    if (FieldLinesOf(second) != FieldLinesOf(first)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    RoundTrip<TLcRequest>(input, "GET / HTTP/1.1\r\n");
    RoundTrip<TLcResponse>(input, "HTTP/1.1 200 OK\r\n");
    return 0;
}
