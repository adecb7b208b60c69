// The browser host's platform-free parts: loaders over a fake table of system calls, and the
// flag words, tables and decisions of the components. Runs natively and under Wine.
#include "lectern/browser/PageBrowser.h"
#include "lectern/browser/PgbControlComponent.h"
#include "lectern/browser/PgbCore.h"
#include "lectern/browser/PgbMouseHook.h"
#include "lectern/browser/PgbTools.h"
#include "lectern/browser/SHDocVw_PGB.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// ---- loaders ----------------------------------------------------------------------------------

// A fake system: which libraries exist, which exports each has, and every call made.
struct FakeSystem {
    std::map<std::string, std::vector<std::string>> libraries;   // name -> exports
    std::vector<std::string> loaded;   // already in the process
    std::vector<std::string> calls;
};
FakeSystem* gSystem = nullptr;

int32_t PLAT_WINAPI FakeSetFeature(int feature, uint32_t flags, int enable)
{
    gSystem->calls.push_back("set " + std::to_string(feature) + " " + std::to_string(flags) + " " +
                             std::to_string(enable));
    return 0;
}

int32_t PLAT_WINAPI FakeIsFeature(int feature, uint32_t flags)
{
    gSystem->calls.push_back("is " + std::to_string(feature));
    return 1;
}

void* PLAT_WINAPI FakeHtmlHelp(void* window, const char* file, unsigned command, uintptr_t data)
{
    gSystem->calls.push_back(std::string("help ") + file + " " + std::to_string(command));
    return reinterpret_cast<void*>(uintptr_t{77});
}

// Module handles are 100 + index; handles of 32 or less would count as failures.
TModuleHandle HandleOf(const std::string& name)
{
    int i = 0;
    for (const auto& [lib, exports] : gSystem->libraries) {
        if (lib == name) {
            return TModuleHandle(100 + i);
        }
        ++i;
    }
    return 0;
}

const TLibraryApi kFakeApi{
    [](const char* name) -> TModuleHandle {
        gSystem->calls.push_back(std::string("load ") + name);
        return HandleOf(name);
    },
    [](const char* name) -> TModuleHandle {
        gSystem->calls.push_back(std::string("loaded? ") + name);
        for (const auto& l : gSystem->loaded) {
            if (l == name) {
                return HandleOf(name);
            }
        }
        return 0;
    },
    [](TModuleHandle module, const char* name) -> TProcAddress {
        gSystem->calls.push_back(std::string("proc ") + name);
        int i = 0;
        for (const auto& [lib, exports] : gSystem->libraries) {
            if (TModuleHandle(100 + i) == module) {
                for (const auto& e : exports) {
                    if (e == name) {
                        if (e == "CoInternetSetFeatureEnabled") return reinterpret_cast<TProcAddress>(&FakeSetFeature);
                        if (e == "CoInternetIsFeatureEnabled") return reinterpret_cast<TProcAddress>(&FakeIsFeature);
                        if (e == "HtmlHelpA") return reinterpret_cast<TProcAddress>(&FakeHtmlHelp);
                    }
                }
            }
            ++i;
        }
        return 0;
    },
};

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSystem = &system;
        SetLibraryApi(&kFakeApi);
    }
    void TearDown() override
    {
        SetLibraryApi(nullptr);
        gSystem = nullptr;
    }
    size_t Count(const std::string& call) const
    {
        size_t n = 0;
        for (const auto& c : system.calls) {
            n += c == call;
        }
        return n;
    }
    FakeSystem system;
};

constexpr int32_t kENotImpl = static_cast<int32_t>(0x80004001);

TEST_F(LoaderTest, FeatureCallsBindOnceAndPassTheirArguments)
{
    system.libraries["URLMON.DLL"] = {"CoInternetSetFeatureEnabled", "CoInternetIsFeatureEnabled"};
    EXPECT_EQ(CoInternetSetFeatureEnabled(21, 2, true), 0);
    EXPECT_EQ(CoInternetSetFeatureEnabled(3, 2, false), 0);
    EXPECT_EQ(CoInternetIsFeatureEnabled(21, 2), 1);
    EXPECT_EQ(Count("load URLMON.DLL"), 1u);
    EXPECT_EQ(Count("proc CoInternetSetFeatureEnabled"), 1u);
    EXPECT_EQ(Count("proc CoInternetIsFeatureEnabled"), 1u);
    EXPECT_EQ(Count("set 21 2 1"), 1u);
    EXPECT_EQ(Count("set 3 2 0"), 1u);
}

