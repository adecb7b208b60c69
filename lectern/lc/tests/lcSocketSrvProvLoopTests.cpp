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
