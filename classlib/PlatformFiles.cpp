#include "PlatformFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace plat {

namespace {

bool IsDelimiter(char c)
{
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

bool MakeOneDirectory(const std::string& dir);

}  // namespace

bool ForceDirectories(const std::string& dir)
{
    std::string path = dir;
    while (path.size() > 1 && IsDelimiter(path.back())) {
        path.pop_back();
    }
    if (path.empty() || DirectoryExists(path)) {
        return !path.empty();
    }
    size_t cut = path.size();
    while (cut > 0 && !IsDelimiter(path[cut - 1])) {
        --cut;
    }
    if (cut > 1) {
        const std::string parent = path.substr(0, cut - 1);
#ifdef _WIN32
        const bool isDriveRoot = parent.size() == 2 && parent[1] == ':';
#else
        const bool isDriveRoot = false;
#endif
        if (!isDriveRoot && !ForceDirectories(parent)) {
            return false;
        }
    }
    return MakeOneDirectory(path) || DirectoryExists(path);
}

#ifdef _WIN32

namespace {

bool MakeOneDirectory(const std::string& dir) { return CreateDirectoryA(dir.c_str(), nullptr) != 0; }

DWORD ShareFlags(uint32_t mode)
{
    switch (mode & 0xF0) {
    case fmShareExclusive: return 0;
    case fmShareDenyWrite: return FILE_SHARE_READ;
    case fmShareDenyRead: return FILE_SHARE_WRITE;
    default: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
}

}  // namespace

bool DirectoryExists(const std::string& dir)
{
    const DWORD attributes = GetFileAttributesA(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileHandle FileCreateNew(const std::string& name, uint32_t shareMode)
{
    const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, ShareFlags(shareMode), nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidFile : reinterpret_cast<FileHandle>(h);
}

std::vector<FolderFile> ListFolderFiles(const std::string& dir)
{
    std::vector<FolderFile> files;
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((dir + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return files;
    }
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            continue;
        }
        FolderFile file{data.cFileName, false, {}};
        FILETIME local;
        SYSTEMTIME st;
        if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) && FileTimeToSystemTime(&local, &st)) {
            file.HasModified = true;
            file.Modified = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
        }
        files.push_back(std::move(file));
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}

#else  // host

namespace {

bool MakeOneDirectory(const std::string& dir) { return mkdir(dir.c_str(), 0777) == 0; }

}  // namespace

bool DirectoryExists(const std::string& dir)
{
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileHandle FileCreateNew(const std::string& name, uint32_t)
{
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return fd < 0 ? kInvalidFile : fd;
}

std::vector<FolderFile> ListFolderFiles(const std::string& dir)
{
    std::vector<FolderFile> files;
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) {
        return files;
    }
    while (const dirent* entry = readdir(folder)) {
        struct stat st;
        const std::string name = entry->d_name;
        if (stat((dir + name).c_str(), &st) != 0) {
            files.push_back({name, false, {}});
            continue;
        }
        if (!S_ISREG(st.st_mode)) {
            continue;
        }
        FolderFile file{name, false, {}};
        tm local{};
        if (localtime_r(&st.st_mtim.tv_sec, &local) != nullptr) {
            file.HasModified = true;
            file.Modified = {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
                             static_cast<uint16_t>(local.tm_mday), static_cast<uint16_t>(local.tm_hour),
                             static_cast<uint16_t>(local.tm_min),
                             static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec),
                             static_cast<uint16_t>(st.st_mtim.tv_nsec / 1000000)};
        }
        files.push_back(std::move(file));
    }
    closedir(folder);
    return files;
}

#endif

}  // namespace plat
