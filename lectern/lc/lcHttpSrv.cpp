#include "lectern/lc/lcHttpSrv.h"

#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcSocketHttpSrvProv.h"
#include "lectern/lc/lcSynSocket.h"
#include "lectern/lc/lcWinSocket.h"

namespace {

TLcSocketBase* MakeWinSocket() { return new TLcWinSocket(); }
TLcSocketBase* MakeSynSocket() { return new TLcSynSocket(); }

bool HasContentLength(const TLcServerResponse& response) { return !response.GetValueUpper("CONTENT-LENGTH").empty(); }

}  // namespace

TLcHttpServer::TLcHttpServer(TComponent* owner) : TLcDataServer(owner), FWriteBuffer(std::make_unique<TLcHugeString>())
{
}

TLcHttpServer::~TLcHttpServer()
{
    Shutdown();
    RunAtBoundary("ERROR", "TLcHttpServer.Destroy", [this] { FWriteBuffer.reset(); }, LogHandledErrors);
}

// ---- settings -----------------------------------------------------------------------------

void TLcHttpServer::DropProviderUnlessListening(const char* refusal)
{
    if (Provider() == nullptr) {
        return;
    }
    if (IsListening()) {
        throw ELcConnection(refusal);
    }
    ReleaseProvider();  // the next Listen makes one with the new setting
}

void TLcHttpServer::SetBlocking(bool value)
{
    if (value == FBlocking) {
        return;
    }
    DropProviderUnlessListening("Can not change Blocking when Server is listening.");
    FBlocking = value;
}

void TLcHttpServer::SetCryptPlugin(TLcCryptPlugin* value)
{
    if (value == FCryptPlugin) {
        return;
    }
    DropProviderUnlessListening("Can not change CryptPlugin when Server is listening.");
    if (FCryptPlugin != nullptr) {
        FCryptPlugin->RemoveFreeNotification(this);
    }
    FCryptPlugin = value;
    if (FCryptPlugin != nullptr) {
        FCryptPlugin->FreeNotification(this);
    }
}

void TLcHttpServer::Notification(TComponent* component, TOperation operation)
{
    TLcDataServer::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FCryptPlugin) {
        FCryptPlugin = nullptr;
    }
}

void TLcHttpServer::SetTimeoutsOfAPI(const TLcTimeoutsOfAPI* value) { TimeoutsOfAPI()->Assign(value); }

void TLcHttpServer::CopyFrom(TLcServer* source)
{
    TLcDataServer::CopyFrom(source);
    auto* from = dynamic_cast<TLcHttpServer*>(source);
    if (from == nullptr) {
        return;
    }
    MaxRequestSize = from->MaxRequestSize;
    MaxHeaderSize = from->MaxHeaderSize;
    OnInvalidRequest = from->OnInvalidRequest;
    FCryptPlugin = from->FCryptPlugin;
}

// ---- the provider -------------------------------------------------------------------------

TLcConnectionProvider* TLcHttpServer::CreateProvider()
{
    if (Provider() == nullptr) {
        auto* provider = new TLcSocketHttpServerProvider();
        provider->SetSocketClass(FBlocking ? MakeSynSocket : MakeWinSocket);
        AdoptProvider(provider);
        SetTriggers();
    }
    return Provider();
}

TLcSocketHttpServerProvider* TLcHttpServer::HttpProvider(const char* operation) const
{
    auto* provider = dynamic_cast<TLcSocketHttpServerProvider*>(Provider());
    if (provider == nullptr) {
        throw Exception(std::string("TLcHttpServer.") + operation + ": Connection Provider not recognized.");
    }
    return provider;
}

bool TLcHttpServer::ProviderClosed() const { return Provider() == nullptr || Provider()->GetState() == kLcStateClosed; }

void TLcHttpServer::SetParams()
{
    TLcDataServer::SetParams();
    if (Provider() == nullptr) {
        return;
    }
    TLcSocketHttpServerProvider* provider = HttpProvider("SetParams");
    provider->SetCryptPlugin(FCryptPlugin);
    provider->SetRequest(Request());
    provider->SetResponse(Response());
    provider->SetMaxRequestSize(MaxRequestSize);
    provider->SetMaxHeaderSize(MaxHeaderSize);
    provider->SetFixup(FixupRequest());
    provider->SetTimeoutsOfAPI(TimeoutsOfAPI());
}

void TLcHttpServer::SetTriggers()
{
    TLcDataServer::SetTriggers();
    if (Provider() == nullptr) {
        return;
    }
    HttpProvider("SetTriggers")->OnInvalidRequest = TLcProviderNotify(this, &TLcHttpServer::ProcessInvalidRequest);
}

