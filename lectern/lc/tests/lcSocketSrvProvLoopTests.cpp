// The multi-threaded socket server provider on real loopback sockets under Wine: the sockets'
// events arrive on the message thread's hidden windows and run as jobs of the listener's and
// the connections' queues.
#include "ProviderRecorder.h"
#include "WinSockTestApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using ProviderLoop = ThreadedProviderUnits;

TLcSocketServerProvider* StartListener(TRecorder& recorder)
{
    auto* listener = new TLcSocketServerProvider();
    listener->SetSocketClass(MakeWinSocket);
    listener->SetAddr("127.0.0.1");
    listener->SetPort("0");
    listener->SetMultiThreaded(true);
    recorder.Bind(listener);
    listener->Listen(false);
    return listener;
}

TEST_F(ProviderLoop, StoppingAListenerWhileClientsConnectFreesEveryConnection)
{
    TWinSockTestApi api;
    constexpr int kClients = 4;
    constexpr int kConnectsEach = 100;  // bounded: at most 400 connections
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TRecorder recorder;
        TLcSocketServerProvider* listener = StartListener(recorder);
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
        int port = std::stoi(listener->LocalPort());
        std::atomic<int> connected{0};
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&] {
                for (int i = 0; i < kConnectsEach; ++i) {
                    TTestClient client;
                    if (!client.Connect(port))
                        return;  // the listener is gone
                    ++connected;
                    if (i % 2 == 0)
                        client.Send("GET / HTTP/1.1\r\n\r\n");
                }
            });
        WaitFor([&] { return recorder.ClientConnect >= 40 * (round + 1); }, nullptr, 10);
        listener->Disconnect();
        for (auto& t : clients)
            t.join();
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStop == 1; }));
        ASSERT_TRUE(WaitFor([&] { return recorder.Released == recorder.NewProviders && api.RegistryCount() == 0; }))
            << "made " << recorder.NewProviders << ", freed " << recorder.Released << ", open "
            << api.RegistryCount();
        EXPECT_GT(recorder.NewProviders, 0);
        listener->Release();
        ASSERT_TRUE(WaitFor([&] { return recorder.Released == recorder.NewProviders + 1; }));
    }
}

}  // namespace

namespace {

// A connection that answers what it reads: "<" + text + ">".
class TEcho : public TObject {
public:
    explicit TEcho(TLcSocketServerProvider* connection) : FConnection(connection) {}
    void Data()
    {
        const std::string text = FConnection->Read();
        if (!text.empty())
            FConnection->WriteBody("<" + text + ">", true);
    }

private:
    TLcSocketServerProvider* FConnection;
};

// A listener whose connections echo.
class TEchoListener : public TObject {
public:
    std::atomic<int> Started{0}, Released{0};
    TLcSocketServerProvider* Listener = new TLcSocketServerProvider();

    explicit TEchoListener(int proto, TLcCryptSteps* plugin = nullptr)
    {
        Listener->SetSocketClass(MakeWinSocket);
        Listener->SetAddr("127.0.0.1");
        Listener->SetPort("0");
        Listener->SetProto(proto);
        Listener->SetMultiThreaded(true);
        Listener->SetCryptPlugin(plugin);
        Listener->OnListenStart = TLcProviderNotify(this, &TEchoListener::ListenStart);
        Listener->OnNewProvider = TLcProviderNew(this, &TEchoListener::NewProvider);
        Listener->OnReadyToRelease = TLcProviderNotify(this, &TEchoListener::Gone);
        FListenerEcho = std::make_unique<TEcho>(Listener);
        Listener->OnDataReceived = TLcProviderNotify(FListenerEcho.get(), &TEcho::Data);  // datagrams
        Listener->Listen(false);
    }

private:
    void ListenStart() { ++Started; }
    void Gone() { ++Released; }
    void NewProvider(TLcConnectionProvider*& made)
    {
        auto* connection = new TLcSocketServerProvider();
        std::lock_guard<std::mutex> guard(FLock);
        FEchoes.push_back(std::make_unique<TEcho>(connection));
        connection->OnDataReceived = TLcProviderNotify(FEchoes.back().get(), &TEcho::Data);
        connection->OnReadyToRelease = TLcProviderNotify(this, &TEchoListener::Gone);
        made = connection;
    }

