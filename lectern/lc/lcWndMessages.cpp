#include "lcWndMessages.h"

#include "classlib/SysUtils.h"
#include "lectern/lc/lcLog.h"

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace {

struct TEntry {
    TLcWndMessageHandler Handler;
    std::uint32_t First;
    std::uint32_t Last;
};

// Plain static storage: no constructor or destructor runs for it, so a thread that still
// dispatches while the program ends never meets a destroyed table.
std::array<TEntry, kMaxWndMessageHandlers> gEntries;
std::atomic<int> gCount{0};
std::mutex gAddLock;

}  // namespace

void RegisterWndMessageHandler(TLcWndMessageHandler handler, std::uint32_t first, std::uint32_t last)
{
    std::lock_guard<std::mutex> lock(gAddLock);
    const int count = gCount.load(std::memory_order_relaxed);
    if (count >= kMaxWndMessageHandlers) {
        throw Exception("Too many window message handlers.");
    }
    gEntries[count] = TEntry{handler, first, last};
    gCount.store(count + 1, std::memory_order_release);
}

void ClearWndMessageHandlers()
{
    std::lock_guard<std::mutex> lock(gAddLock);
    gCount.store(0, std::memory_order_release);
}

bool DispatchWndMessage(std::uintptr_t wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                        std::intptr_t& result) noexcept
{
    const int count = gCount.load(std::memory_order_acquire);
    for (int i = 0; i < count; ++i) {
        const TEntry& entry = gEntries[i];
        if (entry.First <= msg && msg <= entry.Last) {
            try {
                result = entry.Handler(wnd, msg, wParam, lParam);
            } catch (...) {
                result = 0;
                try {
                    LogCurrentException("WndProc_MAIN(Wnd=" + std::to_string(wnd) + ", " +
                                            "Msg=" + std::to_string(msg) + ", " + "wParam=" + std::to_string(wParam) +
                                            ", " + "lParam=" + std::to_string(lParam) + ")",
                                        "ERROR");
                } catch (...) {
                }
            }
            return true;
        }
    }
    return false;
}
