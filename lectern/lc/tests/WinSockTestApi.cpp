#include "WinSockTestApi.h"

#include "lectern/lc/lcWinSock.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

TWinSockTestApi* gTestApi = nullptr;

LRESULT CALLBACK TestWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= 2048 && msg <= 32767 && gTestApi) {
        gTestApi->Dispatch(wnd, msg, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

}  // namespace

TWinSockTestApi::TWinSockTestApi()
{
    gTestApi = this;
    FPrevious = SetLcSocketApi(this);
}

TWinSockTestApi::~TWinSockTestApi()
{
    SetLcSocketApi(FPrevious);
    if (FWindow)
        DestroyWindow(static_cast<HWND>(FWindow));
    gTestApi = nullptr;
}

void* TWinSockTestApi::GetWindow(bool)
{
    if (!FWindow) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "LcSocketTestWindow";
        RegisterClassA(&wc);
        FWindow = CreateWindowExA(0, "LcSocketTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
    }
    return FWindow;
}

unsigned TWinSockTestApi::NextMessage()
{
    std::lock_guard<std::mutex> lock(FLock);
    unsigned n = FNext;
    FNext = FNext == 32767 ? 2048 : FNext + 1;
    return n;
}

void TWinSockTestApi::RegistryAdd(TLcSocketBase* socket, TSocket s)
{
    std::lock_guard<std::mutex> lock(FLock);
    FRegistry[socket] = s;
}

bool TWinSockTestApi::RegistryRemove(TLcSocketBase* socket)
{
    std::lock_guard<std::mutex> lock(FLock);
    return FRegistry.erase(socket) == 1;
}

size_t TWinSockTestApi::RegistryCount()
{
    std::lock_guard<std::mutex> lock(FLock);
    return FRegistry.size();
}

void TWinSockTestApi::Dispatch(void* window, unsigned message, uintptr_t wParam, intptr_t lParam)
{
    if (wParam == 0 || wParam == kInvalidSocket)
        return;
    TLcWinSocket* socket = nullptr;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (auto& [object, handle] : FRegistry)
            if (handle == wParam) {
                auto* candidate = static_cast<TLcWinSocket*>(object);
                if (candidate->Handle() == wParam && candidate->Window() == window &&
                    candidate->MessageNumber() == message)
                    socket = candidate;
                break;
            }
    }
    if (!socket)
        return;
    try {
        socket->WMAsyncSelect(static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
    } catch (Exception& e) {
        socket->HandleBgException(e);
    }
}

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
