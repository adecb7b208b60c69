// suiteglobal against a fixture suite tree. The test program sits at <root>\bin\ (its build
// folder); the fixture below <root> is made afresh by the tests: the data folder (what the
// proddir stand-in answers, through PRODDIR_DATA_DIR) with "\Ctrl", the template databases in
// "\ADB", help files in "\Help", the installation key and a fake text viewer beside the
// program. The help control's class is registered to the fake control, whose entry point
// records every call. Runs in a scratch Wine prefix (it writes HKLM and HKCR keys).
#include "SuiteGlobal.h"

#include "BaseKit.h"
#include "HelpBridge.h"

#include "classlib/Forms.h"

#include "FakeHelpControl.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {


constexpr char kHelpServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string U16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
std::string Ansi(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c);   // the fixture's paths are ASCII
    }
    return out;
}

std::u16string ProgramPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return U16(path);
}

void WriteFile(const std::u16string& path, const std::string& content)
{
    HANDLE file = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Ansi(path);
    DWORD written = 0;
    ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFile(const std::u16string& path)
{
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string content(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    ::ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(file);
    return content;
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

// Removes a folder tree (the fixture's own).
void RemoveTree(const std::u16string& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(folder + u"\\*"), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::u16string name = U16(data.cFileName);
            if (name == u"." || name == u"..") {
                continue;
            }
            const std::u16string path = folder + u"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileW(W(path));
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(W(folder));
}

void SetInstallLocation(const std::u16string* location)
{
    if (location == nullptr) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorlex\\Orlu");
        return;
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorlex\\Orlu", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Location", 0, REG_SZ, reinterpret_cast<const BYTE*>(location->c_str()),
                   static_cast<DWORD>((location->size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

class SuiteGlobal : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FormsInit();
        const std::u16string program = ProgramPath();
        bin = program.substr(0, program.rfind(u'\\'));
        root = bin.substr(0, bin.rfind(u'\\'));
        fixture = root + u"\\fixture";
        RemoveTree(fixture);
        RemoveTree(root + u"\\ADB");
        RemoveTree(root + u"\\Help");
        CreateDirectoryW(W(fixture), nullptr);
        dataDir = root + u"\\data dir";
        RemoveTree(dataDir);
        CreateDirectoryW(W(dataDir), nullptr);
        CreateDirectoryW(W(dataDir + u"\\Ctrl"), nullptr);
        SetEnvironmentVariableW(L"PRODDIR_DATA_DIR", W(dataDir));
        CreateDirectoryW(W(root + u"\\ADB"), nullptr);
        for (const char16_t* name : {u"geom", u"export", u"amap", u"lam"}) {
            WriteFile(root + u"\\ADB\\" + name + u".abs", "template " + Ansi(name));
        }
        // The help control's class names the fake control (restored at the end).
        char previous[MAX_PATH + 1] = {};
        LONG size = MAX_PATH;
        hadServer = RegQueryValueA(HKEY_CLASSES_ROOT, kHelpServerKey, previous, &size) == ERROR_SUCCESS;
        previousServer = previous;
        const std::string fake = Ansi(bin) + "\\fakehelp.dll";
        ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, kHelpServerKey, REG_SZ, fake.c_str(),
                               static_cast<DWORD>(fake.size())),
                  ERROR_SUCCESS);
    }

    static void TearDownTestSuite()
    {
        if (hadServer) {
            RegSetValueA(HKEY_CLASSES_ROOT, kHelpServerKey, REG_SZ, previousServer.c_str(),
                         static_cast<DWORD>(previousServer.size()));
        }
        SetInstallLocation(nullptr);
        FormsDone();
    }

    static inline std::u16string bin, root, fixture, dataDir;
    static inline std::string previousServer;
    static inline bool hadServer = false;
};

TEST_F(SuiteGlobal, FoldersAndSettingsFilesAreBuiltFromTheDataFolderAndTheProgramPath)
{
    const std::u16string ctrl = dataDir + u"\\Ctrl";
    const struct {
        std::u16string actual, expected;
    } cases[] = {
        {sgl3_GetOrluAppDataDir(), dataDir},
        {sgl3_GetCtrlDir(), ctrl},
        {sgl3_GetCmnIniFile(), ctrl + u"\\common2.set"},
        {sgl3_GetImpexDirListFile(), ctrl + u"\\iedir.lst"},
        {sgl3_GetSegyTextFile(), ctrl + u"\\ytext.npd"},
        {sgl3_GetRasterOptFile(), ctrl + u"\\0.opt"},
        {sgl3_GetRasterInfoFile(), ctrl + u"\\amvrast.xtb"},
        {sgl3_GetRasterJobFile(u"D:\\r"), u"D:\\r\\temp\\rstjob.xtb"},
        {sgl3_GetRasterPreviewFile(u"D:\\r"), u"D:\\r\\temp\\preview.bmp"},
        {sgl3_GetAppPath(), bin + u"\\"},
        {sgl3_GetOrluDir(), root},
        {sgl3_GetDBSampleDir(), root + u"\\ADB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Ansi(c.actual), Ansi(c.expected));
    }
    // The program's own folder ends in "bin" and the suite's folder is its parent.
    EXPECT_EQ(Ansi(sgl3_GetAppPath().substr(sgl3_GetAppPath().size() - 5)), "\\bin\\");
}

TEST_F(SuiteGlobal, OlderSuitesCommonSettingsFileOnlyWhenItExists)
{
    wchar_t common[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common)));
    const std::u16string folder = U16(common) + u"\\Vorlex\\Orlu\\Ctrl";
    const std::u16string file = folder + u"\\orlu2cmn.set";
    RemoveTree(U16(common) + u"\\Vorlex");
    EXPECT_EQ(Ansi(sgl3_GetOrlu2CmnIniFile()), "");
    CreateDirectoryW(W(U16(common) + u"\\Vorlex"), nullptr);
    CreateDirectoryW(W(U16(common) + u"\\Vorlex\\Orlu"), nullptr);
    CreateDirectoryW(W(folder), nullptr);
    EXPECT_EQ(Ansi(sgl3_GetOrlu2CmnIniFile()), "");   // the folder alone is not enough
    WriteFile(file, "x");
    EXPECT_EQ(Ansi(sgl3_GetOrlu2CmnIniFile()), Ansi(file));
    RemoveTree(U16(common) + u"\\Vorlex");
}

TEST_F(SuiteGlobal, InstallationTestsReadTheLocationBothWays)
{
    const std::u16string suite = fixture + u"\\suite3";
    const std::u16string old = fixture + u"\\suite2";
    CreateDirectoryW(W(suite), nullptr);
    CreateDirectoryW(W(old), nullptr);
    WriteFile(old + u"\\vrask2.exe", "MZ");
    const std::u16string missing = fixture + u"\\nowhere";
    const std::u16string empty;
    const std::u16string plainFile = old + u"\\vrask2.exe";
    const struct {
        const std::u16string* location;
        bool orlu3, orlu2;
    } cases[] = {
        {nullptr, false, false},     // no key
        {&empty, false, false},      // empty value
        {&missing, false, false},    // a folder that does not exist
        {&suite, true, false},       // a folder without the older suite's program
        {&old, true, true},          // a folder with it
        {&plainFile, false, false},  // a file, not a folder
    };
    for (const auto& c : cases) {
        SetInstallLocation(c.location);
        const std::string label = c.location ? Ansi(*c.location) : "(no key)";
        EXPECT_EQ(sgl3_Orlu3Installed(), c.orlu3) << label;
        EXPECT_EQ(sgl3_Orlu2Installed(), c.orlu2) << label;
    }
    SetInstallLocation(nullptr);
}

TEST_F(SuiteGlobal, InstallationLocationStoredWithoutItsEndingZeroOrVeryLong)
{
    // Without the terminating zero: read exactly, nothing past the value's end.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vorlex\\Orlu", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Location", 0, REG_SZ, reinterpret_cast<const BYTE*>(fixture.data()),
                   static_cast<DWORD>(fixture.size() * sizeof(char16_t)));
    RegCloseKey(key);
    EXPECT_TRUE(sgl3_Orlu3Installed());
    // A value far longer than a path: read whole, and names no folder.
    const std::u16string longLocation = fixture + u"\\" + std::u16string(5000, u'x');
    SetInstallLocation(&longLocation);
    EXPECT_FALSE(sgl3_Orlu3Installed());
    EXPECT_EQ(Ansi(RG_GetRegString1(u"Vorlex\\Orlu", u"Location")), Ansi(longLocation));
    SetInstallLocation(nullptr);
}

