// The HTTP server component over the scripted fake of WinSock: how a handler's writes become
// responses on the socket, the write errors a handler gets, invalid requests and closing.
#include "FakeSocketApi.h"

#include "lectern/lc/lcHttpSrv.h"
#include "lectern/lc/tests/ExpectError.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The application side: a provider that takes every request and lets the test answer it.
class THandler : public TObject {
public:
    std::function<void(TLcHttpServer&)> Answer;
    std::function<void(TLcHttpServer&)> Invalid;
    std::vector<std::string> Exceptions;
    int Disconnects = 0;

    void Bind(TLcHttpServer& server, TLcDataProvider& provider)
    {
        provider.SetServer(&server);
        provider.OnCheckRequest = TLcNotifyEvent(this, &THandler::Check);
        provider.OnDataReceived = TLcNotifyEvent(this, &THandler::Received);
        server.OnInvalidRequest = TLcNotifyEvent(this, &THandler::InvalidRequest);
        server.OnException = TLcErrorEvent(this, &THandler::Failed);
        server.OnDisconnect = TLcNotifyEvent(this, &THandler::Disconnected);
    }

private:
    void Check(TLcConnection* sender) { dynamic_cast<TLcHttpServer*>(sender)->AcceptRequest(); }
    void Received(TLcConnection* sender)
    {
        auto* server = dynamic_cast<TLcHttpServer*>(sender);
        if (server->Request()->Complete() && Answer) {
            Answer(*server);
        }
    }
    void InvalidRequest(TLcConnection* sender)
    {
        if (Invalid) {
            Invalid(*dynamic_cast<TLcHttpServer*>(sender));
        }
    }
    void Failed(TLcConnection*, const Exception& e) { Exceptions.push_back(e.Message()); }
    void Disconnected(TLcConnection*) { ++Disconnects; }
};

class HttpServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeLcConn();
        InitializeLcDataSrv();
        server = new TLcHttpServer(nullptr);
        provider = new TLcDataProvider(nullptr);
        server->ServerAddr = "127.0.0.1";
        server->ServerPort = "8000";
        server->MaxRequestSize = 128000;
        server->MaxHeaderSize = 16000;
        handler.Bind(*server, *provider);
        server->Listen();
        std::lock_guard<std::recursive_mutex> guard(api.M);
        listenHandle = api.Registry.begin()->second;
    }
    void TearDown() override
    {
        delete provider;
        delete server;
        FinalizeLcDataSrv();
        FinalizeLcConn();
    }

    // A client connects and sends request; answers what the server sent back.
    std::string Exchange(const std::string& request)
    {
        peer = api.NewHandle();
        {
            std::lock_guard<std::recursive_mutex> guard(api.M);
            api.Fake(listenHandle).Backlog.push_back(peer);
        }
        api.Event(listenHandle, kFdAccept);
        api.Event(peer, kFdWrite);
        api.Pump();
        api.Fake(peer).Incoming = request;
        api.Event(peer, kFdRead);
        api.Pump();
        return api.Fake(peer).Sent;
    }
    bool PeerClosed() { return api.Fake(peer).Closed; }

    TFakeSocketApi api;
    THandler handler;
    TLcHttpServer* server = nullptr;
    TLcDataProvider* provider = nullptr;
    TSocket listenHandle = 0;
    TSocket peer = 0;
};

