#include "uPageServer.h"

#include "uMimeTypes.h"

#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcLog.h"

#include "classlib/PlatformText.h"
#include "classlib/Streams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr const char* kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Day 0 of TDateTime, 30 December 1899, was a Saturday (6 with Sunday as 0).
constexpr int64_t kDayZeroWeekday = 6;

// "Expires" lies this far in the past, so that the browser never takes a page from its cache.
constexpr TDateTime kExpiresBeforeNow = 1.0 / (24 * 60 * 60);

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr size_t kUtf8BomBytes = 3;
constexpr const char* kUtf8CharsetSuffix = "; charset=utf-8";

constexpr const char* kLoopbackAddress = "127.0.0.1";
constexpr const char* kLoopbackNameUpper = "LOCALHOST";

// The server answers with no entry whose name begins with this: "#SYSTEM" holds the book's
// settings and password, "#MAP" its topic map.
constexpr char kPrivateEntryLead = '#';

std::string AnswerNotFound(TLcResponse& response)
{
    response.SetStatusCode(404);
    response.SetStatusText("File not found");
    return "Status 404: File not found";
}

// A name that can never be served: a private one, or one holding a NUL byte (the platform's
// locale comparison gives NUL no weight, so "a.html" NUL would equal "a.html").
bool IsUnservableName(const std::string& name)
{
    return name.find('\0') != std::string::npos || (!name.empty() && name.front() == kPrivateEntryLead);
}

// The book's record for name, unless name or the record's own spelling is unservable (the
// lookup's locale comparison may take other names for a private one).
const TLBFileRecord* ServableRecord(TLBFile& book, const std::string& name)
{
    if (IsUnservableName(name)) {
        return nullptr;
    }
    const TLBFileRecord* record = book.FindRecord(name);
    return record && !IsUnservableName(record->Name) ? record : nullptr;
}

// The entry name with its percent escapes decoded and read as UTF-8, in the system code page;
// empty when name has no escape, the bytes are not UTF-8, or the code page lacks one of the
// characters. A "+" is part of a path, not a blank.
std::string DecodedEntryPath(const std::string& name)
{
    if (name.find('%') == std::string::npos) {
        return {};
    }
    std::string plusKept;
    for (const char c : name) {
        plusKept += c == '+' ? std::string("%2B") : std::string(1, c);
    }
    const std::u16string wide = Utf8DecodeText(DecodeUrlText(plusKept, false));
    if (wide.empty()) {
        return {};
    }
    std::string system = plat::WideToSystem(wide);
    return plat::SystemToWide(system) == wide ? system : std::string();
}

// A stream whose bytes are a string the caller takes when it is done: the inflated entry
// becomes the answer's body without a copy of the whole of it.
class TBodyStream final : public TStream {
public:
    int32_t Read(void* buffer, int32_t count) override
    {
        if (count <= 0 || FPosition >= FText.size()) {
            return 0;
        }
        const size_t n = std::min(static_cast<size_t>(count), FText.size() - FPosition);
        std::memcpy(buffer, FText.data() + FPosition, n);
        FPosition += n;
        return static_cast<int32_t>(n);
    }
    int32_t Write(const void* buffer, int32_t count) override
    {
        if (count <= 0) {
            return 0;
        }
        const auto* bytes = static_cast<const char*>(buffer);
        const size_t end = FPosition + static_cast<size_t>(count);
        try {
            if (FPosition > FText.size()) {
                FText.resize(FPosition);
            }
            if (FPosition == FText.size()) {
                FText.append(bytes, static_cast<size_t>(count));  // the usual case: no zero fill first
            } else {
                const size_t over = std::min(FText.size() - FPosition, static_cast<size_t>(count));
                FText.replace(FPosition, over, bytes, static_cast<size_t>(count));
            }
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory("Out of memory while expanding memory stream");
        }
        FPosition = end;
        return count;
    }
    int64_t Seek(int64_t offset, SeekOrigin origin) override
    {
        int64_t to = offset;
        if (origin == SeekOrigin::Current) {
            to += static_cast<int64_t>(FPosition);
        } else if (origin == SeekOrigin::End) {
            to += static_cast<int64_t>(FText.size());
        }
        FPosition = static_cast<size_t>(std::max<int64_t>(to, 0));
        return static_cast<int64_t>(FPosition);
    }
    int64_t Size() override { return static_cast<int64_t>(FText.size()); }
    std::string Take() { FPosition = 0; return std::move(FText); }
    // Room for bytes to come, so that a large entry is not copied again at every doubling.
    void Reserve(int64_t bytes)
    {
        if (bytes > 0 && static_cast<uint64_t>(bytes) < FText.max_size()) {
            try {
                FText.reserve(static_cast<size_t>(bytes));
            } catch (const std::bad_alloc&) {
                // Only a hint: the entry grows as it is written.
            }
        }
    }

    CL_CLASS_NAME(TBodyStream)

private:
    std::string FText;
    size_t FPosition = 0;
};

// The inflated entry; empty when it gives no data or its data are damaged. Any other failure
// (an allocation, a file that cannot be read, a fault of ours) travels on.
std::string LoadEntry(TLBFile& book, const TLBFileRecord& record, const std::string& name)
{
    try {
        TBodyStream stream;
        stream.Reserve(book.StoredSize(record));
        if (book.ExtractEntry(name, &stream)) {
            return stream.Take();
        }
    } catch (const ECorruptInput&) {
        // Damaged data: answered as an entry without data.
    }
    return {};
}

