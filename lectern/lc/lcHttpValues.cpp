// Form values: parsing and composing.
//
// The object keeps one text and the list parsed from it, and only ever trusts one of them at
// a time: after AddText the text is the truth and the list is rebuilt from it on the next
// access (the parse-pending flag); after a change of a value, a name or the separator the
// list is the truth and the text is composed from it on the next read (the modified flag).
// AddText composes before it appends, so a parse always starts from a current text and may
// throw the old list away.
//
// Two text forms:
//   pairs      name=value joined by a one-character separator ("&" or ";"); separators at
//              the start or doubled are skipped, a pair without "=" is dropped, the name is
//              trimmed of bytes <= 32 and the value kept as it stands;
//   multipart  with boundary D (two or more characters):
//                --D CRLF Content-Disposition: form-data; name="N"[; filename="F"] CRLF
//                [further header lines CRLF] CRLF content CRLF --D ... --D--
//              A part with a file name is an upload (only its place in the body is kept),
//              every other part a value.
//
// The multipart reader runs over TLcBodySource, which answers byte ranges and pattern
// searches either from the text in memory or from the temporary file, so both media follow
// the very same steps. Every malformed body goes through MultipartFault, which raises ELcInfo
// with the message that names the fault; what was parsed before the fault stays in the list.
#include "lectern/lc/lcHttpValues.h"

#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"

#include <algorithm>

namespace {

const std::string kCrLf = "\r\n";
const char kQuote = '"';
// Pieces read at a time while the multipart reader scans a temporary file for a pattern.
constexpr int32_t kBodyScanBlockBytes = 64 * 1024;
// File sharing of every access to the temporary file: others may read and write.
constexpr int32_t kTempFileAccess = 0;

[[noreturn]] void MultipartFault(const std::string& message) { throw ELcInfo(message); }

std::string Quoted(const std::string& s) { return kQuote + s + kQuote; }

// Bytes <= 32 removed from both ends.
std::string Trimmed(const std::string& s) { return TrimmedCopy(s, 1, static_cast<int32_t>(s.size())); }

std::string UpperTrimmed(const std::string& s) { return UpperCaseStr(Trimmed(s)); }

// The value of one `word="value"` parameter of a content disposition line, which must come
// first in line; line keeps what follows the closing quote.
std::string ReadQuotedParam(std::string& line, const std::string& word)
{
    const std::string upper = UpperCaseStr(word);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
        MultipartFault("Missing " + Quoted("=") + " (after " + Quoted(word) + "?) in Multipart text.");
    }
    const std::string text = line.substr(0, equals);
    if (UpperTrimmed(text) != upper) {
        MultipartFault("Invalid disposition param " + Quoted(text) + ", expecting " + Quoted(upper) +
                       " in Multipart text");
    }
    line.erase(0, equals + 1);
    const size_t open = line.find(kQuote);
    if (open == std::string::npos) {
        MultipartFault("Parameter names have to be in quotes. Missing opening <" + std::string(1, kQuote) +
                       "> in Multipart text");
    }
    const size_t close = line.find(kQuote, open + 1);
    if (close == std::string::npos) {
        MultipartFault("Parameter names have to be in quotes. Missing closing <" + std::string(1, kQuote) +
                       "> in Multipart text");
    }
    std::string value = line.substr(open + 1, close - open - 1);
    line.erase(0, close + 1);
    return value;
}

// Field name and file name (empty when absent) of a part's first line:
//   Content-Disposition: form-data; name="N"[; filename="F"]
void ReadDisposition(std::string line, std::string& name, std::string& fileName)
{
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
        MultipartFault("Missing " + Quoted(":") + " (after " + Quoted("Content-disposition") +
                       "?) in Multipart text");
    }
    if (UpperTrimmed(line.substr(0, colon)) != "CONTENT-DISPOSITION") {
        MultipartFault("Missing " + Quoted("Content-disposition") + " in Multipart data");
    }
    line.erase(0, colon + 1);
    const size_t semicolon = line.find(';');
    if (semicolon == std::string::npos) {
        MultipartFault("Missing " + Quoted(";") + " (after " + Quoted("form-data") + "?) in Multipart text.");
    }
    const std::string type = line.substr(0, semicolon);
    if (UpperTrimmed(type) != "FORM-DATA") {
        MultipartFault("Invalid disposition type " + Quoted(type) + ", expecting " + Quoted("FORM-DATA") +
                       " in Multipart text");
    }
    line.erase(0, semicolon + 1);
    name = ReadQuotedParam(line, "name");
    fileName.clear();
    std::string rest = Trimmed(line);
    if (rest.empty()) {
        return;
    }
    const size_t next = rest.find(';');
    if (next == std::string::npos) {
        MultipartFault("Error. Data after content disposition param: " + Quoted(rest) + ".");
    }
    rest.erase(0, next + 1);
    fileName = ReadQuotedParam(rest, "filename");
    rest = Trimmed(rest);
    if (!rest.empty()) {
        MultipartFault("Error. Data after content disposition param: " + Quoted(rest) + ".");
    }
}

