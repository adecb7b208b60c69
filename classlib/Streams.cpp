#include "Streams.h"

#include "PlatformText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int32_t kCopyChunkBytes = 61440;

int32_t ClampCount(int64_t count)
{
    return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
}

}  // namespace

int64_t TStream::Size()
{
    const int64_t position = Seek(0, SeekOrigin::Current);
    const int64_t size = Seek(0, SeekOrigin::End);
    Seek(position, SeekOrigin::Begin);
    return size;
}

void TStream::SetSize(int64_t)
{
    throw EStreamError(Format("%s does not support changing its size", ClassName()));
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const int32_t n = Read(out, ClampCount(count));
        if (n <= 0) {
            throw EReadError("Stream read error");
        }
        out += n;
        count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    const auto* in = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        const int32_t n = Write(in, ClampCount(count));
        if (n <= 0) {
            throw EWriteError("Stream write error");
        }
        in += n;
        count -= n;
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(std::max<int64_t>(count, 1), kCopyChunkBytes)));
    const int64_t total = count;
    while (count > 0) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, static_cast<int64_t>(chunk.size())));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        count -= n;
    }
    return total;
}

int32_t TStream::ReadInt32()
{
    uint8_t bytes[4];
    ReadBuffer(bytes, 4);
    return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

void TStream::WriteInt32(int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 24)};
    WriteBuffer(bytes, 4);
}

// ---- TMemoryStream ---------------------------------------------------------------------------

int32_t TMemoryStream::Read(void* buffer, int32_t count)
{
    if (count <= 0 || FPosition >= Size()) {
        return 0;
    }
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, Size() - FPosition));
    std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0) {
        return 0;
    }
    const int64_t end = FPosition + count;
    if (end > Size()) {
        try {
            if (static_cast<uint64_t>(end) > FData.capacity()) {
                FData.reserve(std::max<size_t>(static_cast<size_t>(end), FData.capacity() + FData.capacity() / 2));
            }
            FData.resize(static_cast<size_t>(end));
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory("Out of memory while expanding memory stream");
        }
    }
    std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::Begin: FPosition = offset; break;
    case SeekOrigin::Current: FPosition += offset; break;
    case SeekOrigin::End: FPosition = Size() + offset; break;
    }
    FPosition = std::max<int64_t>(FPosition, 0);
    return FPosition;
}

void TMemoryStream::SetSize(int64_t size)
{
    try {
        FData.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory while expanding memory stream");
    }
    FPosition = std::min(FPosition, Size());
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const int64_t size = source.Size();
    SetSize(size);
    if (size > 0) {
        source.ReadBuffer(FData.data(), size);
    }
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& dest) const
{
    if (!FData.empty()) {
        dest.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
    }
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}

// ---- THandleStream and TFileStream ---------------------------------------------------------

int32_t THandleStream::Read(void* buffer, int32_t count)
{
    const int32_t n = count > 0 ? plat::FileRead(FHandle, buffer, count) : 0;
    return std::max(n, 0);
}

int32_t THandleStream::Write(const void* buffer, int32_t count)
{
    const int32_t n = count > 0 ? plat::FileWrite(FHandle, buffer, count) : 0;
    return std::max(n, 0);
}

int64_t THandleStream::Seek(int64_t offset, SeekOrigin origin)
{
    return plat::FileSeek(FHandle, offset, origin);
}

void THandleStream::SetSize(int64_t size)
{
    Seek(size, SeekOrigin::Begin);
    if (!plat::FileTruncate(FHandle)) {
        throw EStreamError(plat::LastErrorMessage());
    }
}

int32_t TFileViewStream::Read(void* buffer, int32_t count)
{
    if (count <= 0 || FPosition >= FSize) {
        return 0;
    }
    const int32_t n = plat::FileReadAt(FHandle, FPosition, buffer, count);
    if (n <= 0) {
        return 0;
    }
    FPosition += n;
    return n;
}

int32_t TFileViewStream::Write(const void*, int32_t) { return 0; }

int64_t TFileViewStream::Seek(int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::Begin: FPosition = offset; break;
    case SeekOrigin::Current: FPosition += offset; break;
    case SeekOrigin::End: FPosition = FSize + offset; break;
    }
    return FPosition;
}

TResourceStream::TResourceStream(const std::string& resourceName)
{
    uint32_t size = 0;
    if (!plat::ProgramResource(resourceName, FData, size)) {
        throw EResNotFound(Format("Resource %s not found", resourceName.c_str()));
    }
    FSize = size;
}

int32_t TResourceStream::Read(void* buffer, int32_t count)
{
    if (count <= 0 || FPosition < 0 || FPosition >= FSize) {
        return 0;
    }
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(count, FSize - FPosition));
    std::memcpy(buffer, FData + FPosition, size_t(n));
    FPosition += n;
    return n;
}

int32_t TResourceStream::Write(const void*, int32_t) { return 0; }

int64_t TResourceStream::Seek(int64_t offset, SeekOrigin origin)
{
    switch (origin) {
    case SeekOrigin::Begin: FPosition = offset; break;
    case SeekOrigin::Current: FPosition += offset; break;
    case SeekOrigin::End: FPosition = FSize + offset; break;
    }
    return FPosition;
}

TFileStream::TFileStream(const std::string& fileName, uint32_t mode)
    : THandleStream(plat::kInvalidFile), FFileName(fileName)
{
    OpenOrCreate(fileName, mode);
}

TFileStream::TFileStream(const std::u16string& fileName, uint32_t mode)
    : THandleStream(plat::kInvalidFile), FFileName(plat::WideToSystem(fileName))
{
    OpenOrCreate(fileName, mode);
}

template <class Name>
void TFileStream::OpenOrCreate(const Name& fileName, uint32_t mode)
{
    if ((mode & fmCreate) == fmCreate) {
        FHandle = plat::FileCreate(fileName, mode & 0xF0);
        if (FHandle == plat::kInvalidFile) {
            throw EFCreateError(Format("Cannot create file \"%s\". %s", FFileName.c_str(),
                                       plat::LastErrorMessage().c_str()));
        }
    } else {
        FHandle = plat::FileOpen(fileName, mode);
        if (FHandle == plat::kInvalidFile) {
            throw EFOpenError(Format("Cannot open file \"%s\". %s", FFileName.c_str(),
                                     plat::LastErrorMessage().c_str()));
        }
    }
}

TFileStream::~TFileStream()
{
    if (FHandle != plat::kInvalidFile) {
        plat::FileClose(FHandle);
    }
}
