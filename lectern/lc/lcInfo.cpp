#include "lcInfo.h"

#include "classlib/Platform.h"
#include "classlib/PlatformText.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/memObjList.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

// ============================================================================================
// Unit start and end
// ============================================================================================

namespace {

// Block size of the registry's node pool.
constexpr int kRegistryBlockSize = 128;
// Block size of a manager's two link maps.
constexpr int kLinkMapBlockSize = 128;

struct TLcInfoGlobals {
    std::string FExeFileName;
    TLcCritSec FRegistryLock;
    tObjList FRegistry{kRegistryBlockSize};  // thread number -> TLcObjectManager
};

std::unique_ptr<TLcInfoGlobals> gLcInfo;

}  // namespace

void InitializeLcInfo()
{
    if (!gLcInfo) {
        gLcInfo = std::make_unique<TLcInfoGlobals>();
        gLcInfo->FExeFileName = plat::ExpandUncFileName(plat::ExePath());
    }
}

void FinalizeLcInfo()
{
    gLcInfo.reset();
}

const std::string& LcExeFileName()
{
    static const std::string kNone;
    return gLcInfo ? gLcInfo->FExeFileName : kNone;
}

// ============================================================================================
// Thread, folders and the object manager
// ============================================================================================

uint32_t MyThreadId()
{
    return plat::CurrentThreadId();
}

std::string TempFolder()
{
    return plat::TempDir();
}

std::string NewTempFileName()
{
    return plat::CreateTempFile(plat::TempDir(), "LCT");
}

TLcObjectManager::TLcObjectManager()
    : FIDLinks(std::make_unique<tObjList>(kLinkMapBlockSize)),
      FObjectLinks(std::make_unique<tObjList>(kLinkMapBlockSize))
{
}

TLcObjectManager::~TLcObjectManager() = default;

std::uintptr_t TLcObjectManager::ObjectKey(const TObject* object)
{
    return reinterpret_cast<std::uintptr_t>(object);
}

TObject* TLcObjectManager::FindObject(int64_t id) const
{
    if (id == 0) {
        return nullptr;
    }
    const auto* link = static_cast<const TLcObjectLink*>(FIDLinks->Find(IdKey(id)));
    const std::string prefix = "TLcObjectManager.FindObject: Object with xOID=" + LargeIntToText(id);
    // The map is keyed by the low 32 bits: an entry of another id is no entry of this one.
    if (!link || link->FID != id) {
        throw ELcObjectLinks(prefix + " does NOT exist");
    }
    if (!link->FOwner) {
        throw ELcObjectLinks(prefix + " is corrupt (no Owner set)");
    }
    return link->FOwner;
}

int64_t TLcObjectManager::FindOID(const TObject* object) const
{
    if (!object) {
        return 0;
    }
    const auto* link = static_cast<const TLcObjectLink*>(FObjectLinks->Find(ObjectKey(object)));
    if (!link) {
        throw ELcObjectLinks("TLcObjectManager.FindOID: Object not found");
    }
    if (link->FID == 0) {
        throw ELcObjectLinks("TLcObjectManager.FindOID: Found Object has invalid ID");
    }
    return link->FID;
}

TLcObjectManager* GetObjectManager()
{
    TLcObjectManager* manager = nullptr;
    if (gLcInfo) {
        gLcInfo->FRegistryLock.Acquire();
        manager = static_cast<TLcObjectManager*>(gLcInfo->FRegistry.Find(MyThreadId()));
        gLcInfo->FRegistryLock.Release();
    }
    if (!manager) {
        throw ELcObjectLinks("No active LC Object Manager.");
    }
    return manager;
}

// ============================================================================================
// Text search and slicing
// ============================================================================================

namespace {

// The bytes s[start .. start+count-1] (1-based) inside s: a start below 1 counts as 1, the
// slice ends at the end of s, and a count below 1 gives nothing.
std::string_view Slice(const std::string& s, int32_t start, int32_t count)
{
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= s.size() || count < 1) {
        return {};
    }
    return std::string_view(s).substr(from, static_cast<size_t>(count));
}

int32_t ToPosition(size_t index)
{
    return index == std::string::npos ? -1 : static_cast<int32_t>(index) + 1;
}

}  // namespace

