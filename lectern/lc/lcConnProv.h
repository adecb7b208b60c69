// Unit lcConnProv: the abstract connection providers.
//
// A provider does the network work of one connection component (lcConn): it owns the socket,
// reports what happens through callback slots that the component binds to its own
// operations, and offers the component its thread context (job queue, main-thread calls).
// The chain is
//   TLcConnectionProvider -> TLcServerProvider -> TLcBasicServerProvider
//     -> TLcThrServerProvider (lcThrConnProv) -> the socket and HTTP wire providers.
//
// Every trigger calls its slot when one is bound and does nothing otherwise; the component
// binds and clears the slots (TLcConnection::SetTriggers / ClearTriggers). Triggers are
// called on the connection's thread: a pool worker for a multi-threaded connection, the main
// thread otherwise.
//
// Life: construction fires TriggerOpening (nothing is bound yet, so nothing happens);
// destruction fires TriggerReadyToRelease, which tells the component that it may free
// itself. A provider is made with new and ends through Release (or delete by its owner);
// TLcBasicServerProvider::Release frees it at once.
#pragma once

#include "classlib/Events.h"
#include "classlib/SysUtils.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>

class TLcThread;
class TLcConnectionProvider;

using TLcProviderNotify = TEvent<>;
using TLcProviderErrorText = TEvent<const std::string&>;
using TLcProviderException = TEvent<const Exception&>;
// The new-provider slot answers through its argument (none when it made nothing).
using TLcProviderNew = TEvent<TLcConnectionProvider*&>;

// Connection states of TLcBasicServerProvider (the socket provider sets all but kLcStateClosed).
constexpr uint8_t kLcStateClosed = 0;
constexpr uint8_t kLcStateListening = 1;
constexpr uint8_t kLcStateConnecting = 2;
constexpr uint8_t kLcStateConnected = 3;
constexpr uint8_t kLcStateDisconnecting = 4;

// Runs a TLcJob on the calling thread (Run with no queue, then Kill when it answers true);
// false for an object that is not a TLcJob.
bool LcRunJobAtOnce(TObject* job);

class TLcConnectionProvider : public TObject {
public:
    TLcConnectionProvider();
    // Fires TriggerReadyToRelease; a failure there is logged as "TLcConnectionProvider.Destroy".
    ~TLcConnectionProvider() override;
    TLcConnectionProvider(const TLcConnectionProvider&) = delete;
    TLcConnectionProvider& operator=(const TLcConnectionProvider&) = delete;

    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool value) { FMultiThreaded = value; }
    const std::string& Addr() const { return FAddr; }
    void SetAddr(const std::string& addr) { FAddr = addr; }
    const std::string& Port() const { return FPort; }
    void SetPort(const std::string& port) { FPort = port; }

    // The byte counts of the last write and read, read by the component after each data-out
    // and data-in trigger.
    int64_t LastWrite() const { return FLastWrite; }
    int64_t LastRead() const { return FLastRead; }

    // The three state flags; read and written only between Enter and Leave.
    bool Closing() const { return FClosing; }
    void SetClosing(bool value) { FClosing = value; }
    bool Silent() const { return FSilent; }
    void SetSilent(bool value) { FSilent = value; }
    bool Lost() const { return FLost; }
    void SetLost(bool value) { FLost = value; }

    // ---- callback slots, bound by the component ----
    TLcProviderErrorText OnError;
    TLcProviderNotify OnAfterEvents;
    TLcProviderNotify OnOpening;
    TLcProviderNotify OnReadyToRelease;
    TLcProviderNotify OnConnecting;
    TLcProviderNotify OnConnect;
    TLcProviderNotify OnDisconnecting;
    TLcProviderNotify OnDisconnect;
    TLcProviderNotify OnDataSent;
    TLcProviderNotify OnDataOut;
    TLcProviderNotify OnDataIn;
    TLcProviderNotify OnLastWrite;
    TLcProviderNotify OnDataReceived;
    // A read that failed (a datagram receive with a negative count); the component binds an
    // empty operation.
    TLcProviderNotify OnDataLost;
    TLcProviderException OnException;

    virtual void Enter() = 0;
    virtual void Leave() = 0;

    // ---- triggers ----
    virtual void TriggerError(const std::string& text) { Fire(OnError, text); }
    virtual void TriggerAfterEvents() { Fire(OnAfterEvents); }
    virtual void TriggerOpening() { Fire(OnOpening); }
    virtual void TriggerReadyToRelease() { Fire(OnReadyToRelease); }
    virtual void TriggerConnecting() { Fire(OnConnecting); }
    virtual void TriggerConnect() { Fire(OnConnect); }
    virtual void TriggerDisconnecting() { Fire(OnDisconnecting); }
    virtual void TriggerDisconnect() { Fire(OnDisconnect); }
    virtual void TriggerDataSent() { Fire(OnDataSent); }
    virtual void TriggerDataOut() { Fire(OnDataOut); }
    virtual void TriggerDataIn() { Fire(OnDataIn); }
    virtual void TriggerLastWrite() { Fire(OnLastWrite); }
    virtual void TriggerDataReceived() { Fire(OnDataReceived); }
    virtual void TriggerDataLost() { Fire(OnDataLost); }
    virtual void TriggerException(const Exception& e) { Fire(OnException, e); }

    // ---- done by the derived classes ----
    // The job queue of the connection, or none.
    virtual TLcThread* GetThread() = 0;
    // Ends the provider's life (now or later, on its own thread).
    virtual void Release() = 0;
    virtual void Disconnect() = 0;
    // Closes at once.
    virtual void InternalDisconnect() = 0;
    virtual void Check() = 0;
    virtual uint8_t GetState() = 0;
    virtual bool PostJob(TObject* job, bool highPriority) = 0;
    virtual bool InMainThread() = 0;
    virtual bool InsideThread() = 0;
    virtual bool Sync(const TEvent<>& method) = 0;
    virtual void WriteBody(std::string text, bool sendNow) = 0;
    virtual std::string Read() = 0;
    virtual std::string PeerAddr() = 0;
    virtual std::string PeerPort() = 0;
    virtual std::string LocalAddr() = 0;
    virtual std::string LocalPort() = 0;

    CL_CLASS_NAME(TLcConnectionProvider)

