/* helpbridge: loads the platform's HTML Help control on first use and forwards calls to its
 * ANSI entry point.
 *
 * HelpBridge is exported under its plain name with the platform's standard calling convention.
 * The first call finds the control through the registration of its class (the path the registry
 * gives, as it stands), else loads it from the system folder by its full path; when neither
 * works, or the control lacks the entry point, a latch is set and every later call answers 0
 * without trying again. The control is never unloaded while helpbridge is loaded.
 *
 * What a caller needs: this is a C header (C99 or later, or C++), for any compiler of 32-bit
 * Windows programs; it includes <windows.h> and <stdint.h>. Link helpbridge's import library
 * (libhelpbridge.dll.a, made from helpbridge.def: it binds the standard convention's name
 * HelpBridge@16 to the plain export), or look "HelpBridge" up with GetProcAddress, and ship
 * helpbridge.dll beside the program. helpbridge links its run-time statically: it needs no
 * other DLL of ours. */
#pragma once

#include <windows.h>

#include <stdint.h>

#if defined(HELPBRIDGE_BUILD_DLL)
#define HELPBRIDGE_API __declspec(dllexport)
#else
#define HELPBRIDGE_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Calls the control's HTML Help function with the four arguments in this order and answers its
 * result, or 0 when the control cannot be used. */
HELPBRIDGE_API HWND WINAPI HelpBridge(HWND window, const char* fileName, uint32_t command,
                                      uintptr_t data);

#ifdef __cplusplus
}
#endif
