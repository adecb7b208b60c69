// Unit lcSockBaseSyn: the blocking socket's state machine.
//
// TLcSocketBaseSyn offers the socket interface of lcSockBase to the server provider but does
// its work with blocking calls and short waits, as jobs of a queue of its own
// (TLcSockSynThread, made by the first listen, connect or start). The owner's calls only queue
// work: Listen, Connect and StartNewSocket post "listen", "connect" or "start accepted"; Close
// and Release post "close" and "release"; Sync posts "start reading"; SendStr appends to the
// data to send and posts "start sending". Results go back to the owner as report codes through
// the owner's queue (or at once, or synchronised with the main thread, when it has none):
//
//   0 listening, 1 connected, 2 closed, 3 data out, 4 data received, 5 session available,
//   6 listen error, 7 connect error, 8 listener lost, 9 connection lost
//
// which DoMessage turns into the socket events; the four failures become a change of state to
// closed with the values 9 (listen error), 11 (connect error), 10 (listener lost) and 12
// (connection lost). A socket counts as opened (1) from the listen, connect or start on, so
// that a failure of the first step is reported too.
//
// Loops. Accept, read and send loops re-post themselves instead of blocking: each turn waits
// at most 100 ms (accept) or 20 ms (read, send), so a queued close or release runs soon and a
// worker is never held by a peer that sends or reads nothing. Reading stops after each
// delivery until the owner asks again with Sync; while a send is under way reading waits.
//
// Threads and locks. Only the socket's own queue touches the system socket and the loop state.
// The data handed between the two sides (received data and counts, data to send, the accepted
// sockets, the address texts) is guarded by the socket's lock, which is never held while the
// owner is called or a call waits for the main thread.
//
// Life. Release ends the queue; the queue's end closes the system socket and frees the object.
// A socket that never got a queue is freed by Release at once.
#pragma once

#include "lectern/lc/lcSockBase.h"
#include "lectern/lc/lcSyncObjs.h"

#include <cstdint>
#include <deque>
#include <string>

// Unit settings.
constexpr int kLcSynAcceptWaitMs = 100;
constexpr int kLcSynReceiveWaitMs = 20;
constexpr int kLcSynSendWaitMs = 20;
constexpr int kLcSynRelistenDelayMs = 100;
constexpr int kLcSynReconnectDelayMs = 20;

// The internal messages of a blocking socket's queue (shared objects, one per code).
enum : int {
    kSynMsgListen = 0,
    kSynMsgAcceptLoop = 1,
    kSynMsgStartAccepted = 2,
    kSynMsgConnect = 3,
    kSynMsgStartReading = 4,
    kSynMsgReadLoop = 5,
    kSynMsgStartSending = 6,
    kSynMsgSendLoop = 7,
    kSynMsgClose = 8,
    kSynMsgRelease = 9,
};

// The report codes of the queue to the owner.
enum : int {
    kSynRepListening = 0,
    kSynRepConnected = 1,
    kSynRepClosed = 2,
    kSynRepDataOut = 3,
    kSynRepDataReceived = 4,
    kSynRepSessionAvailable = 5,
    kSynRepListenError = 6,
    kSynRepConnectError = 7,
    kSynRepListenerLost = 8,
    kSynRepConnectionLost = 9,
};

class TLcSockSynThread;

// A shared internal message.
class TBaseSockMessage : public TLcBaseMessage {
public:
    explicit TBaseSockMessage(int code) : TLcBaseMessage("TBaseSockMessage"), FCode(code) {}
    int Code() const { return FCode; }

    CL_CLASS_NAME(TBaseSockMessage)

private:
    int FCode;
};

class TLcSocketBaseSyn : public TLcSocketBase {
public:
    TLcSocketBaseSyn();

    // ---- the owner's side ----
    void Sync() override;
    void Listen() override;
    TLcSocketBase* GetNewSocket() override;
    void StartNewSocket() override;
    void Connect() override;
    void Close() override;
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

    TLcSockState State() const { return FState; }

    CL_CLASS_NAME(TLcSocketBaseSyn)

protected:
    // Raises Exception "Destroy directly!?" while the queue exists (logged; see lcLog).
    ~TLcSocketBaseSyn() override;

    // ---- the blocking primitives, run on the socket's own queue ----
    virtual bool DoListen() = 0;
    // 1 a connection waits, 0 none within ms, -1 error.
    virtual int WaitAccept(int ms) = 0;
    // A new socket of the own class around the accepted connection; none when there was none.
    virtual TLcSocketBaseSyn* GetNewSocketSyn() = 0;
    virtual bool StartNewSocketSyn() = 0;
    virtual bool DoConnect() = 0;
    virtual bool DoClose() = 0;
    virtual bool ReceiveEx(std::string& Text, int ms) = 0;
    virtual int SendEx(const std::string& Text, size_t Position, int ms) = 0;
    virtual std::string SynPeerAddr() = 0;
    virtual std::string SynPeerPort() = 0;
    virtual std::string SynLocalAddr() = 0;
    virtual std::string SynLocalPort() = 0;
    virtual std::string SynErrorText() = 0;

private:
    friend class TLcSockSynThread;

    // Runs one internal message on the socket's queue; true when the queue is to end.
    bool ExecMessage(int code);
    void PostInternal(int code);
    void EnsureThread();
    // Hands a report code to the owner; never called with the lock held.
    void Report(int code);
    void SyncReport();
    void StoreError();
    void StoreAddresses(bool withPeer);
    void ReadLoop();
    void SendLoop();
    // Takes everything waiting to be sent as the current block (under the lock).
    void TakeSendBlock();
    void CloseSteps();
    // The queue ends: flags off, the system socket closed, the queue forgotten.
    void ThreadEnded();

    TLcSockSynThread* FSynThread = nullptr;
    TLcCritSec FLock;
    // Shared with the owner, under FLock.
    int64_t FReceivedCount = 0;
    int64_t FSentCount = 0;
    int64_t FQueuedCount = 0;
    std::deque<TLcSocketBaseSyn*> FAccepted;
    bool FReadNotified = false;
    bool FSendStarted = false;
    std::string FReceived;
    std::string FToSend;
    std::string FErrorText;
    std::string FLocalAddr;
    std::string FLocalPort;
    std::string FPeerAddr;
    std::string FPeerPort;
    // The owner's side only.
    TLcSockState FState = kSockClosed;
    int FSyncCode = 0;
    bool FReleased = false;
    // The queue's side only.
    bool FReading = false;
    bool FSending = false;
    bool FListening = false;
    bool FConnected = false;
    bool FOpen = false;
    std::string FSendBlock;
    size_t FSendPos = 0;
};

// ---- unit start and end ----
// Makes the shared internal messages (the first blocking socket makes them when this did not).
void InitializeLcSockBaseSyn();
// Frees them; the worker pool must be closed first.
void FinalizeLcSockBaseSyn();
