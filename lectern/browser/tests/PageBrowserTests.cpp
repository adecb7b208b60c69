// TPageBrowser, the tools and the process's control component over the fake control (Wine,
// null display driver): navigation calls that swallow failures, waiting, HTML code, the user
// agent, the browser's dialog windows, the window procedure, the proxy and click sound in this
// scratch prefix, and the unit start and end with the wheel and focus hooks.
#include "FakeBrowser.h"
#include "FakeDispatch.h"
#include "lectern/browser/PageBrowserWin.h"
#include "lectern/browser/PgbControlComponentWin.h"
#include "lectern/browser/PgbFocusControl.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <wininet.h>

namespace {

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new FakeOleEnvironment);

// Exposes the protected parts the tests reach.
class TestBrowser : public TPageBrowser {
public:
    using TPageBrowser::FilterPopupMenu;
    using TPageBrowser::HasPopupMenuFilter;
    using TPageBrowser::TPageBrowser;
};

struct Probe : TObject {
    std::vector<std::string> log;
    TPageBrowser* freeMe = nullptr;
    bool stopInWait = false;
    bool handleCode = false;
    void BusyWait(TObject* sender, DWORD, DWORD&, bool&)
    {
        log.push_back("busy");
        if (freeMe != nullptr) {
            TPageBrowser* b = freeMe;
            freeMe = nullptr;
            delete b;   // freed inside its own wait
        } else if (stopInWait) {
            static_cast<TPageBrowser*>(sender)->Stop();
        }
    }
    void CodeChange(TObject*, const TStringList& lines, bool& handled)
    {
        log.push_back("code " + std::to_string(lines.Count()));
        handled = handleCode;
    }
    void ShowDialog(TObject*, HWND, uint32_t, const std::wstring& caption, std::wstring& newCaption, bool&)
    {
        log.push_back("dialog " + FromWide(caption));
        newCaption = L"Lectern";
    }
    void CloseQuery(TObject*, bool& canClose) { canClose = false; }
    void KeyDown(TObject*, WORD& key, int scan, TShiftState)
    {
        log.push_back("key " + std::to_string(key) + " scan " + std::to_string(scan));
        key = 0;
    }
    void Visible(TObject*, bool visible) { log.push_back(visible ? "visible" : "hidden"); }
    void Click(TObject*, TMouseButton button, TShiftState, int x, int y)
    {
        log.push_back(std::string("click ") + (button == TMouseButton::mbLeft ? "left " : "right ") +
                      std::to_string(x) + "," + std::to_string(y));
    }
};

class PageBrowserTest : public FakeBrowserTest<TestBrowser> {
protected:
    const FakeCall* Last(const std::string& name) const { return fake->LastCall(name); }
    int Count(const std::string& name) const { return fake->CountCalls(name); }
    Probe probe;
};