// ";" when only ";" occurs, "&" when only "&" occurs, the earlier of both, else empty.
std::string DetectSeparator(const std::string& text)
{
    const size_t amp = text.find('&');
    const size_t semi = text.find(';');
    if (amp == std::string::npos && semi == std::string::npos) {
        return std::string();
    }
    return semi < amp ? ";" : "&";
}

}  // namespace

// ---- body sources ---------------------------------------------------------------------------

// A multipart body to read: offsets are 0-based; ranges beyond the end are cut short.
class TLcBodySource {
public:
    virtual ~TLcBodySource() = default;
    virtual int64_t Size() const = 0;
    virtual std::string Slice(int64_t at, int64_t count) const = 0;
    // Offset of the first occurrence of pattern at or after from, or -1.
    virtual int64_t Find(const std::string& pattern, int64_t from) const = 0;
    // An upload's recorded start for the content at offset.
    virtual int64_t StartOf(int64_t offset) const = 0;

    bool At(int64_t at, const std::string& s) const
    {
        return Slice(at, static_cast<int64_t>(s.size())) == s;
    }
};

namespace {

class TLcMemoryBody final : public TLcBodySource {
public:
    explicit TLcMemoryBody(const std::string& text) : FText(text) {}

    int64_t Size() const override { return static_cast<int64_t>(FText.size()); }
    std::string Slice(int64_t at, int64_t count) const override
    {
        if (at < 0 || at >= Size() || count <= 0) {
            return std::string();
        }
        return FText.substr(static_cast<size_t>(at), static_cast<size_t>(count));
    }
    int64_t Find(const std::string& pattern, int64_t from) const override
    {
        if (from < 0 || from > Size()) {
            return -1;
        }
        const size_t found = FText.find(pattern, static_cast<size_t>(from));
        return found == std::string::npos ? -1 : static_cast<int64_t>(found);
    }
    // Text positions count from 1.
    int64_t StartOf(int64_t offset) const override { return offset + 1; }

private:
    const std::string& FText;
};

class TLcFileBody final : public TLcBodySource {
public:
    TLcFileBody(const std::string& fileName, int64_t size) : FFileName(fileName), FSize(size) {}

    int64_t Size() const override { return FSize; }
    std::string Slice(int64_t at, int64_t count) const override
    {
        if (at < 0 || at >= FSize || count <= 0) {
            return std::string();
        }
        return ReadFileRange(FFileName, kTempFileAccess, std::min(count, FSize - at), at);
    }
    int64_t Find(const std::string& pattern, int64_t from) const override
    {
        if (from < 0 || from >= FSize) {
            return -1;
        }
        return ScanFile(FFileName, pattern, kBodyScanBlockBytes, kTempFileAccess, from, FSize - from);
    }
    // File positions are byte offsets.
    int64_t StartOf(int64_t offset) const override { return offset; }

private:
    const std::string& FFileName;
    int64_t FSize;
};

}  // namespace

// ---- TStringArray ---------------------------------------------------------------------------

std::string TStringArray::ValueAt(int i) const
{
    return i >= 0 && i < Count() ? FItems[static_cast<size_t>(i)] : std::string();
}

void TStringArray::SetValueAt(int i, const std::string& value)
{
    if (i >= 0 && i < Count()) {
        FItems[static_cast<size_t>(i)] = value;
    }
}

std::string TStringArray::Value() const { return FItems.empty() ? std::string() : FItems.back(); }

void TStringArray::SetValue(const std::string& value)
{
    if (value.empty()) {
        if (!FItems.empty()) {
            FItems.pop_back();
        }
    } else if (FItems.empty()) {
        FItems.push_back(value);
    } else {
        FItems.back() = value;
    }
}

// ---- TLcHttpValues --------------------------------------------------------------------------