protected:
    template <class... Args>
    static void Fire(const TEvent<Args...>& slot, std::type_identity_t<Args>... args)
    {
        if (slot) {
            slot(args...);
        }
    }

    int64_t FLastWrite = 0;
    int64_t FLastRead = 0;

private:
    bool FMultiThreaded = false;
    std::string FAddr;
    std::string FPort;
    bool FClosing = false;
    bool FSilent = true;
    bool FLost = false;
};

class TLcServerProvider : public TLcConnectionProvider {
public:
    TLcProviderNew OnNewProvider;
    // The client-limit check: it raises to refuse the client.
    TLcProviderNotify OnClientConnecting;
    TLcProviderNotify OnClientConnect;
    TLcProviderNotify OnClientDisconnect;
    TLcProviderNotify OnListenStart;
    TLcProviderNotify OnListenStop;
    TLcProviderException OnListenError;
    TLcProviderNotify OnListenLost;

    // The provider of a new client connection, or none.
    virtual TLcConnectionProvider* TriggerNewProvider();
    virtual void TriggerClientConnecting() { Fire(OnClientConnecting); }
    virtual void TriggerClientConnect() { Fire(OnClientConnect); }
    virtual void TriggerClientDisconnect() { Fire(OnClientDisconnect); }
    virtual void TriggerListenStart() { Fire(OnListenStart); }
    virtual void TriggerListenStop() { Fire(OnListenStop); }
    virtual void TriggerListenError(const Exception& e) { Fire(OnListenError, e); }
    virtual void TriggerListenLost() { Fire(OnListenLost); }

    // Starts listening; Restarting tells a restart from a first start.
    virtual void Listen(bool restarting) = 0;

    CL_CLASS_NAME(TLcServerProvider)
};

class TLcBasicServerProvider : public TLcServerProvider {
public:
    uint8_t GetState() override { return FState.load(); }
    std::string PeerAddr() override { return FPeerAddr; }
    std::string PeerPort() override { return FPeerPort; }
    std::string LocalAddr() override { return FLocalAddr; }
    std::string LocalPort() override { return FLocalPort; }
    // Frees the provider.
    void Release() override { delete this; }
    void Check() override {}

    CL_CLASS_NAME(TLcBasicServerProvider)

protected:
    // One of the kLcState values. Atomic: a listener that stops waits for it from the main
    // thread while the provider's worker changes it.
    std::atomic<uint8_t> FState{kLcStateClosed};
    std::string FPeerAddr = "0.0.0.0";
    std::string FPeerPort;
    std::string FLocalAddr = "0.0.0.0";
    std::string FLocalPort;
};
