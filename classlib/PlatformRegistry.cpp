#include "PlatformRegistry.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace plat {

#ifdef _WIN32

namespace {

constexpr REGSAM kReadAccess = KEY_READ;  // 0x20019

std::string KeyPath(const std::string& key)
{
    return !key.empty() && key.front() == '\\' ? key.substr(1) : key;
}

// An open key, closed when the scope ends.
class OpenKey {
public:
    explicit OpenKey(const std::string& key)
    {
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, KeyPath(key).c_str(), 0, kReadAccess, &FKey) != ERROR_SUCCESS) {
            FKey = nullptr;
        }
    }
    ~OpenKey()
    {
        if (FKey) {
            RegCloseKey(FKey);
        }
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY Handle() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

}  // namespace

bool ClassesRootSubkeyNames(const std::string& key, std::vector<std::string>& names)
{
    names.clear();
    const OpenKey open(key);
    if (!open.Handle()) {
        return false;
    }
    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyA(open.Handle(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    std::string name(longest + 1, '\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(open.Handle(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
            names.emplace_back(name.data(), length);
        }
    }
    return true;
}

bool ClassesRootReadString(const std::string& key, const std::string& valueName, std::string& value)
{
    value.clear();
    const OpenKey open(key);
    if (!open.Handle()) {
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(open.Handle(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::string data(size, '\0');
    if (size > 0 && RegQueryValueExA(open.Handle(), valueName.c_str(), nullptr, &type,
                                     reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    data.resize(size);
    // The stored text usually carries its terminating zero.
    while (!data.empty() && data.back() == '\0') {
        data.pop_back();
    }
    value = data;
    return true;
}

#else

bool ClassesRootSubkeyNames(const std::string&, std::vector<std::string>& names)
{
    names.clear();
    return false;
}

bool ClassesRootReadString(const std::string&, const std::string&, std::string& value)
{
    value.clear();
    return false;
}

#endif

}  // namespace plat
