// Counts the triggers of a socket server provider and of every connection it makes; for the
// provider tests (fake and loopback).
#pragma once

#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcSocketSrvProv.h"
#include "lectern/lc/lcWinSocket.h"

#include <atomic>
#include <string>
#include <vector>

namespace {

TLcSocketBase* MakeWinSocket() { return new TLcWinSocket(); }

// Counts the triggers of a listener and of every connection it makes.
class TRecorder : public TObject {
public:
    std::atomic<int> ListenStart{0}, ListenStop{0}, ClientConnect{0}, Connect{0}, Disconnect{0},
        ClientDisconnect{0}, Released{0}, NewProviders{0};
    std::atomic<bool> FailNewProvider{false};
    std::atomic<bool> Refuse{false};
    std::vector<std::string> Errors;
    std::vector<std::string> ListenErrors;
    std::string Received;
    TLcSocketServerProvider* LastConnection = nullptr;

    void Bind(TLcSocketServerProvider* p)
    {
        p->OnListenStart = TLcProviderNotify(this, &TRecorder::OnListenStart);
        p->OnListenStop = TLcProviderNotify(this, &TRecorder::OnListenStop);
        p->OnClientConnect = TLcProviderNotify(this, &TRecorder::OnClientConnect);
        p->OnClientConnecting = TLcProviderNotify(this, &TRecorder::OnClientConnecting);
        p->OnConnect = TLcProviderNotify(this, &TRecorder::OnConnect);
        p->OnDisconnect = TLcProviderNotify(this, &TRecorder::OnDisconnect);
        p->OnClientDisconnect = TLcProviderNotify(this, &TRecorder::OnClientDisconnect);
        p->OnReadyToRelease = TLcProviderNotify(this, &TRecorder::OnReleased);
        p->OnNewProvider = TLcProviderNew(this, &TRecorder::OnNewProvider);
        p->OnError = TLcProviderErrorText(this, &TRecorder::OnError);
        p->OnListenError = TLcProviderException(this, &TRecorder::OnListenError);
    }

private:
    void OnListenStart() { ++ListenStart; }
    void OnListenStop() { ++ListenStop; }
    void OnClientConnect() { ++ClientConnect; }
    void OnClientConnecting()
    {
        if (Refuse)
            throw EClientLimitReached("Server connection limit reached.");
    }
    void OnConnect() { ++Connect; }
    void OnDisconnect() { ++Disconnect; }
    void OnClientDisconnect() { ++ClientDisconnect; }
    void OnReleased() { ++Released; }
    void OnError(const std::string& text) { Errors.push_back(text); }
    void OnListenError(const Exception& e) { ListenErrors.push_back(e.Message()); }
    void OnNewProvider(TLcConnectionProvider*& made)
    {
        if (FailNewProvider)
            throw Exception("no provider today");
        ++NewProviders;
        auto* p = new TLcSocketServerProvider();
        Bind(p);
        p->OnDataReceived = TLcProviderNotify(this, &TRecorder::OnData);
        LastConnection = p;
        made = p;
    }
    void OnData() { Received += LastConnection->Read(); }
};

TLcSocketServerProvider* Listener(TRecorder& recorder, const std::string& port = "8000")
{
    auto* p = new TLcSocketServerProvider();
    p->SetSocketClass(MakeWinSocket);
    p->SetPort(port);
    p->SetAddr("127.0.0.1");
    recorder.Bind(p);
    return p;
}

}  // namespace
