#include "lectern/lc/lcSynSocket.h"

TLcSocket& TLcSynSocket::Socket()
{
    if (!FSocket) {
        FSocket = std::make_unique<TLcSocket>();
    }
    return *FSocket;
}

bool TLcSynSocket::DoListen()
{
    try {
        return Socket().Listen(Addr(), Port(), FReceiveTimeout, FSendTimeout);
    } catch (const Exception& e) {
        FFailure = e.Message();   // the socket library could not be loaded
        return false;
    }
}

bool TLcSynSocket::DoConnect()
{
    try {
        return Socket().Connect(Addr(), Port(), FReceiveTimeout, FSendTimeout);
    } catch (const Exception& e) {
        FFailure = e.Message();
        return false;
    }
}

int TLcSynSocket::WaitAccept(int ms) { return FSocket ? FSocket->WaitAccept(ms) : -1; }

TLcSocketBaseSyn* TLcSynSocket::GetNewSocketSyn()
{
    std::unique_ptr<TLcSocket> accepted = FSocket ? FSocket->GetNewSocket() : nullptr;
    if (!accepted) {
        return nullptr;
    }
    auto* socket = new TLcSynSocket();
    socket->FSocket = std::move(accepted);
    return socket;
}

bool TLcSynSocket::StartNewSocketSyn() { return FSocket && FSocket->StartNewSocket(); }
bool TLcSynSocket::DoClose() { return FSocket && FSocket->Close(); }
bool TLcSynSocket::ReceiveEx(std::string& Text, int ms) { return FSocket && FSocket->ReceiveEx(Text, ms); }
int TLcSynSocket::SendEx(const std::string& Text, size_t Position, int ms)
{
    return FSocket ? FSocket->SendEx(Text, Position, ms) : -1;
}
std::string TLcSynSocket::SynPeerAddr() { return FSocket ? FSocket->PeerAddr() : std::string(); }
std::string TLcSynSocket::SynPeerPort() { return FSocket ? FSocket->PeerPort() : std::string(); }
std::string TLcSynSocket::SynLocalAddr() { return FSocket ? FSocket->LocalAddr() : std::string(); }
std::string TLcSynSocket::SynLocalPort() { return FSocket ? FSocket->LocalPort() : std::string(); }
std::string TLcSynSocket::SynErrorText()
{
    if (!FFailure.empty()) {
        return FFailure;
    }
    return FSocket ? FSocket->GetErrorText() : std::string();
}
