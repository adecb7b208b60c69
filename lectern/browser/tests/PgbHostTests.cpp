// The host interfaces of TCustomPageBrowser, called directly the way the control calls them
// (through its client site), over the fake control: exact answers, defaults, the events they
// raise, and the window parking across re-creation. Wine, no display.
#include "FakeBrowser.h"
#include "FakeDispatch.h"
#include "lectern/browser/PgbCoreWin.h"

#include "classlib/Forms.h"

#include <gtest/gtest.h>

namespace {

const auto* const gEnvironment = ::testing::AddGlobalTestEnvironment(new FakeOleEnvironment);

// Records the events the host raises and answers as told.
struct Probe : TObject {
    std::vector<std::string> log;
    HRESULT answer = S_OK;
    bool flag = false;
    char masked = 0;
    void Result(TObject*, HRESULT& r)
    {
        log.push_back("result");
        r = answer;
    }
    void HostInfo(TObject*, DOCHOSTUIINFO& info) { info.dwDoubleClick = 7; }
    void Masked(TObject*, char c) { masked = c; }
    void Stop(TObject*) { log.push_back("stop"); }
    void Unload(TObject*) { log.push_back("unload"); }
    void PreRefresh(TObject*) { log.push_back("prerefresh"); }
    void Refresh(TObject*, int command, bool& cancel)
    {
        log.push_back("refresh " + std::to_string(command));
        cancel = flag;
    }
    void CommandExec(TObject*, const GUID*, DWORD command, DWORD, VARIANT*, VARIANT*, HRESULT& r)
    {
        log.push_back("exec " + std::to_string(command));
        r = answer;
    }
    void NewWindow(TObject*, const std::wstring& url, const std::wstring&, const std::wstring&, const std::wstring&,
                   bool, DWORD flags, DWORD, HRESULT& r)
    {
        log.push_back("newwindow " + FromWide(url) + " " + std::to_string(flags));
        r = answer;
    }
    void Authenticate(TObject*, HWND&, std::wstring& user, std::wstring& password, HRESULT&)
    {
        user = L"reader";
        password = L"";
    }
    void ScriptError(TObject*, const std::wstring& line, const std::wstring& character, const std::wstring& code,
                     const std::wstring& message, const std::wstring& url, TScriptErrorAction& action)
    {
        log.push_back("script " + FromWide(line) + ":" + FromWide(character) + " " + FromWide(code) + " " +
                      FromWide(message) + " " + FromWide(url));
        action = TScriptErrorAction::eaCancel;
    }
    void ContextMenu(TObject*, DWORD id, POINT*, IUnknown*, IDispatch*, HRESULT& r)
    {
        log.push_back("menu " + std::to_string(id));
        r = answer;
    }
    void Drag(TObject*, IDataObject*, DWORD keys, POINTL pt, DWORD& effect, HRESULT& r)
    {
        log.push_back("drag " + std::to_string(keys) + " " + std::to_string(pt.x));
        effect = DROPEFFECT_COPY;
    }
    void Move(TObject*, int x, int y) { log.push_back("move " + std::to_string(x) + "," + std::to_string(y)); }
    void Zoom(TObject*, ULONG percent, HRESULT& r) { log.push_back("zoom " + std::to_string(percent)); }
    void Invoke(TObject*, DISPID id, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*, HRESULT&)
    {
        throw EOleError("refused " + std::to_string(id));
    }
    void Url(TObject*, DWORD, const std::wstring& in, std::wstring& out)
    {
        if (in == L"a") {
            out = L"http://b/";
        }
    }
};

struct PopupProbe : TPopupSource {
    int shown = 0;
    void Popup(int, int) override { ++shown; }
};

class HostTest : public FakeBrowserTest<TCustomPageBrowser> {
protected:
    template <class I>
    TComPtr<I> Host(REFIID iid)
    {
        TComPtr<I> p;
        fake->site->QueryInterface(iid, p.PutVoid());
        return p;
    }

