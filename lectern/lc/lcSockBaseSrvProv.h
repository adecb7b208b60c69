// Unit lcSockBaseSrvProv: the socket server provider's base: its lock and the API time-outs.
#pragma once

#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/lcThrConnProv.h"

class TLcTimeoutsOfAPI;

class TLcBaseSockServerProvider : public TLcThrServerProvider {
public:
    void Enter() override { FLock.Enter(); }
    void Leave() override { FLock.Leave(); }

    // The connection's time-outs of the API (not owned; none when not given).
    void SetTimeoutsOfAPI(TLcTimeoutsOfAPI* value) { FTimeoutsOfAPI = value; }
    TLcTimeoutsOfAPI* TimeoutsOfAPI() const { return FTimeoutsOfAPI; }

    CL_CLASS_NAME(TLcBaseSockServerProvider)

protected:
    TLcCritSec FLock;
    TLcTimeoutsOfAPI* FTimeoutsOfAPI = nullptr;
};