void TLcHttpServer::ClearTriggers()
{
    TLcDataServer::ClearTriggers();
    if (Provider() == nullptr) {
        return;
    }
    HttpProvider("ClearTriggers")->OnInvalidRequest = {};
}

void TLcHttpServer::SetRequest(TLcServerRequest* value)
{
    TLcDataServer::SetRequest(value);
    if (Provider() != nullptr) {
        HttpProvider("SetRequest")->SetRequest(Request());
    }
}

void TLcHttpServer::SetResponse(TLcServerResponse* value)
{
    TLcDataServer::SetResponse(value);
    if (Provider() != nullptr) {
        HttpProvider("SetResponse")->SetResponse(Response());
    }
}

// ---- writing ------------------------------------------------------------------------------

bool TLcHttpServer::BeginHeader()
{
    if (ProviderClosed()) {
        return false;
    }
    if (Response()->HeaderSent()) {
        throw Exception("Error! Sending multiple headers for one request.");
    }
    Timeout()->DataSend();
    return true;
}

void TLcHttpServer::WriteHeader(bool SendNow)
{
    if (BeginHeader()) {
        HttpProvider("WriteHeader")->WriteHeader(SendNow);
    }
}

void TLcHttpServer::WriteHeader(const std::string& HeaderText, bool SendNow)
{
    if (BeginHeader()) {
        HttpProvider("WriteHeader")->WriteHeader(HeaderText, SendNow);
    }
}

void TLcHttpServer::CheckRoomFor(const std::string& text) const
{
    const TLcServerResponse& response = *Response();
    if (HasContentLength(response) &&
        static_cast<int64_t>(text.size()) > response.ContentLength() - response.ContentOut()) {
        throw Exception("Error! Sending more data out than specified in header.");
    }
}

void TLcHttpServer::Write(std::string Text)
{
    if (ProviderClosed()) {
        return;
    }
    TLcServerResponse& response = *Response();
    if (response.AllContentOut()) {
        throw Exception("Error! Answer allready sent for this request.");
    }
    if (!response.HeaderSent()) {
        if (!HasContentLength(response) || FBuffering) {
            FBuffering = true;
            FWriteBuffer->Append(Text);
            return;
        }
        WriteHeader(Text.empty());  // an announced length: the head goes out with this text
    }
    CheckRoomFor(Text);
    HttpProvider("Write")->WriteBody(std::move(Text), true);
}

void TLcHttpServer::Flush()
{
    if (!FBuffering) {
        return;
    }
    FBuffering = false;
    if (ProviderClosed()) {
        return;  // the text stays in the buffer; the connection is going
    }
    Timeout()->DataSend();
    TLcServerResponse& response = *Response();
    if (response.AllContentOut()) {
        throw Exception("Error! Answer allready sent for this request.");
    }
    if (!response.HeaderSent()) {
        if (!HasContentLength(response)) {
            response.SetContentLength(FWriteBuffer->TotalSize());
        }
        HttpProvider("Flush")->WriteHeader(false);
    }
    if (FWriteBuffer->TotalSize() > 0) {
        std::string text = FWriteBuffer->GetText();
        FWriteBuffer->Clear();
        HttpProvider("Flush")->WriteBody(std::move(text), true);
    }
}

// ---- triggers -----------------------------------------------------------------------------

void TLcHttpServer::CallDataReceived()
{
    TLcDataServer::CallDataReceived();
    Flush();
}

void TLcHttpServer::CallDataOut()
{
    TLcDataServer::CallDataOut();
    Flush();
}

bool TLcHttpServer::ResponseDoneAndClosing() const
{
    return TotalWritten() > 0 && Response()->AllDataSent() && Request()->Close();
}

void TLcHttpServer::CallDataSent()
{
    const bool wrote = TotalWritten() > 0;
    if (wrote) {
        Timeout()->DataSent();
    }
    InEvent([this, wrote] {
        if (wrote) {
            TriggerDataSent();
            Flush();
            if (ResponseDoneAndClosing()) {
                Disconnect();
            }
        }
        if (!IsClosing()) {
            TriggerReadyToSend();
            Flush();
            if (ResponseDoneAndClosing()) {
                Disconnect();
            }
        }
    });
}

void TLcHttpServer::ProcessInvalidRequest()
{
    InEvent([this] {
        TriggerInvalidRequest();
        Flush();
        Disconnect();
    });
}

void TLcHttpServer::TriggerInvalidRequest()
{
    if (OnInvalidRequest) {
        OnInvalidRequest(this);
    }
}
