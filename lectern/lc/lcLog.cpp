// The file logger.
//
// Two locks guard the module state. The logger lock (a re-entrant TLcCritSec, made by the
// unit start) serialises the folder resolution, every file write and every buffer change;
// the flush that an append triggers runs inside the lock that Log already holds. A small
// settings lock guards the two text settings and the test seams, so that any thread may read
// or set them; the other switches are atomics and are read without a lock.
//
// Opening a log: an existing file is opened for reading and writing with read and write
// shared, and the line is written at its end. Only when that fails is a new file made, and
// then never by truncation: the create asks for a file that does not exist yet, and when
// another process made it in between, that file is opened and appended to instead. Old logs
// are deleted only when a new file is to be made.
#include "lectern/lc/lcLog.h"

#include "classlib/PlatformFiles.h"
#include "classlib/PlatformText.h"
#include "lectern/lc/lcFastStrings.h"
#include "lectern/lc/lcInfo.h"
#include "lectern/lc/lcSyncObjs.h"
#include "lectern/lc/memStringObjList.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>
#include <memory>
#include <mutex>

std::atomic<bool> LogEnabled{false};
std::atomic<bool> LogBuffered{false};
std::atomic<bool> LogThreadId{false};
std::atomic<int32_t> LogKeepDays{0};
std::atomic<int32_t> LogBufferLimit{0};
std::atomic<bool> LogExceptionEnabled{true};
std::atomic<bool> LogHandledErrors{false};

namespace {

const char kLogDefaultTimeFormat[] = "yyyy-mm-dd hh:nn:ss.zzz; ";
const char kLogDefaultFolderName[] = "LOG";
const char kLogLineEnd[] = "\r\n";
const char kLogExtension[] = ".log";
// Nodes per block of the buffer map; a handful of log names is the rule.
constexpr int kLogBufferMapBlockSize = 16;
// Largest piece handed to one write call.
constexpr int32_t kLogWriteChunkBytes = 1 << 20;

// ---- settings (under settingsLock) ----
std::mutex settingsLock;
std::string timeFormat = kLogDefaultTimeFormat;
std::string folderName = kLogDefaultFolderName;
TLcLogClock clockOverride = nullptr;
std::string exeFileNameOverride;
bool folderStale = false;  // the exe path changed: resolve the folder again

// ---- state under the logger lock ----
std::unique_ptr<TLcCritSec> loggerLock;
std::string folderPath;
std::unique_ptr<tStringObjList> buffers;  // file-name part -> TLcHugeString, owned here
int64_t bufferedBytes = 0;

bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

std::string WithTrailingDelimiter(const std::string& path)
{
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) {
        return path;
    }
    return path + plat::PathDelim();
}

size_t FileNameStart(const std::string& path)
{
    size_t i = path.size();
    while (i > 0 && !IsPathDelimiter(path[i - 1])) {
        --i;
    }
    return i;
}

TDateTime CurrentTime()
{
    TLcLogClock clock;
    {
        std::lock_guard<std::mutex> guard(settingsLock);
        clock = clockOverride;
    }
    return clock != nullptr ? clock() : Now();
}

std::string ExeFileName()
{
    {
        std::lock_guard<std::mutex> guard(settingsLock);
        if (!exeFileNameOverride.empty()) {
            return exeFileNameOverride;
        }
    }
    const std::string& own = LcExeFileName();
    return own.empty() ? plat::ExePath() : own;
}

std::string SystemToUtf8(const std::string& s) { return Utf8EncodeText(plat::SystemToWide(s)); }

bool StartsWithLetters(const std::string& s, size_t at, const char* letters)
{
    for (size_t k = 0; letters[k] != '\0'; ++k) {
        if (at + k >= s.size() || (s[at + k] | 0x20) != letters[k]) {
            return false;
        }
    }
    return true;
}

std::string Padded(unsigned value, size_t width)
{
    std::string digits = std::to_string(value);
    return std::string(digits.size() < width ? width - digits.size() : 0, '0') + digits;
}

std::string FormatLogTime(const std::string& format, TDateTime now)
{
    uint16_t year, month, day, hour, minute, second, millisecond;
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, millisecond);
    struct Field {
        const char* letters;
        unsigned value;
    };
    const Field fields[] = {{"yyyy", year}, {"zzz", millisecond}, {"mm", month}, {"dd", day},
                            {"hh", hour},   {"nn", minute},       {"ss", second}};
    std::string result;
    size_t i = 0;
    while (i < format.size()) {
        const Field* match = nullptr;
        for (const Field& field : fields) {
            if (StartsWithLetters(format, i, field.letters)) {
                match = &field;
                break;
            }
        }
        if (match == nullptr) {
            result += format[i++];
            continue;
        }
        const size_t width = std::char_traits<char>::length(match->letters);
        result += Padded(match->value, width);
        i += width;
    }
    return result;
}