int32_t FindCharPos(char c, const std::string& s)
{
    return ToPosition(s.find(c));
}

int32_t FindCharFrom(char c, const std::string& s, int32_t start)
{
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= s.size()) {
        return -1;
    }
    return ToPosition(s.find(c, from));
}

int32_t FindSubstrPos(const std::string& sub, const std::string& s, int32_t start)
{
    const size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (sub.empty() || from >= s.size() || sub.size() > s.size() - from) {
        return -1;
    }
    if (sub.size() == 1) {
        return ToPosition(s.find(sub[0], from));
    }
    if (sub.size() == 2) {
        // Look for the first byte, then check the second: most candidates fail on the first.
        const char a = sub[0];
        const char b = sub[1];
        for (size_t i = s.find(a, from); i != std::string::npos && i + 1 < s.size(); i = s.find(a, i + 1)) {
            if (s[i + 1] == b) {
                return ToPosition(i);
            }
        }
        return -1;
    }
    return ToPosition(s.find(sub, from));
}

std::string TrimmedCopy(const std::string& s, int32_t start, int32_t count)
{
    std::string_view slice = Slice(s, start, count);
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) < 33; };
    while (!slice.empty() && isBlank(slice.front())) {
        slice.remove_prefix(1);
    }
    while (!slice.empty() && isBlank(slice.back())) {
        slice.remove_suffix(1);
    }
    return std::string(slice);
}

// ============================================================================================
// URL decoding
// ============================================================================================

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string DecodeUrlText(const std::string& s, bool strict)
{
    std::string result;
    result.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '+') {
            result += ' ';
        } else if (c != '%') {
            result += c;
        } else if (i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            result += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else if (strict) {
            throw EConvertError("Error decoding URL: " + s);
        } else {
            // A broken escape stays as it stands: the "%" and the (at most two) bytes after it.
            const size_t n = std::min<size_t>(2, s.size() - i - 1);
            result.append(s, i, n + 1);
            i += n;
        }
    }
    return result;
}

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

// ============================================================================================
// Wide text and UTF-8
//
// The encoder writes each UTF-16 unit by itself, so a surrogate pair becomes two three-byte
// sequences, as the library has always stored wide text. The decoder reads one- to four-byte
// sequences; a four-byte one becomes a surrogate pair, and three-byte surrogate halves come
// back as the halves they were. Invalid input makes the whole call fail with -1.
// Both write into buffers of a given size and never past them: one unit of each buffer is
// kept for the terminating zero, and a character that would not fit before it is not begun.
// ============================================================================================

namespace {

int32_t Utf8LengthOfUnit(char16_t unit)
{
    return unit < 0x80 ? 1 : (unit < 0x800 ? 2 : 3);
}

// Largest code point a four-byte sequence may carry (the last one a surrogate pair can hold).
constexpr uint32_t kMaxCodePoint = 0x10FFFF;

}  // namespace

int32_t WideToUtf8Buffer(char* dst, int32_t dstSize, const char16_t* src, int32_t count)
{
    if (!src || count < 0) {
        count = 0;
    }
    if (!dst) {
        int32_t needed = 0;
        for (int32_t i = 0; i < count; ++i) {
            needed += Utf8LengthOfUnit(src[i]);
        }
        return needed + 1;
    }
    if (dstSize < 1) {
        return 0;
    }
    const int32_t limit = dstSize - 1;  // the last byte is the terminating zero's
    int32_t pos = 0;
    for (int32_t i = 0; i < count; ++i) {
        const char16_t u = src[i];
        const int32_t length = Utf8LengthOfUnit(u);
        if (pos + length > limit) {
            break;
        }
        if (length == 1) {
            dst[pos] = static_cast<char>(u);
        } else if (length == 2) {
            dst[pos] = static_cast<char>(0xC0 | (u >> 6));
            dst[pos + 1] = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            dst[pos] = static_cast<char>(0xE0 | (u >> 12));
            dst[pos + 1] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            dst[pos + 2] = static_cast<char>(0x80 | (u & 0x3F));
        }
        pos += length;
    }
    dst[pos] = '\0';
    return pos + 1;
}

