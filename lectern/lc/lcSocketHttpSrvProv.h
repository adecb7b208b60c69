// Unit lcSocketHttpSrvProv: the server provider that speaks HTTP/1.x over an accepted socket.
//
// TLcSocketHttpServerProvider is the socket server provider with a TLcHttpWire in front of
// the connection: it overrides the triggers that carry data and hands them to the wire, which
// parses requests, holds pipelined ones back and frames the answers. The wire reaches the
// socket and the connection through this class (TLcHttpWireSide): received bytes from the
// socket provider's Read, writes through its WriteBody, and the provider's own triggers.
//
// A request handler that raises is reported through TriggerException and the connection is
// closed: at once for a connection on its own queue (the stop is posted to it), or, for a
// single-threaded one, when the socket event that ran the handler ends (TriggerAfterEvents),
// because closing frees this provider and must not happen while its event runs.
#pragma once

#include "lectern/lc/lcHttpWire.h"
#include "lectern/lc/lcSocketSrvProv.h"

#include <cstdint>
#include <string>

class TLcSocketHttpServerProvider : public TLcSocketServerProvider, private TLcHttpWireSide {
public:
    TLcSocketHttpServerProvider() = default;

    // The invalid-request trigger: bound by the HTTP server, which answers 400 and closes.
    TLcProviderNotify OnInvalidRequest;
    virtual void TriggerInvalidRequest() { Fire(OnInvalidRequest); }

    // Signed limits; below 1 means no limit.
    int32_t MaxRequestSize() const { return FMaxRequestSize; }
    void SetMaxRequestSize(int32_t size);
    int32_t MaxHeaderSize() const { return FMaxHeaderSize; }
    void SetMaxHeaderSize(int32_t size);
    // The connection's current request and response, and the server's fix-up options (none
    // owned).
    void SetRequest(TLcServerRequest* request) { FWire.SetRequest(request); }
    void SetResponse(TLcServerResponse* response) { FWire.SetResponse(response); }
    void SetFixup(const TLcServerRequestFixup* fixup) { FWire.SetFixup(fixup); }

    // ---- triggers ----
    void TriggerDataReceived() override { FWire.DataReceived(); }
    void TriggerConnect() override;
    void TriggerDisconnect() override;
    void TriggerDataOut() override { FWire.DataOut(LastWrite()); }
    void TriggerDataSent() override { FWire.DataSent(); }
    void TriggerAfterEvents() override;

    // ---- the connection's side ----
    // The body received in the current delivery; empties it.
    std::string Read() override { return FWire.Read(); }
    void WriteHeader(bool SendNow) { FWire.WriteHeader(SendNow); }
    void WriteHeader(const std::string& HeaderText, bool SendNow) { FWire.WriteHeader(HeaderText, SendNow); }
    void WriteBody(std::string Text, bool SendNow) override { FWire.WriteBody(std::move(Text), SendNow); }

    const TLcHttpWire& Wire() const { return FWire; }

    CL_CLASS_NAME(TLcSocketHttpServerProvider)

private:
    // ---- TLcHttpWireSide ----
    std::string ReceiveBytes() override { return TLcSocketServerProvider::Read(); }
    void AskForData() override;
    void SendBytes(std::string text, bool sendNow) override { TLcSocketServerProvider::WriteBody(std::move(text), sendNow); }
    void FireDataReceived() override { TLcSocketServerProvider::TriggerDataReceived(); }
    void FireDataOut() override { TLcSocketServerProvider::TriggerDataOut(); }
    void FireDataSent() override { TLcSocketServerProvider::TriggerDataSent(); }
    void FireLastWrite() override { TriggerLastWrite(); }
    void FireInvalidRequest() override { TriggerInvalidRequest(); }
    void HandlerFailed(const Exception& e) override;

    TLcHttpWire FWire{*this};
    int32_t FMaxRequestSize = 0;
    int32_t FMaxHeaderSize = 0;
    bool FCloseAfterEvents = false;
};
