// A scripted stand-in for WinSock, the hidden windows and the socket registry.
//
// Each handle is a TFake record the test scripts: how many bytes the "network" takes before it
// would block (SendRoom), how many one call takes at most (PerCall, to script partial sends),
// what waits to be read (Incoming), and which call fails with which code (FailOn). Messages a
// socket posts to its window land in Posted; Pump delivers them, as the dispatcher would, to
// the socket registered for the handle. Every call is recorded in Calls.
#pragma once

#include "lectern/lc/lcWinSocket.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <new>
#include <mutex>
#include <string>
#include <vector>

class TFakeSocketApi : public TLcSocketApi {
public:
    struct TFake {
        size_t SendRoom = SIZE_MAX;
        int PerCall = 1 << 30;
        std::string Sent;
        std::string Incoming;
        bool Closed = false;
        bool Linger = false;
        std::vector<TSocket> Backlog;  // handles accept hands out
        // A peer that goes on sending: after each read Incoming is topped up to StreamWindow
        // bytes while StreamLeft lasts.
        size_t StreamWindow = 0;
        size_t StreamLeft = 0;
        size_t ReadBytes = 0;  // bytes handed out by Recv
    };
    struct TPosted {
        unsigned Message;
        TSocket Handle;
        long LParam;
    };

    TFakeSocketApi() { FPrevious = SetLcSocketApi(this); }
    ~TFakeSocketApi() override { std::lock_guard<std::recursive_mutex> guard(M); SetLcSocketApi(FPrevious); }

    // Scripting.
    std::map<std::string, int> FailOn;  // call name -> error code
    int SetVarSinResult = 0;
    std::map<TSocket, TFake> Fakes;
    std::deque<TPosted> Posted;
    std::map<TLcAsyncSelectTarget*, TSocket> Registry;
    std::vector<std::string> Calls;
    int SocketsMade = 0;
    int SocketsClosed = 0;
    TSocket LastSocket = kInvalidSocket;  // the last handle Socket made (a listening socket)

