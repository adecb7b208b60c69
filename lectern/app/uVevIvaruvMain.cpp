#include "lectern/app/uVevIvaruvMain.h"

#ifdef _WIN32

#include "lectern/app/uMimeTypes.h"
#include "lectern/app/uStartup.h"
#include "lectern/app/ValidateWinpos.h"
#include "lectern/lc/lcAsyncSelect.h"
#include "lectern/lc/lcHWndPool.h"
#include "lectern/lc/lcSockApiWin.h"
#include "lectern/lc/lcSocketPool.h"
#include "lectern/lc/lcWinSock.h"

#include "classlib/Platform.h"
#include "classlib/Threads.h"

#include <objbase.h>
#include <ole2.h>

namespace {

constexpr UINT WM_DEBUGLINES = WM_APP + 1;
constexpr int kNavNoReadFromCache = 4;
constexpr int kNavNoWriteToCache = 8;
constexpr int kLayoutLeft = 8;
constexpr int kLayoutTop = 8;
constexpr REGSAM kRegistryRead = 0x20019;
constexpr REGSAM kRegistryReadWrite = 0x2001F;

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
    const std::string name = plat::ExePath();
    DWORD type = 0;
    DWORD size = 0;
    std::string value;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_SZ &&
        size > 0) {
        value.resize(size);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) ==
            ERROR_SUCCESS) {
            value.resize(strnlen(value.data(), size));
        } else {
            value.clear();
        }
    }
    RegCloseKey(key);
    return value;
}

// ---- construction -----------------------------------------------------------------------------

TFrmVevIvaruvMain::TFrmVevIvaruvMain(TComponent* owner) : TForm(owner)
{
    // 1. The layout: the components; loading OneInstance runs the single-instance check.
    CreateComponents();
    OneInstance->Loaded();
    if (OneInstance->HandedOver()) {
        FCanRun = false;  // the running instance shows the parameters; this one ends
        return;
    }

    // 2. - 3.
    TRegistryMimeTypeSource registry;
    FMimeTypes = BuildMimeTypeList(registry);
    FDebug = false;
    FParamsUsed = 0;
    FBaseDir = ExtractFileDir(plat::ExePath());
    FCanRun = true;

    // 4. - 5.
    ChooseAndOpenBook();
    FCanRun = FBook->Valid();
    if (FCanRun) {
        ApplyBookSettings(FBook->BookSettings());
        FTopicMap = &FBook->TopicMap();
    } else {
        MessageBoxA(nullptr, "Invalid data", Application->Title().c_str(), MB_OK | MB_ICONERROR);
    }

    // 6. - 7.
    if (FCanRun) {
        StartServer();
    }
    if (FCanRun) {
        BuildUrlPrefix();
    }
    HandleNeeded();
    FNotifyWindow = HandleValue();
    ShowDebugLines();
}

TFrmVevIvaruvMain::~TFrmVevIvaruvMain()
{
    if (Application != nullptr && Application->OnMessage == TMessageEvent(this, &TFrmVevIvaruvMain::ApplicationEventsMessage)) {
        Application->OnMessage = {};
    }
    FNotifyWindow = nullptr;
    // The server first: it stops listening and waits for the request handlers, which read the
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

    OneInstance = new TOneInstance(this);
    OneInstance->SetName("OneInstance");
    OneInstance->OnInstanceStarted = TOnInstanceStarted(this, &TFrmVevIvaruvMain::OneInstanceStarted);

    Application->OnMessage = TMessageEvent(this, &TFrmVevIvaruvMain::ApplicationEventsMessage);

    FServer = std::make_unique<TPageHttpServer>(*this);
    FDebugLines.OnChange = TEvent<TObject*>(this, &TFrmVevIvaruvMain::DebugLinesChanged);
}

void TFrmVevIvaruvMain::ChooseAndOpenBook()
{
    FParams = CommandLineParams();
    const TBookChoice choice =
        ChooseBook(FParams, plat::ExePath(), [](const std::string& p) { return plat::FileExists(p); });
    FParamsUsed = choice.ParamsUsed;
    if (choice.ParamsUsed > 0) {
        FBaseDir = choice.BaseDir;
    }
    FBook = std::make_unique<TLBLzhArchive>(choice.BookPath);
}

