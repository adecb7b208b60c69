// The blocking socket on real loopback sockets under Wine: its reports reach the owner through
// the owner's queue, reading waits for Sync, queued texts leave together, a peer that reads
// nothing does not hold the socket's queue, and a released listener takes its unclaimed
// connections with it.
#include "ServerUnits.h"
#include "WaitUntil.h"
#include "WinSockTestApi.h"

#include "lectern/lc/lcDataSrv.h"
#include "lectern/lc/lcHttpSrv.h"
#include "lectern/lc/lcSocketSrvProv.h"
#include "lectern/lc/lcSynSocket.h"
#include "lectern/lc/lcWinSock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Records a socket's events, in order, as short texts.
class TRecorder : public TObject {
public:
    void Bind(TLcSocketBase* socket)
    {
        socket->OnChangeState = TLcSockStateEvent(this, &TRecorder::ChangeState);
        socket->OnSessionAvailable = TLcSockNotifyEvent(this, &TRecorder::SessionAvailable);
        socket->OnDataReceived = TLcSockNotifyEvent(this, &TRecorder::DataReceived);
        socket->OnDataSent = TLcSockNotifyEvent(this, &TRecorder::DataSent);
    }
    bool Has(const std::string& event)
    {
        std::lock_guard<std::mutex> guard(FLock);
        for (const auto& e : FEvents) {
            if (e == event) {
                return true;
            }
        }
        return false;
    }
    int Count(const std::string& event)
    {
        std::lock_guard<std::mutex> guard(FLock);
        int n = 0;
        for (const auto& e : FEvents) {
            n += e == event ? 1 : 0;
        }
        return n;
    }
    std::vector<std::string> Events()
    {
        std::lock_guard<std::mutex> guard(FLock);
        return FEvents;
    }

private:
    void Add(const std::string& event)
    {
        std::lock_guard<std::mutex> guard(FLock);
        FEvents.push_back(event);
    }
    void ChangeState(TLcSocketBase*, int state) { Add("state " + std::to_string(state)); }
    void SessionAvailable(TLcSocketBase*) { Add("session"); }
    void DataReceived(TLcSocketBase*) { Add("received"); }
    void DataSent(TLcSocketBase*) { Add("sent"); }

    std::mutex FLock;
    std::vector<std::string> FEvents;
};

// The owner's queue: hands the socket's reports to it, as a provider's queue does.
class TOwnerQueue : public TLcThread {
public:
    explicit TOwnerQueue(TLcSocketBase* socket) : FSocket(socket) {}

protected:
    bool RunJob() override
    {
        if (auto* message = dynamic_cast<TLcSockMessage*>(CurrentJob())) {
            FSocket->DoMessage(message->Code(), 0);
            return false;
        }
        return TLcThread::RunJob();
    }

private:
    TLcSocketBase* FSocket;
};

// A socket with its owner's queue and recorder; ended silenced, as the providers end theirs.
struct TOwned {
    explicit TOwned(TLcSocketBase* made) : Socket(made), Queue(new TOwnerQueue(made))
    {
        Socket->SetThread(Queue);
        Socket->SetMultiThreaded(true);
        Recorder.Bind(Socket);
    }
    ~TOwned()
    {
        Socket->SetSilent(true);
        Socket->Release();
        Queue->Stop();
    }
    TLcSocketBase* Socket;
    TOwnerQueue* Queue;
    TRecorder Recorder;
};

class SynSocketLoop : public ServerUnits {
protected:
    // The units in the program's order (the server's for the HTTP server test).
    void SetUp() override
    {
        ServerUnits::SetUp();
        InitializeLcSockBaseSyn();
    }
    void TearDown() override
    {
        ServerUnits::TearDown();
        FinalizeLcSockBaseSyn();
    }

    // A listener on a free loopback port; answers the port.
    int Listen(TOwned& listener)
    {
        listener.Socket->SetAddr("127.0.0.1");
        listener.Socket->SetPort("0");
        listener.Socket->Listen();
        EXPECT_TRUE(WaitUntil([&] { return listener.Recorder.Has("state 7"); }));
        return std::stoi(listener.Socket->GetLocalPort());
    }

    TWinSockTestApi api;
};

