// The HTTP server provider over the scripted fake of WinSock: answers go out on the socket,
// pipelined requests follow their answers, and a handler that raises closes its connection.
#include "FakeSocketApi.h"

#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcSocketHttpSrvProv.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TLcSocketBase* MakeWinSocket() { return new TLcWinSocket(); }

// Makes the HTTP connections of a single-threaded listener and answers their requests
// with their file name, or raises.
class THttpRecorder : public TObject {
public:
    TLcServerRequest Request;
    TLcServerResponse Response;
    TLcSocketHttpServerProvider* Connection = nullptr;
    bool Fail = false;
    // The body answered for "/big" (others are answered with their file name).
    std::string Big;
    int Disconnects = 0;
    int Released = 0;
    std::vector<std::string> Exceptions;
    std::vector<std::string> Answered;

    void Bind(TLcSocketServerProvider* p)
    {
        p->OnNewProvider = TLcProviderNew(this, &THttpRecorder::OnNewProvider);
        p->OnDisconnect = TLcProviderNotify(this, &THttpRecorder::OnDisconnect);
        p->OnReadyToRelease = TLcProviderNotify(this, &THttpRecorder::OnReleased);
    }

private:
    void OnNewProvider(TLcConnectionProvider*& made)
    {
        auto* p = new TLcSocketHttpServerProvider();
        Bind(p);
        p->SetRequest(&Request);
        p->SetResponse(&Response);
        p->SetMaxRequestSize(128000);
        p->SetMaxHeaderSize(16000);
        p->OnDataReceived = TLcProviderNotify(this, &THttpRecorder::OnData);
        p->OnException = TLcProviderException(this, &THttpRecorder::OnException);
        Connection = p;
        made = p;
    }
    void OnData()
    {
        if (!Request.Complete()) {
            return;
        }
        if (Fail) {
            throw Exception("handler broke");
        }
        Answered.push_back(Request.FileName());
        const std::string body = Request.FileName() == "/big" ? Big : Request.FileName();
        Response.SetContentLength(static_cast<int64_t>(body.size()));
        Connection->WriteHeader(false);
        Connection->WriteBody(body, true);
    }
    void OnException(const Exception& e) { Exceptions.push_back(e.Message()); }
    void OnDisconnect() { ++Disconnects; }
    void OnReleased() { ++Released; }
};

struct Server {
    TFakeSocketApi api;
    THttpRecorder recorder;
    TLcSocketServerProvider* listener = new TLcSocketServerProvider();
    TSocket listenHandle = 0;

    Server()
    {
        listener->SetSocketClass(MakeWinSocket);
        listener->SetPort("8000");
        listener->SetAddr("127.0.0.1");
        recorder.Bind(listener);
        listener->Listen(false);
        std::lock_guard<std::recursive_mutex> guard(api.M);
        listenHandle = api.Registry.begin()->second;
    }
    ~Server()
    {
        listener->Disconnect();
        listener->Release();
    }

    // A client connects.
    TSocket Connect()
    {
        TSocket peer = api.NewHandle();
        {
            std::lock_guard<std::recursive_mutex> guard(api.M);
            api.Fake(listenHandle).Backlog.push_back(peer);
        }
        api.Event(listenHandle, kFdAccept);
        api.Event(peer, kFdWrite);
        api.Pump();
        return peer;
    }
};

TEST(SocketHttpServerProvider, AnswersGoOutAndPipelinedRequestsFollowThem)
{
    Server server;
    const TSocket peer = server.Connect();
    server.api.Fake(peer).Incoming = "GET /a HTTP/1.1\r\n\r\nGET /bc HTTP/1.0\r\n\r\n";
    server.api.Event(peer, kFdRead);
    server.api.Pump();
    EXPECT_EQ(server.recorder.Answered, std::vector<std::string>({"/a", "/bc"}));
    EXPECT_EQ(server.api.Fake(peer).Sent,
              "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 2\r\n\r\n/a"
              "HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 3\r\nCONNECTION: close\r\n\r\n/bc");
}

TEST(SocketHttpServerProvider, HandlerExceptionClosesTheConnection)
{
    Server server;
    const TSocket peer = server.Connect();
    server.recorder.Fail = true;
    server.api.Fake(peer).Incoming = "GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n";
    server.api.Event(peer, kFdRead);
    server.api.Pump();
    EXPECT_EQ(server.recorder.Exceptions, std::vector<std::string>({"handler broke"}));
    EXPECT_EQ(server.recorder.Disconnects, 1);
    EXPECT_EQ(server.recorder.Released, 1);
    EXPECT_EQ(server.listener->AcceptedCount(), 0);
    EXPECT_EQ(server.api.RegistryCount(), 1u) << "only the listening socket is left";
}

// The peer shuts down its sending side right after its requests: what it asked for is still
// answered, whole, and only then the connection closes. A close with an error closes at once.
TEST(SocketHttpServerProvider, APeersHalfCloseEndsReadingOnly)
{
    const std::string big(300000, 'b');
    const std::string bigAnswer = "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: 300000\r\n\r\n" + big;
    auto answer = [](const std::string& name) {
        return "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: " + std::to_string(name.size()) + "\r\n\r\n" + name;
    };
    struct TCase {
        const char* name;
        std::string requests;
        int closeError;      // the error the close event carries
        int sendError;       // the error of every send after the close event
        std::string sent;    // what the peer has got when the connection has closed
        int answered;
    };
    const TCase cases[] = {
        {"a large answer", "GET /big HTTP/1.1\r\n\r\n", 0, 0, bigAnswer, 1},
        {"three pipelined requests", "GET /a HTTP/1.1\r\n\r\nGET /big HTTP/1.1\r\n\r\nGET /c HTTP/1.1\r\n\r\n", 0,
         0, answer("/a") + bigAnswer + answer("/c"), 3},
        {"a request cut short", "GET /a HTTP/1.1\r\n\r\nGET /b HT", 0, 0, answer("/a"), 1},
        {"nothing asked", "", 0, 0, "", 0},
        {"a reset", "GET /big HTTP/1.1\r\n\r\n", 10054, 0, bigAnswer.substr(0, 65536), 1},
        {"a peer gone entirely", "GET /big HTTP/1.1\r\n\r\n", 0, 10054, bigAnswer.substr(0, 65536), 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Server server;
        server.recorder.Big = big;
        const TSocket peer = server.Connect();
        server.api.Fake(peer).SendRoom = 65536;  // the network takes this much, then blocks
        server.api.Fake(peer).Incoming = c.requests;
        server.api.Event(peer, kFdRead);
        if (c.sendError != 0) {
            server.api.FailOn["send"] = c.sendError;
        }
        server.api.Event(peer, kFdClose, c.closeError);
        server.api.Pump();
        for (int i = 0; i < 100 && !server.api.Fake(peer).Closed; ++i) {
            server.api.Fake(peer).SendRoom = 65536;  // room again, as the peer reads
            server.api.Event(peer, kFdWrite);
            server.api.Pump();
        }
        EXPECT_TRUE(server.api.Fake(peer).Closed);
        EXPECT_TRUE(server.api.Fake(peer).Sent == c.sent)
            << server.api.Fake(peer).Sent.size() << " bytes sent, " << c.sent.size() << " expected";
        EXPECT_EQ(static_cast<int>(server.recorder.Answered.size()), c.answered);
        EXPECT_EQ(server.recorder.Released, 1);
        EXPECT_EQ(server.api.RegistryCount(), 1u) << "only the listening socket is left";
    }
}

}  // namespace
