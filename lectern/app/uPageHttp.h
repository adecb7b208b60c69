// The viewer's HTTP server: the server components as the main form places them, wired to the
// page server's events, and the port probe of start-up.
//
//   Server        TLcHttpServer, multi-threaded, on 127.0.0.1; a connection that sends nothing
//                 is closed 60 seconds after connecting; a lost listener restarts; requests
//                 are limited to a 128000-byte request line and a 16000-byte header
//   ServerLink    TLcDataServerLink on Server, CheckOrder 1000
//   FileProvider  TLcDataProvider on ServerLink, CheckOrder 900: answers every request
//
// Every event reaches TPageServer through THttpPageConnection, the connection the event
// concerns. The components live as long as the object; destroying it stops the server first
// and waits until every connection has ended (see lcConn), so no event runs afterwards.
#pragma once

#include "lectern/app/uPageServer.h"
#include "lectern/lc/lcHttpSrv.h"

#include "classlib/SyncObjs.h"

#include <memory>
#include <string>

// The page server's view of one connection of the HTTP server.
class THttpPageConnection final : public TPageConnection {
public:
    explicit THttpPageConnection(TLcHttpServer& server) : FServer(server) {}
    const TLcServerRequest& Request() override { return *FServer.Request(); }
    TLcServerResponse& Response() override { return *FServer.Response(); }
    void Write(std::string text) override { FServer.Write(std::move(text)); }
    void AcceptRequest() override { FServer.AcceptRequest(); }

private:
    TLcHttpServer& FServer;
};

// The units the server components stand on above the socket layer (worker pool, socket base,
// socket server provider, connections, data server), started, and ended in the order that
// lets no worker outlive what it uses. The socket layer itself (binding, hidden windows,
// registry, dispatcher, socket interface) is started before them and ended after them.
void InitializePageHttp();
void FinalizePageHttp();

// The whole server side of a program: the socket layer (binding, hidden windows, registry,
// dispatcher, socket interface), then the units of InitializePageHttp. Ended in reverse, but
// for the hidden windows, whose message thread ends first, before the worker pool. Windows
// tree only (uPageHttpWin.cpp), like the socket layer.
void InitializeServerUnits();
void FinalizeServerUnits();

// True when a fresh server with no listen-error handler can listen on addr:port: its Listen
// raises when the address cannot be bound. The probe is freed, its socket closed, before this
// returns. Exceptions other than the run-time's base exception pass on. When it answers false
// and error is given, *error is the text of the exception.
bool CanListenOnPort(const std::string& addr, int port, std::string* error = nullptr);

// True when the text of a failed listen says that the port is in use (or reserved): another
// port may do. Any other failure would fail on every port alike.
bool IsPortTakenError(const std::string& error);

// The server's limits (see the table above): a connection that sends nothing is closed this
// long after connecting; a request line and a header block are refused beyond these sizes.
constexpr int32_t kConnectIdleSeconds = 60;
constexpr int32_t kMaxRequestBytes = 128000;
constexpr int32_t kMaxHeaderBytes = 16000;
// The check orders of the link and the provider on the server's requests.
constexpr int32_t kServerLinkCheckOrder = 1000;
constexpr int32_t kFileProviderCheckOrder = 900;

// The ports the server may listen on: the first one free, in ascending order.
constexpr int kFirstServerPort = 8000;
constexpr int kLastServerPort = 8099;

constexpr uint32_t kListenWaitSeconds = 10;
// While waiting for the listen's outcome with nothing to dispatch: the longest nap.
constexpr uint32_t kListenPollMs = 2;

// A port probe: true when addr:port can be bound; otherwise it may say why in *error.
using TPortProbe = bool (*)(const std::string& addr, int port, std::string* error);

class TPageHttpServer : public TObject {
public:
    // The host must outlive the object.
    explicit TPageHttpServer(TPageServerHost& host);
    ~TPageHttpServer() override;
    TPageHttpServer(const TPageHttpServer&) = delete;
    TPageHttpServer& operator=(const TPageHttpServer&) = delete;

    TLcHttpServer& Server() { return *FServer; }

    // Probes the ports first..last in ascending order and listens on the first one a probe
    // could take. The listen itself ends on another thread: its outcome is waited for (up to
    // kListenWaitSeconds, with the main thread's messages dispatched), and a port that another
    // program took between the probe and the listen is left for the next one. Answers the port
    // the server listens on, or 0 when none could be used (the server does not listen). Only a
    // port in use moves the search on: a probe or listen that fails for another reason, a wait
    // ended by a quit message or one without outcome ends it, and StartError says why.
    int ListenOnFirstFreePort(int first = kFirstServerPort, int last = kLastServerPort,
                              TPortProbe probe = CanListenOnPort);
    // Why the last ListenOnFirstFreePort found no port: empty when every port was in use.
    const std::string& StartError() const { return FStartError; }

    CL_CLASS_NAME(TPageHttpServer)

private:
    // False when a quit message ended the wait.
    bool WaitForListen();
    void CheckRequest(TLcConnection* sender);
    void DataReceived(TLcConnection* sender);
    void InvalidRequest(TLcConnection* sender);
    void ListenStart(TLcConnection* sender);
    void ListenError(TLcConnection* sender, const Exception& e);

    enum class TListenOutcome { Pending, Started, Failed };

    TPageServer FPages;
    TCriticalSection FListenLock;
    TListenOutcome FListenOutcome = TListenOutcome::Pending;
    std::string FListenError;
    std::string FStartError;
    TSyncEvent FListenDone{true, false};
    // Declared in the order they go: the server (which waits for its connections) first.
    std::unique_ptr<TLcDataProvider> FFileProvider;
    std::unique_ptr<TLcDataServerLink> FServerLink;
    std::unique_ptr<TLcHttpServer> FServer;
};
