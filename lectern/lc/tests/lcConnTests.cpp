// The connection and server components driven by the scripted provider of FakeConnProvider.
#include "lectern/lc/tests/FakeConnProvider.h"

#include "lectern/lc/lcHttpValues.h"
#include "lectern/lc/tests/ExpectError.h"
#include "lectern/lc/tests/LogCapture.h"
#include "lectern/lc/tests/WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using TAction = std::function<void(TLcConnection*)>;

// The application side: every event notes itself; some run an action of the test.
class THandlers : public TObject {
public:
    TFakeJournal Journal;
    TAction OnConnectDo, OnDisconnectDo, OnListenStartDo, OnRestartDo;
    std::vector<TLcConnection*> Clients;  // senders of OnClientConnect (guarded by Journal)
    std::atomic<int> MainCalls{0};
    std::atomic<bool> MainCallOffMain{false};
    std::string ListenError;

    void Bind(TLcServer& s)
    {
        s.OnConnecting = TLcNotifyEvent(this, &THandlers::Connecting);
        s.OnConnect = TLcNotifyEvent(this, &THandlers::Connect);
        s.OnDisconnecting = TLcNotifyEvent(this, &THandlers::Disconnecting);
        s.OnDisconnect = TLcNotifyEvent(this, &THandlers::Disconnect);
        s.OnDataOut = TLcNotifyEvent(this, &THandlers::DataOut);
        s.OnDataIn = TLcNotifyEvent(this, &THandlers::DataIn);
        s.OnDataSent = TLcNotifyEvent(this, &THandlers::DataSent);
        s.OnReadyToSend = TLcNotifyEvent(this, &THandlers::ReadyToSend);
        s.OnDataReceived = TLcNotifyEvent(this, &THandlers::DataReceived);
        s.OnException = TLcErrorEvent(this, &THandlers::Error);
        s.OnClientConnect = TLcNotifyEvent(this, &THandlers::ClientConnect);
        s.OnClientDisconnect = TLcNotifyEvent(this, &THandlers::ClientDisconnect);
        s.OnListenStart = TLcNotifyEvent(this, &THandlers::ListenStart);
        s.OnListenStop = TLcNotifyEvent(this, &THandlers::ListenStop);
        s.OnListenLost = TLcNotifyEvent(this, &THandlers::ListenLost);
        s.OnRestart = TLcNotifyEvent(this, &THandlers::Restart);
    }
    void Connecting(TLcConnection*) { Journal.Note("connecting"); }
    void Connect(TLcConnection* c) { Run("connect", OnConnectDo, c); }
    void Disconnecting(TLcConnection*) { Journal.Note("disconnecting"); }
    void Disconnect(TLcConnection* c) { Run("disconnect", OnDisconnectDo, c); }
    void DataOut(TLcConnection*) { Journal.Note("dataout"); }
    void DataIn(TLcConnection*) { Journal.Note("datain"); }
    void DataSent(TLcConnection*) { Journal.Note("datasent"); }
    void ReadyToSend(TLcConnection*) { Journal.Note("readytosend"); }
    void DataReceived(TLcConnection* c) { Journal.Note("received " + c->Read()); }
    void Error(TLcConnection*, const Exception& e) { Journal.Note("exception " + e.Message()); }
    void ClientConnect(TLcConnection* c)
    {
        Journal.Note("clientconnect");
        std::lock_guard<std::mutex> lock(Journal.FLock);
        Clients.push_back(c);
    }
    void ClientDisconnect(TLcConnection*) { Journal.Note("clientdisconnect"); }
    void ListenStart(TLcConnection* c) { Run("listenstart", OnListenStartDo, c); }
    void ListenStop(TLcConnection*) { Journal.Note("listenstop"); }
    void ListenLost(TLcConnection*) { Journal.Note("listenlost"); }
    void Restart(TLcConnection* c) { Run("restart", OnRestartDo, c); }
    void ListenErrorSeen(TLcConnection*, const Exception& e) { ListenError = e.Message(); }
    void OnMain(TLcConnection*, int value)
    {
        if (!TLcThread::InMainThread() || value != 7) {
            MainCallOffMain = true;
        }
        ++MainCalls;
    }

