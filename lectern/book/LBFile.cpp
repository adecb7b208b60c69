#include "LBFile.h"

#include "lectern/book/FlDfDec.h"

#include "classlib/Platform.h"
#include "classlib/PlatformText.h"

#include <algorithm>
#include <cstring>

namespace {

// The marker is "LBF" followed kMarkerRepeats times by "PADDING" and "LBF".
constexpr int kMarkerRepeats = 5;
// Busy wait of ReadRecord: kBusyWaitSteps sleeps of kBusyWaitStepMs, one second in all.
constexpr int kBusyWaitSteps = 10;
constexpr uint32_t kBusyWaitStepMs = 100;
// The longest pattern FindMarkerInStream takes (it copies the pattern into a local buffer).
constexpr size_t kMaxPatternBytes = 255;

// Moves stream to position; raises the stream's read error when the stream cannot get there,
// so that a failed seek never lets a decode start at the wrong place.
void SeekTo(TStream& stream, int64_t position)
{
    if (stream.Seek(position, SeekOrigin::Begin) != position) {
        throw EReadError("Stream read error");
    }
}

// Reads a text of length bytes from the inflated directory. The length comes from the file:
// a negative one, or one that runs past the bytes left, is damage and raises a read error
// before anything is allocated.
std::string ReadDirectoryText(TStream& directory, int32_t length)
{
    if (length < 0 || length > directory.Size() - directory.Position()) {
        throw EReadError("Stream read error");
    }
    std::string text(static_cast<size_t>(length), '\0');
    directory.ReadBuffer(text.data(), length);
    return text;
}

// A read-only stream over the mapped bytes of the open file, with a position of its own.
class TMappedViewStream : public TStream {
public:
    TMappedViewStream(const uint8_t* data, int64_t size) : FData(data), FSize(size) {}

    int32_t Read(void* buffer, int32_t count) override
    {
        if (count <= 0 || FPosition < 0 || FPosition >= FSize) {
            return 0;
        }
        const auto n = static_cast<int32_t>(std::min<int64_t>(count, FSize - FPosition));
        std::memcpy(buffer, FData + FPosition, static_cast<size_t>(n));
        FPosition += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int64_t Seek(int64_t offset, SeekOrigin origin) override
    {
        switch (origin) {
        case SeekOrigin::Begin: FPosition = offset; break;
        case SeekOrigin::Current: FPosition += offset; break;
        case SeekOrigin::End: FPosition = FSize + offset; break;
        }
        return FPosition;
    }
    int64_t Size() override { return FSize; }

    CL_CLASS_NAME(TMappedViewStream)

private:
    const uint8_t* FData;
    int64_t FSize;
    int64_t FPosition = 0;
};

// Clears a flag when the scope ends, however it ends.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : FFlag(flag) { FFlag = true; }
    ~FlagGuard() { FFlag = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& FFlag;
};

}  // namespace

// ---- marker search --------------------------------------------------------------------------

int32_t FindPattern(const char* pattern, const uint8_t* buffer, int32_t length)
{
    const auto* p = reinterpret_cast<const uint8_t*>(pattern);
    const int64_t m = static_cast<int64_t>(std::strlen(pattern));
    if (m == 0) {
        return 0;
    }
    if (m > length) {
        return -1;
    }
    // Horspool: how far the pattern may move when the byte under its last character is b.
    int64_t skip[256];
    for (int64_t& s : skip) {
        s = m;
    }
    for (int64_t i = 0; i < m - 1; ++i) {
        skip[p[i]] = m - 1 - i;
    }
    for (int64_t pos = m - 1; pos < length; pos += skip[buffer[pos]]) {
        int64_t j = m - 1;
        int64_t k = pos;
        while (j >= 0 && buffer[k] == p[j]) {
            --j;
            --k;
        }
        if (j < 0) {
            return static_cast<int32_t>(k + 1);
        }
    }
    return -1;
}

int64_t FindMarkerInStream(const char* pattern, TStream& stream)
{
    char local[kMaxPatternBytes + 1];
    const size_t m = strnlen(pattern, kMaxPatternBytes);
    std::memcpy(local, pattern, m);
    local[m] = '\0';

    std::vector<uint8_t> block(kMarkerSearchBlockBytes);
    for (;;) {
        const int32_t n = stream.Read(block.data(), kMarkerSearchBlockBytes);
        const int32_t found = FindPattern(local, block.data(), n);
        const int64_t after = stream.Position();
        if (found >= 0) {
            return after - n + found;
        }
        if (n < kMarkerSearchBlockBytes) {
            return -1;
        }
        // Step back so that a pattern straddling two blocks lies whole in the next one.
        stream.Seek(-static_cast<int64_t>(m > 0 ? m - 1 : 0), SeekOrigin::Current);
    }
}

// ---- TLBFile --------------------------------------------------------------------------------

TLBFile::TLBFile(TComponent* owner) : TComponent(owner), FWorkStream(std::make_unique<TMemoryStream>()) {}

TLBFile::~TLBFile() { Close(); }

std::string TLBFile::GetMarker()
{
    // Read through volatile pointers so that the compiler cannot fold the pieces into one
    // constant: the whole marker must not appear in the program image.
    static const char kLead[] = "LBF";
    static const char kPad[] = "PADDING";
    const volatile char* lead = kLead;
    const volatile char* pad = kPad;
    std::string marker;
    marker.reserve(kBookMarkerBytes);
    const auto append = [&marker](const volatile char* piece, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            marker += piece[i];
        }
    };
    append(lead, sizeof kLead - 1);
    for (int i = 0; i < kMarkerRepeats; ++i) {
        append(pad, sizeof kPad - 1);
        append(lead, sizeof kLead - 1);
    }
    return marker;
}

