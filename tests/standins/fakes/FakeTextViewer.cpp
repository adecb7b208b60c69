// A fake text viewer for the tests: writes its process and thread ids to "pelnote-ids.txt" and
// then its command line, as it received it, to "pelnote-cmdline.txt" beside itself (UTF-16),
// and ends.
#include <windows.h>

#include <string>

int main()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring file(path, length);
    const std::wstring folder = file.substr(0, file.rfind(L'\\') + 1);
    file = folder + L"pelnote-cmdline.txt";
    HANDLE ids = CreateFileW((folder + L"pelnote-ids.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                             nullptr);
    if (ids == INVALID_HANDLE_VALUE) {
        return 1;
    }
    char text[64];
    const int textLength = wsprintfA(text, "%lu %lu", GetCurrentProcessId(), GetCurrentThreadId());
    DWORD idsWritten = 0;
    WriteFile(ids, text, static_cast<DWORD>(textLength), &idsWritten, nullptr);
    CloseHandle(ids);
    const std::wstring tmp = file + L".tmp";
    HANDLE out = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return 1;
    }
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(out, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(out);
    // The record appears whole or not at all.
    return MoveFileExW(tmp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
