// Unit lcWinSocket: the non-blocking socket whose events arrive as window messages.
//
// The socket listens, accepts, connects, reads, buffers and sends, and closes. Every system
// call goes through the socket interface of lcSockApi (WinSock, hidden windows, registry).
//
// Event frames. Every handler of a socket message runs inside a frame: the nesting depth goes
// up on entry and down on exit. Release asked for inside a frame is only recorded and carried
// out when the outermost frame ends, so a handler never runs on a freed socket. When the
// outermost frame ends without a release and bytes went out during it, the socket posts
// itself "check write" (243), which runs the write handler again: that is where the data-sent
// event fires once the send queue is empty. A socket with a queue of its own (a multi-threaded
// one) puts the check-write straight into that queue instead of going through its window.
//
// Sending (TCP). SendStr makes the text the current block when nothing is queued, else appends
// it to the queue. The send loop hands the system at most the largest send size per call and
// goes on for as long as the system takes bytes: a call that takes only part of its bytes is
// simply followed by the next one, and the loop ends only when the system answers "would
// block" (the next write event resumes it), with another error, or when the queue is empty.
// What is queued behind the block joins it when both fit in one call, so a buffered head and
// a small body leave in one send.
//
// Closing. Only a socket still in the registry is closed (it leaves the registry first, so a
// second close does nothing), and one that has left it is closed on every path, also when a
// step of the close fails. Pending input is read into the data kept at close, which
// ReceiveStr hands out afterwards, up to kCloseReadLimitBytes in all: what a peer sends beyond
// that is not read (the system resets the connection when it closes a handle with input
// pending), so a peer that goes on sending holds neither the socket's memory nor its thread.
// Abort is a close with linger time 0. A handle that cannot be registered is closed at once.
//
// The peer's close. A close event with an error aborts the socket. One without an error says
// only that the peer has ended its sending side: what it sent before is still handed on (a
// data-received event when bytes wait), everything the socket was given is still sent, and
// the socket closes at the first data-sent event after which its owner gives it nothing more
// to send (there the owner answers what it has still to answer). A send that fails for another
// reason than "would block" after the peer's close aborts the socket: the peer is gone.
#pragma once

#include "lectern/lc/lcSockBase.h"

#include <atomic>
#include <cstdint>
#include <string>

// ---- unit settings ----
constexpr int kLcSockRcvBufSize = 64240;
constexpr int kLcSockSndBufSize = 64240;
constexpr int kLcSockMaxSendSize = 64240;
constexpr int kLcListenBacklog = 200;
// The most a close reads of the input still pending, for ReceiveStr to hand out afterwards:
// one receive buffer.
constexpr size_t kCloseReadLimitBytes = kLcSockRcvBufSize;
// The private event values a socket posts to itself (low word of lParam).
constexpr int kSockEvStartConnect = 241;
constexpr int kSockEvCheckRead = 242;
constexpr int kSockEvCheckWrite = 243;
constexpr int kSockEvCloseRequest = 244;

// Socket reports are logged under "SOCK" only while this is on [false].
extern std::atomic<bool> LcLogSocket;
// Connect results "refused" and "timed out" and close with "aborted" are reported only while
// this is on [false].
extern std::atomic<bool> LcLogRefusedSockets;

class TLcWinSocket : public TLcSocketBase, public TLcAsyncSelectTarget {
public:
    TLcWinSocket();

    TLcSocketBase* Create() const override { return new TLcWinSocket(); }

    void SetAddr(const std::string& Value) override;
    void SetPort(const std::string& Value) override;
    void SetProto(int Value) override;
    // The local end a client binds before it connects ("0.0.0.0" and "0": none); only while
    // closed, like the address and the port. After the bind LocalPortNumber is the port bound.
    void SetLocalAddr(const std::string& Value);
    void SetLocalPort(const std::string& Value);
    const std::string& LocalAddrText() const { return FLocalAddr; }
    const std::string& LocalPortText() const { return FLocalPort; }
    int LocalPortNumber() const { return FLocalPortNumber; }

    void Sync() override {}
    void Listen() override;
    TLcSocketBase* GetNewSocket() override;
    void StartNewSocket() override;
    void Connect() override;
    void Close() override;
    void Abort();
    void Release() override;
    void DoMessage(int Code, int Error) override;
    int ReceiveStr(std::string& Text) override;
    int SendStr(std::string Text) override;
    int BuffStr(const std::string& Text) override;
    std::string GetPeerAddr() override;
    std::string GetPeerPort() override;
    std::string GetLocalAddr() override;
    std::string GetLocalPort() override;
    std::string GetLastErrorText() override;

