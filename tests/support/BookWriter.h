// Test-only book writer: builds containers for the tests, the fuzz seeds and the benchmarks.
//
//   booktest::BookWriter book;
//   book.Add("index.html", "<html>...</html>").Add("#SYSTEM", "Title=A book\r\n");
//   book.WriteFile(path);                 // a book of its own
//   book.WriteFile(path, exeImageBytes);  // appended behind other data
//
// Entries are raw deflate streams made with zlib; the records are sorted with the comparison
// the reader uses (plat::CompareTextLocale). The Set* and KeepOrder calls damage the container
// on purpose, for tests of broken books.
#pragma once

#include "classlib/Streams.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace booktest {

// The 53-byte container marker, assembled at run time: it must not appear whole in any image.
std::string BookMarker();
// value as four little-endian bytes.
std::string Int32Bytes(int32_t value);
// data as one raw deflate stream (no zlib or gzip wrapper).
std::string RawDeflate(const std::string& data);
// count bytes of xorshift32 words from seed, each little-endian: data that deflate can only
// store, and in which a lost, doubled or moved block shows. (Scripts rebuild the same bytes.)
std::string XorshiftBytes(size_t count, uint32_t seed);

class BookWriter {
public:
    // An entry with data, compressed when the book is built.
    BookWriter& Add(const std::string& name, const std::string& data, const std::string& extra = {});
    // A record with the given offset and no stream of its own (a negative offset: no data).
    BookWriter& AddRecord(const std::string& name, int32_t offset, const std::string& extra = {});
    // An entry whose stream is these bytes as they stand (e.g. a corrupt deflate stream).
    BookWriter& AddRawStream(const std::string& name, const std::string& stream);
    BookWriter& SetHeader(const std::string& header);

    // Damage.
    BookWriter& KeepOrder();                                    // records unsorted, as added
    BookWriter& SetDirectoryOffset(int32_t offset);             // written instead of the real one
    BookWriter& SetDirectory(const std::string& bytes);         // inflated directory, replacing ours
    BookWriter& SetDirectoryStream(const std::string& stream);  // directory stream as it stands

    // The inflated directory as Build writes it (before SetDirectory).
    std::string Directory() const;
    // The container: marker, directory offset, entry streams, directory stream.
    std::string Build() const;
    void WriteTo(TStream& dest) const;
    // Writes prefix (e.g. a program image), then the container, to a new file.
    void WriteFile(const std::string& path, const std::string& prefix = {}) const;

private:
    struct Entry {
        std::string name;
        std::string extra;
        std::optional<std::string> stream;  // empty: the record's offset is fixedOffset
        int32_t fixedOffset = -1;
    };
    std::vector<Entry> FEntries;
    std::string FHeader;
    bool FKeepOrder = false;
    std::optional<int32_t> FDirectoryOffset;
    std::optional<std::string> FDirectory;
    std::optional<std::string> FDirectoryStream;
};

}  // namespace booktest
