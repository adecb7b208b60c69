// helpbridge: see HelpBridge.h.
//
// Three process-wide values, zero when the library is loaded: the control's module, its entry
// point and the failure latch. Several threads may make the first call at once; the values are
// atomic, and a repeated first load is harmless because loading a module that is already loaded
// gives the same handle.
#include "HelpBridge.h"

#include <atomic>
#include <string>

namespace {

using THtmlHelpProc = HWND(WINAPI*)(HWND, const char*, uint32_t, uintptr_t);

// The class of the HTML Help control and the ordinal of its ANSI entry point.
constexpr char kControlServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr WORD kHtmlHelpOrdinal = 14;
// The registry value is read into this many bytes at most; a longer value is not used.
constexpr DWORD kServerPathBytes = 260;
constexpr char kControlFileName[] = "hhctrl.ocx";

std::atomic<HMODULE> gControl{nullptr};
std::atomic<THtmlHelpProc> gHtmlHelp{nullptr};
std::atomic<bool> gFailed{false};

// The control's path as registered for its class, or empty text.
std::string RegisteredServerPath()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kControlServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    // One byte more than the value may fill, so the text always ends in the buffer.
    char buffer[kServerPathBytes + 1] = {};
    DWORD bytes = kServerPathBytes;
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > kServerPathBytes) {
        return {};
    }
    buffer[bytes] = '\0';
    return buffer;
}

// The control from the system folder, by its full path (never through the search path).
HMODULE LoadFromSystemFolder()
{
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    const std::string path = std::string(folder, length) + "\\" + kControlFileName;
    return LoadLibraryA(path.c_str());
}

}  // namespace

extern "C" HWND WINAPI HelpBridge(HWND window, const char* fileName, uint32_t command, uintptr_t data)
{
    if (gFailed.load()) {
        return nullptr;
    }
    HMODULE control = gControl.load();
    if (control == nullptr) {
        std::string registered;
        try {
            registered = RegisteredServerPath();
        } catch (...) {   // no memory for the path: the system folder is tried
        }
        if (!registered.empty()) {
            control = LoadLibraryA(registered.c_str());
        }
        if (control == nullptr) {
            control = LoadFromSystemFolder();
        }
        if (control == nullptr) {
            gFailed.store(true);
            return nullptr;
        }
        gControl.store(control);
    }
    THtmlHelpProc htmlHelp = gHtmlHelp.load();
    if (htmlHelp == nullptr) {
        htmlHelp = reinterpret_cast<THtmlHelpProc>(
            reinterpret_cast<void*>(GetProcAddress(control, MAKEINTRESOURCEA(kHtmlHelpOrdinal))));
        if (htmlHelp == nullptr) {
            gFailed.store(true);
            return nullptr;
        }
        gHtmlHelp.store(htmlHelp);
    }
    return htmlHelp(window, fileName, command, data);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