    std::recursive_mutex M;  // workers of multi-threaded sockets call in too
    TFake& Fake(TSocket h)
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        return Fakes[h];
    }
    TSocket NewHandle()
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        TSocket h = FNext++;
        Fakes[h];
        ++SocketsMade;
        return h;
    }

    // Delivers posted messages (at most `limit`) to the registered sockets; answers how many.
    size_t RegistryCount()
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        return Registry.size();
    }
    int Pump(int limit = 10000)
    {
        int n = 0;
        for (;;) {
            TPosted p;
            {
                std::lock_guard<std::recursive_mutex> guard(M);
                if (Posted.empty() || n >= limit)
                    return n;
                p = Posted.front();
                Posted.pop_front();
            }
            Deliver(p.Handle, p.LParam);
            ++n;
        }
    }
    // A network event for a handle, as WSAAsyncSelect would post it.
    void Deliver(TSocket h, long lParam)
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        for (auto& [socket, handle] : Registry)
            if (handle == h) {
                socket->SelectEvent(static_cast<uint16_t>(lParam & 0xFFFF), static_cast<uint16_t>(lParam >> 16));
                return;
            }
    }
    void Event(TSocket h, int event, int error = 0) { Deliver(h, event | (error << 16)); }

    // ---- TLcSocketApi ----
    void Load() override { std::lock_guard<std::recursive_mutex> guard(M); Calls.push_back("Load"); }
    std::string ErrorText(int code) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        switch (code) {
        case 10022: return "Invalid argument";
        case 10048: return "Address or Port already in use";
        case 10054: return "Connection reset by peer";
        case 11001: return "Host not found";
        default: return "Not a WinSock error";
        }
    }
    int LastError() override { std::lock_guard<std::recursive_mutex> guard(M); return FLastError; }
    void SetLastError(int code) override { std::lock_guard<std::recursive_mutex> guard(M); FLastError = code; }
    int SetVarSin(TSockAddrBuffer& addr, const std::string& host, const std::string& port, int, int) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        addr = TSockAddrBuffer{};
        addr.Addr.sa_family = 2;
        Calls.push_back("SetVarSin " + host + ":" + port);
        return SetVarSinResult;
    }
    uint32_t ResolveHost(const std::string&) override { std::lock_guard<std::recursive_mutex> guard(M); return 0x0100007F; }
    int AddrSize(const TSockAddrBuffer&) override { std::lock_guard<std::recursive_mutex> guard(M); return 16; }
    std::string AddrText(const TSockAddrBuffer&) override { std::lock_guard<std::recursive_mutex> guard(M); return "127.0.0.1"; }
    int AddrPort(const TSockAddrBuffer&) override { std::lock_guard<std::recursive_mutex> guard(M); return 8000; }

    TSocket Socket(int, int, int) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        if (Fail("socket"))
            return kInvalidSocket;
        LastSocket = NewHandle();
        return LastSocket;
    }
    int SetOpt(TSocket s, int level, int name, const void* value, int) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        Calls.push_back("SetOpt " + std::to_string(level) + "/" + std::to_string(name));
        if (name == kSoLinger)
            Fake(s).Linger = static_cast<const TLinger*>(value)->l_onoff != 0;
        return Fail("SetOpt " + std::to_string(name)) ? kSocketError : 0;
    }
    int GetOpt(TSocket, int, int, void* value, int* length) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        *static_cast<int*>(value) = 8192;
        *length = 4;
        return 0;
    }
    int Bind(TSocket, const TSockAddrBuffer&, int) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        Calls.push_back("Bind");
        return Fail("bind") ? kSocketError : 0;
    }
    int Listen(TSocket, int) override { std::lock_guard<std::recursive_mutex> guard(M); return Fail("listen") ? kSocketError : 0; }
    TSocket Accept(TSocket s, TSockAddrBuffer*, int*) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        auto& backlog = Fake(s).Backlog;
        if (backlog.empty()) {
            FLastError = kWsaEWouldBlock;
            return kInvalidSocket;
        }
        TSocket h = backlog.front();
        backlog.erase(backlog.begin());
        return h;
    }
    int Connect(TSocket, const TSockAddrBuffer&, int) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        FLastError = kWsaEWouldBlock;
        return kSocketError;
    }
    int Send(TSocket s, const char* data, int length) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        TFake& f = Fake(s);
        if (Fail("send"))
            return kSocketError;
        size_t n = std::min(std::min(static_cast<size_t>(length), f.SendRoom), static_cast<size_t>(f.PerCall));
        if (n == 0) {
            FLastError = kWsaEWouldBlock;
            return kSocketError;
        }
        f.Sent.append(data, n);
        f.SendRoom -= n;
        ++SendCalls;
        return static_cast<int>(n);
    }
    int Recv(TSocket s, char* data, int length) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        TFake& f = Fake(s);
        if (RecvRaises)
            throw std::bad_alloc();
        size_t n = std::min<size_t>(static_cast<size_t>(length), f.Incoming.size());
        f.Incoming.copy(data, n);
        f.Incoming.erase(0, n);
        f.ReadBytes += n;
        if (f.Incoming.size() < f.StreamWindow && f.StreamLeft > 0) {
            const size_t more = std::min(f.StreamWindow - f.Incoming.size(), f.StreamLeft);
            f.Incoming.append(more, 'x');
            f.StreamLeft -= more;
        }
        return static_cast<int>(n);
    }
    int SendTo(TSocket s, const char* data, int length, const TSockAddrBuffer&, int) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        return Send(s, data, length);
    }
    int RecvFrom(TSocket s, char* data, int length, TSockAddrBuffer*, int*) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        return Recv(s, data, length);
    }
    int PendingCount(TSocket s, unsigned long* count) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        *count = static_cast<unsigned long>(Fake(s).Incoming.size());
        return 0;
    }
    int Shutdown(TSocket, int) override { std::lock_guard<std::recursive_mutex> guard(M); return 0; }
    int CloseSocket(TSocket s) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        Fake(s).Closed = true;
        ++SocketsClosed;
        return 0;
    }
    int GetSockName(TSocket, TSockAddrBuffer* addr, int*) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        *addr = TSockAddrBuffer{};
        return 0;
    }
    int GetPeerName(TSocket, TSockAddrBuffer* addr, int*) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        *addr = TSockAddrBuffer{};
        return 0;
    }
    int AsyncSelect(TSocket, void*, unsigned, long events) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        Calls.push_back("AsyncSelect " + std::to_string(events));
        return Fail("AsyncSelect") ? kSocketError : 0;
    }
    void* GetWindow(bool threaded) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        if (FailOn.count("window"))
            return nullptr;
        return threaded ? &FThreadWindow : &FMainWindow;
    }
    void PostToWindow(void*, unsigned message, TSocket s, long lParam) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        Posted.push_back({message, s, lParam});
    }
    unsigned NextMessage() override { std::lock_guard<std::recursive_mutex> guard(M); return FMessage++; }
    void RegistryAdd(TLcAsyncSelectTarget* socket, TSocket s) override
    {
        std::lock_guard<std::recursive_mutex> guard(M);
        if (FailOn.count("RegistryAdd"))
            throw Exception("Socket registry not initialised.");
        Registry[socket] = s;
    }
    bool RegistryRemove(TLcAsyncSelectTarget* socket) override { std::lock_guard<std::recursive_mutex> guard(M); return Registry.erase(socket) == 1; }

    int SendCalls = 0;
    bool RecvRaises = false;  // Recv raises std::bad_alloc

private:
    bool Fail(const std::string& call)
    {
        auto it = FailOn.find(call);
        if (it == FailOn.end())
            return false;
        FLastError = it->second;
        return true;
    }

    TLcSocketApi* FPrevious = nullptr;
    TSocket FNext = 100;
    int FLastError = 0;
    unsigned FMessage = 2048;
    int FMainWindow = 0;
    int FThreadWindow = 0;
};
