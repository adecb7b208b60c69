// The socket layer under the page server's units: its start and end (see uPageHttp.h). Built in
// the Windows tree only, where the socket layer's binding and hidden windows exist.
#include "lectern/app/uPageHttp.h"

#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcSockApiWin.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWinSock.h"

void InitializeServerUnits()
{
    InitializeLcWinSock();
    InitializeLcHWndPool();
    InitializeLcSocketPool();
    InitializeLcAsyncSelect();
    InitializeLcWinSocket();
    InitializePageHttp();
}

void FinalizeServerUnits()
{
    // The window-message thread ends first: it hands the sockets' events to their queues, and
    // a socket still registered (its server gave up waiting for it) must not reach the worker
    // pool while the pool ends or after it has gone.
    FinalizeLcHWndPool();
    FinalizePageHttp();
    FinalizeLcWinSocket();
    FinalizeLcSocketPool();
    FinalizeLcWinSock();
}
