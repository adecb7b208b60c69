// The request parser: byte streams and the requests they give, the same streams cut at every
// point, deliveries and pipelining, the limits, and the refusals.
#include "lectern/lc/lcHttpRequestParser.h"

#include "lectern/lc/lcHttpHeader.h"
#include "lectern/lc/lcHttpValues.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int32_t kMaxRequest = 128000;
constexpr int32_t kMaxHeader = 16000;

// One parser over its own request and response, as a connection holds them.
struct Wire {
    TLcRequest request;
    TLcResponse response;
    TLcHttpRequestParser parser;

    explicit Wire(int32_t maxRequest = kMaxRequest, int32_t maxHeader = kMaxHeader)
    {
        parser.SetRequest(&request);
        parser.SetResponse(&response);
        parser.SetMaxRequestSize(maxRequest);
        parser.SetMaxHeaderSize(maxHeader);
    }
};

// text with every CR LF written as "|".
std::string Flat(const std::string& text)
{
    std::string flat;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            flat += '|';
            ++i;
        } else {
            flat += text[i];
        }
    }
    return flat;
}

// Feeds the pieces one after another and writes down each complete request as
// "METHOD FileName ?query keep|close {fields} <body>", each refusal as "400 <FileName>",
// and "incomplete" when the stream ends inside a request. The response of each request is
// taken as sent as soon as the request is complete.
std::string Transcript(const std::vector<std::string_view>& pieces, int32_t maxRequest = kMaxRequest,
                       int32_t maxHeader = kMaxHeader)
{
    Wire wire(maxRequest, maxHeader);
    std::string out;
    std::string body;
    std::size_t next = 0;
    for (;;) {
        switch (wire.parser.Next()) {
        case TLcRequestStep::Delivery:
            body += wire.parser.Read();
            if (wire.parser.Complete()) {
                out += wire.request.Method() + " " + wire.request.FileName() + " ?" + wire.request.Query().EncodedText() +
                       (wire.parser.Close() ? " close {" : " keep {") + Flat(wire.request.HeaderLines()) + "} <" +
                       body + ">\n";
                body.clear();
                wire.parser.NextRequest();
            }
            break;
        case TLcRequestStep::Invalid:
            return out + "400 <" + wire.request.FileName() + ">\n";
        case TLcRequestStep::Waiting:
            return out + "waiting\n";
        case TLcRequestStep::NeedMore:
            if (next == pieces.size()) {
                return out + (wire.parser.Buffered() > 0 || wire.parser.RequestLineRead() ? "incomplete\n" : "");
            }
            wire.parser.Feed(pieces[next++]);
            break;
        }
    }
}

struct StreamCase {
    const char* what;
    std::string stream;
    std::string requests;
};

