// The data server, its links and providers, driven by the scripted provider of FakeConnProvider.
#include "lectern/lc/lcDataSrv.h"

#include "lectern/lc/tests/ExpectError.h"
#include "lectern/lc/tests/FakeConnProvider.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using TLines = std::vector<std::string>;

// A data server over the fake provider. Received data start a request when none is active,
// as the HTTP wire does once it has read a request line.
class TTestDataServer : public TLcDataServer {
public:
    explicit TTestDataServer(TComponent* owner) : TLcDataServer(owner) {}
    ~TTestDataServer() override { Shutdown(); }

    TFakeProvider* Fake() const { return dynamic_cast<TFakeProvider*>(Provider()); }
    std::string Data;  // what the last delivery brought

    using TLcDataServer::TriggerDataSent;

protected:
    TLcConnectionProvider* CreateProvider() override
    {
        if (Provider() == nullptr) {
            AdoptProvider(new TFakeProvider);
            SetTriggers();
        }
        return Provider();
    }
    TLcServer* CopyOf() override { return new TTestDataServer(nullptr); }
    void TriggerDataReceived() override
    {
        Data = Read();
        if (!Request()->Active()) {
            Request()->Clear();
            Request()->SetActive(true);
        }
        TLcDataServer::TriggerDataReceived();
    }
};

// The application side: every event notes its component's name and what happened.
class TRecorder : public TObject {
public:
    TLines Lines;
    std::vector<TLcConnection*> Clients;
    std::function<void(TLcDataServer*, const std::string&)> OnCheck;  // who, the check's owner
    std::string Current;  // the component whose event runs
    TLcServerSession* SessionSeen = nullptr;

    void Provide(TLcDataProvider& p, const std::string& name)
    {
        p.SetName(name);
        p.OnCheckRequest = TLcNotifyEvent(this, &TRecorder::Check);
        p.OnDataReceived = TLcNotifyEvent(this, &TRecorder::Received);
        p.OnDisconnect = TLcNotifyEvent(this, &TRecorder::ProviderDisconnect);
        p.OnSessionClose = TLcNotifyEvent(this, &TRecorder::ProviderSessionClose);
        p.OnListenStart = TLcNotifyEvent(this, &TRecorder::ProviderListenStart);
        p.OnListenStop = TLcNotifyEvent(this, &TRecorder::ProviderListenStop);
        p.OnDataSent = TLcNotifyEvent(this, &TRecorder::ProviderDataSent);
    }
    void Bind(TLcDataServer& s)
    {
        s.OnClientConnect = TLcNotifyEvent(this, &TRecorder::ClientConnect);
        s.OnRequestAccepted = TLcNotifyEvent(this, &TRecorder::ServerAccepted);
        s.OnResponseDone = TLcNotifyEvent(this, &TRecorder::ServerDone);
        s.OnSessionClose = TLcNotifyEvent(this, &TRecorder::ServerSessionClose);
        s.OnDisconnect = TLcNotifyEvent(this, &TRecorder::ServerDisconnect);
        s.OnListenStart = TLcNotifyEvent(this, &TRecorder::ServerListenStart);
        s.OnListenStop = TLcNotifyEvent(this, &TRecorder::ServerListenStop);
    }
    void BindLink(TLcDataServerLink& l)
    {
        l.OnRequestAccepted = TLcNotifyEvent(this, &TRecorder::LinkAccepted);
        l.OnResponseDone = TLcNotifyEvent(this, &TRecorder::LinkDone);
        l.OnListenStart = TLcNotifyEvent(this, &TRecorder::LinkListenStart);
        l.OnListenStop = TLcNotifyEvent(this, &TRecorder::LinkListenStop);
    }

