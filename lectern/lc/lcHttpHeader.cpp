// The head of one HTTP message: fields, cookies, request line and status line.
//
// Field lines. The reader walks the text line by line; a line ends at LF, and a CR just
// before that LF belongs to the line ending. The first empty line, CR LF or bare LF, ends the
// head: whatever follows it is body and is never read as fields. A line without ":" is
// skipped; otherwise name and value are the trimmed texts before and after the first ":".
//
// Start lines. A request line is a first line (up to the first CR LF) of more than
// kMinRequestLine bytes that ends in "HTTP/1.x" or "HTTPS/1.x", letter case as written; its
// method is the text before the first blank, its URI the text between the first two blanks.
// A status line is a first line that starts with "HTTP/" or "HTTPS/" in any letter case.
// Numbers in a head (content length, status code) are read by ReadDecimal only: an optional
// sign and decimal digits, nothing else.
#include "lectern/lc/lcHttpHeader.h"

#include "lectern/lc/lcHttpValues.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"

#include <limits>

namespace {

constexpr const char* kCrLf = "\r\n";
// "HTTP/1.x" is 8 bytes: a request line must be longer than 7 to end in one.
constexpr std::size_t kMinRequestLine = 7;
constexpr std::string_view kRequestVersion = "HTTP/1.";
constexpr std::string_view kSecureRequestVersion = "HTTPS/1.";
constexpr std::string_view kStatusWord = "HTTP/";
constexpr std::string_view kSecureStatusWord = "HTTPS/";

bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 32; }

// s without the bytes 0..32 at both ends.
std::string_view Trimmed(std::string_view s)
{
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && IsBlankByte(s[first])) {
        ++first;
    }
    while (last > first && IsBlankByte(s[last - 1])) {
        --last;
    }
    return s.substr(first, last - first);
}

char UpperByte(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// s equals upper (an upper-case word) after ASCII upper-casing.
bool SameUpper(std::string_view s, std::string_view upper)
{
    if (s.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (UpperByte(s[i]) != upper[i]) {
            return false;
        }
    }
    return true;
}

bool StartsWithUpper(std::string_view s, std::string_view upper)
{
    return s.size() >= upper.size() && SameUpper(s.substr(0, upper.size()), upper);
}

bool EndsWithVersion(std::string_view line, std::string_view version)
{
    // The version word and one more character ("1" of "HTTP/1.1").
    return line.size() > version.size() && line.substr(line.size() - version.size() - 1, version.size()) == version;
}

// An optional "+" or "-" and one or more decimal digits, within [lo, hi].
bool ReadDecimal(std::string_view s, int64_t lo, int64_t hi, int64_t& out)
{
    std::size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        i = 1;
    }
    if (i == s.size()) {
        return false;
    }
    // Accumulate towards the sign's side so that the most negative value fits too.
    int64_t value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        const int digit = s[i] - '0';
        if (negative) {
            if (value < (lo + digit) / 10) {
                return false;
            }
            value = value * 10 - digit;
        } else {
            if (value > (hi - digit) / 10) {
                return false;
            }
            value = value * 10 + digit;
        }
    }
    out = value;
    return true;
}


}  // namespace

// ============================================================================================
// TLcHttpHeader
// ============================================================================================

TLcHttpHeader::TLcHttpHeader() = default;

TLcHttpHeader::~TLcHttpHeader()
{
    RunAtBoundary("ERROR", "TLcHttpHeader.Destroy", [this] { FreeHead(); }, LogHandledErrors);
}

void TLcHttpHeader::FreeHead()
{
    FFields.FreeObjects();
    FCookie.reset();
}

void TLcHttpHeader::Clear() { FreeHead(); }

std::string TLcHttpHeader::GetValueUpper(const std::string& name) const
{
    if (IsCookieNameUpper(name)) {
        return FCookie ? FCookie->EncodedText() : std::string();
    }
    const int index = FFields.IndexOfUpper(name);
    if (index < 0) {
        return {};
    }
    const auto* value = dynamic_cast<const TStringObject*>(FFields.GetObject(index));
    return value ? value->Value() : std::string();
}

void TLcHttpHeader::SetValueUpper(const std::string& name, const std::string& value)
{
    if (IsCookieNameUpper(name)) {
        AddCookieText(value);
    } else {
        StoreField(FFields.IndexOfUpper(name), name, true, value);
    }
}

void TLcHttpHeader::SetValue(const std::string& name, const std::string& value)
{
    if (IsCookieName(name)) {
        AddCookieText(value);
    } else {
        StoreField(FFields.IndexOf(name), name, false, value);
    }
}