bool TLBFile::Open(const std::string& path, int16_t mode) { return Open(plat::SystemToWide(path), mode); }

std::string TLBFile::Path() const { return plat::WideToSystem(FPath); }

bool TLBFile::Open(const std::u16string& path, int16_t mode)
{
    if (FFileStream) {
        Close();
    }
    bool result = false;
    try {
        if (mode == kModeRead) {
            if (plat::FileExists(path)) {
                FMode = kModeRead;
                FFileStream = std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyWrite);
                if (LocateContainer()) {
                    FFileSize = FFileStream->Size();
                    FPath = path;
                    OpenViewFile();
                    result = true;
                }
            }
        } else if (mode == kModeAppend || mode == kModeCreate) {
            FMode = kModeAppend;
            if (mode == kModeAppend && plat::FileExists(path)) {
                FFileStream = std::make_unique<TFileStream>(path, fmOpenReadWrite | fmShareExclusive);
                FFileStream->Seek(0, SeekOrigin::End);
            } else {
                FFileStream = std::make_unique<TFileStream>(path, fmCreate);
            }
            const std::string marker = GetMarker();
            FFileStream->WriteBuffer(marker.data(), kBookMarkerBytes);
            FBaseOffset = FFileStream->Size();
            FFileStream->WriteInt32(0);
            result = true;
        }
    } catch (const ECorruptInput&) {
        result = false;  // a damaged container
    } catch (const EStreamError&) {
        result = false;  // the file could not be opened, created or written
    }
    if (!result) {
        Close();
    }
    return result;
}

void TLBFile::OpenViewFile()
{
    // The file mapped into memory: views then read with no system call at all (under Wine a
    // positional read of a handle costs a round trip to the server). A file too large for the
    // address space is read through a second handle instead.
    FMappedView = plat::MapFileReadOnly(FFileStream->Handle(), FFileSize);
    if (FMappedView == nullptr) {
        OpenViewHandle();
    }
}

void TLBFile::OpenViewHandle()
{
    // Read access with no sharing restriction, which the main stream's deny-write allows. When
    // the file cannot be had a second time, the book still opens and each extraction raises
    // the open's error, as opening a stream per extraction would.
    try {
        FViewFile = std::make_unique<TFileStream>(FPath, fmOpenRead | fmShareDenyNone);
    } catch (const EFOpenError& e) {
        FViewFileError = e.Message();
    }
}

void TLBFile::DropMappedView()
{
    plat::UnmapFile(FMappedView, FFileSize);
    FMappedView = nullptr;
}

void TLBFile::ReadViewsThroughHandle()
{
    DropMappedView();
    if (FFileStream && !FViewFile) {
        OpenViewHandle();
    }
}

void TLBFile::Close()
{
    DropMappedView();
    FViewFile.reset();
    FViewFileError.clear();
    FFileStream.reset();
    ClearRecords();
    FWorkStream->Clear();
    FPath.clear();
    FHeader.clear();
}

bool TLBFile::LocateContainer()
{
    try {
        const std::string marker = GetMarker();
        const int64_t markerOffset = FindMarkerInStream(marker.c_str(), *FFileStream);
        if (markerOffset < 0) {
            return false;
        }
        FBaseOffset = markerOffset + kBookMarkerBytes;
        SeekTo(*FFileStream, FBaseOffset);
        const int32_t directoryOffset = FFileStream->ReadInt32();
        FWorkStream->Clear();
        if (directoryOffset > 0) {
            LoadDirectory(directoryOffset);
        }
        return true;
    } catch (const ECorruptInput&) {
        return false;  // a short file, a directory whose header or count is damaged
    }
}

void TLBFile::LoadDirectory(int32_t directoryOffset)
{
    ClearRecords();
    TMemoryStream& directory = *ReadEntryAt(directoryOffset);
    // A damaged header or count escapes: the open fails.
    FHeader.clear();
    const int32_t headerLength = directory.ReadInt32();
    if (headerLength > 0) {
        FHeader = ReadDirectoryText(directory, headerLength);
    }
    const int32_t count = directory.ReadInt32();
    // The first damaged record ends the list; the complete records before it stay.
    try {
        for (int32_t i = 0; i < count; ++i) {
            auto record = std::make_unique<TLBFileRecord>();
            record->Name = ReadDirectoryText(directory, directory.ReadInt32());
            record->Extra = ReadDirectoryText(directory, directory.ReadInt32());
            record->Offset = directory.ReadInt32();
            FRecords.push_back(std::move(record));
        }
    } catch (const ECorruptInput&) {
    }
    for (const auto& record : FRecords) {
        if (record->Offset >= 0 && record->Offset < directoryOffset) {
            FDataStarts.push_back(record->Offset);
        }
    }
    std::sort(FDataStarts.begin(), FDataStarts.end());
    FDataStarts.push_back(directoryOffset);
}