    int Count(const std::string& line)
    {
        const std::vector<std::string> lines = Journal.Lines();
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
    TLcConnection* Client(size_t i)
    {
        std::lock_guard<std::mutex> lock(Journal.FLock);
        return i < Clients.size() ? Clients[i] : nullptr;
    }

private:
    void Run(const std::string& line, const TAction& action, TLcConnection* c)
    {
        Journal.Note(line);
        if (action) {
            action(c);
        }
    }
};

using TLines = std::vector<std::string>;

class Connection : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeLcConn();
        ProviderJournal().Clear();
    }
    void TearDown() override
    {
        FinalizeLcConn();
        EXPECT_EQ(TTestServer::Living(), 0);
    }

    // A single-threaded listener with the handlers bound, listening.
    TTestServer* NewListener(THandlers& handlers, bool multiThreaded = false)
    {
        auto* server = new TTestServer(nullptr);
        handlers.Bind(*server);
        server->ServerAddr = "127.0.0.1";
        server->ServerPort = "8000";
        server->SetMultiThreaded(multiThreaded);
        server->Listen();
        ProviderJournal().Clear();
        return server;
    }
};

// ---- the provider base classes ----------------------------------------------------------------

class TCountJob : public TLcJob {
public:
    explicit TCountJob(std::atomic<int>& runs) : FRuns(runs) {}
    bool Run(TLcThread*) override
    {
        ++FRuns;
        return true;
    }
    void Kill() override { delete this; }

private:
    std::atomic<int>& FRuns;
};

class TNotified : public TObject {
public:
    std::atomic<int> Calls{0};
    void Call() { ++Calls; }
};

TEST_F(Connection, ThreadedProviderRunsJobsAndMainThreadCallsAccordingToItsQueue)
{
    TNotified notified;
    std::atomic<int> runs{0};
    {
        auto* provider = new TFakeProvider;  // single-threaded, no queue
        provider->OnReadyToRelease = TEvent<>(&notified, &TNotified::Call);
        EXPECT_TRUE(provider->PostJob(nullptr, false));
        EXPECT_TRUE(provider->PostJob(new TCountJob(runs), false));
        EXPECT_EQ(runs, 1);  // at once
        EXPECT_TRUE(provider->InsideThread());
        EXPECT_FALSE(provider->Sync(TEvent<>()));
        EXPECT_TRUE(provider->Sync(TEvent<>(&notified, &TNotified::Call)));
        EXPECT_EQ(notified.Calls, 1);
        EXPECT_EQ(provider->GetThread(), nullptr);
        provider->Release();
        EXPECT_EQ(notified.Calls, 2);  // destruction told the component
    }
    {
        auto* provider = new TFakeProvider;
        provider->SetMultiThreaded(true);  // no queue yet: nothing runs, the main thread counts as inside
        auto* job = new TCountJob(runs);
        EXPECT_FALSE(provider->PostJob(job, false));
        job->Kill();
        EXPECT_TRUE(provider->InsideThread());
        std::thread([&] { EXPECT_FALSE(provider->InsideThread()); }).join();
        provider->Listen(false);  // makes the listener's queue
        ASSERT_NE(provider->GetThread(), nullptr);
        EXPECT_FALSE(provider->InsideThread());
        EXPECT_TRUE(provider->PostJob(new TCountJob(runs), false));
        EXPECT_TRUE(WaitUntil([&] { return runs == 2; }));
        provider->OnReadyToRelease = TEvent<>(&notified, &TNotified::Call);
        provider->Release();  // ends on its own queue
        EXPECT_TRUE(WaitUntil([&] { return notified.Calls == 3; }));
    }
}

// ---- the binding table --------------------------------------------------------------------------

