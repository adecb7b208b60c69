// Test double of the provider chain: a scripted server provider that fires the triggers a
// socket provider would, with no sockets.
//
// Single-threaded, every step runs at once on the calling thread. Multi-threaded, the
// listener and every accepted connection get a job queue of their own and every step is a job
// on it, as with the socket provider. A provider asked to release itself during one of its own
// steps ends when the step is over; a closed connection ends by itself, as a closed socket does.
// What the provider was asked to do goes to a journal ("listen", "listen restart",
// "disconnect", "release").
#pragma once

#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcThrConnProv.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct TFakeJournal {
    std::mutex FLock;
    std::vector<std::string> FLines;

    void Note(const std::string& line)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FLines.push_back(line);
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FLines;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(FLock);
        FLines.clear();
    }
};

// The journal of the provider calls of a test.
TFakeJournal& ProviderJournal();

class TFakeProvider : public TLcThrServerProvider {
public:
    TFakeProvider() = default;
    ~TFakeProvider() override;

    // ---- script ----
    int FailListens = 0;        // so many listens fail with ListenError "bind failed"
    int IgnoreDisconnects = 0;  // so many Disconnect calls leave a listener listening
    std::vector<std::string> Refusals;  // messages of clients refused by the limit check

    // ---- what the test makes happen ----
    // A client arrives at the listener (a job of the listener in multi-threaded mode).
    void Accept();
    // Data arrive on an accepted connection.
    void Receive(const std::string& text);
    // The listening socket goes away without being asked.
    void LoseListener();
    // The accepted connections of this listener.
    std::vector<TFakeProvider*> Clients();
    const std::string& Sent() const { return FSent; }
    void SetCounts(int64_t lastWrite, int64_t lastRead)
    {
        FLastWrite = lastWrite;
        FLastRead = lastRead;
    }

    // ---- provider operations ----
    void Enter() override { FLock.Enter(); }
    void Leave() override { FLock.Leave(); }
    TLcThread* ClientThread() override { return FIsClient ? FQueue : nullptr; }
    TLcThread* ServerThread() override { return FIsClient ? nullptr : FQueue; }
    void Release() override;
    void Disconnect() override;
    void InternalDisconnect() override;
    void WriteBody(std::string text, bool sendNow) override { FSent += text; }
    std::string Read() override;
    void Listen(bool restarting) override;

    CL_CLASS_NAME(TFakeProvider)

private:
    class TStepJob;

    // Runs step as one step of the provider: at once, or as a job of its queue.
    void Step(std::function<void()> step, bool highPriority = false);
    void RunStep(const std::function<void()>& step);
    void DoListen(bool restarting);
    void CloseListener();
    void CloseClient();
    std::vector<TFakeProvider*> TakeClients();
    void LeaveParent();
    static void CloseAll(const std::vector<TFakeProvider*>& clients);
    void End();

    TLcCritSec FLock;
    TLcThread* FQueue = nullptr;  // ends in the pool (Stop)
    bool FIsClient = false;
    TFakeProvider* FParent = nullptr;
    std::vector<TFakeProvider*> FClients;  // guarded by the fakes' link lock
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    bool FListenStarted = false;
    int FStepDepth = 0;
    bool FReleaseAsked = false;
    std::string FInbox;
    std::string FSent;
};

// The server class driven by the fake.
class TTestServer : public TLcServer {
public:
    explicit TTestServer(TComponent* owner);
    ~TTestServer() override;

    TFakeProvider* Fake() const { return dynamic_cast<TFakeProvider*>(Provider()); }
    static int Living();

    using TLcServer::CopyFrom;
    using TLcServer::SetTriggers;
    using TLcServer::ClearTriggers;

    CL_CLASS_NAME(TTestServer)

protected:
    TLcConnectionProvider* CreateProvider() override;
    TLcServer* CopyOf() override { return new TTestServer(nullptr); }
};
