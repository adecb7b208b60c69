#include "lectern/app/uVevIvaruvMain.h"

#include "lectern/app/uBrowserEvents.h"
#include "lectern/app/uBrowserRules.h"
#include "lectern/app/uMimeTypes.h"
#include "lectern/app/uStartup.h"
#include "lectern/app/uToolbarPictures.h"
#include "lectern/browser/PgbControlComponentWin.h"
#include "lectern/png/pngpicture.h"
#include "lectern/toolbar/PNCAUtils.h"
#include "lectern/lc/lcLog.h"

#include "classlib/Streams.h"
#include "classlib/Themes.h"
#include "lectern/app/ValidateWinpos.h"

#include "classlib/Platform.h"
#include "classlib/PlatformText.h"
#include "classlib/Threads.h"

#include <objbase.h>
#include <shellapi.h>
#include <ole2.h>

#include <algorithm>

namespace {

constexpr UINT WM_DEBUGLINES = WM_APP + 1;
constexpr int kNavNoReadFromCache = 4;
constexpr int kNavNoWriteToCache = 8;
constexpr int kLayoutLeft = 8;
constexpr int kLayoutTop = 8;
constexpr char kTradeMarkSign = '\x99';  // in the system code page
constexpr TColor kMenuTabColor = 0x1E5AC8;       // dark orange (colours are 0xBBGGRR)
constexpr TColor kMenuTabColorTo = 0x1448A0;
constexpr TColor kMenuTabFrameColor = 0x0C3070;
constexpr TColor kBackTabColor = 0xF0D8B0;
constexpr TColor kForwardTabColor = 0xF0D8B0;
constexpr TColor kPrintTabColor = 0xC8E8C8;
constexpr int kDummyWidth = 226;
constexpr int kDummyHeight = 105;
constexpr REGSAM kRegistryRead = 0x20019;
constexpr REGSAM kRegistryReadWrite = 0x2001F;

std::wstring FromSystem(const std::string& text) { return ToWide(text); }
std::string ToSystem(const std::wstring& text) { return FromWide(text); }
std::string ToSystem(const wchar_t* text) { return text != nullptr ? FromWide(text) : std::string(); }

// The text of a variant (a string, or a reference to one); "" for anything else.
std::string VariantText(const VARIANT& v)
{
    const VARIANT* p = &v;
    if (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p) != nullptr) {
        p = V_VARIANTREF(p);
    }
    if (V_VT(p) == VT_BSTR) {
        return ToSystem(V_BSTR(p));
    }
    if (V_VT(p) == (VT_BYREF | VT_BSTR) && V_BSTRREF(p) != nullptr) {
        return ToSystem(*V_BSTRREF(p));
    }
    return {};
}

VARIANT& VariantTarget(VARIANT& v)
{
    if (V_VT(&v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v) != nullptr) {
        return *V_VARIANTREF(&v);
    }
    return v;
}

int VariantInt(VARIANT& v)
{
    VARIANT& t = VariantTarget(v);
    switch (V_VT(&t)) {
    case VT_I4: return V_I4(&t);
    case VT_I2: return V_I2(&t);
    case VT_UI4: return static_cast<int>(V_UI4(&t));
    case VT_INT: return V_INT(&t);
    case VT_BYREF | VT_I4: return V_I4REF(&t) != nullptr ? *V_I4REF(&t) : 0;
    default: return 0;
    }
}

void SetVariantInt(VARIANT& v, int value)
{
    VARIANT& t = VariantTarget(v);
    if (V_VT(&t) == (VT_BYREF | VT_I4) && V_I4REF(&t) != nullptr) {
        *V_I4REF(&t) = value;
        return;
    }
    VariantClear(&t);
    V_VT(&t) = VT_I4;
    V_I4(&t) = value;
}

std::string GuidText()
{
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid))) {
        return {};
    }
    wchar_t text[40] = {};
    if (StringFromGUID2(guid, text, 40) != 39) {
        return {};
    }
    return FromWide(std::wstring(text + 1, 36));  // without the braces
}

DWORD WindowStyleOf(bool kiosk, bool sizeable)
{
    if (kiosk) {
        return WS_POPUP | WS_CLIPCHILDREN;
    }
    if (sizeable) {
        return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    }
    return WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;  // single border, no maximize
}

int ScreenPixelsPerInch()
{
    HDC dc = GetDC(nullptr);
    const int ppi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return ppi > 0 ? ppi : 96;
}

}  // namespace

