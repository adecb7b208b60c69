// The book container reader.
//
// A book is a container of named entries found by a fixed 53-byte marker inside a host file:
// behind the viewer's own program image, or at the start of a file of its own. Behind the
// marker lie a 32-bit directory offset and the raw deflate streams of the entries and of the
// directory; every offset is counted from the first byte after the marker (the base offset),
// so a container keeps its meaning wherever it is appended.
//
//   marker (53 bytes) | directory offset (int32) | entry streams ... | directory stream
//
// The inflated directory is: header length (int32), header bytes, record count (int32), then
// per record name length, name, extra length, extra and offset (all int32 little-endian). The
// records are sorted by name in the platform's locale order with case ignored
// (plat::CompareTextLocale), which lookups rely on: names match case-insensitively.
//
// Nothing in the directory is trusted: a length that runs past the bytes left ends the read (a
// damaged header fails the open, a damaged record list keeps the records before the damage), a
// negative name or extra length too, a header length of 0 or less means no header text, and
// every file offset is computed in 64 bits. Only damage is answered that way (ECorruptInput: a
// short read, a stream that does not inflate), and a file that cannot be opened makes Open
// answer false; any other failure, an allocation or an assertion, travels on to the caller.
//
// The marker must never occur as one piece in the viewer's image, or the search would find the
// program instead of the book: it is assembled at run time (GetMarker).
//
// Threads: Open and ReadEntry run on one thread before the page server starts; afterwards
// Exists and ExtractEntry may run on any number of threads at once, since they only read state
// fixed while the book is open and each extraction reads through a view with a position of its
// own. The views read the file mapped into memory when it is opened (or, when it cannot be
// mapped, a second handle of the file used by nothing else), so that they never move the
// position of the main file stream.
#pragma once

#include "classlib/Components.h"
#include "classlib/Streams.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Index in buffer at which the NUL-ended pattern first occurs, or -1 (Boyer-Moore-Horspool).
// An empty pattern gives 0; a pattern longer than the buffer gives -1.
int32_t FindPattern(const char* pattern, const uint8_t* buffer, int32_t length);

// File offset of the first occurrence of the NUL-ended pattern (at most 255 characters) at or
// after the stream's current position, or -1. Reads in blocks of kMarkerSearchBlockBytes.
int64_t FindMarkerInStream(const char* pattern, TStream& stream);

constexpr int32_t kMarkerSearchBlockBytes = 8192;
constexpr int32_t kBookMarkerBytes = 53;

// One directory record.
class TLBFileRecord : public TPersistent {
public:
    std::unique_ptr<TMemoryStream> Cache;  // the inflated entry once cached, else empty
    std::string Name;
    std::string Extra;
    int32_t Offset = 0;  // relative to the base offset; negative: the entry has no data

    CL_CLASS_NAME(TLBFileRecord)
};

class TLBFile : public TComponent {
public:
    static constexpr int16_t kModeRead = 0;
    static constexpr int16_t kModeAppend = 1;
    static constexpr int16_t kModeCreate = -1;

    explicit TLBFile(TComponent* owner);
    ~TLBFile() override;

    // mode 0 reads an existing container; 1 appends a new, empty container to the file (or
    // creates it), -1 creates the file afresh. Any failure gives false and leaves the object
    // closed; no exception escapes. The wide path reaches files whose names the code page
    // lacks; a narrow one is read in the code page.
    bool Open(const std::u16string& path, int16_t mode);
    bool Open(const std::string& path, int16_t mode);
    void Close();

    bool Exists(const std::string& name);
    TLBFileRecord* FindRecord(const std::string& name);
    // The inflated entry at position 0, in a stream the object owns and shares between calls:
    // use it at once and never free it. A missing name or a failed inflate gives an empty
    // stream; write mode, or an object still busy after one second, gives nullptr.
    TMemoryStream* ReadEntry(const std::string& name);
    // Inflates the entry, appending at dest's position, and leaves dest at position 0. False
    // (dest untouched) for a missing entry, an entry without data, or write mode. A corrupt
    // entry raises the decoder's exception. Safe on several threads at once.
    bool ExtractEntry(const std::string& name, TStream* dest);
    // The most bytes the entry's compressed data can take in the file: up to the next entry's
    // data, or to the directory for the last one. 0 when unknown (no such entry, no data, not
    // read mode). Its inflated size is at least this minus 5 bytes per 64 KB when the data are
    // stored, so it sizes a destination well before extracting.
    int64_t StoredSize(const std::string& name);
    int64_t StoredSize(const TLBFileRecord& record) const;

    int16_t Mode() const { return FMode; }
    const std::u16string& WidePath() const { return FPath; }
    std::string Path() const;  // in the code page
    int64_t BaseOffset() const { return FBaseOffset; }
    const std::string& Header() const { return FHeader; }
    int RecordCount() const { return static_cast<int>(FRecords.size()); }
    TLBFileRecord* Records(int index) const { return FRecords.at(static_cast<size_t>(index)).get(); }
    bool CacheEntries() const { return FCacheEntries; }
    void SetCacheEntries(bool value) { FCacheEntries = value; }
    bool Busy() const { return FBusy; }

    CL_CLASS_NAME(TLBFile)

protected:
    static std::string GetMarker();
    bool LocateContainer();
    void LoadDirectory(int32_t directoryOffset);
    int FindIndex(const std::string& name) const;
    TMemoryStream* ReadEntryAt(int32_t offset);
    TMemoryStream* ReadRecord(TLBFileRecord* record);
    void ClearRecords();
    void OpenViewFile();
    void OpenViewHandle();
    void DropMappedView();
    // Unmaps the file and opens the second handle, so that views read through it as they do
    // when the file cannot be mapped (for tests of that way).
    void ReadViewsThroughHandle();

    int16_t FMode = kModeRead;
    std::unique_ptr<TMemoryStream> FWorkStream;  // target of every inflate of ReadEntryAt
    std::unique_ptr<TFileStream> FFileStream;    // the host file; empty while closed
    const uint8_t* FMappedView = nullptr;        // the whole file, read only by ExtractEntry's views
    std::unique_ptr<TFileStream> FViewFile;      // read only through ExtractEntry's views, when unmapped
    std::string FViewFileError;                  // why FViewFile could not be opened
    int64_t FFileSize = 0;                       // its size when opened for reading
    std::u16string FPath;                        // set by a successful read open only
    int64_t FBaseOffset = 0;                     // file offset of the first byte after the marker
    std::vector<std::unique_ptr<TLBFileRecord>> FRecords;  // directory order
    std::vector<int32_t> FDataStarts;  // the entries' data offsets, sorted, then the directory's
    std::string FHeader;
    bool FCacheEntries = false;
    bool FBusy = false;  // a plain flag, not a lock: ReadEntry is for one thread only
};