TLcHttpValues::TLcHttpValues() : FValues(std::make_unique<tLcFastStrObjList>()) {}

TLcHttpValues::~TLcHttpValues()
{
    try {
        FreeValues();
        DropTempFile();
    } catch (const Exception& e) {
        if (LogHandledErrors) {
            LogException("TLcHttpValues.Destroy", e, "ERROR");
        }
    }
}

std::string TLcHttpValues::EncodedText()
{
    if (FModified) {
        Compose();
    }
    return FFileName.empty() ? FText : ReadWholeFile(FFileName, kTempFileAccess);
}

void TLcHttpValues::SetEncodedText(const std::string& text)
{
    Clear();
    AddText(text);
}

void TLcHttpValues::Clear()
{
    FModified = false;
    FParsePending = false;
    DropTempFile();
    FSeparator.clear();
    FText.clear();
    FreeValues();
}

void TLcHttpValues::AddText(const std::string& data)
{
    if (FModified) {
        Compose();
    }
    const auto dataSize = static_cast<int64_t>(data.size());
    if (!FFileName.empty()) {
        if (WriteFileAt(FFileName, data, kTempFileAccess, FFileSize)) {
            FFileSize += dataSize;
        }
    } else if (FCacheLimit >= 0 &&
               static_cast<int64_t>(FText.size()) + dataSize >=
                   (FCacheLimit == 0 ? kLcHttpValuesDefaultCacheLimit : FCacheLimit)) {
        const std::string fileName = NewTempFileName();
        if (fileName.empty()) {
            throw ELcInfo("Error creating a temporary file.");
        }
        const std::string whole = FText + data;
        if (!WriteFileAt(fileName, whole, kTempFileAccess, 0)) {
            DeleteFileIfPresent(fileName);
            throw ELcInfo("Error creating a temporary file.");
        }
        FFileName = fileName;
        FFileSize = static_cast<int64_t>(whole.size());
        FText.clear();
    } else {
        FText += data;
    }
    FParsePending = true;
}

bool TLcHttpValues::InRange(int i) const { return i >= 0 && i < FValues->Count(); }

TLcHttpValues::TEntry TLcHttpValues::EntryAt(int i) const
{
    TEntry entry;
    TObject* object = FValues->GetObject(i);
    if (object == nullptr) {
        return entry;
    }
    entry.values = dynamic_cast<TStringArray*>(object);
    entry.upload = dynamic_cast<TUploadFileObject*>(object);
    if (entry.values == nullptr && entry.upload == nullptr) {
        throw ELcInfo("Fatal error! Wrong object type in HttpValues!");
    }
    return entry;
}

int TLcHttpValues::NameCount()
{
    ParsePending();
    return FValues->Count();
}

std::string TLcHttpValues::NameAt(int i)
{
    ParsePending();
    return InRange(i) ? FValues->GetName(i) : std::string();
}

void TLcHttpValues::SetNameAt(int i, const std::string& name)
{
    ParsePending();
    if (InRange(i) && name != FValues->GetName(i)) {
        FValues->SetName(i, name);
        FModified = true;
    }
}

std::string TLcHttpValues::ValueAt(int i)
{
    ParsePending();
    if (!InRange(i)) {
        return std::string();
    }
    const TEntry entry = EntryAt(i);
    if (entry.values != nullptr) {
        return entry.values->Value();
    }
    return entry.upload != nullptr ? entry.upload->FileName() : std::string();
}

void TLcHttpValues::SetValueAt(int i, const std::string& value)
{
    ParsePending();
    if (!InRange(i)) {
        return;
    }
    const TEntry entry = EntryAt(i);
    if (entry.upload != nullptr) {
        if (entry.upload->FileName() == value) {
            return;
        }
        entry.upload->SetFileName(value);
    } else if (entry.values != nullptr) {
        entry.values->SetValue(value);
        if (entry.values->Count() == 0) {
            FValues->SetObject(i, nullptr);
            delete entry.values;
        }
    } else if (!value.empty()) {
        auto values = std::make_unique<TStringArray>();
        values->Add(value);
        FValues->SetObject(i, values.release());
    }
    FModified = true;
}

int TLcHttpValues::ValueCountOf(const std::string& name)
{
    ParsePending();
    const int i = FValues->IndexOf(name);
    if (i < 0) {
        return 0;
    }
    const TEntry entry = EntryAt(i);
    if (entry.values != nullptr) {
        return entry.values->Count();
    }
    return entry.upload != nullptr ? 1 : 0;
}

