// Unit lcSocketSrvProv: the provider that joins a socket to the connection components.
//
// One provider listens; every accepted connection gets a provider of its own (made by the
// server through TriggerNewProvider) that owns the accepted socket. The provider turns the
// socket's events into the provider triggers, reads and writes through the socket and keeps
// the order of closing. Multi-threaded, the listener runs its socket work in a server thread
// (TLcSocketServerThread) and every connection in a client thread (TLcSocketClientThread):
// job queues of the worker pool, so that one connection's work runs one job after another.
// A connection's queue ends with its socket. The listener's queue lives from its first job (the
// first listen) until the provider is released: stopping and listening again, and a restart
// that waits between the two, run on that one queue, the listener's own thread.
//
// Listener and connections share a link object (TLcListenerLink) instead of pointers to each
// other: a connection or its queue reaches the listener only through the link and under its
// lock, and the listener cuts the link before it goes. So a client queue that ends after its
// listener was freed never touches the freed listener; the listener's Silent flag stays
// readable through the link.
//
// A listener on UDP (protocol 1) receives datagrams itself: Read hands out the last one, and
// WriteBody answers the peer it came from. A crypt plug-in (none in the viewer)
// given to the listener transforms the byte stream of every connection both ways (see
// TLcCryptSteps).
#pragma once

#include "lectern/lc/lcSockBase.h"
#include "lectern/lc/lcSockBaseSrvProv.h"
#include "lectern/lc/memBinList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <mutex>
#include <vector>

class TLcSocketServerProvider;
class TLcSocketClientThread;

struct TLcListenerLink {
    std::recursive_mutex Lock;
    TLcSocketServerProvider* Listener = nullptr;
    bool Silent = false;
};

// The job queue of a multi-threaded listener.
class TLcSocketServerThread : public TLcThread {
public:
    explicit TLcSocketServerThread(TLcSocketServerProvider* Provider) : FProvider(Provider) {}

    CL_CLASS_NAME(TLcSocketServerThread)

protected:
    ~TLcSocketServerThread() override;
    bool RunJob() override;
    void KillJob() override;

private:
    friend class TLcSocketServerProvider;
    TLcSocketServerProvider* FProvider;
    bool FStopReceived = false;
};

// The job queue of one accepted connection of a multi-threaded listener.
class TLcSocketClientThread : public TLcThread {
public:
    TLcSocketClientThread(std::shared_ptr<TLcListenerLink> Parent, TLcSocketServerProvider* Connection,
                          TLcSocketBase* PendingSocket);

    CL_CLASS_NAME(TLcSocketClientThread)

protected:
    ~TLcSocketClientThread() override;
    bool RunJob() override;

private:
    friend class TLcSocketServerProvider;
    std::shared_ptr<TLcListenerLink> FParent;
    TLcSocketServerProvider* FConnection;
    TLcSocketBase* FPendingSocket;
    bool FReleaseSilent = false;
};

// A socket class: makes the listening socket.
using TLcSocketFactory = TLcSocketBase* (*)();

class TLcSocketServerProvider : public TLcBaseSockServerProvider {
public:
    TLcSocketServerProvider();
    ~TLcSocketServerProvider() override;

    void SetSocketClass(TLcSocketFactory Factory) { FSocketClass = Factory; }
    // 0 TCP, 1 UDP; the UDP settings of a listener.
    void SetProto(int Value) { FProto = Value; }
    int Proto() const { return FProto; }
    void SetMultiCast(bool Value) { FMultiCast = Value; }
    void SetMultiCastAddr(const std::string& Value) { FMultiCastAddr = Value; }
    void SetReuseAddr(bool Value) { FReuseAddr = Value; }

    // ---- provider operations ----
    void Listen(bool Restarting) override;
    void Disconnect() override;
    void InternalDisconnect() override;
    void Check() override;
    void Release() override;
    std::string Read() override;
    void WriteBody(std::string Text, bool SendNow) override;
    // Read under the lock (the queue's end clears its place under it).
    TLcThread* ClientThread() override;
    TLcThread* ServerThread() override;
    // To the connection's or the listener's queue; a multi-threaded listener that has none yet
    // gets its queue here. Without a queue a single-threaded provider runs a TLcJob at once.
    bool PostJob(TObject* job, bool highPriority) override;