bool IsDecimal(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

// ---- the answer -----------------------------------------------------------------------------

std::string EntryPathOf(const std::string& fileName, const std::string& urlPrefix)
{
    std::string path = fileName;
    if (path.compare(0, urlPrefix.size(), urlPrefix) == 0) {
        path.erase(0, urlPrefix.size());
    }
    path.erase(0, path.find_first_not_of('/'));
    path.erase(std::min(path.find('?'), path.size()));
    path.erase(std::min(path.find('#'), path.size()));
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool IsServedHost(const std::string& host)
{
    if (host.empty()) {
        return true;
    }
    const size_t colon = host.find(':');
    if (colon != std::string::npos && !IsDecimal(host.substr(colon + 1))) {
        return false;
    }
    const std::string name = host.substr(0, colon);
    return name == kLoopbackAddress || UpperCaseStr(name) == kLoopbackNameUpper;
}

std::string HttpDateString(TDateTime t)
{
    // Whole milliseconds, split into the day and the time of day (floor, for days before 1899).
    const int64_t ms = std::llround(t * kMSecsPerDay);
    const int64_t day = ms >= 0 ? ms / kMSecsPerDay : -((-ms + kMSecsPerDay - 1) / kMSecsPerDay);
    const int64_t seconds = (ms - day * kMSecsPerDay) / 1000;
    uint16_t year, month, dayOfMonth;
    DecodeDate(static_cast<TDateTime>(day), year, month, dayOfMonth);
    const int64_t weekday = ((day + kDayZeroWeekday) % 7 + 7) % 7;
    return Format("%s, %.2d %s %.4d %.2d:%.2d:%.2d GMT", kDayNames[weekday], dayOfMonth,
                  kMonthNames[month >= 1 ? month - 1 : 0], year, static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

std::string AnswerBadRequest(TLcResponse& response)
{
    response.SetStatusCode(400);
    response.SetStatusText("Bad Request");
    return "Status 400: Bad Request";
}

std::string AnswerServerError(TLcResponse& response)
{
    response.TLcHttpHeader::Clear();
    response.SetStatusCode(500);
    response.SetStatusText("Internal Server Error");
    return "Status 500: Internal Server Error";
}

TPageAnswer AnswerPageRequest(const TLcRequest& request, TLBFile& book, const TStringList& mimeTypes,
                              const std::string& urlPrefix, TDateTime utcNow, TLcResponse& response)
{
    TPageAnswer answer;
    if (!IsServedHost(request.GetValueUpper("HOST"))) {
        answer.Outcome = TPageOutcome::Refused;
        answer.Body = AnswerBadRequest(response);
        return answer;
    }
    answer.Path = EntryPathOf(request.FileName(), urlPrefix);
    const TLBFileRecord* record = ServableRecord(book, answer.Path);
    if (!record) {
        const std::string decoded = DecodedEntryPath(answer.Path);
        if (!decoded.empty() && (record = ServableRecord(book, decoded)) != nullptr) {
            answer.Path = decoded;
        }
    }
    if (!record) {
        answer.Outcome = TPageOutcome::NotFound;
        answer.Body = AnswerNotFound(response);
        return answer;
    }
    answer.Body = LoadEntry(book, *record, answer.Path);
    if (answer.Body.empty()) {
        answer.Outcome = TPageOutcome::NotLoaded;
        answer.Body = AnswerNotFound(response);
        return answer;
    }
    answer.Outcome = TPageOutcome::Served;
    std::string type = MimeTypeOf(mimeTypes, answer.Path);
    if (answer.Body.compare(0, kUtf8BomBytes, kUtf8Bom, kUtf8BomBytes) == 0) {
        type += kUtf8CharsetSuffix;
    }
    response.SetContentType(type);
    response.SetContentLength(static_cast<int64_t>(answer.Body.size()));
    response.SetValue("Expires", HttpDateString(utcNow - kExpiresBeforeNow));
    response.SetValue("Cache-Control", "no-cache");
    return answer;
}

// ---- the server events ----------------------------------------------------------------------

void TPageServer::FileProviderCheckRequest(TPageConnection& sender) { sender.AcceptRequest(); }

void TPageServer::FileProviderDataReceived(TPageConnection& sender)
{
    if (!sender.Request().Complete()) {
        return;
    }
    sender.AcceptRequest();
    // Only a failure in answering the request is answered 500: one in reaching the host's
    // parts fails the handler, which closes the connection.
    TLBFile& book = FHost.Book();
    const TStringList& mimeTypes = FHost.MimeTypes();
    const std::string& urlPrefix = FHost.UrlPrefix();
    const TDateTime utcNow = FHost.UtcNow();
    TPageAnswer answer;
    try {
        answer = AnswerPageRequest(sender.Request(), book, mimeTypes, urlPrefix, utcNow, sender.Response());
    } catch (...) {
        // Not the book's damage but a failure of ours or of the system: logged with what it
        // was, and answered as such.
        LogCurrentException("TPageServer.FileProviderDataReceived (" + sender.Request().FileName() + ")", "ERROR");
        sender.Write(AnswerServerError(sender.Response()));
        return;
    }
    switch (answer.Outcome) {
    case TPageOutcome::Served: FHost.DebugServed(answer.Path); break;
    case TPageOutcome::NotLoaded: FHost.Debug("---> ERROR: " + answer.Path + " found but NOT loaded!"); break;
    case TPageOutcome::NotFound: FHost.Debug("---> ERROR: " + answer.Path + " NOT found!"); break;
    case TPageOutcome::Refused: break;
    }
    sender.Write(std::move(answer.Body));
}

void TPageServer::ServerInvalidRequest(TPageConnection& sender) { sender.Write(AnswerBadRequest(sender.Response())); }

void TPageServer::ServerListenStart() { FHost.Debug("Server ready"); }

void TPageServer::ServerListenError(const Exception& e)
{
    FHost.Debug(std::string("Error starting Web Server! ") + e.ClassName() + ">" + e.Message());
}
