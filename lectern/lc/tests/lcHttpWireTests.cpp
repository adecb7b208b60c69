// The HTTP wire over a scripted socket: answers and keep-alive, pipelining, framing errors,
// and a handler that raises.
#include "lectern/lc/lcHttpWire.h"

#include "lectern/lc/lcConn.h"
#include "lectern/lc/tests/ExpectError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A socket that holds what arrives until the wire takes it, and keeps what the wire sends
// back until it is given the first byte to send at once. The connection's request handler is
// a test function.
class ScriptedSide : public TLcHttpWireSide {
public:
    TLcServerRequest request;
    TLcServerResponse response;
    TLcHttpWire wire{*this};
    std::function<void()> onRequest;
    std::string incoming;
    std::string held;
    std::string sent;
    int askedForData = 0;
    int invalid = 0;
    std::vector<std::string> failures;
    std::vector<std::string> seen;  // FileName at every delivery that completed a request

    ScriptedSide()
    {
        wire.SetRequest(&request);
        wire.SetResponse(&response);
        wire.SetMaxRequestSize(128000);
        wire.SetMaxHeaderSize(16000);
    }

    // Bytes arrive on the socket.
    void Arrive(const std::string& bytes)
    {
        incoming += bytes;
        wire.DataReceived();
    }
    // The socket wrote everything it was given to send.
    std::string WriteOut()
    {
        const std::string out = sent;
        sent.clear();
        if (!out.empty()) {
            wire.DataOut(static_cast<int64_t>(out.size()));
            wire.DataSent();
        }
        return out;
    }

    std::string ReceiveBytes() override
    {
        std::string bytes;
        bytes.swap(incoming);
        return bytes;
    }
    void AskForData() override { ++askedForData; }
    void SendBytes(std::string text, bool sendNow) override
    {
        held += text;
        if (sendNow) {
            sent += held;
            held.clear();
        }
    }
    void FireDataReceived() override
    {
        if (request.Complete()) {
            seen.push_back(request.FileName());
        }
        if (onRequest) {
            onRequest();
        }
    }
    void FireDataOut() override {}
    void FireDataSent() override {}
    void FireLastWrite() override {}
    void FireInvalidRequest() override { ++invalid; }
    void HandlerFailed(const Exception& e) override { failures.push_back(e.Message()); }

    // Answers a complete request with body as its content.
    void Answer(const std::string& body)
    {
        if (!request.Complete()) {
            return;
        }
        response.SetContentLength(static_cast<int64_t>(body.size()));
        wire.WriteHeader(false);
        wire.WriteBody(body, true);
    }
};

TEST(HttpWireTest, KeepAliveDecidesTheStatusLine)
{
    struct Case {
        std::string request;
        std::string answer;
        bool close;
    };
    const std::vector<Case> cases = {
        {"GET /a HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\nok", false},
        {"GET /a HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 2\r\nCONNECTION: close\r\n\r\nok", true},
        {"GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\nok", false},
        {"GET /a HTTP/1.1\r\nConnection: close\r\n\r\n",
         "HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 2\r\nCONNECTION: close\r\n\r\nok", true},
    };
    for (const Case& c : cases) {
        ScriptedSide side;
        side.onRequest = [&side] { side.Answer("ok"); };
        side.Arrive(c.request);
        EXPECT_EQ(side.held, "") << c.request;
        EXPECT_EQ(side.sent, c.answer) << c.request;
        EXPECT_EQ(side.request.Close(), c.close) << c.request;
        const int asked = side.askedForData;
        side.WriteOut();
        // Only a connection that stays open is read on.
        EXPECT_EQ(side.askedForData, c.close ? asked : asked + 1) << c.request;
        EXPECT_TRUE(side.request.FileName().empty()) << "cleared for the next request";
    }
}

