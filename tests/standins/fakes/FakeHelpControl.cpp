// A fake HTML Help control for the tests: its entry point (ordinal 14, no name, as the real
// control exports it) records every call and answers a value the tests recognise;
// FakeHelpCalls hands the record to the test. Built without the entry point (FAKE_HELP_NO_ENTRY)
// it stands for a control that lacks it.
#include "FakeHelpControl.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace {
constexpr int kMaxCalls = 16;
FakeHelpCall gCalls[kMaxCalls];
volatile LONG gCallCount = 0;
}  // namespace

#ifndef FAKE_HELP_NO_ENTRY
extern "C" __declspec(dllexport) HWND WINAPI FakeHtmlHelp(HWND window, const char* file, uint32_t command,
                                                          uintptr_t data)
{
    // Calls may come from several threads at once: each takes its own slot.
    const int slot = static_cast<int>(InterlockedIncrement(&gCallCount)) - 1;
    if (slot < kMaxCalls) {
        FakeHelpCall& call = gCalls[slot];
        call.window = window;
        lstrcpynA(call.file, file != nullptr ? file : "(null)", MAX_PATH);
        call.command = command;
        call.data = data;
    }
    return reinterpret_cast<HWND>(kFakeHelpResult);
}
#endif

// The calls recorded so far (at most kMaxCalls are kept) and their number.
extern "C" __declspec(dllexport) int FakeHelpCalls(const FakeHelpCall** calls)
{
    *calls = gCalls;
    return static_cast<int>(gCallCount);
}
