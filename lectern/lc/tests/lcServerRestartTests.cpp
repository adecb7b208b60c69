// A multi-threaded HTTP server on the socket server provider and the scripted fake of WinSock,
// restarted while it serves: its events run on pool workers, the restart's on the listener's
// own queue, and every answer, connection and queue is accounted for afterwards. Run under
// ThreadSanitizer too.
#include "FakeSocketApi.h"
#include "ServerUnits.h"
#include "WaitUntil.h"

#include "lectern/lc/lcHttpSrv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace {

// Waits up to `seconds` for done() while the fake's posted messages are delivered.
bool PumpUntil(TFakeSocketApi& api, const std::function<bool()>& done, int seconds = 20)
{
    return WaitFor(done, [&api] { api.Pump(); }, seconds);
}

// The application: answers every request with its file name; counts the listen events. Its
// handlers run on pool workers.
class TApp : public TObject {
public:
    std::atomic<int> ListenStarts{0}, ListenStops{0}, Restarts{0}, Answers{0};

    void Bind(TLcHttpServer& server, TLcDataProvider& provider)
    {
        server.OnListenStart = TLcNotifyEvent(this, &TApp::ListenStart);
        server.OnListenStop = TLcNotifyEvent(this, &TApp::ListenStop);
        server.OnRestart = TLcNotifyEvent(this, &TApp::Restart);
        provider.SetServer(&server);
        provider.OnCheckRequest = TLcNotifyEvent(this, &TApp::Check);
        provider.OnDataReceived = TLcNotifyEvent(this, &TApp::Received);
    }

private:
    void ListenStart(TLcConnection*) { ++ListenStarts; }
    void ListenStop(TLcConnection*) { ++ListenStops; }
    void Restart(TLcConnection*) { ++Restarts; }
    void Check(TLcConnection* sender) { dynamic_cast<TLcHttpServer*>(sender)->AcceptRequest(); }
    void Received(TLcConnection* sender)
    {
        auto* server = dynamic_cast<TLcHttpServer*>(sender);
        if (server->Request()->Complete()) {
            server->Write(server->Request()->FileName());
            ++Answers;
        }
    }
};

class ServerRestart : public ServerUnits {
protected:
    void SetUp() override
    {
        ServerUnits::SetUp();
        baseQueues = LcPoolCounts().LiveQueues;
    }

    // The socket the listener made last: its listening socket once it listens.
    TSocket ListenHandle()
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        return api.LastSocket;
    }
    bool Registered(TSocket handle)
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        for (const auto& entry : api.Registry) {
            if (entry.second == handle) {
                return true;
            }
        }
        return false;
    }
    std::string Sent(TSocket handle)
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        return api.Fake(handle).Sent;
    }
    bool Closed(TSocket handle)
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        return api.Fake(handle).Closed;
    }

    // A client connects, asks for path and closes once it has the whole answer.
    void Exchange(const std::string& path)
    {
        const TSocket listener = ListenHandle();
        const TSocket peer = api.NewHandle();
        {
            std::lock_guard<std::recursive_mutex> guard(api.M);
            api.Fake(listener).Backlog.push_back(peer);
            api.Fake(peer).Incoming = "GET " + path + " HTTP/1.1\r\n\r\n";
        }
        api.Event(listener, kFdAccept);
        ASSERT_TRUE(PumpUntil(api, [&] { return Registered(peer); })) << path;
        api.Event(peer, kFdWrite);
        api.Event(peer, kFdRead);
        const std::string answer =
            "HTTP/1.1 200 OK\r\nCONTENT-LENGTH: " + std::to_string(path.size()) + "\r\n\r\n" + path;
        ASSERT_TRUE(PumpUntil(api, [&] { return Sent(peer) == answer; })) << path << ": " << Sent(peer);
        api.Event(peer, kFdClose);
        ASSERT_TRUE(PumpUntil(api, [&] { return Closed(peer) && !Registered(peer); })) << path;
    }

    TFakeSocketApi api;
    int baseQueues = 0;
};

TEST_F(ServerRestart, RestartsOfAMultiThreadedServerWhileItServes)
{
    TApp app;
    auto* server = new TLcHttpServer(nullptr);
    TLcDataProvider provider(nullptr);
    app.Bind(*server, provider);
    server->ServerAddr = "127.0.0.1";
    server->ServerPort = "8000";
    server->SetMultiThreaded(true);
    server->Listen();
    ASSERT_TRUE(PumpUntil(api, [&] { return app.ListenStarts == 1; }));
    Exchange("/before");

    constexpr int kRestarts = 3;
    for (int round = 1; round <= kRestarts; ++round) {
        SCOPED_TRACE(round);
        server->Restart(0);
        ASSERT_TRUE(PumpUntil(api, [&] { return app.Restarts == round && app.ListenStarts == round + 1; }));
        EXPECT_EQ(app.ListenStops, round);
        Exchange("/after" + std::to_string(round));
    }
    EXPECT_EQ(app.Answers, kRestarts + 1);
    EXPECT_EQ(server->ConnectionCount(), 0);
    delete server;
    EXPECT_EQ(app.ListenStops, kRestarts + 1);
    EXPECT_TRUE(PumpUntil(api, [&] { return api.RegistryCount() == 0 && LcPoolCounts().LiveQueues == baseQueues; }))
        << "sockets " << api.RegistryCount() << ", queues " << LcPoolCounts().LiveQueues - baseQueues;
}

// A restart asked for just before the server goes: its step (which stops the listener and arms
// the restart timer to listen again a second later) may run on the listener's queue while the
// main thread destroys the server. Neither the timer nor the server is used after it has gone.
TEST_F(ServerRestart, AServerDestroyedRightAfterARestart)
{
    TApp app;
    TLcDataProvider provider(nullptr);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        auto* server = new TLcHttpServer(nullptr);
        app.Bind(*server, provider);
        server->ServerAddr = "127.0.0.1";
        server->ServerPort = "8000";
        server->SetMultiThreaded(true);
        const int started = app.ListenStarts;
        server->Listen();
        ASSERT_TRUE(PumpUntil(api, [&] { return app.ListenStarts == started + 1; }));
        server->Restart(0);
        std::this_thread::sleep_for(std::chrono::microseconds(50 * (round % 20)));
        delete server;
    }
    EXPECT_TRUE(PumpUntil(api, [&] { return api.RegistryCount() == 0 && LcPoolCounts().LiveQueues == baseQueues; }));
}

}  // namespace
