// Unit lcSynAPI: TLcSocket, one TCP socket driven with blocking calls and short waits.
//
// Every call goes through the socket interface of lcSockApi, records the WinSock error code
// and its text, and counts as done when that error is 0, 10035 (would block) or 10036 (in
// progress). Waiting is done only by WaitAccept, ReceiveEx and SendEx, each for at most the
// time it is given, so the caller (a job of a socket's own queue) never holds its worker for
// long.
//
// Listening and connected sockets are switched to non-blocking mode once they are set up:
// accept then never waits for a client that went away between the wait and the call, and a
// send to a peer that does not read answers "would block" instead of holding the thread until
// the peer reads; SendEx then reports that nothing went out, and its caller tries again later.
#pragma once

#include "lectern/lc/lcWinSockBase.h"

#include <memory>
#include <string>

// Unit settings.
constexpr int kLcSynListenBacklog = 128;
constexpr int kLcSynListenBacklogCap = 200;
constexpr int kLcSynMaxRead = 64240;
constexpr int kLcSynMaxSend = 64240;
constexpr int kLcSynBufferSize = 64240;

class TLcSocket : public TObject {
public:
    // Loads the socket library (ELcFatalSockException when it cannot be loaded).
    TLcSocket();
    ~TLcSocket() override;
    TLcSocket(const TLcSocket&) = delete;
    TLcSocket& operator=(const TLcSocket&) = delete;

    // Binds to address (empty: "0.0.0.0") and port and listens; the API time-outs are in
    // seconds (0: none).
    bool Listen(const std::string& address, const std::string& port, int receiveTimeout, int sendTimeout);
    // 1 when a connection is waiting, -1 on error, 0 when none came within ms.
    int WaitAccept(int ms);
    // A new socket holding the accepted handle (taken over by its StartNewSocket); none when
    // no connection was waiting after all, or on error.
    std::unique_ptr<TLcSocket> GetNewSocket();
    bool StartNewSocket();
    bool Connect(const std::string& address, const std::string& port, int receiveTimeout, int sendTimeout);
    // False when closed already.
    bool Close();
    // Reads what is there, waiting up to ms when nothing is: true with the data (or empty);
    // false when the connection failed or the peer closed it.
    bool ReceiveEx(std::string& text, int ms);
    // Sends text from position (the first character is 1) to its end, as much as one call
    // takes; waits up to ms for room when none is. The count sent (0: no room yet), or -1 on
    // failure.
    int SendEx(const std::string& text, size_t position, int ms);

    // Empty when the last error is 0, else "#" + code + ": " + text.
    std::string GetErrorText() const;
    int LastError() const { return FLastError; }
    bool IsOpen() const { return FHandle != kInvalidSocket; }
    std::string LocalAddr() const;
    std::string LocalPort() const;
    std::string PeerAddr() const;
    std::string PeerPort() const;

    CL_CLASS_NAME(TLcSocket)

private:
    void ClearError();
    void SetError(int code, const std::string& text);
    // Records the interface's last error; true when the call counts as done.
    bool Check(int result);
    bool Ok() const { return FLastError == 0 || FLastError == 10035 || FLastError == 10036; }
    bool ResolveAddress(const std::string& address, const std::string& port);
    bool Create();
    void ReadNames(bool peer);
    void SetOptions();
    void SetTimeouts(int receiveTimeout, int sendTimeout);
    void SetLingerOff();

    TSocket FHandle = kInvalidSocket;
    TSocket FAccepted = kInvalidSocket;
    int FLastError = 0;
    std::string FLastErrorText;
    TSockAddrBuffer FAddress{};
    TSockAddrBuffer FLocal{};
    int FLocalLength = 0;
    TSockAddrBuffer FPeer{};
    int FPeerLength = 0;
};