void TLcHttpHeader::StoreField(int index, const std::string& name, bool nameIsUpper, const std::string& value)
{
    TObject* old = index >= 0 ? FFields.GetObject(index) : nullptr;
    if (auto* field = dynamic_cast<TStringObject*>(old)) {
        field->SetValue(value);
        return;
    }
    auto field = std::make_unique<TStringObject>(value);
    if (index < 0) {
        if (nameIsUpper) {
            FFields.AddUpper(name, field.get());
        } else {
            FFields.Add(name, field.get());
        }
    } else {
        FFields.SetObject(index, field.get());
        delete old;
    }
    field.release();
}

void TLcHttpHeader::AddCookieText(const std::string& value)
{
    TLcHttpValues& cookie = Cookie();
    const std::string text = cookie.EncodedText();
    cookie.SetEncodedText(text.empty() ? value : text + ";" + value);
}

TLcHttpValues& TLcHttpHeader::Cookie()
{
    if (!FCookie) {
        FCookie = std::make_unique<TLcHttpValues>();
    }
    return *FCookie;
}

int64_t TLcHttpHeader::ContentLength() const
{
    const std::string text = GetValueUpper("CONTENT-LENGTH");
    const std::string_view number = Trimmed(text);
    if (number.empty()) {
        return 0;
    }
    int64_t length = 0;
    if (!ReadDecimal(number, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), length)) {
        throw EConvertError("'" + text + "' is not a valid integer value");
    }
    return length;
}

void TLcHttpHeader::SetContentLength(int64_t length) { SetValueUpper("CONTENT-LENGTH", std::to_string(length)); }

std::string TLcHttpHeader::ContentType() const { return GetValueUpper("CONTENT-TYPE"); }

void TLcHttpHeader::SetContentType(const std::string& value) { SetValueUpper("CONTENT-TYPE", value); }

std::string TLcHttpHeader::HeaderLines()
{
    std::string text;
    for (int i = 0; i < FFields.Count(); ++i) {
        const auto* field = dynamic_cast<const TStringObject*>(FFields.GetObject(i));
        if (!field || field->Value().empty()) {
            continue;
        }
        const std::string& name = FFields.GetName(i);
        text.reserve(text.size() + name.size() + field->Value().size() + 4);
        text += name;
        text += ": ";
        text += field->Value();
        text += kCrLf;
    }
    if (FCookie && !FCookie->EncodedText().empty()) {
        const std::string cookieName = CookieName();
        const int count = FCookie->NameCount();
        for (int i = 0; i < count; ++i) {
            text += cookieName;
            text += ": ";
            text += FCookie->NameAt(i);
            text += "=";
            text += FCookie->ValueAt(i);
            text += kCrLf;
        }
    }
    return text;
}

void TLcHttpHeader::SetHeaderLines(const std::string& text) { SetFieldLines(text); }

void TLcHttpHeader::SetFieldLines(std::string_view all)
{
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t end = all.find('\n', pos);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        std::string_view line = all.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            return;  // the empty line that ends the head
        }
        pos = end + 1;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        SetValue(std::string(Trimmed(line.substr(0, colon))), std::string(Trimmed(line.substr(colon + 1))));
    }
}

// ============================================================================================
// TLcFilePath
// ============================================================================================

void TLcFilePath::SetCount(int count)
{
    FItems.resize(count < 0 ? 0 : static_cast<std::size_t>(count));
    WriteBack();
}

std::string TLcFilePath::Item(int i) const
{
    return (i >= 0 && i < Count()) ? FItems[static_cast<std::size_t>(i)] : std::string();
}

void TLcFilePath::SetItem(int i, const std::string& text)
{
    if (text.find('/') != std::string::npos) {
        throw ELcInfo("Do NOT use \"/\" inside FilePath elements!");
    }
    if (i < 0) {
        return;
    }
    const auto at = static_cast<std::size_t>(i);
    if (text.empty()) {
        if (at >= FItems.size()) {
            return;
        }
        FItems.resize(at);
    } else {
        if (at >= FItems.size()) {
            FItems.resize(at + 1);
        }
        FItems[at] = text;
    }
    WriteBack();
}

void TLcFilePath::Rebuild(const std::string& fileName)
{
    FItems.clear();
    std::size_t slash = fileName.find('/');
    while (slash != std::string::npos) {
        const std::size_t next = fileName.find('/', slash + 1);
        const std::size_t end = next == std::string::npos ? fileName.size() : next;
        FItems.push_back(fileName.substr(slash + 1, end - slash - 1));
        slash = next;
    }
}

void TLcFilePath::WriteBack()
{
    std::string fileName;
    for (const std::string& item : FItems) {
        fileName += '/';
        fileName += item;
    }
    FRequest.StoreFileName(fileName.empty() ? std::string("/") : fileName);
}

