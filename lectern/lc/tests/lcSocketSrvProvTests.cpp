// The socket server provider driven by a scripted fake of WinSock (host and Wine).
#include "FakeSocketApi.h"
#include "LogCapture.h"
#include "ProviderRecorder.h"

#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcSocketSrvProv.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace {

TSocket ListenHandle(TFakeSocketApi& api)
{
    std::lock_guard<std::recursive_mutex> guard(api.M);
    return api.Registry.begin()->second;
}

// A client arrives: a handle waits in the listener's backlog, then the accept event.
TSocket Arrive(TFakeSocketApi& api, TSocket listener)
{
    TSocket peer = api.NewHandle();
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        api.Fake(listener).Backlog.push_back(peer);
    }
    api.Event(listener, kFdAccept);
    return peer;
}

// A multi-threaded listener asked to listen (its queue starts it).
TLcSocketServerProvider* ThreadedListener(TRecorder& recorder)
{
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->SetMultiThreaded(true);
    listener->Listen(false);
    return listener;
}

TEST(SocketServerProvider, ListenErrorsReachTheErrorTriggersAndNothingLeavesListen)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* empty = Listener(recorder, "  ");
    empty->Listen(false);
    EXPECT_EQ(recorder.Errors, std::vector<std::string>{"Port undefined."});
    empty->Release();

    api.FailOn["bind"] = 10048;
    TLcSocketServerProvider* inUse = Listener(recorder);
    EXPECT_NO_THROW(inUse->Listen(false));
    EXPECT_EQ(recorder.ListenErrors,
              std::vector<std::string>{"Error #10048 in \"Bind\": Address or Port already in use"});
    EXPECT_EQ(inUse->GetState(), kLcStateClosed);
    EXPECT_EQ(inUse->Socket(), nullptr);
    EXPECT_TRUE(api.Registry.empty());
    inUse->Release();
}

TEST(SocketServerProvider, SingleThreadedAcceptConnectReadAndStop)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->Listen(false);
    EXPECT_EQ(listener->GetState(), kLcStateListening);
    EXPECT_EQ(recorder.ListenStart, 1);
    TSocket listenHandle = ListenHandle(api);

    // A refused client: released at once, no provider made.
    recorder.Refuse = true;
    Arrive(api, listenHandle);
    EXPECT_EQ(recorder.NewProviders, 0);
    EXPECT_EQ(api.RegistryCount(), 1u);
    recorder.Refuse = false;

    TSocket peers[3];
    for (TSocket& peer : peers) {
        peer = Arrive(api, listenHandle);
        api.Event(peer, kFdWrite);  // the first write event: connected
    }
    api.Pump();
    EXPECT_EQ(recorder.ClientConnect, 3);
    EXPECT_EQ(recorder.Connect, 3);
    EXPECT_EQ(listener->AcceptedCount(), 3);
    api.Fake(peers[2]).Incoming = "GET / HTTP/1.1\r\n\r\n";
    api.Event(peers[2], kFdRead);
    EXPECT_EQ(recorder.Received, "GET / HTTP/1.1\r\n\r\n");

    // The peer of the first one closes: that connection ends and is freed.
    api.Event(peers[0], kFdClose);
    EXPECT_EQ(recorder.Disconnect, 1);
    EXPECT_EQ(recorder.ClientDisconnect, 1);
    EXPECT_EQ(recorder.Released, 1);
    EXPECT_EQ(listener->AcceptedCount(), 2);

    listener->Disconnect();
    EXPECT_EQ(recorder.ListenStop, 1);
    EXPECT_EQ(recorder.Disconnect, 3);
    EXPECT_EQ(recorder.ClientDisconnect, 3);
    EXPECT_EQ(recorder.Released, 3);
    EXPECT_TRUE(api.Registry.empty());
    listener->Release();
    EXPECT_EQ(recorder.Released, 4);
}