TEST_F(Connection, ProviderTriggersReachTheBoundComponentOperationsAndClearingSilencesThem)
{
    THandlers handlers;
    TTestServer* server = NewListener(handlers);
    server->OnListenError = TLcErrorEvent(&handlers, &THandlers::ListenErrorSeen);
    TFakeProvider* p = server->Fake();
    p->SetCounts(5, 3);

    struct TCase {
        const char* trigger;
        std::function<void()> fire;
        TLines events;
    };
    const std::vector<TCase> cases = {
        {"Connecting", [&] { p->TriggerConnecting(); }, {"connecting"}},
        {"Connecting again", [&] { p->TriggerConnecting(); }, {}},
        {"Connect", [&] { p->TriggerConnect(); }, {"connect"}},
        {"DataOut", [&] { p->TriggerDataOut(); }, {"dataout"}},
        {"DataIn", [&] { p->TriggerDataIn(); }, {"datain"}},
        {"DataSent", [&] { p->TriggerDataSent(); }, {"datasent", "readytosend"}},
        {"DataReceived", [&] { p->TriggerDataReceived(); }, {"received "}},
        {"DataLost", [&] { p->TriggerDataLost(); }, {}},
        {"LastWrite", [&] { p->TriggerLastWrite(); }, {}},
        {"Exception", [&] { p->TriggerException(Exception("x")); }, {"exception x"}},
        {"ListenStart", [&] { p->TriggerListenStart(); }, {"listenstart"}},
        {"ListenStop", [&] { p->TriggerListenStop(); }, {"listenstop"}},
        {"ListenLost", [&] { p->TriggerListenLost(); }, {"listenlost"}},
        {"Disconnecting", [&] { p->TriggerDisconnecting(); }, {"disconnecting"}},
        {"Disconnect", [&] { p->TriggerDisconnect(); }, {"disconnect"}},
        {"Disconnect again", [&] { p->TriggerDisconnect(); }, {}},
    };
    for (const TCase& c : cases) {
        handlers.Journal.Clear();
        c.fire();
        EXPECT_EQ(handlers.Journal.Lines(), c.events) << c.trigger;
    }
    EXPECT_EQ(server->TotalWritten(), 5);
    EXPECT_EQ(server->TotalRead(), 3);
    ExpectError<ELcConnection>([&] { p->TriggerError("provider says no"); }, "provider says no");
    p->TriggerListenError(Exception("bind failed"));
    EXPECT_EQ(handlers.ListenError, "bind failed");

    // The new-provider trigger makes a client connection of the same class with this parent.
    TLcConnectionProvider* clientProvider = p->TriggerNewProvider();
    ASSERT_NE(clientProvider, nullptr);
    EXPECT_EQ(TTestServer::Living(), 2);
    EXPECT_EQ(server->ClientCount(), 1);
    clientProvider->Release();  // frees the client connection through ready-to-release
    EXPECT_EQ(TTestServer::Living(), 1);
    EXPECT_EQ(server->ClientCount(), 0);

    server->ClearTriggers();
    handlers.Journal.Clear();
    for (const TCase& c : cases) {
        c.fire();
    }
    p->TriggerError("ignored");
    EXPECT_EQ(p->TriggerNewProvider(), nullptr);
    EXPECT_TRUE(handlers.Journal.Lines().empty());
    server->SetTriggers();
    delete server;
}

// ---- deferral inside events ------------------------------------------------------------------

