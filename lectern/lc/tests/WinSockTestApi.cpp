#include "WinSockTestApi.h"

#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWinSock.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <thread>

TWinSockTestApi::TWinSockTestApi()
{
    InitializeLcWinSock();
    InitializeLcHWndPool();
    InitializeLcSocketPool();
    InitializeLcAsyncSelect();
    InitializeLcWinSocket();
}

TWinSockTestApi::~TWinSockTestApi()
{
    FinalizeLcWinSocket();
    FinalizeLcSocketPool();
    FinalizeLcHWndPool();
    FinalizeLcWinSock();
}

size_t TWinSockTestApi::RegistryCount() { return static_cast<size_t>(SocketRegistryCount()); }

bool TWinSockTestApi::PumpUntil(const std::function<bool()>& done, unsigned timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        MSG msg;
        bool any = false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (done())
                return true;
        }
        if (!any)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

TTestClient::TTestClient()
{
    LoadWinSock();
    FHandle = WinSockApi().socket(2, 1, 6);
}

TTestClient::~TTestClient() { Close(); }

bool TTestClient::Connect(int port)
{
    TSockAddrBuffer addr{};
    addr.In4.sin_family = 2;
    addr.In4.sin_port = WinSockApi().htons(static_cast<std::uint16_t>(port));
    addr.In4.sin_addr.S_addr = WinSockApi().inet_addr("127.0.0.1");
    return WinSockApi().connect(FHandle, &addr.Addr, 16) == 0;
}

int TTestClient::Send(const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        int n = WinSockApi().send(FHandle, data.data() + done, static_cast<int>(data.size() - done), 0);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

std::string TTestClient::Recv(int max)
{
    std::string buffer(static_cast<size_t>(max), '\0');
    int n = WinSockApi().recv(FHandle, buffer.data(), max, 0);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
}

void TTestClient::Reset()
{
    if (FHandle == kInvalidSocket)
        return;
    TLinger linger{1, 0};
    WinSockApi().setsockopt(FHandle, kSolSocket, kSoLinger, reinterpret_cast<const char*>(&linger), sizeof(linger));
    Close();
}

void TTestClient::Close()
{
    if (FHandle == kInvalidSocket)
        return;
    WinSockApi().closesocket(FHandle);
    FHandle = kInvalidSocket;
}
