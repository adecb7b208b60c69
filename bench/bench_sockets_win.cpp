// Loopback figures of the asynchronous socket under Wine: accepts per second (a client
// thread connects and closes, the main thread's hidden windows deliver the events) and the
// round trip of a small message through a socket that echoes what it reads.
#include "lectern/lc/tests/WinSockTestApi.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class TBenchServer : public TObject {
public:
    TLcWinSocket* Listener = new TLcWinSocket();
    int Accepted = 0;
    int Closed = 0;
    bool Echo = false;
    int Port = 0;

    TBenchServer()
    {
        Listener->SetAddr("127.0.0.1");
        Listener->SetPort("0");
        Listener->OnSessionAvailable = TLcSockNotifyEvent(this, &TBenchServer::Accept);
        Listener->Listen();
        Port = std::stoi(Listener->GetLocalPort());
    }
    ~TBenchServer() override { Listener->Release(); }

private:
    void Accept(TLcSocketBase* sender)
    {
        auto* s = static_cast<TLcWinSocket*>(sender->GetNewSocket());
        if (!s)
            return;
        ++Accepted;
        s->OnChangeState = TLcSockStateEvent(this, &TBenchServer::State);
        s->OnDataReceived = TLcSockNotifyEvent(this, &TBenchServer::Read);
        s->StartNewSocket();
    }
    void Read(TLcSocketBase* sender)
    {
        std::string text;
        sender->ReceiveStr(text);
        if (Echo && !text.empty())
            sender->SendStr(text);
    }
    void State(TLcSocketBase* sender, int state)
    {
        if (state == kSockClosed) {
            ++Closed;
            sender->Release();
        }
    }
};

void Accepts(TWinSockTestApi& api)
{
    constexpr int kConnections = 2000;
    TBenchServer server;
    auto start = Clock::now();
    std::thread client([&] {
        for (int i = 0; i < kConnections; ++i) {
            TTestClient c;
            c.Connect(server.Port);
        }
    });
    api.PumpUntil([&] { return server.Closed == kConnections; }, 120000);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    client.join();
    std::printf("accepts: %d connections accepted and closed in %.3f s = %.0f accepts/s\n", server.Accepted,
                seconds, server.Accepted / seconds);
}

void RoundTrips(TWinSockTestApi& api)
{
    constexpr int kRounds = 5000;
    TBenchServer server;
    server.Echo = true;
    std::vector<double> micros;
    micros.reserve(kRounds);
    bool done = false;
    std::thread client([&] {
        TTestClient c;
        c.Connect(server.Port);
        const std::string message(32, 'm');
        for (int i = 0; i < kRounds; ++i) {
            auto t0 = Clock::now();
            c.Send(message);
            size_t got = 0;
            while (got < message.size()) {
                std::string part = c.Recv(64);
                if (part.empty())
                    break;
                got += part.size();
            }
            micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        done = true;
    });
    api.PumpUntil([&] { return done; }, 120000);
    client.join();
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros)
        sum += m;
    std::printf("round trip of 32 bytes: %zu rounds, mean %.1f us, median %.1f us, p99 %.1f us\n", micros.size(),
                sum / micros.size(), micros[micros.size() / 2], micros[micros.size() * 99 / 100]);
}

}  // namespace

int main()
{
    TWinSockTestApi api;
    Accepts(api);
    RoundTrips(api);
    return 0;
}
