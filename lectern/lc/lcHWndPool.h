// Unit lcHWndPool: the hidden windows that receive socket events, and the thread that runs
// the message loop of the threaded ones.
//
// Every window is of the class "LcMainHWNDWindowClass", whose one window procedure
// (WndProc_MAIN) hands each message to the handler registered for its number (lcWndMessages)
// and answers by default when none is. Five windows belong to the thread that makes the pool
// (the main thread) and are served by the program's message loop; five more belong to the
// window-message thread, started on the first request for a threaded window. Windows are
// handed out round-robin per thread.
//
// The message thread makes its windows, signals the ready event (also when it could make
// none, so that nobody waits for it forever), runs its loop until a quit message, destroys its
// windows and signals the ended event. What it uses lives in a state it shares with the pool:
// when the pool is destroyed and the thread does not end within the wait, the pool lets go of
// that state and the class, and the thread frees them when it ends. Win32 only.
#pragma once

#include "classlib/SysUtils.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/lcWndMessages.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

constexpr const char* kLcHWndClassName = "LcMainHWNDWindowClass";
constexpr int kMainHWndCount = 5;

struct TLcHWNDPoolSettings {
    std::string ClassName = kLcHWndClassName;
    int ThreadWindows = 5;          // windows of the message thread
    std::uint32_t EndWaitSeconds = 10;  // how long destruction waits for the message thread
};

class TLcHWNDPoolUnit : public TObject {
public:
    // Registers the class (or takes it as it is when already known) and makes the main-thread
    // windows, on the calling thread.
    explicit TLcHWNDPoolUnit(const TLcHWNDPoolSettings& settings = TLcHWNDPoolSettings());
    // Ends the message thread (waiting EndWaitSeconds while the caller's messages flow),
    // destroys the windows, unregisters the class and empties the handler table. Never raises:
    // an exception is logged as "TLcHWNDPoolUnit.Destroy" under "ERROR".
    ~TLcHWNDPoolUnit() override;
    TLcHWNDPoolUnit(const TLcHWNDPoolUnit&) = delete;
    TLcHWNDPoolUnit& operator=(const TLcHWNDPoolUnit&) = delete;

    // A window for a new socket: of the message thread when threaded (raises Exception
    // "Windows Message Thread terminated." when that thread has none), else of the main
    // thread (nullptr when it could not be made).
    HWND GetHWnd(bool threaded);
    // Waits up to seconds for the message thread to end while the caller's messages are
    // dispatched; true when it has ended or never started.
    bool WaitForHWndThreadEnd(std::uint32_t seconds);

    bool ClassReady() const { return FClassReady; }
    // The system's number of the message thread; 0 before it started.
    std::uint32_t MessageThreadId() const;

    CL_CLASS_NAME(TLcHWNDPoolUnit)

    struct TThreadShared;

private:
    TLcHWNDPoolSettings FSettings;
    TLcCritSec FLock;
    HINSTANCE FInstance = nullptr;
    bool FClassReady = false;
    HWND FMainWindows[kMainHWndCount] = {};
    int FMainIndex = 0;
    std::shared_ptr<TThreadShared> FThread;
    std::size_t FThreadIndex = 0;
};

// The window procedure of the class.
LRESULT CALLBACK WndProc_MAIN(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;

// The unit's pool: GetHWnd of the pool made by InitializeLcHWndPool.
HWND GetHWndFromPool(bool threaded);

// ---- unit start and end ---------------------------------------------------------------------

// Makes the unit's pool on the calling thread (the main thread).
void InitializeLcHWndPool();
void FinalizeLcHWndPool();
