// Streams: a byte sequence with a position.
//
// TStream is the abstract base: Read and Write move up to count bytes and answer how many
// they moved; ReadBuffer and WriteBuffer insist on all of them (EReadError "Stream read
// error", EWriteError "Stream write error"). Positions and sizes are 64-bit.
//
// TMemoryStream keeps its bytes in memory; TFileStream is a file opened with one of the
// open and share modes of Platform.h, or created with fmCreate.
#pragma once

#include "Platform.h"
#include "SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

using plat::SeekOrigin;
using plat::fmCreate;
using plat::fmOpenRead;
using plat::fmOpenReadWrite;
using plat::fmOpenWrite;
using plat::fmShareCompat;
using plat::fmShareDenyNone;
using plat::fmShareDenyRead;
using plat::fmShareDenyWrite;
using plat::fmShareExclusive;

class TStream : public TObject {
public:
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }
    virtual int64_t Size();
    virtual void SetSize(int64_t size);

    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's position; count 0 copies the whole of source from its
    // start. Answers the bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);

    // Little-endian 32-bit integers, as the file formats of the system store them.
    int32_t ReadInt32();
    void WriteInt32(int32_t value);

    CL_CLASS_NAME(TStream)
};

class TMemoryStream : public TStream {
public:
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(FData.size()); }
    void SetSize(int64_t size) override;

    void Clear();
    uint8_t* Memory() { return FData.data(); }
    const uint8_t* Memory() const { return FData.data(); }
    // The whole content as a string of bytes (regardless of the position).
    std::string DataString() const { return std::string(FData.begin(), FData.end()); }

    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& dest) const;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;

    CL_CLASS_NAME(TMemoryStream)

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};

class THandleStream : public TStream {
public:
    explicit THandleStream(plat::FileHandle handle) : FHandle(handle) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    void SetSize(int64_t size) override;
    plat::FileHandle Handle() const { return FHandle; }

    CL_CLASS_NAME(THandleStream)

protected:
    plat::FileHandle FHandle;
};

// A read-only view of an open file with a position of its own: views of one handle can be
// read by several threads at once. It writes nothing (WriteBuffer raises); the size is fixed
// when the view is made. The handle stays its owner's.
class TFileViewStream : public TStream {
public:
    TFileViewStream(plat::FileHandle handle, int64_t size) : FHandle(handle), FSize(size) {}

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return FSize; }

    CL_CLASS_NAME(TFileViewStream)

private:
    plat::FileHandle FHandle;
    int64_t FSize;
    int64_t FPosition = 0;
};

CL_DECLARE_EXCEPTION(EResNotFound, Exception)

// A read-only stream over one of the running program's RCDATA resources (pictures built into
// the program). Raises EResNotFound "Resource NAME not found" when the program has none of that
// name; writing moves nothing (WriteBuffer raises).
class TResourceStream : public TStream {
public:
    explicit TResourceStream(const std::string& resourceName);

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;
    int64_t Size() override { return FSize; }
    const uint8_t* Memory() const { return FData; }

    CL_CLASS_NAME(TResourceStream)

private:
    const uint8_t* FData = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

class TFileStream : public THandleStream {
public:
    // mode: fmCreate (or'ed with a share mode), or an open mode or'ed with a share mode.
    // Raises EFCreateError or EFOpenError when the file cannot be had. The wide name reaches
    // files whose names the code page lacks (see Platform.h).
    TFileStream(const std::string& fileName, uint32_t mode);
    TFileStream(const std::u16string& fileName, uint32_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // The name in the code page (the messages' spelling of a wide one).
    const std::string& FileName() const { return FFileName; }

    CL_CLASS_NAME(TFileStream)

private:
    template <class Name>
    void OpenOrCreate(const Name& fileName, uint32_t mode);

    std::string FFileName;
};