    void ClientConnect(TLcConnection* c) { Clients.push_back(c); }
    void Check(TLcConnection* c)
    {
        auto* s = static_cast<TLcDataServer*>(c);
        const std::string who = s->ActiveProvider()->Name();
        Lines.push_back("check " + who);
        if (OnCheck) {
            OnCheck(s, who);
        }
    }
    void Received(TLcConnection* c)
    {
        auto* s = static_cast<TTestDataServer*>(c);
        Lines.push_back("data " + s->ActiveProvider()->Name() + " " + s->Data);
    }
    void ProviderDisconnect(TLcConnection*) { Lines.push_back("provider disconnect"); }
    void ProviderSessionClose(TLcConnection* c) { Note("provider sessionclose", c); }
    void ProviderListenStart(TLcConnection*) { Lines.push_back("provider listenstart"); }
    void ProviderListenStop(TLcConnection*) { Lines.push_back("provider listenstop"); }
    void ProviderDataSent(TLcConnection*) { Lines.push_back("provider datasent"); }
    void ServerAccepted(TLcConnection*) { Lines.push_back("server accepted"); }
    void ServerDone(TLcConnection*) { Lines.push_back("server done"); }
    void ServerSessionClose(TLcConnection* c) { Note("server sessionclose", c); }
    void ServerDisconnect(TLcConnection*) { Lines.push_back("server disconnect"); }
    void ServerListenStart(TLcConnection*) { Lines.push_back("server listenstart"); }
    void ServerListenStop(TLcConnection*) { Lines.push_back("server listenstop"); }
    void LinkAccepted(TLcConnection*) { Lines.push_back("link accepted"); }
    void LinkDone(TLcConnection*) { Lines.push_back("link done"); }
    void LinkListenStart(TLcConnection*) { Lines.push_back("link listenstart"); }
    void LinkListenStop(TLcConnection*) { Lines.push_back("link listenstop"); }
    void NotAccepted(TLcConnection*) { Lines.push_back("not accepted"); }

private:
    void Note(const std::string& line, TLcConnection* c)
    {
        SessionSeen = static_cast<TLcDataServer*>(c)->Session();
        Lines.push_back(line + " " + (SessionSeen != nullptr ? SessionSeen->ID() : "-"));
    }
};

class DataServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeLcConn();
        InitializeLcDataSrv();
    }
    void TearDown() override
    {
        SetDataSrvClock(nullptr);
        FinalizeLcDataSrv();
        FinalizeLcConn();
    }

    // A listening single-threaded server and one accepted client of it.
    TTestDataServer* Listen(TTestDataServer& server, TRecorder& rec)
    {
        rec.Bind(server);
        server.ServerAddr = "127.0.0.1";
        server.ServerPort = "8000";
        server.Listen();
        server.Fake()->Accept();
        EXPECT_EQ(rec.Clients.size(), 1u);
        rec.Lines.clear();
        return rec.Clients.empty() ? nullptr : static_cast<TTestDataServer*>(rec.Clients[0]);
    }
};

std::vector<std::string> Names(const TLcServerComponentList* list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list->Count(); ++i) {
        names.push_back(list->Get(i)->Name());
    }
    return names;
}

// ---- the component list -------------------------------------------------------------------------

TEST(DataServerLinks, ListKeepsCheckOrderAndPutsTheLaterOfEqualOrdersFirst)
{
    struct TCase {
        std::vector<std::pair<std::string, int32_t>> attach;
        TLines order;
    };
    const TCase cases[] = {
        {{{"a", 900}, {"b", 1000}}, {"a", "b"}},
        {{{"b", 1000}, {"a", 900}}, {"a", "b"}},
        {{{"x", 5}, {"y", 5}, {"z", 5}}, {"z", "y", "x"}},
        {{{"x", 5}, {"low", -1}, {"y", 5}, {"high", 7}}, {"low", "y", "x", "high"}},
    };
    for (const TCase& c : cases) {
        TTestDataServer server(nullptr);
        std::vector<std::unique_ptr<TLcDataProvider>> providers;
        for (const auto& [name, order] : c.attach) {
            providers.push_back(std::make_unique<TLcDataProvider>(nullptr));
            providers.back()->SetName(name);
            providers.back()->SetCheckOrder(order);
            providers.back()->SetServer(&server);
        }
        EXPECT_EQ(Names(server.Links()), c.order);
        EXPECT_EQ(server.Links()->Get(-1), nullptr);
        EXPECT_EQ(server.Links()->Get(server.Links()->Count()), nullptr);
    }
}

