// The record of the fake HTML Help control (FakeHelpControl.cpp), as the tests read it back
// through its export FakeHelpCalls.
#pragma once

#include <windows.h>

#include <cstdint>

struct FakeHelpCall {
    HWND window;
    char file[MAX_PATH];
    uint32_t command;
    uintptr_t data;
};

// Hands out the calls recorded so far (the first 16 are kept) and answers their number.
using FakeHelpCallsProc = int (*)(const FakeHelpCall** calls);

// What the fake's entry point answers to every call.
constexpr uintptr_t kFakeHelpResult = 0x5150;