TEST_F(HttpServer, TextWrittenWithoutALengthGoesOutInOneResponseWithFieldsSetAfterIt)
{
    handler.Answer = [](TLcHttpServer& s) {
        s.Write("abc");
        s.Write("def");
        s.Response()->SetContentType("text/plain");
    };
    EXPECT_EQ(Exchange("GET /a HTTP/1.1\r\nHost: x\r\n\r\nGET /b HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/plain\r\nCONTENT-LENGTH: 6\r\n\r\nabcdef"
              "HTTP/1.1 200 OK\r\nCONTENT-TYPE: text/plain\r\nCONTENT-LENGTH: 6\r\n\r\nabcdef");
    EXPECT_FALSE(PeerClosed());
    EXPECT_TRUE(handler.Exceptions.empty());
}

TEST_F(HttpServer, AnnouncedLengthSendsTheHeadWithTheFirstContent)
{
    handler.Answer = [](TLcHttpServer& s) {
        s.Response()->SetContentLength(5);
        s.Write("ab");
        EXPECT_TRUE(s.Response()->HeaderSent());
        s.Write("cde");
    };
    EXPECT_EQ(Exchange("GET / HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 200 OK\r\nCONTENT-LENGTH: 5\r\nCONNECTION: close\r\n\r\nabcde");
    EXPECT_TRUE(PeerClosed()) << "an HTTP/1.0 request closes after its answer";
}

TEST_F(HttpServer, WriteErrorsReachTheHandlerAndCloseTheConnection)
{
    struct TCase {
        const char* name;
        std::function<void(TLcHttpServer&)> answer;
        const char* message;
    };
    const TCase cases[] = {
        {"more than announced",
         [](TLcHttpServer& s) {
             s.Response()->SetContentLength(3);
             s.Write("abcd");
         },
         "Error! Sending more data out than specified in header."},
        {"second head",
         [](TLcHttpServer& s) {
             s.WriteHeader(false);
             s.WriteHeader(false);
         },
         "Error! Sending multiple headers for one request."},
        {"after all content",
         [](TLcHttpServer& s) {
             s.Response()->SetContentLength(2);
             s.Write("ab");
             s.Write("c");
         },
         "Error! Answer allready sent for this request."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        handler.Exceptions.clear();
        handler.Answer = c.answer;
        Exchange("GET / HTTP/1.1\r\n\r\n");
        EXPECT_EQ(handler.Exceptions, std::vector<std::string>({c.message}));
        EXPECT_TRUE(PeerClosed()) << "the client is not left waiting";
    }
}

TEST_F(HttpServer, InvalidRequestSendsWhatItsHandlerWroteAndCloses)
{
    bool answered = false;
    handler.Answer = [&](TLcHttpServer&) { answered = true; };
    handler.Invalid = [](TLcHttpServer& s) {
        s.Response()->SetStatus(400, "Bad Request");
        s.Write("Status 400: Bad Request");
    };
    const std::string sent = Exchange("NOT A REQUEST LINE\r\n\r\n");
    EXPECT_NE(sent.find(" 400 Bad Request\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("CONTENT-LENGTH: 23\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.substr(sent.size() - 23), "Status 400: Bad Request");
    EXPECT_TRUE(PeerClosed());
    EXPECT_FALSE(answered);
}

TEST_F(HttpServer, RequestLineBeyondTheLimitIsInvalid)
{
    int invalid = 0;
    handler.Invalid = [&](TLcHttpServer&) { ++invalid; };
    handler.Answer = [](TLcHttpServer& s) { s.Write("ok"); };
    Exchange("GET /" + std::string(128000, 'a') + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(invalid, 1);
    EXPECT_TRUE(PeerClosed());
}

TEST_F(HttpServer, SettingsThatNeedANewProvider)
{
    ExpectError<ELcConnection>([&] { server->SetBlocking(true); }, "Can not change Blocking when Server is listening.");
    TLcCryptPlugin plugin(nullptr);
    ExpectError<ELcConnection>([&] { server->SetCryptPlugin(&plugin); },
                               "Can not change CryptPlugin when Server is listening.");
    EXPECT_FALSE(server->Blocking());
    EXPECT_EQ(server->CryptPlugin(), nullptr);
}

TEST(HttpServerSettings, CryptPluginIsForgottenWhenItGoes)
{
    TLcHttpServer server(nullptr);
    auto* plugin = new TLcCryptPlugin(nullptr);
    server.SetCryptPlugin(plugin);
    EXPECT_EQ(server.CryptPlugin(), plugin);
    delete plugin;
    EXPECT_EQ(server.CryptPlugin(), nullptr);
}

}  // namespace
