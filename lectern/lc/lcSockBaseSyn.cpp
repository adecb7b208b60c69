#include "lectern/lc/lcSockBaseSyn.h"

#include "classlib/Platform.h"
#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcWinSocket.h"

#include <array>
#include <memory>
#include <mutex>

namespace {

constexpr int kSynMessageCount = 10;

std::array<std::unique_ptr<TBaseSockMessage>, kSynMessageCount> gMessages;
std::mutex gMessagesLock;

void MakeMessages()
{
    std::lock_guard<std::mutex> guard(gMessagesLock);
    for (int code = 0; code < kSynMessageCount; ++code) {
        if (!gMessages[code]) {
            gMessages[code] = std::make_unique<TBaseSockMessage>(code);
        }
    }
}

// The shared message of a code; made on first use when the unit was not started explicitly.
TBaseSockMessage* SynMessage(int code)
{
    if (code < 0 || code >= kSynMessageCount) {
        throw Exception("Unknown ID " + std::to_string(code));
    }
    if (!gMessages[code]) {
        MakeMessages();
    }
    return gMessages[code].get();
}

}  // namespace

// The queue of one blocking socket. Its end (release, or the pool closing) frees the socket.
class TLcSockSynThread : public TLcThread {
public:
    explicit TLcSockSynThread(TLcSocketBaseSyn* socket) : FSocket(socket) {}

protected:
    ~TLcSockSynThread() override
    {
        TLcSocketBaseSyn* socket = FSocket;
        FSocket = nullptr;
        if (socket == nullptr) {
            return;
        }
        try {
            socket->ThreadEnded();
            delete socket;
        } catch (...) {
            LogCurrentException("TLcSockSynThread.Destroy", "ERROR");
        }
    }

    bool RunJob() override
    {
        TObject* job = CurrentJob();
        if (auto* message = dynamic_cast<TBaseSockMessage*>(job)) {
            try {
                return FSocket != nullptr && FSocket->ExecMessage(message->Code());
            } catch (...) {
                LogCurrentException("TLcSockSynThread.RunJob Sock.Exec_Message(" + std::to_string(message->Code()) + ")",
                                    "ERROR");
                // The owner still holds the socket: it is told the socket is lost, and the
                // queue lives on until the owner releases it.
                if (FSocket != nullptr) {
                    FSocket->FReading = FSocket->FSending = false;
                    const bool listener = FSocket->FListening;
                    FSocket->FConnected = FSocket->FListening = false;
                    FSocket->Report(listener ? kSynRepListenerLost : kSynRepConnectionLost);
                }
                return false;
            }
        }
        try {
            return TLcThread::RunJob();
        } catch (...) {
            LogCurrentException(std::string("TLcSockSynThread.RunJob(") + (job ? job->ClassName() : "nil") + ")",
                                "ERROR");
            return false;
        }
    }

private:
    TLcSocketBaseSyn* FSocket;
};

// ---- unit start and end ---------------------------------------------------------------------

void InitializeLcSockBaseSyn() { MakeMessages(); }

void FinalizeLcSockBaseSyn()
{
    std::lock_guard<std::mutex> guard(gMessagesLock);
    for (auto& message : gMessages) {
        message.reset();
    }
}

// ---- life -----------------------------------------------------------------------------------

TLcSocketBaseSyn::TLcSocketBaseSyn() = default;

TLcSocketBaseSyn::~TLcSocketBaseSyn()
{
    if (FSynThread != nullptr) {
        // Only the queue's end frees a socket that has a queue; a destructor does not raise.
        Log("TLcSocketBaseSyn.Destroy: Destroy directly!?", "ERROR");
        return;
    }
    FReading = FSending = FListening = FConnected = false;
    std::deque<TLcSocketBaseSyn*> accepted;
    {
        TLockGuard locked(FLock);
        accepted.swap(FAccepted);
    }
    for (TLcSocketBaseSyn* socket : accepted) {
        try {
            socket->SetSilent(true);
            socket->Release();
        } catch (...) {
            LogCurrentException("TLcSocketBaseSyn.Destroy", "ERROR");
        }
    }
}