TEST(DataServerLinks, AttachingMovesAComponentAndCheckOrderResortsIt)
{
    TTestDataServer server(nullptr);
    TLcDataServerLink link(nullptr);
    TLcDataProvider a(nullptr), b(nullptr);
    a.SetName("a");
    b.SetName("b");
    b.SetCheckOrder(1);
    link.SetName("link");
    link.SetCheckOrder(2);
    link.SetServer(&server);
    a.SetServer(&server);
    b.SetServer(&server);
    EXPECT_EQ(Names(server.Links()), (TLines{"a", "b", "link"}));

    a.SetCheckOrder(3);  // re-sorted in the server's list
    EXPECT_EQ(Names(server.Links()), (TLines{"b", "link", "a"}));

    a.SetLink(&link);  // leaves the server for the link
    EXPECT_EQ(a.Server(), nullptr);
    EXPECT_EQ(a.Link(), &link);
    EXPECT_EQ(Names(server.Links()), (TLines{"b", "link"}));
    EXPECT_EQ(Names(link.Links()), (TLines{"a"}));

    a.SetServer(&server);  // and back
    EXPECT_EQ(a.Link(), nullptr);
    EXPECT_EQ(link.Links()->Count(), 0);
    EXPECT_EQ(Names(server.Links()), (TLines{"b", "link", "a"}));
}

TEST(DataServerLinks, CircularLinksAreRefusedAndLeaveTheComponentDetached)
{
    TTestDataServer server(nullptr);
    TLcDataServerLink top(nullptr), middle(nullptr), bottom(nullptr);
    middle.SetLink(&top);
    bottom.SetLink(&middle);
    top.SetServer(&server);

    ExpectError<Exception>([&] { top.SetLink(&bottom); }, "Circular DataServerLink reference!");
    EXPECT_EQ(top.Link(), nullptr);
    EXPECT_EQ(top.Server(), nullptr);  // detached from its server too
    EXPECT_EQ(server.Links()->Count(), 0);
    ExpectError<Exception>([&] { top.SetLink(&middle); }, "Circular DataServerLink reference!");
    ExpectError<Exception>([&] { bottom.SetLink(&bottom); }, "Circular DataServerLink reference!");
    EXPECT_EQ(bottom.Link(), nullptr);
    EXPECT_EQ(middle.Links()->Count(), 0);
    ExpectError<Exception>([&] { top.AddAutomatedLinkedObject(nullptr); }, "This component does NOT have automated \"Linked Objects\" support.");
    ExpectError<Exception>([&] { top.RemoveAutomatedLinkedObject(nullptr); }, "This component does NOT have automated \"Linked Objects\" support.");
}

TEST(DataServerLinks, DestroyingAServerALinkOrAComponentDetachesWhatHungOnIt)
{
    TLcDataProvider onServer(nullptr), onLink(nullptr);
    auto link = std::make_unique<TLcDataServerLink>(nullptr);
    auto server = std::make_unique<TTestDataServer>(nullptr);
    onServer.SetServer(server.get());
    link->SetServer(server.get());
    onLink.SetLink(link.get());
    {
        TLcDataProvider passing(nullptr);
        passing.SetServer(server.get());
        EXPECT_EQ(server->Links()->Count(), 3);
    }
    EXPECT_EQ(server->Links()->Count(), 2);  // a destroyed component leaves the list

    link.reset();
    EXPECT_EQ(onLink.Link(), nullptr);
    EXPECT_EQ(server->Links()->Count(), 1);
    server.reset();
    EXPECT_EQ(onServer.Server(), nullptr);
    onServer.SetCheckOrder(4);  // no list to touch any more
    onLink.SetServer(nullptr);
}

// ---- dispatch -----------------------------------------------------------------------------------

