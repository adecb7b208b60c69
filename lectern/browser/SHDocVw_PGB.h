// The web-browser control as a windowed component (TPGB), and the browser host's loaders.
//
// TPGB hosts the platform's web-browser control through TOleControl: its control data name
// the control's class, its event interface and the dispatch ids of its 34 events, each
// turned into an event of the component with the control's arguments (by-reference
// arguments such as Cancel are written back). Calls into the control go through one cached
// IWebBrowser2; a failing call raises EOleSysError with the control's result code.
//
// The loaders bind optional libraries once per process and remember the answer: a module
// handle (0 when it cannot be loaded) or a function address (1 when the name is missing), so
// that a missing library or function costs one look-up, ever. Libraries are loaded from the
// system folder by full path, never by bare name, so no folder on the search path can put a
// library of its own in their place. The loader logic runs over a small table of system calls
// (TLibraryApi) that tests replace; it is platform-free and also built natively.
#pragma once

#include "classlib/Platform.h"

#include <cstdint>
#include <string>

// ---- loaders (platform-free) ------------------------------------------------------------------

// The functions the loaders find are called with the platform's convention (PLAT_WINAPI).
using TModuleHandle = plat::ModuleHandle;
using TProcAddress = uintptr_t;
// A cached address of 1: the name was looked up and is missing.
constexpr TProcAddress kProcMissing = 1;

// The system calls the loaders make.
struct TLibraryApi {
    // Loads a library of the system folder by its full path, error boxes suppressed; 0 on failure.
    TModuleHandle (*LoadSystemLibrary)(const char* fileName);
    // The handle of a library already loaded into the process (by name), or 0.
    TModuleHandle (*LoadedModule)(const char* fileName);
    // The address of an export, or 0.
    TProcAddress (*GetProc)(TModuleHandle module, const char* name);
};

// Replaces the system calls (tests) and clears every cache; null restores the system's.
void SetLibraryApi(const TLibraryApi* api);

TModuleHandle LoadHHCtrl();
// Calls the HTML Help control's ANSI entry; 0 when the control or the entry is missing.
intptr_t HtmlHelpCall(void* window, const std::string& file, unsigned command, uintptr_t data);
bool LoadUrlMon();
bool GetUrlMonProc(const char* name, TProcAddress& cache);
// The URL-moniker feature controls; E_NOTIMPL (0x80004001) when the function is missing.
int32_t CoInternetSetFeatureEnabled(int feature, uint32_t flags, bool enable);
int32_t CoInternetIsFeatureEnabled(int feature, uint32_t flags);
TModuleHandle LoadShdoclc();

// The 1-based position of the first byte equal to c, 0 when absent.
int CharPos(char c, const std::string& text);

// The component, TPGB, and its window and task-memory helpers: SHDocVw_PGBWin.h (the Windows
// tree only).