TEST_F(Connection, WorkAskedForInsideAnEventIsCarriedOutInOrderWhenTheBatchEnds)
{
    struct TCase {
        const char* name;
        bool onListener;      // inside OnListenStart of the listener, else OnConnect of a client
        int ignoreDisconnects;
        std::function<void(TLcServer*)> inside;
        TLines provider;       // provider calls after the event
        int living;            // server objects left
        bool listening;
    };
    const std::vector<TCase> cases = {
        {"release", false, 0, [](TLcServer* c) { c->Release(); }, {"release"}, 1, true},
        {"disconnect", false, 1, [](TLcServer* c) { c->Disconnect(); }, {"disconnect"}, 2, true},
        {"disconnect, then release", false, 1,
         [](TLcServer* c) {
             c->Disconnect();
             c->Release();
         },
         {"disconnect", "release"}, 1, true},
        {"release, then disconnect (cancels it)", false, 1,
         [](TLcServer* c) {
             c->Release();
             c->Disconnect();
         },
         {"disconnect"}, 2, true},
        {"stop listening", true, 0, [](TLcServer* s) { s->StopListen(); }, {"disconnect"}, 1, false},
        {"listen again: a restart", true, 0, [](TLcServer* s) { s->Listen(); }, {"disconnect", "listen restart"}, 1,
         true},
        {"stop listening, then listen again: a restart", true, 0,
         [](TLcServer* s) {
             s->StopListen();
             s->Listen();
         },
         {"disconnect", "listen restart"}, 1, true},
        {"disconnect, listen and release: the release wins", true, 1,
         [](TLcServer* s) {
             s->Disconnect();
             s->Listen();
             s->Release();
         },
         {"disconnect", "release"}, 0, false},
    };
    for (const TCase& c : cases) {
        THandlers handlers;
        auto* server = new TTestServer(nullptr);
        handlers.Bind(*server);
        server->ServerPort = "8000";
        int livingInside = -1;
        TAction action = [&](TLcConnection* sender) {
            auto* s = static_cast<TLcServer*>(sender);
            dynamic_cast<TFakeProvider*>(s->Provider())->IgnoreDisconnects = c.ignoreDisconnects;
            ProviderJournal().Clear();
            c.inside(s);
            EXPECT_TRUE(s->IsClosing() || c.name == std::string("listen again: a restart")) << c.name;
            livingInside = TTestServer::Living();
        };
        if (c.onListener) {
            bool done = false;  // not again on the restart
            handlers.OnListenStartDo = [&](TLcConnection* s) {
                if (!done) {
                    done = true;
                    action(s);
                }
            };
            server->Listen();
        } else {
            handlers.OnConnectDo = action;
            server->Listen();
            server->Fake()->Accept();
        }
        EXPECT_EQ(livingInside, c.onListener ? 1 : 2) << c.name << ": nothing is freed inside the event";
        EXPECT_EQ(ProviderJournal().Lines(), c.provider) << c.name;
        EXPECT_EQ(TTestServer::Living(), c.living) << c.name;
        if (c.living > 0) {
            EXPECT_EQ(server->IsListening(), c.listening) << c.name;
            if (c.name == std::string("listen again: a restart")) {
                EXPECT_EQ(handlers.Count("restart"), 1);
            }
            delete server;
        }
        EXPECT_EQ(TTestServer::Living(), 0) << c.name;
    }
}

TEST_F(Connection, ReleaseInsideOnDisconnectFreesTheConnectionAfterTheHandlerReturns)
{
    THandlers handlers;
    TTestServer* server = NewListener(handlers);
    int livingInside = 0;
    handlers.OnDisconnectDo = [&](TLcConnection* c) {
        c->Release();
        EXPECT_TRUE(c->IsClosing());  // still a whole object
        livingInside = TTestServer::Living();
    };
    server->Fake()->Accept();
    TLcConnection* client = handlers.Client(0);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(server->ServerConnectionCount(), 1);
    client->Disconnect();
    EXPECT_EQ(livingInside, 2);
    EXPECT_EQ(TTestServer::Living(), 1);
    EXPECT_EQ(handlers.Count("clientdisconnect"), 1);
    EXPECT_EQ(server->ServerConnectionCount(), 0);
    delete server;
}

