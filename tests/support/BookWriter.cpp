#include "BookWriter.h"

#include "classlib/Platform.h"
#include "classlib/SysUtils.h"

#include <zlib.h>

#include <algorithm>

namespace booktest {

namespace {

// Bytes of the directory-offset field: entry offsets start behind it.
constexpr int32_t kOffsetFieldBytes = 4;

struct Record {
    std::string name;
    std::string extra;
    int32_t offset;
};

}  // namespace

std::string BookMarker()
{
    // Built from pieces in a loop, never written whole.
    std::string marker = "LBF";
    for (int i = 0; i < 5; ++i) {
        marker += std::string("PADD") + "ING" + "LBF";
    }
    return marker;
}

std::string Int32Bytes(int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v >> 16 & 0xFF),
            static_cast<char>(v >> 24 & 0xFF)};
}

std::string XorshiftBytes(size_t count, uint32_t seed)
{
    std::string data;
    data.reserve(count + 3);
    uint32_t x = seed;
    while (data.size() < count) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        for (int shift = 0; shift < 32; shift += 8) {
            data += static_cast<char>((x >> shift) & 0xFF);
        }
    }
    data.resize(count);
    return data;
}

std::string RawDeflate(const std::string& data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw Exception("deflateInit2 failed");
    }
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) {
        throw Exception("deflate failed");
    }
    return out;
}

BookWriter& BookWriter::Add(const std::string& name, const std::string& data, const std::string& extra)
{
    FEntries.push_back({name, extra, RawDeflate(data), 0});
    return *this;
}

BookWriter& BookWriter::AddRecord(const std::string& name, int32_t offset, const std::string& extra)
{
    FEntries.push_back({name, extra, std::nullopt, offset});
    return *this;
}

BookWriter& BookWriter::AddRawStream(const std::string& name, const std::string& stream)
{
    FEntries.push_back({name, {}, stream, 0});
    return *this;
}

BookWriter& BookWriter::SetHeader(const std::string& header)
{
    FHeader = header;
    return *this;
}

BookWriter& BookWriter::KeepOrder()
{
    FKeepOrder = true;
    return *this;
}

BookWriter& BookWriter::SetDirectoryOffset(int32_t offset)
{
    FDirectoryOffset = offset;
    return *this;
}

BookWriter& BookWriter::SetDirectory(const std::string& bytes)
{
    FDirectory = bytes;
    return *this;
}

BookWriter& BookWriter::SetDirectoryStream(const std::string& stream)
{
    FDirectoryStream = stream;
    return *this;
}

std::string BookWriter::Directory() const
{
    std::vector<Record> records;
    int32_t offset = kOffsetFieldBytes;
    for (const Entry& entry : FEntries) {
        if (entry.stream) {
            records.push_back({entry.name, entry.extra, offset});
            offset += static_cast<int32_t>(entry.stream->size());
        } else {
            records.push_back({entry.name, entry.extra, entry.fixedOffset});
        }
    }
    if (!FKeepOrder) {
        std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
            return plat::CompareTextLocale(a.name, b.name) == plat::TextOrder::Less;
        });
    }
    std::string directory = Int32Bytes(static_cast<int32_t>(FHeader.size())) + FHeader;
    directory += Int32Bytes(static_cast<int32_t>(records.size()));
    for (const Record& record : records) {
        directory += Int32Bytes(static_cast<int32_t>(record.name.size())) + record.name;
        directory += Int32Bytes(static_cast<int32_t>(record.extra.size())) + record.extra;
        directory += Int32Bytes(record.offset);
    }
    return directory;
}

std::string BookWriter::Build() const
{
    std::string streams;
    for (const Entry& entry : FEntries) {
        if (entry.stream) {
            streams += *entry.stream;
        }
    }
    const int32_t directoryOffset = kOffsetFieldBytes + static_cast<int32_t>(streams.size());
    const std::string directoryStream =
        FDirectoryStream ? *FDirectoryStream : RawDeflate(FDirectory ? *FDirectory : Directory());
    return BookMarker() + Int32Bytes(FDirectoryOffset.value_or(directoryOffset)) + streams + directoryStream;
}

void BookWriter::WriteTo(TStream& dest) const
{
    const std::string book = Build();
    dest.WriteBuffer(book.data(), static_cast<int64_t>(book.size()));
}

void BookWriter::WriteFile(const std::string& path, const std::string& prefix) const
{
    TFileStream file(path, fmCreate);
    file.WriteBuffer(prefix.data(), static_cast<int64_t>(prefix.size()));
    WriteTo(file);
}

}  // namespace booktest
