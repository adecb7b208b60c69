#include "Platform.h"

#include "PlatformText.h"

#include <algorithm>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <thread>
#endif

namespace plat {

#ifdef _WIN32

TextOrder CompareTextLocale(std::string_view a, std::string_view b)
{
    switch (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                           b.data(), static_cast<int>(b.size()))) {
    case CSTR_LESS_THAN: return TextOrder::Less;
    case CSTR_EQUAL: return TextOrder::Equal;
    case CSTR_GREATER_THAN: return TextOrder::Greater;
    default: return TextOrder::Failed;
    }
}

std::u16string ExePathWide()
{
    std::u16string path(MAX_PATH, u'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ExePath() { return WideToSystem(ExePathWide()); }

std::string TempDir()
{
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string dir(buffer, n > 0 && n <= MAX_PATH ? n : 0);
    if (dir.empty() || dir.back() != '\\') {
        dir += '\\';
    }
    return dir;
}

bool ProgramResource(const std::string& name, const uint8_t*& data, uint32_t& size)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        return false;
    }
    data = static_cast<const uint8_t*>(bytes);
    size = SizeofResource(module, found);
    return true;
}

ModuleHandle LoadSystemLibrary(const char* fileName)
{
    char folder[MAX_PATH]{};
    const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return 0;
    }
    const std::string path = std::string(folder) + "\\" + fileName;
    const UINT oldMode = SetErrorMode(SEM_NOOPENFILEERRORBOX | SEM_FAILCRITICALERRORS);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(oldMode);
    return reinterpret_cast<ModuleHandle>(module);
}

ModuleHandle LoadedModule(const char* fileName)
{
    return reinterpret_cast<ModuleHandle>(GetModuleHandleA(fileName));
}

uintptr_t ProcAddress(ModuleHandle module, const char* name)
{
    return reinterpret_cast<uintptr_t>(GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

char PathDelim() { return '\\'; }
uint32_t CurrentThreadId() { return GetCurrentThreadId(); }
void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

static const wchar_t* WideName(const std::u16string& name) { return reinterpret_cast<const wchar_t*>(name.c_str()); }

bool FileExists(const std::u16string& name)
{
    const DWORD attributes = GetFileAttributesW(WideName(name));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& name) { return FileExists(SystemToWide(name)); }

bool RemoveFile(const std::u16string& name) { return ::DeleteFileW(WideName(name)) != 0; }
bool RemoveFile(const std::string& name) { return RemoveFile(SystemToWide(name)); }

static DWORD ShareFlags(uint32_t mode)
{
    switch (mode & 0xF0) {
    case fmShareExclusive: return 0;
    case fmShareDenyWrite: return FILE_SHARE_READ;
    case fmShareDenyRead: return FILE_SHARE_WRITE;
    default: return FILE_SHARE_READ | FILE_SHARE_WRITE;  // compat and deny-none
    }
}

static FileHandle FromHandle(HANDLE h)
{
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

FileHandle FileOpen(const std::u16string& name, uint32_t mode)
{
    static const DWORD access[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    if ((mode & 3) > 2) {
        return kInvalidFile;
    }
    return FromHandle(CreateFileW(WideName(name), access[mode & 3], ShareFlags(mode), nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle FileCreate(const std::u16string& name, uint32_t shareMode)
{
    return FromHandle(CreateFileW(WideName(name), GENERIC_READ | GENERIC_WRITE, ShareFlags(shareMode), nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle FileOpen(const std::string& name, uint32_t mode) { return FileOpen(SystemToWide(name), mode); }

FileHandle FileCreate(const std::string& name, uint32_t shareMode)
{
    return FileCreate(SystemToWide(name), shareMode);
}

int32_t FileRead(FileHandle file, void* buffer, int32_t count)
{
    DWORD done = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(count), &done, nullptr)) {
        return -1;
    }
    return static_cast<int32_t>(done);
}

int32_t FileReadAt(FileHandle file, int64_t offset, void* buffer, int32_t count)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    DWORD done = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(count), &done, &at)) {
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<int32_t>(done);
}

int32_t FileWrite(FileHandle file, const void* buffer, int32_t count)
{
    DWORD done = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(count), &done, nullptr)) {
        return -1;
    }
    return static_cast<int32_t>(done);
}

int64_t FileSeek(FileHandle file, int64_t offset, SeekOrigin origin)
{
    LARGE_INTEGER distance;
    LARGE_INTEGER result;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, &result, static_cast<DWORD>(origin))) {
        return -1;
    }
    return result.QuadPart;
}

bool FileTruncate(FileHandle file) { return SetEndOfFile(reinterpret_cast<HANDLE>(file)) != 0; }
void FileClose(FileHandle file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

std::string LastErrorMessage()
{
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 ? std::string(text, n) : "System error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
        message.pop_back();
    }
    return message;
}

const uint8_t* MapFileReadOnly(FileHandle file, int64_t size)
{
    if (size <= 0 || static_cast<uint64_t>(size) > SIZE_MAX) {
        return nullptr;
    }
    const auto high = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
    const auto low = static_cast<DWORD>(static_cast<uint64_t>(size) & 0xFFFFFFFFu);
    HANDLE mapping = CreateFileMappingA(reinterpret_cast<HANDLE>(file), nullptr, PAGE_READONLY, high, low, nullptr);
    if (mapping == nullptr) {
        return nullptr;
    }
    // The view keeps the mapping object alive.
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    CloseHandle(mapping);
    return static_cast<const uint8_t*>(view);
}

void UnmapFile(const uint8_t* view, int64_t)
{
    if (view != nullptr) {
        UnmapViewOfFile(view);
    }
}

#else  // host

TextOrder CompareTextLocale(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return static_cast<unsigned char>(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u);
    };
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = lower(a[i]);
        const unsigned char y = lower(b[i]);
        if (x != y) {
            return x < y ? TextOrder::Less : TextOrder::Greater;
        }
    }
    if (a.size() == b.size()) {
        return TextOrder::Equal;
    }
    return a.size() < b.size() ? TextOrder::Less : TextOrder::Greater;
}