std::string TLcHttpValues::ValueOf(const std::string& name, int j)
{
    ParsePending();
    const int i = FValues->IndexOf(name);
    if (i < 0) {
        return std::string();
    }
    const TEntry entry = EntryAt(i);
    if (entry.values != nullptr) {
        return entry.values->ValueAt(j);
    }
    return entry.upload != nullptr ? entry.upload->FileName() : std::string();
}

void TLcHttpValues::SetValueOf(const std::string& name, int j, const std::string& value)
{
    ParsePending();
    const int i = FValues->IndexOf(name);
    if (i < 0) {
        return;
    }
    TStringArray* values = EntryAt(i).values;
    if (values != nullptr && j >= 0 && j < values->Count() && values->ValueAt(j) != value) {
        values->SetValueAt(j, value);
        FModified = true;
    }
}

const TUploadFileObject* TLcHttpValues::UploadOf(const std::string& name)
{
    ParsePending();
    const int i = FValues->IndexOf(name);
    return i < 0 ? nullptr : EntryAt(i).upload;
}

std::string TLcHttpValues::Separator()
{
    ParsePending();
    return FSeparator.empty() ? "&" : FSeparator;
}

void TLcHttpValues::SetSeparator(const std::string& separator)
{
    ParsePending();
    if (separator != FSeparator) {
        FSeparator = separator;
        FModified = true;
    }
}

void TLcHttpValues::ParsePending()
{
    if (FParsePending) {
        Parse();
    }
}

void TLcHttpValues::Parse()
{
    FParsePending = false;
    if (FText.empty() && FFileName.empty()) {
        Clear();
        return;
    }
    // The text is current (AddText composed before appending): rebuild the list from it.
    FreeValues();
    if (FSeparator.size() < 2 && !FFileName.empty()) {
        FText = ReadWholeFile(FFileName, kTempFileAccess);
        DropTempFile();
    }
    if (!FFileName.empty()) {
        ParseMultipart(TLcFileBody(FFileName, FFileSize));
        return;
    }
    if (FSeparator.empty()) {
        FSeparator = DetectSeparator(FText);
    }
    if (FSeparator.size() < 2) {
        ParsePairs(FSeparator.empty() ? '&' : FSeparator[0]);
    } else {
        ParseMultipart(TLcMemoryBody(FText));
    }
}

void TLcHttpValues::ParsePairs(char separator)
{
    size_t pos = 0;
    while (pos < FText.size()) {
        if (FText[pos] == separator) {
            ++pos;
            continue;
        }
        size_t end = FText.find(separator, pos);
        if (end == std::string::npos) {
            end = FText.size();
        }
        const size_t equals = FText.find('=', pos);
        if (equals < end) {
            StoreValue(Trimmed(FText.substr(pos, equals - pos)), FText.substr(equals + 1, end - equals - 1));
        }
        pos = end + 1;
    }
}

// The steps keep the offsets of the reader's 1-based original: o is where the "--" before a
// boundary starts.
void TLcHttpValues::ParseMultipart(const TLcBodySource& body)
{
    const std::string& boundary = FSeparator;
    const std::string dashBoundary = "--" + boundary;
    const std::string closingLine = kCrLf + dashBoundary;
    const auto boundarySize = static_cast<int64_t>(boundary.size());
    const int64_t size = body.Size();

    const int64_t first = body.Find(boundary, 0);
    if (first < 2) {
        return;  // no boundary, or none with room for the "--" before it
    }
    int64_t o = first - 2;
    for (;;) {
        if (!body.At(o + 2, boundary) || o + boundarySize + 3 >= size) {
            return;
        }
        if (!body.At(o, "--")) {
            MultipartFault("Missing " + Quoted("--") + " at the beginning of a new Multipart data");
        }
        o += boundarySize + 2;
        if (body.At(o, "--")) {
            return;  // the closing boundary
        }
        if (!body.At(o, kCrLf)) {
            MultipartFault("Missing <CRLF> after Delimiter in Multipart text");
        }
        const int64_t lineEnd = body.Find(kCrLf, o + 2);
        if (lineEnd < 0) {
            MultipartFault("Missing <CRLF> in Multipart text");
        }
        const std::string firstLine = body.Slice(o + 2, lineEnd - o - 2);
        if (firstLine.empty()) {
            MultipartFault("Missing field name in Multipart text.");
        }
        std::string name;
        std::string fileName;
        ReadDisposition(firstLine, name, fileName);

        o = lineEnd + 2;
        if (body.At(o, dashBoundary)) {
            continue;  // a part of nothing but its disposition
        }
        // Further header lines up to the empty line.
        int64_t lineBreak = body.Find(kCrLf, o);
        if (lineBreak < 0) {
            MultipartFault("Missing <CRLF> after content disposition param.");
        }
        bool ended = false;
        while (lineBreak != o) {
            o = lineBreak + 2;
            if (body.At(o, dashBoundary)) {
                ended = true;
                break;
            }
            lineBreak = body.Find(kCrLf, o);
            if (lineBreak < 0) {
                MultipartFault("Missing <CRLF> after content header.");
            }
        }
        if (ended) {
            continue;
        }
        o += 2;
        if (body.At(o, dashBoundary)) {
            continue;
        }
        const int64_t contentEnd = body.Find(closingLine, o);
        if (contentEnd < 0) {
            MultipartFault("Delimiter missing after Multipart data.");
        }
        if (fileName.empty()) {
            StoreValue(name, body.Slice(o, contentEnd - o));
        } else {
            StoreUpload(name, fileName, body.StartOf(o), contentEnd - o);
        }
        o = contentEnd + 2;
    }
}

