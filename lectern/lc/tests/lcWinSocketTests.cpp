// The asynchronous socket's logic, driven by a scripted fake of WinSock (host and Wine).
#include "FakeSocketApi.h"

#include "lectern/lc/lcSyncObjs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace {

// A socket that counts its destructions and lets handlers be plain lambdas.
class TTestSocket : public TLcWinSocket {
public:
    explicit TTestSocket(int* destroyed = nullptr) : FDestroyed(destroyed)
    {
        OnChangeState = TLcSockStateEvent(this, &TTestSocket::StateChanged);
        OnDataReceived = TLcSockNotifyEvent(this, &TTestSocket::Received);
        OnDataSent = TLcSockNotifyEvent(this, &TTestSocket::Sent);
        OnDataOut = TLcSockCountEvent(this, &TTestSocket::Out);
    }
    TLcSocketBase* Create() const override { return new TTestSocket(FDestroyed); }

    std::function<void(int)> WhenState;
    std::function<void()> WhenReceived;
    std::function<void()> WhenSent;
    std::vector<int> States;
    int SentEvents = 0;
    int OutBytes = 0;

protected:
    ~TTestSocket() override
    {
        if (FDestroyed)
            ++*FDestroyed;
    }

private:
    void StateChanged(TLcSocketBase*, int state)
    {
        States.push_back(state);
        if (WhenState)
            WhenState(state);
    }
    void Received(TLcSocketBase*)
    {
        if (WhenReceived)
            WhenReceived();
    }
    void Sent(TLcSocketBase*)
    {
        ++SentEvents;
        if (WhenSent)
            WhenSent();
    }
    void Out(TLcSocketBase*, int count) { OutBytes += count; }

    int* FDestroyed;
};

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ELcSocketError& e) {
        return e.Message();
    }
    return "(no error)";
}

// An accepted socket that has had its first write event: connected and idle.
TTestSocket* Accepted(TFakeSocketApi& api, int* destroyed = nullptr)
{
    auto* socket = new TTestSocket(destroyed);
    socket->SetPort("8000");
    socket->SetAddr("127.0.0.1");
    socket->Listen();
    TSocket peer = api.NewHandle();
    api.Fake(socket->Handle()).Backlog.push_back(peer);
    auto* accepted = static_cast<TTestSocket*>(socket->GetNewSocket());
    socket->Release();
    accepted->StartNewSocket();
    api.Event(peer, kFdWrite);
    api.Pump();
    return accepted;
}