int32_t Utf8ToWideBuffer(char16_t* dst, int32_t dstCount, const char* src, int32_t len)
{
    if (!src || len < 0) {
        len = 0;
    }
    // A destination with no room gets nothing written; the call still says whether the
    // input is valid.
    const bool noRoom = dst && dstCount < 1;
    const bool writing = dst && !noRoom;
    const int32_t limit = dstCount - 1;  // the last unit is the terminating zero's
    const auto* bytes = reinterpret_cast<const unsigned char*>(src);
    int32_t units = 0;
    int32_t i = 0;
    while (i < len) {
        const unsigned char lead = bytes[i];
        uint32_t codePoint;
        int32_t length;
        if (lead < 0x80) {
            codePoint = lead;
            length = 1;
        } else if (lead < 0xC0) {
            return -1;  // a continuation byte with no lead byte
        } else if (lead < 0xE0) {
            codePoint = lead & 0x1F;
            length = 2;
        } else if (lead < 0xF0) {
            codePoint = lead & 0x0F;
            length = 3;
        } else if (lead < 0xF8) {
            codePoint = lead & 0x07;
            length = 4;
        } else {
            return -1;  // no sequence begins with 0xF8 or above
        }
        if (length > len - i) {
            return -1;  // cut off by the end of the input
        }
        for (int32_t k = 1; k < length; ++k) {
            const unsigned char next = bytes[i + k];
            if ((next & 0xC0) != 0x80) {
                return -1;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint > kMaxCodePoint) {
            return -1;
        }
        const int32_t needed = codePoint >= 0x10000 ? 2 : 1;
        if (writing) {
            if (units + needed > limit) {
                break;
            }
            if (needed == 1) {
                dst[units] = static_cast<char16_t>(codePoint);
            } else {
                const uint32_t v = codePoint - 0x10000;
                dst[units] = static_cast<char16_t>(0xD800 + (v >> 10));
                dst[units + 1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
            }
        }
        units += needed;
        i += length;
    }
    if (noRoom) {
        return 0;
    }
    if (writing) {
        dst[units] = u'\0';
    }
    return units + 1;
}

std::string Utf8EncodeText(const std::u16string& wide)
{
    if (wide.empty()) {
        return {};
    }
    std::string buffer(wide.size() * 3 + 4, '\0');
    const int32_t n = WideToUtf8Buffer(buffer.data(), static_cast<int32_t>(buffer.size()), wide.data(),
                                       static_cast<int32_t>(wide.size()));
    buffer.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return buffer;
}

namespace {

std::u16string Utf8Decode(std::string_view bytes)
{
    if (bytes.empty()) {
        return {};
    }
    // A byte never gives more than one unit (four bytes give at most two).
    std::u16string buffer(bytes.size() + 1, u'\0');
    const int32_t n = Utf8ToWideBuffer(buffer.data(), static_cast<int32_t>(buffer.size()), bytes.data(),
                                       static_cast<int32_t>(bytes.size()));
    if (n < 1) {
        return {};
    }
    buffer.resize(static_cast<size_t>(n - 1));
    return buffer;
}

}  // namespace

std::u16string Utf8DecodeText(const std::string& s)
{
    return Utf8Decode(s);
}

std::u16string Utf8DecodeSlice(const std::string& s, int32_t start, int32_t count)
{
    return Utf8Decode(Slice(s, start, count));
}

// ============================================================================================
// Base64
// ============================================================================================

namespace {

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// 57 input bytes make one line of 76 characters.
constexpr size_t kBase64LineBytes = 57;
constexpr uint8_t kBase64Skip = 0xFF;

struct TBase64Table {
    uint8_t FValue[256];
    TBase64Table()
    {
        std::memset(FValue, kBase64Skip, sizeof FValue);
        for (uint8_t i = 0; i < 64; ++i) {
            FValue[static_cast<unsigned char>(kBase64Alphabet[i])] = i;
        }
    }
};

void AppendBase64Group(std::string& out, const unsigned char* p, size_t n)
{
    const unsigned b0 = p[0];
    const unsigned b1 = n > 1 ? p[1] : 0;
    const unsigned b2 = n > 2 ? p[2] : 0;
    out += kBase64Alphabet[b0 >> 2];
    out += kBase64Alphabet[((b0 & 3) << 4) | (b1 >> 4)];
    out += n > 1 ? kBase64Alphabet[((b1 & 15) << 2) | (b2 >> 6)] : '=';
    out += n > 2 ? kBase64Alphabet[b2 & 63] : '=';
}

}  // namespace

std::string Base64EncodeText(const std::string& s)
{
    std::string out;
    const size_t n = s.size();
    if (n == 0) {
        return out;
    }
    out.reserve((n + 2) / 3 * 4 + (n - 1) / kBase64LineBytes * 2);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t i = 0;
    // Whole lines first, each followed by CR LF when more text follows.
    for (; n - i >= kBase64LineBytes; i += kBase64LineBytes) {
        for (size_t k = 0; k < kBase64LineBytes; k += 3) {
            AppendBase64Group(out, p + i + k, 3);
        }
        if (i + kBase64LineBytes < n) {
            out += "\r\n";
        }
    }
    // Then the remainder, padded.
    for (; i < n; i += 3) {
        AppendBase64Group(out, p + i, std::min<size_t>(3, n - i));
    }
    return out;
}

std::string Base64DecodeText(const std::string& s)
{
    static const TBase64Table kTable;
    std::string out;
    out.reserve(s.size() / 4 * 3 + 2);
    uint32_t accumulator = 0;
    int needed = 4;
    for (const char c : s) {
        const uint8_t v = kTable.FValue[static_cast<unsigned char>(c)];
        if (v == kBase64Skip) {
            continue;
        }
        accumulator = (accumulator << 6) | v;
        if (--needed == 0) {
            out += static_cast<char>(accumulator >> 16);
            out += static_cast<char>(accumulator >> 8);
            out += static_cast<char>(accumulator);
            accumulator = 0;
            needed = 4;
        }
    }
    if (needed == 1) {  // three characters left: 18 bits, two bytes
        out += static_cast<char>(accumulator >> 10);
        out += static_cast<char>(accumulator >> 2);
    } else if (needed == 2) {  // two characters left: 12 bits, one byte
        out += static_cast<char>(accumulator >> 4);
    }
    return out;
}

// ============================================================================================
// Numbers as text
//
// Nothing here consults the locale: integers go through std::to_chars, reals through
// std::to_chars and std::from_chars, currency through integer arithmetic.
// ============================================================================================

namespace {

template <class T>
std::string ToDecimal(T value)
{
    char buffer[24];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

[[noreturn]] void RaiseInvalidInteger(const std::string& s)
{
    throw EConvertError("'" + s + "' is not a valid integer value");
}

[[noreturn]] void RaiseInvalidFloat(const std::string& s)
{
    throw EConvertError("'" + s + "' is not a valid floating point value");
}

// Leading blanks, an optional sign, then decimal digits, or "$" / "0x" and hexadecimal digits.
// Decimal values must lie in [minValue, maxValue]; hexadecimal ones may use the whole
// unsigned range of the type (all bits set is -1), as the platform's parser allows.
std::optional<int64_t> ParseInteger(const std::string& s, int64_t minValue, int64_t maxValue, uint64_t hexMax)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) {
        return std::nullopt;
    }
    const uint64_t base = hex ? 16 : 10;
    const uint64_t limit = hex ? hexMax : (negative ? uint64_t(-(minValue + 1)) + 1 : uint64_t(maxValue));
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const int digit = hex ? HexValue(s[i]) : (s[i] >= '0' && s[i] <= '9' ? s[i] - '0' : -1);
        if (digit < 0 || value > (limit - uint64_t(digit)) / base) {
            return std::nullopt;
        }
        value = value * base + uint64_t(digit);
    }
    if (hex && hexMax <= std::numeric_limits<uint32_t>::max()) {
        value = uint64_t(int64_t(int32_t(uint32_t(value))));  // all 32 bits set is -1
    }
    return negative ? int64_t(0 - value) : int64_t(value);
}

// A decimal number: sign, digits with an optional ".", an optional exponent. Blanks may
// surround it.
struct TDecimalText {
    bool FNegative = false;
    std::string FDigits;    // without leading zeros
    int64_t FPoint = 0;     // the decimal point stands after this many digits of FDigits
};

std::optional<TDecimalText> ParseDecimal(const std::string& s)
{
    size_t i = 0;
    size_t end = s.size();
    while (i < end && s[i] == ' ') {
        ++i;
    }
    while (end > i && s[end - 1] == ' ') {
        --end;
    }
    TDecimalText d;
    if (i < end && (s[i] == '+' || s[i] == '-')) {
        d.FNegative = s[i] == '-';
        ++i;
    }
    bool anyDigit = false;
    int64_t point = 0;
    bool afterPoint = false;
    for (; i < end; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (d.FDigits.empty() && c == '0') {
                if (afterPoint) {
                    --point;  // a leading zero after the point moves it
                }
                continue;
            }
            d.FDigits += c;
            if (!afterPoint) {
                ++point;
            }
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (i < end && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < end && (s[i] == '+' || s[i] == '-')) {
            negativeExponent = s[i] == '-';
            ++i;
        }
        if (i >= end) {
            return std::nullopt;
        }
        int64_t exponent = 0;
        for (; i < end; ++i) {
            if (s[i] < '0' || s[i] > '9') {
                return std::nullopt;
            }
            exponent = std::min<int64_t>(exponent * 10 + (s[i] - '0'), 100000);
        }
        point += negativeExponent ? -exponent : exponent;
    }
    if (i != end) {
        return std::nullopt;
    }
    d.FPoint = point;
    return d;
}

std::optional<int64_t> ParseInt32(const std::string& s)
{
    return ParseInteger(s, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                        std::numeric_limits<uint32_t>::max());
}

}  // namespace