bool HasLogExtension(const std::string& name)
{
    const size_t n = sizeof kLogExtension - 1;
    if (name.size() < n) {
        return false;
    }
    for (size_t k = 0; k < n; ++k) {
        const char c = name[name.size() - n + k];
        if ((c >= 'A' && c <= 'Z' ? c | 0x20 : c) != kLogExtension[k]) {
            return false;
        }
    }
    return true;
}

// Deletes every "*.log" file of the log folder older than LogKeepDays, whichever program
// wrote it. The folder listing may also answer names whose short (8.3) form matches the
// pattern, such as "a.logfile": only the file's own name counts.
void DeleteOldLogs()
{
    const TDateTime cutOff = CurrentTime() - LogKeepDays;
    for (const plat::FolderFile& file : plat::ListFolderFiles(folderPath)) {
        if (!HasLogExtension(file.Name) || !file.HasModified) {
            continue;
        }
        const plat::LocalTime& t = file.Modified;
        TDateTime date;
        TDateTime time;
        if (!TryEncodeDate(t.Year, t.Month, t.Day, date) ||
            !TryEncodeTime(t.Hour, t.Minute, t.Second, t.Millisecond, time)) {
            continue;
        }
        if (date + time < cutOff) {
            plat::RemoveFile(folderPath + file.Name);
        }
    }
}

// Under the logger lock.
void ResolveFolder(const std::string& exeFileName)
{
    std::string name;
    {
        std::lock_guard<std::mutex> guard(settingsLock);
        name = folderName;
        if (folderStale) {
            folderPath.clear();
            folderStale = false;
        }
    }
    if (folderPath.empty()) {
        folderPath = WithTrailingDelimiter(exeFileName.substr(0, FileNameStart(exeFileName)));
        if (!name.empty()) {
            folderPath = WithTrailingDelimiter(folderPath + name);
        }
    }
    if (!plat::DirectoryExists(folderPath) && !plat::ForceDirectories(folderPath)) {
        folderPath = WithTrailingDelimiter(TempFolder()) + name;
        if (!plat::DirectoryExists(folderPath)) {
            plat::ForceDirectories(folderPath);
        }
        folderPath = WithTrailingDelimiter(folderPath);
    }
}

bool WriteAll(plat::FileHandle file, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const auto piece = static_cast<int32_t>(std::min<size_t>(data.size() - done, kLogWriteChunkBytes));
        const int32_t written = plat::FileWrite(file, data.data() + done, piece);
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

// Under the logger lock.
void WriteToFile(const std::string& fileNamePart, const std::string& data)
{
    const std::string exeFileName = ExeFileName();
    ResolveFolder(exeFileName);
    const std::string path = folderPath + exeFileName.substr(FileNameStart(exeFileName)) + "." + fileNamePart;
    const uint32_t shared = plat::fmOpenReadWrite | plat::fmShareDenyNone;
    plat::FileHandle file = plat::FileOpen(path, shared);
    if (file == plat::kInvalidFile) {
        if (LogKeepDays > 0) {
            try {
                DeleteOldLogs();
            } catch (...) {
            }
        }
        file = plat::FileCreateNew(path, plat::fmShareExclusive);
        if (file == plat::kInvalidFile) {
            file = plat::FileOpen(path, shared);  // made by someone else meanwhile
        }
    }
    if (file == plat::kInvalidFile) {
        return;  // the line is lost
    }
    if (plat::FileSeek(file, 0, plat::SeekOrigin::End) >= 0) {
        WriteAll(file, data);
    }
    plat::FileClose(file);
}

// Under the logger lock.
void AppendToBuffer(const std::string& fileNamePart, const std::string& line)
{
    if (!buffers) {
        buffers = std::make_unique<tStringObjList>(kLogBufferMapBlockSize);
    }
    auto* buffer = static_cast<TLcHugeString*>(buffers->Find(fileNamePart));
    if (buffer == nullptr) {
        auto fresh = std::make_unique<TLcHugeString>();
        buffers->Insert(fileNamePart, fresh.get());
        buffer = fresh.release();
    }
    buffer->Append(line);
    bufferedBytes += static_cast<int64_t>(line.size());
    if (bufferedBytes > LogBufferLimit) {
        FlushLogBuffers();
    }
}

}  // namespace

std::string LogTimeFormat()
{
    std::lock_guard<std::mutex> guard(settingsLock);
    return timeFormat;
}

void SetLogTimeFormat(const std::string& format)
{
    std::lock_guard<std::mutex> guard(settingsLock);
    timeFormat = format;
}