TEST(SocketServerProvider, CheckRefusesASocketWithoutAddressesAndClosesIt)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->Listen(false);
    Arrive(api, ListenHandle(api));
    TLcSocketServerProvider* connection = recorder.LastConnection;
    ASSERT_NE(connection, nullptr);
    // Not connected yet: the socket knows no local address.
    std::string message;
    try {
        connection->Check();
    } catch (const ELcSocketError& e) {
        message = e.Message();
    }
    EXPECT_EQ(message, "Socket not connected to local address.");
    EXPECT_EQ(recorder.Released, 1);  // the closed socket ended its connection
    EXPECT_EQ(api.RegistryCount(), 1u);
    listener->Release();
}

// Swaps the case of letters both ways and greets after connecting; a piece holding "boom"
// makes it raise.
class TSwapCasePlugin : public TLcCryptSteps {
public:
    static std::string Swap(std::string s)
    {
        for (char& c : s)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
                c ^= 0x20;
        return s;
    }
    int AfterConnect(std::uintptr_t, std::string& reply) override
    {
        reply = "HELLO\n";
        return kGoOn;
    }
    int DataReceived(std::uintptr_t, const std::string& received, std::string& plain, std::string&, bool&) override
    {
        if (received.find("boom") != std::string::npos)
            throw Exception("plug-in broke");
        plain = Swap(received);
        return kGoOn;
    }
    int DataToSend(std::uintptr_t, const std::string& plain, std::string& encoded) override
    {
        encoded = Swap(plain);
        return kGoOn;
    }
};

TEST(SocketServerProvider, CryptPluginStepsAndALostConnection)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TSwapCasePlugin plugin;
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->SetCryptPlugin(&plugin);
    listener->Listen(false);
    TSocket peer = Arrive(api, ListenHandle(api));
    api.Event(peer, kFdWrite);  // connected: the greeting goes out as it is
    api.Pump();
    EXPECT_EQ(recorder.Connect, 1);
    EXPECT_EQ(api.Fake(peer).Sent, "HELLO\n");
    api.Fake(peer).Incoming = "gET /A";
    api.Event(peer, kFdRead);
    EXPECT_EQ(recorder.Received, "Get /a");
    TLcSocketServerProvider* connection = recorder.LastConnection;
    connection->WriteBody("Answer", true);
    api.Pump();
    EXPECT_EQ(api.Fake(peer).Sent, "HELLO\naNSWER");
    EXPECT_EQ(connection->LastWrite(), 6) << "the plain bytes, once their encoded bytes are out";

    api.Fake(peer).Incoming = "boom";
    api.Event(peer, kFdRead);
    api.Pump();
    EXPECT_EQ(recorder.Disconnect, 1);
    EXPECT_EQ(recorder.Released, 1);
    EXPECT_EQ(api.RegistryCount(), 1u);
    listener->Release();
}

// A plug-in whose every step raises.
class TBrokenPlugin : public TLcCryptSteps {
public:
    int AfterConnect(std::uintptr_t, std::string&) override { throw Exception("after connect broke"); }
    int DataReceived(std::uintptr_t, const std::string&, std::string&, std::string&, bool&) override
    {
        throw Exception("received broke");
    }
    int DataToSend(std::uintptr_t, const std::string&, std::string&) override { throw Exception("to send broke"); }
    int BeforeDisconnect(std::uintptr_t, std::string&) override { throw Exception("before broke"); }
    void AfterDisconnect(std::uintptr_t) override { throw Exception("after disconnect broke"); }
};

// A socket whose first Close and first Release raise once they have done their work (a release
// inside an event finishes later, by a second Release, when the event ends).
class TBrittleSocket : public TLcWinSocket {
public:
    TLcSocketBase* Create() const override { return new TBrittleSocket(); }
    void Close() override
    {
        TLcWinSocket::Close();
        if (!std::exchange(FCloseRaised, true))
            throw Exception("close broke");
    }
    void Release() override
    {
        const bool raise = !std::exchange(FReleaseRaised, true);
        TLcWinSocket::Release();  // may free this socket
        if (raise)
            throw Exception("release broke");
    }

private:
    bool FCloseRaised = false;
    bool FReleaseRaised = false;
};
TLcSocketBase* MakeBrittleSocket() { return new TBrittleSocket(); }

class TRaisingHandler : public TObject {
public:
    void Raise() { throw Exception("handler broke"); }

    CL_CLASS_NAME(TRaisingHandler)
};

