// The socket units started as the program starts them (binding, hidden windows, registry,
// dispatcher, socket interface) for the lifetime of one object, with a message pump for the
// calling (main) thread. For the loopback tests and benchmarks. Win32 only.
#pragma once

#include "lectern/lc/lcSockApiWin.h"
#include "lectern/lc/lcWinSocket.h"

#include <functional>
#include <string>

class TWinSockTestApi {
public:
    TWinSockTestApi();
    ~TWinSockTestApi();
    TWinSockTestApi(const TWinSockTestApi&) = delete;
    TWinSockTestApi& operator=(const TWinSockTestApi&) = delete;

    size_t RegistryCount();
    // Dispatches the calling thread's messages until done() holds or timeoutMs pass; answers
    // done().
    bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 10000);
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