std::string ExePath()
{
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return path;
}

std::u16string ExePathWide() { return SystemToWide(ExePath()); }

std::string TempDir()
{
    const char* dir = std::getenv("TMPDIR");
    std::string result = dir && *dir ? dir : "/tmp";
    if (result.back() != '/') {
        result += '/';
    }
    return result;
}

bool ProgramResource(const std::string&, const uint8_t*&, uint32_t&)
{
    return false;
}

ModuleHandle LoadSystemLibrary(const char*) { return 0; }
ModuleHandle LoadedModule(const char*) { return 0; }
uintptr_t ProcAddress(ModuleHandle, const char*) { return 0; }

char PathDelim() { return '/'; }
uint32_t CurrentThreadId() { return static_cast<uint32_t>(syscall(SYS_gettid)); }
void SleepMs(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool FileExists(const std::string& name)
{
    struct stat st;
    return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& name) { return unlink(name.c_str()) == 0; }

FileHandle FileOpen(const std::string& name, uint32_t mode)
{
    static const int access[3] = {O_RDONLY, O_WRONLY, O_RDWR};
    if ((mode & 3) > 2) {
        return kInvalidFile;
    }
    const int fd = open(name.c_str(), access[mode & 3] | O_CLOEXEC);
    return fd < 0 ? kInvalidFile : fd;
}

FileHandle FileCreate(const std::string& name, uint32_t)
{
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd < 0 ? kInvalidFile : fd;
}

bool FileExists(const std::u16string& name) { return FileExists(WideToSystem(name)); }
bool RemoveFile(const std::u16string& name) { return RemoveFile(WideToSystem(name)); }
FileHandle FileOpen(const std::u16string& name, uint32_t mode) { return FileOpen(WideToSystem(name), mode); }
FileHandle FileCreate(const std::u16string& name, uint32_t shareMode)
{
    return FileCreate(WideToSystem(name), shareMode);
}

int32_t FileRead(FileHandle file, void* buffer, int32_t count)
{
    ssize_t n;
    do {
        n = read(static_cast<int>(file), buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    return static_cast<int32_t>(n);
}

int32_t FileReadAt(FileHandle file, int64_t offset, void* buffer, int32_t count)
{
    ssize_t n;
    do {
        n = pread(static_cast<int>(file), buffer, static_cast<size_t>(count), static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return static_cast<int32_t>(n);
}

int32_t FileWrite(FileHandle file, const void* buffer, int32_t count)
{
    ssize_t n;
    do {
        n = write(static_cast<int>(file), buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    return static_cast<int32_t>(n);
}

int64_t FileSeek(FileHandle file, int64_t offset, SeekOrigin origin)
{
    static const int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return lseek(static_cast<int>(file), static_cast<off_t>(offset), whence[static_cast<int>(origin)]);
}

bool FileTruncate(FileHandle file)
{
    const off_t position = lseek(static_cast<int>(file), 0, SEEK_CUR);
    return position >= 0 && ftruncate(static_cast<int>(file), position) == 0;
}

void FileClose(FileHandle file) { close(static_cast<int>(file)); }

std::string LastErrorMessage() { return std::strerror(errno); }

const uint8_t* MapFileReadOnly(FileHandle file, int64_t size)
{
    if (size <= 0 || static_cast<uint64_t>(size) > SIZE_MAX) {
        return nullptr;
    }
    void* view = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, static_cast<int>(file), 0);
    return view == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(view);
}

void UnmapFile(const uint8_t* view, int64_t size)
{
    if (view != nullptr) {
        munmap(const_cast<uint8_t*>(view), static_cast<size_t>(size));
    }
}

#endif

}  // namespace plat
