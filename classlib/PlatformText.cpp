#include "PlatformText.h"

#ifdef _WIN32
#include <windows.h>
#include <winnetwk.h>
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace plat {

#ifdef _WIN32

std::u16string SystemToWide(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string result(n > 0 ? static_cast<size_t>(n) : 0, u'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                            reinterpret_cast<wchar_t*>(result.data()), n);
    }
    return result;
}

std::string WideToSystem(std::u16string_view text)
{
    if (text.empty()) {
        return {};
    }
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(text.size()), result.data(), n, nullptr, nullptr);
    }
    return result;
}

std::string CreateTempFile(const std::string& dir, const std::string& prefix)
{
    char name[MAX_PATH];
    if (GetTempFileNameA(dir.c_str(), prefix.c_str(), 0, name) == 0) {
        return {};
    }
    return name;
}

std::string ExpandUncFileName(const std::string& name)
{
    char full[MAX_PATH];
    char* filePart = nullptr;
    const DWORD n = GetFullPathNameA(name.c_str(), sizeof full, full, &filePart);
    std::string path = n > 0 && n < sizeof full ? std::string(full, n) : name;
    // Only a path on a drive letter can be on a mapped network drive.
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
        const std::string root = path.substr(0, 3);
        if (GetDriveTypeA(root.c_str()) == DRIVE_REMOTE) {
            union {
                UNIVERSAL_NAME_INFOA info;
                char bytes[1024];
            } buffer;
            DWORD size = sizeof buffer;
            if (WNetGetUniversalNameA(path.c_str(), UNIVERSAL_NAME_INFO_LEVEL, &buffer, &size) == NO_ERROR) {
                return buffer.info.lpUniversalName;
            }
        }
    }
    return path;
}

#else  // host: Windows-1252

namespace {

// The characters of 0x80..0x9F; the five bytes that Windows-1252 leaves undefined map to the
// control characters of the same value, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char WideToCp1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

}  // namespace

std::u16string SystemToWide(std::string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        result += b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
    }
    return result;
}

std::string WideToSystem(std::u16string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;  // a surrogate pair is one character, and not in the code page
        }
        result += WideToCp1252(c);
    }
    return result;
}

std::string CreateTempFile(const std::string& dir, const std::string& prefix)
{
    std::string name = dir + prefix + "XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        return {};
    }
    close(fd);
    return name;
}

std::string ExpandUncFileName(const std::string& name)
{
    char full[PATH_MAX];
    return realpath(name.c_str(), full) ? std::string(full) : name;
}

#endif

}  // namespace plat