TEST_F(Connection, AConnectionQuietLongerThanItsTimeoutIsClosed)
{
    THandlers handlers;
    TTestServer* server = NewListener(handlers);
    server->Timeout()->AfterConnect = 1;
    server->Fake()->Accept();
    EXPECT_EQ(handlers.Count("connect"), 1);
    EXPECT_EQ(TTestServer::Living(), 2);
    EXPECT_TRUE(WaitUntil([&] { return TTestServer::Living() == 1; }));
    EXPECT_EQ(handlers.Count("disconnect"), 1);
    EXPECT_EQ(handlers.Count("clientdisconnect"), 1);
    delete server;
}

// ---- restarts and listen errors ------------------------------------------------------------

TEST_F(Connection, LostListenerRestartsAtOnceAndRetriesEverySecondWhileItsProviderIsNotClosed)
{
    THandlers handlers;
    TTestServer* server = NewListener(handlers);
    server->RestartOn()->ListenLost = true;
    server->Fake()->LoseListener();
    EXPECT_EQ(ProviderJournal().Lines(), (TLines{"listen restart"}));
    EXPECT_EQ(handlers.Count("listenlost"), 1);
    EXPECT_EQ(handlers.Count("restart"), 1);
    EXPECT_TRUE(server->IsListening());

    // A provider that does not close when asked: the restart is tried again by timer.
    ProviderJournal().Clear();
    server->Fake()->IgnoreDisconnects = 1;
    bool asked = false;
    handlers.OnListenStartDo = [&](TLcConnection* s) {
        if (!asked) {
            asked = true;
            static_cast<TLcServer*>(s)->Listen();
        }
    };
    server->Fake()->TriggerListenStart();
    server->Fake()->TriggerAfterEvents();
    EXPECT_EQ(ProviderJournal().Lines(), (TLines{"disconnect"}));
    EXPECT_EQ(handlers.Count("restart"), 1);  // not yet
    EXPECT_TRUE(WaitUntil([&] { return handlers.Count("restart") == 2; }));
    EXPECT_EQ(ProviderJournal().Lines(), (TLines{"disconnect", "disconnect", "listen restart"}));
    EXPECT_TRUE(server->IsListening());
    delete server;
}

// A restart by timer of a multi-threaded server runs on the server's queue; destroying the server
// meanwhile waits for it instead of freeing the server under its feet.
TEST_F(Connection, DestroyingAServerWhileItsTimedRestartRunsWaitsForIt)
{
    THandlers handlers;
    TTestServer* server = NewListener(handlers, true);
    ASSERT_TRUE(WaitUntil([&] { return server->IsListening(); }));
    server->StopListen();
    std::atomic<bool> inRestart{false};
    std::atomic<bool> restartDone{false};
    handlers.OnRestartDo = [&](TLcConnection*) {
        inRestart = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        restartDone = true;
    };
    server->Restart(1);
    ASSERT_TRUE(WaitUntil([&] { return inRestart.load(); }));
    delete server;
    EXPECT_TRUE(restartDone) << "the server went while its restart still ran";
}

TEST_F(Connection, ListenErrorRaisesOnlyWithoutHandlerAndWithoutRestart)
{
    struct TCase {
        const char* name;
        bool handler;
        bool restart;
        const char* raised;  // nullptr: nothing leaves Listen
        TLines provider;
        bool listening;
    };
    const std::vector<TCase> cases = {
        {"neither", false, false, "bind failed", {"listen"}, false},
        {"handler", true, false, nullptr, {"listen"}, false},
        {"restart", false, true, nullptr, {"listen", "listen restart"}, true},
    };
    for (const TCase& c : cases) {
        THandlers handlers;
        auto server = std::make_unique<TTestServer>(nullptr);
        server->ServerPort = "8000";
        if (c.handler) {
            server->OnListenError = TLcErrorEvent(&handlers, &THandlers::ListenErrorSeen);
        }
        server->RestartOn()->ListenError = c.restart;
        server->Listen();  // makes the provider; then fail the next listen
        server->StopListen();
        server->Fake()->FailListens = 1;
        ProviderJournal().Clear();
        if (c.raised != nullptr) {
            ExpectError<ELcConnection>([&] { server->Listen(); }, c.raised);
        } else {
            server->Listen();
        }
        EXPECT_EQ(handlers.ListenError, c.handler ? "bind failed" : "") << c.name;
        EXPECT_EQ(ProviderJournal().Lines(), c.provider) << c.name;
        EXPECT_EQ(server->IsListening(), c.listening) << c.name;
    }
}

