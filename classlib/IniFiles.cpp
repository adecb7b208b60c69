#include "IniFiles.h"

#include "Controls.h"
#include "PlatformText.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// The first buffer size for a value; it doubles while the value fills it.
constexpr DWORD kFirstValueChars = 2048;

// A file that starts with the UTF-16 little-endian byte-order mark is one the wide profile
// functions read and write in UTF-16; Wine's also keep UTF-16 big-endian and UTF-8 files by
// their marks. A file without a mark is in the system code page.
constexpr char kUtf16LeMark[] = "\xFF\xFE";
const char* const kByteOrderMarks[] = {kUtf16LeMark, "\xFE\xFF", "\xEF\xBB\xBF"};

[[noreturn]] void WriteFailure(const std::u16string& fileName)
{
    throw EIniFileException("Unable to write to " + FromWide(std::wstring(WideChars(fileName))));
}

// Whether a file in the system code page holds text as it is: no character replaced by "?" or
// by a look-alike.
bool FitsCodePage(const std::u16string& text) { return plat::SystemToWide(plat::WideToSystem(text)) == text; }

// The file the profile functions use for name: a bare name lies in the Windows folder.
std::u16string ProfilePath(const std::u16string& name)
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = 0;
    if (name.find_first_of(u"\\/") == std::u16string::npos) {
        length = GetWindowsDirectoryW(path, MAX_PATH);
        if (length > 0 && length + 1 + name.size() < MAX_PATH) {
            return std::u16string(reinterpret_cast<const char16_t*>(path), length) + u"\\" + name;
        }
    } else {
        length = GetFullPathNameW(WideChars(name), MAX_PATH, path, nullptr);
        if (length > 0 && length < MAX_PATH) {
            return std::u16string(reinterpret_cast<const char16_t*>(path), length);
        }
    }
    return name;
}

// The bytes of a file, empty for a missing one; false when it exists but cannot be read.
bool ReadFileBytes(const std::u16string& path, bool& exists, std::string& bytes)
{
    HANDLE file = CreateFileW(WideChars(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    exists = file != INVALID_HANDLE_VALUE;
    if (!exists) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF;
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                               read == bytes.size());
    }
    CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const std::u16string& path, DWORD creation, const std::string& bytes)
{
    HANDLE file = CreateFileW(WideChars(path), GENERIC_WRITE, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size() && FlushFileBuffers(file);
    CloseHandle(file);
    return ok;
}

// Makes the settings file one the wide profile functions write UTF-16 into, so that it can hold
// any text: a missing or empty file becomes the byte-order mark alone, and a file in the system
// code page is written again in UTF-16 after the mark, every byte kept as the profile functions
// read it (the 8-bit ones give other programs the same text as before). A file with a byte-order
// mark is left alone. Raises EIniFileException when the file cannot be read, its text does not
// come back exactly, or it cannot be replaced; it then stays as it was.
void MakeUnicodeFile(const std::u16string& fileName)
{
    const std::u16string path = ProfilePath(fileName);
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, WideChars(path));  // the platform's cache to disk
    bool exists = false;
    std::string bytes;
    if (!ReadFileBytes(path, exists, bytes)) {
        WriteFailure(fileName);
    }
    for (const char* mark : kByteOrderMarks) {
        if (bytes.compare(0, std::strlen(mark), mark) == 0) {
            return;
        }
    }
    const std::u16string text = plat::SystemToWide(bytes);
    if (plat::WideToSystem(text) != bytes) {
        WriteFailure(fileName);
    }
    const std::string unicode = kUtf16LeMark + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    if (!exists) {
        if (!WriteWholeFile(path, CREATE_NEW, unicode)) {
            WriteFailure(fileName);
        }
        return;
    }
    // The new form goes into a new file beside it first, so that a failure leaves the file whole.
    const std::u16string folder = path.substr(0, path.find_last_of(u"\\/") + 1);
    wchar_t fresh[MAX_PATH] = {};
    if (GetTempFileNameW(WideChars(folder), L"ini", 0, fresh) == 0) {
        WriteFailure(fileName);
    }
    const std::u16string freshName = reinterpret_cast<const char16_t*>(fresh);
    if (!WriteWholeFile(freshName, TRUNCATE_EXISTING, unicode) ||
        !ReplaceFileW(WideChars(path), fresh, nullptr, 0, nullptr, nullptr)) {
        DeleteFileW(fresh);
        WriteFailure(fileName);
    }
}

}  // namespace

std::u16string TIniFile::ReadString(const std::u16string& section, const std::u16string& key,
                                    const std::u16string& defaultValue) const
{
    std::vector<wchar_t> buffer(kFirstValueChars);
    for (;;) {
        const DWORD length = GetPrivateProfileStringW(WideChars(section), WideChars(key), WideChars(defaultValue), buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), WideChars(FFileName));
        if (length + 1 < buffer.size()) {
            return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

void TIniFile::WriteString(const std::u16string& section, const std::u16string& key, const std::u16string& value)
{
    // Into a file in the system code page the profile functions write "?" for what it lacks.
    if (!FitsCodePage(section) || !FitsCodePage(key) || !FitsCodePage(value)) {
        MakeUnicodeFile(FFileName);
    }
    if (!WritePrivateProfileStringW(WideChars(section), WideChars(key), WideChars(value), WideChars(FFileName))) {
        WriteFailure(FFileName);
    }
}