TEST(WinSocketSetup, ListenErrorsCarryTheOperationAndLeaveNothingOpen)
{
    struct Case {
        const char* name;
        std::string port;
        std::string addr;
        std::string failCall;
        int code;
        const char* message;
        int lastError;
    } cases[] = {
        {"empty port", "", "0.0.0.0", "", 0, "listen: port not assigned", 10022},
        {"empty address", "8000", "", "", 0, "listen: address not assigned", 10022},
        {"port in use", "8000", "127.0.0.1", "bind", 10048,
         "Error #10048 in \"Bind\": Address or Port already in use", 10048},
        {"listen refused", "8000", "127.0.0.1", "listen", 10022,
         "Error #10022 in \"Listen\": Invalid argument", 10022},
        {"select refused", "8000", "127.0.0.1", "AsyncSelect", 10022,
         "Error #10022 in \"StartingListen\": Invalid argument", 10022},
        {"no socket", "8000", "127.0.0.1", "socket", 10022,
         "Error #10022 in \"socket\": Invalid argument", 10022},
        {"unresolvable address", "8000", "no.such.host", "", 11001,
         "Error #11001 in \"listen (WSocket_SetVarSin)\": Host not found", 11001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeSocketApi api;
        if (!c.failCall.empty())
            api.FailOn[c.failCall] = c.code;
        if (std::string(c.name) == "unresolvable address")
            api.SetVarSinResult = c.code;
        int destroyed = 0;
        auto* socket = new TTestSocket(&destroyed);
        socket->SetPort(c.port);
        socket->SetAddr(c.addr);
        EXPECT_EQ(ErrorOf([&] { socket->Listen(); }), c.message);
        EXPECT_EQ(socket->LastError(), c.lastError);
        EXPECT_NE(socket->State(), kSockListening);
        socket->Release();
        EXPECT_EQ(destroyed, 1);
        EXPECT_TRUE(api.Registry.empty());
        EXPECT_EQ(api.SocketsClosed, api.SocketsMade);
    }
}

TEST(WinSocketSetup, TcpListenerSetsItsOptionsAndAcceptMask)
{
    TFakeSocketApi api;
    auto* socket = new TTestSocket();
    socket->SetApiTimeouts(5, 0);
    socket->SetPort(" 8000 ");
    socket->SetAddr("0.0.0.0");
    socket->Listen();
    EXPECT_EQ(socket->Port(), "8000");
    EXPECT_EQ(socket->States, (std::vector<int>{kSockBound, kSockListening}));
    std::vector<std::string> want = {
        "SetOpt 6/1", "SetOpt 65535/8", "SetOpt 65535/4102", "SetOpt 65535/4098",
        "SetOpt 65535/4097", "SetOpt 65535/128", "AsyncSelect 8"};
    std::vector<std::string> got;
    for (const auto& call : api.Calls)
        if (call.rfind("SetOpt", 0) == 0 || call.rfind("AsyncSelect", 0) == 0)
            got.push_back(call);
    EXPECT_EQ(got, want);
    EXPECT_EQ(ErrorOf([&] { socket->SetPort("1"); }), "Cannot change Port if not closed");
    socket->Release();
}

TEST(WinSocketSetup, AcceptedSocketWithoutHandleAndUnknownCode)
{
    TFakeSocketApi api;
    auto* socket = new TTestSocket();
    EXPECT_EQ(ErrorOf([&] { socket->StartNewSocket(); }),
              "Error #10022 in \"StartNewSocket\": Invalid argument");
    EXPECT_EQ(ErrorOf([&] { socket->DoMessage(99, 0); }),
              "TLcWinSocket.DoMessage: Unknown message code #99");
    socket->Release();
}

TEST(WinSocketSend, PartialSendsGoOnUntilTheSystemWouldBlock)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    ASSERT_EQ(socket->State(), kSockConnected);
    EXPECT_EQ(socket->SentEvents, 1);  // the first write event on an idle socket
    TSocket h = socket->Handle();
    api.Fake(h).PerCall = 4;  // every call takes only part of its bytes, without an error
    socket->SendStr("0123456789");
    EXPECT_EQ(api.Fake(h).Sent, "0123456789");  // no write event was needed for the rest
    EXPECT_EQ(api.SendCalls, 3);
    EXPECT_EQ(socket->OutBytes, 10);
    api.Pump();  // the check-write it posted to itself
    EXPECT_EQ(socket->SentEvents, 2);
    socket->Release();
}

TEST(WinSocketSend, QueuedTextsGoOutInOrderWithOneDataSentEvent)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    TSocket h = socket->Handle();
    int sentBefore = socket->SentEvents;
    api.Fake(h).PerCall = 3;
    api.Fake(h).SendRoom = 5;
    socket->SendStr("hello world");
    socket->SendStr("ABC");
    socket->BuffStr("-end");
    EXPECT_EQ(api.Fake(h).Sent, "hello");
    EXPECT_FALSE(socket->AllSent());
    api.Pump();  // nothing to send while the socket would block
    EXPECT_EQ(socket->SentEvents, sentBefore);
    api.Fake(h).SendRoom = 1000;
    api.Event(h, kFdWrite);
    api.Pump();
    EXPECT_EQ(api.Fake(h).Sent, "hello worldABC-end");
    EXPECT_EQ(socket->OutBytes, 18);
    EXPECT_EQ(socket->SentEvents, sentBefore + 1);
    EXPECT_TRUE(socket->AllSent());
    socket->Release();
}

