// Unit lcInfo: the file helpers (see lcInfo.h).
#include "lcInfo.h"

#include "classlib/Platform.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

// ============================================================================================
// Files
// ============================================================================================

namespace {

// Reads and writes go in pieces that a 32-bit count holds.
constexpr int32_t kFileChunkBytes = 1 << 30;

uint32_t ShareMode(int32_t access)
{
    if (access <= 0) {
        return plat::fmShareDenyNone;
    }
    return access == 1 ? plat::fmShareDenyWrite : plat::fmShareExclusive;
}

// Closes the handle it holds when it goes.
class TFileHandleGuard {
public:
    explicit TFileHandleGuard(plat::FileHandle handle) : FHandle(handle) {}
    ~TFileHandleGuard()
    {
        if (FHandle != plat::kInvalidFile) {
            plat::FileClose(FHandle);
        }
    }
    TFileHandleGuard(const TFileHandleGuard&) = delete;
    TFileHandleGuard& operator=(const TFileHandleGuard&) = delete;

    plat::FileHandle Handle() const { return FHandle; }
    bool Valid() const { return FHandle != plat::kInvalidFile; }
    void Reset(plat::FileHandle handle) { FHandle = handle; }

private:
    plat::FileHandle FHandle;
};

}  // namespace

bool FileIsOpenable(const std::string& name)
{
    TFileHandleGuard file(plat::FileOpen(name, plat::fmOpenRead | plat::fmShareDenyNone));
    return file.Valid();
}

std::string ReadFileRange(const std::string& name, int32_t access, int64_t size, int64_t loc)
{
    loc = std::max<int64_t>(loc, 0);
    TFileHandleGuard file(plat::FileOpen(name, plat::fmOpenRead | ShareMode(access)));
    if (!file.Valid()) {
        return {};
    }
    const int64_t fileSize = plat::FileSeek(file.Handle(), 0, plat::SeekOrigin::End);
    if (fileSize < 0 || plat::FileSeek(file.Handle(), loc, plat::SeekOrigin::Begin) != loc) {
        return {};
    }
    // Never more than the file holds: the size asked for is no size to allocate.
    const int64_t available = std::max<int64_t>(fileSize - loc, 0);
    if (size < 0 || size > available) {
        size = available;
    }
    std::string result;
    try {
        if (static_cast<uint64_t>(size) > result.max_size()) {
            return {};
        }
        result.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return {};
    } catch (const std::length_error&) {
        return {};
    }
    size_t done = 0;
    while (done < result.size()) {
        const auto want = static_cast<int32_t>(std::min<size_t>(result.size() - done, kFileChunkBytes));
        const int32_t n = plat::FileRead(file.Handle(), result.data() + done, want);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    result.resize(done);
    return result;
}

std::string ReadWholeFile(const std::string& name, int32_t access)
{
    return ReadFileRange(name, access, -1, 0);
}

int64_t ScanFile(const std::string& name, const std::string& pattern, int32_t blockSize, int32_t access,
                 int64_t loc, int64_t size)
{
    if (pattern.empty() || size < 1 || blockSize < 1) {
        return -1;
    }
    loc = std::max<int64_t>(loc, 0);
    const auto patternLength = static_cast<int64_t>(pattern.size());
    if (patternLength > size) {
        return -1;  // the region cannot hold it
    }
    TFileHandleGuard file(plat::FileOpen(name, plat::fmOpenRead | ShareMode(access)));
    if (!file.Valid()) {
        return -1;
    }
    // The region ends with the file at the latest, and so does the buffer's size.
    const int64_t fileSize = plat::FileSeek(file.Handle(), 0, plat::SeekOrigin::End);
    size = std::min(size, fileSize - loc);
    if (size < patternLength || plat::FileSeek(file.Handle(), loc, plat::SeekOrigin::Begin) != loc) {
        return -1;
    }
    // The buffer holds one piece behind the pattern-length-minus-one bytes kept from the piece
    // before, so that an occurrence spanning two pieces is found; never more than the region.
    const int64_t keepMax = patternLength - 1;
    const int64_t capacity = std::min<int64_t>(int64_t{blockSize} + keepMax, size);
    std::vector<char> buffer;
    try {
        buffer.resize(static_cast<size_t>(capacity));
    } catch (const std::bad_alloc&) {
        return -1;
    } catch (const std::length_error&) {
        return -1;
    }
    const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
    int64_t bufferOffset = loc;  // file offset of buffer[0]
    int64_t filled = 0;
    int64_t remaining = size;
    while (remaining > 0) {
        const int64_t want = std::min({int64_t{blockSize}, remaining, capacity - filled});
        const int32_t n = plat::FileRead(file.Handle(), buffer.data() + filled, static_cast<int32_t>(want));
        if (n <= 0) {
            break;
        }
        filled += n;
        remaining -= n;
        const auto end = buffer.begin() + filled;
        const auto hit = std::search(buffer.begin(), end, searcher);
        if (hit != end) {
            return bufferOffset + (hit - buffer.begin());
        }
        if (n < want) {
            break;  // a short read: the file ended inside the region
        }
        const int64_t keep = std::min(filled, keepMax);
        std::memmove(buffer.data(), buffer.data() + (filled - keep), static_cast<size_t>(keep));
        bufferOffset += filled - keep;
        filled = keep;
    }
    return -1;
}

bool DeleteFileIfPresent(const std::string& name)
{
    return FileIsOpenable(name) && plat::RemoveFile(name);
}

bool WriteFileAt(const std::string& name, const std::string& data, int32_t access, int64_t loc)
{
    TFileHandleGuard file(plat::FileOpen(name, plat::fmOpenReadWrite | ShareMode(access)));
    if (!file.Valid()) {
        // Only a file that is not there is made: one that exists but is locked or denied
        // keeps its content.
        if (plat::FileExists(name)) {
            return false;
        }
        file.Reset(plat::FileCreate(name, plat::fmShareExclusive));
        if (!file.Valid()) {
            return false;
        }
    }
    if (data.empty()) {
        return false;
    }
    if (loc < 0) {
        if (plat::FileSeek(file.Handle(), 0, plat::SeekOrigin::End) < 0) {
            return false;
        }
    } else if (plat::FileSeek(file.Handle(), loc, plat::SeekOrigin::Begin) != loc) {
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        const auto want = static_cast<int32_t>(std::min<size_t>(data.size() - done, kFileChunkBytes));
        const int32_t n = plat::FileWrite(file.Handle(), data.data() + done, want);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}