TEST_F(SynSocketLoop, ServesAConnectionThroughTheOwnersQueue)
{
    TOwned listener(new TLcSynSocket());
    const int port = Listen(listener);
    // No client yet: the accept loop turns without a report.
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    EXPECT_EQ(listener.Recorder.Events(), std::vector<std::string>{"state 7"});

    TTestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return listener.Recorder.Has("session"); }));
    TOwned connection(listener.Socket->GetNewSocket());
    ASSERT_NE(connection.Socket, nullptr);
    connection.Socket->StartNewSocket();
    ASSERT_TRUE(WaitUntil([&] { return connection.Recorder.Has("state 5"); }));
    EXPECT_EQ(connection.Socket->GetPeerAddr(), "127.0.0.1");
    EXPECT_EQ(connection.Socket->GetLocalPort(), std::to_string(port));

    // Nothing is read until the owner asks with Sync, and again after each delivery.
    for (const std::string text : {"hello", "again"}) {
        ASSERT_EQ(client.Send(text), static_cast<int>(text.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int before = connection.Recorder.Count("received");
        connection.Socket->Sync();
        ASSERT_TRUE(WaitUntil([&] { return connection.Recorder.Count("received") == before + 1; }));
        std::string got;
        EXPECT_EQ(connection.Socket->ReceiveStr(got), static_cast<int>(text.size()));
        EXPECT_EQ(got, text);
    }

    // Three texts queued at once leave together; "sent" comes once nothing is queued.
    const int sentBefore = connection.Recorder.Count("sent");
    connection.Socket->BuffStr("one,");
    connection.Socket->BuffStr("two,");
    connection.Socket->SendStr("three");
    std::string reply;
    while (reply.size() < 13) {
        const std::string piece = client.Recv(64);
        if (piece.empty()) {
            break;
        }
        reply += piece;
    }
    EXPECT_EQ(reply, "one,two,three");
    EXPECT_TRUE(WaitUntil([&] { return connection.Recorder.Count("sent") == sentBefore + 1; }));

    // The peer goes: the next read reports the connection lost.
    connection.Socket->Sync();
    client.Close();
    EXPECT_TRUE(WaitUntil([&] { return connection.Recorder.Has("state 12"); }));
}

TEST_F(SynSocketLoop, APeerThatReadsNothingDoesNotHoldTheQueue)
{
    TOwned listener(new TLcSynSocket());
    const int port = Listen(listener);
    TTestClient client;
    const int small = 4096;
    WinSockApi().setsockopt(client.Handle(), kSolSocket, kSoRcvBuf, reinterpret_cast<const char*>(&small),
                            sizeof small);
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return listener.Recorder.Has("session"); }));
    TOwned connection(listener.Socket->GetNewSocket());
    connection.Socket->StartNewSocket();
    ASSERT_TRUE(WaitUntil([&] { return connection.Recorder.Has("state 5"); }));

    connection.Socket->SendStr(std::string(8 << 20, 'x'));   // far more than the peer takes
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto asked = std::chrono::steady_clock::now();
    connection.Socket->Close();
    ASSERT_TRUE(WaitUntil([&] { return connection.Recorder.Has("state 8"); }));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1))
        << "the close waited behind the send";
}

TEST_F(SynSocketLoop, AListenErrorNamesTheSystemsError)
{
    TOwned holder(new TLcSynSocket());
    const int port = Listen(holder);
    TOwned second(new TLcSynSocket());
    second.Socket->SetAddr("127.0.0.1");
    second.Socket->SetPort(std::to_string(port));
    second.Socket->Listen();
    ASSERT_TRUE(WaitUntil([&] { return second.Recorder.Has("state 9"); }));
    EXPECT_EQ(second.Socket->GetLastErrorText().substr(0, 7), "#10048:");
}

// The listen error of an HTTP server on blocking sockets reaches its listen-error event.
class ListenErrors : public TObject {
public:
    void ListenError(TLcConnection*, const Exception& e)
    {
        std::lock_guard<std::mutex> guard(Lock);
        Message = e.Message();
        ++Count;
    }
    std::mutex Lock;
    std::string Message;
    std::atomic<int> Count{0};
};

TEST_F(SynSocketLoop, AnHttpServerOnBlockingSocketsReportsItsListenError)
{
    {
        TOwned holder(new TLcSynSocket());
        const int port = Listen(holder);
        ListenErrors errors;
        TLcHttpServer server(nullptr);
        server.ServerAddr = "127.0.0.1";
        server.ServerPort = std::to_string(port);
        server.SetMultiThreaded(true);
        server.SetBlocking(true);
        server.OnListenError = TLcErrorEvent(&errors, &ListenErrors::ListenError);
        server.Listen(false);
        ASSERT_TRUE(WaitUntil([&] { return errors.Count == 1; }));
        std::lock_guard<std::mutex> guard(errors.Lock);
        EXPECT_EQ(errors.Message.substr(0, 7), "#10048:");
    }
}

TEST_F(SynSocketLoop, AReleasedListenerClosesTheConnectionsNobodyTook)
{
    TOwned listener(new TLcSynSocket());
    const int port = Listen(listener);
    TTestClient first;
    TTestClient second;
    ASSERT_TRUE(first.Connect(port));
    ASSERT_TRUE(second.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return listener.Recorder.Count("session") == 2; }));
    listener.Socket->SetSilent(true);
    listener.Socket->Release();
    listener.Socket = new TLcSynSocket();   // the fixture releases this one instead
    for (TTestClient* client : {&first, &second}) {
        EXPECT_EQ(client->Recv(16), "") << "the accepted connection was closed";
    }
}

}  // namespace
