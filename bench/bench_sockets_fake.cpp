// The asynchronous socket's send path on the host, against the scripted fake of WinSock: many
// small texts queued while the "network" would block, then drained by write events. Shows
// the cost of the socket's own bookkeeping; the loopback figures come from the Windows build.
#include "lectern/lc/tests/FakeSocketApi.h"

#include <chrono>
#include <cstdio>

namespace {

class TCounter : public TObject {
public:
    int Sent = 0;
    void OnSent(TLcSocketBase*) { ++Sent; }
};

}  // namespace

int main()
{
    TFakeSocketApi api;
    TCounter counter;
    auto* listener = new TLcWinSocket();
    listener->SetAddr("127.0.0.1");
    listener->SetPort("8000");
    listener->Listen();
    TSocket peer = api.NewHandle();
    api.Fake(listener->Handle()).Backlog.push_back(peer);
    auto* s = static_cast<TLcWinSocket*>(listener->GetNewSocket());
    listener->Release();
    s->OnDataSent = TLcSockNotifyEvent(&counter, &TCounter::OnSent);
    s->StartNewSocket();
    api.Event(peer, kFdWrite);
    api.Pump();

    constexpr int kTexts = 200000;
    const std::string text(100, 't');
    auto start = std::chrono::steady_clock::now();
    api.Fake(peer).PerCall = 1460;
    for (int round = 0; round < kTexts / 1000; ++round) {
        api.Fake(peer).SendRoom = 0;
        for (int i = 0; i < 1000; ++i)
            s->SendStr(text);
        api.Fake(peer).SendRoom = SIZE_MAX;
        api.Fake(peer).Sent.clear();
        api.Event(peer, kFdWrite);
        api.Pump();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("queued sends (fake network, 1460 bytes per call): %d texts of 100 bytes in %.3f s = %.0f texts/s, "
                "%d data-sent events\n",
                kTexts, seconds, kTexts / seconds, counter.Sent);
    s->Release();
    return 0;
}