TEST_F(DataServer, RequestIsOfferedInCheckOrderAndTheFirstToAcceptGetsItsData)
{
    TRecorder rec;
    TTestDataServer server(nullptr);
    TLcDataServerLink link(nullptr);
    TLcDataProvider early(nullptr), older(nullptr), newer(nullptr), silent(nullptr);
    rec.BindLink(link);
    rec.Provide(early, "early");
    rec.Provide(older, "older");
    rec.Provide(newer, "newer");
    silent.SetName("silent");  // no OnCheckRequest: never asked
    link.SetCheckOrder(1000);
    link.SetServer(&server);
    early.SetCheckOrder(900);
    early.SetServer(&server);
    silent.SetLink(&link);
    older.SetLink(&link);
    newer.SetLink(&link);
    rec.OnCheck = [](TLcDataServer* s, const std::string& who) {
        if (who == "older") {
            s->AcceptRequest();
            s->AcceptRequest();  // once only
        }
    };
    TTestDataServer* client = Listen(server, rec);
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->Links(), server.Links());  // shared with the listener

    client->Fake()->Receive("GET /a");
    EXPECT_EQ(rec.Lines, (TLines{"check early", "check newer", "check older", "link accepted", "server accepted",
                                 "data older GET /a"}));
    EXPECT_EQ(client->ActiveProvider(), &older);

    rec.Lines.clear();
    client->Fake()->Receive("body");  // not asked again
    EXPECT_EQ(rec.Lines, (TLines{"data older body"}));

    rec.Lines.clear();
    client->TriggerDataSent();  // not all sent yet
    EXPECT_EQ(rec.Lines, (TLines{"provider datasent"}));
    client->Response()->SetAllDataSent(true);
    rec.Lines.clear();
    client->TriggerDataSent();
    EXPECT_EQ(rec.Lines, (TLines{"provider datasent", "link done", "server done"}));
    EXPECT_FALSE(client->Request()->Accepted());
    EXPECT_FALSE(client->Request()->Active());
    EXPECT_EQ(client->ActiveProvider(), nullptr);

    client->Response()->Clear();
    rec.Lines.clear();
    rec.OnCheck = [](TLcDataServer* s, const std::string& who) {
        if (who == "early") {
            s->AcceptRequest();
        }
    };
    client->Fake()->Receive("GET /b");  // the next request is offered afresh
    EXPECT_EQ(rec.Lines, (TLines{"check early", "server accepted", "data early GET /b"}));
    rec.Lines.clear();
    client->Disconnect();  // an accepted request tells its provider, which tells its links
    EXPECT_EQ(rec.Lines, (TLines{"provider disconnect", "server disconnect"}));
}

TEST_F(DataServer, AnUnacceptedRequestGoesToItsHandlerOrClosesTheConnection)
{
    for (const bool withHandler : {true, false}) {
        SCOPED_TRACE(withHandler);
        TRecorder rec;
        TTestDataServer server(nullptr);
        TLcDataProvider a(nullptr), b(nullptr);
        rec.Provide(a, "a");
        rec.Provide(b, "b");
        a.SetServer(&server);
        b.SetServer(&server);
        if (withHandler) {
            server.OnRequestNotAccepted = TLcNotifyEvent(&rec, &TRecorder::NotAccepted);
        }
        TTestDataServer* client = Listen(server, rec);
        ASSERT_NE(client, nullptr);
        client->Fake()->Receive("GET /nobody");
        if (withHandler) {
            EXPECT_EQ(rec.Lines, (TLines{"check b", "check a", "not accepted"}));
            EXPECT_EQ(client->ActiveProvider(), nullptr);
            EXPECT_EQ(server.ClientCount(), 1);
        } else {
            // closed: the provider is not told, as nobody accepted the request
            EXPECT_EQ(rec.Lines, (TLines{"check b", "check a", "server disconnect"}));
            EXPECT_EQ(server.ClientCount(), 0);
        }
    }
}

TEST_F(DataServer, AskingStopsWhenTheRequestIsNoLongerActive)
{
    TRecorder rec;
    TTestDataServer server(nullptr);
    TLcDataProvider a(nullptr), b(nullptr);
    rec.Provide(a, "a");
    rec.Provide(b, "b");
    a.SetCheckOrder(1);
    a.SetServer(&server);
    b.SetCheckOrder(2);
    b.SetServer(&server);
    server.OnRequestNotAccepted = TLcNotifyEvent(&rec, &TRecorder::NotAccepted);
    rec.OnCheck = [](TLcDataServer* s, const std::string&) { s->Request()->SetActive(false); };
    TTestDataServer* client = Listen(server, rec);
    ASSERT_NE(client, nullptr);
    client->Fake()->Receive("GET /");
    EXPECT_EQ(rec.Lines, (TLines{"check a"}));  // neither b nor the not-accepted handler
}

TEST_F(DataServer, ListenStartAndStopReachTheComponentsAroundTheServerEvents)
{
    TRecorder rec;
    TTestDataServer server(nullptr);
    TLcDataServerLink link(nullptr);
    TLcDataProvider p(nullptr);
    rec.Bind(server);
    rec.BindLink(link);
    rec.Provide(p, "p");
    link.SetServer(&server);
    p.SetLink(&link);
    server.Listen();
    EXPECT_EQ(rec.Lines, (TLines{"server listenstart", "link listenstart", "provider listenstart"}));
    rec.Lines.clear();
    server.StopListen();
    EXPECT_EQ(rec.Lines, (TLines{"provider listenstop", "link listenstop", "server listenstop"}));
}

