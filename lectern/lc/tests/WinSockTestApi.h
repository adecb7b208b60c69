// The WinSock interface with a window of the test's own: one message-only window on the
// thread that first asks for it, message numbers from 2048 on, and a registry that the
// window procedure consults as the dispatcher does. For the loopback tests and benchmarks.
// Win32 only.
#pragma once

#include "lectern/lc/lcSockApiWin.h"
#include "lectern/lc/lcWinSocket.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>

class TWinSockTestApi : public TLcWinSockApi {
public:
    TWinSockTestApi();
    ~TWinSockTestApi() override;

    void* GetWindow(bool threaded) override;
    unsigned NextMessage() override;
    void RegistryAdd(TLcSocketBase* socket, TSocket s) override;
    bool RegistryRemove(TLcSocketBase* socket) override;

    size_t RegistryCount();
    // Dispatches the calling thread's messages until done() holds or timeoutMs pass; answers
    // done().
    bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 10000);

    // Called by the window procedure.
    void Dispatch(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);

private:
    TLcSocketApi* FPrevious;
    void* FWindow = nullptr;
    unsigned FNext = 2048;
    std::mutex FLock;
    std::map<TLcSocketBase*, TSocket> FRegistry;
};

// A blocking client socket of the test, through the binding's table.
class TTestClient {
public:
    TTestClient();
    ~TTestClient();
    bool Connect(int port);
    int Send(const std::string& data);
    // Reads up to `max` bytes; empty at end or on error.
    std::string Recv(int max);
    // Closes with linger 0: the peer sees a reset.
    void Reset();
    void Close();
    TSocket Handle() const { return FHandle; }

private:
    TSocket FHandle = kInvalidSocket;
};