// What raises in a plug-in step, a socket's close or release or an event handler is logged
// under the step's name and goes no further: the connection is lost, closed and freed.
TEST(SocketServerProvider, AStepThatRaisesIsLoggedUnderItsNameAndGoesNoFurther)
{
    TLogCapture log("srvprov_steps");
    TFakeSocketApi api;
    TRecorder recorder;
    TBrokenPlugin plugin;
    TRaisingHandler handler;
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->SetSocketClass(MakeBrittleSocket);
    listener->SetCryptPlugin(&plugin);
    listener->Listen(false);
    TSocket peer = Arrive(api, ListenHandle(api));
    TLcSocketServerProvider* connection = recorder.LastConnection;
    ASSERT_NE(connection, nullptr);
    connection->OnClientDisconnect = TLcProviderNotify(&handler, &TRaisingHandler::Raise);
    EXPECT_NO_THROW(api.Event(peer, kFdWrite));  // connected: AfterConnect raises, the connection is lost
    EXPECT_NO_THROW(api.Pump());
    EXPECT_EQ(recorder.Connect, 0);
    EXPECT_EQ(recorder.Released, 1);
    EXPECT_EQ(api.RegistryCount(), 1u);
    EXPECT_NO_THROW(listener->Disconnect());
    EXPECT_EQ(recorder.ListenStop, 1);
    listener->Release();

    EXPECT_EQ(log.Text("PLUGIN"),
              "TLcSocketServerProvider CryptPlugin.AfterConnect Exception! Exception: after connect broke\r\n"
              "TLcSocketServerProvider CryptPlugin.BeforeDisconnect Exception! Exception: before broke\r\n"
              "TLcSocketServerProvider CryptPlugin.AfterDisconnect Exception! Exception: after disconnect broke\r\n");
    EXPECT_EQ(log.Text("EVENT"),
              "TLcSocketServerProvider OnSocketClosed.TriggerConnectionLost Exception! Exception: handler broke\r\n");
    EXPECT_EQ(log.Text("ERROR"),
              "TLcSocketServerProvider SesClosed MyCon.Close Exception! Exception: close broke\r\n"
              "TLcSocketServerProvider SesClosed MyCon.Release Exception! Exception: release broke\r\n"
              "TLcSocketServerProvider.InternalDisconnect: MyCon2.Close Exception! Exception: close broke\r\n"
              "TLcSocketServerProvider.InternalDisconnect: MyCon2.Release Exception! Exception: release broke\r\n");
}

using SocketServerProviderThreaded = ThreadedProviderUnits;

TEST_F(SocketServerProviderThreaded, FailedAcceptAddsNoClientThenStopReleasesEveryClient)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = ThreadedListener(recorder);
    ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
    TSocket listenHandle = ListenHandle(api);

    recorder.FailNewProvider = true;
    Arrive(api, listenHandle);
    ASSERT_TRUE(WaitFor([&] { return api.RegistryCount() == 1 && api.SocketsClosed == 1; }, [&] { api.Pump(); }));
    EXPECT_EQ(listener->ClientThreadCount(), 0);
    EXPECT_EQ(recorder.ClientConnect, 0);
    recorder.FailNewProvider = false;

    TSocket peers[3];
    for (TSocket& peer : peers)
        peer = Arrive(api, listenHandle);
    ASSERT_TRUE(WaitFor([&] { return recorder.ClientConnect == 3 && api.RegistryCount() == 4; }, [&] { api.Pump(); }));
    for (TSocket peer : peers)
        api.Event(peer, kFdWrite);
    ASSERT_TRUE(WaitFor([&] { return recorder.Connect == 3; }, [&] { api.Pump(); }));
    EXPECT_EQ(listener->ClientThreadCount(), 3);

    listener->Disconnect();
    ASSERT_TRUE(WaitFor([&] { return recorder.Released == 3; }, [&] { api.Pump(); }));
    EXPECT_EQ(recorder.ListenStop, 1);
    EXPECT_EQ(recorder.Disconnect, 3);
    EXPECT_EQ(recorder.ClientDisconnect, 3);
    EXPECT_TRUE(WaitFor([&] { return api.RegistryCount() == 0; }, [&] { api.Pump(); }));
    listener->Release();
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == 4; }, [&] { api.Pump(); }));
}