TEST(WinSocketSend, QueuedTextJoinsTheBlockWhenBothFitInOneCall)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    TSocket h = socket->Handle();
    // A buffered head and its body: one call.
    socket->BuffStr("HEAD\r\n\r\n");
    socket->SendStr("body");
    EXPECT_EQ(api.Fake(h).Sent, "HEAD\r\n\r\nbody");
    EXPECT_EQ(api.SendCalls, 1);
    EXPECT_EQ(socket->OutBytes, 12);

    // The unsent rest of a block takes the queue along on the next write event.
    api.Fake(h).SendRoom = 3;
    socket->SendStr("abcdef");
    socket->SendStr("gh");
    EXPECT_EQ(api.Fake(h).Sent, "HEAD\r\n\r\nbodyabc");
    api.Fake(h).SendRoom = SIZE_MAX;
    const int callsBefore = api.SendCalls;
    api.Event(h, kFdWrite);
    api.Pump();
    EXPECT_EQ(api.Fake(h).Sent, "HEAD\r\n\r\nbodyabcdefgh");
    EXPECT_EQ(api.SendCalls, callsBefore + 1);
    EXPECT_TRUE(socket->AllSent());

    // A queue too large to join the block follows it in calls of its own.
    const std::string big(kLcSockMaxSendSize, 'x');
    int calls = api.SendCalls;
    socket->SendStr(big);
    const int bigCalls = api.SendCalls - calls;
    calls = api.SendCalls;
    socket->BuffStr("head");
    socket->SendStr(big);
    EXPECT_EQ(api.Fake(h).Sent, "HEAD\r\n\r\nbodyabcdefgh" + big + "head" + big);
    EXPECT_EQ(api.SendCalls - calls, bigCalls + 1);
    socket->Release();
}

TEST(WinSocketSend, SendErrorOtherThanWouldBlockStopsTheLoop)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    api.FailOn["send"] = 10054;
    socket->SendStr("data");
    EXPECT_EQ(socket->LastError(), 10054);
    EXPECT_FALSE(socket->AllSent());
    EXPECT_EQ(api.Fake(socket->Handle()).Sent, "");
    socket->Release();
}

TEST(WinSocketClose, ClosingTwiceClosesOnceAndKeepsPendingInput)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    TSocket h = socket->Handle();
    api.Fake(h).Incoming = "last words";
    api.Event(h, kFdClose);
    api.Pump();
    socket->Close();
    EXPECT_EQ(api.SocketsClosed, 2);  // the listener and this one, each once
    EXPECT_TRUE(api.Fake(h).Closed);
    EXPECT_FALSE(api.Fake(h).Linger);
    EXPECT_EQ(std::count(socket->States.begin(), socket->States.end(), kSockClosed), 1);
    std::string text;
    EXPECT_EQ(socket->ReceiveStr(text), 10);
    EXPECT_EQ(text, "last words");
    EXPECT_EQ(socket->ReceiveStr(text), 0);
    socket->Release();
}

// A refused client that goes on sending: the close keeps at most one receive buffer of what
// is pending and closes; it neither collects the rest nor waits for the peer to stop.
TEST(WinSocketClose, CloseReadsABoundedAmountOfAPeerThatKeepsSending)
{
    for (bool abort : {false, true}) {
        SCOPED_TRACE(abort ? "abort" : "close");
        TFakeSocketApi api;
        TTestSocket* socket = Accepted(api);
        TSocket h = socket->Handle();
        TFakeSocketApi::TFake& peer = api.Fake(h);
        peer.Incoming.assign(8192, 'x');
        peer.StreamWindow = 8192;
        peer.StreamLeft = 64u << 20;  // far more than a close may take
        if (abort)
            socket->Abort();
        else
            socket->Close();
        EXPECT_TRUE(peer.Closed);
        EXPECT_EQ(socket->State(), kSockClosed);
        EXPECT_LE(peer.ReadBytes, kCloseReadLimitBytes);
        EXPECT_GT(peer.StreamLeft, 0u);  // the peer was still sending when the socket closed
        std::string kept;
        EXPECT_EQ(socket->ReceiveStr(kept), static_cast<int>(peer.ReadBytes));
        socket->Release();
    }
}