std::string ReadRememberedPlacement()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPlacementKey, 0, kRegistryRead, &key) != ERROR_SUCCESS) {
        return {};
    }
    // Named with the whole path, also where the code page lacks some of its characters.
    const std::u16string name = plat::ExePathWide();
    DWORD type = 0;
    DWORD size = 0;
    std::u16string value;
    if (RegQueryValueExW(key, WideChars(name), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
        size > 0) {
        value.resize((size + 1) / sizeof(char16_t));
        if (RegQueryValueExW(key, WideChars(name), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
            ERROR_SUCCESS) {
            value.resize(std::min(value.size(), value.find(u'\0')));
        } else {
            value.clear();
        }
    }
    RegCloseKey(key);
    return plat::WideToSystem(value);  // the placement's digits and a password in the code page
}

// ---- construction -----------------------------------------------------------------------------

TFrmVevIvaruvMain::TFrmVevIvaruvMain(TComponent* owner) : TForm(owner)
{
    // 1. The layout: the components; loading OneInstance runs the single-instance check, first
    // of all, so that a second start hands over before anything else is set up. The guard is
    // the book's: the command line's choice of the book (no file is read) comes before it.
    CreateComponents();
    const TBookChoice choice = ChooseBookFromCommandLine();
    if (choice.ParamsUsed > 0) {
        OneInstance->Book = choice.BookPath;
    }
    LoadComponent(OneInstance);
    if (OneInstance->HandedOver()) {
        FCanRun = false;  // the running instance shows the parameters; this one ends
        return;
    }

    // 2. - 3.
    TRegistryMimeTypeSource registry;
    FMimeTypes = BuildMimeTypeList(registry);
    Toolbar->SetShowHint(false);
    FCanRun = true;

    // 4. - 5. The chosen book, from its folder (the executable's for an appended book).
    FParamsUsed = choice.ParamsUsed;
    FBaseDir = choice.BaseDir;
    FBook = std::make_unique<TLBLzhArchive>(choice.BookPath);
    FCanRun = FBook->Valid();
    if (FCanRun) {
        ApplyBookSettings(FBook->BookSettings());
        FTopicMap = &FBook->TopicMap();
    } else {
        FExitStatus = kExitInvalidBook;
        MessageBoxA(nullptr, "Invalid data", Application->Title().c_str(), MB_OK | MB_ICONERROR);
    }

    // 6. - 7.
    if (FCanRun) {
        StartServer();
    }
    if (FCanRun) {
        BuildUrlPrefix();
    }
    // The rest of the layout's loading, once the settings shaped the components (the toolbar
    // attaches with its final buttons): every component with a load step. The page view
    // first: the first browser loaded watches the form for the browser's dialogs, with its
    // own dialog settings (DisableAll).
    LoadComponent(WebBrowser);
    LoadComponents(this);
    HandleNeeded();
    FNotifyWindow = HandleValue();
    ShowDebugLines();
    try {
        WebBrowser->SetRegisterAsDropTarget(false);
    } catch (...) {
        // No control: nothing to drop on either.
    }
}

TFrmVevIvaruvMain::~TFrmVevIvaruvMain()
{
    if (Application != nullptr && Application->OnMessage == TMessageEvent(this, &TFrmVevIvaruvMain::ApplicationEventsMessage)) {
        Application->OnMessage = {};
    }
    FNotifyWindow = nullptr;
    if (WebBrowser != nullptr) {
        try {
            WebBrowser->Stop();
        } catch (...) {
            // A browser that never loaded anything has nothing to stop.
        }
    }
    // Then the server: it stops listening and waits for the request handlers, which read the
    // book and the MIME table.
    FServer.reset();
    FBook.reset();
    FMimeTypes.reset();
    if (FFont != nullptr) {
        DeleteObject(FFont);
    }
}

void TFrmVevIvaruvMain::CreateComponents()
{
    SetName("FrmVevIvaruvMain");
    SetBounds(kLayoutLeft, kLayoutTop, kLayoutClientWidth, kLayoutClientHeight);
    OnClose = TCloseEvent(this, &TFrmVevIvaruvMain::FormClose);
    FFont = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");

    meDebug = new TMemo(this);
    meDebug->SetName("meDebug");
    meDebug->SetParent(this);
    meDebug->SetAlign(TAlign::alBottom);
    meDebug->SetHeight(kDebugPaneHeight);
    meDebug->SetVisible(false);
    meDebug->SetFont(FFont);

    // The hidden second browser catches the pages' requests for new windows.
    Dummy = new TPageBrowser(this);
    Dummy->SetName("Dummy");
    Dummy->SetParent(this);
    Dummy->SetBounds(kLayoutClientWidth - kDummyWidth, 0, kDummyWidth, kDummyHeight);
    Dummy->SetVisible(false);
    SetUpBrowser(Dummy);
    Dummy->OnBeforeNavigate2 = TWebBrowserBeforeNavigate2(this, &TFrmVevIvaruvMain::DummyBeforeNavigate2);
    Dummy->OnNewWindow2 = TWebBrowserNewWindow2(this, &TFrmVevIvaruvMain::DummyNewWindow2);

    WebBrowser = new TPageBrowser(this);
    WebBrowser->SetName("WebBrowser");
    WebBrowser->SetParent(this);
    WebBrowser->SetAlign(TAlign::alClient);
    SetUpBrowser(WebBrowser);
    WebBrowser->DialogBoxes().DisableAll = true;
    WebBrowser->OnCommandStateChange =
        TWebBrowserCommandStateChange(this, &TFrmVevIvaruvMain::WebBrowserCommandStateChange);
    WebBrowser->OnTitleChange = TWebBrowserTextEvent(this, &TFrmVevIvaruvMain::WebBrowserTitleChange);
    WebBrowser->OnBeforeNavigate2 = TWebBrowserBeforeNavigate2(this, &TFrmVevIvaruvMain::WebBrowserBeforeNavigate2);
    WebBrowser->OnNewWindow2 = TWebBrowserNewWindow2(this, &TFrmVevIvaruvMain::WebBrowserNewWindow2);
    WebBrowser->OnNewWindow3 = TWebBrowserNewWindow3(this, &TFrmVevIvaruvMain::WebBrowserNewWindow3);
    WebBrowser->OnOnFrameWindowActivate =
        TBoolNotifyEvent(this, &TFrmVevIvaruvMain::WebBrowserOnFrameWindowActivate);

    OneInstance = new TOneInstance(this);
    OneInstance->SetName("OneInstance");
    OneInstance->OnInstanceStarted = TOnInstanceStarted(this, &TFrmVevIvaruvMain::OneInstanceStarted);

    ContextMenu = new TPopupMenu(this);
    ContextMenu->SetName("ContextMenu");
    WebBrowser->SetPopupMenu(ContextMenu);

    Application->OnMessage = TMessageEvent(this, &TFrmVevIvaruvMain::ApplicationEventsMessage);

    MainMenu = new TPopupMenu(this);
    MainMenu->SetName("MainMenu");

    ActionList = new TActionList(this);
    ActionList->SetName("ActionList");
    actHome = NewAction("actHome", vcHome, "&Home", ":home");
    actBack = NewAction("actBack", vcBack, "&Back", ":back");
    actForward = NewAction("actForward", vcForward, "&Forward", ":forward");
    actSelectAll = NewAction("actSelectAll", vcSelectAll, "Select &All", ":selectall");
    actCopy = NewAction("actCopy", vcCopy, "&Copy", ":copy");
    actPrint = NewAction("actPrint", vcPrint, "&Print", ":print");
    actExit = NewAction("actExit", vcExit, "E&xit", ":exit");  // Alt+F4: the window's own close

    // The toolbar comes before the action list in the layout; its buttons link to the actions,
    // so it is made once they exist.
    CreateToolbar();

    FServer = std::make_unique<TPageHttpServer>(*this);
    FDebugLines.OnChange = TEvent<TObject*>(this, &TFrmVevIvaruvMain::DebugLinesChanged);
}

void TFrmVevIvaruvMain::SetUpBrowser(TPageBrowser* browser)
{
    browser->SetDisableCtrlShortcuts("N");
    browser->SetUserInterfaceOptions(
        {TUserInterfaceOption::EnablesFormsAutoComplete, TUserInterfaceOption::EnableThemes});
    TPrintOptions& print = browser->PrintOptions();
    print.Header = "&w&bPage &p of &P";
    print.Footer = "&u&b&d";
    print.Orientation = TPrintOrientation::poPortrait;
}

void TFrmVevIvaruvMain::CreateToolbar()
{
    Toolbar = new TPNCAToolbar(this);
    Toolbar->SetName("Toolbar");
    Toolbar->BeginLoading();
    Toolbar->SetShowCaption(pscpAfterButtons);
    Toolbar->SetShowHint(true);
    Toolbar->OnDrawButton = TPNCAButtonDrawEvent(this, &TFrmVevIvaruvMain::ToolbarDrawButton);

    auto picture = [](const char* name) {
        auto pic = std::make_unique<TPicture>();
        TMemoryStream stream;
        const std::string data = ToolbarPictureData(name);
        stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
        stream.SetPosition(0);
        pic->LoadFromStream(stream, "PNG");
        return pic;
    };

    TPNCAButton* menu = Toolbar->Buttons()->Add();
    menu->SetCaption(std::string("Pagewisp") + kTradeMarkSign);
    menu->SetHint("Application menu button");
    menu->SetDropDownMenu(MainMenu);
    menu->SetStyle(pbsTab);
    menu->SetStyleTabRounded(true);
    menu->SetStyleTabColorAt(0, kMenuTabColor);
    menu->SetStyleTabColorAt(1, kMenuTabColorTo);
    menu->SetStyleTabColorAt(2, kMenuTabFrameColor);
    menu->SetPictureAt(ppPicture, picture("AppMenu").get());
    menu->SetPictureAt(ppPictureHovered, picture("AppMenuHovered").get());

    TPNCAButton* spacer = Toolbar->Buttons()->Add();
    spacer->SetCaption(" ");
    spacer->SetButtonWidth(20);

    struct TCommandButton {
        TAction* Action;
        int Tag;
        const char* Picture;
        bool Disabled;
        bool ShowCaption;
        TColor Tab;
    };
    const TCommandButton commands[] = {
        {actBack, vcBack, "Back", true, false, kBackTabColor},
        {actForward, vcForward, "Forward", true, false, kForwardTabColor},
        {actPrint, vcPrint, "Print", false, true, kPrintTabColor},
    };
    for (const TCommandButton& c : commands) {
        TPNCAButton* button = Toolbar->Buttons()->Add();
        button->SetAction(c.Action);
        button->SetTag(c.Tag);
        const std::string name = c.Picture;
        button->SetPictureAt(ppPicture, picture(name.c_str()).get());
        button->SetPictureAt(ppPictureHovered, picture((name + "Hovered").c_str()).get());
        if (c.Disabled) {
            button->SetPictureAt(ppPictureDisabled, picture((name + "Disabled").c_str()).get());
        }
        button->SetCaptionAlignment(taRightJustify);
        button->SetPadding(3);
        button->SetStyleTabColorAt(0, c.Tab);
        button->SetStyleTabColorAt(2, c.Tab);
        button->SetShowCaption(c.ShowCaption);
    }
    // Loaded (which attaches the toolbar to the form) follows once the settings are applied.
}

TAction* TFrmVevIvaruvMain::NewAction(const char* name, int tag, const char* caption, const char* hint)
{
    auto* action = new TAction(this);
    action->SetName(name);
    action->SetTag(tag);
    action->SetCaption(caption);
    action->SetHint(hint);
    action->SetOnExecute(TNotifyEvent(this, &TFrmVevIvaruvMain::pncaToolbarButtonsClick));
    ActionList->Add(action);
    return action;
}

TBookChoice TFrmVevIvaruvMain::ChooseBookFromCommandLine()
{
    // The book's path whole, as the command line has it; the pages and topics after it are
    // names of the book, in the code page.
    const std::vector<std::u16string> params = CommandLineParams();
    FParams.clear();
    for (const std::u16string& p : params) {
        FParams.push_back(plat::WideToSystem(p));
    }
    return ChooseBook(params, plat::ExePathWide(), [](const std::u16string& p) { return plat::FileExists(p); });
}

void TFrmVevIvaruvMain::ApplyBookSettings(const TStringList& settings)
{
    FSettings = ReadBookSettings(settings);
    FPasswordMemory.clear();
    if (!ApplyWindowSettings()) {
        FCanRun = false;  // the password was refused: the window never shows, nothing more applies
        FExitStatus = kExitPasswordRefused;
        return;
    }
    ApplyMenuSettings();
    ApplyPermissions();
    if (FSettings.Debug) {
        meDebug->SetVisible(true);
    }
}

bool TFrmVevIvaruvMain::ApplyWindowSettings()
{
    const TBookSettings& s = FSettings;

    // The window's outer size for the layout's client area.
    RECT frame{0, 0, kLayoutClientWidth, kLayoutClientHeight};
    AdjustWindowRectEx(&frame, WindowStyleOf(false, true), FALSE, 0);
    const int formWidth = frame.right - frame.left;
    const int formHeight = frame.bottom - frame.top;

    if (s.KioskMode) {
        FStartMaximized = true;
        SetFormStyle(TFormStyle::fsStayOnTop);
        return true;
    }
    std::string placement;
    if (s.SaveRegistry) {
        placement = ReadRememberedPlacement();
        FPasswordMemory = PlacementPassword(placement);
    }
    Application->SetTitle(s.Title);
    SetCaption(Application->Title());
    if (FFont != nullptr) {
        DeleteObject(FFont);
    }
    FFont = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<BYTE>(s.Charset),
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
    meDebug->SetFont(FFont);

    const bool allowed = AskBookPassword(s.UserPassword, FPasswordMemory, [&](std::string& text) {
        return PasswordDialog(Application->Title(), s.UserPasswordPrompt, text, nullptr);
    });
    if (!allowed) {
        return false;
    }

    const int ppi = ScreenPixelsPerInch();
    const int w = ScaledWindowExtent(s.DefaultWidth, formWidth, ppi, Screen->Width());
    const int h = ScaledWindowExtent(s.DefaultHeight, formHeight, ppi, Screen->Height());
    const TWindowBounds b =
        StartBounds(placement, {Left(), Top(), w, h}, s.Centered, Screen->Width(), Screen->Height());
    SetBounds(b.Left, b.Top, b.Width, b.Height);
    if (StartsMaximized(s.Maximized, placement)) {
        FStartMaximized = true;
    } else {
        CheckWindowPosition(*this, false, s.Sizeable);
    }
    return true;
}

void TFrmVevIvaruvMain::ApplyMenuSettings()
{
    const TBookSettings& s = FSettings;
    // Without a main menu (or in kiosk mode) the window has no caption-bar toolbar.
    if (s.KioskMode || !s.HasMainMenu) {
        delete Toolbar;
        Toolbar = nullptr;
    } else {
        if (s.MainMenuCaption) {
            Toolbar->Buttons()->Items(kAppMenuButton)->SetCaption(*s.MainMenuCaption);
        }
        AddMenuItems(MainMenu, s.MainMenuLines);
    }
    if (s.HasContextMenu) {
        AddMenuItems(ContextMenu, s.ContextMenuLines);
    }
    if (Toolbar != nullptr) {
        const bool singleBorder = !s.KioskMode && !s.Sizeable;
        for (int i = kSpacerButton; i < Toolbar->Buttons()->Count(); ++i) {
            TPNCAButton* button = Toolbar->Buttons()->Items(i);
            if (singleBorder) {
                button->SetOffsetY(3);
            }
            button->SetShowCaption(s.ShowCaptions);
        }
    }
}

void TFrmVevIvaruvMain::ApplyPermissions()
{
    actCopy->SetEnabled(FSettings.UserCopy);
    actPrint->SetEnabled(FSettings.UserPrint);
    if (Toolbar != nullptr) {
        Toolbar->Buttons()->Items(kPrintButton)->SetVisible(FSettings.UserPrint);
    }
}

void TFrmVevIvaruvMain::AddMenuItems(TPopupMenu* menu, const std::vector<std::string>& lines)
{
    const std::vector<TMenuNode> plan = PlanMenu(lines);
    std::vector<TBookMenuItem*> items;
    for (const TMenuNode& node : plan) {
        const TMenuLine& line = node.Line;
        TAction* action = nullptr;
        if (line.Type == mltAction) {
            for (int i = 0; i < ActionList->ActionCount() && action == nullptr; ++i) {
                auto* candidate = dynamic_cast<TAction*>(ActionList->Actions(i));
                if (candidate != nullptr && candidate->Hint() == line.Target) {
                    action = candidate;
                }
            }
        }
        auto* item = new TBookMenuItem(menu);
        if (node.Parent < 0) {
            menu->Items()->Add(item);
        } else {
            items[static_cast<size_t>(node.Parent)]->Add(item);
        }
        items.push_back(item);
        item->SetCaption(line.Caption);
        if (action != nullptr) {
            action->SetCaption(line.Caption);
            item->SetAction(action);
        }
        if (line.Type == mltSubmenu) {
            item->SetTag(line.Level);
        } else if (action == nullptr) {
            item->SetTag(line.Type);
            item->Hint = line.Target;
            item->OnClick = TNotifyEvent(this, &TFrmVevIvaruvMain::GenericMenuItemClick);
        }
    }
}

void TFrmVevIvaruvMain::StartServer()
{
    FServerPort = FServer->ListenOnFirstFreePort(kFirstServerPort, kLastServerPort);
    if (FServerPort == 0) {
        FCanRun = false;
        FExitStatus = kExitNoServerPort;
        // Every port in use says no more; any other failure adds its cause.
        std::string text = "Unable to activate data server";
        if (!FServer->StartError().empty()) {
            text += "\n\n" + FServer->StartError();
        }
        MessageBoxA(nullptr, text.c_str(), Application->Title().c_str(), MB_OK | MB_ICONERROR);
    }
}

void TFrmVevIvaruvMain::BuildUrlPrefix() { FUrlPrefix = ::UrlPrefix(FSettings.ProducerID, GuidText()); }

void TFrmVevIvaruvMain::CreateParams(TCreateParams& params)
{
    TForm::CreateParams(params);
    params.Style = WindowStyleOf(FSettings.KioskMode, FSettings.Sizeable) | (params.Style & WS_VISIBLE);
    if (FSettings.KioskMode) {
        params.ExStyle |= WS_EX_TOPMOST;
    }
}

// ---- showing and closing ----------------------------------------------------------------------

void TFrmVevIvaruvMain::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_DEBUGLINES:
        FDebugPosted = false;
        ShowDebugLines();
        return;
    case WM_SHOWWINDOW:
        TForm::WndProc(message);
        if (message.WParam != 0 && !FShown) {
            FShown = true;
            if (FStartMaximized) {
                PostMessageW(HandleValue(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
            }
            FormShow();
        }
        return;
    default:
        TForm::WndProc(message);
    }
}

void TFrmVevIvaruvMain::FormShow()
{
    try {
        if (FSettings.Commandline && static_cast<size_t>(FParamsUsed) < FParams.size()) {
            OpenTopic(FirstPageParam(FParams, FParamsUsed, FSettings.Commandline));
        } else {
            NavigateToPage("");
        }
    } catch (...) {
        // The window stays empty; the log says why.
        LogCurrentException("TFrmVevIvaruvMain.FormShow", "ERROR");
    }
}

void TFrmVevIvaruvMain::FormClose(TObject*, TCloseAction& action)
{
    if (SavesPlacement()) {
        try {
            SavePlacement();
        } catch (...) {
            // Nothing is saved.
        }
    }
    action = TCloseAction::caFree;
}

void TFrmVevIvaruvMain::SavePlacement()
{
    if (!HandleAllocated()) {
        return;
    }
    // The restored bounds, also of a maximized window, in screen coordinates (the placement's
    // are relative to the work area of the window's monitor).
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(HandleValue(), &wp)) {
        return;
    }
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT r = wp.rcNormalPosition;
    if (GetMonitorInfoA(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info)) {
        OffsetRect(&r, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
    }
    const std::string text = PlacementToSave({r.left, r.top, r.right - r.left, r.bottom - r.top},
                                             IsZoomed(HandleValue()) != FALSE, ReadRememberedPlacement());
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPlacementKey, 0, nullptr, 0, kRegistryReadWrite, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const std::u16string name = plat::ExePathWide();
    const std::u16string value = plat::SystemToWide(text);
    RegSetValueExW(key, WideChars(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
}

// ---- navigation -------------------------------------------------------------------------------

void TFrmVevIvaruvMain::OneInstanceStarted(TObject*, TStringList* params)
{
    if (params != nullptr && params->Count() > 0) {
        OpenTopic((*params)[0]);
    }
}

void TFrmVevIvaruvMain::OpenTopic(const std::string& s)
{
    static const TStringList kNoTopics;
    NavigateToPage(ResolveTopic(s, FTopicMap != nullptr ? *FTopicMap : kNoTopics));
}

void TFrmVevIvaruvMain::NavigateToPage(const std::string& page)
{
    const std::string index = FBook != nullptr ? FBook->BookSettings().Values("INDEX") : std::string();
    Navigate(StartPageAddress(page, index, BaseUrl()), kNavNoReadFromCache | kNavNoWriteToCache);
}

std::string TFrmVevIvaruvMain::BaseUrl() const
{
    return ::BaseUrl("127.0.0.1", std::to_string(FServerPort), FUrlPrefix);
}

void TFrmVevIvaruvMain::NavigateMain(const std::string& url) { Navigate(url, 0); }

void TFrmVevIvaruvMain::NavigateOwn(const std::string& url)
{
    // The book's whatever page shows: what the trust rule decides for it is done here, not
    // judged by the page the browser would report the navigation from. (The start page and
    // topics need no such care: they go under the base address or to the web, which every
    // page may load.)
    TNavigationSource own;
    own.Viewer = true;
    if (!CarryOutside(DecideNavigation(url, BaseUrl(), own, FSettings.OpenExternal), url)) {
        NavigateMain(url);  // the page view's before-navigate handler then applies
    }
}

void TFrmVevIvaruvMain::Navigate(const std::string& address, int flags)
{
    if (flags == 0) {
        WebBrowser->Navigate(FromSystem(address));
    } else {
        WebBrowser->NavigateFlags(FromSystem(address), TOleVariant(flags));
    }
}

// ---- browser events ---------------------------------------------------------------------------

HWND TFrmVevIvaruvMain::PageViewWindow() { return WebBrowser->HandleAllocated() ? WebBrowser->HandleValue() : nullptr; }

void TFrmVevIvaruvMain::ShellOpen(const std::string& target)
{
    ShellExecuteA(Application->Handle(), "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TFrmVevIvaruvMain::ExecuteFile(const std::string& link)
{
    // The file and its parameters come from the book in the code page; the folder is the
    // book's whole path.
    const TFileRun run = SplitFileLink(link);
    const std::wstring file = ToWide(run.File);
    const std::wstring params = ToWide(run.Params);
    ShellExecuteW(Application->Handle(), L"open", file.c_str(), params.empty() ? nullptr : params.c_str(),
                  WideChars(FBaseDir), SW_SHOWNORMAL);
}

bool TFrmVevIvaruvMain::CarryOutside(TNavigationAction action, const std::string& url)
{
    switch (action) {
    case TNavigationAction::Execute:
        Debug("Execute file: " + url);
        ExecuteFile(url);
        return true;
    case TNavigationAction::OpenExternal:
        Debug("Open external window: " + url);
        ShellOpen(url);
        return true;
    case TNavigationAction::Refuse:
        Debug("Refused (not from a page of the book): " + url);
        return true;
    default:
        return false;
    }
}

void TFrmVevIvaruvMain::WebBrowserBeforeNavigate2(TObject* sender, IDispatch* pDisp, VARIANT& URL, VARIANT& Flags,
                                                  VARIANT& TargetFrameName, VARIANT&, VARIANT&, bool& Cancel)
{
    const std::string url = VariantText(URL);
    // Trust comes from the page of the frame that navigates, not from the top page (the
    // viewer's own menu addresses are decided before they reach the browser, NavigateOwn).
    const TNavigationSource source = NavigationSource(pDisp, *WebBrowser, FPageBehindBlank);
    const TNavigationAction action = DecideNavigation(url, BaseUrl(), source, FSettings.OpenExternal);
    if (action == TNavigationAction::LeaveAlone) {
        if (source.TopFrame && !IsNoPage(source.Document)) {
            FPageBehindBlank = source.Document;  // the page view leaves this page for about:blank
        }
        return;
    }
    if (CarryOutside(action, url)) {
        Cancel = true;
        return;
    }
    if (FSettings.Debug) {
        const std::string frame = VariantText(TargetFrameName);
        Debug("Load page: " + url + (frame.empty() ? std::string() : " -> Frame: " + frame));
        Debug("  Flags = " + std::to_string(VariantInt(Flags)));
        IDispatch* application = nullptr;
        if (FAILED(WebBrowser->BrowserIntf()->get_Application(&application))) {
            application = nullptr;
        }
        Debug("  Webbrowser.Application = " + std::to_string(reinterpret_cast<uintptr_t>(application)));
        if (application != nullptr) {
            application->Release();
        }
        Debug(std::string("  Sender: ") + sender->ClassName() + " #" + std::to_string(reinterpret_cast<uintptr_t>(sender)) +
              ", pDisp = " + std::to_string(reinterpret_cast<uintptr_t>(pDisp)));
    }
    SetVariantInt(Flags, VariantInt(Flags) | kNavNoReadFromCache | kNavNoWriteToCache);
}

void TFrmVevIvaruvMain::WebBrowserNewWindow2(TObject*, IDispatch*& ppDisp, bool& Cancel)
{
    Debug("Newwindow2 ignored -> display in main window");
    HandNewWindowTo(*Dummy, ppDisp);
    Cancel = false;
}

void TFrmVevIvaruvMain::WebBrowserNewWindow3(TObject*, IDispatch*&, bool& Cancel, uint32_t,
                                             const std::wstring& bstrUrlContext, const std::wstring& bstrUrl)
{
    const std::string url = ToSystem(bstrUrl);
    Debug("Newwindow3, bstrUrlContext = " + ToSystem(bstrUrlContext) + " bstrUrl = " + url);
    switch (DecideNewWindow(url, BaseUrl(), ToSystem(bstrUrlContext))) {
    case TNavigationAction::OpenExternal:
        Debug("Open external window: " + url);
        ShellOpen(url);
        Cancel = true;
        break;
    case TNavigationAction::Refuse:
        Debug("Refused (not from a page of the book): " + url);
        Cancel = true;
        break;
    default:
        break;
    }
}

void TFrmVevIvaruvMain::DummyBeforeNavigate2(TObject*, IDispatch*, VARIANT& URL, VARIANT&, VARIANT&, VARIANT&,
                                             VARIANT&, bool& Cancel)
{
    NavigateMain(VariantText(URL));
    Cancel = true;
}

void TFrmVevIvaruvMain::DummyNewWindow2(TObject*, IDispatch*&, bool& Cancel) { Cancel = true; }

void TFrmVevIvaruvMain::WebBrowserCommandStateChange(TObject*, int Command, bool Enable)
{
    if (Command == CSC_NAVIGATEFORWARD) {
        actForward->SetEnabled(Enable);
    } else if (Command == CSC_NAVIGATEBACK) {
        actBack->SetEnabled(Enable);
    }
}

void TFrmVevIvaruvMain::WebBrowserTitleChange(TObject*, const std::wstring& Text)
{
    const std::string title = ToSystem(Text);
    if (TakesPageTitle(FSettings.DisplayPageTitle, title)) {
        SetCaption(title);
    }
}

void TFrmVevIvaruvMain::WebBrowserOnFrameWindowActivate(TObject* sender, bool)
{
    Debug("WebBrowserOnFrameWindowActivate, sender = " + std::to_string(reinterpret_cast<uintptr_t>(sender)));
}

void TFrmVevIvaruvMain::ToolbarDrawButton(TObject*, TPNCAButton* button, TCanvas* canvas, const TRect& btnRect,
                                          const TRect&)
{
    if (Toolbar == nullptr || button != TPNCAToolbar::FirstButton(Toolbar)) {
        return;
    }
    TRect r = btnRect;
    r.Right -= 14;
    r.Bottom -= Toolbar->SmallButtons() ? 5 : 4;
    canvas->Font().SetColor(clWhite);
    constexpr unsigned kFormat = DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_CENTER;
    if (Toolbar->CompositionActive()) {
        DrawGlowText(canvas, button->Caption(), r, kFormat, clWhite, 24, false);
    } else {
        RECT rr{r.Left, r.Top, r.Right, r.Bottom};
        SetTextColor(canvas->Handle(), RGB(255, 255, 255));
        SetBkMode(canvas->Handle(), TRANSPARENT);
        const std::wstring text = ToWide(button->Caption());
        DrawTextW(canvas->Handle(), text.c_str(), -1, &rr, kFormat);
    }
}

void TFrmVevIvaruvMain::RunCommand(int tag)
{
    TOleVariant none;
    switch (tag) {
    case vcBack:
        WebBrowser->GoBack();
        break;
    case vcForward:
        WebBrowser->GoForward();
        break;
    case vcPrint:
        WebBrowser->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_PROMPTUSER, none);
        break;
    case vcCopy:
        WebBrowser->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DODEFAULT, none);
        break;
    case vcSelectAll:
        WebBrowser->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DODEFAULT, none);
        break;
    case vcExit:
        PostMessageW(HandleValue(), WM_CLOSE, 0, 0);
        break;
    case vcHome:
        NavigateToPage("");
        break;
    default:
        break;
    }
}

// ---- messages ---------------------------------------------------------------------------------

void TFrmVevIvaruvMain::ApplicationEventsMessage(MSG& msg, bool& handled)
{
    TInput input;
    switch (msg.message) {
    case WM_KEYDOWN:
        input.Kind = TInputKind::KeyDown;
        break;
    case WM_SYSKEYDOWN:
        input.Kind = TInputKind::SysKeyDown;
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        input.Kind = TInputKind::RightButton;
        break;
    default:
        return;
    }
    input.Key = static_cast<int>(msg.wParam);
    input.Control = GetKeyState(VK_CONTROL) < 0;
    input.Shift = GetKeyState(VK_SHIFT) < 0;
    HWND page = PageViewWindow();
    input.InPageView = page != nullptr && msg.hwnd != nullptr && IsChild(page, msg.hwnd);
    switch (DecideInput(input, {FSettings.UserCopy, FSettings.UserPrint, !FSettings.HasContextMenu})) {
    case TInputAction::PassOn:
        break;
    case TInputAction::Swallow:
        handled = true;
        break;
    case TInputAction::PopupContextMenu: {
        POINT at{};
        GetCursorPos(&at);
        if (input.Kind != TInputKind::RightButton) {
            // From the keyboard: at the page view's top-left corner when the cursor is elsewhere.
            RECT r{};
            GetWindowRect(page, &r);
            if (!PtInRect(&r, at)) {
                at = {r.left + 8, r.top + 8};
            }
        }
        ContextMenu->Popup(at.x, at.y);
        handled = true;
        break;
    }
    }
}

void TFrmVevIvaruvMain::pncaToolbarButtonsClick(TObject* sender)
{
    try {
        int tag = 0;
        if (auto* action = dynamic_cast<TBasicAction*>(sender)) {
            tag = action->Tag();
        } else if (auto* button = dynamic_cast<TPNCAButton*>(sender)) {
            tag = button->Tag();
        } else if (auto* item = dynamic_cast<TMenuItem*>(sender)) {
            tag = item->Tag();
        }
        RunCommand(tag);
    } catch (...) {
        // A command with nothing to act on (a print with no document) does nothing; the log
        // says what failed.
        LogCurrentException("TFrmVevIvaruvMain.pncaToolbarButtonsClick", "ERROR");
    }
}

void TFrmVevIvaruvMain::GenericMenuItemClick(TObject* sender)
{
    auto* item = dynamic_cast<TBookMenuItem*>(sender);
    if (item == nullptr) {
        return;
    }
    switch (item->Tag()) {
    case mltPage:
        NavigateToPage(item->Hint);
        break;
    case mltAddress:
        NavigateOwn(item->Hint);
        break;
    case mltFile:
        ExecuteFile(item->Hint);
        break;
    default:
        break;
    }
}

// ---- the debug pane ---------------------------------------------------------------------------

TDateTime TFrmVevIvaruvMain::UtcNow() { return NowUtc(); }

void TFrmVevIvaruvMain::Debug(const std::string& line)
{
    if (FSettings.Debug) {
        FDebugLines.Add(line);
    }
}

void TFrmVevIvaruvMain::DebugServed(const std::string& path)
{
    if (FSettings.Debug) {
        FDebugLines.AddServed(path);
    }
}

void TFrmVevIvaruvMain::DebugLinesChanged(TObject*)
{
    // Any thread: one notice at a time is enough, the pane then takes every line.
    HWND window = FNotifyWindow;
    if (window != nullptr && !FDebugPosted.exchange(true)) {
        PostMessageW(window, WM_DEBUGLINES, 0, 0);
    }
}

void TFrmVevIvaruvMain::ShowDebugLines()
{
    if (FSettings.Debug) {
        meDebug->SetLines(FDebugLines.Lines());
    }
}

// ---- the program ------------------------------------------------------------------------------

namespace {

// The units under the page server, started and ended in the program's order.
struct TProgramUnits {
    TProgramUnits()
    {
        OleInitialize(nullptr);
        PngPictureInitialize();
        PgbControlComponentInit();
        InitializeServerUnits();
        FormsInit();
        PageBrowserInit();
    }
    ~TProgramUnits()
    {
        PageBrowserDone();
        FormsDone();
        FinalizeServerUnits();
        ReapEndedThreads();
        PgbControlComponentDone();
        ThemesDone();
        PngPictureFinalize();
        OleUninitialize();
    }
};

}  // namespace

int RunLectern()
{
    TProgramUnits units;
    Application->SetTitle("LB Ebook");
    try {
        auto* form = Application->CreateForm<TFrmVevIvaruvMain>();
        if (!form->CanRun()) {
            return form->ExitStatus();
        }
        Application->Run();  // the form is freed when it closes
    } catch (const std::exception& e) {
        // Start-up failed outside the cases it reports itself (no window could be made).
        MessageBoxA(nullptr, e.what(), Application->Title().c_str(), MB_OK | MB_ICONERROR);
        return kExitStartFailed;
    }
    return 0;
}