std::string LogFolderName()
{
    std::lock_guard<std::mutex> guard(settingsLock);
    return folderName;
}

void SetLogFolderName(const std::string& name)
{
    std::lock_guard<std::mutex> guard(settingsLock);
    folderName = name;
}

void Log(const std::string& text, const std::string& name)
{
    if (!LogEnabled) {
        return;
    }
    try {
        const TDateTime now = CurrentTime();
        const std::string format = LogTimeFormat();
        std::string prefix;
        if (LogThreadId) {
            prefix = std::to_string(MyThreadId()) + "#";
        }
        if (!format.empty()) {
            prefix = SystemToUtf8(prefix + FormatLogTime(format, now));
        }
        const std::string fileNamePart = name.empty() ? "log" : name + kLogExtension;
        const std::string line = prefix + text + kLogLineEnd;
        TLcCritSec* lock = loggerLock.get();
        if (lock == nullptr) {
            return;
        }
        TLockGuard guard(*lock);
        try {
            if (LogBuffered) {
                AppendToBuffer(fileNamePart, line);
            } else {
                WriteToFile(fileNamePart, line);
            }
        } catch (...) {
        }
    } catch (...) {
    }
}

namespace {

// The line of a caught exception, when exceptions are logged: context + " Exception! " + what
// it was (its class and message, or "unknown"). Never raises.
template <typename What>
void LogCaughtLine(const std::string& context, What&& what, const std::string& name)
{
    if (!LogExceptionEnabled || !LogEnabled) {
        return;
    }
    try {
        Log(context + " Exception! " + what(), name);
    } catch (...) {
    }
}

// The readable name of a type: the compiler's mangled name decoded where the run time can.
std::string TypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> decoded(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                   std::free);
    return status == 0 && decoded ? std::string(decoded.get()) : std::string(type.name());
}

}  // namespace

void LogException(const std::string& context, const Exception& e, const std::string& name)
{
    LogCaughtLine(context, [&e] { return SystemToUtf8(e.ClassName()) + ": " + SystemToUtf8(e.Message()); }, name);
}

void LogCurrentException(const std::string& context, const std::string& name)
{
    try {
        throw;
    } catch (const Exception& e) {
        LogException(context, e, name);
    } catch (const std::exception& e) {
        LogCaughtLine(context, [&e] { return TypeName(typeid(e)) + ": " + SystemToUtf8(e.what()); }, name);
    } catch (...) {
        LogCaughtLine(context, [] { return std::string("unknown"); }, name);
    }
}

void StopFileLog() { LogEnabled = false; }

void FlushLogBuffers()
{
    TLcCritSec* lock = loggerLock.get();
    if (lock == nullptr) {
        return;
    }
    TLockGuard guard(*lock);
    try {
        while (buffers && !buffers->IsEmpty()) {
            std::string key;
            TObject* object = nullptr;
            buffers->FindMin(key, object);
            buffers->Remove(key);
            const std::unique_ptr<TLcHugeString> buffer(static_cast<TLcHugeString*>(object));
            try {
                WriteToFile(key, buffer->GetText());
            } catch (...) {
            }
        }
    } catch (...) {
    }
    bufferedBytes = 0;
}

void EndLogBuffering()
{
    TLcCritSec* lock = loggerLock.get();
    if (lock == nullptr) {
        return;
    }
    TLockGuard guard(*lock);
    LogBuffered = false;
    FlushLogBuffers();
    buffers.reset();
}

void InitializeLcLog()
{
    LogEnabled = false;
    LogBuffered = false;
    LogThreadId = false;
    LogKeepDays = 0;
    LogBufferLimit = 0;
    LogExceptionEnabled = true;
    LogHandledErrors = false;
    {
        std::lock_guard<std::mutex> guard(settingsLock);
        timeFormat = kLogDefaultTimeFormat;
        folderName = kLogDefaultFolderName;
    }
    folderPath.clear();
    bufferedBytes = 0;
    if (!loggerLock) {
        loggerLock = std::make_unique<TLcCritSec>();
    }
}

void FinalizeLcLog()
{
    StopFileLog();
    EndLogBuffering();
    loggerLock.reset();
    std::lock_guard<std::mutex> guard(settingsLock);
    folderName.clear();
    timeFormat.clear();
    folderPath.clear();
}

void SetLogClock(TLcLogClock clock)
{
    std::lock_guard<std::mutex> guard(settingsLock);
    clockOverride = clock;
}

void SetLogExeFileName(const std::string& path)
{
    std::lock_guard<std::mutex> guard(settingsLock);
    exeFileNameOverride = path;
    folderStale = true;
}