const std::vector<StreamCase>& StreamCases()
{
    static const std::vector<StreamCase> cases = {
        {"query split off", "GET /a?x=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
         "GET /a ?x=1 keep {Host: 127.0.0.1|} <>\n"},
        {"method upper-cased, 1.0 closes", "get /x HTTP/1.0\r\n\r\n", "GET /x ? close {} <>\n"},
        {"1.0 with keep-alive stays open", "GET /x HTTP/1.0\r\nConnection: keep-alive\r\n\r\n",
         "GET /x ? keep {Connection: keep-alive|} <>\n"},
        {"1.1 asking to close", "GET /x HTTP/1.1\r\nconnection: Close\r\n\r\n", "GET /x ? close {connection: Close|} <>\n"},
        {"secure version word", "GET /s HTTPS/1.1\r\n\r\n", "GET /s ? keep {} <>\n"},
        {"fields trimmed, repeated keeps last, no colon skipped, cookies joined",
         "GET / HTTP/1.1\r\n X-A :  1 \r\njunk\r\nx-a: 2\r\nCookie: a=1\r\nCookie: b=2\r\n\r\n",
         "GET / ? keep {X-A: 2|COOKIE: a=1|COOKIE: b=2|} <>\n"},
        {"body by length, then a pipelined request",
         "POST /f HTTP/1.1\r\nContent-Length: 5\r\n\r\nhelloGET /n HTTP/1.1\r\n\r\n",
         "POST /f ? keep {Content-Length: 5|} <hello>\nGET /n ? keep {} <>\n"},
        {"chunked body, then a pipelined request",
         "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\nGET /n HTTP/1.1\r\n\r\n",
         "POST /c ? keep {Transfer-Encoding: chunked|} <hello>\nGET /n ? keep {} <>\n"},
        {"chunks with an extension and upper-case digits",
         "PUT /c HTTP/1.1\r\nTransfer-Encoding: CHUNKED\r\n\r\n3\r\nabc\r\nA ; name=v\r\n0123456789\r\n0\r\n\r\n",
         "PUT /c ? keep {Transfer-Encoding: CHUNKED|} <abc0123456789>\n"},
        {"negative length means no body", "POST /m HTTP/1.1\r\nContent-Length: -5\r\n\r\nGET /n HTTP/1.1\r\n\r\n",
         "POST /m ? keep {Content-Length: -5|} <>\nGET /n ? keep {} <>\n"},
        {"zero length", "POST /z HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "POST /z ? keep {Content-Length: 0|} <>\n"},
        {"body bytes are bytes", "POST /b HTTP/1.1\r\nContent-Length: 4\r\n\r\n" + std::string("\0\r\n\xff", 4),
         "POST /b ? keep {Content-Length: 4|} <" + std::string("\0\r\n\xff", 4) + ">\n"},
        {"stream ends inside a body", "POST /f HTTP/1.1\r\nContent-Length: 9\r\n\r\nabc", "incomplete\n"},
        {"stream ends inside a header", "GET / HTTP/1.1\r\nHost: x\r\n", "incomplete\n"},
        {"bare LF does not end a line", "GET / HTTP/1.1\n\n", "incomplete\n"},
        {"no version word", "GET /a\r\n\r\n", "400 <GET /a>\n"},
        {"no second blank", "GET HTTP/1.1\r\n\r\n", "400 <HTTP/1.1>\n"},
        {"no slash in the version", "A HTTP/ B\r\n\r\n", "400 <>\n"},
        {"non-numeric length", "POST /a HTTP/1.1\r\nContent-Length: 12a\r\n\r\n", "400 </a>\n"},
        {"chunk size beyond 64 bits",
         "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\n", "400 </c>\n"},
        {"nothing after a refusal is read", "bad\r\nGET / HTTP/1.1\r\n\r\n", "400 <bad>\n"},
        {"a good request, then a bad one", "GET /1 HTTP/1.1\r\n\r\nBAD\r\n", "GET /1 ? keep {} <>\n400 <BAD>\n"},
    };
    return cases;
}

TEST(HttpRequestParserTest, StreamsGiveTheirRequests)
{
    for (const StreamCase& c : StreamCases()) {
        EXPECT_EQ(Transcript({c.stream}), c.requests) << c.what;
    }
}

// However a stream is cut into packets, the parser gives the same requests and bodies.
TEST(HttpRequestParserTest, EveryCutGivesTheSameRequests)
{
    std::string all;
    std::string allRequests;
    for (const StreamCase& c : StreamCases()) {
        const std::string_view s = c.stream;
        for (std::size_t cut = 0; cut <= s.size(); ++cut) {
            ASSERT_EQ(Transcript({s.substr(0, cut), s.substr(cut)}), c.requests) << c.what << " cut at " << cut;
        }
        std::vector<std::string_view> bytes;
        for (std::size_t i = 0; i < s.size(); ++i) {
            bytes.push_back(s.substr(i, 1));
        }
        EXPECT_EQ(Transcript(bytes), c.requests) << c.what << " byte by byte";
        if (c.requests.find("400") == std::string::npos && c.requests.find("incomplete") == std::string::npos) {
            all += c.stream;
            allRequests += c.requests;
        }
    }
    // Every good stream in one pipeline, cut at every point and cut into three.
    const std::string whole = Transcript({all});
    EXPECT_EQ(whole, allRequests);
    const std::string_view s = all;
    for (std::size_t cut = 0; cut <= s.size(); ++cut) {
        ASSERT_EQ(Transcript({s.substr(0, cut), s.substr(cut)}), whole) << "cut at " << cut;
        const std::size_t second = cut + (s.size() - cut) / 2;
        ASSERT_EQ(Transcript({s.substr(0, cut), s.substr(cut, second - cut), s.substr(second)}), whole);
    }
}

// A body by length comes as soon as the header is complete and then packet by packet; only
// the first delivery is "started", and only the last is complete.
TEST(HttpRequestParserTest, LengthBodyArrivesInDeliveries)
{
    Wire wire;
    wire.parser.Feed("POST /f HTTP/1.1\r\nContent-Length: 10\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_TRUE(wire.parser.Started());
    EXPECT_TRUE(wire.parser.Active());
    EXPECT_FALSE(wire.parser.Complete());
    EXPECT_EQ(wire.parser.Read(), "");
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
    EXPECT_FALSE(wire.parser.Started());

    wire.parser.Feed("0123");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_FALSE(wire.parser.Complete());
    EXPECT_EQ(wire.parser.Read(), "0123");
    EXPECT_EQ(wire.parser.Remaining(), 6);
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);

    wire.parser.Feed("456789");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_TRUE(wire.parser.Complete());
    EXPECT_EQ(wire.parser.Read(), "456789");
    EXPECT_EQ(wire.parser.Received(), 10);
    EXPECT_FALSE(wire.parser.RequestLineRead());
    EXPECT_FALSE(wire.parser.HeaderComplete());
}

// A request without body is delivered once, already complete, and is still "started".
TEST(HttpRequestParserTest, RequestWithoutBodyIsDeliveredOnceComplete)
{
    Wire wire;
    wire.parser.Feed("GET / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_TRUE(wire.parser.Started());
    EXPECT_TRUE(wire.parser.Complete());
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Waiting);
    EXPECT_EQ(wire.parser.Buffered(), 0u);
}

// A second request in the same packet is read only after the first response went out, and
// the response object is cleared for it.
TEST(HttpRequestParserTest, PipelinedRequestWaitsForTheResponse)
{
    Wire wire;
    wire.parser.Feed("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(wire.request.FileName(), "/1");
    wire.response.SetValue("X-Answer", "1");
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Waiting);
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Waiting);
    EXPECT_EQ(wire.request.FileName(), "/1");
    EXPECT_EQ(wire.parser.Buffered(), 19u);

    wire.parser.NextRequest();
    EXPECT_EQ(wire.response.HeaderLines(), "");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(wire.request.FileName(), "/2");
    EXPECT_TRUE(wire.parser.Complete());
}