void TLcSocketBaseSyn::EnsureThread()
{
    if (FSynThread == nullptr) {
        FSynThread = new TLcSockSynThread(this);
    }
}

void TLcSocketBaseSyn::PostInternal(int code)
{
    TBaseSockMessage* message = SynMessage(code);
    if (FSynThread == nullptr) {
        // No queue yet: only closing and releasing can come here, and both are done at once.
        if (code == kSynMsgRelease) {
            delete this;
        } else if (code == kSynMsgClose) {
            CloseSteps();
        }
        return;
    }
    TLcThread::PostJob(FSynThread, message);
}

// ---- the owner's side -----------------------------------------------------------------------

void TLcSocketBaseSyn::Listen()
{
    EnsureThread();
    FState = kSockOpened;   // under way: a failure is reported as a change from here
    PostInternal(kSynMsgListen);
}

void TLcSocketBaseSyn::Connect()
{
    EnsureThread();
    FState = kSockOpened;   // under way: a failure is reported as a change from here
    PostInternal(kSynMsgConnect);
}

void TLcSocketBaseSyn::StartNewSocket()
{
    EnsureThread();
    FState = kSockOpened;   // under way: a failure is reported as a change from here
    PostInternal(kSynMsgStartAccepted);
}

void TLcSocketBaseSyn::Close() { PostInternal(kSynMsgClose); }

void TLcSocketBaseSyn::Release()
{
    if (FReleased) {
        return;
    }
    FReleased = true;
    PostInternal(kSynMsgRelease);
}

TLcSocketBase* TLcSocketBaseSyn::GetNewSocket()
{
    TLockGuard locked(FLock);
    if (FAccepted.empty()) {
        return nullptr;
    }
    TLcSocketBaseSyn* socket = FAccepted.front();
    FAccepted.pop_front();
    return socket;
}

void TLcSocketBaseSyn::Sync()
{
    {
        TLockGuard locked(FLock);
        if (FReadNotified) {
            return;
        }
        FReadNotified = true;
    }
    PostInternal(kSynMsgStartReading);
}

int TLcSocketBaseSyn::ReceiveStr(std::string& Text)
{
    TLockGuard locked(FLock);
    Text.swap(FReceived);
    FReceived.clear();
    return static_cast<int>(Text.size());
}

int TLcSocketBaseSyn::SendStr(std::string Text)
{
    const int length = static_cast<int>(Text.size());
    bool start = false;
    {
        TLockGuard locked(FLock);
        FQueuedCount += length;
        if (FToSend.empty()) {
            FToSend = std::move(Text);
        } else {
            FToSend += Text;
        }
        if (!FToSend.empty() && !FSendStarted) {
            FSendStarted = true;
            start = true;
        }
    }
    if (start) {
        PostInternal(kSynMsgStartSending);
    }
    return length;
}

int TLcSocketBaseSyn::BuffStr(const std::string& Text)
{
    TLockGuard locked(FLock);
    FToSend += Text;
    FQueuedCount += static_cast<int64_t>(Text.size());
    return static_cast<int>(Text.size());
}

std::string TLcSocketBaseSyn::GetPeerAddr()
{
    TLockGuard locked(FLock);
    return FPeerAddr;
}

std::string TLcSocketBaseSyn::GetPeerPort()
{
    TLockGuard locked(FLock);
    return FPeerPort;
}

std::string TLcSocketBaseSyn::GetLocalAddr()
{
    TLockGuard locked(FLock);
    return FLocalAddr;
}

std::string TLcSocketBaseSyn::GetLocalPort()
{
    TLockGuard locked(FLock);
    return FLocalPort;
}

std::string TLcSocketBaseSyn::GetLastErrorText()
{
    TLockGuard locked(FLock);
    return FErrorText;
}

