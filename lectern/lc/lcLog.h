// Unit lcLog: diagnostic lines of the communication library, one text file per log name.
//
// Every caller goes through Log (text, name) and LogException (context, e, name). A line is
// an optional thread number with "#", an optional time stamp, the text and CR LF; it goes to
//   <log folder><executable's file name with extension>.<name>.log   ("...exe.log" for "")
// where the log folder is LogFolderName ("LOG") beside the executable or, when that cannot be
// made, LogFolderName under the temporary folder. Buffered, lines collect in memory per file
// and go out together, in ascending order of their file names.
//
// Every switch is off by default except LogExceptionEnabled; while LogEnabled is off Log
// returns at once and no folder or file is made. The logger never raises: a line that cannot
// be written is lost. Any thread may log and read or set the switches (atomics; the two text
// settings are read and set under a lock of their own).
#pragma once

#include "classlib/DateUtils.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>

#include "classlib/SysUtils.h"

// ---- switches -------------------------------------------------------------------------------

extern std::atomic<bool> LogEnabled;           // master switch [false]
extern std::atomic<bool> LogBuffered;          // lines go to in-memory buffers [false]
extern std::atomic<bool> LogThreadId;          // lines start with the thread number and "#" [false]
extern std::atomic<int32_t> LogKeepDays;       // delete "*.log" files older than this; <= 0 never [0]
extern std::atomic<int32_t> LogBufferLimit;    // buffered bytes above which buffers go out [0]
extern std::atomic<bool> LogExceptionEnabled;  // gate of LogException [true]
// Code that catches an exception in a destructor, an event or a job reports it through
// LogException only while this is on [false].
extern std::atomic<bool> LogHandledErrors;

// Format of the time stamp that starts each line ["yyyy-mm-dd hh:nn:ss.zzz; "]: yyyy year,
// mm month, dd day, hh hour, nn minutes, ss seconds, zzz milliseconds, all zero-padded
// (letters in either case); every other character is copied. Empty: no time stamp.
std::string LogTimeFormat();
void SetLogTimeFormat(const std::string& format);
// Name of the log folder ["LOG"]; empty puts the files beside the executable.
std::string LogFolderName();
void SetLogFolderName(const std::string& name);

// ---- logging --------------------------------------------------------------------------------

void Log(const std::string& text, const std::string& name);
// When LogExceptionEnabled: Log (context + " Exception! " + class name + ": " + message).
void LogException(const std::string& context, const Exception& e, const std::string& name);
// Inside a catch block only: logs the exception being handled, whatever its type: an
// Exception through LogException, a std::exception as its type's name and its what() text,
// anything else as "unknown" (context + " Exception! unknown"). Never raises.
void LogCurrentException(const std::string& context, const std::string& name);
// The one boundary of a step whose failure goes no further: a thread's loop or job, an event
// or callback, the freeing part of a destructor. Runs step; whatever escapes it is logged
// through LogCurrentException under name with the context, when logged holds, and dropped;
// nothing is dropped without that. True when the step ran to its end. The context is a text,
// or a function that makes it once something escaped (a queue names the job it had got to).
template <typename Context, typename Step>
bool RunAtBoundary(const char* name, const Context& context, Step&& step, bool logged = true) noexcept
{
    try {
        step();
        return true;
    } catch (...) {
        if (logged) {
            try {
                if constexpr (std::is_invocable_v<const Context&>) {
                    LogCurrentException(context(), name);
                } else {
                    LogCurrentException(context, name);
                }
            } catch (...) {
                // The context could not be made: the logger never raises.
            }
        }
        return false;
    }
}
// LogEnabled := false.
void StopFileLog();
// Writes out and frees every buffer.
void FlushLogBuffers();
// LogBuffered := false, then the buffers go out and the buffer map is freed.
void EndLogBuffering();

// ---- unit start and end ---------------------------------------------------------------------

// Every switch to its default, the log folder not resolved yet, the logger lock made.
void InitializeLcLog();
// StopFileLog, EndLogBuffering, frees the lock and clears the folder name, the resolved
// folder and the time format.
void FinalizeLcLog();

// ---- seams for tests ------------------------------------------------------------------------

// The local time now; nullptr restores the system clock.
using TLcLogClock = TDateTime (*)();
void SetLogClock(TLcLogClock clock);
// The executable's path that names the log files and their folder; empty restores the
// program's own. The log folder is resolved again on the next write.
void SetLogExeFileName(const std::string& path);
