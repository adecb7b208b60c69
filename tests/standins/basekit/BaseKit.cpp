// basekit (stand-in): see BaseKit.h.
#include "BaseKit.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

namespace {

const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

std::u16string U16(const wchar_t* text) { return std::u16string(reinterpret_cast<const char16_t*>(text)); }

void AppendMatches(const std::u16string& folder, const std::u16string& relative,
                   const std::u16string& mask, BCStringList* list, bool fullPaths,
                   bool subFolders)
{
    WIN32_FIND_DATAW data;
    const std::u16string pattern = folder + u"\\" + relative + mask;
    HANDLE find = FindFirstFileW(W(pattern), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                const std::u16string name = relative + U16(data.cFileName);
                list->Add(fullPaths ? folder + u"\\" + name : name);
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    if (!subFolders) {
        return;
    }
    find = FindFirstFileW(W(folder + u"\\" + relative + u"*"), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::u16string name = U16(data.cFileName);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != u"." && name != u"..") {
            AppendMatches(folder, relative + name + u"\\", mask, list, fullPaths, true);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

}  // namespace

BCStringList::BCStringList() = default;
BCStringList::~BCStringList() = default;

int BCStringList::Count() const { return static_cast<int>(FItems.size()); }

const std::u16string& BCStringList::Strings(int index) const
{
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("BCStringList index out of range");
    }
    return FItems[static_cast<size_t>(index)];
}

int BCStringList::Add(const std::u16string& text)
{
    FItems.push_back(text);
    return Count() - 1;
}

void BCStringList::Clear() { FItems.clear(); }

void BCStringList::Sort() { std::sort(FItems.begin(), FItems.end()); }

std::u16string S_Before(const std::u16string& text, char16_t ch)
{
    return text.substr(0, text.find(ch));
}

std::u16string S_Quote(const std::u16string& text)
{
    std::u16string quoted = u"\"";
    for (char16_t c : text) {
        quoted += c;
        if (c == u'"') {
            quoted += c;
        }
    }
    return quoted + u"\"";
}

void S_StrToStrArray(const std::u16string& text, const std::u16string& separator, BCStringList* list)
{
    if (list == nullptr || text.empty()) {
        return;
    }
    if (separator.empty()) {
        list->Add(text);
        return;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        if (end == std::u16string::npos) {
            list->Add(text.substr(start));
            break;
        }
        list->Add(text.substr(start, end - start));
        start = end + separator.size();
    }
}

bool F_CopyFile(const std::u16string& source, const std::u16string& destination)
{
    return CopyFileW(W(source), W(destination), FALSE) != 0;
}

bool F_AppendFileList(const std::u16string& pattern, BCStringList* list, bool fullPaths,
                      bool subFolders, bool sorted)
{
    if (list == nullptr) {
        return false;
    }
    const size_t slash = pattern.find_last_of(u"\\/");
    const std::u16string folder = slash == std::u16string::npos ? u"." : pattern.substr(0, slash);
    const std::u16string mask = slash == std::u16string::npos ? pattern : pattern.substr(slash + 1);
    BCStringList found;
    AppendMatches(folder, u"", mask, &found, fullPaths, subFolders);
    if (sorted) {
        found.Sort();
    }
    for (int i = 0; i < found.Count(); ++i) {
        list->Add(found.Strings(i));
    }
    return found.Count() > 0;
}

bool CP_CreateProc(const std::u16string& commandLine, PROCESS_INFORMATION* info)
{
    // CreateProcessW may write into its command line: it gets a copy of its own.
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    if (info != nullptr) {
        *info = process;
    } else {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return true;
}

std::u16string RG_GetRegString1(const std::u16string& key, const std::u16string& valueName)
{
    HKEY handle = nullptr;
    const std::u16string path = u"SOFTWARE\\" + key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return {};
    }
    // The value's size is asked first and the buffer holds one more character than the value,
    // so that a value stored without its terminating zero still ends inside the buffer; a value
    // that grew in between is asked for again.
    std::u16string result;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (RegQueryValueExW(handle, W(valueName), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            break;
        }
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        const LONG rc = RegQueryValueExW(handle, W(valueName), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            continue;
        }
        if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            const size_t chars = std::min<size_t>(got / sizeof(wchar_t), buffer.size() - 1);
            buffer[chars] = L'\0';
            result = U16(buffer.data());
        }
        break;
    }
    RegCloseKey(handle);
    return result;
}