uint16_t FpuControlWordNow()
{
    uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

void SetFpuControlWordNow(uint16_t word) { __asm__ volatile("fclex\n\tfldcw %0" : : "m"(word)); }

// First of all tests: the unit's start has not run in this process yet, as in a program that
// leaves it out. Loading a component applies fpExceptions, which must give back the control
// word the process runs with, not one of its own.
TEST_F(PageBrowserTest, LoadWithoutTheUnitStartKeepsTheLiveFloatingPointControlWord)
{
    const uint16_t before = FpuControlWordNow();
    SetFpuControlWordNow(0x027F);   // every exception masked, 53-bit precision
    browser->Loaded();
    const uint16_t after = FpuControlWordNow();
    browser->DisableErrors().SetfpExceptions(false);
    const uint16_t masked = FpuControlWordNow();
    browser->DisableErrors().SetfpExceptions(true);
    const uint16_t restored = FpuControlWordNow();
    SetFpuControlWordNow(before);
    EXPECT_EQ(after, 0x027F);
    EXPECT_EQ(masked & ~0x40, 0x133F & ~0x40);   // (bit 6 is reserved and may read back as 1)
    EXPECT_EQ(restored, 0x027F);
}

TEST_F(PageBrowserTest, DefaultsOfTheComponentAndItsOptions)
{
    EXPECT_TRUE(fake->properties[551].AsBool());   // Silent
    EXPECT_TRUE(browser->EnableMessageHandler());
    EXPECT_FALSE(browser->About().empty());
    EXPECT_EQ(browser->PrintOptions().HTMLHeader().Text(), "<HTML></HTML>\r\n");
    EXPECT_EQ(browser->ProxySettings().Port, 80);
    EXPECT_TRUE(browser->DisableErrors().EnableDDE);
    EXPECT_TRUE(browser->DisableErrors().fpExceptions());
    EXPECT_TRUE(browser->DisableErrors().ScriptErrorsSuppressed);
    EXPECT_TRUE(browser->DialogBoxes().ReplaceCaption);
    EXPECT_TRUE(browser->DialogBoxes().ReplaceIcon);
    EXPECT_EQ(browser->VisualEffects().TextSize, 2);
    EXPECT_EQ(browser->UserAgentMode(), TUserAgentMode::uaDefault);
}

TEST_F(PageBrowserTest, NavigationCallsSwallowTheControlsFailures)
{
    browser->Stop();
    browser->GoBack();
    browser->GoForward();
    EXPECT_EQ(Count("Stop"), 1);
    EXPECT_EQ(Count("GoBack"), 1);
    EXPECT_EQ(Count("GoForward"), 1);

    EXPECT_TRUE(browser->OpenUrl("   ", 0));
    EXPECT_EQ(Count("Navigate2"), 0);
    EXPECT_TRUE(browser->OpenUrl("http://127.0.0.1:8000/index.html", 0));
    const FakeCall* c = Last("Navigate2");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->args[0].AsWide(), L"http://127.0.0.1:8000/index.html");
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(c->args[i].Type(), VT_I4) << i;
        EXPECT_EQ(c->args[i].AsInteger(), 0) << i;
    }
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    EXPECT_TRUE(browser->OpenUrl(folder, 0));
    EXPECT_EQ(Last("Navigate")->args[0].AsWide(), ToWide(std::string("file:///") + folder));
}

TEST_F(PageBrowserTest, WaitEndsOnCompletionTimeoutStopAndFreeing)
{
    fake->properties[kDispidReadyState] = TOleVariant(4);
    EXPECT_TRUE(browser->Wait(0));

    fake->properties[kDispidReadyState] = TOleVariant(1);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(browser->Wait(50));
    EXPECT_GE(GetTickCount() - start, 50u);

    browser->OnBusyWait = TBusyWaitEvent(&probe, &Probe::BusyWait);
    probe.stopInWait = true;
    EXPECT_FALSE(browser->Wait(0));   // stopped: no time limit needed
    probe.stopInWait = false;
    fake->properties[kDispidReadyState] = TOleVariant(4);
    EXPECT_TRUE(browser->Wait(0));    // the stop flag was cleared

    // Freed by a handler inside its own wait: the wait ends without touching it.
    fake->properties[kDispidReadyState] = TOleVariant(1);
    probe.freeMe = browser;
    EXPECT_FALSE(browser->Wait(0));
    browser = nullptr;
    EXPECT_EQ(form->ControlCount(), 0);
}

TEST_F(PageBrowserTest, LoadingWithoutDocumentReportsAnError)
{
    TStringList lines;
    lines.Add("<html><body>a</body></html>");
    EXPECT_EQ(browser->LoadFromStrings(lines), static_cast<int>(E_UNEXPECTED));
    EXPECT_EQ(Last("Navigate")->args[0].AsWide(), L"about:blank");
    TMemoryStream stream;
    EXPECT_EQ(browser->LoadFromStream(stream), static_cast<int>(E_UNEXPECTED));
}

