// Page serving: the viewer's answers to the requests of its own browser.
//
// Every page, picture, script and style sheet the browser shows comes over HTTP from the
// viewer's server on the loopback address. A request is answered from the book:
//
//   request path --(URL prefix cut, leading "/" cut, "?" and "#" cut, "/" -> "\")--> entry name
//   entry name   --(book lookup, letter case ignored; else its percent-decoded UTF-8 form)-->
//   200 with the inflated entry, or 404 "File not found"
//
// A served entry carries, in this order, "CONTENT-TYPE" (by extension, uMimeTypes, with
// "; charset=utf-8" when the data begin with the UTF-8 byte-order mark), "CONTENT-LENGTH",
// "Expires" one second in the past and "Cache-Control" "no-cache"; the status stays the
// response's default, 200 "OK".
//
// What the server refuses:
// - a request whose "Host" names anything but 127.0.0.1 or localhost (with or without a
//   port) is answered 400, so that a page of another site whose name was rebound to the
//   loopback address cannot read the book; a request without "Host" is served;
// - entries whose name begins with "#" (the settings entry holds the book's password) are
//   never served: 404, as if they did not exist;
// - a name holding a NUL byte matches no entry (a lookup could otherwise take it for the
//   shorter name before the NUL);
// - an entry that exists but gives no data (damaged data, a record without data, an empty
//   entry) is answered 404; any other failure while reading it (an allocation, a file that
//   cannot be read, a fault of ours) leaves AnswerPageRequest, and the server event logs it
//   under "ERROR" with its class and message and answers 500 "Internal Server Error"; no
//   exception leaves the handler.
//
// AnswerPageRequest is the whole decision as a function of the request, the book, the MIME
// table, the URL prefix and the clock, filling a response object and giving the body. The
// server events of the main form (TPageServer) add the connection and the debug pane, both
// reached through small interfaces (TPageConnection, TPageServerHost).
//
// Threads: the request events run on the HTTP server's worker threads, several at once. They
// read only what is fixed before the server listens (the book's directory, the MIME table,
// the URL prefix); every extraction uses a stream of its own.
#pragma once

#include "lectern/book/LBFile.h"
#include "lectern/lc/lcConn.h"
#include "lectern/lc/lcHttpHeader.h"

#include "classlib/DateUtils.h"
#include "classlib/StringList.h"

#include <string>

// ---- the answer -----------------------------------------------------------------------------

enum class TPageOutcome {
    Served,     // 200 with the entry
    NotLoaded,  // 404: the entry exists but gave no data
    NotFound,   // 404: no entry of that name (or one never served)
    Refused,    // 400: the request names a foreign host
};

struct TPageAnswer {
    TPageOutcome Outcome = TPageOutcome::NotFound;
    std::string Path;  // the entry name looked up (the decoded one when that was found)
    std::string Body;
};

// The answer to a complete request. Sets the status (except for a served entry, which keeps
// the response's default) and the header fields on response; the body is the answer's. Only
// damaged data are answered (404); every other exception travels on.
TPageAnswer AnswerPageRequest(const TLcRequest& request, TLBFile& book, const TStringList& mimeTypes,
                              const std::string& urlPrefix, TDateTime utcNow, TLcResponse& response);

// 400 "Bad Request" on response; answers the body "Status 400: Bad Request".
std::string AnswerBadRequest(TLcResponse& response);
// 500 "Internal Server Error" on response, without header fields; answers the body
// "Status 500: Internal Server Error".
std::string AnswerServerError(TLcResponse& response);

// The entry name of a request path: without the URL prefix (when the path begins with it,
// compared case-sensitively), without leading "/", cut before the first "?" and then before
// the first "#", every "/" turned into "\".
std::string EntryPathOf(const std::string& fileName, const std::string& urlPrefix);

// A request with this "Host" value is served: the value is empty (no "Host"), "127.0.0.1" or
// "localhost" (letter case ignored), either one optionally followed by ":" and a decimal port.
bool IsServedHost(const std::string& host);

// The date text of an HTTP header for a UTC time: "Sun, 05 Jan 2025 14:03:09 GMT".
std::string HttpDateString(TDateTime t);

// ---- the server events ----------------------------------------------------------------------

// What the page server needs of a connection of the HTTP server: its current request and
// response objects, the server's Write of body text and the data server's AcceptRequest.
class TPageConnection {
public:
    virtual ~TPageConnection() = default;
    virtual const TLcServerRequest& Request() = 0;
    virtual TLcServerResponse& Response() = 0;
    virtual void Write(std::string text) = 0;
    virtual void AcceptRequest() = 0;
};

// What the page server needs of the main form. Everything but the debug calls is fixed before
// the server starts listening.
class TPageServerHost {
public:
    virtual ~TPageServerHost() = default;
    virtual TLBFile& Book() = 0;
    virtual const TStringList& MimeTypes() = 0;
    virtual const std::string& UrlPrefix() = 0;
    virtual TDateTime UtcNow() = 0;
    // The debug pane (both do nothing while the Debug setting is off); called from worker
    // threads. Debug adds a line; DebugServed joins a served path to the last "Ok:" line
    // (TDebugLines).
    virtual void Debug(const std::string& line) = 0;
    virtual void DebugServed(const std::string& path) = 0;
};

// The event handlers of the server components. The host must outlive the object.
class TPageServer : public TObject {
public:
    explicit TPageServer(TPageServerHost& host) : FHost(host) {}

    // Accepts every request that reaches the server.
    void FileProviderCheckRequest(TPageConnection& sender);
    // Answers a request once it is complete (see the unit comment) and writes its debug line.
    void FileProviderDataReceived(TPageConnection& sender);
    // A request the server could not accept: 400.
    void ServerInvalidRequest(TPageConnection& sender);
    void ServerListenStart();
    void ServerListenError(const Exception& e);

    CL_CLASS_NAME(TPageServer)

private:
    TPageServerHost& FHost;
};
