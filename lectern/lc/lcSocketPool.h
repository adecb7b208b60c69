// Unit lcSocketPool: the registry that pairs each open asynchronous socket with its socket
// handle, so that a window message naming a handle can be traced back to a live object.
//
// A socket is registered when its handle is made and removed before the handle is closed;
// the dispatcher of socket messages (lcAsyncSelect) looks sockets up under the registry lock,
// so a socket removed under that lock receives no further event. Platform-free.
#pragma once

#include "lectern/lc/lcWinSockDefs.h"

// What the dispatcher needs to know of a socket and to hand it; the asynchronous socket
// implements it. A window is a pointer-wide number (the window handle).
class TLcAsyncSelectTarget {
public:
    virtual ~TLcAsyncSelectTarget() = default;

    virtual TSocket SelectHandle() const = 0;          // the socket's current handle
    virtual std::uintptr_t SelectWindow() const = 0;   // the window its events go to
    virtual std::uint32_t SelectMessage() const = 0;   // its message number
    virtual bool SelectMultiThreaded() const = 0;      // events are queued as jobs
    // One WinSock event: its code (low word of lParam) and error (high word).
    virtual void SelectEvent(std::uint16_t event, std::uint16_t error) = 0;
    // Event handling raised; called inside the handler that caught it.
    virtual void SelectBgException() = 0;
};

// Inserts the pair under the registry lock.
void SocketRegistryAdd(TLcAsyncSelectTarget* socket, TSocket handle);
// Under the registry lock: removes the socket and answers true when it was registered, else
// answers false. The socket's handle is closed only on true, so a second close does nothing.
bool SocketRegistryRemove(TLcAsyncSelectTarget* socket);
// Takes the registry lock; false (and nothing taken) once the registry is gone.
bool SocketRegistryLock();
void SocketRegistryUnlock();
// The socket registered for a handle, or nullptr; the caller holds the lock.
TLcAsyncSelectTarget* SocketRegistryFind(TSocket handle);
// The number of registered sockets.
int SocketRegistryCount();

// ---- unit start and end ---------------------------------------------------------------------

void InitializeLcSocketPool();
// Frees the registry; later calls find nothing and SocketRegistryLock answers false.
void FinalizeLcSocketPool();