    Probe probe;
};

TEST_F(HostTest, ConstructionTellsTheControlItsOptions)
{
    EXPECT_EQ(browser->DownloadFlagWordValue(), 0x70u);
    EXPECT_EQ(browser->UserInterfaceFlagWordValue(), 0x44000u);
    EXPECT_EQ(browser->ZoomPercent(), 100);
    EXPECT_EQ(browser->DisableCtrlShortcuts(), "N");
    EXPECT_EQ(fake->ambientChanges, (std::vector<DISPID>{-5512, -5512}));
    browser->SetDownloadOptions({TDownloadControlOption::DontExecuteScripts});
    EXPECT_EQ(fake->ambientChanges.back(), -5512);

    TComPtr<IDispatch> ambient = Host<IDispatch>(IID_IDispatch);
    EXPECT_EQ(GetDispatchProperty(ambient.Get(), -5512).AsInteger(), 0x80);
    EXPECT_TRUE(GetDispatchProperty(ambient.Get(), -709).AsBool());
    // No user-agent source: the base answers, which knows no such ambient.
    EXPECT_THROW(GetDispatchProperty(ambient.Get(), -5513), EOleSysError);
}

TEST_F(HostTest, InvokeTurnsAClassLayerExceptionIntoTheExceptionResult)
{
    browser->OnInvoke = TInvokeEvent(&probe, &Probe::Invoke);
    TComPtr<IDispatch> ambient = Host<IDispatch>(IID_IDispatch);
    TOleVariant result;
    EXCEPINFO info{};
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(ambient->Invoke(4242, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Ptr(), &info, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, 9999);
    EXPECT_EQ(FromBstr(info.bstrDescription), L"refused 4242");
    EXPECT_EQ(FromBstr(info.bstrSource), L"EOleError");
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
}

TEST_F(HostTest, UserInterfaceHandlerAnswers)
{
    TComPtr<IDocHostUIHandler2> ui = Host<IDocHostUIHandler2>(kIID_IDocHostUIHandler2);
    ASSERT_TRUE(ui);
    DOCHOSTUIINFO info{};
    info.pchHostCss = reinterpret_cast<OLECHAR*>(1);
    browser->OnGetHostInfo = TGetHostInfoEvent(&probe, &Probe::HostInfo);
    EXPECT_EQ(ui->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.cbSize, 20u);
    EXPECT_EQ(info.dwFlags, 0x44000u);
    EXPECT_EQ(info.dwDoubleClick, 7u);
    EXPECT_EQ(info.pchHostCss, nullptr);

    EXPECT_EQ(ui->ShowUI(0, nullptr, nullptr, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(ui->HideUI(), S_FALSE);
    EXPECT_EQ(ui->UpdateUI(), S_FALSE);
    browser->OnHideUI = TResultEvent(&probe, &Probe::Result);
    EXPECT_EQ(ui->HideUI(), S_OK);
    EXPECT_EQ(ui->EnableModeless(TRUE), S_OK);
    EXPECT_EQ(ui->OnDocWindowActivate(TRUE), S_OK);
    EXPECT_EQ(ui->ResizeBorder(nullptr, nullptr, FALSE), S_OK);

    // Option key paths: a copy for the matching kind, else nil and S_FALSE.
    struct Case {
        const char* path;
        bool override;
        HRESULT option;
        HRESULT overridden;
    };
    const Case cases[] = {{"", false, S_FALSE, S_FALSE},
                          {"Software\\Lectern", false, S_OK, S_FALSE},
                          {"Software\\Lectern", true, S_FALSE, S_OK}};
    for (const Case& c : cases) {
        browser->SetOptionKeyPath(c.path);
        browser->SetOverrideOptionKeyPath(c.override);
        LPOLESTR key = reinterpret_cast<LPOLESTR>(1);
        EXPECT_EQ(ui->GetOptionKeyPath(&key, 0), c.option) << c.path;
        if (c.option == S_OK) {
            EXPECT_STREQ(key, L"Software\\Lectern");
            CoTaskMemFree(key);
        } else {
            EXPECT_EQ(key, nullptr);
        }
        key = reinterpret_cast<LPOLESTR>(1);
        EXPECT_EQ(ui->GetOverrideKeyPath(&key, 0), c.overridden) << c.path;
        if (c.overridden == S_OK) {
            CoTaskMemFree(key);
        } else {
            EXPECT_EQ(key, nullptr);
        }
    }

    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(ui->GetExternal(&external), S_FALSE);
    EXPECT_EQ(external, nullptr);
    IDataObject* data = reinterpret_cast<IDataObject*>(1);
    EXPECT_EQ(ui->FilterDataObject(nullptr, &data), S_FALSE);
    EXPECT_EQ(data, nullptr);

    LPWSTR out = nullptr;
    wchar_t in[] = L"a";
    EXPECT_EQ(ui->TranslateUrl(0, in, &out), S_FALSE);
    browser->OnTranslateUrl = TTranslateUrlEvent(&probe, &Probe::Url);
    EXPECT_EQ(ui->TranslateUrl(0, in, &out), S_OK);
    EXPECT_STREQ(out, L"http://b/");
    CoTaskMemFree(out);
}

std::string gHelpCall;
void* PLAT_WINAPI FakeHtmlHelp(void*, const char* file, unsigned command, uintptr_t)
{
    gHelpCall = std::string(file) + " " + std::to_string(command);
    return nullptr;
}
const TLibraryApi kHelpApi{
    [](const char* name) -> TModuleHandle { return std::string(name) == "hhctrl.ocx" ? 100 : 0; },
    [](const char*) -> TModuleHandle { return 0; },
    [](TModuleHandle, const char* name) -> TProcAddress {
        return std::string(name) == "HtmlHelpA" ? reinterpret_cast<TProcAddress>(&FakeHtmlHelp) : 0;
    },
};

TEST_F(HostTest, HelpGoesToTheHelpFileWhenTheControlNamesNone)
{
    SetLibraryApi(&kHelpApi);
    TComPtr<IDocHostShowUI> show = Host<IDocHostShowUI>(kIID_IDocHostShowUI);
    ASSERT_TRUE(show);
    wchar_t controlsFile[] = L"control.chm";
    wchar_t none[] = L"";
    EXPECT_EQ(show->ShowHelp(nullptr, none, 15, 0, POINT{0, 0}, nullptr), S_FALSE);   // no HelpFile
    browser->SetHelpFile("book.chm");
    EXPECT_EQ(show->ShowHelp(nullptr, controlsFile, 15, 0, POINT{0, 0}, nullptr), S_FALSE);
    EXPECT_TRUE(gHelpCall.empty());
    EXPECT_EQ(show->ShowHelp(nullptr, none, 15, 0, POINT{0, 0}, nullptr), S_OK);
    EXPECT_EQ(gHelpCall, "book.chm 15");
    EXPECT_EQ(show->ShowHelp(nullptr, nullptr, 1, 0, POINT{0, 0}, nullptr), S_OK);
    EXPECT_EQ(gHelpCall, "book.chm 1");
    LRESULT answer = 0;
    EXPECT_EQ(show->ShowMessage(nullptr, none, none, 0, none, 0, &answer), S_FALSE);
    SetLibraryApi(nullptr);
}

TEST_F(HostTest, MaskedCtrlKeysAreSwallowed)
{
    TComPtr<IDocHostUIHandler> ui = Host<IDocHostUIHandler>(kIID_IDocHostUIHandler);
    browser->OnMaskedCtrlChar = TMaskedCtrlCharEvent(&probe, &Probe::Masked);
    BYTE keys[256]{};
    struct Case {
        bool ctrl;
        bool shift;
        HRESULT expected;
    };
    const Case cases[] = {{true, false, S_OK}, {true, true, S_FALSE}, {false, false, S_FALSE}};
    for (const Case& c : cases) {
        keys[VK_CONTROL] = c.ctrl ? 0x80 : 0;
        keys[VK_SHIFT] = c.shift ? 0x80 : 0;
        SetKeyboardState(keys);
        probe.masked = 0;
        MSG msg{browser->HandleValue(), WM_KEYDOWN, 'N', 0, 0, {0, 0}};
        EXPECT_EQ(ui->TranslateAccelerator(&msg, nullptr, 0), c.expected);
        EXPECT_EQ(probe.masked, c.expected == S_OK ? 'N' : 0);
    }
    keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
}

TEST_F(HostTest, ServicesAreHandedOutWhenTheirEventIsAssigned)
{
    TComPtr<IServiceProvider> services = Host<IServiceProvider>(IID_IServiceProvider);
    ASSERT_TRUE(services);
    TComPtr<IUnknown> object;
    EXPECT_EQ(services->QueryService(kIID_IProtectFocus, kIID_IProtectFocus, object.PutVoid()), S_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(services->QueryService(kIID_INewWindowManager, kIID_INewWindowManager, object.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(object);
    EXPECT_EQ(services->QueryService(kIID_IDownloadManager, kIID_IDownloadManager, object.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(services->QueryService(kIID_IHTMLOMWindowServices, kIID_IHTMLOMWindowServices, object.PutVoid()),
              E_NOINTERFACE);
    EXPECT_EQ(services->QueryService(IID_IOleObject, kIID_IAuthenticate, object.PutVoid()), E_NOINTERFACE);

    browser->OnEvaluateNewWindow = TEvaluateNewWindowEvent(&probe, &Probe::NewWindow);
    browser->OnAuthenticate = TAuthenticateEvent(&probe, &Probe::Authenticate);
    browser->SetFloatingHosting(true);
    EXPECT_EQ(services->QueryService(kIID_INewWindowManager, kIID_INewWindowManager, object.PutVoid()), S_OK);
    EXPECT_EQ(services->QueryService(IID_IOleObject, kIID_IAuthenticate, object.PutVoid()), S_OK);
    EXPECT_EQ(services->QueryService(kIID_IHTMLOMWindowServices, kIID_IHTMLOMWindowServices, object.PutVoid()), S_OK);

    // The new-window manager answers E_FAIL unless the event says otherwise.
    TComPtr<INewWindowManager> manager = Host<INewWindowManager>(kIID_INewWindowManager);
    probe.answer = S_FALSE;
    EXPECT_EQ(manager->EvaluateNewWindow(L"http://x/", L"", L"", L"", FALSE, 4, 0), S_FALSE);
    browser->OnEvaluateNewWindow = TEvaluateNewWindowEvent();
    EXPECT_EQ(manager->EvaluateNewWindow(L"http://x/", L"", L"", L"", FALSE, 4, 0), E_FAIL);
    EXPECT_EQ(probe.log, (std::vector<std::string>{"newwindow http://x/ 4"}));

    // Authentication: the component's window, names as task-memory copies, empty ones nil.
    TComPtr<IAuthenticate> auth = Host<IAuthenticate>(kIID_IAuthenticate);
    HWND w = nullptr;
    LPWSTR user = nullptr, password = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(auth->Authenticate(&w, &user, &password), S_OK);
    EXPECT_EQ(w, browser->HandleValue());
    EXPECT_STREQ(user, L"reader");
    EXPECT_EQ(password, nullptr);
    CoTaskMemFree(user);

    TComPtr<IProtectFocus> focus = Host<IProtectFocus>(kIID_IProtectFocus);
    BOOL allow = FALSE;
    EXPECT_EQ(focus->AllowFocusChange(&allow), S_OK);
    EXPECT_TRUE(allow);

    TComPtr<IDownloadManager> downloads = Host<IDownloadManager>(kIID_IDownloadManager);
    EXPECT_EQ(downloads->Download(nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, 0), E_NOTIMPL);
}

TEST_F(HostTest, WindowServicesMoveTheFloatingForm)
{
    TComPtr<IHTMLOMWindowServices> moves = Host<IHTMLOMWindowServices>(kIID_IHTMLOMWindowServices);
    browser->OnMove = TMoveEvent(&probe, &Probe::Move);
    EXPECT_EQ(moves->moveTo(10, 20), S_OK);   // not floating: only the event
    EXPECT_EQ(form->Left(), 50);
    browser->SetFloatingHosting(true);
    moves->moveTo(10, 20);
    EXPECT_EQ(form->Left(), 10);
    EXPECT_EQ(form->Top(), 20);
    moves->moveBy(5, 5);
    EXPECT_EQ(form->Left(), 15);
    moves->resizeTo(320, 240);
    EXPECT_EQ(form->Width(), 320);
    EXPECT_EQ(form->Height(), 240);
    moves->resizeBy(10, -10);
    EXPECT_EQ(form->Width(), 330);
    EXPECT_EQ(form->Height(), 230);
    EXPECT_EQ(probe.log, (std::vector<std::string>{"move 10,20", "move 10,20"}));
}

TEST_F(HostTest, CommandsRaiseTheirEventsAndAnswers)
{
    TComPtr<IOleCommandTarget> commands = Host<IOleCommandTarget>(IID_IOleCommandTarget);
    ASSERT_TRUE(commands);
    OLECMD cmd{1, 0};
    EXPECT_EQ(commands->QueryStatus(nullptr, 1, &cmd, nullptr), S_OK);
    EXPECT_EQ(cmd.cmdf, 2u);

    const HRESULT notSupported = static_cast<HRESULT>(0x80040100);
    EXPECT_EQ(commands->Exec(&kCGID_Explorer, 99, 0, nullptr, nullptr), notSupported);
    browser->OnStop = TNotifyEvent(&probe, &Probe::Stop);
    browser->OnUnload = TNotifyEvent(&probe, &Probe::Unload);
    browser->OnPreRefresh = TNotifyEvent(&probe, &Probe::PreRefresh);
    browser->OnRefresh = TRefreshEvent(&probe, &Probe::Refresh);
    browser->OnCommandExec = TCommandExecEvent(&probe, &Probe::CommandExec);
    probe.answer = S_OK;
    EXPECT_EQ(commands->Exec(nullptr, 23, 0, nullptr, nullptr), S_OK);   // stop, then the general event
    EXPECT_EQ(commands->Exec(&kCGID_Explorer, 37, 0, nullptr, nullptr), S_OK);
    ResetPreRefreshGate();
    commands->Exec(&kCGID_Explorer, 39, 0, nullptr, nullptr);
    commands->Exec(&kCGID_Explorer, 39, 0, nullptr, nullptr);   // within 150 ms: no second event
    probe.flag = true;
    EXPECT_EQ(commands->Exec(&kCGID_DocHostCommandHandler, 2300, 0, nullptr, nullptr), S_OK);
    probe.flag = false;
    EXPECT_EQ(commands->Exec(&kCGID_DocHostCommandHandler, 6042, 0, nullptr, nullptr), notSupported);
    EXPECT_EQ(probe.log, (std::vector<std::string>{"stop", "exec 23", "unload", "prerefresh", "exec 39", "exec 39",
                                                   "refresh 2300", "refresh 6042"}));
}

TEST_F(HostTest, ScriptErrorsAnswerByTheActionAndNeverFailInsideExec)
{
    TComPtr<IOleCommandTarget> commands = Host<IOleCommandTarget>(IID_IOleCommandTarget);
    struct Case {
        TScriptErrorAction action;
        HRESULT answer;
        VARTYPE outType;
        bool out;
    };
    const Case cases[] = {
        {TScriptErrorAction::eaContinue, S_OK, VT_BOOL, true},
        {TScriptErrorAction::eaCancel, S_OK, VT_BOOL, false},
        {TScriptErrorAction::eaAskUser, S_FALSE, VT_EMPTY, false},
    };
    for (const Case& c : cases) {
        browser->SetScriptErrorAction(c.action);
        TOleVariant out;
        EXPECT_EQ(commands->Exec(&kCGID_DocHostCommandHandler, 40, 0, nullptr, out.Ptr()), c.answer);
        EXPECT_EQ(out.Type(), c.outType);
        if (c.outType == VT_BOOL) {
            EXPECT_EQ(out.AsBool(), c.out);
        }
    }

    // The event reads the error from the document's event object; its choice governs the next
    // error only.
    browser->OnScriptError = TScriptErrorEvent(&probe, &Probe::ScriptError);
    browser->SetScriptErrorAction(TScriptErrorAction::eaContinue);
    auto* document = new FakeDispatch(&kIID_IHTMLDocument2);
    auto* window = new FakeDispatch();
    auto* event = new FakeDispatch();
    event->Set(L"errorCharacter", TOleVariant(L"5"));
    event->Set(L"errorCode", TOleVariant(L"0"));
    event->Set(L"errorMessage", TOleVariant(L"x is undefined"));
    event->Set(L"errorUrl", TOleVariant(L"http://127.0.0.1:8000/a.html"));
    event->Set(L"errorline", TOleVariant(L"12"));
    window->Set(L"event", TOleVariant(static_cast<IDispatch*>(event)));
    document->Set(L"parentWindow", TOleVariant(static_cast<IDispatch*>(window)));
    event->Release();
    window->Release();
    TOleVariant in(static_cast<IDispatch*>(document));
    TOleVariant out;
    EXPECT_EQ(commands->Exec(&kCGID_DocHostCommandHandler, 40, 0, in.Ptr(), out.Ptr()), S_OK);
    EXPECT_TRUE(out.AsBool());   // this error: continue
    EXPECT_EQ(browser->ScriptErrorAction(), TScriptErrorAction::eaCancel);
    ASSERT_EQ(probe.log.size(), 1u);
    EXPECT_EQ(probe.log[0], "script 12:5 0 x is undefined http://127.0.0.1:8000/a.html");

    // An event object without one of the properties: no event, the answer stands, no failure.
    auto* bare = new FakeDispatch();
    bare->Set(L"errorCharacter", TOleVariant(L"1"));
    window->Set(L"event", TOleVariant(static_cast<IDispatch*>(bare)));
    bare->Release();
    out.Clear();
    EXPECT_EQ(commands->Exec(&kCGID_DocHostCommandHandler, 40, 0, in.Ptr(), out.Ptr()), S_OK);
    EXPECT_FALSE(out.AsBool());   // eaCancel, chosen by the previous error
    EXPECT_EQ(probe.log.size(), 1u);
    document->Release();
}

TEST_F(HostTest, ContextMenusCanBeSuppressed)
{
    TComPtr<IDocHostUIHandler> ui = Host<IDocHostUIHandler>(kIID_IDocHostUIHandler);
    POINT pt{10, 10};
    EXPECT_EQ(ui->ShowContextMenu(0, &pt, nullptr, nullptr), S_FALSE);   // the control's own menu
    PopupProbe popup;
    browser->SetPopupMenu(&popup);
    browser->SetDisabledPopupMenus({TIEPopupMenu::rcmAnchor});
    EXPECT_EQ(ui->ShowContextMenu(5, &pt, nullptr, nullptr), S_OK);
    EXPECT_EQ(ui->ShowContextMenu(10, &pt, nullptr, nullptr), S_FALSE);
    browser->SetDisabledPopupMenus({TIEPopupMenu::rcmAll});
    EXPECT_EQ(ui->ShowContextMenu(10, &pt, nullptr, nullptr), S_OK);
    EXPECT_EQ(popup.shown, 2);
    // The event decides first.
    browser->OnShowContextMenu = TShowContextMenuEvent(&probe, &Probe::ContextMenu);
    probe.answer = S_FALSE;
    EXPECT_EQ(ui->ShowContextMenu(3, &pt, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(popup.shown, 2);
    browser->SetPopupMenu(nullptr);
}

// The control's command target as the context-menu callback receives it: a window for the
// chosen command and the encoding submenu (or a failure to give one).
class MenuTarget final : public IOleCommandTarget, public IOleWindow {
public:
    HMENU encoding = nullptr;
    HWND window = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleCommandTarget)) {
            *object = static_cast<IOleCommandTarget*>(this);
        } else if (IsEqualIID(iid, IID_IOleWindow)) {
            *object = static_cast<IOleWindow*>(this);
        }
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD, VARIANT*, VARIANT* out) override
    {
        if (encoding == nullptr || group == nullptr || !IsEqualGUID(*group, kCGID_ShellDocView) || command != 27) {
            return E_FAIL;
        }
        V_VT(out) = VT_I4;
        V_I4(out) = static_cast<LONG>(reinterpret_cast<intptr_t>(encoding));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* w) override
    {
        *w = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
};

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    EndMenu();
}

struct MenuProbe : TObject {
    int items = -1;
    HMENU encodingSubmenu = nullptr;
    void Filter(TObject*, DWORD, HMENU menu, IDispatch*)
    {
        items = GetMenuItemCount(menu);
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_SUBMENU;
        if (GetMenuItemInfoW(menu, 2292, FALSE, &info)) {
            encodingSubmenu = info.hSubMenu;
        }
        // Close the menu as soon as it is tracked.
        SetTimer(nullptr, 0, 20, &CloseMenu);
    }
};

TEST_F(HostTest, FilteredContextMenuTakesTheEncodingSubmenuFromItsCommandTarget)
{
    TComPtr<IDocHostUIHandler> ui = Host<IDocHostUIHandler>(kIID_IDocHostUIHandler);
    MenuProbe menus;
    browser->OnFilterPopupMenu = TFilterPopupMenuEvent(&menus, &MenuProbe::Filter);
    POINT pt{20, 20};
    // Without a command target the control shows its own menu.
    EXPECT_EQ(ui->ShowContextMenu(0, &pt, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(menus.items, -1);

    MenuTarget target;
    target.window = form->HandleValue();
    // The target gives no encoding submenu: the menu is shown without one.
    EXPECT_EQ(ui->ShowContextMenu(0, &pt, static_cast<IOleCommandTarget*>(&target), nullptr), S_OK);
    EXPECT_GT(menus.items, 0);
    EXPECT_EQ(menus.encodingSubmenu, nullptr);
    // It gives one: it becomes the submenu of the encoding item.
    target.encoding = CreatePopupMenu();
    AppendMenuW(target.encoding, MF_STRING, 5000, L"Western");
    menus = MenuProbe{};
    EXPECT_EQ(ui->ShowContextMenu(0, &pt, static_cast<IOleCommandTarget*>(&target), nullptr), S_OK);
    EXPECT_EQ(menus.encodingSubmenu, target.encoding);
}

TEST_F(HostTest, DropHandlingByType)
{
    TComPtr<IDocHostUIHandler> ui = Host<IDocHostUIHandler>(kIID_IDocHostUIHandler);
    IDropTarget* target = reinterpret_cast<IDropTarget*>(1);
    EXPECT_EQ(ui->GetDropTarget(nullptr, &target), E_NOTIMPL);   // ddtMS: the control keeps its own
    EXPECT_EQ(target, nullptr);
    EXPECT_TRUE(fake->properties[553].AsBool());
    browser->SetDropHandlingType(TDragDropHandlingType::ddtMy);
    EXPECT_EQ(ui->GetDropTarget(nullptr, &target), S_OK);
    ASSERT_NE(target, nullptr);
    browser->OnDragEnter = TDropEvent(&probe, &Probe::Drag);
    DWORD effect = DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(nullptr, MK_LBUTTON, POINTL{3, 4}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    effect = DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(0, POINTL{3, 4}, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));   // no event: none
    target->Release();
    browser->SetDropHandlingType(TDragDropHandlingType::ddtNo);
    EXPECT_FALSE(fake->properties[553].AsBool());
    EXPECT_EQ(ui->GetDropTarget(nullptr, &target), S_OK);
    EXPECT_EQ(target, nullptr);
}

TEST_F(HostTest, ZoomWithoutDocumentKeepsItsValueAndWithOneIsClamped)
{
    // No document: the value is kept, no event, no failure.
    browser->OnZoomPercentChange = TZoomPercentChangeEvent(&probe, &Probe::Zoom);
    browser->SetZoomPercent(150);
    EXPECT_EQ(browser->ZoomPercent(), 150);
    browser->SetTextSize(3);
    EXPECT_TRUE(probe.log.empty());

    auto* document = new FakeDispatch(&kIID_IHTMLDocument2);
    document->commandTarget = true;
    document->answers.emplace_back(64, TOleVariant(static_cast<int>((400u << 16) | 25u)));
    document->answers.emplace_back(63, TOleVariant(400));
    fake->properties[kDispidDocument] = TOleVariant(static_cast<IDispatch*>(document));
    const size_t calls = fake->calls.size();
    browser->SetZoomPercent(150);   // unchanged: no call into the control
    EXPECT_EQ(fake->calls.size(), calls);
    browser->SetZoomPercent(900);
    ASSERT_EQ(document->execs.size(), 2u);
    EXPECT_EQ(document->execs[0].command, 64u);
    EXPECT_EQ(document->execs[0].option, 2u);
    EXPECT_EQ(document->execs[1].command, 63u);
    EXPECT_EQ(document->execs[1].in.AsInteger(), 400);
    EXPECT_EQ(probe.log, (std::vector<std::string>{"zoom 400"}));
    EXPECT_EQ(browser->ZoomPercent(), 400);

    TComPtr<IPgbZoomEvents> zoom = Host<IPgbZoomEvents>(kIID_IZoomEvents);
    browser->OnZoomPercentChange = TZoomPercentChangeEvent();
    EXPECT_EQ(zoom->OnZoomPercentChanged(80), S_FALSE);
    fake->properties.erase(kDispidDocument);
    document->Release();
}

TEST_F(HostTest, ControlWindowIsParkedAcrossReCreation)
{
    HWND control = browser->HandleValue();
    HWND oldForm = form->HandleValue();
    form->RecreateWnd();
    EXPECT_NE(form->HandleValue(), oldForm);
    EXPECT_EQ(browser->HandleValue(), control);   // the same control window, with its page
    EXPECT_EQ(GetParent(control), form->HandleValue());
    EXPECT_EQ(fake->activations, 1);
    EXPECT_EQ(fake->deactivations, 0);
    EXPECT_EQ(FindControl(control), browser);
    // Freed after a re-creation: the control goes with its window.
    TComPtr<IUnknown> keep = browser->OleObject();
    delete form;
    form = nullptr;
    EXPECT_FALSE(IsWindow(control));
    EXPECT_EQ(fake->site, nullptr);
}

}  // namespace