TEST_F(LoaderTest, MissingLibraryOrFunctionAnswersNotImplementedAndIsNotLookedUpAgain)
{
    struct Case {
        const char* name;
        std::vector<std::string> urlmonExports;   // empty name list: the library is missing
        bool libraryExists;
    };
    const Case cases[] = {
        {"library missing", {}, false},
        {"function missing", {"SomethingElse"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        system = FakeSystem{};
        SetLibraryApi(&kFakeApi);
        if (c.libraryExists) {
            system.libraries["URLMON.DLL"] = c.urlmonExports;
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(CoInternetSetFeatureEnabled(21, 2, true), kENotImpl);
            EXPECT_EQ(CoInternetIsFeatureEnabled(21, 2), kENotImpl);
        }
        EXPECT_EQ(Count("load URLMON.DLL"), 1u);
        EXPECT_LE(Count("proc CoInternetSetFeatureEnabled"), 1u);
        EXPECT_LE(Count("proc CoInternetIsFeatureEnabled"), 1u);
        EXPECT_EQ(Count("set 21 2 1"), 0u);
    }
}

TEST_F(LoaderTest, HelpControlLoadsOnceAndCallsItsAnsiEntry)
{
    EXPECT_EQ(HtmlHelpCall(nullptr, "x.chm", 15, 0), 0);   // no control: 0, one load attempt
    EXPECT_EQ(HtmlHelpCall(nullptr, "x.chm", 15, 0), 0);
    EXPECT_EQ(Count("load hhctrl.ocx"), 1u);

    system = FakeSystem{};
    SetLibraryApi(&kFakeApi);
    system.libraries["hhctrl.ocx"] = {"HtmlHelpA"};
    EXPECT_NE(LoadHHCtrl(), 0u);
    EXPECT_EQ(HtmlHelpCall(nullptr, "book.chm", 15, 0), 77);
    EXPECT_EQ(Count("help book.chm 15"), 1u);
    EXPECT_EQ(Count("load hhctrl.ocx"), 1u);
}

TEST_F(LoaderTest, BrowserResourcesPreferTheLoadedModule)
{
    system.libraries["SHDOCLC.DLL"] = {};
    system.loaded = {"SHDOCLC.DLL"};
    EXPECT_NE(LoadShdoclc(), 0u);
    EXPECT_EQ(Count("load SHDOCLC.DLL"), 0u);
    EXPECT_NE(LoadShdoclc(), 0u);
    EXPECT_EQ(Count("loaded? SHDOCLC.DLL"), 1u);

    system = FakeSystem{};
    SetLibraryApi(&kFakeApi);
    system.libraries["SHDOCLC.DLL"] = {};
    EXPECT_NE(LoadShdoclc(), 0u);
    EXPECT_EQ(Count("load SHDOCLC.DLL"), 1u);

    // Missing (as on current systems): asked for once, whatever the number of menus.
    system = FakeSystem{};
    SetLibraryApi(&kFakeApi);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(LoadShdoclc(), 0u);
    }
    EXPECT_EQ(Count("loaded? SHDOCLC.DLL"), 1u);
    EXPECT_EQ(Count("load SHDOCLC.DLL"), 1u);
}

TEST(CharPosTest, AnswersFirstOneBasedPosition)
{
    struct Case {
        char c;
        const char* text;
        int expected;
    };
    const Case cases[] = {{'a', "banana", 2}, {'x', "banana", 0}, {'a', "", 0}, {'b', "b", 1}, {'\xE9', "caf\xE9", 4}};
    for (const Case& c : cases) {
        EXPECT_EQ(CharPos(c.c, c.text), c.expected) << c.text;
    }
}

// ---- host option flag words and decisions -------------------------------------------------------

TEST(FlagWordTest, EachUserInterfaceOptionAddsItsFlag)
{
    // In order; 0x8000 is skipped between EnablesFormsAutoComplete and ForceSameWindowNavigation.
    const uint32_t expected[kUserInterfaceOptionCount] = {
        0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000,
        0x10000, 0x20000, 0x40000, 0x80000, 0x100000, 0x200000, 0x400000, 0x800000, 0x1000000, 0x2000000,
        0x4000000, 0x8000000, 0x10000000, 0x20000000};
    for (int i = 0; i < kUserInterfaceOptionCount; ++i) {
        EXPECT_EQ(UserInterfaceFlagWord({static_cast<TUserInterfaceOption>(i)}), expected[i]) << i;
    }
    EXPECT_EQ(UserInterfaceFlagWord({}), 0u);
    // The defaults the component starts with.
    EXPECT_EQ(UserInterfaceFlagWord({TUserInterfaceOption::EnablesFormsAutoComplete, TUserInterfaceOption::EnableThemes}),
              0x44000u);
    EXPECT_EQ(UserInterfaceFlagWord({TUserInterfaceOption::DisableTextSelect, TUserInterfaceOption::ForceSameWindowNavigation}),
              0x10001u);
}

TEST(FlagWordTest, EachDownloadOptionAddsItsFlag)
{
    const uint32_t expected[kDownloadControlOptionCount] = {
        0x10, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000, 0x10000, 0x20000,
        0x40000, 0x10000000, 0x20000000, 0x40000000, 0x80000000};
    for (int i = 0; i < kDownloadControlOptionCount; ++i) {
        EXPECT_EQ(DownloadControlFlagWord({static_cast<TDownloadControlOption>(i)}), expected[i]) << i;
    }
    EXPECT_EQ(DownloadControlFlagWord({}), 0u);
    EXPECT_EQ(DownloadControlFlagWord({TDownloadControlOption::DownloadImages, TDownloadControlOption::DownloadVideos,
                                       TDownloadControlOption::DownloadBGSounds}),
              0x70u);
    EXPECT_EQ(DownloadControlFlagWord({TDownloadControlOption::WorkOffline, TDownloadControlOption::DownloadImages}),
              0x80000010u);
}

TEST(PopupMenuTest, DisabledKindsAndAll)
{
    struct Case {
        TIEPopupMenus set;
        uint32_t id;
        bool disabled;
    };
    const Case cases[] = {
        {{}, 0, false},
        {{TIEPopupMenu::rcmAnchor}, 5, true},
        {{TIEPopupMenu::rcmAnchor}, 4, false},
        {{TIEPopupMenu::rcmDebug}, 9, true},
        {{TIEPopupMenu::rcmDebug}, 10, false},   // ids of 10 and more only with rcmAll
        {{TIEPopupMenu::rcmAll}, 10, true},
        {{TIEPopupMenu::rcmAll}, 0, true},
        {{TIEPopupMenu::rcmDefault, TIEPopupMenu::rcmImage}, 1, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsPopupMenuDisabled(c.set, c.id), c.disabled) << c.id;
    }
}

TEST(MaskedKeyTest, CtrlAloneWithAListedKey)
{
    struct Case {
        bool keyDown;
        const char* keys;
        bool ctrl;
        bool shift;
        uint32_t vk;
        bool masked;
    };
    const Case cases[] = {
        {true, "N", true, false, 'N', true},     // Ctrl+N
        {true, "N", true, true, 'N', false},     // Ctrl+Shift+N
        {true, "N", false, false, 'N', false},   // N alone
        {false, "N", true, false, 'N', false},   // key up
        {true, "", true, false, 'N', false},
        {true, "NOP", true, false, 'P', true},
        {true, "N", true, false, 'n', false},    // exact byte comparison
        {true, "N", true, false, 0x14E, true},   // only the low byte counts
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsMaskedCtrlKeyCode(c.keyDown, c.keys, c.ctrl, c.shift, c.vk), c.masked) << c.keys << " " << c.vk;
    }
}

