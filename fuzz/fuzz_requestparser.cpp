// Any bytes, cut anywhere, through the request parser. The first two bytes choose the two
// limits; the rest is the stream. The stream is parsed once whole and once in pieces whose
// sizes come from the stream itself, and both runs must give the same requests, bodies and
// refusals. While the limits are set, the input the parser holds never grows past them, and
// a delivery never brings more than one piece and the input held before it (every delivery
// is read here; unread body bytes would wait for the next Read, within the request limit).
#include "lectern/lc/lcHttpRequestParser.h"

#include "lectern/lc/lcHttpHeader.h"
#include "lectern/lc/lcHttpValues.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

constexpr int32_t kLimits[] = {0, -1, 1, 5, 16, 64, 128000, 16000};

std::string Run(std::string_view stream, const std::vector<std::size_t>& cuts, int32_t maxRequest, int32_t maxHeader)
{
    TLcRequest request;
    TLcResponse response;
    TLcHttpRequestParser parser;
    parser.SetRequest(&request);
    parser.SetResponse(&response);
    parser.SetMaxRequestSize(maxRequest);
    parser.SetMaxHeaderSize(maxHeader);
    const bool bounded = maxRequest >= 1 && maxHeader >= 1;
    const std::size_t bound = bounded ? std::max<std::size_t>(maxRequest + 2, maxHeader + 4) : stream.size();

    std::string out;
    std::string body;
    std::size_t largestPiece = 0;
    std::size_t at = 0;
    std::size_t nextCut = 0;
    for (;;) {
        const TLcRequestStep step = parser.Next();
        if (step == TLcRequestStep::Delivery) {
            const std::string piece = parser.Read();
            Check(piece.size() <= largestPiece + bound);
            Check(parser.Received() >= static_cast<int64_t>(piece.size()));
            body += piece;
            if (parser.Complete()) {
                Check(!parser.RequestLineRead() && !parser.HeaderComplete());
                Check(request.Method() == UpperCaseStr(request.Method()));
                out += request.Method() + " " + request.FileName() + " ?" + request.Query().EncodedText() +
                       (parser.Close() ? " close {" : " keep {") + request.HeaderLines() + "} <" + body + ">\n";
                body.clear();
                parser.NextRequest();
            }
            continue;
        }
        if (step == TLcRequestStep::Invalid || step == TLcRequestStep::Waiting) {
            // Only a refusal leaves the parser waiting here: every complete request was
            // answered at once.
            Check(parser.Refused());
            Check(parser.Buffered() == 0);
            return out + "400\n";
        }
        Check(parser.Buffered() <= bound);
        if (at == stream.size()) {
            return out;
        }
        std::size_t end = nextCut < cuts.size() ? cuts[nextCut++] : stream.size();
        end = std::min(std::max(end, at), stream.size());
        parser.Feed(stream.substr(at, end - at));
        largestPiece = std::max(largestPiece, end - at);
        at = end;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int32_t maxRequest = kLimits[data[0] % 8];
    const int32_t maxHeader = kLimits[(data[0] / 8) % 8];
    const uint8_t cutSeed = data[1];
    const std::string_view stream(reinterpret_cast<const char*>(data) + 2, size - 2);

    // Piece sizes from the stream's own bytes, scaled by the seed byte: 0 gives
    // byte-sized pieces, larger seeds longer ones.
    std::vector<std::size_t> cuts;
    std::size_t at = 0;
    while (at < stream.size()) {
        const std::size_t piece = 1 + (static_cast<uint8_t>(stream[at]) * cutSeed) % 97;
        at += piece;
        cuts.push_back(at);
    }
    const std::string whole = Run(stream, {}, maxRequest, maxHeader);
    const std::string pieces = Run(stream, cuts, maxRequest, maxHeader);
    Check(whole == pieces);
    return 0;
}
