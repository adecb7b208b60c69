// The HTTP wire of one server connection. See the header for what it does; the parser
// (lcHttpRequestParser) does the reading, this file the hand-over and the framing.
#include "lectern/lc/lcHttpWire.h"

#include "lectern/lc/lcConn.h"

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kKeepAlivePrefix = "HTTP/1.1 ";
constexpr const char* kClosePrefix = "HTTP/1.0 ";
// The method whose answer is the head alone (the method is kept upper-cased).
constexpr const char* kHeadMethod = "HEAD";

// Restores a flag when the scope ends, also on an exception.
class TFlagScope {
public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& FFlag;
};

}  // namespace

TLcHttpWire::TLcHttpWire(TLcHttpWireSide& side) : FSide(side)
{
    FParser.OnHeaderComplete = TEvent<>(this, &TLcHttpWire::ApplyFixup);
}

void TLcHttpWire::SetRequest(TLcServerRequest* request)
{
    FRequest = request;
    FParser.SetRequest(request);
}

void TLcHttpWire::SetResponse(TLcServerResponse* response)
{
    FResponse = response;
    FParser.SetResponse(response);
}

void TLcHttpWire::DataReceived()
{
    if (FParsing || FHalted) {
        return;  // the running parse goes on by itself; a halted wire reads nothing more
    }
    if (FParser.Complete()) {
        // A pipelined request: its bytes stay in the socket until the response is out.
        FDataWaiting = true;
        return;
    }
    FDataWaiting = false;
    FParser.Feed(FSide.ReceiveBytes());
    Parse();
}

void TLcHttpWire::Parse()
{
    const TFlagScope parsing(FParsing);
    for (;;) {
        switch (FParser.Next()) {
        case TLcRequestStep::NeedMore:
            FSide.AskForData();
            return;
        case TLcRequestStep::Waiting:
            if (FParser.Buffered() > 0) {
                FDataWaiting = true;
            }
            return;
        case TLcRequestStep::Invalid:
            FSide.FireInvalidRequest();
            return;
        case TLcRequestStep::Delivery:
            try {
                Deliver();
            } catch (const Exception& e) {
                // Nothing more is read on this connection; it closes at once.
                FParser.Reset();
                FDataWaiting = false;
                FHalted = true;
                FSide.HandlerFailed(e);
                return;
            }
            break;
        }
    }
}

void TLcHttpWire::Deliver()
{
    if (FParser.Started()) {
        FRequest->SetStarted(true);
        FRequest->SetActive(FParser.Active());
        FRequest->SetClose(FParser.Close());
    }
    FRequest->SetComplete(FParser.Complete());
    FRequest->SetBodyReceived(FParser.Received());
    FSide.FireDataReceived();
    FRequest->SetStarted(false);
}

void TLcHttpWire::ApplyFixup()
{
    if (FFixup) {
        FFixup->Apply(*FRequest);
    }
}

void TLcHttpWire::DataOut(int64_t count)
{
    FResponse->SetStarted(false);
    if (FTotalToSend >= 0) {
        FTotalToSend -= count;
    }
    FSide.FireDataOut();
    if (FTotalToSend == 0 && FParser.Buffered() == 0 && !FRequest->Close()) {
        FSide.AskForData();
    }
}

void TLcHttpWire::DataSent()
{
    if (FHeaderOut && FTotalToSend == 0) {
        FResponse->SetAllDataSent(true);
    }
    FSide.FireDataSent();
    if (!FHeaderOut || !FResponse->AllDataSent()) {
        return;
    }
    FHeaderOut = false;
    FHeadOnly = false;
    FContentToSend = -1;
    FTotalToSend = -1;
    const bool closing = FRequest->Close();
    // Clears the request and the response (200 "OK" again, every flag clear).
    FParser.NextRequest();
    if (closing) {
        // The connection closes after this answer: whatever came behind it stays unread.
        FHalted = true;
        FDataWaiting = false;
        return;
    }
    if (FDataWaiting) {
        FDataWaiting = false;
        if (FParsing) {
            return;  // the delivery that sent the response is still running: it parses on
        }
        DataReceived();
    }
}

void TLcHttpWire::Disconnected()
{
    FParser.Reset();
    FDataWaiting = false;
    FHalted = false;
    FHeaderOut = false;
    FHeadOnly = false;
    FContentToSend = -1;
    FTotalToSend = -1;
}

void TLcHttpWire::WriteHeader(bool sendNow)
{
    if (FHeaderOut && !FResponse->AllDataSent()) {
        throw Exception("Last header intercepted with new header, before data sent out.");
    }
    const char* prefix = kKeepAlivePrefix;
    if (FRequest->Close()) {
        FResponse->SetValueUpper("CONNECTION", "close");
        prefix = kClosePrefix;
    }
    const std::string text = prefix + std::to_string(FResponse->StatusCode()) + " " + FResponse->StatusText() +
                             kLineEnd + FResponse->HeaderLines() + kLineEnd;
    SendHead(text, sendNow);
}

void TLcHttpWire::WriteHeader(const std::string& headerText, bool sendNow)
{
    if (!headerText.empty()) {
        FResponse->TLcHttpHeader::Clear();
        FResponse->SetHeaderLines(headerText);
        WriteHeader(sendNow);
        return;
    }
    if (FHeaderOut && !FResponse->AllDataSent()) {
        throw Exception("Last header intercepted with new header, before data sent out.");
    }
    // No head at all: what follows is raw content, counted as a head would announce it, and
    // the connection closes after it.
    FRequest->SetClose(true);
    SendHead(std::string(), sendNow);
}

void TLcHttpWire::SendHead(const std::string& text, bool sendNow)
{
    FResponse->SetHeaderSent(true);
    FResponse->SetStarted(true);
    // The answer to HEAD is the head alone: the content is counted as it is handed out, as
    // for GET, but none of it goes to the socket.
    FHeadOnly = FRequest->Method() == kHeadMethod;
    if (FResponse->BodyFollows() && FResponse->GetValueUpper("CONTENT-LENGTH").empty()) {
        FContentToSend = -1;
        FTotalToSend = FHeadOnly ? static_cast<int64_t>(text.size()) : -1;
    } else {
        if (!FResponse->BodyFollows()) {
            FResponse->SetValueUpper("CONTENT-LENGTH", "");
        }
        FContentToSend = FResponse->ContentLength();
        FTotalToSend = static_cast<int64_t>(text.size()) + (FHeadOnly ? 0 : FContentToSend);
    }
    FResponse->SetAllContentOut(FContentToSend == 0);
    if (FResponse->AllContentOut()) {
        FSide.FireLastWrite();
    }
    FHeaderOut = true;
    if (!text.empty()) {
        FSide.SendBytes(text, sendNow || FContentToSend <= 0 || FHeadOnly);
    }
}

void TLcHttpWire::WriteBody(std::string text, bool sendNow)
{
    if (text.empty()) {
        return;
    }
    if (!FHeaderOut) {
        throw Exception("Trying to send Data without Header. Call WriteHeader before Write.");
    }
    const auto length = static_cast<int64_t>(text.size());
    if (FContentToSend >= 0) {
        if (length > FContentToSend) {
            throw Exception("Trying to send more Data out than specified in Header.");
        }
        FContentToSend -= length;
    }
    FResponse->SetAllContentOut(FContentToSend == 0);
    FResponse->SetContentOut(FResponse->ContentOut() + length);
    if (FResponse->AllContentOut()) {
        FSide.FireLastWrite();
    }
    if (!FHeadOnly) {
        FSide.SendBytes(std::move(text), sendNow);
    }
}