TEST_F(PageBrowserTest, LoadingIntoADocumentReadsTheWholeStreamFromItsStart)
{
    auto* document = new FakeDispatch(&kIID_IHTMLDocument2);
    document->persist = true;
    fake->properties[kDispidDocument] = TOleVariant(static_cast<IDispatch*>(document));
    TStringList lines;
    lines.Add("<html><body>");
    lines.Add("<p>lectern</p></body></html>");
    EXPECT_EQ(browser->LoadFromStrings(lines), 0);
    EXPECT_EQ(document->loaded, "<html><body>\r\n<p>lectern</p></body></html>\r\n");
    EXPECT_EQ(Count("Navigate"), 0);   // a document was there: no empty one first

    TMemoryStream stream;
    stream.WriteBuffer("abcdefghijklmnop", 16);   // positioned at its end: rewound first
    EXPECT_EQ(browser->LoadFromStream(stream), 0);
    EXPECT_EQ(document->loaded, "abcdefghijklmnop");
    fake->properties.erase(kDispidDocument);
    document->Release();
}

TEST_F(PageBrowserTest, HtmlCodeIsAnAddressOrADocument)
{
    browser->OnHTMLCodeChange = THTMLCodeChangeEvent(&probe, &Probe::CodeChange);
    TStringList one;
    one.Add("About:blank");
    browser->SetHTMLCode(one);   // before Loaded: kept only
    EXPECT_EQ(Count("Navigate2"), 0);
    browser->Loaded();
    ASSERT_EQ(Count("Navigate2"), 1);
    EXPECT_EQ(Last("Navigate2")->args[0].AsWide(), L"About:blank");

    TStringList two;
    two.Add("<html>");
    two.Add("</html>");
    probe.handleCode = true;
    browser->SetHTMLCode(two);
    EXPECT_EQ(Count("Navigate"), 0);   // handled by the event
    probe.handleCode = false;
    browser->SetHTMLCode(two);
    EXPECT_EQ(Count("Navigate"), 1);   // loaded as a document (an empty one first)
    EXPECT_EQ(probe.log, (std::vector<std::string>{"code 2", "code 2"}));
}

