// The HTTP server provider: the socket server provider's data triggers go to the wire.
#include "lectern/lc/lcSocketHttpSrvProv.h"

#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcSockBase.h"

void TLcSocketHttpServerProvider::SetMaxRequestSize(int32_t size)
{
    FMaxRequestSize = size;
    FWire.SetMaxRequestSize(size);
}

void TLcSocketHttpServerProvider::SetMaxHeaderSize(int32_t size)
{
    FMaxHeaderSize = size;
    FWire.SetMaxHeaderSize(size);
}

void TLcSocketHttpServerProvider::TriggerConnect()
{
    TLcSocketServerProvider::TriggerConnect();
    AskForData();
}

void TLcSocketHttpServerProvider::TriggerDisconnect()
{
    TLcSocketServerProvider::TriggerDisconnect();
    FWire.Disconnected();
}

void TLcSocketHttpServerProvider::TriggerAfterEvents()
{
    if (FCloseAfterEvents) {
        // Closing may free this provider: nothing may touch it afterwards.
        FCloseAfterEvents = false;
        Disconnect();
        return;
    }
    TLcSocketServerProvider::TriggerAfterEvents();
}

void TLcSocketHttpServerProvider::AskForData()
{
    if (TLcSocketBase* socket = Socket()) {
        socket->Sync();
    }
}

void TLcSocketHttpServerProvider::HandlerFailed(const Exception& e)
{
    try {
        TriggerException(e);
    } catch (...) {
        LogCurrentException("TLcSocketHttpServerProvider.HandlerFailed", "ERROR");
    }
    if (ClientThread()) {
        Disconnect();  // posted to the connection's queue
    } else {
        FCloseAfterEvents = true;
    }
}
