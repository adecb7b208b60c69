#include "FakeConnProvider.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> gLivingServers{0};

// Guards the links between fake listeners and their connections.
std::mutex gFakeLinks;

}  // namespace

TFakeJournal& ProviderJournal()
{
    static TFakeJournal journal;
    return journal;
}

// A step of a provider as a job of its queue; a step that comes after the provider ended
// does nothing (jobs of one queue run one after another, so the flag needs no lock).
class TFakeProvider::TStepJob : public TLcJob {
public:
    TStepJob(TFakeProvider* provider, std::function<void()> step)
        : FProvider(provider), FAlive(provider->FAlive), FStep(std::move(step))
    {
    }
    bool Run(TLcThread*) override
    {
        if (*FAlive) {
            FProvider->RunStep(FStep);
        }
        return true;
    }
    void Kill() override { delete this; }

private:
    TFakeProvider* FProvider;
    std::shared_ptr<bool> FAlive;
    std::function<void()> FStep;
};

TFakeProvider::~TFakeProvider()
{
    *FAlive = false;
    SetClosing(true);
    // A connection leaves its listener; a listener that goes closes the connections it
    // still has, as a socket listener does.
    LeaveParent();
    CloseAll(TakeClients());
    if (FQueue != nullptr) {
        FQueue->Stop();  // the queue ends after the job that runs now
    }
}

void TFakeProvider::Step(std::function<void()> step, bool highPriority)
{
    if (FQueue != nullptr) {
        TLcThread::PostJob(FQueue, new TStepJob(this, std::move(step)), highPriority);
    } else {
        RunStep(step);
    }
}

void TFakeProvider::RunStep(const std::function<void()>& step)
{
    ++FStepDepth;
    try {
        step();
    } catch (...) {
        --FStepDepth;
        throw;
    }
    if (--FStepDepth == 0 && FReleaseAsked) {
        delete this;
    }
}

void TFakeProvider::Listen(bool restarting)
{
    ProviderJournal().Note(restarting ? "listen restart" : "listen");
    if (MultiThreaded() && FQueue == nullptr) {
        FQueue = new TLcThread;
    }
    Step([this, restarting] { DoListen(restarting); });
}

void TFakeProvider::DoListen(bool restarting)
{
    if (FState != kLcStateClosed) {
        return;
    }
    if (FailListens > 0) {
        --FailListens;
        try {
            TriggerListenError(Exception("bind failed"));
        } catch (...) {
            TriggerAfterEvents();
            throw;
        }
        TriggerAfterEvents();
        return;
    }
    FState = kLcStateListening;
    FListenStarted = true;
    SetLost(true);
    FLocalAddr = Addr().empty() ? "0.0.0.0" : Addr();
    FLocalPort = Port();
    TriggerListenStart();
    TriggerAfterEvents();
}

void TFakeProvider::Accept()
{
    Step([this] {
        try {
            TriggerClientConnecting();
        } catch (const Exception& e) {
            Refusals.push_back(e.Message());
            return;
        }
        auto* client = dynamic_cast<TFakeProvider*>(TriggerNewProvider());
        client->FIsClient = true;
        if (MultiThreaded()) {
            client->FQueue = new TLcThread;
        }
        {
            std::lock_guard<std::mutex> lock(gFakeLinks);
            client->FParent = this;
            FClients.push_back(client);
        }
        client->Step([client] {
            client->FState = kLcStateConnecting;
            client->TriggerClientConnect();
            client->TriggerConnecting();
            client->FState = kLcStateConnected;
            client->TriggerConnect();
            client->TriggerAfterEvents();
        });
    });
}

std::vector<TFakeProvider*> TFakeProvider::Clients()
{
    std::lock_guard<std::mutex> lock(gFakeLinks);
    return FClients;
}

void TFakeProvider::Receive(const std::string& text)
{
    Step([this, text] {
        FInbox += text;
        TriggerDataReceived();
        TriggerAfterEvents();
    });
}

std::string TFakeProvider::Read()
{
    std::string text;
    text.swap(FInbox);
    return text;
}

void TFakeProvider::LoseListener()
{
    Step([this] {
        SetLost(true);
        CloseListener();
    });
}

void TFakeProvider::Disconnect()
{
    ProviderJournal().Note("disconnect");
    if (IgnoreDisconnects > 0) {
        --IgnoreDisconnects;
        return;
    }
    Step([this] {
        SetLost(false);
        InternalDisconnect();
    });
}

void TFakeProvider::InternalDisconnect()
{
    RunStep([this] {
        if (FIsClient) {
            CloseClient();
        } else {
            CloseListener();
        }
    });
}

void TFakeProvider::CloseListener()
{
    if (FState == kLcStateClosed) {
        return;
    }
    FState = kLcStateClosed;
    if (FListenStarted) {
        FListenStarted = false;
        TriggerListenStop();
    }
    CloseAll(TakeClients());
    if (Lost()) {
        TriggerListenLost();
    }
    TriggerAfterEvents();
}

void TFakeProvider::LeaveParent()
{
    std::lock_guard<std::mutex> lock(gFakeLinks);
    if (FParent != nullptr) {
        std::erase(FParent->FClients, this);
        FParent = nullptr;
    }
}

std::vector<TFakeProvider*> TFakeProvider::TakeClients()
{
    std::lock_guard<std::mutex> lock(gFakeLinks);
    std::vector<TFakeProvider*> clients;
    clients.swap(FClients);
    for (TFakeProvider* client : clients) {
        client->FParent = nullptr;
    }
    return clients;
}

void TFakeProvider::CloseAll(const std::vector<TFakeProvider*>& clients)
{
    for (TFakeProvider* client : clients) {
        client->Step([client] { client->InternalDisconnect(); }, true);
    }
}

void TFakeProvider::CloseClient()
{
    if (FState == kLcStateClosed) {
        return;
    }
    FState = kLcStateDisconnecting;
    TriggerDisconnecting();
    TriggerDisconnect();
    LeaveParent();
    TriggerClientDisconnect();
    FState = kLcStateClosed;
    TriggerAfterEvents();
    End();
}

void TFakeProvider::Release()
{
    ProviderJournal().Note("release");
    if (FQueue != nullptr && !FQueue->InWorker()) {
        Step([this] { End(); });
    } else if (FStepDepth > 0) {
        FReleaseAsked = true;
    } else {
        delete this;
    }
}

// Called from a step: the provider goes when the step is over.
void TFakeProvider::End()
{
    FReleaseAsked = true;
    if (FStepDepth == 0) {
        delete this;
    }
}

// ---- the test server ----

TTestServer::TTestServer(TComponent* owner) : TLcServer(owner) { ++gLivingServers; }

TTestServer::~TTestServer()
{
    Shutdown();
    --gLivingServers;
}

int TTestServer::Living() { return gLivingServers.load(); }

TLcConnectionProvider* TTestServer::CreateProvider()
{
    if (Provider() == nullptr) {
        AdoptProvider(new TFakeProvider);
        SetTriggers();
    }
    return Provider();
}