TEST_F(PageBrowserTest, UserAgentByModeAndItsRegistryToken)
{
    TComPtr<IDispatch> ambient;
    fake->site->QueryInterface(IID_IDispatch, ambient.PutVoid());
    browser->SetUserAgent("Lectern");
    browser->SetUserAgentMode(TUserAgentMode::uaInternal);
    EXPECT_EQ(fake->ambientChanges.back(), -5513);
    EXPECT_EQ(GetDispatchProperty(ambient.Get(), -5513).AsWide(), L"Lectern\r\n");

    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";
    const std::string token = UserAgentToken("Lectern");
    auto tokenThere = [&]() {
        return RegGetValueA(HKEY_CURRENT_USER, key, token.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    };
    browser->SetUserAgentMode(TUserAgentMode::uaRegistry);
    EXPECT_TRUE(tokenThere());
    EXPECT_THROW(GetDispatchProperty(ambient.Get(), -5513), EOleSysError);   // only the internal mode answers
    browser->SetUserAgentMode(TUserAgentMode::uaDefault);
    EXPECT_FALSE(tokenThere());
    browser->SetUserAgentMode(TUserAgentMode::uaRegistry);
    EXPECT_TRUE(tokenThere());
    delete form;   // the token goes with the component
    form = nullptr;
    EXPECT_FALSE(tokenThere());
}

TEST_F(PageBrowserTest, ContextMenuItemFilterAndHostStyleSheet)
{
    EXPECT_FALSE(browser->HasPopupMenuFilter());
    browser->SetDisabledPopupMenuItems({TIEPopupMenuItem::rcsViewSource});
    EXPECT_TRUE(browser->HasPopupMenuFilter());
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 2139, L"View source");
    AppendMenuW(menu, MF_STRING, 2300, L"Refresh");
    browser->FilterPopupMenu(0, menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(GetMenuItemID(menu, 0), 2300u);
    DestroyMenu(menu);

    browser->SetHostCSS("body{margin:0}");
    TComPtr<IDocHostUIHandler> ui;
    fake->site->QueryInterface(kIID_IDocHostUIHandler, ui.PutVoid());
    DOCHOSTUIINFO info{};
    ui->GetHostInfo(&info);
    ASSERT_NE(info.pchHostCss, nullptr);
    EXPECT_STREQ(info.pchHostCss, L"body{margin:0}");
    EXPECT_EQ(info.pchHostNS, nullptr);
    CoTaskMemFree(info.pchHostCss);

    TComPtr<IInternetProtocol> protocol;
    ASSERT_EQ(fake->site->QueryInterface(IID_IInternetProtocol, protocol.PutVoid()), S_OK);
    EXPECT_EQ(protocol->Start(L"http://x/", nullptr, nullptr, 0, 0), static_cast<HRESULT>(0x800C0011));
    EXPECT_EQ(protocol->Abort(S_OK, 0), E_NOTIMPL);
    EXPECT_EQ(protocol->LockRequest(0), S_OK);
}

TEST_F(PageBrowserTest, WindowProcedureAnswers)
{
    HWND h = browser->HandleValue();
    EXPECT_EQ(SendMessageW(h, WM_GETDLGCODE, 0, 0), DLGC_WANTCHARS);
    browser->OnKeyDown = TKeyEvent(&probe, &Probe::KeyDown);
    EXPECT_EQ(SendMessageW(h, CN_KEYDOWN, 'A', 0x001E0001), 1);   // key set to 0: consumed
    EXPECT_EQ(probe.log.back(), "key 65 scan 30");
    browser->OnCloseQuery = TCloseQueryBoolEvent(&probe, &Probe::CloseQuery);
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(h));

    browser->OnClick = TPgbClickEvent(&probe, &Probe::Click);
    SendMessageW(h, WM_PARENTNOTIFY, WM_RBUTTONDOWN, MAKELPARAM(12, 34));
    SendMessageW(h, WM_PARENTNOTIFY, WM_CREATE, 0);   // not a click
    EXPECT_EQ(probe.log.back(), "click right 12,34");

    browser->OnVisible = TWebBrowserBoolEvent(&probe, &Probe::Visible);
    browser->Hide();
    EXPECT_FALSE(fake->properties[402].AsBool());
    EXPECT_EQ(probe.log.back(), "hidden");
    browser->Show();
    EXPECT_TRUE(fake->properties[402].AsBool());

    // The focus message makes the component active and UI-activates the control.
    form->Show();
    form->SetActiveControl(browser);
    SendMessageW(h, kPgbFocusMessage, reinterpret_cast<WPARAM>(browser), 0);
    EXPECT_EQ(Count("UIActivate"), 1);
}

TEST_F(PageBrowserTest, ArrowKeysMoveTheSelectionOfAFolderView)
{
    INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 200, 100, fake->server,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    for (int i = 0; i < 3; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        wchar_t text[] = L"entry";
        item.pszText = text;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    auto selected = [&](int i) { return (SendMessageW(list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) != 0; };
    auto focused = [&] { return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)); };

    EXPECT_EQ(SendMessageW(browser->HandleValue(), CN_KEYDOWN, VK_DOWN, 0), 1);
    EXPECT_EQ(focused(), 1);
    EXPECT_TRUE(selected(1));
    EXPECT_FALSE(selected(0));
    // With Shift held the old item stays selected.
    BYTE keys[256]{};
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    EXPECT_EQ(SendMessageW(browser->HandleValue(), CN_KEYDOWN, VK_DOWN, 0), 1);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(focused(), 2);
    EXPECT_TRUE(selected(1));
    EXPECT_TRUE(selected(2));
    EXPECT_EQ(SendMessageW(browser->HandleValue(), CN_KEYDOWN, VK_UP, 0), 1);
    EXPECT_EQ(focused(), 1);
    EXPECT_FALSE(selected(2));
    // Other keys are not the folder view's.
    EXPECT_EQ(SendMessageW(browser->HandleValue(), CN_KEYDOWN, 'A', 0), 0);
    DestroyWindow(list);
}