int TLBFile::FindIndex(const std::string& name) const
{
    int lo = 0;
    int hi = RecordCount() - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        switch (plat::CompareTextLocale(FRecords[static_cast<size_t>(mid)]->Name, name)) {
        case plat::TextOrder::Equal: return mid;
        case plat::TextOrder::Greater: hi = mid - 1; break;
        case plat::TextOrder::Less:
        case plat::TextOrder::Failed: lo = mid + 1; break;
        }
    }
    return -1;
}

TLBFileRecord* TLBFile::FindRecord(const std::string& name)
{
    if (FMode == kModeRead) {
        const int index = FindIndex(name);
        return index >= 0 ? FRecords[static_cast<size_t>(index)].get() : nullptr;
    }
    for (const auto& record : FRecords) {
        if (plat::CompareTextLocale(record->Name, name) == plat::TextOrder::Equal) {
            return record.get();
        }
    }
    return nullptr;
}

bool TLBFile::Exists(const std::string& name) { return FindRecord(name) != nullptr; }

TMemoryStream* TLBFile::ReadEntryAt(int32_t offset)
{
    FWorkStream->Clear();
    if (FMode == kModeAppend) {
        return nullptr;
    }
    if (offset >= 0 && FFileStream) {
        try {
            SeekTo(*FFileStream, FBaseOffset + static_cast<int64_t>(offset));
            InflateDefault(FFileStream.get(), FWorkStream.get());
        } catch (const ECorruptInput&) {
            FWorkStream->Clear();  // damaged data read empty; any other failure travels on
        }
    }
    FWorkStream->Seek(0, SeekOrigin::Begin);
    return FWorkStream.get();
}

TMemoryStream* TLBFile::ReadRecord(TLBFileRecord* record)
{
    if (FBusy) {
        for (int i = 0; i < kBusyWaitSteps; ++i) {
            plat::SleepMs(kBusyWaitStepMs);
        }
        if (FBusy) {
            return nullptr;
        }
    }
    FWorkStream->Clear();
    const FlagGuard busy(FBusy);
    TMemoryStream* result = FWorkStream.get();
    if (record) {
        if (record->Cache) {
            result = record->Cache.get();
        } else {
            result = ReadEntryAt(record->Offset);
            if (result && FCacheEntries) {
                record->Cache = std::make_unique<TMemoryStream>();
                record->Cache->CopyFrom(*result, 0);
            }
        }
    }
    if (result) {
        result->Seek(0, SeekOrigin::Begin);
    }
    return result;
}

TMemoryStream* TLBFile::ReadEntry(const std::string& name)
{
    FWorkStream->Clear();
    if (FMode == kModeAppend) {
        return nullptr;
    }
    return ReadRecord(FindRecord(name));
}

bool TLBFile::ExtractEntry(const std::string& name, TStream* dest)
{
    const TLBFileRecord* record = FindRecord(name);
    if (FMode == kModeAppend || !record || record->Offset < 0) {
        return false;
    }
    bool result = false;
    if (FFileStream) {
        // A view with a position of its own, on the mapped file or on the handle kept for views,
        // so that any number of threads can extract at once without opening the file for each
        // entry, and never move the main stream's position (a positional read on Windows moves
        // the position of the handle it reads).
        const int64_t start = FBaseOffset + static_cast<int64_t>(record->Offset);
        if (FMappedView != nullptr) {
            TMappedViewStream file(FMappedView, FFileSize);
            SeekTo(file, start);
            InflateDefault(&file, dest);
        } else {
            if (!FViewFile) {
                throw EFOpenError(FViewFileError);
            }
            TFileViewStream file(FViewFile->Handle(), FFileSize);
            SeekTo(file, start);
            InflateDefault(&file, dest);
        }
        result = true;
    }
    dest->Seek(0, SeekOrigin::Begin);
    return result;
}

void TLBFile::ClearRecords()
{
    FRecords.clear();
    FDataStarts.clear();
}

int64_t TLBFile::StoredSize(const std::string& name)
{
    const TLBFileRecord* record = FindRecord(name);
    return record ? StoredSize(*record) : 0;
}

int64_t TLBFile::StoredSize(const TLBFileRecord& record) const
{
    if (FMode != kModeRead || record.Offset < 0) {
        return 0;
    }
    const auto next = std::upper_bound(FDataStarts.begin(), FDataStarts.end(), record.Offset);
    return next == FDataStarts.end() ? 0 : static_cast<int64_t>(*next) - record.Offset;
}