// Body bytes the connection does not read during their delivery wait for a later Read; the
// input holds no more than one packet, and an unread body never grows past the request limit:
// one that would is refused.
TEST(HttpRequestParserTest, UnreadBodyWaitsForReadUpToTheLimit)
{
    Wire wire;
    wire.parser.Feed("POST /big HTTP/1.1\r\nContent-Length: 3000000\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    const std::string packet(1000, 'b');
    int deliveries = 0;
    while (!wire.parser.Complete()) {
        ASSERT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
        wire.parser.Feed(packet);
        EXPECT_LE(wire.parser.Buffered(), packet.size());
        ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
        ++deliveries;
        if (deliveries % 100 == 0) {
            ASSERT_EQ(wire.parser.Read().size(), 100 * packet.size());
        }
    }
    EXPECT_EQ(deliveries, 3000);
    EXPECT_EQ(wire.parser.Received(), 3000000);
    EXPECT_EQ(wire.parser.Read(), "");

    Wire unread;
    unread.parser.Feed("POST /big HTTP/1.1\r\nContent-Length: 3000000\r\n\r\n");
    ASSERT_EQ(unread.parser.Next(), TLcRequestStep::Delivery);
    int fed = 0;
    TLcRequestStep step;
    do {
        unread.parser.Feed(packet);
        fed += static_cast<int>(packet.size());
        step = unread.parser.Next();
    } while (step == TLcRequestStep::Delivery);
    EXPECT_EQ(step, TLcRequestStep::Invalid);
    EXPECT_EQ(fed, kMaxRequest + static_cast<int>(packet.size())) << "refused with the first byte over the limit";
}

TEST(HttpRequestParserTest, ChunkedBodyDeliversChunkDataAndChunkEnds)
{
    Wire wire;
    wire.parser.Feed("POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(wire.parser.ChunkState(), TLcChunkState::Data);
    EXPECT_EQ(wire.parser.Read(), "hel");
    EXPECT_EQ(wire.parser.Remaining(), 2);
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
    wire.parser.Feed("lo\r");
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
    EXPECT_EQ(wire.parser.ChunkState(), TLcChunkState::DataEnd);
    wire.parser.Feed("\n0\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(wire.parser.Read(), "lo");
    EXPECT_FALSE(wire.parser.Complete());
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_TRUE(wire.parser.Complete());
    EXPECT_EQ(wire.parser.Received(), 5);
}

TEST(HttpRequestParserTest, LargestChunkSizeIsReadAndOnePastIsRefused)
{
    Wire wire;
    wire.parser.Feed("POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n 7fffffffffffffff \r\nx");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(wire.parser.Remaining(), std::numeric_limits<int64_t>::max() - 1);

    Wire past;
    past.parser.Feed("POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n");
    EXPECT_EQ(past.parser.Next(), TLcRequestStep::Invalid);
    EXPECT_TRUE(past.parser.Refused());
    past.parser.Feed("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(past.parser.Next(), TLcRequestStep::Waiting);
    EXPECT_EQ(past.parser.Buffered(), 0u);
    past.parser.Reset();
    past.parser.Feed("GET /again HTTP/1.1\r\n\r\n");
    ASSERT_EQ(past.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(past.request.FileName(), "/again");
}

std::string RequestLineOf(std::size_t length)
{
    const std::string head = "GET /";
    const std::string tail = " HTTP/1.1";
    return head + std::string(length - head.size() - tail.size(), 'a') + tail;
}

TEST(HttpRequestParserTest, RequestLineLimit)
{
    {
        Wire wire;
        wire.parser.Feed(RequestLineOf(kMaxRequest) + "\r\n\r\n");
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
        EXPECT_EQ(wire.request.FileName().size(), static_cast<std::size_t>(kMaxRequest) - 13);
    }
    {
        Wire wire;
        const std::string stream = RequestLineOf(kMaxRequest + 1) + "\r\n\r\n";
        wire.parser.Feed(stream);
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Invalid);
        EXPECT_EQ(wire.request.FileName(), stream);
    }
    {
        // Without its CR LF the line may fill the limit and two bytes more.
        Wire wire;
        wire.parser.Feed(std::string(kMaxRequest + 2, 'a'));
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
        wire.parser.Feed("a");
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Invalid);
        EXPECT_EQ(wire.request.FileName().size(), static_cast<std::size_t>(kMaxRequest) + 3);
    }
    for (const int32_t noLimit : {0, -1}) {
        Wire wire(noLimit, noLimit);
        wire.parser.Feed(RequestLineOf(3 * kMaxRequest) + "\r\n\r\n");
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Delivery) << noLimit;
    }
}

// The limit of a line holds for chunk-size lines too.
TEST(HttpRequestParserTest, ChunkSizeLineLimit)
{
    const std::string head = "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (const auto& [line, step] : std::vector<std::pair<std::string, TLcRequestStep>>{
             {std::string(30, '0') + "\r\n", TLcRequestStep::NeedMore},
             {std::string(31, '0') + "\r\n", TLcRequestStep::Invalid},
             {std::string(32, '0'), TLcRequestStep::NeedMore},
             {std::string(33, '0'), TLcRequestStep::Invalid}}) {
        Wire wire(30, 0);
        wire.parser.Feed(head + line);
        EXPECT_EQ(wire.parser.Next(), step) << line.size();
    }
}