// A dialog window that records what it receives.
std::vector<UINT>* gDialogLog = nullptr;
WNDPROC gDialogOldProc = nullptr;
LRESULT CALLBACK DialogProbeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (gDialogLog != nullptr && (msg == WM_CLOSE || msg == WM_SETICON || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP)) {
        gDialogLog->push_back(msg);
    }
    return CallWindowProcW(gDialogOldProc, w, msg, wp, lp);
}

HWND MakeDialog(const wchar_t* cls, HWND parent, const wchar_t* caption)
{
    HWND w = CreateWindowExW(0, cls, caption, WS_POPUP | WS_CAPTION, 0, 0, 100, 80, parent, nullptr, nullptr, nullptr);
    gDialogOldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogProbeProc)));
    return w;
}

std::wstring Caption(HWND w)
{
    wchar_t text[128]{};
    GetWindowTextW(w, text, 128);
    return text;
}

TEST_F(PageBrowserTest, BrowserDialogsThroughTheOwnerFormsProcedure)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Internet Explorer_TridentDlgFrame";
    RegisterClassW(&wc);
    browser->Loaded();   // hooks the owner form
    browser->OnShowDialog = TShowDialogEvent(&probe, &Probe::ShowDialog);
    std::vector<UINT> log;
    gDialogLog = &log;
    HWND formWindow = form->Handle();
    auto activate = [&](HWND dialog) { SendMessageW(formWindow, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(dialog)); };

    // A standard dialog of the application window is left alone.
    HWND own = MakeDialog(L"#32770", Application->Handle(), L"Microsoft Internet Explorer");
    activate(own);
    EXPECT_TRUE(probe.log.empty());
    EXPECT_EQ(Caption(own), L"Microsoft Internet Explorer");
    DestroyWindow(own);

    // The browser's frame dialog: event, icon, caption.
    HWND frame = MakeDialog(L"Internet Explorer_TridentDlgFrame", formWindow, L"Microsoft Internet Explorer");
    activate(frame);
    EXPECT_EQ(probe.log, (std::vector<std::string>{"dialog Microsoft Internet Explorer"}));
    EXPECT_EQ(Caption(frame), L"Lectern");
    EXPECT_EQ(log, (std::vector<UINT>{WM_SETICON}));
    EXPECT_EQ(browser->DialogBoxes().NewCaption, L"Lectern");
    DestroyWindow(frame);

    // A script error is clicked and closed; an error dialog of another window is destroyed.
    log.clear();
    HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND script = MakeDialog(L"#32770", host, L"Script Error");
    activate(script);
    EXPECT_EQ(log, (std::vector<UINT>{WM_SETICON, WM_CLOSE, WM_LBUTTONDOWN, WM_LBUTTONUP}));
    EXPECT_EQ(Caption(script), L"Script Error");
    DestroyWindow(script);
    HWND error = MakeDialog(L"#32770", host, L"Error");
    activate(error);
    EXPECT_FALSE(IsWindow(error));

    // DisableAll closes every dialog that passes the class test, after the event saw it.
    log.clear();
    browser->DialogBoxes().DisableAll = true;
    HWND any = MakeDialog(L"#32770", host, L"Save As");
    activate(any);
    Application->ProcessMessages();
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], static_cast<UINT>(WM_CLOSE));
    DestroyWindow(any);
    DestroyWindow(host);
    gDialogLog = nullptr;
}

TEST_F(PageBrowserTest, DestructionResetsTheTextSizeItReadBeforeFreeingTheOptions)
{
    auto* document = new FakeDispatch(&kIID_IHTMLDocument2);
    document->commandTarget = true;
    document->answers.emplace_back(20, TOleVariant(static_cast<int>((4u << 16) | 0u)));
    document->answers.emplace_back(19, TOleVariant(2));
    fake->properties[kDispidDocument] = TOleVariant(static_cast<IDispatch*>(document));
    browser->VisualEffects().TextSize = 4;
    delete form;
    form = nullptr;
    ASSERT_EQ(document->execs.size(), 2u);
    EXPECT_EQ(document->execs[0].command, 20u);   // the range, then the size
    EXPECT_EQ(document->execs[1].command, 19u);
    EXPECT_EQ(document->execs[1].in.AsInteger(), 2);
    document->Release();
}