TEST(ZoomTest, ClampsToTheRangeWord)
{
    const uint32_t range = (1000u << 16) | 10u;
    EXPECT_EQ(ClampToRangeWord(5, range), 10);
    EXPECT_EQ(ClampToRangeWord(10, range), 10);
    EXPECT_EQ(ClampToRangeWord(150, range), 150);
    EXPECT_EQ(ClampToRangeWord(5000, range), 1000);
    EXPECT_EQ(ClampToRangeWord(3, (4u << 16) | 0u), 3);
}

TEST(PreRefreshTest, FiresOncePer150Milliseconds)
{
    ResetPreRefreshGate();
    EXPECT_TRUE(PreRefreshDue(1000));
    EXPECT_FALSE(PreRefreshDue(1100));
    EXPECT_FALSE(PreRefreshDue(1150));
    EXPECT_TRUE(PreRefreshDue(1151));
    EXPECT_TRUE(PreRefreshDue(0xFFFFFFF0u));   // across the counter's wrap
    EXPECT_FALSE(PreRefreshDue(0x20u));
    ResetPreRefreshGate();
}

// ---- component options, dialogs and hooks --------------------------------------------------------

TEST(HtmlCodeTest, AddressesAreRecognisedWithCaseIgnored)
{
    struct Case {
        const char* line;
        bool address;
    };
    const Case cases[] = {
        {"About:blank", true}, {"http://127.0.0.1:8000/", true}, {"HTTPS://x/", true}, {"www.example.org", true},
        {"FTP://x/", true},    {"file:///C:/book", true},        {"about", false},     {"<html></html>", false},
        {"", false},           {"abou", false},                  {"ftp", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsHtmlCodeAddress(c.line), c.address) << c.line;
    }
}

