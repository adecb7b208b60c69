// Counts the triggers of a socket server provider and of every connection it makes; for the
// provider tests (fake and loopback).
#pragma once

#include "ServerUnits.h"
#include "WaitUntil.h"

#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcSocketSrvProv.h"
#include "lectern/lc/lcWinSocket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

namespace {

TLcSocketBase* MakeWinSocket() { return new TLcWinSocket(); }

// Counts the triggers of a listener and of every connection it makes. The connections of a
// multi-threaded listener fire on several pool workers at once: what they write is guarded, and
// each connection reads only itself (another one may be gone by then).
class TRecorder : public TObject {
public:
    std::atomic<int> ListenStart{0}, ListenStop{0}, ClientConnect{0}, Connect{0}, Disconnect{0},
        ClientDisconnect{0}, Released{0}, NewProviders{0};
    std::atomic<bool> FailNewProvider{false};
    std::atomic<bool> Refuse{false};
    std::vector<std::string> Errors;
    std::vector<std::string> ListenErrors;
    std::string Received;
    std::atomic<TLcSocketServerProvider*> LastConnection{nullptr};

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
    // The data handler of one connection.
    class TReader : public TObject {
    public:
        TReader(TRecorder& recorder, TLcSocketServerProvider* connection)
            : FRecorder(recorder), FConnection(connection)
        {
        }
        void OnData()
        {
            std::string text = FConnection->Read();
            std::lock_guard<std::mutex> guard(FRecorder.FLock);
            FRecorder.Received += text;
        }

        CL_CLASS_NAME(TReader)

    private:
        TRecorder& FRecorder;
        TLcSocketServerProvider* FConnection;
    };

    std::mutex FLock;
    std::vector<std::unique_ptr<TReader>> FReaders;

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
    void OnError(const std::string& text)
    {
        std::lock_guard<std::mutex> guard(FLock);
        Errors.push_back(text);
    }
    void OnListenError(const Exception& e)
    {
        std::lock_guard<std::mutex> guard(FLock);
        ListenErrors.push_back(e.Message());
    }
    void OnNewProvider(TLcConnectionProvider*& made)
    {
        if (FailNewProvider)
            throw Exception("no provider today");
        ++NewProviders;
        auto* p = new TLcSocketServerProvider();
        Bind(p);
        TReader* reader;
        {
            std::lock_guard<std::mutex> guard(FLock);
            FReaders.push_back(std::make_unique<TReader>(*this, p));
            reader = FReaders.back().get();
        }
        p->OnDataReceived = TLcProviderNotify(reader, &TReader::OnData);
        LastConnection = p;
        made = p;
    }
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
