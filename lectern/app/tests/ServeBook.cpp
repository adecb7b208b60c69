// serve-book: serves a book file over the viewer's HTTP server, for checks from outside.
//
//   serve-book [--idle SECONDS] [--blocking] BOOK [PORT]
//
// Listens on 127.0.0.1:PORT (without PORT: the first port from 8000 to 8099 the viewer's probe
// can take) and prints "LISTENING <port>" on standard output once it listens. Ends when its
// standard input closes: the server stops, every connection ends, and the exit code is 0.
// --idle: seconds after which a connection that sends nothing is closed (60 by default).
// --blocking: the server runs on blocking sockets instead of asynchronous ones.
// Lines on standard input, for soak tests:
//   restart   the server restarts (stops listening, every connection ends, listens again)
//   report    prints "CONNECTIONS <open connections> QUEUES <live job queues>"
// Errors go to standard error with exit code 1.
#include "lectern/app/uMimeTypes.h"
#include "lectern/app/uPageHttp.h"
#include "lectern/book/LBLzhArchive.h"
#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcSockApiWin.h"
#include "lectern/lc/lcThrPool.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWinSock.h"

#include "classlib/Threads.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

namespace {

class TBookHost : public TPageServerHost {
public:
    TBookHost(TLBFile& book, const TStringList& mimeTypes)
        : FBook(book), FMimeTypes(mimeTypes), FListenDone(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~TBookHost() override { CloseHandle(FListenDone); }
    TLBFile& Book() override { return FBook; }
    const TStringList& MimeTypes() override { return FMimeTypes; }
    const std::string& UrlPrefix() override { return FPrefix; }
    TDateTime UtcNow() override { return NowUtc(); }
    // The page server reports the end of the listen, good or bad, as a debug line.
    void Debug(const std::string& line) override
    {
        if (line == "Server ready" || line.rfind("Error starting Web Server!", 0) == 0) {
            {
                std::lock_guard<std::mutex> lock(FLock);
                FListenLine = line;
            }
            SetEvent(FListenDone);
        }
    }
    void DebugServed(const std::string&) override {}

    HANDLE ListenDone() const { return FListenDone; }
    std::string ListenLine()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FListenLine;
    }

private:
    TLBFile& FBook;
    const TStringList& FMimeTypes;
    const std::string FPrefix;
    HANDLE FListenDone;
    std::mutex FLock;
    std::string FListenLine;
};

// The units the server stands on, started and ended in the program's order.
struct TServerUnits {
    TServerUnits() { InitializeServerUnits(); }
    ~TServerUnits() { FinalizeServerUnits(); }
};

// Signalled when standard input reaches its end (or fails), and by its command lines.
enum TInput { kInputClosed, kRestart, kReport, kInputEvents };
HANDLE gInput[kInputEvents] = {};

DWORD WINAPI WatchInput(void*)
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD got = 0;
    std::string line;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                if (buffer[i] != '\r') {
                    line += buffer[i];
                }
                continue;
            }
            if (line == "restart") {
                SetEvent(gInput[kRestart]);
            } else if (line == "report") {
                SetEvent(gInput[kReport]);
            }
            line.clear();
        }
    }
    SetEvent(gInput[kInputClosed]);
    return 0;
}

// The program's message loop: dispatches the main thread's messages (the sockets' hidden
// windows) and the calls synchronised to it until one of the events is signalled; its index,
// or -1 when timeoutMs passed first or a quit message came.
int PumpUntilAny(const HANDLE* events, DWORD count, DWORD timeoutMs = INFINITE)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= timeoutMs) {
                return false;
            }
            left = timeoutMs - spent;
        }
        DWORD woken = MsgWaitForMultipleObjects(count, events, FALSE, left, QS_ALLINPUT);
        if (woken < WAIT_OBJECT_0 + count) {
            return static_cast<int>(woken - WAIT_OBJECT_0);
        }
        plat::PumpResult result;
        while ((result = plat::PumpOneMessage()) == plat::PumpResult::Dispatched) {
        }
        if (result == plat::PumpResult::Quit) {
            return -1;
        }
        CheckSynchronize();  // calls that threads handed to the main thread
    }
}

bool PumpUntil(HANDLE event, DWORD timeoutMs = INFINITE) { return PumpUntilAny(&event, 1, timeoutMs) == 0; }

int Usage()
{
    std::cerr << "usage: serve-book [--idle SECONDS] [--blocking] BOOK [PORT]\n";
    return 1;
}

bool ParseNumber(const std::string& text, int low, int high, int& value)
{
    char* end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < low || n > high) {
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

int Serve(const std::string& bookPath, int port, int idleSeconds, bool blocking)
{
    TLBLzhArchive book(bookPath);
    if (!book.Valid()) {
        std::cerr << "serve-book: " << bookPath << ": Invalid data\n";
        return 1;
    }
    TRegistryMimeTypeSource registry;
    std::unique_ptr<TStringList> mimeTypes = BuildMimeTypeList(registry);
    TBookHost host(book, *mimeTypes);

    TServerUnits units;
    int listening = 0;
    {
        TPageHttpServer pages(host);
        pages.Server().Timeout()->AfterConnecting = idleSeconds;
        pages.Server().SetBlocking(blocking);
        listening = port == 0 ? pages.ListenOnFirstFreePort() : pages.ListenOnFirstFreePort(port, port);
        if (listening == 0 || !PumpUntil(host.ListenDone(), 10000) || host.ListenLine() != "Server ready") {
            std::cerr << "serve-book: Unable to activate data server\n";
            if (!host.ListenLine().empty() && host.ListenLine() != "Server ready") {
                std::cerr << "serve-book: " << host.ListenLine() << "\n";
            }
            return 1;
        }
        std::printf("LISTENING %d\n", listening);
        std::fflush(stdout);

        gInput[kInputClosed] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        gInput[kRestart] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        gInput[kReport] = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE watcher = CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr);
        for (;;) {
            const int which = PumpUntilAny(gInput, kInputEvents);
            if (which == kRestart) {
                pages.Server().Restart(0);
            } else if (which == kReport) {
                std::printf("CONNECTIONS %d QUEUES %d\n", static_cast<int>(pages.Server().ConnectionCount()),
                            LcPoolCounts().LiveQueues);
                std::fflush(stdout);
            } else {
                break;
            }
        }
        if (watcher) {
            CloseHandle(watcher);
        }
    }  // the server stops and waits for its connections here
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int idleSeconds = 60;
    bool blocking = false;
    int arg = 1;
    for (; arg < argc; ++arg) {
        const std::string option = argv[arg];
        if (option == "--idle") {
            if (arg + 1 >= argc || !ParseNumber(argv[arg + 1], 1, 86400, idleSeconds)) {
                return Usage();
            }
            ++arg;
        } else if (option == "--blocking") {
            blocking = true;
        } else {
            break;
        }
    }
    if (argc - arg < 1 || argc - arg > 2) {
        return Usage();
    }
    const std::string bookPath = argv[arg];
    int port = 0;
    if (argc - arg == 2 && !ParseNumber(argv[arg + 1], 1, 65535, port)) {
        return Usage();
    }
    try {
        return Serve(bookPath, port, idleSeconds, blocking);
    } catch (const Exception& e) {
        std::cerr << "serve-book: " << e.ClassName() << ": " << e.Message() << "\n";
    } catch (const std::exception& e) {
        std::cerr << "serve-book: " << e.what() << "\n";
    }
    return 1;
}
