// The web-browser control as a windowed component (TPGB) over TOleControl, and the window and
// task-memory helpers of the browser host: the Windows half of SHDocVw_PGB (see SHDocVw_PGB.h),
// built in the Windows tree only.
#pragma once

#include "SHDocVw_PGB.h"

#include "classlib/OleCtrls.h"

#include <exdisp.h>

// Interface and class ids of the browser host (several are missing from the import libraries).
inline const CLSID kCLSID_WebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
inline const IID kDIID_DWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
inline const IID kIID_IWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
inline const IID kIID_IDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
inline const IID kIID_IDocHostUIHandler2 = {0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline const IID kIID_IDocHostShowUI = {0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
inline const IID kIID_INewWindowManager = {0xD2BC4C84, 0x3F72, 0x4A52, {0xA6, 0x04, 0x7B, 0xCB, 0xF3, 0x98, 0x2C, 0xBB}};
inline const IID kIID_IProtectFocus = {0xD81F90A3, 0x8156, 0x44F7, {0xAD, 0x28, 0x5A, 0xBB, 0x87, 0x00, 0x32, 0x74}};
inline const IID kIID_IDownloadManager = {0x988934A4, 0x064B, 0x11D3, {0xBB, 0x80, 0x00, 0x10, 0x4B, 0x35, 0xE7, 0xF9}};
inline const IID kIID_IHostBehaviorInit = {0x3050F842, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline const IID kIID_IHTMLOMWindowServices = {0x3050F5FC, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
inline const IID kIID_IAuthenticate = {0x79EAC9D0, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline const IID kIID_IZoomEvents = {0x41B68150, 0x904C, 0x4E17, {0xA0, 0xBA, 0xA4, 0x38, 0x18, 0x2E, 0x35, 0x9D}};
inline const IID kIID_IHTMLDocument2 = {0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
inline const GUID kCGID_Explorer = {0x000214D0, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline const GUID kCGID_ShellDocView = {0x000214D1, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline const GUID kCGID_DocHostCommandHandler = {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};

// Dispatch ids the host reads from the control.
constexpr DISPID kDispidApplication = 200;
constexpr DISPID kDispidDocument = 203;
constexpr DISPID kDispidReadyState = -525;
constexpr int kReadyStateComplete = 4;

// The events of the control, in the order of the control data.
enum class TPGBEvent {
    StatusTextChange, ProgressChange, CommandStateChange, DownloadBegin, DownloadComplete, TitleChange,
    PropertyChange, BeforeNavigate2, NewWindow2, NavigateComplete2, DocumentComplete, Quit, Visible, ToolBar,
    MenuBar, StatusBar, FullScreen, TheaterMode, AddressBar, WindowSetResizable, WindowSetLeft, WindowSetTop,
    WindowSetWidth, WindowSetHeight, WindowClosing, ClientToHostWindow, SetSecureLockIcon, FileDownload,
    NavigateError, PrintTemplateInstantiation, PrintTemplateTeardown, UpdatePageStatus,
    PrivacyImpactedStateChange, NewWindow3,
};
constexpr int kPGBEventCount = 34;
extern const DISPID kPGBEventDispIDs[kPGBEventCount];

using TWebBrowserTextEvent = TEvent<TObject*, const std::wstring&>;
using TWebBrowserProgressChange = TEvent<TObject*, int, int>;
using TWebBrowserCommandStateChange = TEvent<TObject*, int, bool>;
using TWebBrowserBeforeNavigate2 = TEvent<TObject*, IDispatch*, VARIANT&, VARIANT&, VARIANT&, VARIANT&, VARIANT&, bool&>;
// ppDisp of NewWindow2 and NewWindow3: an object a handler puts there is lent. The event adds
// the reference the control receives (and releases the one it replaces), so the handler keeps
// no reference for the control and releases its own ones as it always does; leaving ppDisp
// alone keeps what the control passed in.
using TWebBrowserNewWindow2 = TEvent<TObject*, IDispatch*&, bool&>;
using TWebBrowserNewWindow3 =
    TEvent<TObject*, IDispatch*&, bool&, uint32_t, const std::wstring&, const std::wstring&>;
using TWebBrowserDocumentEvent = TEvent<TObject*, IDispatch*, VARIANT&>;
using TWebBrowserBoolEvent = TEvent<TObject*, bool>;
using TWebBrowserIntEvent = TEvent<TObject*, int>;
using TWebBrowserWindowClosing = TEvent<TObject*, bool, bool&>;
using TWebBrowserClientToHostWindow = TEvent<TObject*, int&, int&>;
using TWebBrowserFileDownload = TEvent<TObject*, bool&>;
using TWebBrowserNavigateError = TEvent<TObject*, IDispatch*, VARIANT&, VARIANT&, VARIANT&, bool&>;
using TWebBrowserDispEvent = TEvent<TObject*, IDispatch*>;
using TWebBrowserUpdatePageStatus = TEvent<TObject*, IDispatch*, VARIANT&, VARIANT&>;

class TPGB : public TOleControl {
public:
    explicit TPGB(TComponent* owner);
    ~TPGB() override;

    void ConnectBrowser();
    TComPtr<IWebBrowser2> BrowserIntf();

    void Navigate(const std::wstring& URL);
    void NavigateFlags(const std::wstring& URL, const TOleVariant& Flags);
    void Navigate2(TOleVariant& URL, TOleVariant& Flags, TOleVariant& TargetFrameName, TOleVariant& PostData,
                   TOleVariant& Headers);
    // Runs a command of the control; the output goes to a variant of this call's own.
    void ExecWB(int cmdID, int cmdexecopt, TOleVariant& vaIn);
    void GoBack();
    void GoForward();
    void Stop();
    void Refresh();

    // The control's properties, by dispatch id (Visible goes with the component's own).
    bool StatusBar() const { return GetWordBoolProp(403); }
    void SetStatusBar(bool v) { SetWordBoolProp(403, v); }
    std::wstring StatusText() const { return GetWideStringProp(404); }
    void SetStatusText(const std::wstring& v) { SetWideStringProp(404, v); }
    int ToolBar() const { return GetIntegerProp(405); }
    void SetToolBar(int v) { SetIntegerProp(405, v); }
    bool MenuBar() const { return GetWordBoolProp(406); }
    void SetMenuBar(bool v) { SetWordBoolProp(406, v); }
    bool FullScreen() const { return GetWordBoolProp(407); }
    void SetFullScreen(bool v) { SetWordBoolProp(407, v); }
    bool Offline() const { return GetWordBoolProp(550); }
    void SetOffline(bool v) { SetWordBoolProp(550, v); }
    bool Silent() const { return GetWordBoolProp(551); }
    void SetSilent(bool v) { SetWordBoolProp(551, v); }
    bool RegisterAsBrowser() const { return GetWordBoolProp(552); }
    void SetRegisterAsBrowser(bool v) { SetWordBoolProp(552, v); }
    bool RegisterAsDropTarget() const { return GetWordBoolProp(553); }
    void SetRegisterAsDropTarget(bool v) { SetWordBoolProp(553, v); }
    bool TheaterMode() const { return GetWordBoolProp(554); }
    void SetTheaterMode(bool v) { SetWordBoolProp(554, v); }
    bool AddressBar() const { return GetWordBoolProp(555); }
    void SetAddressBar(bool v) { SetWordBoolProp(555, v); }
    bool Resizable() const { return GetWordBoolProp(556); }
    void SetResizable(bool v) { SetWordBoolProp(556, v); }
    int ReadyState() const { return GetIntegerProp(kDispidReadyState); }

    TWebBrowserTextEvent OnStatusTextChange;
    TWebBrowserProgressChange OnProgressChange;
    TWebBrowserCommandStateChange OnCommandStateChange;
    TNotifyEvent OnDownloadBegin;
    TNotifyEvent OnDownloadComplete;
    TWebBrowserTextEvent OnTitleChange;
    TWebBrowserTextEvent OnPropertyChange;
    TWebBrowserBeforeNavigate2 OnBeforeNavigate2;
    TWebBrowserNewWindow2 OnNewWindow2;
    TWebBrowserDocumentEvent OnNavigateComplete2;
    TWebBrowserDocumentEvent OnDocumentComplete;
    TNotifyEvent OnQuit;
    TWebBrowserBoolEvent OnVisible;
    TWebBrowserBoolEvent OnToolBar;
    TWebBrowserBoolEvent OnMenuBar;
    TWebBrowserBoolEvent OnStatusBar;
    TWebBrowserBoolEvent OnFullScreen;
    TWebBrowserBoolEvent OnTheaterMode;
    TWebBrowserBoolEvent OnAddressBar;
    TWebBrowserBoolEvent OnWindowSetResizable;
    TWebBrowserIntEvent OnWindowSetLeft;
    TWebBrowserIntEvent OnWindowSetTop;
    TWebBrowserIntEvent OnWindowSetWidth;
    TWebBrowserIntEvent OnWindowSetHeight;
    TWebBrowserWindowClosing OnWindowClosing;
    TWebBrowserClientToHostWindow OnClientToHostWindow;
    TWebBrowserIntEvent OnSetSecureLockIcon;
    TWebBrowserFileDownload OnFileDownload;
    TWebBrowserNavigateError OnNavigateError;
    TWebBrowserDispEvent OnPrintTemplateInstantiation;
    TWebBrowserDispEvent OnPrintTemplateTeardown;
    TWebBrowserUpdatePageStatus OnUpdatePageStatus;
    TWebBrowserBoolEvent OnPrivacyImpactedStateChange;
    TWebBrowserNewWindow3 OnNewWindow3;

    CL_CLASS_NAME(TPGB)

protected:
    void InitControlData() override;
    void InvokeEvent(int index, DISPID id, DISPPARAMS& params) override;

private:
    TComPtr<IWebBrowser2> FIntf;
};

// Whether the window's class name (read into a 256-character buffer) equals className by the
// user locale's comparison with no flags.
bool WindowClassIs(HWND window, const std::wstring& className);
// The nearest ancestor of window whose class name equals className (user locale, no flags).
HWND FindParentByClass(HWND window, const std::wstring& className);
// Copies a text into task memory as a zero-terminated wide string (the receiver frees it).
wchar_t* StrToCoTaskWide(const std::string& text);
// Copies a wide string with its terminating zero into zero-filled task memory; null when the
// allocation fails.
wchar_t* WideToCoTask(const std::wstring& text);
std::string GetWindowTextStr(HWND window);
std::wstring GetWindowClassNameW(HWND window);