// ---- limits and settings ---------------------------------------------------------------------

TEST_F(Connection, ClientsBeyondTheLimitsAreRefused)
{
    THandlers handlers;
    TTestServer* server = NewListener(handlers);
    FinalizeLcConn();  // the unit has ended: nothing is admitted any more
    server->Fake()->Accept();
    EXPECT_EQ(server->Fake()->Refusals, (TLines{"Closing application."}));
    InitializeLcConn();

    SetLcConnectionCounts(kLcMaxConnections - 1, 0);
    server->Fake()->Accept();
    EXPECT_EQ(handlers.Count("clientconnect"), 1);
    EXPECT_EQ(server->ConnectionCount(), kLcMaxConnections);
    server->Fake()->Accept();
    EXPECT_EQ(server->Fake()->Refusals, (TLines{"Closing application.", "Total connection limit reached."}));
    EXPECT_EQ(TTestServer::Living(), 2);
    delete server;
}

TEST_F(Connection, MultiThreadedCannotChangeWhileListening)
{
    THandlers handlers;
    std::unique_ptr<TTestServer> server(NewListener(handlers));
    ExpectError<ELcConnection>([&] { server->SetMultiThreaded(true); }, "Can not change MultiThreaded after Listen.");
    server->StopListen();
    server->SetMultiThreaded(true);  // not listening: the provider goes
    EXPECT_TRUE(server->MultiThreaded());
    EXPECT_EQ(server->Provider(), nullptr);
    EXPECT_EQ(server->LocalAddr(), "127.0.0.1");
    EXPECT_EQ(server->LocalPort(), "8000");
    EXPECT_EQ(server->PeerAddr(), "");
    EXPECT_TRUE(server->IsClosing());

    // Without a provider a multi-threaded connection can run nothing.
    TNotified notified;
    EXPECT_FALSE(server->PostJob(nullptr));
    EXPECT_FALSE(server->PostEvent(TLcNotifyEvent(&handlers, &THandlers::ListenStop)));
    EXPECT_FALSE(server->Sync(TLcNotifyEvent(), server.get()));
    server->SetMultiThreaded(false);
    EXPECT_TRUE(server->PostEvent(TLcNotifyEvent(&handlers, &THandlers::ListenStop)));
    EXPECT_EQ(handlers.Count("listenstop"), 2);  // the stop above, and the posted event at once
}

TEST_F(Connection, CopyFromTakesTheListenerSettingsButItsListenAndRestartEvents)
{
    THandlers handlers;
    TTestServer source(nullptr);
    handlers.Bind(source);
    source.OnListenError = TLcErrorEvent(&handlers, &THandlers::ListenErrorSeen);
    source.ServerAddr = "127.0.0.1";
    source.ServerPort = "8001";
    source.SetMultiThreaded(true);
    source.Timeout()->AfterConnecting = 60;
    source.Timeout()->AfterDataSent = 8;

    TTestServer copy(nullptr);
    copy.CopyFrom(&source);
    EXPECT_EQ(copy.ServerAddr, "127.0.0.1");
    EXPECT_EQ(copy.ServerPort, "8001");
    EXPECT_TRUE(copy.MultiThreaded());
    EXPECT_EQ(copy.Timeout()->AfterConnecting, 60);
    EXPECT_EQ(copy.Timeout()->AfterDataSent, 8);
    EXPECT_TRUE(copy.OnConnecting == source.OnConnecting && copy.OnConnect == source.OnConnect &&
                copy.OnDisconnecting == source.OnDisconnecting && copy.OnDisconnect == source.OnDisconnect &&
                copy.OnException == source.OnException && copy.OnDataOut == source.OnDataOut &&
                copy.OnDataIn == source.OnDataIn && copy.OnDataSent == source.OnDataSent &&
                copy.OnReadyToSend == source.OnReadyToSend && copy.OnDataReceived == source.OnDataReceived &&
                copy.OnClientConnect == source.OnClientConnect &&
                copy.OnClientDisconnect == source.OnClientDisconnect &&
                copy.OnListenStart == source.OnListenStart && copy.OnListenStop == source.OnListenStop);
    EXPECT_TRUE(copy.OnConnect.Assigned());
    EXPECT_FALSE(copy.OnListenLost.Assigned());
    EXPECT_FALSE(copy.OnListenError.Assigned());
    EXPECT_FALSE(copy.OnRestart.Assigned());
}