TEST_F(SuiteGlobal, TemplateDatabasesAreCopiedWithAndWithoutAnExistingTarget)
{
    const std::u16string out = fixture + u"\\dbs";
    CreateDirectoryW(W(out), nullptr);
    using CreateProc = bool(SUITE_CALL*)(const std::u16string&);
    const struct {
        CreateProc create;
        const char* templ;
    } cases[] = {
        {&sgl3_CreateGeomDb, "template geom"},
        {&sgl3_CreateExportDb, "template export"},
        {static_cast<CreateProc>(&sgl3_CreateMapDb), "template amap"},
        {&sgl3_CreateLamDB, "template lam"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::u16string target = out + u"\\new" + static_cast<char16_t>(u'0' + n++) + u".abs";
        EXPECT_TRUE(c.create(target)) << c.templ;
        EXPECT_EQ(ReadFile(target), c.templ);
        WriteFile(target, "old content");
        EXPECT_TRUE(c.create(target)) << c.templ;
        EXPECT_EQ(ReadFile(target), c.templ);
        EXPECT_FALSE(c.create(out + u"\\no such folder\\x.abs")) << c.templ;
    }

    EXPECT_TRUE(sgl3_CreateMapDb(7, out));
    EXPECT_EQ(ReadFile(out + u"\\7.abs"), "template amap");
    WriteFile(out + u"\\7.abs", "old");
    EXPECT_TRUE(sgl3_CreateMapDb(7, out));
    EXPECT_EQ(ReadFile(out + u"\\7.abs"), "template amap");
    EXPECT_TRUE(sgl3_CreateMapDb(-12, out));
    EXPECT_EQ(ReadFile(out + u"\\-12.abs"), "template amap");

    // Without the template nothing is made.
    DeleteFileW(W(root + u"\\ADB\\lam.abs"));
    EXPECT_FALSE(sgl3_CreateLamDB(out + u"\\nolam.abs"));
    EXPECT_FALSE(Exists(out + u"\\nolam.abs"));
    WriteFile(root + u"\\ADB\\lam.abs", "template lam");
}

TEST_F(SuiteGlobal, SmallServices)
{
    const struct {
        const char16_t* name;
        const char16_t* shortcut;
    } shortcuts[] = {
        {u"tool3.exe", u"tool"}, {u"tool9.exe", u"tool9"}, {u"tool.exe", u"tool"}, {u"", u""},
        {u"tool2", u"tool"},     {u"tool8.a.b", u"tool"},  {u"tool1.exe", u"tool1"}, {u"t0.dll", u"t0"},
        {u"5.exe", u""},         {u"ab23.exe", u"ab2"},
    };
    for (const auto& c : shortcuts) {
        EXPECT_EQ(Ansi(SGL3_GetModuleShortcut(c.name)), Ansi(c.shortcut)) << Ansi(c.name);
    }

    const struct {
        const char16_t* line;
        bool skip;
    } lines[] = {{u"", false}, {u"*note", true}, {u"/x", true}, {u" *x", false}, {u"a*", false}, {u"*", true}};
    for (const auto& c : lines) {
        EXPECT_EQ(sgl3_SkipLine(c.line), c.skip) << Ansi(c.line);
    }

    EXPECT_EQ(Ansi(sgl3_GetSSRName(u"D:\\d\\", u"s1", 2)), "D:\\d\\s1_station.txt");
    EXPECT_EQ(Ansi(sgl3_GetSSRName(u"D:\\d", u"s1", 1)), "D:\\ds1_shot.txt");
    EXPECT_EQ(Ansi(sgl3_GetSSRName(u"", u"b", 3)), "b_relation.txt");
    EXPECT_EQ(Ansi(sgl3_GetSSRName(u"D:\\d\\", u"s1", 4)), "");

    EXPECT_EQ(sgl3_GetCompResolution(1.5f, -2.5f), 4.0 * 0.00001);
    EXPECT_EQ(sgl3_GetCompResolution(-2.5f, 1.5f), 4.0 * 0.00001);
    // In double precision: the float difference of these two would round to 0.
    EXPECT_EQ(sgl3_GetCompResolution(16777216.0f, 16777218.0f), 2.0 * 0.00001);
    EXPECT_EQ(sgl3_GetCompResolution(0.1f, 0.1f), 0.0);

    TCPilVect points;
    EXPECT_TRUE(points.empty());
    points.push_back(TPoint{1, 2});
    EXPECT_EQ(points.size(), 1u);
}

TEST_F(SuiteGlobal, HintPropertiesForAWidthAndForTheScreen)
{
    Application->SetHintHidePause(4321);
    THintInfo info;
    sgl3_SetHintProps(info, 300);
    EXPECT_EQ(info.HintMaxWidth, 300);
    EXPECT_EQ(info.ReshowTimeout, 30);
    EXPECT_EQ(info.HideTimeout, 10000);
    sgl3_SetHintProps(info, 0);
    EXPECT_EQ(info.HintMaxWidth, Screen->Width());
    EXPECT_GT(info.HintMaxWidth, 0);
    EXPECT_EQ(info.ReshowTimeout, 0);
    EXPECT_EQ(info.HideTimeout, 4321);
}

TEST_F(SuiteGlobal, TextViewerGetsTheQuotedViewerAndFile)
{
    const std::u16string record = bin + u"\\pelnote-cmdline.txt";
    DeleteFileW(W(record));
    ASSERT_TRUE(Exists(bin + u"\\pelnote.exe"));
    const std::u16string file = u"C:\\my notes\\a \"b\".txt";
    ASSERT_TRUE(sgl3_RunTextViewer(file));
    for (int i = 0; i < 200 && !Exists(record); ++i) {
        Sleep(50);
    }
    const std::string raw = ReadFile(record);
    ASSERT_EQ(raw.size() % 2, 0u) << raw;
    const std::u16string line(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
    EXPECT_EQ(Ansi(line), "\"" + Ansi(bin) + "\\pelnote.exe\" \"C:\\my notes\\a \"\"b\"\".txt\"");

    // The starter keeps no handle of the viewer's process or thread: no handle value of this
    // process names them.
    unsigned long viewerProcess = 0, viewerThread = 0;
    ASSERT_EQ(std::sscanf(ReadFile(bin + u"\\pelnote-ids.txt").c_str(), "%lu %lu", &viewerProcess, &viewerThread), 2);
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        ASSERT_NE(GetProcessId(handle), viewerProcess) << "process handle " << value;
        ASSERT_NE(GetThreadId(handle), viewerThread) << "thread handle " << value;
    }

    // No viewer: no success. A program folder without pelnote.exe is made by renaming it.
    ASSERT_TRUE(MoveFileW(W(bin + u"\\pelnote.exe"), W(bin + u"\\pelnote.off")));
    EXPECT_FALSE(sgl3_RunTextViewer(file));
    MoveFileW(W(bin + u"\\pelnote.off"), W(bin + u"\\pelnote.exe"));
}

// The help tests run in this order in one process: helpbridge keeps the control once loaded.
TEST_F(SuiteGlobal, HelpFileIsTheFirstMatchAndStaysWhenNoneMatches)
{
    Application->SetHelpFile(u"keep.chm");
    sgl3_SetHelpFile();
    EXPECT_EQ(Ansi(Application->HelpFile()), "keep.chm");   // no Help folder yet

    CreateDirectoryW(W(root + u"\\Help"), nullptr);
    WriteFile(root + u"\\Help\\other.chm", "x");
    sgl3_SetHelpFile();
    EXPECT_EQ(Ansi(Application->HelpFile()), "keep.chm");   // nothing matches orlu3*.chm

    WriteFile(root + u"\\Help\\orlu3b.chm", "x");
    WriteFile(root + u"\\Help\\orlu3a.chm", "x");
    BCStringList list;
    ASSERT_TRUE(F_AppendFileList(root + u"\\Help\\orlu3*.chm", &list, false, false, false));
    ASSERT_EQ(list.Count(), 2);
    sgl3_SetHelpFile();
    EXPECT_EQ(Ansi(Application->HelpFile()), Ansi(root + u"\\Help\\" + list.Strings(0)));
}

TEST_F(SuiteGlobal, HelpTopicsReachTheControlWithTheirCommandAndData)
{
    Application->SetHelpFile(u"C:\\help\\suite.chm");
    const struct {
        int topic;
        uint32_t command;
        uintptr_t data;
    } cases[] = {{-1, 1, 0}, {-5, 15, 0}, {1200, 15, 1200}, {0, 15, 0}, {INT32_MIN, 15, 0}, {INT32_MAX, 15, INT32_MAX}};
    for (const auto& c : cases) {
        sgl3_DisplayHelpTopic(reinterpret_cast<HWND>(0x1234), c.topic);
    }
    HMODULE fake = GetModuleHandleA("fakehelp.dll");
    ASSERT_NE(fake, nullptr) << "the help control was not loaded from its registered path";
    auto calls = reinterpret_cast<FakeHelpCallsProc>(reinterpret_cast<void*>(GetProcAddress(fake, "FakeHelpCalls")));
    ASSERT_NE(calls, nullptr);
    const FakeHelpCall* record = nullptr;
    ASSERT_EQ(calls(&record), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(record[i].window, nullptr) << i;
        EXPECT_STREQ(record[i].file, "C:\\help\\suite.chm") << i;
        EXPECT_EQ(record[i].command, cases[i].command) << cases[i].topic;
        EXPECT_EQ(record[i].data, cases[i].data) << cases[i].topic;
    }

    // An empty help file goes as an empty string; the control's answer comes back through
    // HelpBridge.
    Application->SetHelpFile(u"");
    sgl3_DisplayHelpTopic(nullptr, -1);
    ASSERT_EQ(calls(&record), 7);
    EXPECT_STREQ(record[6].file, "");
    EXPECT_EQ(HelpBridge(nullptr, "x.chm", 15, 3), reinterpret_cast<HWND>(kFakeHelpResult));
}

}  // namespace