TEST_F(PageBrowserTest, FocusFixGivesTheFocusBackOnActivation)
{
    TPGBFocusControl::Create();
    form->Show();
    form->SetActiveControl(browser);
    SetActiveWindow(form->HandleValue());
    Application->ProcessMessages();
    ASSERT_EQ(Screen->ActiveForm(), form);
    ASSERT_EQ(GetActiveWindow(), form->HandleValue());
    const int before = Count("UIActivate");
    SetFocus(form->HandleValue());   // the focus is elsewhere
    SendMessageW(Application->Handle(), CM_ACTIVATE, 0, 0);
    Application->ProcessMessages();
    EXPECT_EQ(Count("UIActivate"), before + 1);
    TPGBFocusControl::Free();
    SendMessageW(Application->Handle(), CM_ACTIVATE, 0, 0);
    Application->ProcessMessages();
    EXPECT_EQ(Count("UIActivate"), before + 1);   // no hook once freed
}

TEST(PgbLoaderTest, HelpControlComesFromTheSystemFolder)
{
    const TModuleHandle module = LoadHHCtrl();
    ASSERT_NE(module, 0u);
    char path[MAX_PATH]{};
    GetModuleFileNameA(reinterpret_cast<HMODULE>(module), path, MAX_PATH);
    char system[MAX_PATH]{};
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, path, static_cast<int>(strlen(system)), system, -1),
              CSTR_EQUAL)
        << path;
    EXPECT_NE(GetProcAddress(reinterpret_cast<HMODULE>(module), "HtmlHelpA"), nullptr);
    EXPECT_TRUE(LoadUrlMon());
    EXPECT_NE(CoInternetIsFeatureEnabled(21, 2), E_NOTIMPL);   // bound from the real library
}

TEST(PgbToolsTest, VersionsOfTheSystem)
{
    EXPECT_TRUE(IsWinXPSP2OrLater());
    const std::string version = GetIEVersion();
    EXPECT_FALSE(version.empty());
    EXPECT_GT(GetIEMajorVersion(), 0);
    EXPECT_EQ(GetIEMajorVersion(), MajorVersionOf(version));
}

constexpr char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string RegistryProxy()
{
    char server[512]{};
    DWORD size = sizeof server;
    DWORD enable = 0;
    DWORD enableSize = sizeof enable;
    RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", RRF_RT_REG_SZ, nullptr, server, &size);
    RegGetValueA(HKEY_CURRENT_USER, kInternetSettings, "ProxyEnable", RRF_RT_REG_DWORD, nullptr, &enable, &enableSize);
    return std::to_string(enable) + " " + server;
}

// The current user's registry, for this process, is a scratch key holding the given proxy
// settings (none when server is empty): the outcome no longer depends on what the prefix's user
// or a test running beside this one stored there.
class ScratchUserProxy {
public:
    ScratchUserProxy(DWORD enable, const std::string& server)
        : FPath("Software\\LecternTests\\User" + std::to_string(GetCurrentProcessId()))
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
        RegCreateKeyExA(HKEY_CURRENT_USER, FPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FRoot, nullptr);
        HKEY settings = nullptr;
        RegCreateKeyExA(FRoot, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr);
        if (!server.empty()) {
            RegSetValueExA(settings, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
            RegSetValueExA(settings, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                           static_cast<DWORD>(server.size() + 1));
        }
        RegCloseKey(settings);
        FOverridden = RegOverridePredefKey(HKEY_CURRENT_USER, FRoot) == ERROR_SUCCESS;
    }
    ~ScratchUserProxy()
    {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(FRoot);
        RegDeleteTreeA(HKEY_CURRENT_USER, FPath.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\LecternTests");
    }
    bool Overridden() const { return FOverridden; }

private:
    std::string FPath;
    HKEY FRoot = nullptr;
    bool FOverridden = false;
};

// (The URL-moniker session here does not take a proxy, so SetProxy answers False under this
// platform; the tests check what must hold either way: the user's stored settings stay, with
// and without a proxy of the user's own.)
TEST(PgbToolsTest, ProxyLeavesTheUsersSettingsAlone)
{
    const struct {
        DWORD enable;
        const char* server;
    } cases[] = {{0, ""}, {1, "10.1.2.3:8080"}, {0, "10.1.2.3:8080"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.enable) + " " + c.server);
        ScratchUserProxy user(c.enable, c.server);
        ASSERT_TRUE(user.Overridden());
        const std::string registryBefore = RegistryProxy();
        EXPECT_EQ(registryBefore, std::to_string(*c.server != 0 ? c.enable : 0) + " " + c.server);
        SetProxy("Lectern", "127.0.0.1:3128", "<local>");
        EXPECT_EQ(RegistryProxy(), registryBefore);   // nothing stored for the user
        SetProxyWithCredentials("Lectern", "127.0.0.1", 3128, "reader", "secret");
        EXPECT_EQ(RegistryProxy(), registryBefore);
        EXPECT_TRUE(ResetProxy());
        EXPECT_EQ(RegistryProxy(), registryBefore);
    }
}

