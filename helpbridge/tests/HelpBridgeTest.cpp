// helpbridge's loading, forwarding and latch. Each test loads helpbridge.dll afresh (its
// process-wide values start at zero with every load) and frees it again; the controls it loads
// stay loaded, as they do for the life of the program. The help control's class registration is
// pointed at the fakes beside this program: fakehelp.dll (entry point at ordinal 14, recording
// its calls) and nohelp.dll (without it); a decoy "hhctrl.ocx" beside the program would be found
// by a load through the search path. Runs in a scratch Wine prefix (it writes an HKCR key).
#include "FakeHelpControl.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using HelpBridgeProc = HWND(WINAPI*)(HWND, const char*, uint32_t, uintptr_t);

constexpr char kHelpServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr uint32_t kHelpCloseAll = 0x12;

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\'));
}

void RegisterControl(const std::string& path)
{
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, kHelpServerKey, REG_SZ, path.c_str(), static_cast<DWORD>(path.size())),
              ERROR_SUCCESS);
}

// The number of calls the fake control has seen (0 when it is not loaded) and their record.
int FakeCalls(const FakeHelpCall** record = nullptr)
{
    HMODULE fake = GetModuleHandleA("fakehelp.dll");
    if (fake == nullptr) {
        return 0;
    }
    auto calls = reinterpret_cast<FakeHelpCallsProc>(reinterpret_cast<void*>(GetProcAddress(fake, "FakeHelpCalls")));
    const FakeHelpCall* ignored = nullptr;
    return calls(record != nullptr ? record : &ignored);
}

// helpbridge.dll, loaded for one test and freed after it.
class HelpBridgeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char previous[MAX_PATH + 1] = {};
        LONG size = MAX_PATH;
        hadServer = RegQueryValueA(HKEY_CLASSES_ROOT, kHelpServerKey, previous, &size) == ERROR_SUCCESS;
        previousServer = previous;
    }
    static void TearDownTestSuite()
    {
        if (hadServer) {
            RegisterControl(previousServer);
        }
    }

    void SetUp() override
    {
        ASSERT_EQ(GetModuleHandleA("helpbridge.dll"), nullptr);
        library = LoadLibraryA("helpbridge.dll");
        ASSERT_NE(library, nullptr);
        bridge = reinterpret_cast<HelpBridgeProc>(reinterpret_cast<void*>(GetProcAddress(library, "HelpBridge")));
        ASSERT_NE(bridge, nullptr);
    }
    void TearDown() override
    {
        FreeLibrary(library);
        EXPECT_EQ(GetModuleHandleA("helpbridge.dll"), nullptr);
    }

    HMODULE library = nullptr;
    HelpBridgeProc bridge = nullptr;
    static inline bool hadServer = false;
    static inline std::string previousServer;
};

TEST_F(HelpBridgeTest, MissingRegisteredFileFallsBackToTheSystemFolderNotTheSearchPath)
{
    // Must run first: once the system's control is loaded, a load by bare name would find it too.
    // (Wine itself resolves the bare name to its built-in control, not to the decoy; on Windows
    // the decoy beside the program would be taken.)
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string systemControl = std::string(system) + "\\hhctrl.ocx";
    ASSERT_EQ(GetModuleHandleA(systemControl.c_str()), nullptr);
    const std::string decoy = ProgramFolder() + "\\hhctrl.ocx";
    ASSERT_NE(GetFileAttributesA(decoy.c_str()), INVALID_FILE_ATTRIBUTES) << "the decoy is missing";

    RegisterControl(ProgramFolder() + "\\no such control.ocx");
    bridge(nullptr, nullptr, kHelpCloseAll, 0);
    EXPECT_NE(GetModuleHandleA(systemControl.c_str()), nullptr);
    EXPECT_EQ(GetModuleHandleA(decoy.c_str()), nullptr);
}

TEST_F(HelpBridgeTest, RegisteredControlGetsEachCallWithItsArguments)
{
    RegisterControl(ProgramFolder() + "\\fakehelp.dll");
    const int before = FakeCalls();
    const struct {
        HWND window;
        const char* file;
        uint32_t command;
        uintptr_t data;
    } cases[] = {
        {reinterpret_cast<HWND>(0x77), "a.chm", 15, 1200},
        {nullptr, "C:\\x\\b.chm::/t.htm", 1, 0},
        {nullptr, "", 0xFFFFFFFFu, UINTPTR_MAX},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(bridge(c.window, c.file, c.command, c.data), reinterpret_cast<HWND>(kFakeHelpResult));
    }
    const FakeHelpCall* record = nullptr;
    ASSERT_EQ(FakeCalls(&record), before + 3);
    for (int i = 0; i < 3; ++i) {
        const FakeHelpCall& call = record[before + i];
        EXPECT_EQ(call.window, cases[i].window);
        EXPECT_STREQ(call.file, cases[i].file);
        EXPECT_EQ(call.command, cases[i].command);
        EXPECT_EQ(call.data, cases[i].data);
    }
}

TEST_F(HelpBridgeTest, FirstCallsFromSeveralThreadsAllReachTheControl)
{
    RegisterControl(ProgramFolder() + "\\fakehelp.dll");
    const int before = FakeCalls();
    constexpr int kThreads = 8;
    std::atomic<int> ready{0};
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            ++ready;
            while (ready.load() < kThreads) {
            }
            if (bridge(nullptr, "t.chm", 15, 1) == reinterpret_cast<HWND>(kFakeHelpResult))
                ++answered;
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(answered.load(), kThreads);
    EXPECT_EQ(FakeCalls(), before + kThreads);
}

TEST_F(HelpBridgeTest, RegisteredPathStoredWithoutItsEndingZeroStillNamesTheControl)
{
    const std::string path = ProgramFolder() + "\\fakehelp.dll";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kHelpServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.data()), static_cast<DWORD>(path.size()));
    RegCloseKey(key);
    const int before = FakeCalls();
    EXPECT_EQ(bridge(nullptr, "a.chm", 1, 0), reinterpret_cast<HWND>(kFakeHelpResult));
    EXPECT_EQ(FakeCalls(), before + 1);
}

TEST_F(HelpBridgeTest, FailureLatchHoldsAfterTheControlAppears)
{
    // A control without the entry point sets the latch ...
    RegisterControl(ProgramFolder() + "\\nohelp.dll");
    EXPECT_EQ(bridge(nullptr, "a.chm", 1, 0), nullptr);
    EXPECT_NE(GetModuleHandleA("nohelp.dll"), nullptr);
    // ... and a working control registered afterwards is never tried.
    RegisterControl(ProgramFolder() + "\\fakehelp.dll");
    const int before = FakeCalls();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bridge(nullptr, "a.chm", 15, 7), nullptr);
    }
    EXPECT_EQ(FakeCalls(), before);
}

TEST_F(HelpBridgeTest, RegisteredPathLongerThanItsBufferIsNotUsed)
{
    // A value of more than 260 bytes that names the fake control: it is not read, and the call
    // goes to the system's control instead.
    std::string longPath = ProgramFolder();
    while (longPath.size() < 300) {
        longPath += "\\.";
    }
    longPath += "\\fakehelp.dll";
    RegisterControl(longPath);
    const int before = FakeCalls();
    bridge(nullptr, nullptr, kHelpCloseAll, 0);
    EXPECT_EQ(FakeCalls(), before);
}

}  // namespace