TEST_F(SocketServerProviderThreaded, StoppingWhileClientsArriveLosesNothing)
{
    TFakeSocketApi api;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        TRecorder recorder;
        TLcSocketServerProvider* listener = ThreadedListener(recorder);
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
        TSocket listenHandle = ListenHandle(api);
        for (int i = 0; i < 10; ++i) {
            TSocket peer = Arrive(api, listenHandle);
            api.Event(peer, kFdWrite);
            if (i == 5)
                listener->Disconnect();
        }
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStop == 1 && api.RegistryCount() == 0; }, [&] { api.Pump(); }));
        // every connection that was made was freed again
        ASSERT_TRUE(WaitFor([&] { return recorder.Released == recorder.NewProviders; }, [&] { api.Pump(); }));
        listener->Release();
        ASSERT_TRUE(WaitFor([&] { return recorder.Released == recorder.NewProviders + 1; }, [&] { api.Pump(); }));
    }
}

}  // namespace

namespace {

TEST_F(SocketServerProviderThreaded, RestartPostedBehindAStopIsNotLost)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->SetMultiThreaded(true);
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE(round);
        listener->Listen(round > 1);
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == round && listener->GetState() == kLcStateListening; }));
        // The stop ends the listener's queue; the restart lands in it or behind it.
        listener->Disconnect();
        if (round < 20) {
            listener->Listen(true);
            ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == round + 1; }));
        }
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStop == round; }));
        recorder.ListenStart = round;  // the next round listens again itself
        ASSERT_TRUE(WaitFor([&] { return listener->GetState() == kLcStateListening || round == 20; }));
        if (round < 20) {
            listener->Disconnect();
            ASSERT_TRUE(WaitFor([&] { return listener->GetState() == kLcStateClosed && recorder.ListenStop == round + 1; }));
            recorder.ListenStop = round;
        }
    }
    ASSERT_TRUE(WaitFor([&] { return api.RegistryCount() == 0; }));
    listener->Release();
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == 1; }));
}

TEST_F(SocketServerProviderThreaded, ReleasingTheListenerWithClientsFreesEveryoneOnce)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = ThreadedListener(recorder);
    ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
    TSocket listenHandle = ListenHandle(api);
    for (int i = 0; i < 5; ++i)
        api.Event(Arrive(api, listenHandle), kFdWrite);
    ASSERT_TRUE(WaitFor([&] { return recorder.ClientConnect == 5; }, [&] { api.Pump(); }));
    listener->Release();  // frees the listener while its client queues still run
    ASSERT_TRUE(WaitFor([&] { return recorder.Released == 6; }, [&] { api.Pump(); }));
    EXPECT_TRUE(WaitFor([&] { return api.RegistryCount() == 0; }, [&] { api.Pump(); }));
}

}  // namespace

namespace {

// A client queue that ends while its listener lives, then the listener released while it
// listens: both queues' ends take the listener's lock and the link's lock, in one order.
TEST_F(SocketServerProviderThreaded, ClientEndsThenTheListeningListenerIsReleased)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = ThreadedListener(recorder);
    ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
    TSocket peer = Arrive(api, ListenHandle(api));
    ASSERT_TRUE(WaitFor([&] { return recorder.ClientConnect == 1 && api.RegistryCount() == 2; }, [&] { api.Pump(); }));
    api.Event(peer, kFdWrite);
    ASSERT_TRUE(WaitFor([&] { return recorder.Connect == 1; }, [&] { api.Pump(); }));
    api.Event(peer, kFdClose);
    ASSERT_TRUE(WaitFor([&] { return recorder.Released == 1 && listener->ClientThreadCount() == 0; }, [&] { api.Pump(); }));
    listener->Release();
    ASSERT_TRUE(WaitFor([&] { return recorder.Released == 2; }, [&] { api.Pump(); }));
    EXPECT_EQ(recorder.ListenStop, 1);
    EXPECT_TRUE(WaitFor([&] { return api.RegistryCount() == 0; }, [&] { api.Pump(); }));
}

