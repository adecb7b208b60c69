// The platform seam for folders: whether one exists, making it, listing its files with their
// modification times, and creating a file only when it does not exist yet.
#pragma once

#include "Platform.h"
#include "PlatformTime.h"

#include <string>
#include <vector>

namespace plat {

bool DirectoryExists(const std::string& dir);
// Creates dir and every missing folder above it; true when dir exists afterwards.
bool ForceDirectories(const std::string& dir);

// Creates name for reading and writing with the given share bits, but only when no file of
// that name exists: an existing file is never truncated (CREATE_NEW, O_EXCL).
FileHandle FileCreateNew(const std::string& name, uint32_t shareMode = fmShareExclusive);

struct FolderFile {
    std::string Name;      // the file's own (long) name, without the folder
    bool HasModified;      // false when the modification time could not be read
    LocalTime Modified;    // last modification, local time
};

// The files of dir (which ends in the path delimiter), directories left out; an unreadable
// or missing folder gives an empty list.
std::vector<FolderFile> ListFolderFiles(const std::string& dir);

}  // namespace plat
