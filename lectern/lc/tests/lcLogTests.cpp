#include "lectern/lc/lcLog.h"

#include "classlib/Platform.h"
#include "classlib/SysUtils.h"
#include "lectern/lc/lcInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// ---- the injected clock ---------------------------------------------------------------------

TDateTime gFakeNow = 0;
// While set, every clock reading first notes which files the folder holds.
std::string gWatchedDir;
std::vector<std::vector<std::string>> gSnapshots;
// Called at the clock reading with this number (1-based), then cleared. The logger reads its
// clock outside its lock, so the count and the action are shared by the threads that log.
std::atomic<int> gClockCalls{0};
std::atomic<int> gActionAtCall{0};
std::atomic<void (*)()> gClockAction{nullptr};
std::mutex gSnapshotsLock;

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TDateTime FakeClock()
{
    const int call = ++gClockCalls;
    if (!gWatchedDir.empty()) {
        const std::lock_guard<std::mutex> guard(gSnapshotsLock);
        gSnapshots.push_back(FilesIn(gWatchedDir));
    }
    if (call == gActionAtCall) {
        if (void (*action)() = gClockAction.exchange(nullptr)) {
            action();
        }
    }
    return gFakeNow;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

const std::string kDelim(1, plat::PathDelim());
std::string gRaceFile;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FRoot = TempFolder() + "lclog_" + std::to_string(MyThreadId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + kDelim;
        fs::remove_all(FRoot);
        fs::create_directories(FRoot);
        InitializeLcLog();
        SetLogExeFileName(FRoot + "app.exe");
        SetLogClock(FakeClock);
        gFakeNow = EncodeDate(2026, 1, 31) + EncodeTime(13, 45, 7, 123);
        gWatchedDir.clear();
        gSnapshots.clear();
        gClockCalls = 0;
        gClockAction = nullptr;
        SetLogTimeFormat("");
        LogEnabled = true;
    }

    void TearDown() override
    {
        FinalizeLcLog();
        SetLogClock(nullptr);
        SetLogExeFileName("");
        gWatchedDir.clear();
        fs::remove_all(FRoot);
    }

    std::string LogDir() const { return FRoot + "LOG" + kDelim; }
    std::string LogFile(const std::string& part) const { return LogDir() + "app.exe." + part; }

    std::string FRoot;
};

TEST_F(LogTest, EverySwitchIsOffByDefaultButTheExceptionGate)
{
    FinalizeLcLog();
    InitializeLcLog();
    EXPECT_FALSE(LogEnabled);
    EXPECT_FALSE(LogBuffered);
    EXPECT_FALSE(LogThreadId);
    EXPECT_FALSE(LogHandledErrors);
    EXPECT_TRUE(LogExceptionEnabled);
    EXPECT_EQ(LogKeepDays, 0);
    EXPECT_EQ(LogBufferLimit, 0);
    EXPECT_EQ(LogTimeFormat(), "yyyy-mm-dd hh:nn:ss.zzz; ");
    EXPECT_EQ(LogFolderName(), "LOG");

    Log("abc", "ERROR");
    LogException("Close", EConvertError("bad"), "ERROR");
    EXPECT_FALSE(fs::exists(LogDir()));
}

TEST_F(LogTest, FileNameIsExecutableNameLogNameAndLog)
{
    Log("abc", "");
    Log("def", "");
    Log("x", "ERROR");
    EXPECT_EQ(ReadText(LogFile("log")), "abc\r\ndef\r\n");
    EXPECT_EQ(ReadText(LogFile("ERROR.log")), "x\r\n");
    EXPECT_EQ(FilesIn(LogDir()), (std::vector<std::string>{"app.exe.ERROR.log", "app.exe.log"}));

    // An empty folder name puts the files beside the executable.
    FinalizeLcLog();
    InitializeLcLog();
    SetLogTimeFormat("");
    SetLogFolderName("");
    LogEnabled = true;
    Log("beside", "SOCK");
    EXPECT_EQ(ReadText(FRoot + "app.exe.SOCK.log"), "beside\r\n");
}

