// Unit lcHttpRequestParser: the server side of the HTTP/1.x wire, cut loose from sockets.
//
// TLcHttpRequestParser is fed the bytes a connection receives, in pieces of any size, and
// turns them into requests: request line, header fields, then a body announced by
// "Content-Length" or sent in chunks. It fills the connection's current TLcRequest (method,
// FileName, query, fields, the multipart boundary of the body values) and hands the body out
// piece by piece. It never blocks and never calls back into the connection: the caller asks
// for the next step and acts on it.
//
//   Feed (bytes)   appends to the input
//   Next ()        NeedMore  every byte is used and the request is not complete: read on
//                  Delivery  request data for the connection (Complete(), Read());
//                  Waiting   nothing is read now: the request is complete and its response
//                            is not out yet (Buffered() says whether bytes wait), or the
//                            input was refused
//                  Invalid   the request cannot be read: answer 400 and close; the parser
//                            then ignores every further byte until Reset
//   NextRequest () the response went out: clear the request and response, read on; when
//                  the answer came before the request's body was all in, the rest of that
//                  body is read and dropped first (never delivered)
//   Reset ()       the connection closed: forget everything
//
// Road of one request: waiting for the request line -> reading header fields -> reading the
// body (by length or by chunks) -> complete -> (response out) -> next request. A request
// without body is delivered once, already complete. A body by length is delivered as soon as
// the header is complete (even before its first byte), then with every piece that arrives;
// a chunked body with every piece of chunk data and at the end of every chunk.
//
// Invariants:
// - The input is one string with a read offset (FPos); consumed bytes are dropped only in
//   large steps (kParserCompactBytes), so a byte is moved a bounded number of times.
// - A search for a line end resumes where the last one stopped (FScan), so a long line that
//   arrives in many packets is scanned once, not once per packet.
// - Memory stays bounded by the limits: the request line and every chunk-size line by
//   MaxRequestSize (+ 2 for the CR LF), the header block by MaxHeaderSize (+ 4 for the
//   closing CR LF CR LF). A limit below 1 means no limit, as the server's defaults are.
// - Body bytes wait for the connection's Read across deliveries. One delivery may bring a
//   whole packet, but what deliveries leave unread may grow only up to MaxRequestSize: a
//   body that outgrows it unread is refused as oversized.
// - Every refusal goes through Refuse.
//
// Keep-alive: an HTTP/1.0 request, or one whose "Connection" field is "close", asks for the
// connection to close after its response (Close()); "Connection: keep-alive" keeps it open.
#pragma once

#include "classlib/Events.h"
#include "classlib/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TLcRequest;
class TLcResponse;

enum class TLcRequestStep { NeedMore, Delivery, Waiting, Invalid };

// Chunk reading: the chunk-size line, chunk data, the CR LF after a chunk, the CR LF after
// the last (empty) chunk.
enum class TLcChunkState { SizeLine = 0, Data = 1, DataEnd = 2, LastEnd = 3 };

class TLcHttpRequestParser : public TObject {
public:
    // Consumed input is dropped from the front once this many bytes are used and they are
    // at least half of the input: each byte is moved at most about once.
    static constexpr std::size_t kParserCompactBytes = 64 * 1024;

    TLcHttpRequestParser() = default;
    TLcHttpRequestParser(const TLcHttpRequestParser&) = delete;
    TLcHttpRequestParser& operator=(const TLcHttpRequestParser&) = delete;

    // The connection's current request and response (not owned). The request must be set
    // before Next; the response may be absent.
    void SetRequest(TLcRequest* request) { FRequest = request; }
    void SetResponse(TLcResponse* response) { FResponse = response; }
    TLcRequest* Request() const { return FRequest; }

    // Signed 32-bit limits; below 1 means no limit.
    int32_t MaxRequestSize() const { return FMaxRequestSize; }
    void SetMaxRequestSize(int32_t size) { FMaxRequestSize = size; }
    int32_t MaxHeaderSize() const { return FMaxHeaderSize; }
    void SetMaxHeaderSize(int32_t size) { FMaxHeaderSize = size; }