void TLcSocketBaseSyn::DoMessage(int Code, int)
{
    switch (Code) {
    case kSynRepListening:
        FState = kSockListening;
        TriggerChangeState(FState);
        break;
    case kSynRepConnected:
        FState = kSockConnected;
        TriggerChangeState(FState);
        TriggerDataSent();
        break;
    case kSynRepClosed:
        if (FState != kSockClosed) {
            FState = kSockClosed;
            TriggerChangeState(FState);
        }
        break;
    case kSynRepDataOut: {
        if (FState != kSockConnected) {
            break;
        }
        int64_t count = 0;
        int64_t left = 0;
        {
            TLockGuard locked(FLock);
            count = FSentCount;
            FSentCount = 0;
            FQueuedCount -= count;
            left = FQueuedCount;
        }
        TriggerDataOut(static_cast<int>(count));
        if (left == 0) {
            TriggerDataSent();
        }
        break;
    }
    case kSynRepDataReceived: {
        if (FState != kSockConnected) {
            break;
        }
        int64_t count = 0;
        {
            TLockGuard locked(FLock);
            count = FReceivedCount;
            FReceivedCount = 0;
        }
        TriggerDataIn(static_cast<int>(count));
        TriggerDataReceived();
        break;
    }
    case kSynRepSessionAvailable: TriggerSessionAvailable(); break;
    case kSynRepListenError:
    case kSynRepConnectError:
    case kSynRepListenerLost:
    case kSynRepConnectionLost:
        if (FState != kSockClosed) {
            static const TLcSockState kStates[] = {kSockListenError, kSockConnectError, kSockListenerLost, kSockConnectionLost};
            FState = kSockClosed;
            TriggerChangeState(kStates[Code - kSynRepListenError]);
        }
        break;
    default: break;
    }
}

// ---- reports ----------------------------------------------------------------------------------

void TLcSocketBaseSyn::Report(int code)
{
    if (PostToSocketThread(code, 0)) {
        return;   // through the owner's queue (or dropped while silenced)
    }
    if (TLcThread::InMainThread() || FSynThread == nullptr) {
        DoMessage(code, 0);
        return;
    }
    FSyncCode = code;
    FSynThread->Sync(TThreadMethod(this, &TLcSocketBaseSyn::SyncReport));
}

void TLcSocketBaseSyn::SyncReport() { DoMessage(FSyncCode, 0); }

void TLcSocketBaseSyn::StoreError()
{
    const std::string text = SynErrorText();
    TLockGuard locked(FLock);
    FErrorText = text;
}

void TLcSocketBaseSyn::StoreAddresses(bool withPeer)
{
    const std::string localAddr = SynLocalAddr();
    const std::string localPort = SynLocalPort();
    const std::string peerAddr = withPeer ? SynPeerAddr() : std::string();
    const std::string peerPort = withPeer ? SynPeerPort() : std::string();
    TLockGuard locked(FLock);
    FLocalAddr = localAddr;
    FLocalPort = localPort;
    FPeerAddr = peerAddr;
    FPeerPort = peerPort;
}

// ---- the queue's side -------------------------------------------------------------------------