TEST_F(LogTest, LinePrefixIsThreadNumberThenTimeStamp)
{
    const std::string thread = std::to_string(MyThreadId()) + "#";
    const TDateTime lateJanuary = EncodeDate(2026, 1, 31) + EncodeTime(13, 45, 7, 123);
    const TDateTime earlyFebruary = EncodeDate(2026, 2, 3) + EncodeTime(1, 2, 3, 4);
    struct Case {
        bool threadId;
        std::string format;
        TDateTime when;
        std::string expected;
    } cases[] = {
        {false, "yyyy-mm-dd hh:nn:ss.zzz; ", lateJanuary, "2026-01-31 13:45:07.123; text\r\n"},
        {false, "yyyy-mm-dd hh:nn:ss.zzz; ", earlyFebruary, "2026-02-03 01:02:03.004; text\r\n"},
        {true, "yyyy-mm-dd hh:nn:ss.zzz; ", lateJanuary, thread + "2026-01-31 13:45:07.123; text\r\n"},
        {true, "", lateJanuary, thread + "text\r\n"},
        {false, "YYYY/MM/DD [zzz] q-", earlyFebruary, "2026/02/03 [004] q-text\r\n"},
        {false, "", lateJanuary, "text\r\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        LogThreadId = c.threadId;
        SetLogTimeFormat(c.format);
        gFakeNow = c.when;
        const std::string name = "case" + std::to_string(n++);
        Log("text", name);
        EXPECT_EQ(ReadText(LogFile(name + ".log")), c.expected);
    }
}

TEST_F(LogTest, LogExceptionWritesContextClassAndMessageInUtf8)
{
    LogException("Close", EConvertError("bad"), "ERROR");
    LogException("Read", EFOpenError("caf\xE9"), "ERROR");  // system code page text
    LogExceptionEnabled = false;
    LogException("Gate", EConvertError("closed"), "ERROR");
    EXPECT_EQ(ReadText(LogFile("ERROR.log")),
              "Close Exception! EConvertError: bad\r\n"
              "Read Exception! EFOpenError: caf\xC3\xA9\r\n");
}

// What a boundary catches is logged by its class whatever it is: an Exception, a standard
// exception (its type), anything else ("unknown"); nothing is dropped unlogged. A boundary
// whose switch is off logs nothing; the step's own result tells it failed.
TEST_F(LogTest, ABoundaryLogsWhatItCaughtByItsClass)
{
    EXPECT_TRUE(RunAtBoundary("ERROR", "Ran", [] {}));
    EXPECT_FALSE(RunAtBoundary("ERROR", "Event", [] { throw EConvertError("bad"); }));
    EXPECT_FALSE(RunAtBoundary("ERROR", "Thread", [] { throw std::runtime_error("boom"); }));
    EXPECT_FALSE(RunAtBoundary("ERROR", "Destroy", [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(RunAtBoundary("ERROR", [] { return std::string("Job ") + "(late)"; }, [] { throw 42; }));
    EXPECT_FALSE(RunAtBoundary("ERROR", "Off", [] { throw std::runtime_error("quiet"); }, false));
    EXPECT_EQ(ReadText(LogFile("ERROR.log")),
              "Event Exception! EConvertError: bad\r\n"
              "Thread Exception! std::runtime_error: boom\r\n"
              "Destroy Exception! std::bad_alloc: std::bad_alloc\r\n"
              "Job (late) Exception! unknown\r\n");
}

TEST_F(LogTest, BufferLimitZeroWritesEveryLineAtOnce)
{
    LogBuffered = true;
    Log("a", "B");
    EXPECT_EQ(ReadText(LogFile("B.log")), "a\r\n");
    Log("b", "B");
    EXPECT_EQ(ReadText(LogFile("B.log")), "a\r\nb\r\n");
}

TEST_F(LogTest, BufferedLinesGoOutTogetherInOrderOfTheirFileNames)
{
    LogBuffered = true;
    LogBufferLimit = 1000;
    LogKeepDays = 1;  // so that making each file reads the clock, which notes the folder
    const std::string line(300, 'x');
    Log(line, "C");
    Log(line, "A");
    Log(line, "B");  // 906 bytes buffered: nothing written yet
    EXPECT_FALSE(fs::exists(LogDir()));

    gWatchedDir = LogDir();
    const std::string over(100, 'y');  // 1008 bytes
    Log(over, "A");
    EXPECT_EQ(ReadText(LogFile("A.log")), line + "\r\n" + over + "\r\n");
    EXPECT_EQ(ReadText(LogFile("B.log")), line + "\r\n");
    EXPECT_EQ(ReadText(LogFile("C.log")), line + "\r\n");
    // The flush made A, then B, then C.
    ASSERT_GE(gSnapshots.size(), 3u);
    const std::vector<std::vector<std::string>> lastThree(gSnapshots.end() - 3, gSnapshots.end());
    EXPECT_EQ(lastThree, (std::vector<std::vector<std::string>>{
                             {}, {"app.exe.A.log"}, {"app.exe.A.log", "app.exe.B.log"}}));

    // Lines buffered again go out at EndLogBuffering; later lines go straight to the file.
    Log("held", "C");
    EXPECT_EQ(ReadText(LogFile("C.log")), line + "\r\n");
    EndLogBuffering();
    EXPECT_FALSE(LogBuffered);
    Log("direct", "C");
    EXPECT_EQ(ReadText(LogFile("C.log")), line + "\r\nheld\r\ndirect\r\n");

    // The unit end writes out what is still buffered.
    LogBuffered = true;
    Log("last", "C");
    FinalizeLcLog();
    EXPECT_EQ(ReadText(LogFile("C.log")), line + "\r\nheld\r\ndirect\r\nlast\r\n");
}

TEST_F(LogTest, OldLogsAreDeletedByTheirOwnNameOnlyWhenALogIsMade)
{
    SetLogClock(nullptr);  // file times and the cut-off from the same real clock
    LogKeepDays = 7;
    fs::create_directories(LogDir());
    const auto now = fs::file_time_type::clock::now();
    const auto daysAgo = [&](int days) { return now - std::chrono::hours(24 * days); };
    const std::map<std::string, int> files = {
        {"old.log", 10},     {"OTHER.LOG", 10}, {"young.log", 1},
        {"old.logfile", 10}, {"old.txt", 10},   {"app.exe.ERROR.log", 10},
    };
    for (const auto& [name, age] : files) {
        WriteText(LogDir() + name, "x");
        fs::last_write_time(LogDir() + name, daysAgo(age));
    }
    fs::create_directories(LogDir() + "olddir.log");  // folders are never candidates

    Log("into an existing log", "ERROR");  // nothing is made, nothing deleted
    EXPECT_EQ(FilesIn(LogDir()).size(), files.size() + 1);

    Log("into a new log", "");
    // The ERROR log is young again: it was just written to.
    EXPECT_EQ(FilesIn(LogDir()), (std::vector<std::string>{"app.exe.ERROR.log", "app.exe.log", "old.logfile",
                                                           "old.txt", "olddir.log", "young.log"}));
    EXPECT_EQ(ReadText(LogFile("log")), "into a new log\r\n");
}

TEST_F(LogTest, FallsBackToTheTemporaryFolderWhenTheLogFolderCannotBeMade)
{
    WriteText(FRoot + "blocker", "a file where a folder would have to be");
    SetLogExeFileName(FRoot + "blocker" + kDelim + "app.exe");
    const std::string folder = "LOG_lclog_" + std::to_string(MyThreadId());
    SetLogFolderName(folder);
    const std::string fallback = TempFolder() + folder + kDelim;
    fs::remove_all(fallback);

    Log("abc", "");
    Log("def", "");
    EXPECT_EQ(ReadText(fallback + "app.exe.log"), "abc\r\ndef\r\n");
    fs::remove_all(fallback);
}

TEST_F(LogTest, ALogMadeMeanwhileIsAppendedToNotTruncated)
{
    fs::create_directories(LogDir());
    WriteText(LogFile("A.log"), "earlier\r\n");
    Log("abc", "A");
    EXPECT_EQ(ReadText(LogFile("A.log")), "earlier\r\nabc\r\n");

    // Another writer makes the file between the failed open and the create: the clock read
    // for the old-log cut-off (the second reading of this call) stands in for that moment.
    LogKeepDays = 1;
    gRaceFile = LogFile("B.log");
    gClockCalls = 0;
    gActionAtCall = 2;
    gClockAction = [] { WriteText(gRaceFile, "other\r\n"); };
    Log("abc", "B");
    EXPECT_EQ(gClockAction.load(), nullptr);
    EXPECT_EQ(ReadText(LogFile("B.log")), "other\r\nabc\r\n");
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole)
{
    LogThreadId = true;
    constexpr int kThreads = 4;
    constexpr int kLines = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < kLines; ++i) {
                Log("line " + std::to_string(i), "THREAD");
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    const std::string text = ReadText(LogFile("THREAD.log"));
    size_t pos = 0;
    int lines = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(pos, end - pos);
        const size_t hash = line.find("#line ");
        ASSERT_NE(hash, std::string::npos) << line;
        ASSERT_GT(hash, 0u) << line;
        ASSERT_EQ(line.find_first_not_of("0123456789"), hash) << line;
        ++lines;
        pos = end + 2;
    }
    EXPECT_EQ(lines, kThreads * kLines);
}

}  // namespace
