// The per-socket message numbers and the dispatcher of socket messages, between the hidden
// windows (lcHWndPool) and the asynchronous socket.
//
// Every socket handle gets its own window message number from 2048 to 32767; after 32767
// numbering starts again at 2048. WSAAsyncSelect posts the socket's events with that number,
// the handle as wParam and event and error code in lParam; AsyncSelectDispatch, registered
// for the whole range, hands each event to the registered socket it belongs to and drops a
// stale one (socket gone, or handle, window or number no longer the socket's). Platform-free.
#pragma once

#include <cstdint>

constexpr std::uint32_t kFirstSocketMessage = 0x800;  // 2048
constexpr std::uint32_t kLastSocketMessage = 0x7FFF;  // 32767

// The next message number for a new socket handle.
std::uint32_t NextSocketMessage();

// The handler of the socket message range. A handle of 0 or all ones answers -1 and does
// nothing; otherwise the answer is 0. A multi-threaded socket's event is handled while the
// registry lock is held (it only queues a job), any other socket's after the lock is released.
// An exception from the handling is logged under "ERROR" as
// "WM_ASYNCSELECT(msg=<msg>, wparam=<wParam>, lparam=<lParam>)", then the socket's background-
// exception handling runs (an exception from that is logged as "HandleBgException").
std::intptr_t AsyncSelectDispatch(std::uintptr_t wnd, std::uint32_t msg, std::uintptr_t wParam,
                                  std::intptr_t lParam);

// ---- unit start and end ---------------------------------------------------------------------

// Counter to 2048, the dispatcher registered for 2048..32767. After the window pool and the
// socket registry.
void InitializeLcAsyncSelect();
