// The asynchronous socket on real loopback sockets under Wine: events come through the hidden
// main-thread windows and the dispatcher on this (the main) thread; the peers are blocking
// test clients.
#include "WinSockTestApi.h"

#include "lectern/lc/lcWinSock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + (i * 7 + i / 4093) % 26);
    return s;
}

// A listening socket and the sockets it accepted, with counts of what happened to them.
class TServer : public TObject {
public:
    explicit TServer(TWinSockTestApi& api) : FApi(api)
    {
        Listener = new TLcWinSocket();
        Listener->SetAddr("127.0.0.1");
        Listener->SetPort("0");
        Listener->OnSessionAvailable = TLcSockNotifyEvent(this, &TServer::Accept);
        Listener->Listen();
        Port = std::stoi(Listener->GetLocalPort());
    }
    ~TServer() override
    {
        for (TLcWinSocket* s : Clients)
            s->Release();
        if (Listener)
            Listener->Release();
    }

    // Releases a client from inside its own closed event.
    bool ReleaseOnClose = false;
    std::function<void(TLcWinSocket*)> OnReceived;

    TLcWinSocket* Listener;
    int Port = 0;
    std::vector<TLcWinSocket*> Clients;
    int Accepted = 0;
    int SentEvents = 0;
    int Closed = 0;
    std::string Received;

private:
    void Accept(TLcSocketBase* sender)
    {
        auto* s = static_cast<TLcWinSocket*>(sender->GetNewSocket());
        if (!s)
            return;
        ++Accepted;
        s->OnDataSent = TLcSockNotifyEvent(this, &TServer::Sent);
        s->OnDataReceived = TLcSockNotifyEvent(this, &TServer::Read);
        s->OnChangeState = TLcSockStateEvent(this, &TServer::State);
        Clients.push_back(s);
        s->StartNewSocket();
    }
    void Sent(TLcSocketBase*) { ++SentEvents; }
    void Read(TLcSocketBase* sender)
    {
        auto* s = static_cast<TLcWinSocket*>(sender);
        if (OnReceived) {
            OnReceived(s);
            return;
        }
        std::string text;
        s->ReceiveStr(text);
        Received += text;
    }
    void State(TLcSocketBase* sender, int state)
    {
        if (state != kSockClosed)
            return;
        ++Closed;
        if (ReleaseOnClose) {
            auto* s = static_cast<TLcWinSocket*>(sender);
            Clients.erase(std::find(Clients.begin(), Clients.end(), s));
            s->Release();
        }
    }

    TWinSockTestApi& FApi;
};

