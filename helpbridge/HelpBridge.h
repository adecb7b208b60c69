// helpbridge: loads the platform's HTML Help control on first use and forwards calls to its
// ANSI entry point.
//
// HelpBridge is exported under its plain name with the platform's standard calling convention.
// The first call finds the control through the registration of its class (the path the registry
// gives, as it stands), else loads it from the system folder by its full path; when neither
// works, or the control lacks the entry point, a latch is set and every later call answers 0
// without trying again. The control is never unloaded while helpbridge is loaded.
#pragma once

#include <windows.h>

#include <cstdint>

#if defined(HELPBRIDGE_BUILD_DLL)
#define HELPBRIDGE_API __declspec(dllexport)
#else
#define HELPBRIDGE_API __declspec(dllimport)
#endif

extern "C" {

// Calls the control's HTML Help function with the four arguments in this order and answers its
// result, or 0 when the control cannot be used.
HELPBRIDGE_API HWND WINAPI HelpBridge(HWND window, const char* fileName, uint32_t command,
                                      uintptr_t data);
}
