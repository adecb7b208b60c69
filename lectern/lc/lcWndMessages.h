// The handler table behind the hidden windows' one window procedure: ranges of message
// numbers, each with the handler that answers them, and the dispatch that no exception leaves.
//
// Platform-free: a window is a pointer-wide number here, and the Win32 window procedure
// (lcHWndPool) converts its arguments. Ranges are added while the units start, normally
// before any window receives a message; an entry is written whole before the count that makes
// it visible is raised, so a thread that dispatches while one is added sees it whole or not
// at all. The table holds kMaxWndMessageHandlers entries.
#pragma once

#include <cstdint>

using TLcWndMessageHandler = std::intptr_t (*)(std::uintptr_t wnd, std::uint32_t msg, std::uintptr_t wParam,
                                               std::intptr_t lParam);

constexpr int kMaxWndMessageHandlers = 16;

// Appends a range first..last (inclusive); raises Exception when the table is full.
void RegisterWndMessageHandler(TLcWndMessageHandler handler, std::uint32_t first, std::uint32_t last);
// Empties the table; only while no window of the class can receive messages.
void ClearWndMessageHandlers();

// The first entry whose range holds msg answers it: true, with its result in result. None
// holds it: false (the window procedure then answers by default). An exception from the
// handler is caught and logged under "ERROR" as
//   "WndProc_MAIN(Wnd=<wnd>, Msg=<msg>, wParam=<wParam>, lParam=<lParam>)"
// (numbers in decimal); the result is then 0.
bool DispatchWndMessage(std::uintptr_t wnd, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                        std::intptr_t& result) noexcept;