// ---- the request fix-up -----------------------------------------------------------------------

TEST(RequestFixup, OptionsApplyInOrder)
{
    struct TCase {
        const char* fileName;
        const char* query;
        bool prefix, decodeName, decodeQuery, upper;
        const char* expectedName;
        const char* expectedQuery;
    };
    const std::vector<TCase> cases = {
        {"http://host/a/b", "", true, false, false, false, "/a/b", ""},
        {"HTTP://host", "", true, false, false, false, "", ""},
        {"http://abc", "", true, false, false, false, "", ""},
        {"http://a", "", true, false, false, false, "http://a", ""},
        {"hTTpS://h/x", "", true, false, false, false, "/x", ""},
        {"https://", "", true, false, false, false, "https://", ""},
        {"/plain/http://x", "", true, false, false, false, "/plain/http://x", ""},
        {"/a%20b+c%zz", "", false, true, false, false, "/a b c%zz", ""},
        {"/a", "x%41=1%202&y=a+b&y=%63", false, false, true, false, "/a", "xA=1 2&y=a b&y=c"},
        {"/a", "abc%20d", false, false, true, false, "/a", "abc d"},
        {"/a/b.html", "", false, false, false, true, "/A/B.HTML", ""},
        {"http://h/a%62", "", true, true, false, true, "/AB", ""},  // decoded before upper-casing
    };
    for (const TCase& c : cases) {
        TLcServerRequest request;
        request.SetFileName(c.fileName);
        request.Query().SetEncodedText(c.query);
        TLcServerRequestFixup fixup;
        fixup.RemovePrefix = c.prefix;
        fixup.DecodeFileName = c.decodeName;
        fixup.DecodeQuery = c.decodeQuery;
        fixup.UpperCaseFileName = c.upper;
        TLcServerRequestFixup copy;
        copy.Assign(&fixup);
        copy.Apply(request);
        EXPECT_EQ(request.FileName(), c.expectedName) << c.fileName;
        EXPECT_EQ(request.Query().EncodedText(), c.expectedQuery) << c.fileName;
    }
}

TEST(ServerRequestResponse, ClearResetsTheirStateAndTheStatus)
{
    TLcServerResponse response;
    EXPECT_EQ(response.StatusCode(), 200);
    EXPECT_EQ(response.StatusText(), "OK");
    response.SetStatus(404, "File not found");
    response.SetHeaderSent(true);
    response.SetBodyFollows(false);
    response.SetContentOut(10);
    response.SetValue("Expires", "x");
    response.Clear();
    EXPECT_EQ(response.StatusCode(), 200);
    EXPECT_EQ(response.StatusText(), "OK");
    EXPECT_FALSE(response.HeaderSent());
    EXPECT_TRUE(response.BodyFollows());
    EXPECT_EQ(response.ContentOut(), 0);
    EXPECT_EQ(response.HeaderLines(), "");

    TLcServerRequest request;
    request.SetFileName("/a");
    request.SetComplete(true);
    request.SetAccepted(true);
    request.SetClose(true);
    request.SetBodyReceived(5);
    request.Clear();
    EXPECT_EQ(request.FileName(), "");
    EXPECT_FALSE(request.Complete() || request.Accepted() || request.Close());
    EXPECT_EQ(request.BodyReceived(), 0);
}