void TFrmVevIvaruvMain::ApplyBookSettings(const TStringList& settings)
{
    FSettings = ReadBookSettings(settings);
    const TBookSettings& s = FSettings;
    FProducerID = s.ProducerID;
    FPasswordMemory.clear();
    FKioskMode = s.KioskMode;

    // The window's outer size for the layout's client area.
    FSizeable = s.Sizeable;
    RECT frame{0, 0, kLayoutClientWidth, kLayoutClientHeight};
    AdjustWindowRectEx(&frame, WindowStyleOf(false, true), FALSE, 0);
    const int formWidth = frame.right - frame.left;
    const int formHeight = frame.bottom - frame.top;

    if (!FKioskMode) {
        FSaveRegistry = s.SaveRegistry;
        std::string placement;
        if (FSaveRegistry) {
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
            FCanRun = false;
            return;
        }

        const int ppi = ScreenPixelsPerInch();
        const int w = ScaledWindowExtent(s.DefaultWidth, formWidth, ppi, Screen->Width());
        const int h = ScaledWindowExtent(s.DefaultHeight, formHeight, ppi, Screen->Height());
        if (!placement.empty()) {
            const TWindowBounds b = ParsePlacement(placement, {Left(), Top(), w, h});
            SetBounds(b.Left, b.Top, b.Width, b.Height);
        } else if (s.Centered) {
            SetBounds((Screen->Width() - w) / 2, (Screen->Height() - h) / 2, w, h);
        } else {
            SetBounds(Left(), Top(), w, h);
        }
        if (StartsMaximized(s.Maximized, placement)) {
            FStartMaximized = true;
        } else {
            KeepOnMonitor();
        }
    } else {
        FSaveRegistry = false;
        FStartMaximized = true;
        SetFormStyle(TFormStyle::fsStayOnTop);
    }

    FNoContextMenu = !s.HasContextMenu;
    FDisplayPageTitle = s.DisplayPageTitle;
    FUserCopy = s.UserCopy;
    FUserPrint = s.UserPrint;
    FCommandline = s.Commandline;
    FOpenExternal = s.OpenExternal;

    FDebug = s.Debug;
    if (FDebug) {
        meDebug->SetVisible(true);
    }
}

void TFrmVevIvaruvMain::KeepOnMonitor()
{
    const RECT r = BoundsRect();
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &info)) {
        return;
    }
    TWindowFit fit;
    fit.Bounds = {Left(), Top(), Width(), Height()};
    fit.Sizeable = FSizeable;
    const TWindowBounds monitor{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right - info.rcMonitor.left,
                                info.rcMonitor.bottom - info.rcMonitor.top};
    const TWindowFitResult result = FitWindowToMonitor(fit, monitor, false);
    if (result.Moved) {
        SetBounds(result.Bounds.Left, result.Bounds.Top, result.Bounds.Width, result.Bounds.Height);
    }
}

void TFrmVevIvaruvMain::StartServer()
{
    FServerPort = FServer->ListenOnFirstFreePort(kFirstServerPort, kLastServerPort);
    if (FServerPort == 0) {
        FCanRun = false;
        MessageBoxA(nullptr, "Unable to activate data server", Application->Title().c_str(), MB_OK | MB_ICONERROR);
    }
}

void TFrmVevIvaruvMain::BuildUrlPrefix() { FUrlPrefix = ::UrlPrefix(FProducerID, GuidText()); }

void TFrmVevIvaruvMain::CreateParams(TCreateParams& params)
{
    TForm::CreateParams(params);
    params.Style = WindowStyleOf(FKioskMode, FSizeable) | (params.Style & WS_VISIBLE);
    if (FKioskMode) {
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
        if (FCommandline && static_cast<size_t>(FParamsUsed) < FParams.size()) {
            OpenTopic(FirstPageParam(FParams, FParamsUsed, FCommandline));
        } else {
            NavigateToPage("");
        }
    } catch (...) {
        // The window stays empty.
    }
}

void TFrmVevIvaruvMain::FormClose(TObject*, TCloseAction& action)
{
    if (FSaveRegistry) {
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
    const std::string text =
        FormatPlacement({r.left, r.top, r.right - r.left, r.bottom - r.top}, IsZoomed(HandleValue()) != FALSE);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPlacementKey, 0, nullptr, 0, kRegistryReadWrite, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const std::string name = plat::ExePath();
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
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

void TFrmVevIvaruvMain::Navigate(const std::string& address, int flags)
{
    Debug("Navigate: " + address + Format(" (flags %d)", flags));
}

// ---- messages ---------------------------------------------------------------------------------

void TFrmVevIvaruvMain::ApplicationEventsMessage(MSG& msg, bool& handled)
{
    // The application's loop leaves the calls handed to the main thread to its owner; the
    // null message that announces them arrives here like any other.
    CheckSynchronize();
}

// ---- the debug pane ---------------------------------------------------------------------------

TDateTime TFrmVevIvaruvMain::UtcNow() { return NowUtc(); }

void TFrmVevIvaruvMain::Debug(const std::string& line)
{
    if (FDebug) {
        FDebugLines.Add(line);
    }
}

void TFrmVevIvaruvMain::DebugServed(const std::string& path)
{
    if (FDebug) {
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
    if (FDebug) {
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
        InitializeLcWinSock();
        InitializeLcHWndPool();
        InitializeLcSocketPool();
        InitializeLcAsyncSelect();
        InitializeLcWinSocket();
        InitializePageHttp();
        FormsInit();
    }
    ~TProgramUnits()
    {
        FormsDone();
        FinalizePageHttp();
        FinalizeLcWinSocket();
        FinalizeLcSocketPool();
        FinalizeLcHWndPool();
        FinalizeLcWinSock();
        ReapEndedThreads();
        OleUninitialize();
    }
};

}  // namespace

int RunLectern()
{
    TProgramUnits units;
    Application->SetTitle("LB Ebook");
    auto* form = Application->CreateForm<TFrmVevIvaruvMain>();
    if (form->CanRun()) {
        Application->Run();
    }
    return 0;
}

#endif
