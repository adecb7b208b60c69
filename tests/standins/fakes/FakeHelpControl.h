// The record of the fake HTML Help control (FakeHelpControl.cpp), as the tests read it back
// through its export FakeHelpCalls. C and C++ (the C caller of helpbridge reads it too).
#pragma once

#include <windows.h>

#include <stdint.h>

typedef struct FakeHelpCall {
    HWND window;
    char file[MAX_PATH];
    uint32_t command;
    uintptr_t data;
} FakeHelpCall;

// Hands out the calls recorded so far (the first 16 are kept) and answers their number.
typedef int (*FakeHelpCallsProc)(const FakeHelpCall** calls);

// What the fake's entry point answers to every call.
enum { kFakeHelpResult = 0x5150 };
