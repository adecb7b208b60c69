// The component TPageBrowser and its option objects: the Windows half of PageBrowser (see
// PageBrowser.h), built in the Windows tree only.
#pragma once

#include "PageBrowser.h"
#include "PgbCoreWin.h"
#include "PgbToolsWin.h"

#include "classlib/Components.h"
#include "classlib/Forms.h"
#include "classlib/StringList.h"

#include <memory>

class TDialogBoxes : public TPersistent {
public:
    bool DisableAll = false;
    bool ReplaceCaption = true;
    bool ReplaceIcon = true;
    std::wstring NewCaption;
    CL_CLASS_NAME(TDialogBoxes)
};

class TDisableErrors : public TPersistent {
public:
    bool EnableDDE = true;
    bool ScriptErrorsSuppressed = true;
    bool fpExceptions() const { return FfpExceptions; }
    // True restores the floating-point control word saved at unit start (without that start,
    // the word the process ran with when it was first needed); False masks every
    // floating-point exception (0x133F).
    void SetfpExceptions(bool value);
    CL_CLASS_NAME(TDisableErrors)

private:
    bool FfpExceptions = true;
};

class TVisualEffects : public TPersistent {
public:
    int TextSize = 2;
    bool DisableSounds = false;
    CL_CLASS_NAME(TVisualEffects)
};

class TMargins : public TPersistent {
public:
    double Left = 0;
    double Right = 0;
    double Top = 0;
    double Bottom = 0;
    CL_CLASS_NAME(TMargins)
};

enum class TPrintOrientation { poPortrait, poLandScape };

class TPrintOptions : public TPersistent {
public:
    TPrintOptions() { FHTMLHeader.Add("<HTML></HTML>"); }
    bool Enabled = false;
    TMargins Margins;
    std::string Header;
    std::string Footer;
    TPrintOrientation Orientation = TPrintOrientation::poPortrait;
    const TStringList& HTMLHeader() const { return FHTMLHeader; }
    void SetHTMLHeader(const TStringList& lines) { FHTMLHeader.Assign(lines); }
    CL_CLASS_NAME(TPrintOptions)

private:
    TStringList FHTMLHeader;
};

class TProxySettings : public TPersistent {
public:
    bool AutoLoadProxy = false;
    int Port = 80;
    std::string Password;
    std::string Address;
    std::string UserName;
    std::string UserAgent;
    std::string Bypass;
    CL_CLASS_NAME(TProxySettings)
};

using TCloseQueryBoolEvent = TEvent<TObject*, bool&>;
using TPgbMessageEvent = TEvent<TObject*, TMessage&, bool&>;
using TShowDialogEvent = TEvent<TObject*, HWND, uint32_t, const std::wstring&, std::wstring&, bool&>;
using TBusyWaitEvent = TEvent<TObject*, DWORD, DWORD&, bool&>;
using TKeyEvent = TEvent<TObject*, WORD&, int, TShiftState>;
using TPgbClickEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using THTMLCodeChangeEvent = TEvent<TObject*, const TStringList&, bool&>;

// The focus message the focus fix posts to a browser component (WParam: the component).
constexpr UINT kPgbFocusMessage = 0x444;

class TPageBrowser : public TCustomPageBrowser {
public:
    explicit TPageBrowser(TComponent* owner);
    ~TPageBrowser() override;

    void Loaded() override;

    void Stop();
    void GoBack();
    void GoForward();
    bool OpenUrl(const std::string& url, DWORD timeout);
    void AssignEmptyDocument(bool wait);
    bool Wait(DWORD timeout);
    int LoadFromStrings(const TStringList& lines);
    int LoadFromStream(TStream& stream);

    void SetFocus() override;
    bool Focused() const override;

