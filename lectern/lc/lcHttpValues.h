// Form values: named values given as one text.
//
// TLcHttpValues holds the name=value pairs of a query ("a=1&b=2", or joined by ";"), the
// cookies of a header (joined by ";"), or a multipart/form-data body, whose separator is then
// the multipart boundary (any separator of two or more characters). The text is parsed only
// when a value is first asked for and composed again only when a value was changed. A text
// that grows past the cache limit moves to a temporary file; a multipart body in such a file
// is parsed in place, reading ranges of the file and scanning it for the boundary lines.
//
// Values are kept as they stand in the text: no percent-decoding and no encoding here.
//
// Each name holds a TStringArray (every value given under that name) or, for a file part of a
// multipart body, a TUploadFileObject that records where the part's content lies in the body:
// Start is the 1-based position of its first byte in the text while the body is in memory,
// and the 0-based byte offset in the temporary file while the body lies in a file.
#pragma once

#include "classlib/SysUtils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class tLcFastStrObjList;
class TLcBodySource;

class TStringArray : public TObject {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    void Add(const std::string& s) { FItems.push_back(s); }
    // Item i, or the empty string when i is out of range (negative included).
    std::string ValueAt(int i) const;
    // The last item, or the empty string for an empty array.
    std::string Value() const;
    // A non-empty text replaces the last item (adding one to an empty array); the empty
    // string removes the last item.
    void SetValue(const std::string& value);
    // Item i := value; nothing when i is out of range.
    void SetValueAt(int i, const std::string& value);
    void Clear() { FItems.clear(); }

    CL_CLASS_NAME(TStringArray)

private:
    std::vector<std::string> FItems;
};

class TUploadFileObject : public TObject {
public:
    TUploadFileObject(std::string fileName, int64_t start, int64_t length)
        : FFileName(std::move(fileName)), FStart(start), FLength(length)
    {
    }

    const std::string& FileName() const { return FFileName; }
    void SetFileName(const std::string& fileName) { FFileName = fileName; }
    int64_t Start() const { return FStart; }
    int64_t Length() const { return FLength; }
    void SetRange(int64_t start, int64_t length)
    {
        FStart = start;
        FLength = length;
    }

    CL_CLASS_NAME(TUploadFileObject)

private:
    std::string FFileName;
    int64_t FStart;
    int64_t FLength;
};

class TLcHttpValues : public TObject {
public:
    TLcHttpValues();
    ~TLcHttpValues() override;
    TLcHttpValues(const TLcHttpValues&) = delete;
    TLcHttpValues& operator=(const TLcHttpValues&) = delete;

    // The whole text (composed first when a value changed): the temporary file's content
    // while the text lies in one, else the text kept in memory.
    virtual std::string EncodedText();
    // Clear (which also forgets the separator), then AddText.
    virtual void SetEncodedText(const std::string& text);
    // Forgets every value, the text, the separator, and deletes the temporary file.
    virtual void Clear();

    // Appends to the text, keeping the separator; the text is parsed on the next access.
    // Raises ELcInfo "Error creating a temporary file." when the text has to move to a file
    // and none can be had.
    void AddText(const std::string& data);

    // Every operation below parses a pending text first (multipart errors raise ELcInfo).
    int NameCount();
    std::string NameAt(int i);
    void SetNameAt(int i, const std::string& name);
    std::string ValueAt(int i);
    void SetValueAt(int i, const std::string& value);
    int ValueCountOf(const std::string& name);
    std::string ValueOf(const std::string& name, int j);
    // Value j of name := value; nothing when the name is absent, holds an upload or has no
    // value j.
    void SetValueOf(const std::string& name, int j, const std::string& value);
    // The upload stored under name, or nullptr when the name is absent or holds values.
    const TUploadFileObject* UploadOf(const std::string& name);

    // The separator, "&" while none is set.
    std::string Separator();
    void SetSeparator(const std::string& separator);

    // Bytes from which on the text is kept in a temporary file: 0 means the default of
    // kLcHttpValuesDefaultCacheLimit, a negative limit keeps every text in memory.
    int CacheLimit() const { return FCacheLimit; }
    void SetCacheLimit(int limit) { FCacheLimit = limit; }
    // The temporary file holding the text, or empty while the text is in memory.
    const std::string& TempFileName() const { return FFileName; }

    CL_CLASS_NAME(TLcHttpValues)

private:
    // Name i's object as an array or an upload; raises for an object of a foreign class.
    struct TEntry {
        TStringArray* values = nullptr;
        TUploadFileObject* upload = nullptr;
    };
    TEntry EntryAt(int i) const;
    bool InRange(int i) const;

    void ParsePending();
    void Parse();
    void ParsePairs(char separator);
    void ParseMultipart(const TLcBodySource& body);
    void StoreValue(const std::string& name, const std::string& value);
    void StoreUpload(const std::string& name, const std::string& fileName, int64_t start, int64_t length);
    void Put(int i, const std::string& name, std::unique_ptr<TObject> object);
    void Compose();
    void DropTempFile();
    void FreeValues();

    bool FModified = false;
    bool FParsePending = false;
    std::unique_ptr<tLcFastStrObjList> FValues;
    std::string FSeparator;
    std::string FText;
    int FCacheLimit = 0;
    int64_t FFileSize = 0;
    std::string FFileName;
};

constexpr int kLcHttpValuesDefaultCacheLimit = 16000;