    // Copies the listener's settings and binds this provider to its socket's events.
    void CopyFrom(TLcSocketServerProvider* Listener);
    TLcSocketServerProvider* GetParent();

    TLcSocketBase* Socket() const { return FSocket; }
    bool IsListener() const { return FIsListener; }
    bool IsClientConnection() const { return FIsClientConnection; }
    // The accepted connections (single-threaded) and client queues (multi-threaded) counted
    // under the lock; 0 when the lists are gone.
    int AcceptedCount();
    int ClientThreadCount();

    CL_CLASS_NAME(TLcSocketServerProvider)

private:
    friend class TLcSocketServerThread;
    friend class TLcSocketClientThread;

    // A socket message or socket job of a provider's queue; false for any other job.
    // runAsJob: the job is to run as a plain job of the queue.
    static bool RunSocketJob(TLcSocketServerProvider* provider, TObject* job, std::string& label, bool& runAsJob);
    bool CanWork();
    bool ParentSilent();
    void DoListen(bool restart);
    void ListenInServerThread(bool restart);
    // The listener's queue, made when a multi-threaded listener has none; none otherwise.
    TLcSocketServerThread* ServerQueue();
    void FreeLists();
    void CloseClients();
    void SocketClosed();
    void InitClient(TLcSocketClientThread* thread);
    bool AddAccepted(TLcSocketServerProvider* connection);
    void RemoveAccepted(TLcSocketServerProvider* connection);
    bool AddClientThread(TLcSocketClientThread* thread);
    void RemoveClientThread(TLcSocketClientThread* thread);
    void ReleaseSocket(TLcSocketBase* socket, const char* context);
    void ForgetSocket();
    bool GetFlag(bool (TLcConnectionProvider::*getter)() const);

    // ---- socket events ----
    void SockChangeState(TLcSocketBase* sender, int state);
    // A blocking listener that could not listen: released, and the listen error fired.
    void ListenFailed(TLcSocketBase* sender);
    void SockSessionAvailable(TLcSocketBase* sender);
    void SockDataReceived(TLcSocketBase* sender);
    void SockDataSent(TLcSocketBase* sender);
    void SockDataOut(TLcSocketBase* sender, int count);
    void SockDataIn(TLcSocketBase* sender, int count);
    void SockBgException(TLcSocketBase* sender, Exception& e, bool& mayClose);
    void ConnectionData(bool received);
    void DatagramReceived();
    bool IsDatagramListener() const { return FIsListener && FProto == 1; }
    // The plug-in's steps; false when the connection is lost (it is closed then).
    bool PluginAfterConnect();
    bool PluginResult(int result, const std::string& reply);
    // The connection is lost: it is closed now, or, inside a data event, when that ends.
    void PluginLost();
    // Ends a data event; true when a loss found in it closed the connection (this provider
    // may be gone then).
    bool EndEvent();
    // Writes to the socket, counting the encoded bytes when a plug-in is present.
    void WriteRaw(std::string text, bool sendNow);

    TLcSocketBase* FSocket = nullptr;
    TLcSocketFactory FSocketClass = nullptr;
    int FProto = 0;
    std::string FDatagram;  // the datagram a UDP listener received last
    bool FMultiCast = false;
    std::string FMultiCastAddr;
    bool FReuseAddr = false;
    bool FMoreToRead = false;
    // With a plug-in: encoded bytes handed to the socket and not yet reported out, and plain
    // bytes given to the plug-in since the last data-out report.
    int64_t FEncodedPending = 0;
    int64_t FPlainTotal = 0;
    int FEventDepth = 0;        // inside a data event of the connection
    bool FLostPending = false;  // the plug-in lost the connection inside that event
    std::unique_ptr<tBinList> FAccepted;
    std::unique_ptr<tBinList> FClientThreads;
    bool FListeningStarted = false;
    TLcSocketClientThread* FClientThread = nullptr;
    TLcSocketServerThread* FServerThread = nullptr;
    // A listener's link to its connections; a connection's link to its listener.
    std::shared_ptr<TLcListenerLink> FLink;
    bool FIsListener = false;
    bool FIsClientConnection = false;
    bool FClientDisconnectFired = false;
    // Released while its server queue was ending: the queue frees it.
    bool FFreeWithThread = false;
};

// ---- unit start and end ----
// Makes the shared control messages.
void InitializeLcSocketSrvProv();
void FinalizeLcSocketSrvProv();
