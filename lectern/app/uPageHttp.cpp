#include "lectern/app/uPageHttp.h"

#include "lectern/lc/lcSockBase.h"
#include "lectern/lc/lcSocketSrvProv.h"
#include "lectern/lc/lcThrPool.h"

#include "classlib/PlatformTime.h"
#include "classlib/Threads.h"

#include <string>

namespace {

TLcHttpServer& HttpConnection(TLcConnection* sender)
{
    auto* server = dynamic_cast<TLcHttpServer*>(sender);
    if (server == nullptr) {
        throw Exception("The page server answers only connections of an HTTP server.");
    }
    return *server;
}

}  // namespace

void InitializePageHttp()
{
    InitializeLcThrPool();
    InitializeLcSockBase();
    InitializeLcSocketSrvProv();
    InitializeLcConn();
    InitializeLcDataSrv();
}

void FinalizePageHttp()
{
    FinalizeLcDataSrv();
    FinalizeLcConn();
    FinalizeLcSockBase();
    FinalizeLcThrPool();
    FinalizeLcSocketSrvProv();
}

bool CanListenOnPort(const std::string& addr, int port, std::string* error)
{
    TLcHttpServer probe(nullptr);
    probe.ServerAddr = addr;
    probe.ServerPort = std::to_string(port);
    try {
        probe.Listen(false);
        return true;
    } catch (const Exception& e) {
        if (error != nullptr) {
            *error = e.Message();
        }
        return false;
    }
}

bool IsPortTakenError(const std::string& error)
{
    // The socket layer's texts start "Error #<code> in": 10048 address in use, 10013 access
    // denied (a port reserved by the system).
    return error.find("Error #10048 ") != std::string::npos || error.find("Error #10013 ") != std::string::npos;
}

TPageHttpServer::TPageHttpServer(TPageServerHost& host)
    : FPages(host),
      FFileProvider(std::make_unique<TLcDataProvider>(nullptr)),
      FServerLink(std::make_unique<TLcDataServerLink>(nullptr)),
      FServer(std::make_unique<TLcHttpServer>(nullptr))
{
    FServer->SetMultiThreaded(true);
    FServer->ServerAddr = "127.0.0.1";
    FServer->ServerPort = "80";
    FServer->Timeout()->AfterConnecting = kConnectIdleSeconds;
    FServer->RestartOn()->ListenLost = true;
    FServer->MaxRequestSize = kMaxRequestBytes;
    FServer->MaxHeaderSize = kMaxHeaderBytes;
    FServer->OnListenStart = TLcNotifyEvent(this, &TPageHttpServer::ListenStart);
    FServer->OnListenError = TLcErrorEvent(this, &TPageHttpServer::ListenError);
    FServer->OnInvalidRequest = TLcNotifyEvent(this, &TPageHttpServer::InvalidRequest);

    FServerLink->SetServer(FServer.get());
    FServerLink->SetCheckOrder(kServerLinkCheckOrder);

    FFileProvider->SetLink(FServerLink.get());
    FFileProvider->SetCheckOrder(kFileProviderCheckOrder);
    FFileProvider->OnCheckRequest = TLcNotifyEvent(this, &TPageHttpServer::CheckRequest);
    FFileProvider->OnDataReceived = TLcNotifyEvent(this, &TPageHttpServer::DataReceived);
}

TPageHttpServer::~TPageHttpServer()
{
    // The server goes first: it stops listening and waits for its connections, whose events
    // use the provider, the link and the page server.
    FServer.reset();
    FServerLink.reset();
    FFileProvider.reset();
}

int TPageHttpServer::ListenOnFirstFreePort(int first, int last, TPortProbe probe)
{
    FStartError.clear();
    for (int port = first; port <= last; ++port) {
        std::string error;
        if (!probe(FServer->ServerAddr, port, &error)) {
            if (IsPortTakenError(error)) {
                continue;
            }
            FStartError = error.empty() ? "The probe of port " + std::to_string(port) + " failed." : error;
            return 0;
        }
        FListenLock.Enter();
        FListenOutcome = TListenOutcome::Pending;
        FListenError.clear();
        FListenDone.ResetEvent();
        FListenLock.Leave();
        FServer->ServerPort = std::to_string(port);
        FServer->Listen(false);
        const bool waited = WaitForListen();
        FListenLock.Enter();
        const TListenOutcome outcome = FListenOutcome;
        error = FListenError;
        FListenLock.Leave();
        if (outcome == TListenOutcome::Started) {
            return port;
        }
        FServer->StopListen();
        if (outcome == TListenOutcome::Pending) {
            FStartError = waited ? "The listen on port " + std::to_string(port) + " gave no answer within " +
                                       std::to_string(kListenWaitSeconds) + " s."
                                 : std::string("The program was asked to end.");
            return 0;
        }
        if (!IsPortTakenError(error)) {
            FStartError = error;
            return 0;
        }
    }
    return 0;
}

bool TPageHttpServer::WaitForListen()
{
    // The main thread's messages and synchronised calls go on meanwhile; the wait ends as soon
    // as the outcome is known (start-up waits for it).
    const uint64_t deadline = plat::MonotonicMs() + uint64_t{kListenWaitSeconds} * 1000u;
    while (FListenDone.WaitFor(0) != TWaitResult::wrSignaled && plat::MonotonicMs() < deadline) {
        bool busy = false;
        plat::PumpResult pumped;
        while ((pumped = plat::PumpOneMessage()) == plat::PumpResult::Dispatched) {
            busy = true;
        }
        if (pumped == plat::PumpResult::Quit) {
            return false;
        }
        busy = CheckSynchronize() || busy;
        if (!busy) {
            FListenDone.WaitFor(kListenPollMs);
        }
    }
    return true;
}

void TPageHttpServer::CheckRequest(TLcConnection* sender)
{
    THttpPageConnection connection(HttpConnection(sender));
    FPages.FileProviderCheckRequest(connection);
}

void TPageHttpServer::DataReceived(TLcConnection* sender)
{
    THttpPageConnection connection(HttpConnection(sender));
    FPages.FileProviderDataReceived(connection);
}

void TPageHttpServer::InvalidRequest(TLcConnection* sender)
{
    THttpPageConnection connection(HttpConnection(sender));
    FPages.ServerInvalidRequest(connection);
}

void TPageHttpServer::ListenStart(TLcConnection*)
{
    FPages.ServerListenStart();
    FListenLock.Enter();
    FListenOutcome = TListenOutcome::Started;
    FListenDone.SetEvent();
    FListenLock.Leave();
}

void TPageHttpServer::ListenError(TLcConnection*, const Exception& e)
{
    FPages.ServerListenError(e);
    FListenLock.Enter();
    FListenOutcome = TListenOutcome::Failed;
    FListenError = e.Message();
    FListenDone.SetEvent();
    FListenLock.Leave();
}