std::string IntegerToText(int32_t value)
{
    return ToDecimal(value);
}

std::string CardinalToText(uint32_t value)
{
    return ToDecimal(value);
}

std::string LargeIntToText(int64_t value)
{
    return ToDecimal(value);
}

int32_t TextToInteger(const std::string& s)
{
    const auto value = ParseInt32(s);
    if (!value) {
        RaiseInvalidInteger(s);
    }
    return static_cast<int32_t>(*value);
}

int64_t TextToLargeInt(const std::string& s)
{
    const auto value = ParseInteger(s, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                                    std::numeric_limits<uint64_t>::max());
    if (!value) {
        RaiseInvalidInteger(s);
    }
    return *value;
}

int32_t TextToIntegerDef(const std::string& s, int32_t defaultValue)
{
    const auto value = ParseInt32(s);
    return value ? static_cast<int32_t>(*value) : defaultValue;
}

std::string FloatToText(double value)
{
    // Significant digits of the general form, and the exponent from which it switches to the
    // exponent form ("E"): at 10^15 and above, and below 10^-5.
    constexpr int kGeneralDigits = 15;
    constexpr int kSmallestFixedExponent = -5;
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (value == 0) {
        return "0";
    }
    char buffer[40];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                                 kGeneralDigits - 1);
    // buffer: [-]d.dddddddddddddde[+-]xx
    const std::string_view text(buffer, static_cast<size_t>(r.ptr - buffer));
    const size_t e = text.find('e');
    const bool negative = text[0] == '-';
    std::string digits;
    for (const char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);

    std::string out = negative ? "-" : "";
    const int length = static_cast<int>(digits.size());
    if (exponent >= kGeneralDigits || exponent < kSmallestFixedExponent) {
        out += digits[0];
        if (length > 1) {
            out += '.';
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else if (length <= exponent + 1) {
        out += digits;
        out.append(static_cast<size_t>(exponent + 1 - length), '0');
    } else {
        out.append(digits, 0, static_cast<size_t>(exponent + 1));
        out += '.';
        out.append(digits, static_cast<size_t>(exponent + 1), std::string::npos);
    }
    return out;
}

std::string CurrencyToText(int64_t currency)
{
    constexpr uint64_t kScale = 10000;
    const uint64_t magnitude = currency < 0 ? 0 - static_cast<uint64_t>(currency) : static_cast<uint64_t>(currency);
    std::string out = currency < 0 ? "-" : "";
    out += ToDecimal(magnitude / kScale);
    uint64_t fraction = magnitude % kScale;
    if (fraction != 0) {
        std::string decimals = ZeroPad(ToDecimal(fraction), 4);
        while (decimals.back() == '0') {
            decimals.pop_back();
        }
        out += '.';
        out += decimals;
    }
    return out;
}

double TextToFloat(const std::string& s)
{
    const auto d = ParseDecimal(s);
    if (!d) {
        RaiseInvalidFloat(s);
    }
    if (d->FDigits.empty()) {
        return d->FNegative ? -0.0 : 0.0;
    }
    // Rebuild it as 0.DIGITSe<point> for from_chars, which reads only the "C" form.
    const std::string normal = "0." + d->FDigits + "e" + std::to_string(d->FPoint);
    double value = 0;
    const auto r = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        if (d->FPoint > 0) {
            RaiseInvalidFloat(s);  // too large for a double
        }
        value = 0;  // too small: it is zero
    } else if (r.ec != std::errc() || r.ptr != normal.data() + normal.size()) {
        RaiseInvalidFloat(s);
    }
    return d->FNegative ? -value : value;
}