TEST(PgbToolsTest, ClickSoundKeyMovesAsideAndBack)
{
    const char* current = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\.Current";
    const char* old = "AppEvents\\Schemes\\Apps\\Explorer\\Navigating\\Old_Current";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, current, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("click.wav"), 10);
    RegCloseKey(key);
    auto value = [](const char* path) {
        char data[64]{};
        DWORD size = sizeof data;
        return RegGetValueA(HKEY_CURRENT_USER, path, nullptr, RRF_RT_REG_SZ, nullptr, data, &size) == ERROR_SUCCESS
                   ? std::string(data)
                   : std::string("-");
    };
    SetClickSound(true);
    EXPECT_EQ(value(current), "-");
    EXPECT_EQ(value(old), "click.wav");
    SetClickSound(false);
    EXPECT_EQ(value(current), "click.wav");
    EXPECT_EQ(value(old), "-");
}

TEST(PgbUnitTest, StartAndEndSwitchTheHooksAndRestoreTheSettings)
{
    PgbControlComponentInit();
    PageBrowserInit();
    EXPECT_NE(TPGBFocusControl::Instance(), nullptr);
    TPGBMouseHook* hook = TPGBMouseHook::Acquire();
    EXPECT_TRUE(hook->Installed());
    TPGBMouseHook::Release(hook);

    // A component that sets a proxy at load: the unit's end resets it.
    const std::string before = RegistryProxy();
    auto* form = new TForm(Application);
    auto* browser = new TPageBrowser(form);
    browser->SetParent(form);
    browser->ProxySettings().AutoLoadProxy = true;
    browser->ProxySettings().Address = "127.0.0.1";
    browser->ProxySettings().Port = 3129;
    browser->Loaded();
    EXPECT_EQ(RegistryProxy(), before);
    delete form;

    PageBrowserDone();
    PgbControlComponentDone();
    EXPECT_EQ(TPGBFocusControl::Instance(), nullptr);
    EXPECT_FALSE(PageBrowserProxySet());
    EXPECT_EQ(RegistryProxy(), before);
    // No hook outlives the component: a new acquisition starts uninstalled.
    hook = TPGBMouseHook::Acquire();
    EXPECT_FALSE(hook->Installed());
    TPGBMouseHook::Release(hook);
}

TEST(PgbUnitTest, InternetFeaturesReachTheProcess)
{
    TPgbControl control(nullptr);
    const HRESULT before = CoInternetIsFeatureEnabled(21, 2);
    control.SetInternetFeatures({});
    EXPECT_EQ(CoInternetIsFeatureEnabled(21, 2), before);   // the empty set changes nothing
    control.SetInternetFeatures({TInternetFeatureList::DisableNavigationSounds});
    EXPECT_EQ(CoInternetIsFeatureEnabled(21, 2), S_OK);
    control.SetInternetFeatures({TInternetFeatureList::ObjectCaching});
    EXPECT_EQ(CoInternetIsFeatureEnabled(21, 2), S_FALSE);
}

}  // namespace