TEST(WinSocketLoop, SetupErrorsOfListen)
{
    TWinSockTestApi api;
    TServer first(api);
    struct Case {
        const char* name;
        std::string addr;
        std::string port;
        std::string message;
        int lastError;
    } cases[] = {
        {"empty port", "127.0.0.1", "", "listen: port not assigned", 10022},
        {"port in use", "127.0.0.1", std::to_string(first.Port),
         "Error #10048 in \"Bind\": Address or Port already in use", 10048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* socket = new TLcWinSocket();
        socket->SetAddr(c.addr);
        socket->SetPort(c.port);
        std::string message = "(no error)";
        try {
            socket->Listen();
        } catch (const ELcSocketError& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, c.message);
        EXPECT_EQ(socket->LastError(), c.lastError);
        socket->Release();
    }
    EXPECT_EQ(api.RegistryCount(), 1u);  // the first listener only
}

TEST(WinSocketLoop, QueuedSendsGoOutInOrderWithOneDataSentEvent)
{
    TWinSockTestApi api;
    TServer server(api);
    TTestClient client;
    ASSERT_TRUE(client.Connect(server.Port));
    ASSERT_TRUE(api.PumpUntil([&] { return server.SentEvents == 1; }));  // connected and idle
    TLcWinSocket* s = server.Clients.at(0);
    const std::string big = Pattern(4 << 20);
    s->SendStr(big);
    s->SendStr("second");
    s->SendStr("third");
    EXPECT_FALSE(s->AllSent());  // 4 MiB do not fit in the system's buffers at once
    std::string got;
    std::atomic<bool> readerDone{false};
    std::thread reader([&] {
        while (got.size() < big.size() + 11) {
            std::string part = client.Recv(65536);
            if (part.empty())
                break;
            got += part;
        }
        readerDone = true;
    });
    bool finished = api.PumpUntil([&] { return readerDone && s->AllSent() && server.SentEvents >= 2; });
    reader.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(got.size(), big.size() + 11);
    EXPECT_TRUE(got == big + "secondthird");
    api.PumpUntil([] { return false; }, 200);  // let any further event arrive
    EXPECT_EQ(server.SentEvents, 2);
}

TEST(WinSocketLoop, SlowReaderPulls8MiB)
{
    TWinSockTestApi api;
    TServer server(api);
    TTestClient client;
    ASSERT_TRUE(client.Connect(server.Port));
    ASSERT_TRUE(api.PumpUntil([&] { return server.SentEvents == 1; }));
    TLcWinSocket* s = server.Clients.at(0);
    const std::string data = Pattern(8 << 20);
    s->SendStr(data);
    std::string got;
    std::atomic<bool> readerDone{false};
    std::thread reader([&] {
        int chunks = 0;
        while (got.size() < data.size()) {
            std::string part = client.Recv(16384);
            if (part.empty())
                break;
            got += part;
            if (++chunks % 8 == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        readerDone = true;
    });
    bool finished = api.PumpUntil([&] { return readerDone.load(); }, 60000);
    reader.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
    EXPECT_TRUE(api.PumpUntil([&] { return s->AllSent() && server.SentEvents == 2; }));
}

TEST(WinSocketLoop, PeerResetMidTransferClosesTheSocket)
{
    TWinSockTestApi api;
    TServer server(api);
    server.ReleaseOnClose = true;
    TTestClient client;
    ASSERT_TRUE(client.Connect(server.Port));
    ASSERT_TRUE(api.PumpUntil([&] { return server.SentEvents == 1; }));
    server.Clients.at(0)->SendStr(Pattern(8 << 20));
    std::string first = client.Recv(65536);
    EXPECT_FALSE(first.empty());
    client.Reset();
    EXPECT_TRUE(api.PumpUntil([&] { return server.Closed == 1; }));
    EXPECT_TRUE(server.Clients.empty());
    EXPECT_EQ(api.RegistryCount(), 1u);
}

TEST(WinSocketLoop, CloseTwiceAndReleaseInsideAnEvent)
{
    TWinSockTestApi api;
    TServer server(api);
    TTestClient client;
    ASSERT_TRUE(client.Connect(server.Port));
    ASSERT_TRUE(api.PumpUntil([&] { return server.SentEvents == 1; }));
    TLcWinSocket* s = server.Clients.at(0);
    bool released = false;
    server.OnReceived = [&](TLcWinSocket* socket) {
        std::string text;
        socket->ReceiveStr(text);
        server.Received += text;
        socket->Release();  // carried out when this event ends
        socket->Close();    // still alive here
        socket->Close();
        released = true;
    };
    client.Send("hello");
    ASSERT_TRUE(api.PumpUntil([&] { return released; }));
    server.Clients.clear();
    EXPECT_EQ(server.Received, "hello");
    EXPECT_EQ(server.Closed, 1);
    EXPECT_EQ(api.RegistryCount(), 1u);
    EXPECT_TRUE(client.Recv(16).empty());  // the server side is gone
}

TEST(WinSocketLoop, ThousandConnectCloseCyclesLeaveTheRegistryEmpty)
{
    TWinSockTestApi api;
    {
        TServer server(api);
        server.ReleaseOnClose = true;
        for (int i = 0; i < 1000; ++i) {
            TTestClient client;
            ASSERT_TRUE(client.Connect(server.Port)) << i;
            ASSERT_TRUE(api.PumpUntil([&] { return server.Accepted == i + 1; })) << i;
            client.Close();
            ASSERT_TRUE(api.PumpUntil([&] { return server.Closed == i + 1; })) << i;
        }
        EXPECT_TRUE(server.Clients.empty());
        EXPECT_EQ(api.RegistryCount(), 1u);
    }
    EXPECT_EQ(api.RegistryCount(), 0u);
}

}  // namespace

namespace {

// Calls a function on a socket event.
class TOnEvent : public TObject {
public:
    std::function<void(TLcWinSocket*)> Body;
    void Fire(TLcSocketBase* sender) { Body(static_cast<TLcWinSocket*>(sender)); }
    TLcSockNotifyEvent Event() { return TLcSockNotifyEvent(this, &TOnEvent::Fire); }
};

// A datagram listener echoes what a datagram client sends it; the client is bound to a port
// of its own, the one the listener sees the datagrams come from.
TEST(WinSocketLoop, UdpEcho)
{
    TWinSockTestApi api;
    auto* server = new TLcWinSocket();
    server->SetProto(1);
    server->SetAddr("127.0.0.1");
    server->SetPort("0");
    std::string peerPort;
    TOnEvent echo;
    echo.Body = [&](TLcWinSocket* s) {
        std::string text;
        if (s->ReceiveStr(text) > 0) {
            peerPort = s->GetPeerPort();
            s->SendStr("echo " + text);
        }
    };
    server->OnDataReceived = echo.Event();
    server->Listen();
    ASSERT_EQ(server->State(), kSockConnected);

    auto* client = new TLcWinSocket();
    client->SetProto(1);
    client->SetAddr("127.0.0.1");
    client->SetPort(server->GetLocalPort());
    std::string got;
    TOnEvent read;
    read.Body = [&](TLcWinSocket* s) {
        std::string text;
        s->ReceiveStr(text);
        got += text;
    };
    client->OnDataReceived = read.Event();
    client->Connect();
    EXPECT_GT(client->LocalPortNumber(), 0);
    ASSERT_TRUE(api.PumpUntil([&] { return client->State() == kSockConnected; }));
    EXPECT_EQ(client->SendStr("ping"), 4);
    ASSERT_TRUE(api.PumpUntil([&] { return got == "echo ping"; }));
    EXPECT_EQ(peerPort, std::to_string(client->LocalPortNumber()));
    client->Release();
    server->Release();
    EXPECT_EQ(api.RegistryCount(), 0u);
}

// A stream client with a local address binds it before it connects: the listener's accepted
// socket sees the client's port as its peer's.
TEST(WinSocketLoop, TcpClientWithALocalBind)
{
    TWinSockTestApi api;
    TServer server(api);
    auto* client = new TLcWinSocket();
    client->SetAddr("127.0.0.1");
    client->SetPort(std::to_string(server.Port));
    client->SetLocalAddr("127.0.0.1");
    client->Connect();
    ASSERT_GT(client->LocalPortNumber(), 0);
    ASSERT_TRUE(api.PumpUntil([&] { return server.Accepted == 1 && client->State() == kSockConnected; }));
    ASSERT_TRUE(api.PumpUntil([&] { return server.Clients.at(0)->State() == kSockConnected; }));
    EXPECT_EQ(server.Clients.at(0)->GetPeerPort(), std::to_string(client->LocalPortNumber()));
    EXPECT_EQ(client->GetLocalPort(), std::to_string(client->LocalPortNumber()));
    client->Release();
}

}  // namespace
