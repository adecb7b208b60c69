// Unit lcSockBaseSrvProv: the socket server provider's base: its lock and the API time-outs.
#pragma once

#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/lcThrConnProv.h"

#include <cstdint>
#include <string>

class TLcTimeoutsOfAPI;

// What a crypt plug-in does for the providers: it transforms a connection's byte stream both
// ways. The provider calls it as the stream goes: after connecting, for every piece received,
// for every piece to send, before and after disconnecting. A result of 0 means the connection
// is lost (it is closed); 1 asks the socket to look for more data at once; other values go
// on. A reply (or the text before disconnecting) goes to the peer at once, as it is. Every
// call for one connection comes on that connection's thread. As it stands it passes the
// stream through unchanged; the plug-in component (TLcCryptPlugin, lcHttpSrv) derives from it.
class TLcCryptSteps {
public:
    static constexpr int kLost = 0;
    static constexpr int kSync = 1;
    static constexpr int kGoOn = 2;

    virtual ~TLcCryptSteps() = default;
    virtual int AfterConnect(std::uintptr_t ConnectionId, std::string& Reply) { return kGoOn; }
    // Received: the bytes as they came; Plain: what the connection reads; MoreToRead: the
    // plug-in still holds data.
    virtual int DataReceived(std::uintptr_t ConnectionId, const std::string& Received, std::string& Plain,
                             std::string& Reply, bool& MoreToRead)
    {
        Plain = Received;
        MoreToRead = false;
        return kGoOn;
    }
    virtual int DataToSend(std::uintptr_t ConnectionId, const std::string& Plain, std::string& Encoded)
    {
        Encoded = Plain;
        return kGoOn;
    }
    virtual int BeforeDisconnect(std::uintptr_t ConnectionId, std::string& Text) { return kGoOn; }
    virtual void AfterDisconnect(std::uintptr_t ConnectionId) {}
};

class TLcBaseSockServerProvider : public TLcThrServerProvider {
public:
    void Enter() override { FLock.Enter(); }
    void Leave() override { FLock.Leave(); }

    // The connection's time-outs of the API (not owned; none when not given).
    void SetTimeoutsOfAPI(TLcTimeoutsOfAPI* value) { FTimeoutsOfAPI = value; }
    TLcTimeoutsOfAPI* TimeoutsOfAPI() const { return FTimeoutsOfAPI; }
    // The crypt plug-in (not owned; none when not given), copied to every accepted connection.
    void SetCryptPlugin(TLcCryptSteps* value) { FCryptPlugin = value; }
    TLcCryptSteps* CryptPlugin() const { return FCryptPlugin; }

    CL_CLASS_NAME(TLcBaseSockServerProvider)

protected:
    TLcCritSec FLock;
    TLcTimeoutsOfAPI* FTimeoutsOfAPI = nullptr;
    TLcCryptSteps* FCryptPlugin = nullptr;
};