// Every handle made is closed, whichever step fails: a close whose reading raises after the
// socket left the registry (the release that follows finds nothing registered to close), an
// accepted socket without a window, a handle the registry refuses.
TEST(WinSocketClose, EveryHandleIsClosedWhateverFailsOnTheWay)
{
    enum TFailure { kReadAtClose, kNoWindow, kRegistryRefuses };
    for (TFailure failure : {kReadAtClose, kNoWindow, kRegistryRefuses}) {
        SCOPED_TRACE(failure);
        TFakeSocketApi api;
        int destroyed = 0;
        if (failure == kReadAtClose) {
            TTestSocket* socket = Accepted(api, &destroyed);
            api.Fake(socket->Handle()).Incoming = "pending";
            api.RecvRaises = true;
            EXPECT_THROW(socket->Close(), std::bad_alloc);
            api.RecvRaises = false;
            socket->Release();
        } else {
            auto* listener = new TTestSocket(&destroyed);
            listener->SetPort("8000");
            listener->SetAddr("127.0.0.1");
            listener->Listen();
            api.Fake(listener->Handle()).Backlog.push_back(api.NewHandle());
            auto* accepted = static_cast<TTestSocket*>(listener->GetNewSocket());
            listener->Release();
            api.FailOn[failure == kNoWindow ? "window" : "RegistryAdd"] = 0;
            EXPECT_THROW(accepted->StartNewSocket(), Exception);
            accepted->Release();
        }
        EXPECT_EQ(destroyed, 2);  // the listener and the accepted socket
        EXPECT_TRUE(api.Registry.empty());
        EXPECT_EQ(api.SocketsClosed, api.SocketsMade);
    }
}

TEST(WinSocketClose, PeerResetAbortsWithLinger)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    TSocket h = socket->Handle();
    api.Event(h, kFdClose, 10054);
    EXPECT_EQ(socket->State(), kSockClosed);
    EXPECT_EQ(socket->LastError(), 10054);
    EXPECT_TRUE(api.Fake(h).Linger);
    EXPECT_TRUE(api.Registry.empty());
    socket->Release();
}

TEST(WinSocketRelease, ReleaseInsideAnEventFreesWhenTheOutermostEventEnds)
{
    TFakeSocketApi api;
    int destroyed = 0;
    TTestSocket* socket = Accepted(api, &destroyed);
    TSocket h = socket->Handle();
    bool freedInside = true;
    socket->WhenReceived = [&] {
        socket->Release();
        // a nested event inside the same frame: still alive
        socket->DoMessage(kSockMsgCheckWrite, 0);
        freedInside = destroyed != 1;  // only the listener of Accepted is gone
    };
    api.Fake(h).Incoming = "x";
    api.Event(h, kFdRead);
    EXPECT_FALSE(freedInside);
    EXPECT_EQ(destroyed, 2);  // the listener of Accepted, then this socket
    EXPECT_TRUE(api.Registry.empty());
    EXPECT_EQ(api.Pump(), 0);  // nothing posted after release was asked
}

TEST(WinSocketRelease, ReleaseAskedAgainDuringItsOwnAbortFreesOnce)
{
    TFakeSocketApi api;
    int destroyed = 0;
    TTestSocket* socket = Accepted(api, &destroyed);
    ASSERT_EQ(destroyed, 1);
    socket->WhenState = [&](int state) {
        if (state == kSockClosed)
            socket->Release();
    };
    socket->Release();
    EXPECT_EQ(destroyed, 2);

    // The same from a close outside any event: the state handler's release runs once the
    // close has ended.
    TTestSocket* other = Accepted(api, &destroyed);
    other->WhenState = [&](int state) {
        if (state == kSockClosed)
            other->Release();
    };
    other->Close();
    EXPECT_EQ(destroyed, 4);
}

TEST(WinSocketBgException, MayCloseDecidesAndSingleThreadedAbortsAtOnce)
{
    TFakeSocketApi api;
    TTestSocket* socket = Accepted(api);
    Exception error("boom");
    struct TKeep : TObject {
        void Keep(TLcSocketBase*, Exception&, bool& mayClose) { mayClose = false; }
    } keep;
    socket->OnBgException = TLcSockBgExceptionEvent(&keep, &TKeep::Keep);
    socket->HandleBgException(error);
    EXPECT_EQ(socket->State(), kSockConnected);
    socket->OnBgException = TLcSockBgExceptionEvent();
    socket->HandleBgException(error);
    EXPECT_EQ(socket->State(), kSockClosed);
    socket->Release();
}

// A queue that hands the shared socket messages to its socket, as the providers' queues do.
class TSocketQueue : public TLcThread {
public:
    TLcSocketBase* Socket = nullptr;
    std::atomic<int> Ran{0};
    TLcEvent Done{false, false};
    TLcEvent Gate{true, true};
    TLcEvent* Freed = nullptr;  // set when the pool frees the queue