// ---- sessions -----------------------------------------------------------------------------------

TDateTime gNow = 0;
TDateTime TestClock() { return gNow; }
constexpr double kSecond = 1.0 / 86400.0;

TEST_F(DataServer, ReleasedSessionsWaitTillTheyExpireAndAreAnnouncedWhenTheyClose)
{
    gNow = EncodeDate(2026, 3, 4) + EncodeTime(10, 0, 0, 0);
    SetDataSrvClock(&TestClock);
    TRecorder rec;
    TTestDataServer server(nullptr);
    TLcDataProvider p(nullptr);
    rec.Provide(p, "p");
    p.SetServer(&server);
    rec.Bind(server);
    TLcServerSession* mine = new TLcServerSession("s1");  // owned by the store from here on
    TLcServerSession* other = new TLcServerSession("s2");
    other->KeepAlive = 5;

    int unlocked = -1, locked = -1;
    server.SetSession(mine);
    DataSrvSessionCounts(unlocked, locked);
    EXPECT_EQ(unlocked, 0);
    EXPECT_EQ(locked, 1);
    server.ReleaseSession();
    EXPECT_EQ(server.Session(), nullptr);
    EXPECT_DOUBLE_EQ(mine->LastUse(), gNow);
    EXPECT_NEAR(mine->Expires(), gNow + 60 * kSecond, 1e-9);
    DataSrvSessionCounts(unlocked, locked);
    EXPECT_EQ(unlocked, 1);
    EXPECT_EQ(locked, 0);

    gNow += 59 * kSecond;  // s1 still alive
    server.SetSession(other);
    server.ReleaseSession();
    EXPECT_TRUE(rec.Lines.empty());

    gNow += 2 * kSecond;  // s1 expired, s2 not yet: releasing s1 again (re-locked) keeps it
    server.SetSession(mine);
    server.ReleaseSession();
    EXPECT_TRUE(rec.Lines.empty());
    gNow += 6 * kSecond;  // s2 expired: the next release announces it with s2 made current
    TLcServerSession* third = new TLcServerSession("s3");
    server.SetSession(third);
    server.ReleaseSession();
    EXPECT_EQ(rec.Lines, (TLines{"provider sessionclose s2", "server sessionclose s2"}));
    EXPECT_EQ(server.Session(), nullptr);  // the previous current session is back
    DataSrvSessionCounts(unlocked, locked);
    EXPECT_EQ(unlocked, 2);  // s1 and s3

    // A final expiry already past closes the session at its release.
    rec.Lines.clear();
    auto* ending = new TLcServerSession("s4");
    ending->FinalExpires = gNow - kSecond;
    server.SetSession(ending);
    server.ReleaseSession();
    EXPECT_EQ(rec.Lines, (TLines{"provider sessionclose s4", "server sessionclose s4"}));
}

TEST_F(DataServer, SessionsOfAGoneServerCloseWithoutTellingIt)
{
    gNow = EncodeDate(2026, 3, 4);
    SetDataSrvClock(&TestClock);
    {
        TTestDataServer server(nullptr);
        server.SetSession(new TLcServerSession("old"));
        server.ReleaseSession();
    }
    gNow += 61 * kSecond;
    TRecorder rec;
    TTestDataServer next(nullptr);
    rec.Bind(next);
    next.SetSession(new TLcServerSession("new"));
    next.ReleaseSession();  // "old" expires here; its server is gone
    EXPECT_TRUE(rec.Lines.empty());
    int unlocked = -1, locked = -1;
    DataSrvSessionCounts(unlocked, locked);
    EXPECT_EQ(unlocked, 1);
}

TEST(DataServerSessions, ExpiryKeyIsTheTimeInSeventeenDigitsThenTheIdentifier)
{
    const TDateTime t = EncodeDate(2026, 3, 4) + EncodeTime(5, 6, 7, 89);
    EXPECT_EQ(DataSrvExpiryKey(t, "abc"), "20260304050607089abc");
}

}  // namespace