int64_t TextToCurrency(const std::string& s)
{
    constexpr int kCurrencyDecimals = 4;
    const auto d = ParseDecimal(s);
    if (!d) {
        RaiseInvalidFloat(s);
    }
    if (d->FDigits.empty()) {
        return 0;
    }
    const uint64_t limit = d->FNegative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    const int64_t keep = d->FPoint + kCurrencyDecimals;  // digits before the rounding digit
    const auto digitAt = [&](int64_t k) {
        return k >= 0 && k < static_cast<int64_t>(d->FDigits.size()) ? d->FDigits[static_cast<size_t>(k)] - '0' : 0;
    };
    uint64_t value = 0;
    if (keep > 20) {
        RaiseInvalidFloat(s);
    }
    for (int64_t k = 0; k < keep; ++k) {
        const auto digit = static_cast<uint64_t>(digitAt(k));
        if (value > (limit - digit) / 10) {
            RaiseInvalidFloat(s);
        }
        value = value * 10 + digit;
    }
    if (keep >= 0 && digitAt(keep) >= 5) {
        if (value == limit) {
            RaiseInvalidFloat(s);
        }
        ++value;
    }
    return d->FNegative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

std::string ZeroPad(const std::string& s, int32_t width)
{
    if (width <= static_cast<int32_t>(s.size())) {
        return s;
    }
    return std::string(static_cast<size_t>(width) - s.size(), '0') + s;
}

// ============================================================================================
// Dates as text
// ============================================================================================

namespace {

// Removes the bytes below 33 at both ends of s.
void TrimBlanks(std::string& s)
{
    size_t from = 0;
    size_t to = s.size();
    while (from < to && static_cast<unsigned char>(s[from]) <= ' ') {
        ++from;
    }
    while (to > from && static_cast<unsigned char>(s[to - 1]) <= ' ') {
        --to;
    }
    s = s.substr(from, to - from);
}

// The readers' shared step: the number before separator (all of s when it is missing) is
// taken off the front of s together with the separator, and the rest is trimmed. An empty
// piece is 0; one that is no number raises "Invalid DateTime format.".
int32_t PieceToNumber(const std::string& piece)
{
    if (piece.empty()) {
        return 0;
    }
    const auto value = ParseInt32(piece);
    if (!value) {
        throw EConvertError("Invalid DateTime format.");
    }
    return static_cast<int32_t>(*value);
}

int32_t TakeNumber(std::string& s, char separator)
{
    const size_t at = s.find(separator);
    const std::string piece = s.substr(0, at);
    s.erase(0, at == std::string::npos ? std::string::npos : at + 1);
    TrimBlanks(s);
    return PieceToNumber(piece);
}

// The next count characters of s as a number (0 when none are left), taken off its front.
int32_t TakeDigits(std::string& s, size_t count)
{
    std::string piece = s.substr(0, count);
    s.erase(0, piece.size());
    return PieceToNumber(piece);
}

TDateTime CombineDateAndTime(TDateTime date, TDateTime time)
{
    return date >= 0 ? date + time : date - time;
}

// Runs a reader, turning any failure into EConvertError with its message, CR LF and trailer.
template <class Reader>
TDateTime ReadDateText(const char* trailer, Reader read)
{
    try {
        return read();
    } catch (const Exception& e) {
        throw EConvertError(e.Message() + "\r\n" + trailer);
    }
}

std::string TwoDigits(uint16_t value)
{
    return ZeroPad(ToDecimal(value), 2);
}

}  // namespace

std::string DateTimeToText(TDateTime d)
{
    if (d == 0) {
        return {};
    }
    uint16_t year, month, day, hour, minute, second, ms;
    DecodeDate(d, year, month, day);
    DecodeTime(d, hour, minute, second, ms);
    const bool hasDay = std::trunc(d) != 0;
    const bool hasTime = hour != 0 || minute != 0 || second != 0 || ms != 0 || !hasDay;
    std::string out;
    if (hasDay) {
        out = ToDecimal(year) + "-" + ToDecimal(month) + "-" + ToDecimal(day);
    }
    if (hasDay && hasTime) {
        out += ' ';
    }
    if (hasTime) {
        out += ToDecimal(hour) + ":" + ToDecimal(minute) + ":" + ToDecimal(second) + "." + ToDecimal(ms);
    }
    return out;
}

TDateTime TextToDateTime(const std::string& s)
{
    return ReadDateText("Invalid date format.", [&] {
        std::string rest = s;
        TDateTime date = 0;
        if (rest.find('-') != std::string::npos) {
            const int32_t year = TakeNumber(rest, '-');
            const int32_t month = TakeNumber(rest, '-');
            const int32_t day = TakeNumber(rest, ' ');
            if (year != 0 || month != 0 || day != 0) {
                date = EncodeDate(year, month, day);
            }
        }
        if (rest.find(':') != std::string::npos) {
            const int32_t hour = TakeNumber(rest, ':');
            const int32_t minute = TakeNumber(rest, ':');
            const int32_t second = TakeNumber(rest, '.');
            const int32_t ms = PieceToNumber(rest);
            date = CombineDateAndTime(date, EncodeTime(hour, minute, second, ms));
        }
        return date;
    });
}

std::string DateTimeToISO(TDateTime d)
{
    uint16_t year, month, day, hour, minute, second, ms;
    DecodeDate(d, year, month, day);
    DecodeTime(d, hour, minute, second, ms);
    const std::string date = std::trunc(d) == 0
                                 ? "00000000"
                                 : ZeroPad(ToDecimal(year), 4) + TwoDigits(month) + TwoDigits(day);
    return date + "T" + TwoDigits(hour) + ":" + TwoDigits(minute) + ":" + TwoDigits(second);
}

TDateTime ISOToDateTime(const std::string& s)
{
    return ReadDateText("Invalid DateTime format.", [&] {
        const size_t t = s.find('T');
        std::string rest = s;
        TDateTime date = 0;
        if (t != std::string::npos || s.find(':') == std::string::npos) {
            int32_t year, month, day;
            if (s.find('-') == std::string::npos) {
                std::string part = s.substr(0, t);
                year = TakeDigits(part, 4);
                month = TakeDigits(part, 2);
                day = TakeDigits(part, 2);
                if (!part.empty()) {
                    throw EConvertError("Date Part too long.");
                }
                rest = t == std::string::npos ? std::string() : s.substr(t + 1);
            } else {
                year = TakeNumber(rest, '-');
                month = TakeNumber(rest, '-');
                day = TakeNumber(rest, 'T');
            }
            if (year != 0 || month != 0 || day != 0) {
                date = EncodeDate(year, month, day);
            }
        }
        const int32_t hour = TakeNumber(rest, ':');
        const int32_t minute = TakeNumber(rest, ':');
        const int32_t second = TakeNumber(rest, '.');
        const int32_t ms = TakeNumber(rest, '+');
        if (hour != 0 || minute != 0 || second != 0 || ms != 0) {
            date = CombineDateAndTime(date, EncodeTime(hour, minute, second, ms));
        }
        return date;
    });
}