    // Stops the queue and waits until the pool has freed it, so that none is left when the
    // pool closes.
    static void StopAndWait(TSocketQueue* queue)
    {
        TLcEvent freed{false, false};
        queue->Freed = &freed;
        ASSERT_TRUE(queue->Stop());
        EXPECT_EQ(freed.WaitFor(5000), TWaitResult::wrSignaled);
    }

protected:
    ~TSocketQueue() override
    {
        if (Freed)
            Freed->SetEvent();
    }
    bool RunJob() override
    {
        Gate.WaitFor(5000);
        if (auto* message = dynamic_cast<TLcSockMessage*>(CurrentJob()))
            Socket->DoMessage(message->Code(), 0);
        else
            TLcThread::RunJob();
        ++Ran;
        Done.SetEvent();
        return false;
    }
};

class WinSocketThreaded : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitializeLcThrPool();
        InitializeLcSockBase();
    }
    void TearDown() override
    {
        FinalizeLcSockBase();
        FinalizeLcThrPool();
    }

    // An accepted multi-threaded socket whose jobs run on a queue of the test's own.
    static TTestSocket* AcceptedOnQueue(TFakeSocketApi& api, TSocketQueue*& queue)
    {
        TTestSocket* socket = Accepted(api);
        queue = new TSocketQueue();
        queue->Socket = socket;
        socket->SetMultiThreaded(true);
        socket->SetThread(queue);
        return socket;
    }
};

TEST_F(WinSocketThreaded, BackgroundExceptionPostsACloseRequestToTheQueue)
{
    TFakeSocketApi api;
    TSocketQueue* queue = nullptr;
    TTestSocket* socket = AcceptedOnQueue(api, queue);
    Exception error("boom");
    queue->Gate.ResetEvent();
    socket->HandleBgException(error);  // on this (the message) thread: no abort here
    EXPECT_EQ(socket->State(), kSockConnected);
    EXPECT_FALSE(api.Registry.empty());
    queue->Gate.SetEvent();
    ASSERT_EQ(queue->Done.WaitFor(5000), TWaitResult::wrSignaled);
    EXPECT_EQ(socket->State(), kSockClosed);
    EXPECT_TRUE(api.Registry.empty());

    // Events with an error travel as jobs of their own.
    socket->PostSocketMessage(kSockMsgAccept, 10054);
    ASSERT_EQ(queue->Done.WaitFor(5000), TWaitResult::wrSignaled);
    EXPECT_EQ(socket->LastError(), 10054);
    EXPECT_EQ(queue->Ran, 2);
    socket->SetThread(nullptr);
    TSocketQueue::StopAndWait(queue);
    socket->Release();
}

TEST_F(WinSocketThreaded, CheckWriteGoesStraightToTheQueue)
{
    TFakeSocketApi api;
    TSocketQueue* queue = nullptr;
    TTestSocket* socket = AcceptedOnQueue(api, queue);
    const int sentBefore = socket->SentEvents;
    socket->SendStr("data");
    EXPECT_EQ(api.Fake(socket->Handle()).Sent, "data");
    EXPECT_EQ(api.Pump(), 0);  // nothing went through the window
    ASSERT_EQ(queue->Done.WaitFor(5000), TWaitResult::wrSignaled);
    EXPECT_EQ(queue->Ran, 1);
    EXPECT_EQ(socket->SentEvents, sentBefore + 1);  // the check-write fired data-sent
    socket->SetThread(nullptr);
    TSocketQueue::StopAndWait(queue);
    socket->Release();
}

}  // namespace

namespace {

TEST(WinSocketConnect, ClientGoesThroughOpenedConnectingConnected)
{
    TFakeSocketApi api;
    auto* socket = new TTestSocket();
    EXPECT_EQ(ErrorOf([&] { socket->Connect(); }), "Connect: No Port Specified");
    socket->SetPort("8000");
    socket->SetAddr("127.0.0.1");
    socket->Connect();
    EXPECT_EQ(socket->State(), kSockOpened);
    api.Pump();  // start connecting: the mask for a client, then connect (would block)
    EXPECT_EQ(socket->State(), kSockConnecting);
    EXPECT_EQ(api.Calls.back(), "AsyncSelect 51");
    api.Event(socket->Handle(), kFdWrite);
    EXPECT_EQ(socket->State(), kSockConnected);
    api.Pump();
    EXPECT_EQ(socket->SentEvents, 1);
    // A refused connect aborts quietly.
    api.Event(socket->Handle(), kFdConnect, 10061);
    EXPECT_EQ(socket->State(), kSockClosed);
    EXPECT_EQ(socket->States, (std::vector<int>{kSockOpened, kSockConnecting, kSockConnected, kSockClosed}));
    socket->Release();

    auto* meddled = new TTestSocket();
    meddled->SetPort("8000");
    meddled->SetAddr("127.0.0.1");
    meddled->WhenState = [&](int state) {
        if (state == kSockOpened)
            meddled->Close();
    };
    EXPECT_EQ(ErrorOf([&] { meddled->Connect(); }),
              "Error #10022 in \"Connect (Invalid operation in OnChangeState)\": Invalid argument");
    meddled->Release();
    EXPECT_TRUE(api.Registry.empty());
}

}  // namespace

