#include "lcAsyncSelect.h"

#include "lectern/lc/lcLog.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWndMessages.h"

#include <mutex>
#include <string>

namespace {

std::mutex gNumberLock;
std::uint32_t gNextNumber = kFirstSocketMessage;

// Holds the registry lock from a successful SocketRegistryLock until released or destroyed.
class TRegistryHold {
public:
    TRegistryHold() : FHeld(SocketRegistryLock()) {}
    ~TRegistryHold() { Release(); }
    TRegistryHold(const TRegistryHold&) = delete;
    TRegistryHold& operator=(const TRegistryHold&) = delete;

    bool Held() const { return FHeld; }
    void Release()
    {
        if (FHeld) {
            FHeld = false;
            SocketRegistryUnlock();
        }
    }

private:
    bool FHeld;
};

void HandleEvent(TLcAsyncSelectTarget& socket, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
{
    const auto bits = static_cast<std::uint32_t>(lParam);
    try {
        socket.SelectEvent(static_cast<std::uint16_t>(bits & 0xFFFFu), static_cast<std::uint16_t>(bits >> 16));
    } catch (...) {
        try {
            LogCurrentException("WM_ASYNCSELECT(msg=" + std::to_string(msg) + ", wparam=" + std::to_string(wParam) +
                                    ", lparam=" + std::to_string(lParam) + ")",
                                "ERROR");
        } catch (...) {
        }
        try {
            socket.SelectBgException();
        } catch (...) {
            LogCurrentException("HandleBgException", "ERROR");
        }
    }
}

}  // namespace

std::uint32_t NextSocketMessage()
{
    std::lock_guard<std::mutex> lock(gNumberLock);
    const std::uint32_t number = gNextNumber;
    gNextNumber = number >= kLastSocketMessage ? kFirstSocketMessage : number + 1;
    return number;
}

std::intptr_t AsyncSelectDispatch(std::uintptr_t wnd, std::uint32_t msg, std::uintptr_t wParam,
                                  std::intptr_t lParam)
{
    const TSocket handle = wParam;
    if (handle == 0 || handle == kInvalidSocket) {
        return -1;
    }
    try {
        TRegistryHold hold;
        if (!hold.Held()) {
            return 0;
        }
        TLcAsyncSelectTarget* socket = SocketRegistryFind(handle);
        if (socket == nullptr || socket->SelectHandle() != handle || socket->SelectWindow() != wnd ||
            socket->SelectMessage() != msg) {
            return 0;  // a stale message: the socket is gone or its handle was reused
        }
        if (!socket->SelectMultiThreaded()) {
            hold.Release();
        }
        HandleEvent(*socket, msg, wParam, lParam);
    } catch (...) {
        LogCurrentException("AsyncSelectDispatch", "ERROR");
    }
    return 0;
}

void InitializeLcAsyncSelect()
{
    {
        std::lock_guard<std::mutex> lock(gNumberLock);
        gNextNumber = kFirstSocketMessage;
    }
    RegisterWndMessageHandler(AsyncSelectDispatch, kFirstSocketMessage, kLastSocketMessage);
}