    const std::string& About() const { return FAbout; }
    void SetAbout(const std::string&) {}
    const std::string& HostCSS() const { return FHostCSS; }
    void SetHostCSS(const std::string& v) { FHostCSS = v; }
    const std::string& HostNS() const { return FHostNS; }
    void SetHostNS(const std::string& v) { FHostNS = v; }
    bool EnableMessageHandler() const { return FEnableMessageHandler; }
    void SetEnableMessageHandler(bool v) { FEnableMessageHandler = v; }
    TIEPopupMenuItems DisabledPopupMenuItems() const { return FDisabledPopupMenuItems; }
    void SetDisabledPopupMenuItems(TIEPopupMenuItems items) { FDisabledPopupMenuItems = items; }
    TDisableErrors& DisableErrors() { return *FDisableErrors; }
    TDialogBoxes& DialogBoxes() { return *FDialogBoxes; }
    TPrintOptions& PrintOptions() { return *FPrintOptions; }
    TProxySettings& ProxySettings() { return *FProxySettings; }
    TVisualEffects& VisualEffects() { return *FVisualEffects; }
    const TStringList& HTMLCode() const { return FHTMLCode; }
    // Copies the lines; after Loaded the change is handled at once (address or document).
    void SetHTMLCode(const TStringList& lines);
    const std::string& UserAgent() const { return FUserAgent; }
    void SetUserAgent(const std::string& agent);
    TUserAgentMode UserAgentMode() const { return FUserAgentMode; }
    void SetUserAgentMode(TUserAgentMode mode);

    // (A change of the component's visibility sets the control's Visible and fires the
    // inherited OnVisible, the event the control's own visibility notice fires too.)
    TCloseQueryBoolEvent OnCloseQuery;
    TPgbMessageEvent OnMessage;
    TShowDialogEvent OnShowDialog;
    TBusyWaitEvent OnBusyWait;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TPgbClickEvent OnClick;
    THTMLCodeChangeEvent OnHTMLCodeChange;

    CL_CLASS_NAME(TPageBrowser)

protected:
    void WndProc(TMessage& message) override;
    bool HasPopupMenuFilter() override;
    void FilterPopupMenu(DWORD menuId, HMENU menu, IDispatch* context) override;
    HRESULT DoGetHostInfo(DOCHOSTUIINFO* info) override;
    HRESULT QueryHostInterface(REFIID iid, void** object) override;

private:
    friend LRESULT CALLBACK PgbChildWindowProc(HWND, UINT, WPARAM, LPARAM);
    void OwnerWindowProc(TMessage& message);
    void HandleBrowserDialog(HWND dialog);
    void HandleHTMLCode();
    void ApplyUserAgent();
    void RemoveRegistryToken();
    void GiveUserAgent(std::wstring& agent);
    void ReHookChildren();
    void UnhookChildren();
    void FocusFromChild();
    bool HandleFolderViewKey(WORD key);
    bool HasDocument();
    int LoadIntoDocument(TStream& stream);

    std::string FAbout;
    std::string FHostCSS;
    std::string FHostNS;
    bool FEnableMessageHandler = true;
    TIEPopupMenuItems FDisabledPopupMenuItems;
    std::unique_ptr<TDisableErrors> FDisableErrors;
    std::unique_ptr<TDialogBoxes> FDialogBoxes;
    std::unique_ptr<TPrintOptions> FPrintOptions;
    std::unique_ptr<TProxySettings> FProxySettings;
    std::unique_ptr<TVisualEffects> FVisualEffects;
    TStringList FHTMLCode;
    std::string FUserAgent;
    TUserAgentMode FUserAgentMode = TUserAgentMode::uaDefault;
    std::string FLastAgentGiven;
    std::string FRegistryToken;
    bool FTokenWritten = false;
    bool FStopped = false;
    bool FReportMoves = false;
    bool FLoaded = false;
    // Shared with a running wait, which checks it after every message it dispatches.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    TWndHook FOwnerHook;
    bool FHookedOwner = false;   // this component is the one watching its owner form
    struct ChildHook {
        HWND window = nullptr;
        WNDPROC oldProc = nullptr;
    };
    ChildHook FChildHooks[3];
};

// Unit start and end of the browser component (see PgbControlComponent for the order).
void PageBrowserInit();
void PageBrowserDone();
// Whether a proxy was set or the click sound switched off (reset by PageBrowserDone).
bool PageBrowserProxySet();
bool PageBrowserSoundOff();
