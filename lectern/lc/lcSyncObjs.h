// The two synchronisation objects that the communication library uses everywhere, so that
// the rest of the library names these and not the class layer's.
//
// TLcCritSec is re-entrant: the thread that holds it may acquire it again and must release
// it as often (the logger flushes its buffers under the lock that Log already holds).
// TLcEvent is an unnamed event: manual reset keeps it signalled until ResetEvent; auto reset
// lets one waiter through per SetEvent and resets itself.
#pragma once

#include "classlib/SyncObjs.h"

class TLcCritSec : public TCriticalSection {
public:
    TLcCritSec() = default;

    CL_CLASS_NAME(TLcCritSec)
};

class TLcEvent : public TSyncEvent {
public:
    TLcEvent(bool manualReset, bool initialState) : TSyncEvent(manualReset, initialState) {}

    CL_CLASS_NAME(TLcEvent)
};