// A job that raises on a queue is logged under the name of the job the queue had got to, and
// the queue goes on.
TEST_F(SocketServerProviderThreaded, AJobThatRaisesIsLoggedWithTheJobItsQueueHadGotTo)
{
    TLogCapture log("srvprov_jobs");
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = ThreadedListener(recorder);
    ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
    const std::string strayOnListener = "SRV:TLcSocketServerThread.RunJob \"(else: \"TLcBaseMessage\")\" Exception! "
                                        "Exception: Error!! TLcThread -> Unknown Job class: TLcBaseMessage\r\n";
    const std::string strayOnClient = "SRV:TLcSocketClientThread.RunJob \"(else: \"TLcBaseMessage\")\" Exception! "
                                      "Exception: Error!! TLcThread -> Unknown Job class: TLcBaseMessage\r\n";
    TLcBaseMessage stray("stray");  // no job a queue knows
    ASSERT_TRUE(listener->PostJob(&stray, false));
    ASSERT_TRUE(WaitFor([&] { return log.Text("ERROR") == strayOnListener; }, nullptr, 5)) << log.Text("ERROR");
    TSocket peer = Arrive(api, ListenHandle(api));
    ASSERT_TRUE(WaitFor([&] { return recorder.ClientConnect == 1; }, [&] { api.Pump(); }));
    ASSERT_TRUE(recorder.LastConnection.load()->PostJob(&stray, false));
    ASSERT_TRUE(WaitFor([&] { return log.Text("ERROR") == strayOnListener + strayOnClient; }, nullptr, 5))
        << log.Text("ERROR");
    api.Event(peer, kFdWrite);
    EXPECT_TRUE(WaitFor([&] { return recorder.Connect == 1; }, [&] { api.Pump(); }));

    listener->Disconnect();
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == 1; }, [&] { api.Pump(); }));
    listener->Release();
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == 2; }, [&] { api.Pump(); }));
}

// A client whose set-up fails on its queue is closed and freed at once, not left half-made
// until the listener stops.
TEST_F(SocketServerProviderThreaded, AClientWhoseInitFailsIsClosedAndFreedAtOnce)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = ThreadedListener(recorder);
    ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        api.FailOn["AsyncSelect"] = 10055;  // the accepted socket's event mask
    }
    Arrive(api, ListenHandle(api));
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == 1; }, [&] { api.Pump(); }, 5));
    EXPECT_EQ(listener->ClientThreadCount(), 0);
    EXPECT_EQ(api.RegistryCount(), 1u);
    EXPECT_EQ(recorder.ClientConnect, 0);
    {
        std::lock_guard<std::recursive_mutex> guard(api.M);
        api.FailOn.clear();
    }
    listener->Release();
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == 2; }, [&] { api.Pump(); }));
}

// The listener keeps its one queue from its first listen until its release: a stop and a listen
// again (asked for while the stop has not run yet) run on it, one after the other.
TEST_F(SocketServerProviderThreaded, StopAndListenAgainRunOnTheListenersOneQueue)
{
    TFakeSocketApi api;
    TRecorder recorder;
    TLcSocketServerProvider* listener = Listener(recorder);
    listener->SetMultiThreaded(true);
    listener->Listen(false);
    ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == 1; }));
    TLcThread* const queue = listener->ServerThread();
    ASSERT_NE(queue, nullptr);
    for (int round = 1; round <= 30; ++round) {
        SCOPED_TRACE(round);
        listener->Disconnect();
        listener->Listen(true);
        ASSERT_TRUE(WaitFor([&] { return recorder.ListenStart == round + 1; }, nullptr, 2));
        EXPECT_EQ(recorder.ListenStop, round);
        ASSERT_TRUE(WaitFor([&] { return api.RegistryCount() == 1; }));
        EXPECT_EQ(listener->ServerThread(), queue);
        // It listens, and it takes clients.
        const int clients = recorder.ClientConnect;
        Arrive(api, ListenHandle(api));
        ASSERT_TRUE(WaitFor([&] { return recorder.ClientConnect == clients + 1; }, [&] { api.Pump(); }, 2));
        ASSERT_EQ(listener->GetState(), kLcStateListening);
    }
    listener->Release();
    EXPECT_TRUE(WaitFor([&] { return recorder.Released == recorder.NewProviders + 1; }, [&] { api.Pump(); }));
}

}  // namespace