    std::mutex FLock;
    std::unique_ptr<TEcho> FListenerEcho;
    std::vector<std::unique_ptr<TEcho>> FEchoes;
};

// Swaps the case of letters both ways, greets after connecting and says goodbye before a
// disconnect; a received "!" loses the connection.
class TSwapCase : public TLcCryptSteps {
public:
    std::atomic<int> AfterDisconnects{0};

    static std::string Swap(std::string s)
    {
        for (char& c : s)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                c ^= 0x20;
        return s;
    }
    int AfterConnect(std::uintptr_t, std::string& reply) override
    {
        reply = "HELLO\n";
        return kGoOn;
    }
    int DataReceived(std::uintptr_t, const std::string& received, std::string& plain, std::string&,
                     bool& moreToRead) override
    {
        moreToRead = false;
        if (received.find('!') != std::string::npos)
            return kLost;
        plain = Swap(received);
        return kGoOn;
    }
    int DataToSend(std::uintptr_t, const std::string& plain, std::string& encoded) override
    {
        encoded = Swap(plain);
        return kGoOn;
    }
    int BeforeDisconnect(std::uintptr_t, std::string& text) override
    {
        text = "BYE\n";
        return kGoOn;
    }
    void AfterDisconnect(std::uintptr_t) override { ++AfterDisconnects; }
};

// Reads from a blocking client until `expected` bytes came or the connection ended.
std::string ReadSome(TTestClient& client, size_t expected)
{
    std::string got;
    while (got.size() < expected) {
        const std::string part = client.Recv(4096);
        if (part.empty())
            break;
        got += part;
    }
    return got;
}

TEST_F(ProviderLoop, UdpListenerAnswersEachDatagramsPeer)
{
    TWinSockTestApi api;
    TEchoListener echo(1);
    ASSERT_TRUE(WaitFor([&] { return echo.Started == 1; }));
    auto* client = new TLcWinSocket();
    client->SetProto(1);
    client->SetAddr("127.0.0.1");
    client->SetPort(echo.Listener->LocalPort());
    std::string got;
    class TRead : public TObject {
    public:
        std::string* Into;
        void Fire(TLcSocketBase* s)
        {
            std::string text;
            s->ReceiveStr(text);
            *Into += text;
        }
    } read;
    read.Into = &got;
    client->OnDataReceived = TLcSockNotifyEvent(&read, &TRead::Fire);
    client->Connect();
    ASSERT_TRUE(api.PumpUntil([&] { return client->State() == kSockConnected; }));
    client->SendStr("one");
    ASSERT_TRUE(api.PumpUntil([&] { return got == "<one>"; }));
    client->SendStr("two");
    ASSERT_TRUE(api.PumpUntil([&] { return got == "<one><two>"; }));
    EXPECT_EQ(echo.Listener->PeerPort(), std::to_string(client->LocalPortNumber()));
    client->Release();
    echo.Listener->Release();
    EXPECT_TRUE(WaitFor([&] { return echo.Released == 1 && api.RegistryCount() == 0; }));
}

// A plug-in transforms the stream both ways: the connection reads and writes plain text, the
// peer sees it transformed, with the plug-in's greeting first and its goodbye last; a piece
// the plug-in refuses loses the connection.
TEST_F(ProviderLoop, CryptPluginTransformsTheStreamBothWays)
{
    TWinSockTestApi api;
    TSwapCase plugin;
    TEchoListener echo(0, &plugin);
    ASSERT_TRUE(WaitFor([&] { return echo.Started == 1; }));
    const int port = std::stoi(echo.Listener->LocalPort());

    TTestClient refused;
    ASSERT_TRUE(refused.Connect(port));
    EXPECT_EQ(ReadSome(refused, 6), "HELLO\n");
    refused.Send("bad!");
    EXPECT_EQ(ReadSome(refused, 100), "") << "lost: closed without goodbye";
    ASSERT_TRUE(WaitFor([&] { return echo.Released == 1; }));

    TTestClient client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(ReadSome(client, 6), "HELLO\n");
    client.Send("gET /a");
    EXPECT_EQ(ReadSome(client, 8), "<gET /a>") << "read as \"Get /A\", answered \"<Get /A>\"";
    echo.Listener->Disconnect();
    EXPECT_EQ(ReadSome(client, 100), "BYE\n");
    ASSERT_TRUE(WaitFor([&] { return echo.Released == 2; }));
    EXPECT_EQ(plugin.AfterDisconnects, 2);
    echo.Listener->Release();
    EXPECT_TRUE(WaitFor([&] { return echo.Released == 3 && api.RegistryCount() == 0; }));
}

}  // namespace
