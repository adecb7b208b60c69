// Unit lcHttpWire: the HTTP/1.x wire of one server connection, between its socket and its
// request and response objects, with no socket of its own.
//
// TLcHttpWire is what the HTTP server provider (TLcSocketHttpServerProvider) does beyond the
// socket server provider it derives from: the provider hands every socket trigger to it and
// gives it a TLcHttpWireSide to reach the socket and the connection. It
// - cuts received bytes into requests with a TLcHttpRequestParser and fills the connection's
//   TLcServerRequest (flags Started, Active, Complete, BodyReceived, Close) for each delivery;
// - holds back a pipelined request until the previous response is out;
// - frames the response: status line and header, then exactly the announced content; the
//   answer to a HEAD request is the head that GET would get, without its content (what the
//   handler writes is counted as for GET and dropped);
// - keeps the connection alive between requests unless the request asks for closing: an
//   HTTP/1.0 request, or "Connection: close", is answered "HTTP/1.0 " with the field
//   "CONNECTION: close", else "HTTP/1.1 ";
// - closes the connection when the code that answers a request raises, so that the client
//   is not left waiting for the time-out.
//
// Counters: the content still to send and the total still to send (header + content) are
// -1 while the length is not announced. A response is sent completely when the total
// reaches 0 after the socket reported the bytes written.
//
// All calls of one connection come on its thread; nothing here locks.
#pragma once

#include "classlib/SysUtils.h"
#include "lectern/lc/lcHttpRequestParser.h"

#include <cstdint>
#include <string>

class TLcServerRequest;
class TLcServerResponse;
class TLcServerRequestFixup;

// The socket and the connection as the wire sees them; the provider implements it.
class TLcHttpWireSide {
public:
    virtual ~TLcHttpWireSide() = default;
    // The bytes the socket has received and not handed out yet.
    virtual std::string ReceiveBytes() = 0;
    // Asks the socket to report incoming data.
    virtual void AskForData() = 0;
    // Gives bytes to the socket: sent at once, or held until the next bytes that are.
    virtual void SendBytes(std::string text, bool sendNow) = 0;
    // The provider's own triggers, which reach the connection.
    virtual void FireDataReceived() = 0;
    virtual void FireDataOut() = 0;
    virtual void FireDataSent() = 0;
    virtual void FireLastWrite() = 0;
    virtual void FireInvalidRequest() = 0;
    // The code answering the request raised e: report it and close the connection.
    virtual void HandlerFailed(const Exception& e) = 0;
};

class TLcHttpWire : public TObject {
public:
    explicit TLcHttpWire(TLcHttpWireSide& side);
    TLcHttpWire(const TLcHttpWire&) = delete;
    TLcHttpWire& operator=(const TLcHttpWire&) = delete;

    // The connection's current request and response (not owned).
    void SetRequest(TLcServerRequest* request);
    void SetResponse(TLcServerResponse* response);
    // The server's fix-up options (not owned), applied after each request header.
    void SetFixup(const TLcServerRequestFixup* fixup) { FFixup = fixup; }
    void SetMaxRequestSize(int32_t size) { FParser.SetMaxRequestSize(size); }
    void SetMaxHeaderSize(int32_t size) { FParser.SetMaxHeaderSize(size); }

    // ---- socket triggers ----
    void DataReceived();
    // count: the bytes the socket just wrote.
    void DataOut(int64_t count);
    void DataSent();
    void Disconnected();

    // ---- the connection's side ----
    // The body bytes of the current delivery not read yet; empties them.
    std::string Read() { return FParser.Read(); }
    void WriteHeader(bool sendNow);
    // A non-empty headerText replaces the response's fields ("Name: value" lines) first;
    // an empty one sends no head at all and flags the request to close.
    void WriteHeader(const std::string& headerText, bool sendNow);
    void WriteBody(std::string text, bool sendNow);

    bool DataWaiting() const { return FDataWaiting; }
    bool HeaderOut() const { return FHeaderOut; }
    int64_t ContentToSend() const { return FContentToSend; }
    int64_t TotalToSend() const { return FTotalToSend; }
    const TLcHttpRequestParser& Parser() const { return FParser; }

    CL_CLASS_NAME(TLcHttpWire)

private:
    void Parse();
    void Deliver();
    void ApplyFixup();
    void SendHead(const std::string& text, bool sendNow);

    TLcHttpWireSide& FSide;
    TLcHttpRequestParser FParser;
    TLcServerRequest* FRequest = nullptr;
    TLcServerResponse* FResponse = nullptr;
    const TLcServerRequestFixup* FFixup = nullptr;
    bool FDataWaiting = false;
    bool FParsing = false;  // inside Parse: a nested DataReceived leaves the work to it
    // Nothing more is read until the connection closes: an answer that closes it went out,
    // or the code answering a request raised.
    bool FHalted = false;
    bool FHeaderOut = false;
    bool FHeadOnly = false;  // the head out answers HEAD: no content follows it on the socket
    int64_t FContentToSend = -1;
    int64_t FTotalToSend = -1;
};