// ============================================================================================
// TLcRequest
// ============================================================================================

TLcRequest::TLcRequest() = default;

TLcRequest::~TLcRequest()
{
    RunAtBoundary("ERROR", "TLcRequest.Destroy", [this] { FreeRequestParts(); }, LogHandledErrors);
}

void TLcRequest::FreeRequestParts()
{
    FQuery.reset();
    FBodyValues.reset();
    FFilePath.reset();
}

bool TLcRequest::IsCookieName(const std::string& name) const { return SameUpper(name, "COOKIE"); }

void TLcRequest::Clear()
{
    TLcHttpHeader::Clear();
    FreeRequestParts();
    FMethod.clear();
    FFileName.clear();
    FURIPath.clear();
}

void TLcRequest::SetMethod(const std::string& method)
{
    if (method != FMethod) {
        FMethod = UpperCaseStr(method);
    }
}

void TLcRequest::StoreFileName(const std::string& fileName)
{
    if (FFileName == FURIPath) {
        FURIPath = fileName;
    }
    FFileName = fileName;
}

void TLcRequest::SetFileName(const std::string& fileName)
{
    StoreFileName(fileName);
    if (FFilePath) {
        FFilePath->Rebuild(FFileName);
    }
}

void TLcRequest::SetURI(const std::string& uri)
{
    const std::size_t question = uri.find('?');
    const std::string path = uri.substr(0, question);
    if (FFileName.empty()) {
        SetFileName(path);
    } else {
        FURIPath = path;
    }
    if (question != std::string::npos) {
        Query().SetEncodedText(uri.substr(question + 1));
    } else {
        Query().Clear();
    }
}

TLcHttpValues& TLcRequest::Query()
{
    if (!FQuery) {
        FQuery = std::make_unique<TLcHttpValues>();
    }
    return *FQuery;
}

TLcHttpValues& TLcRequest::BodyValues()
{
    if (!FBodyValues) {
        FBodyValues = std::make_unique<TLcHttpValues>();
    }
    return *FBodyValues;
}

TLcFilePath& TLcRequest::FilePath()
{
    if (!FFilePath) {
        FFilePath = std::make_unique<TLcFilePath>(*this);
        FFilePath->Rebuild(FFileName);
    }
    return *FFilePath;
}

void TLcRequest::SetHeaderLines(const std::string& text)
{
    if (text.empty()) {
        return;
    }
    const std::size_t eol = text.find(kCrLf);
    const std::string_view line = std::string_view(text).substr(0, eol);
    const bool isRequestLine = line.size() > kMinRequestLine &&
                               (EndsWithVersion(line, kRequestVersion) || EndsWithVersion(line, kSecureRequestVersion));
    if (!isRequestLine) {
        SetFieldLines(text);
        return;
    }
    const std::size_t blank = line.find(' ');
    if (blank != std::string_view::npos) {
        SetMethod(std::string(line.substr(0, blank)));
        const std::size_t blank2 = line.find(' ', blank + 1);
        if (blank2 != std::string_view::npos) {
            SetURI(std::string(line.substr(blank + 1, blank2 - blank - 1)));
        }
    }
    if (eol != std::string::npos) {
        SetFieldLines(std::string_view(text).substr(eol + 2));
    }
}

// ============================================================================================
// TLcResponse
// ============================================================================================

TLcResponse::TLcResponse() = default;

TLcResponse::~TLcResponse() = default;

bool TLcResponse::IsCookieName(const std::string& name) const { return SameUpper(name, "SET-COOKIE"); }

void TLcResponse::SetHeaderLines(const std::string& text)
{
    if (!StartsWithUpper(text, kStatusWord) && !StartsWithUpper(text, kSecureStatusWord)) {
        SetFieldLines(text);
        return;
    }
    const std::size_t eol = text.find(kCrLf);
    const std::string_view line = std::string_view(text).substr(0, eol);
    const std::size_t blank = line.find(' ');
    if (blank != std::string_view::npos) {
        FStatusCode = 0;
        FStatusText.clear();
        const std::string_view rest = line.substr(blank + 1);
        const std::size_t blank2 = rest.find(' ');
        if (blank2 != std::string_view::npos) {
            const std::string_view code = rest.substr(0, blank2);
            const std::string_view reason = rest.substr(blank2 + 1);
            int64_t number = 0;
            if (!code.empty() && !reason.empty() &&
                ReadDecimal(code, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), number)) {
                FStatusCode = static_cast<int32_t>(number);
                FStatusText = std::string(reason);
            }
        }
    }
    if (eol != std::string::npos) {
        SetFieldLines(std::string_view(text).substr(eol + 2));
    }
}