// A header block of "X: vvv...": the closing CR LF CR LF begins at position 3 + values + 1.
std::string HeaderBlockEndingAt(std::size_t position) { return "X: " + std::string(position - 4, 'v'); }

TEST(HttpRequestParserTest, HeaderBlockLimit)
{
    const std::string line = "GET / HTTP/1.1\r\n";
    {
        Wire wire;
        wire.parser.Feed(line + HeaderBlockEndingAt(kMaxHeader) + "\r\n\r\n");
        ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
        EXPECT_EQ(wire.request.GetValueUpper("X").size(), static_cast<std::size_t>(kMaxHeader) - 4);
    }
    {
        Wire wire;
        wire.parser.Feed(line + HeaderBlockEndingAt(kMaxHeader + 1) + "\r\n\r\n");
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Invalid);
    }
    {
        // Without its CR LF CR LF the block may fill the limit and four bytes more.
        Wire wire;
        wire.parser.Feed(line + std::string(kMaxHeader + 4, 'h'));
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
        wire.parser.Feed("h");
        EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Invalid);
    }
    {
        // The end is found however the block is cut, also in the middle of CR LF CR LF.
        const std::string block = HeaderBlockEndingAt(kMaxHeader) + "\r\n\r\n";
        for (std::size_t cut = block.size() - 5; cut < block.size(); ++cut) {
            Wire wire;
            wire.parser.Feed(line + block.substr(0, cut));
            EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
            wire.parser.Feed(block.substr(cut));
            EXPECT_EQ(wire.parser.Next(), TLcRequestStep::Delivery) << cut;
        }
    }
}