bool TLcSocketBaseSyn::ExecMessage(int code)
{
    switch (code) {
    case kSynMsgListen:
        if (FListening) {
            break;
        }
        if (RestartRequested()) {
            SetRestartRequested(false);
            plat::SleepMs(kLcSynRelistenDelayMs);
        }
        if (DoListen()) {
            FListening = FOpen = true;
            StoreAddresses(false);
            Report(kSynRepListening);
            PostInternal(kSynMsgAcceptLoop);
        } else {
            StoreError();
            Report(kSynRepListenError);
        }
        break;
    case kSynMsgAcceptLoop: {
        if (!FListening) {
            break;
        }
        const int waiting = WaitAccept(kLcSynAcceptWaitMs);
        if (waiting < 0) {
            FListening = false;
            StoreError();
            Report(kSynRepListenerLost);
            break;
        }
        if (waiting > 0) {
            if (TLcSocketBaseSyn* socket = GetNewSocketSyn()) {
                {
                    TLockGuard locked(FLock);
                    FAccepted.push_back(socket);
                }
                Report(kSynRepSessionAvailable);
            }
        }
        PostInternal(kSynMsgAcceptLoop);
        break;
    }
    case kSynMsgStartAccepted:
    case kSynMsgConnect: {
        if (FConnected) {
            break;
        }
        if (code == kSynMsgConnect && RestartRequested()) {
            SetRestartRequested(false);
            plat::SleepMs(kLcSynReconnectDelayMs);
        }
        if (code == kSynMsgStartAccepted ? StartNewSocketSyn() : DoConnect()) {
            FOpen = FConnected = true;
            FSendBlock.clear();
            FSendPos = 0;
            StoreAddresses(true);
            Report(kSynRepConnected);
        } else {
            StoreError();
            Report(kSynRepConnectError);
        }
        break;
    }
    case kSynMsgStartReading:
        if (!FReading) {
            FReading = true;
            ReadLoop();
        }
        break;
    case kSynMsgReadLoop: ReadLoop(); break;
    case kSynMsgStartSending:
        if (!FSending) {
            FSending = true;
            SendLoop();
        }
        break;
    case kSynMsgSendLoop: SendLoop(); break;
    case kSynMsgClose: CloseSteps(); break;
    case kSynMsgRelease: CloseSteps(); return true;
    default: throw Exception("Unknown ID " + std::to_string(code));
    }
    return false;
}

void TLcSocketBaseSyn::ReadLoop()
{
    if (!FReading) {
        return;
    }
    if (FSending) {
        PostInternal(kSynMsgReadLoop);
        return;
    }
    std::string data;
    if (!ReceiveEx(data, kLcSynReceiveWaitMs)) {
        FReading = FConnected = false;
        StoreError();
        Report(kSynRepConnectionLost);
        return;
    }
    if (data.empty()) {
        PostInternal(kSynMsgReadLoop);
        return;
    }
    FReading = false;
    {
        TLockGuard locked(FLock);
        FReceived += data;
        FReceivedCount += static_cast<int64_t>(data.size());
        FReadNotified = false;
    }
    Report(kSynRepDataReceived);
}

void TLcSocketBaseSyn::TakeSendBlock()
{
    TLockGuard locked(FLock);
    FSendBlock.swap(FToSend);
    FToSend.clear();
    if (FSendBlock.empty()) {
        FSendStarted = false;
    }
    FSendPos = FSendBlock.empty() ? 0 : 1;
}

void TLcSocketBaseSyn::SendLoop()
{
    if (!FSending) {
        return;
    }
    if (FSendBlock.empty()) {
        TakeSendBlock();
    }
    if (FSendBlock.empty()) {
        FSending = false;
        return;
    }
    const int sent = SendEx(FSendBlock, FSendPos, kLcSynSendWaitMs);
    if (sent < 0) {
        FSending = FConnected = false;
        StoreError();
        Report(kSynRepConnectionLost);
        return;
    }
    FSendPos += static_cast<size_t>(sent);
    if (FSendPos > FSendBlock.size()) {
        FSendBlock.clear();
        TakeSendBlock();
    }
    if (!FSendBlock.empty()) {
        PostInternal(kSynMsgSendLoop);
    } else {
        FSending = false;
    }
    if (sent > 0) {
        {
            TLockGuard locked(FLock);
            FSentCount += sent;
        }
        Report(kSynRepDataOut);
    }
}

void TLcSocketBaseSyn::CloseSteps()
{
    if (FOpen) {
        FOpen = false;
        DoClose();
    }
    FReading = FSending = false;
    if (FConnected || FListening) {
        FConnected = FListening = false;
        Report(kSynRepClosed);
    }
}

void TLcSocketBaseSyn::ThreadEnded()
{
    FReading = FSending = FListening = FConnected = false;
    if (FOpen) {
        FOpen = false;
        DoClose();
    }
    FSynThread = nullptr;
}