// ---- stopping a multi-threaded server -----------------------------------------------------------

class StopAndWait : public Connection {
protected:
    // A multi-threaded listener with three connected clients whose OnDisconnect takes a while
    // and calls the main thread.
    TTestServer* ServerWithClients(THandlers& handlers)
    {
        TTestServer* server = NewListener(handlers, true);
        EXPECT_TRUE(WaitUntil([&] { return server->IsListening(); }));
        handlers.OnDisconnectDo = [&handlers](TLcConnection* c) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_TRUE(c->Sync(TEvent<TLcConnection*, int>(&handlers, &THandlers::OnMain), c, 7));
        };
        for (int i = 0; i < 3; ++i) {
            server->Fake()->Accept();
        }
        EXPECT_TRUE(WaitUntil([&] { return handlers.Count("connect") == 3; }));
        EXPECT_EQ(TTestServer::Living(), 4);
        return server;
    }
};

TEST_F(StopAndWait, StopListenReturnsOnceTheListenerAndEveryConnectionAreDone)
{
    THandlers handlers;
    TTestServer* server = ServerWithClients(handlers);
    // Off the main thread, and off a connection's own thread, nothing is called.
    TLcConnection* client = handlers.Client(0);
    std::thread([&] { EXPECT_FALSE(client->Sync(TLcNotifyEvent(&handlers, &THandlers::ListenStop), client)); }).join();
    // A posted event runs as a job of the connection's queue.
    EXPECT_TRUE(client->PostEvent(TLcNotifyEvent(&handlers, &THandlers::ListenLost)));
    EXPECT_TRUE(WaitUntil([&] { return handlers.Count("listenlost") == 1; }));

    server->StopListen();
    EXPECT_EQ(handlers.Count("listenstop"), 1);
    EXPECT_EQ(handlers.Count("disconnect"), 3);
    EXPECT_EQ(handlers.Count("clientdisconnect"), 3);
    EXPECT_EQ(handlers.MainCalls, 3);
    EXPECT_FALSE(handlers.MainCallOffMain);
    EXPECT_EQ(server->ClientCount(), 0);
    EXPECT_EQ(TTestServer::Living(), 1);
    EXPECT_EQ(server->ServerConnectionCount(), 0);
    EXPECT_FALSE(server->IsListening());
    delete server;
}

TEST_F(StopAndWait, DestroyingAListeningServerWaitsForItsProviderAndConnections)
{
    THandlers handlers;
    TTestServer* server = ServerWithClients(handlers);
    delete server;  // the handlers go right after: nothing may call them any more
    EXPECT_EQ(TTestServer::Living(), 0);
    EXPECT_EQ(handlers.Count("listenstop"), 1);
    EXPECT_EQ(handlers.Count("disconnect"), 3);
    EXPECT_EQ(handlers.MainCalls, 3);
}

// A connection that does not end within the wait: the server's end gives up on it after
// kLcServerStopWaitSeconds, and says how many it left.
TEST_F(StopAndWait, AShutdownThatGivesUpLogsTheConnectionsItLeft)
{
    TLogCapture log("shutdown_gives_up");
    THandlers handlers;
    TTestServer* server = NewListener(handlers, true);
    ASSERT_TRUE(WaitUntil([&] { return server->IsListening(); }));
    std::atomic<bool> letGo{false};
    handlers.OnDisconnectDo = [&letGo](TLcConnection*) {
        while (!letGo) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    server->Fake()->Accept();
    ASSERT_TRUE(WaitUntil([&] { return handlers.Count("connect") == 1; }));
    delete server;
    EXPECT_EQ(log.Text("ERROR"), "TLcServer.Shutdown gave up waiting after 10 s: 1 connections left\r\n");
    letGo = true;
    EXPECT_TRUE(WaitUntil([] { return TTestServer::Living() == 0; }));
}

}  // namespace