    // The event entry of the dispatcher: a WinSock event (or a private value) and its error.
    void WMAsyncSelect(int Event, int Error);
    // The dispatcher's handling of an exception raised by event handling: the background
    // exception event decides; when the socket may close, a multi-threaded socket is sent a
    // close request through its queue, any other is aborted at once.
    void HandleBgException(Exception& E);

    TLcSockState State() const { return FState; }
    int LastError() const { return FLastError; }
    TSocket Handle() const { return FHandle; }
    void* Window() const { return FWindow; }
    unsigned MessageNumber() const { return FMsgNumber; }
    bool AllSent() const { return FAllSent; }

    // What the dispatcher asks of the socket.
    TSocket SelectHandle() const override { return FHandle; }
    std::uintptr_t SelectWindow() const override { return reinterpret_cast<std::uintptr_t>(FWindow); }
    std::uint32_t SelectMessage() const override { return FMsgNumber; }
    bool SelectMultiThreaded() const override { return FMultiThreaded; }
    void SelectEvent(std::uint16_t event, std::uint16_t error) override { WMAsyncSelect(event, error); }
    void SelectBgException() override;

    CL_CLASS_NAME(TLcWinSocket)

protected:
    ~TLcWinSocket() override;

private:
    class TEventFrame;

    void EnterFrame() { ++FDepth; }
    void LeaveFrame(bool checkWrite);
    void ChangeState(TLcSockState newState);
    void ResetValues();
    void EmptyBuffers();
    void EnsureWindow();
    void PostSelf(int eventValue);
    void TakeHandle(TSocket handle);
    void SetOptOrRaise(int level, int name, int value, const char* what);
    void SetLingerOff();
    // Fills the socket address from Addr and Port and makes the handle; the texts name the
    // step in the errors.
    void ResolveAndCreate(const char* resolveContext, const char* resolveOperation, const char* socketOperation);
    void SetApiTimeoutOptions();
    void ReadCountFromSend();
    // Connect's local bind: binds the local address and port and learns the port bound.
    void LocalBind();
    // Connect's options of a datagram client: multicast and broadcast.
    void SetDatagramClientOptions();
    // Builds the report text, logs it when socket logging is on; raises when asked.
    void Report(const std::string& operation, bool raise);
    void RaiseLastError(const std::string& operation);
    void InternalClose(bool abort);
    void ReadPendingIntoCloseData();
    void TryToSend();
    // An event that carries an error: reported (logged only) and, when asked, the socket
    // aborted; false when there is no error.
    bool EventFailed(int error, const char* operation, bool abort);
    void HandleRead();
    void HandleWrite();
    // A close event without error: see "The peer's close" above.
    void HandlePeerClose();
    // The data-sent event; after the peer's close, a close when nothing more waits to be sent.
    // True when the socket closed.
    bool DataSentEvent();
    int PendingCount();
    bool IsUdp() const { return FProto == 1; }

    std::string FProtoName = "tcp";
    int FProtoNumber = 6;
    int FSocketType = 1;
    TSockAddrBuffer FFrom{};
    int FFromLen = 0;
    int FDepth = 0;
    bool FReleaseRequested = false;
    bool FReleasing = false;
    bool FSending = false;
    bool FSentSome = false;
    bool FCanWrite = false;
    bool FAllSent = true;
    bool FCanRead = false;
    bool FPeerClosed = false;  // the peer has ended its sending side
    int FLastError = 0;
    void* FWindow = nullptr;
    unsigned FMsgNumber = 0;
    TSocket FHandle = kInvalidSocket;
    TLcSockState FState = kSockClosed;
    std::string FCloseData;
    std::string FPeerAddr;
    std::string FPeerPort;
    TSocket FPendingHandle = kInvalidSocket;
    TSockAddrBuffer FSockAddr{};
    std::string FLocalAddr = "0.0.0.0";
    std::string FLocalPort = "0";
    int FLocalPortNumber = 0;
    int FMaxSendSize = kLcSockMaxSendSize;
    // The block going out, the position in it, and what waits behind it.
    std::string FSendBlock;
    size_t FSendPos = 0;
    std::string FSendQueue;
    uint64_t FTextsGiven = 0;  // texts given to send (SendStr, BuffStr)
};