TEST(DialogTest, CaptionRewriteAndScriptErrorAction)
{
    EXPECT_EQ(ReplaceDialogCaption(L"Microsoft Internet Explorer", L"Lectern"), L"Lectern");
    EXPECT_EQ(ReplaceDialogCaption(L"Internet Explorer Script Error", L"Book"), L"Book Script Error");
    EXPECT_EQ(ReplaceDialogCaption(L"internet explorer", L"Book"), L"internet explorer");   // case-sensitive
    EXPECT_EQ(ReplaceDialogCaption(L"Microsoft Microsoft x", L""), L"Microsoft x");          // first only
    EXPECT_EQ(ReplaceDialogCaption(L"Save As", L"Book"), L"Save As");

    struct Case {
        const wchar_t* caption;
        uint32_t exStyle;
        TDialogAction action;
    };
    const Case cases[] = {
        {L"Script Error", 0, TDialogAction::ClickAndClose},
        {L"Internet Explorer Script Error", 0x410101, TDialogAction::ClickAndClose},
        {L"Error", 0, TDialogAction::Destroy},
        {L"Page error", 0, TDialogAction::Destroy},
        {L"Untitled", 0x410101, TDialogAction::Destroy},
        {L"Save As", 0x10101, TDialogAction::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScriptErrorDialogAction(c.caption, c.exStyle), c.action);
    }
}

TEST(PopupMenuItemTest, CommandOfEachMember)
{
    EXPECT_EQ(kPopupMenuItemCommands[static_cast<int>(TIEPopupMenuItem::rcsBack)], 2282u);
    EXPECT_EQ(kPopupMenuItemCommands[static_cast<int>(TIEPopupMenuItem::rcsViewSource)], 2139u);
    EXPECT_EQ(kPopupMenuItemCommands[static_cast<int>(TIEPopupMenuItem::rcsProperties)], 28u);
    EXPECT_EQ(kPopupMenuItemCommands[static_cast<int>(TIEPopupMenuItem::rcsPrint)], 27u);
    EXPECT_EQ(kPopupMenuItemCommands[static_cast<int>(TIEPopupMenuItem::rcsOpenLink)], 2136u);
}

TEST(UserAgentTest, RegistryToken)
{
    EXPECT_EQ(UserAgentToken("Lectern 2"),
              "User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)(Lectern 2)");
}

TEST(VersionTest, MajorVersionOfText)
{
    struct Case {
        const char* text;
        int major;
    };
    const Case cases[] = {{"8.00.7601.17514", 8}, {"11.0.9600", 11}, {"", -1}, {"8", -1}, {"x.1", -1}, {".1", -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(MajorVersionOf(c.text), c.major) << c.text;
    }
}

TEST(WheelTest, FocusMovesOnlyBetweenBrowsers)
{
    struct Case {
        const char* name;
        bool handled, haveTarget, haveFocus;
        uintptr_t target, focus;
        bool docView;
        TWheelAction action;
    };
    const Case cases[] = {
        {"second browser under the wheel", false, true, true, 2, 1, false, TWheelAction::FocusAndEat},
        {"focus outside any browser", false, true, true, 2, 0, false, TWheelAction::FocusAndEat},
        {"same browser, document view focused", false, true, true, 1, 1, true, TWheelAction::FocusAndEat},
        {"same browser, its page focused", false, true, true, 1, 1, false, TWheelAction::PassOn},
        {"not over a browser", false, true, true, 0, 1, false, TWheelAction::PassOn},
        {"handled by the event", true, true, true, 2, 1, false, TWheelAction::PassOn},
        {"no focus", false, true, false, 2, 0, false, TWheelAction::PassOn},
        {"no window under the cursor", false, false, true, 0, 1, false, TWheelAction::PassOn},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WheelFocusDecision(c.handled, c.haveTarget, c.haveFocus, c.target, c.focus, c.docView), c.action)
            << c.name;
    }
}

TEST_F(LoaderTest, InternetFeaturesSetEveryFeatureOrNone)
{
    system.libraries["URLMON.DLL"] = {"CoInternetSetFeatureEnabled"};
    ApplyInternetFeatures({});
    EXPECT_TRUE(system.calls.empty());   // the empty set changes nothing
    ApplyInternetFeatures({TInternetFeatureList::ObjectCaching, TInternetFeatureList::DisableNavigationSounds,
                           TInternetFeatureList::EntryCount});
    size_t sets = 0;
    for (const auto& c : system.calls) {
        sets += c.rfind("set ", 0) == 0;
    }
    EXPECT_EQ(sets, 29u);
    EXPECT_EQ(Count("set 0 2 1"), 1u);
    EXPECT_EQ(Count("set 1 2 0"), 1u);
    EXPECT_EQ(Count("set 21 2 1"), 1u);
    EXPECT_EQ(Count("set 27 2 0"), 1u);
    EXPECT_EQ(Count("set 28 2 1"), 1u);
}

}  // namespace