TEST(HttpRequestParserTest, MultipartBoundaryBecomesTheBodySeparator)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"multipart/form-data; boundary=abc", "abc"},
        {"Multipart/Form-Data; BOUNDARY=\"a b\"", "a b"},
        {"multipart/form-data; boundary=\"", "\""},
        {"multipart/mixed; boundary=abc", "&"},
        {"text/plain; boundary=abc", "&"},
    };
    for (const auto& [type, separator] : cases) {
        Wire wire;
        wire.parser.Feed("POST / HTTP/1.1\r\nContent-Type: " + type + "\r\n\r\n");
        ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
        EXPECT_EQ(wire.request.BodyValues().Separator(), separator) << type;
    }
}

class HeaderCounter : public TObject {
public:
    void Count() { ++FCount; }
    int FCount = 0;
};

TEST(HttpRequestParserTest, HeaderCompleteFiresOncePerRequestBeforeItsBody)
{
    HeaderCounter counter;
    Wire wire;
    wire.parser.OnHeaderComplete = TEvent<>(&counter, &HeaderCounter::Count);
    wire.parser.Feed("POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(counter.FCount, 1);
    wire.parser.Feed("abGET / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(counter.FCount, 1);
    wire.parser.NextRequest();
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    EXPECT_EQ(counter.FCount, 2);
}

// Reset forgets the input and the request, as a disconnect does.
TEST(HttpRequestParserTest, ResetForgetsEverything)
{
    Wire wire;
    wire.parser.Feed("POST /a HTTP/1.1\r\nContent-Length: 5\r\n\r\nab");
    ASSERT_EQ(wire.parser.Next(), TLcRequestStep::Delivery);
    wire.parser.Reset();
    EXPECT_EQ(wire.parser.Buffered(), 0u);
    EXPECT_FALSE(wire.parser.RequestLineRead());
    EXPECT_EQ(wire.parser.Received(), 0);
    EXPECT_EQ(wire.request.FileName(), "");
    EXPECT_EQ(wire.parser.Next(), TLcRequestStep::NeedMore);
}

}  // namespace