namespace {

// What Connect sets up before it connects: a local bind (TCP when a local end is given, UDP
// always), the multicast and broadcast options of a datagram client, and their errors.
TEST(WinSocketConnect, LocalBindAndDatagramClientOptions)
{
    struct Case {
        const char* name;
        int proto;
        std::string addr;
        std::string localAddr;
        std::string localPort;
        bool multiCast;
        int ttl;
        std::string failOn;  // a call of the fake that fails with 10022
        std::vector<std::string> calls;  // expected among the calls, in order
        std::string error;
    };
    const std::vector<Case> cases = {
        {"tcp without a local end", 0, "127.0.0.1", "", "", false, 1, "", {"SetOpt 65535/128"}, ""},
        {"tcp with a local port", 0, "127.0.0.1", "", "5000", false, 1, "",
         {"SetOpt 65535/128", "SetVarSin 0.0.0.0:5000", "Bind"}, ""},
        {"tcp local bind refused", 0, "127.0.0.1", "127.0.0.1", "", false, 1, "bind", {}, "winsock.bind failed, error #10022"},
        {"udp binds locally", 1, "127.0.0.1", "", "", false, 1, "", {"SetVarSin 0.0.0.0:0", "Bind"}, ""},
        {"udp multicast ttl and interface", 1, "239.1.2.3", "127.0.0.1", "", true, 4, "",
         {"Bind", "SetOpt 0/10", "SetOpt 0/9"}, ""},
        {"udp multicast ttl refused", 1, "239.1.2.3", "", "", true, 4, "SetOpt 10", {},
         "Error #10022 in \"setsockopt(IP_MULTICAST_TTL)\": Invalid argument"},
        {"udp multicast interface refused", 1, "239.1.2.3", "127.0.0.1", "", true, 1, "SetOpt 9", {},
         "Error #10022 in \"setsockopt(IP_MULTICAST_IF)\": Invalid argument"},
        {"udp broadcast", 1, "255.255.255.255", "", "", false, 1, "", {"Bind", "SetOpt 65535/32"}, ""},
        {"udp broadcast refused", 1, "255.255.255.255", "", "", false, 1, "SetOpt 32", {},
         "Error #10022 in \"setsockopt(SO_BROADCAST)\": Invalid argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFakeSocketApi api;
        if (!c.failOn.empty())
            api.FailOn[c.failOn] = 10022;
        auto* socket = new TTestSocket();
        socket->SetProto(c.proto);
        socket->SetAddr(c.addr);
        socket->SetPort("8000");
        socket->SetLocalAddr(c.localAddr);
        socket->SetLocalPort(c.localPort);
        socket->SetMultiCast(c.multiCast);
        socket->SetMultiCastTTL(c.ttl);
        EXPECT_EQ(ErrorOf([&] { socket->Connect(); }), c.error.empty() ? "(no error)" : c.error);
        const std::vector<std::string> calls = api.Calls;
        auto at = calls.begin();
        for (const std::string& expected : c.calls) {
            at = std::find_if(at, calls.end(), [&](const std::string& call) { return call.rfind(expected, 0) == 0; });
            EXPECT_NE(at, calls.end()) << expected;
        }
        const bool bound = std::find(calls.begin(), calls.end(), "Bind") != calls.end();
        EXPECT_EQ(bound, c.proto == 1 || !c.localPort.empty() || !c.localAddr.empty());
        if (c.error.empty() && bound) {
            EXPECT_EQ(socket->LocalPortNumber(), 8000);  // what the system says was bound
            EXPECT_EQ(socket->States.at(1), kSockBound);
        }
        socket->Release();
    }
}

}  // namespace
