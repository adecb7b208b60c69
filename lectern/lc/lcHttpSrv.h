// Unit lcHttpSrv: the HTTP server component.
//
// TLcHttpServer is a data server (lcDataSrv) whose provider is the HTTP server provider
// (lcSocketHttpSrvProv) over asynchronous sockets. It adds the request size limits, the
// invalid-request event and the writing operations with which a request handler answers:
//
//   - set the response's status and fields, a content length, then Write: the head goes out
//     with the first content, and no more than the announced content may follow;
//   - or Write without a content length, as often as needed: the text is held in the write
//     buffer until Flush, which sets "CONTENT-LENGTH" to the buffered size and sends head and
//     body together. Flush runs by itself after every data event, so fields set after Write
//     inside the handler still go out.
//
// An invalid request (unparsable, or beyond MaxRequestSize / MaxHeaderSize) fires
// OnInvalidRequest; what its handler wrote is sent and the connection closes in any case.
//
// The listener's settings are copied to each client connection; the write buffer and the
// buffering flag are each connection's own. All operations of one connection run on its
// thread (a pool worker when MultiThreaded is set), so nothing here locks.
#pragma once

#include "lectern/lc/lcDataSrv.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcSockBaseSrvProv.h"

#include <cstdint>
#include <memory>
#include <string>

class TLcSocketHttpServerProvider;

// An encryption plug-in of a connection: carried by the server and handed to its provider,
// never used by this program. As it stands it passes the stream through; a plug-in overrides
// the steps.
class TLcCryptPlugin : public TLcComponent, public TLcCryptSteps {
public:
    using TLcComponent::TLcComponent;
    CL_CLASS_NAME(TLcCryptPlugin)
};

class TLcHttpServer : public TLcDataServer {
public:
    explicit TLcHttpServer(TComponent* owner);
    // Shutdown first, then the write buffer.
    ~TLcHttpServer() override;

    // ---- published ----
    // Blocking sockets instead of asynchronous ones. Raises ELcConnection "Can not change
    // Blocking when Server is listening." while listening.
    bool Blocking() const { return FBlocking; }
    void SetBlocking(bool value);
    // Limits handed to the provider; 0 means no limit.
    int32_t MaxRequestSize = 0;
    int32_t MaxHeaderSize = 0;
    TLcNotifyEvent OnInvalidRequest;
    TLcCryptPlugin* CryptPlugin() const { return FCryptPlugin; }
    // Raises ELcConnection "Can not change CryptPlugin when Server is listening." while listening.
    void SetCryptPlugin(TLcCryptPlugin* value);
    // Copies the five values into the connection's own record.
    void SetTimeoutsOfAPI(const TLcTimeoutsOfAPI* value);

    // ---- answering the current request ----
    // Sends the response's head (sendNow: at once, else with the next body bytes). Raises
    // "Error! Sending multiple headers for one request." when it went out already.
    virtual void WriteHeader(bool SendNow);
    // The same with the fields given as "Name: value" lines (see TLcHttpWire::WriteHeader).
    virtual void WriteHeader(const std::string& HeaderText, bool SendNow);
    // Body text: sent after the head when a content length is announced, else buffered
    // until Flush (see the top of this file).
    void Write(std::string Text) override;
    // Sends what Write buffered, with its length as "CONTENT-LENGTH" when none is set.
    void Flush() override;

    void SetRequest(TLcServerRequest* value) override;
    void SetResponse(TLcServerResponse* value) override;
    void CopyFrom(TLcServer* source) override;

    // What the write buffer holds (it keeps text buffered when the connection closed first).
    int64_t BufferedSize() const { return FWriteBuffer->TotalSize(); }
    bool Buffering() const { return FBuffering; }

    CL_CLASS_NAME(TLcHttpServer)

protected:
    TLcConnectionProvider* CreateProvider() override;
    TLcServer* CopyOf() override { return new TLcHttpServer(nullptr); }
    void SetParams() override;
    void SetTriggers() override;
    void ClearTriggers() override;

    void CallDataReceived() override;
    void CallDataOut() override;
    void CallDataSent() override;

    // The provider's invalid-request trigger: OnInvalidRequest, Flush, Disconnect.
    virtual void ProcessInvalidRequest();
    virtual void TriggerInvalidRequest();

    void Notification(TComponent* component, TOperation operation) override;

private:
    // The provider as the HTTP provider; raises "TLcHttpServer.<operation>: Connection
    // Provider not recognized." when it is of another class.
    TLcSocketHttpServerProvider* HttpProvider(const char* operation) const;
    bool ProviderClosed() const;
    // Before a head goes out: false when there is no open provider; raises when the head of
    // this request went out already; arms the data-send time-out.
    bool BeginHeader();
    // A setting the provider is made with changes: raises ELcConnection refusal while
    // listening, else lets the provider go.
    void DropProviderUnlessListening(const char* refusal);
    // The response announced a length and everything announced was handed out.
    void CheckRoomFor(const std::string& text) const;
    bool ResponseDoneAndClosing() const;

    bool FBlocking = false;
    TLcCryptPlugin* FCryptPlugin = nullptr;
    std::unique_ptr<TLcHugeString> FWriteBuffer;
    bool FBuffering = false;
};
