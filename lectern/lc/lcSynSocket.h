// Unit lcSynSocket: the blocking socket of the HTTP server's Blocking setting.
//
// TLcSynSocket binds the state machine of lcSockBaseSyn to one TLcSocket (lcSynAPI), made on
// the first listen or connect; an accepted connection arrives as a new TLcSynSocket around the
// accepted TLcSocket.
#pragma once

#include "lectern/lc/lcSockBaseSyn.h"
#include "lectern/lc/lcSynAPI.h"

#include <memory>

class TLcSynSocket : public TLcSocketBaseSyn {
public:
    TLcSynSocket() = default;

    TLcSocketBase* Create() const override { return new TLcSynSocket(); }

    CL_CLASS_NAME(TLcSynSocket)

protected:
    ~TLcSynSocket() override = default;

    bool DoListen() override;
    int WaitAccept(int ms) override;
    TLcSocketBaseSyn* GetNewSocketSyn() override;
    bool StartNewSocketSyn() override;
    bool DoConnect() override;
    bool DoClose() override;
    bool ReceiveEx(std::string& Text, int ms) override;
    int SendEx(const std::string& Text, size_t Position, int ms) override;
    std::string SynPeerAddr() override;
    std::string SynPeerPort() override;
    std::string SynLocalAddr() override;
    std::string SynLocalPort() override;
    std::string SynErrorText() override;

private:
    TLcSocket& Socket();

    std::unique_ptr<TLcSocket> FSocket;
    std::string FFailure;   // a failure before the socket existed
};