void TLcHttpValues::StoreValue(const std::string& name, const std::string& value)
{
    const int i = FValues->IndexOf(name);
    const TEntry entry = i < 0 ? TEntry() : EntryAt(i);
    if (entry.upload != nullptr) {
        MultipartFault("Duplicate value for " + Quoted(name) + " in Multipart text");
    }
    if (entry.values != nullptr) {
        entry.values->Add(value);
        return;
    }
    auto values = std::make_unique<TStringArray>();
    values->Add(value);
    Put(i, name, std::move(values));
}

void TLcHttpValues::StoreUpload(const std::string& name, const std::string& fileName, int64_t start,
                                int64_t length)
{
    const int i = FValues->IndexOf(name);
    const TEntry entry = i < 0 ? TEntry() : EntryAt(i);
    if (entry.values != nullptr) {
        MultipartFault("Duplicate value for " + Quoted(name) + " in Multipart text");
    }
    if (entry.upload != nullptr) {
        entry.upload->SetFileName(fileName);
        entry.upload->SetRange(start, length);
        return;
    }
    Put(i, name, std::make_unique<TUploadFileObject>(fileName, start, length));
}

// Hands object to the list: under a new name when i < 0, else into entry i, which holds
// nothing.
void TLcHttpValues::Put(int i, const std::string& name, std::unique_ptr<TObject> object)
{
    if (i < 0) {
        FValues->Add(name, object.get());
    } else {
        FValues->SetObject(i, object.get());
    }
    object.release();
}

void TLcHttpValues::Compose()
{
    FModified = false;
    // The composed text replaces whatever the temporary file held.
    DropTempFile();
    const std::string separator = FSeparator.empty() ? "&" : FSeparator;
    const bool multipart = separator.size() >= 2;
    std::string text;
    const int count = FValues->Count();
    for (int i = 0; i < count; ++i) {
        const std::string& name = FValues->GetName(i);
        const TEntry entry = EntryAt(i);
        std::vector<std::string> values;
        if (entry.values != nullptr && entry.values->Count() >= 2) {
            for (int j = 0; j < entry.values->Count(); ++j) {
                values.push_back(entry.values->ValueAt(j));
            }
        } else if (entry.values != nullptr) {
            values.push_back(entry.values->Value());
        } else {
            values.push_back(entry.upload != nullptr ? entry.upload->FileName() : std::string());
        }
        for (const std::string& value : values) {
            if (multipart) {
                text += "--" + separator + kCrLf + "Content-Disposition: form-data; name=" + Quoted(name) + kCrLf +
                        kCrLf + value + kCrLf;
            } else {
                if (!text.empty()) {
                    text += separator;
                }
                text += name + "=" + value;
            }
        }
    }
    if (multipart && count > 0) {
        text += "--" + separator + "--" + kCrLf;
    }
    FText = std::move(text);
}

void TLcHttpValues::DropTempFile()
{
    if (!FFileName.empty()) {
        DeleteFileIfPresent(FFileName);
        FFileName.clear();
    }
    FFileSize = 0;
}

void TLcHttpValues::FreeValues() { FValues->FreeObjects(); }
