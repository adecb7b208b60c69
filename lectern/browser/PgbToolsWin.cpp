// The system version test, the proxy, the click sound and the engine's version (see PgbTools.h and
// PgbToolsWin.h). Built in the Windows tree only.
#include "PgbToolsWin.h"

#include <windows.h>
#include <wininet.h>
#include <urlmon.h>

#include <vector>

bool IsWinXPSP2OrLater()
{
    using VerifyProc = BOOL(WINAPI*)(OSVERSIONINFOEXA*, DWORD, DWORDLONG);
    using MaskProc = ULONGLONG(WINAPI*)(ULONGLONG, DWORD, BYTE);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return false;
    }
    const auto verify = reinterpret_cast<VerifyProc>(reinterpret_cast<void*>(GetProcAddress(kernel, "VerifyVersionInfoA")));
    const auto mask = reinterpret_cast<MaskProc>(reinterpret_cast<void*>(GetProcAddress(kernel, "VerSetConditionMask")));
    if (verify == nullptr || mask == nullptr) {
        return false;
    }
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = 5;
    info.dwMinorVersion = 1;
    info.wServicePackMajor = 2;
    info.wServicePackMinor = 0;
    ULONGLONG conditions = 0;
    conditions = mask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
    conditions = mask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
    conditions = mask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
    conditions = mask(conditions, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
    return verify(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR,
                  conditions) != FALSE;
}

// ---- proxy --------------------------------------------------------------------------------------

namespace {

// What the process used before the first change, put back by ResetProxy.
struct SavedProxy {
    bool saved = false;
    DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
    std::string proxy;
    std::string bypass;
};
SavedProxy gSavedProxy;

void SaveProcessProxy()
{
    if (gSavedProxy.saved) {
        return;
    }
    DWORD size = 0;
    InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, nullptr, &size);
    std::vector<char> buffer(size > sizeof(INTERNET_PROXY_INFO) ? size : sizeof(INTERNET_PROXY_INFO) + 1024);
    size = static_cast<DWORD>(buffer.size());
    if (InternetQueryOptionA(nullptr, INTERNET_OPTION_PROXY, buffer.data(), &size)) {
        const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
        gSavedProxy.accessType = info->dwAccessType;
        gSavedProxy.proxy = info->lpszProxy != nullptr ? reinterpret_cast<const char*>(info->lpszProxy) : "";
        gSavedProxy.bypass = info->lpszProxyBypass != nullptr ? reinterpret_cast<const char*>(info->lpszProxyBypass) : "";
    }
    gSavedProxy.saved = true;
}

// Sets the proxy of this process's URL-moniker session, which the browser control's requests
// use. The user's stored per-connection settings are never touched.
bool SetProcessProxy(DWORD accessType, const std::string& proxy, const std::string& bypass)
{
    INTERNET_PROXY_INFO info{};
    info.dwAccessType = accessType;
    info.lpszProxy = reinterpret_cast<LPCTSTR>(proxy.empty() ? nullptr : proxy.c_str());
    info.lpszProxyBypass = reinterpret_cast<LPCTSTR>(bypass.empty() ? nullptr : bypass.c_str());
    return SUCCEEDED(UrlMkSetSessionOption(INTERNET_OPTION_PROXY, &info, sizeof info, 0));
}

}  // namespace

bool SetProxy(const std::string& agent, const std::string& server, const std::string& bypass)
{
    HINTERNET session = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) {
        return false;
    }
    SaveProcessProxy();
    const bool set = SetProcessProxy(INTERNET_OPEN_TYPE_PROXY, server, bypass);
    const bool refreshed = InternetSetOptionA(session, INTERNET_OPTION_REFRESH, nullptr, 0) != FALSE;
    InternetCloseHandle(session);
    return set && refreshed;
}

bool SetProxyWithCredentials(const std::string& agent, const std::string& server, int port, const std::string& user,
                             const std::string& password)
{
    HINTERNET session = InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) {
        return false;
    }
    bool result = false;
    HINTERNET connection = InternetConnectA(session, server.c_str(), static_cast<INTERNET_PORT>(port), user.c_str(),
                                            password.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
    if (connection != nullptr) {
        SaveProcessProxy();
        const bool set = SetProcessProxy(INTERNET_OPEN_TYPE_PROXY, server + ":" + std::to_string(port), "<local>");
        const bool refreshed = InternetSetOptionA(session, INTERNET_OPTION_REFRESH, nullptr, 0) != FALSE;
        result = set && refreshed;
        InternetCloseHandle(connection);
    }
    InternetCloseHandle(session);
    return result;
}

bool ResetProxy()
{
    HINTERNET session = InternetOpenA("", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (session == nullptr) {
        return false;
    }
    if (gSavedProxy.saved) {
        SetProcessProxy(gSavedProxy.accessType, gSavedProxy.proxy, gSavedProxy.bypass);
        gSavedProxy = SavedProxy{};
    }
    InternetSetOptionA(session, INTERNET_OPTION_REFRESH, nullptr, 0);
    InternetCloseHandle(session);
    return true;
}

// ---- click sound --------------------------------------------------------------------------------

namespace {

constexpr char kNavigatingKey[] = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating";

bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Moves the subkey from of parent to the name to (the old key is deleted).
void MoveSubKey(const std::string& parent, const char* from, const char* to)
{
    HKEY parentKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_ALL_ACCESS, &parentKey) != ERROR_SUCCESS) {
        return;
    }
    HKEY source = nullptr;
    HKEY target = nullptr;
    if (RegOpenKeyExA(parentKey, from, 0, KEY_READ, &source) == ERROR_SUCCESS &&
        RegCreateKeyExA(parentKey, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) == ERROR_SUCCESS) {
        if (RegCopyTreeA(source, nullptr, target) == ERROR_SUCCESS) {
            RegCloseKey(source);
            source = nullptr;
            RegDeleteTreeA(parentKey, from);
        }
    }
    if (source != nullptr) {
        RegCloseKey(source);
    }
    if (target != nullptr) {
        RegCloseKey(target);
    }
    RegCloseKey(parentKey);
}

}  // namespace

void SetClickSound(bool off)
{
    const std::string parent = kNavigatingKey;
    if (off) {
        if (KeyExists(HKEY_CURRENT_USER, parent + "\\.Current")) {
            MoveSubKey(parent, ".Current", "Old_Current");
        }
    } else if (KeyExists(HKEY_CURRENT_USER, parent + "\\Old_Current")) {
        MoveSubKey(parent, "Old_Current", ".Current");
    }
}

// ---- engine version -----------------------------------------------------------------------------

std::string GetIEVersion()
{
    char folder[MAX_PATH]{};
    const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    std::string file = std::string(folder) + "\\ieframe.dll";
    if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        file = std::string(folder) + "\\shdocvw.dll";
    }
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    if (size == 0) {
        return {};
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, data.data())) {
        return {};
    }
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        translation == nullptr || length < 4) {
        return {};
    }
    char query[64];
    wsprintfA(query, "\\StringFileInfo\\%04x%04x\\FileVersion", translation[0], translation[1]);
    char* value = nullptr;
    if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length) || value == nullptr) {
        return {};
    }
    return std::string(value);
}

int GetIEMajorVersion() { return MajorVersionOf(GetIEVersion()); }
