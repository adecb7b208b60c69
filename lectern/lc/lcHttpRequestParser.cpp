// The request parser of the HTTP wire. See the unit comment in the header for the steps and
// the invariants; this file keeps to them:
// - every byte that leaves the input goes through Consume, which also restarts the search;
// - every refusal goes through Refuse / RefuseNamed;
// - the limits are checked in two places only, LineTooLong (lines) and ReadHeader (block).
#include "lectern/lc/lcHttpRequestParser.h"

#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcHttpHeader.h"
#include "lectern/lc/lcHttpValues.h"
#include "lectern/lc/lcInfo.h"

#include <limits>

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
// Room a limited line may take beyond its limit while its CR LF has not arrived.
constexpr int64_t kLineEndSlack = 2;
// Room the header block may take beyond its limit while its CR LF CR LF has not arrived.
constexpr int64_t kHeaderEndSlack = 4;
constexpr std::string_view kMultipartType = "MULTIPART/FORM-DATA";
constexpr std::string_view kBoundaryKey = "BOUNDARY=";

// s without the bytes 0..32 at both ends.
std::string Trimmed(std::string_view s) { return TrimmedCopy(std::string(s), 1, static_cast<int32_t>(s.size())); }

// The weight of one character of a chunk size: hexadecimal digits count, anything else is 0.
int HexWeight(char c)
{
    if (c >= '1' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

// The chunk size of a chunk-size line: its trimmed text before any ";" (a chunk extension),
// read as hexadecimal digits of rising weight from the last to the first. False when the
// size does not fit a signed 64-bit number.
bool ReadChunkSize(std::string_view line, int64_t& size)
{
    const std::size_t extension = line.find(';');
    const std::string digits = Trimmed(line.substr(0, extension));
    int64_t value = 0;
    for (const char c : digits) {
        const int weight = HexWeight(c);
        if (value > (std::numeric_limits<int64_t>::max() - weight) / 16) {
            return false;
        }
        value = value * 16 + weight;
    }
    size = value;
    return true;
}

}  // namespace

void TLcHttpRequestParser::Feed(std::string_view bytes)
{
    if (FRefused || bytes.empty()) {
        return;
    }
    if (FPos == FInput.size()) {
        FInput.clear();
        FScan = 0;
        FPos = 0;
    } else if (FPos >= kParserCompactBytes && FPos * 2 >= FInput.size()) {
        FInput.erase(0, FPos);
        FScan -= FPos;
        FPos = 0;
    }
    FInput.append(bytes);
}

TLcRequestStep TLcHttpRequestParser::Next()
{
    Assert(FRequest != nullptr, "TLcHttpRequestParser.Next: no request set.");
    for (;;) {
        const TLcRequestStep step = NextStep();
        if (step != TLcRequestStep::Delivery || !FSkipping) {
            return step;
        }
        // The rest of a body whose request was answered already: nobody reads it.
        FDelivered = false;
        FStarted = false;
        FBody.clear();
        if (FComplete) {
            FSkipping = false;
            ClearRequest();
        }
    }
}

TLcRequestStep TLcHttpRequestParser::NextStep()
{
    if (FDelivered) {
        // The delivery is over; its unread body stays for Read, and from now on counts
        // against the limit.
        FDelivered = false;
        FStarted = false;
        FBodyCarried = !FBody.empty();
    }
    for (;;) {
        if (FRefused || FComplete) {
            return TLcRequestStep::Waiting;
        }
        if (Buffered() == 0) {
            return TLcRequestStep::NeedMore;
        }
        if (!FRequestLineRead) {
            if (TMaybeStep step = ReadRequestLine()) {
                return *step;
            }
            continue;
        }
        if (!FHeaderComplete) {
            if (TMaybeStep step = ReadHeader()) {
                return *step;
            }
        }
        if (!FChunked) {
            return ReadLengthBody();
        }
        if (TMaybeStep step = ReadChunk()) {
            return *step;
        }
    }
}

std::string TLcHttpRequestParser::Read()
{
    std::string body;
    body.swap(FBody);
    FBodyCarried = false;
    return body;
}

void TLcHttpRequestParser::NextRequest()
{
    FDelivered = false;
    // Answered before its body was all in: the rest of the body still comes and is dropped.
    FSkipping = FHeaderComplete && !FComplete && !FRefused;
    ClearRequest();
}

void TLcHttpRequestParser::Reset()
{
    FInput.clear();
    FInput.shrink_to_fit();
    FPos = 0;
    FScan = 0;
    FRequestLineRead = false;
    FHeaderComplete = false;
    FChunked = false;
    FChunkState = TLcChunkState::SizeLine;
    FRemaining = -1;
    FDelivered = false;
    FSkipping = false;
    FRefused = false;
    ClearRequest();
}

std::size_t TLcHttpRequestParser::FindMark(std::string_view mark)
{
    const std::size_t from = FScan > FPos ? FScan : FPos;
    const std::size_t at = std::string_view(FInput).find(mark, from);
    if (at != std::string_view::npos) {
        return at - FPos;
    }
    // The next search starts where the mark could still begin: its first bytes may be the
    // last bytes received.
    const std::size_t keep = mark.size() - 1;
    FScan = FInput.size() > FPos + keep ? FInput.size() - keep : FPos;
    return std::string_view::npos;
}

void TLcHttpRequestParser::Consume(std::size_t count)
{
    FPos += count;
    FScan = FPos;
}

bool TLcHttpRequestParser::LineTooLong(std::size_t lineEnd) const
{
    if (FMaxRequestSize < 1) {
        return false;
    }
    if (lineEnd != std::string_view::npos) {
        return static_cast<int64_t>(lineEnd) > FMaxRequestSize;
    }
    return static_cast<int64_t>(Buffered()) > FMaxRequestSize + kLineEndSlack;
}

TLcHttpRequestParser::TMaybeStep TLcHttpRequestParser::ReadRequestLine()
{
    const std::size_t lineEnd = FindMark(kLineEnd);
    if (LineTooLong(lineEnd)) {
        ClearRequest();
        return RefuseNamed(std::string(Rest()));
    }
    if (lineEnd == std::string_view::npos) {
        return TLcRequestStep::NeedMore;
    }
    ClearRequest();
    FRemaining = -1;
    const std::string line(Rest().substr(0, lineEnd));
    Consume(lineEnd + kLineEnd.size());
    return ParseRequestLine(line);
}

TLcHttpRequestParser::TMaybeStep TLcHttpRequestParser::ParseRequestLine(const std::string& line)
{
    const std::string upper = UpperCaseStr(line);
    if (upper.find(" HTTP/") == std::string::npos && upper.find(" HTTPS/") == std::string::npos) {
        return RefuseNamed(line);
    }
    FStarted = true;
    FActive = true;
    // " HTTP/" holds a blank, so the method always ends at one.
    const std::size_t methodEnd = line.find(' ');
    FRequest->SetMethod(Trimmed(std::string_view(line).substr(0, methodEnd)));
    const std::size_t uriEnd = line.find(' ', methodEnd + 1);
    if (uriEnd == std::string::npos) {
        return RefuseNamed(line.substr(methodEnd + 1));
    }
    const std::string uri = line.substr(methodEnd + 1, uriEnd - methodEnd - 1);
    const std::string version = line.substr(uriEnd + 1);
    const std::size_t slash = version.find('/');
    if (slash == std::string::npos) {
        return Refuse();
    }
    if (version.compare(slash + 1, 3, "1.0") == 0) {
        FClose = true;
    }
    const std::size_t query = uri.find('?');
    if (query != std::string::npos) {
        FRequest->SetFileName(uri.substr(0, query));
        FRequest->Query().SetEncodedText(uri.substr(query + 1));
    } else {
        FRequest->SetFileName(uri);
        FRequest->Query().Clear();
    }
    FRequestLineRead = true;
    return std::nullopt;
}

TLcHttpRequestParser::TMaybeStep TLcHttpRequestParser::ReadHeader()
{
    if (Rest().substr(0, kLineEnd.size()) == kLineEnd) {
        Consume(kLineEnd.size());
    } else {
        const std::size_t blockEnd = FindMark(kHeaderEnd);
        if (FMaxHeaderSize >= 1) {
            // The limit counts the 1-based position at which the closing CR LF CR LF begins.
            const bool tooLarge = blockEnd != std::string_view::npos
                                      ? static_cast<int64_t>(blockEnd) + 1 > FMaxHeaderSize
                                      : static_cast<int64_t>(Buffered()) > FMaxHeaderSize + kHeaderEndSlack;
            if (tooLarge) {
                return Refuse();
            }
        }
        if (blockEnd == std::string_view::npos) {
            return TLcRequestStep::NeedMore;
        }
        ReadHeaderFields(Rest().substr(0, blockEnd + kHeaderEnd.size()));
        Consume(blockEnd + kHeaderEnd.size());
    }
    FHeaderComplete = true;
    if (TMaybeStep step = ApplyHeaderFields()) {
        return step;
    }
    if (OnHeaderComplete) {
        OnHeaderComplete();
    }
    return std::nullopt;
}

void TLcHttpRequestParser::ReadHeaderFields(std::string_view block)
{
    while (!block.empty()) {
        const std::size_t end = block.find(kLineEnd);
        const std::string_view line = block.substr(0, end);
        if (line.empty()) {
            return;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            FRequest->SetValue(Trimmed(line.substr(0, colon)), Trimmed(line.substr(colon + 1)));
        }
        if (end == std::string_view::npos) {
            return;
        }
        block.remove_prefix(end + kLineEnd.size());
    }
}

TLcHttpRequestParser::TMaybeStep TLcHttpRequestParser::ApplyHeaderFields()
{
    if (!FRequest->GetValueUpper("CONTENT-LENGTH").empty()) {
        try {
            FRemaining = FRequest->ContentLength();
        } catch (const EConvertError&) {
            return Refuse();
        }
        if (FRemaining < 0) {
            FRemaining = -1;  // a negative length announces no body
        }
    }
    const std::string connection = UpperCaseStr(FRequest->GetValueUpper("CONNECTION"));
    if (connection == "CLOSE") {
        FClose = true;
    } else if (connection == "KEEP-ALIVE") {
        FClose = false;
    }
    FChunked = UpperCaseStr(FRequest->GetValueUpper("TRANSFER-ENCODING")) == "CHUNKED";
    FChunkState = TLcChunkState::SizeLine;

    const std::string type = FRequest->ContentType();
    const std::string upperType = UpperCaseStr(type);
    const std::size_t boundary = upperType.find(kBoundaryKey);
    if (upperType.compare(0, kMultipartType.size(), kMultipartType) == 0 && boundary != std::string::npos) {
        std::string separator = type.substr(boundary + kBoundaryKey.size());
        if (separator.size() >= 2 && separator.front() == '"' && separator.back() == '"') {
            separator = separator.substr(1, separator.size() - 2);
        }
        FRequest->BodyValues().SetSeparator(separator);
    }
    return std::nullopt;
}

TLcRequestStep TLcHttpRequestParser::ReadLengthBody()
{
    const std::size_t available = Buffered();
    if (FRemaining > 0 && static_cast<int64_t>(available) < FRemaining) {
        if (!TakeBody(available)) {
            return Refuse();
        }
        return Delivery();
    }
    if (!TakeBody(FRemaining > 0 ? static_cast<std::size_t>(FRemaining) : 0)) {
        return Refuse();
    }
    return Finish();
}

TLcHttpRequestParser::TMaybeStep TLcHttpRequestParser::ReadChunk()
{
    switch (FChunkState) {
    case TLcChunkState::SizeLine: {
        const std::size_t lineEnd = FindMark(kLineEnd);
        if (LineTooLong(lineEnd)) {
            return Refuse();
        }
        if (lineEnd == std::string_view::npos) {
            return TLcRequestStep::NeedMore;
        }
        int64_t size = 0;
        if (!ReadChunkSize(Rest().substr(0, lineEnd), size)) {
            return Refuse();
        }
        Consume(lineEnd + kLineEnd.size());
        FRemaining = size;
        FChunkState = TLcChunkState::Data;
        return std::nullopt;
    }
    case TLcChunkState::Data: {
        // Next only comes here with bytes buffered.
        const std::size_t available = Buffered();
        if (static_cast<int64_t>(available) < FRemaining) {
            if (!TakeBody(available)) {
                return Refuse();
            }
            return Delivery();
        }
        if (FRemaining == 0) {
            FChunkState = TLcChunkState::LastEnd;
            return std::nullopt;
        }
        if (!TakeBody(static_cast<std::size_t>(FRemaining))) {
            return Refuse();
        }
        FChunkState = TLcChunkState::DataEnd;
        return std::nullopt;
    }
    case TLcChunkState::DataEnd:
    case TLcChunkState::LastEnd:
        if (Buffered() < kLineEnd.size()) {
            return TLcRequestStep::NeedMore;
        }
        // The two bytes after a chunk are taken as its CR LF whatever they are; trailer
        // fields after the last chunk are not read.
        FRemaining = -1;
        Consume(kLineEnd.size());
        if (FChunkState == TLcChunkState::LastEnd) {
            return Finish();
        }
        FChunkState = TLcChunkState::SizeLine;
        return Delivery();
    }
    return Refuse();
}

bool TLcHttpRequestParser::TakeBody(std::size_t count)
{
    if (!FSkipping) {
        // One delivery may bring a whole packet; what a delivery left unread may grow only
        // up to the limit.
        if (FBodyCarried && FMaxRequestSize >= 1 && static_cast<int64_t>(FBody.size() + count) > FMaxRequestSize) {
            return false;
        }
        FBody.append(Rest().substr(0, count));
    }
    FReceived += static_cast<int64_t>(count);
    if (FRemaining > 0) {
        FRemaining -= static_cast<int64_t>(count);
    }
    Consume(count);
    return true;
}

TLcRequestStep TLcHttpRequestParser::Delivery()
{
    FDelivered = true;
    return TLcRequestStep::Delivery;
}

TLcRequestStep TLcHttpRequestParser::Finish()
{
    FComplete = true;
    FRequestLineRead = false;
    FHeaderComplete = false;
    return Delivery();
}

TLcRequestStep TLcHttpRequestParser::Refuse()
{
    FRequestLineRead = false;
    FHeaderComplete = false;
    FRefused = true;
    FBody.clear();
    FBodyCarried = false;
    FInput.clear();
    FPos = 0;
    FScan = 0;
    return TLcRequestStep::Invalid;
}

TLcRequestStep TLcHttpRequestParser::RefuseNamed(const std::string& fileName)
{
    FRequest->SetFileName(fileName);
    return Refuse();
}

void TLcHttpRequestParser::ClearRequest()
{
    if (FRequest) {
        FRequest->Clear();
    }
    if (FResponse) {
        FResponse->Clear();
    }
    FBody.clear();
    FBodyCarried = false;
    FStarted = false;
    FActive = false;
    FComplete = false;
    FClose = false;
    FReceived = 0;
}