// A second request in the same packet is read only after the first answer was sent, and one
// that arrives while the answer is out stays in the socket until then.
TEST(HttpWireTest, PipelinedRequestsWaitForTheAnswerBefore)
{
    ScriptedSide side;
    side.onRequest = [&side] { side.Answer(side.request.FileName()); };
    side.Arrive("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(side.seen, std::vector<std::string>({"/1"}));
    EXPECT_TRUE(side.wire.DataWaiting());

    side.incoming = "GET /3 HTTP/1.1\r\n\r\n";
    side.wire.DataReceived();
    EXPECT_EQ(side.incoming, "GET /3 HTTP/1.1\r\n\r\n") << "left in the socket";

    EXPECT_EQ(side.WriteOut(), "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\n/1");
    EXPECT_EQ(side.seen, std::vector<std::string>({"/1", "/2"}));
    EXPECT_EQ(side.WriteOut(), "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\n/2");
    EXPECT_EQ(side.seen, std::vector<std::string>({"/1", "/2", "/3"}));
    EXPECT_EQ(side.incoming, "");
}

// A body announced by length arrives in two deliveries, the second one complete.
TEST(HttpWireTest, BodyDeliveriesFillTheRequestState)
{
    ScriptedSide side;
    std::vector<std::string> deliveries;
    side.onRequest = [&] {
        deliveries.push_back(side.wire.Read() + (side.request.Started() ? " started" : "") +
                             (side.request.Complete() ? " complete" : "") + " " +
                             std::to_string(side.request.BodyReceived()));
    };
    side.Arrive("POST /f HTTP/1.1\r\nContent-Length: 10\r\n\r\n01234");
    side.Arrive("56789");
    EXPECT_EQ(deliveries, std::vector<std::string>({"01234 started 5", "56789 complete 10"}));
    EXPECT_FALSE(side.request.Started());
    EXPECT_TRUE(side.request.Active());
}

TEST(HttpWireTest, FramingErrors)
{
    ScriptedSide side;
    ExpectError<Exception>([&] { side.wire.WriteBody("x", true); },
                           "Trying to send Data without Header. Call WriteHeader before Write.");
    side.response.SetContentLength(10);
    side.wire.WriteHeader(false);
    EXPECT_EQ(side.sent, "");
    EXPECT_EQ(side.wire.TotalToSend(), 10 + static_cast<int64_t>(side.held.size()));
    ExpectError<Exception>([&] { side.wire.WriteBody(std::string(11, 'x'), true); },
                           "Trying to send more Data out than specified in Header.");
    ExpectError<Exception>([&] { side.wire.WriteHeader(true); },
                           "Last header intercepted with new header, before data sent out.");
    side.wire.WriteBody(std::string(10, 'x'), true);
    EXPECT_TRUE(side.response.AllContentOut());
    EXPECT_EQ(side.response.ContentOut(), 10);
    ExpectError<Exception>([&] { side.wire.WriteBody("y", true); },
                           "Trying to send more Data out than specified in Header.");
}

// Without a content length the header goes at once and the length stays unknown; a response
// that has no body drops its length field.
TEST(HttpWireTest, UnannouncedAndBodilessResponses)
{
    ScriptedSide side;
    side.wire.WriteHeader(false);
    EXPECT_EQ(side.sent, "HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_EQ(side.wire.ContentToSend(), -1);
    EXPECT_EQ(side.wire.TotalToSend(), -1);

    ScriptedSide bodiless;
    bodiless.response.SetBodyFollows(false);
    bodiless.response.SetContentLength(5);
    bodiless.wire.WriteHeader(false);
    EXPECT_EQ(bodiless.sent, "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 5\r\n\r\n");
    EXPECT_EQ(bodiless.wire.ContentToSend(), 0);
    EXPECT_TRUE(bodiless.response.AllContentOut());

    ScriptedSide raw;
    raw.wire.WriteHeader("", false);
    EXPECT_TRUE(raw.request.Close());
    raw.wire.WriteBody("raw", true);
    EXPECT_EQ(raw.sent, "raw");
}

// A HEAD request gets the head a GET would get and no body, whatever the handler writes: the
// next answer on the connection starts right after that head.
TEST(HttpWireTest, HeadIsAnsweredWithTheHeadOfGetAndNoBody)
{
    ScriptedSide side;
    side.onRequest = [&side] {
        if (!side.request.Complete()) {
            return;
        }
        side.response.SetContentLength(5);
        side.wire.WriteHeader(false);
        side.wire.WriteBody("12", true);  // in two pieces, as a handler may write
        side.wire.WriteBody("345", true);
    };
    side.Arrive("HEAD /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\nHEAD /3 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(side.held, "");
    EXPECT_EQ(side.WriteOut(), "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 5\r\n\r\n");
    EXPECT_EQ(side.WriteOut(), "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 5\r\n\r\n12345");
    EXPECT_EQ(side.WriteOut(), "HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 5\r\nCONNECTION: close\r\n\r\n");
    EXPECT_EQ(side.seen, std::vector<std::string>({"/1", "/2", "/3"}));
    EXPECT_TRUE(side.failures.empty());
    EXPECT_EQ(side.WriteOut(), "");
}

TEST(HttpWireTest, InvalidRequestReachesTheServerOnce)
{
    ScriptedSide side;
    side.Arrive("NONSENSE\r\n");
    side.Arrive("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(side.invalid, 1);
    EXPECT_EQ(side.request.FileName(), "NONSENSE");
    EXPECT_TRUE(side.seen.empty());
}

// A handler that raises closes the connection at once instead of leaving the client to wait
// for the time-out; nothing after it is read.
TEST(HttpWireTest, HandlerExceptionClosesTheConnection)
{
    ScriptedSide side;
    side.onRequest = [] { throw EConvertError("handler broke"); };
    side.Arrive("GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(side.failures, std::vector<std::string>({"handler broke"}));
    EXPECT_EQ(side.seen, std::vector<std::string>({"/1"}));
    EXPECT_FALSE(side.wire.DataWaiting());
    EXPECT_EQ(side.wire.Parser().Buffered(), 0u);
    // Bytes that come before the close has run are not read either.
    side.Arrive("GET /3 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(side.seen, std::vector<std::string>({"/1"}));
    EXPECT_EQ(side.failures.size(), 1u);
}

// An answer that closes the connection is the last one: a request behind it is never read.
TEST(HttpWireTest, NothingIsReadAfterAnAnswerThatCloses)
{
    for (const std::string first : {"GET /1 HTTP/1.1\r\nConnection: close\r\n\r\n", "GET /1 HTTP/1.0\r\n\r\n"}) {
        ScriptedSide side;
        side.onRequest = [&side] { side.Answer(side.request.FileName()); };
        side.Arrive(first + "GET /2 HTTP/1.1\r\n\r\n");
        EXPECT_EQ(side.WriteOut(), "HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 2\r\nCONNECTION: close\r\n\r\n/1") << first;
        EXPECT_EQ(side.WriteOut(), "") << first;
        side.Arrive("GET /3 HTTP/1.1\r\n\r\n");
        EXPECT_EQ(side.WriteOut(), "") << first;
        EXPECT_EQ(side.seen, std::vector<std::string>({"/1"})) << first;
    }
}

// A request answered before its body is all in: the rest of the body is read and dropped,
// and the next request on the connection is answered as usual.
TEST(HttpWireTest, AnAnswerBeforeTheBodyEndsSkipsTheRestOfIt)
{
    struct Case {
        std::string head;
        std::string rest;
    };
    const std::vector<Case> cases = {
        {"POST /f HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123", "456789"},
        {"POST /f HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n01", "234\r\n3\r\nabc\r\n0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ScriptedSide side;
        int deliveries = 0;
        side.onRequest = [&] {
            ++deliveries;
            if (side.request.FileName() == "/f" && side.request.Started()) {
                side.response.SetContentLength(5);
                side.wire.WriteHeader(false);
                side.wire.WriteBody("early", true);
            } else {
                side.Answer(side.request.FileName());
            }
        };
        side.Arrive(c.head);
        EXPECT_EQ(side.WriteOut(), "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 5\r\n\r\nearly") << c.head;
        const int afterAnswer = deliveries;
        side.Arrive(c.rest + "GET /2 HTTP/1.1\r\n\r\n");
        EXPECT_EQ(deliveries, afterAnswer + 1) << c.head << ": only /2 is delivered";
        EXPECT_EQ(side.WriteOut(), "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\n/2") << c.head;
        EXPECT_EQ(side.seen, std::vector<std::string>({"/2"})) << c.head;
    }
}

// Body bytes the connection has not read stay for a later Read, up to the request limit.
TEST(HttpWireTest, UnreadBodyWaitsForReadWithinTheLimit)
{
    ScriptedSide side;
    std::vector<std::string> reads;
    side.onRequest = [&] {
        if (side.request.Complete()) {
            reads.push_back(side.wire.Read());
        }
    };
    side.Arrive("POST /f HTTP/1.1\r\nContent-Length: 10\r\n\r\n012");
    side.Arrive("3456");
    side.Arrive("789");
    EXPECT_EQ(reads, std::vector<std::string>({"0123456789"}));
    EXPECT_EQ(side.wire.Read(), "");

    ScriptedSide small;
    small.wire.SetMaxRequestSize(20);
    small.Arrive("POST /f HTTP/1.1\r\nContent-Length: 40\r\n\r\n01234");
    EXPECT_EQ(small.wire.Read(), "01234");
    small.Arrive(std::string(15, 'a'));
    EXPECT_EQ(small.invalid, 0) << "read in time: within the limit";
    small.Arrive(std::string(10, 'b'));
    EXPECT_EQ(small.invalid, 1) << "25 unread bytes are over the limit of 20";
}

// A raw answer (no head) with a known length is sent completely once that length is out,
// so its close comes at once; without a body it has nothing to send.
TEST(HttpWireTest, RawAnswerKeepsItsAnnouncedLength)
{
    ScriptedSide side;
    side.Arrive("GET /r HTTP/1.1\r\n\r\n");
    side.response.SetContentLength(3);
    side.wire.WriteHeader("", false);
    EXPECT_EQ(side.wire.ContentToSend(), 3);
    EXPECT_EQ(side.wire.TotalToSend(), 3);
    side.wire.WriteBody("raw", true);
    EXPECT_TRUE(side.response.AllContentOut());
    EXPECT_EQ(side.WriteOut(), "raw");
    EXPECT_FALSE(side.wire.HeaderOut()) << "all data sent: the wire is reset";

    ScriptedSide bodiless;
    bodiless.response.SetBodyFollows(false);
    bodiless.wire.WriteHeader("", false);
    EXPECT_EQ(bodiless.wire.ContentToSend(), 0);
    EXPECT_TRUE(bodiless.response.AllContentOut());
}

}  // namespace