    // Fired once per request, after its header fields were read and before its body: the
    // place for the server's request fix-ups.
    TEvent<> OnHeaderComplete;

    void Feed(std::string_view bytes);
    TLcRequestStep Next();
    // The body bytes of the current delivery not read yet; empties them.
    std::string Read();
    void NextRequest();
    void Reset();

    // Received bytes not consumed yet.
    std::size_t Buffered() const { return FInput.size() - FPos; }
    bool RequestLineRead() const { return FRequestLineRead; }
    bool HeaderComplete() const { return FHeaderComplete; }
    bool Chunked() const { return FChunked; }
    TLcChunkState ChunkState() const { return FChunkState; }
    // Body bytes still expected (of the length or of the current chunk); -1 when not known.
    int64_t Remaining() const { return FRemaining; }
    // Set when a request line was read, cleared after the first delivery that follows it.
    bool Started() const { return FStarted; }
    // Set when a request line was read, cleared when its response went out.
    bool Active() const { return FActive; }
    // The whole body has arrived.
    bool Complete() const { return FComplete; }
    // The connection is to close after this request's response.
    bool Close() const { return FClose; }
    void SetClose(bool close) { FClose = close; }
    // Body bytes of this request received so far.
    int64_t Received() const { return FReceived; }
    // An invalid request was met; everything after it is ignored until Reset.
    bool Refused() const { return FRefused; }

    CL_CLASS_NAME(TLcHttpRequestParser)

private:
    // A step of the loop: a step for the caller, or nothing when parsing goes on.
    using TMaybeStep = std::optional<TLcRequestStep>;

    std::string_view Rest() const { return std::string_view(FInput).substr(FPos); }
    // Offset (from FPos) of the next mark, resuming the previous search; npos when none yet.
    std::size_t FindMark(std::string_view mark);
    void Consume(std::size_t count);
    // A line of a line-limited kind (request line, chunk-size line) whose end is at lineEnd
    // (npos while not seen) is over MaxRequestSize.
    bool LineTooLong(std::size_t lineEnd) const;

    TMaybeStep ReadRequestLine();
    TMaybeStep ParseRequestLine(const std::string& line);
    TMaybeStep ReadHeader();
    void ReadHeaderFields(std::string_view block);
    TMaybeStep ApplyHeaderFields();
    TLcRequestStep ReadLengthBody();
    TMaybeStep ReadChunk();
    // The loop of Next without the skipping of an answered body.
    TLcRequestStep NextStep();
    // count input bytes become body bytes waiting for Read; false when the unread body then
    // outgrows the limit.
    bool TakeBody(std::size_t count);
    TLcRequestStep Delivery();
    TLcRequestStep Finish();
    // The one way out for input that cannot be read: clears the parser flags and ignores
    // every byte until Reset. RefuseNamed first sets the request's FileName.
    TLcRequestStep Refuse();
    TLcRequestStep RefuseNamed(const std::string& fileName);
    // Clears the request and response objects and the request's state.
    void ClearRequest();

    TLcRequest* FRequest = nullptr;
    TLcResponse* FResponse = nullptr;
    int32_t FMaxRequestSize = 0;
    int32_t FMaxHeaderSize = 0;

    std::string FInput;
    std::size_t FPos = 0;   // first byte not consumed
    std::size_t FScan = 0;  // where the pending line-end search resumes (absolute)
    std::string FBody;      // the body bytes not read yet
    bool FBodyCarried = false;  // FBody holds bytes a finished delivery left unread

    bool FRequestLineRead = false;
    bool FHeaderComplete = false;
    bool FChunked = false;
    TLcChunkState FChunkState = TLcChunkState::SizeLine;
    int64_t FRemaining = -1;
    bool FStarted = false;
    bool FActive = false;
    bool FComplete = false;
    bool FClose = false;
    int64_t FReceived = 0;
    bool FDelivered = false;  // the last step was a delivery
    bool FSkipping = false;   // reading the rest of a body whose request was answered
    bool FRefused = false;
};
