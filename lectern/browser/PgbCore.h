// TCustomPageBrowser: the host of the web-browser control.
//
// The control asks its host for decisions through COM interfaces it finds on the client site:
// user interface (IDocHostUIHandler2, IDocHostShowUI), commands (IOleCommandTarget), services
// (IServiceProvider, which hands out the new-window manager, download manager, focus
// protection, behaviour namespaces, window moves and authentication), drop handling, and zoom
// notices. One host object answers all of them for the component; each callback fires the
// component's event of the same purpose and otherwise answers a fixed default.
//
// The component keeps the control's window alive when its own window is re-created (a new
// parent, style or docking): DestroyWnd parks the control window under the application's
// window instead of deactivating the control, and CreateWnd takes it back.
//
// The option flag words, the menu and key tests and the zoom clamp are platform-free
// functions, also built natively.
#pragma once

#include "SHDocVw_PGB.h"

#include "classlib/SysUtils.h"

#include <cstdint>
#include <string>

enum class TUserInterfaceOption {
    DisableTextSelect, DisableHelpMenu, DontUse3DBorders, DontUseScrollBars, PostponeScriptUntilActive,
    ForceOpenNewWindow, Reserved_OFFSCREEN, ForceFlatScrollBars, InsertDivTagOnEditMode, ActivateUIOnlyOnDocClick,
    ConsultBeforeRetrievingBehavior, CheckFontSupportsCodePage, DisableSubmitUrlInUTF8, EnableSubmitUrlInUTF8,
    EnablesFormsAutoComplete, ForceSameWindowNavigation, EmableImeLocalLanguages, EnableThemes, DisableThemes,
    DisablePicsRatings, DisableFrameSetBorder, DisablesAutoNameSpaceCorrection, DisableLocalFileAccess,
    DisableUntrustedProtocol, CheckNavigationDelegatedToHost, EnableRedirectNotification, EnableDomWindlessControls,
    EnableWindowedControls, ForceUserActivationOnActiveXJava,
};
constexpr int kUserInterfaceOptionCount = 29;
using TUserInterfaceOptions = TSet<TUserInterfaceOption>;

enum class TDownloadControlOption {
    DownloadImages, DownloadVideos, DownloadBGSounds, DontExecuteScripts, DontExecuteJava, DontExecuteActiveX,
    DontDownloadActiveX, DownloadButDontDisplay, DontDownloadFrame, CheckPageResynchronize, DownloadAndIgnoreCache,
    DontDownloadBehaviors, SuppressedMetaCharset, DisableUrlIfEncodingUTF8, EnableUrlIfEncodingUTF8,
    ForceOfflineMode, DontPerformClientPull, DownloadInSilentMode, WorkOffline,
};
constexpr int kDownloadControlOptionCount = 19;
using TDownloadControlOptions = TSet<TDownloadControlOption>;

enum class TDragDropHandlingType { ddtMS, ddtMy, ddtCustom, ddtNo };

enum class TIEPopupMenu {
    rcmDefault, rcmImage, rcmControl, rcmTable, rcmSelText, rcmAnchor, rcmUnKnown, rcmImageArt, rcmImgDynSrc,
    rcmDebug, rcmAll,
};
using TIEPopupMenus = TSet<TIEPopupMenu>;

enum class TScriptErrorAction { eaContinue, eaCancel, eaAskUser };

// The host-information flag of each user-interface option, in order.
extern const uint32_t kUserInterfaceFlags[kUserInterfaceOptionCount];
// The download-control flag of each download option, in order.
extern const uint32_t kDownloadControlFlags[kDownloadControlOptionCount];

uint32_t UserInterfaceFlagWord(TUserInterfaceOptions options);
uint32_t DownloadControlFlagWord(TDownloadControlOptions options);

// Whether the control's context menu of kind menuId is suppressed by the set.
bool IsPopupMenuDisabled(TIEPopupMenus disabled, uint32_t menuId);

// Whether a key message is one of the masked Ctrl shortcuts: a key-down with Ctrl down and
// Shift up whose key code's low byte occurs in shortcuts.
bool IsMaskedCtrlKeyCode(bool isKeyDown, const std::string& shortcuts, bool ctrlDown, bool shiftDown,
                         uint32_t virtualKey);

// Clamps value into a range word (low word the minimum, high word the maximum).
int ClampToRangeWord(int value, uint32_t range);

// The process-wide pre-refresh gate: true (and the time is remembered) when more than 150 ms
// have passed since it last answered true, or it never did.
bool PreRefreshDue(uint32_t nowTicks);
void ResetPreRefreshGate();
constexpr uint32_t kPreRefreshIntervalMs = 150;

#ifdef _WIN32

#include "SHDocVw_PGBWin.h"

#include <docobj.h>
#include <mshtmhst.h>
#include <oleidl.h>
#include <downloadmgr.h>
#include <shobjidl.h>
#include <urlmon.h>

class TPgbHostObject;

// Two host interfaces declared here (the platform headers that carry them are not used).
struct IPgbZoomEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnZoomPercentChanged(ULONG zoomPercent) = 0;
};
struct IPgbHostBehaviorInit : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PopulateNamespaceTable() = 0;
};

using TAllowFocusChangeEvent = TEvent<TObject*, bool&>;
using TGetIDsOfNamesEvent = TEvent<TObject*, REFIID, LPOLESTR*, UINT, LCID, DISPID*, HRESULT&>;
using TGetTypeInfoEvent = TEvent<TObject*, UINT, LCID, ITypeInfo**, HRESULT&>;
using TGetTypeInfoCountEvent = TEvent<TObject*, UINT*, HRESULT&>;
using TInvokeEvent = TEvent<TObject*, DISPID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*, HRESULT&>;
using TShowHelpEvent = TEvent<TObject*, HWND, const std::wstring&, UINT, DWORD, POINT, IDispatch*, HRESULT&>;
using TShowMessageEvent = TEvent<TObject*, HWND, const std::wstring&, const std::wstring&, DWORD, const std::wstring&,
                                 DWORD, LRESULT&, HRESULT&>;
using TFilterDataObjectEvent = TEvent<TObject*, IDataObject*, IDataObject*&>;
using TGetExternalEvent = TEvent<TObject*, IDispatch*&>;
using TGetHostInfoEvent = TEvent<TObject*, DOCHOSTUIINFO&>;
using TBoolNotifyEvent = TEvent<TObject*, bool>;
using TZoomPercentChangeEvent = TEvent<TObject*, ULONG, HRESULT&>;
using TGetDropTargetEvent = TEvent<TObject*, IDropTarget*&>;
using TResultEvent = TEvent<TObject*, HRESULT&>;
using TShowUIEvent = TEvent<TObject*, DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                            IOleInPlaceUIWindow*, HRESULT&>;
using TResizeBorderEvent = TEvent<TObject*, const RECT*, IOleInPlaceUIWindow*, bool>;
using TShowContextMenuEvent = TEvent<TObject*, DWORD, POINT*, IUnknown*, IDispatch*, HRESULT&>;
using TTranslateAcceleratorEvent = TEvent<TObject*, MSG*, const GUID*, DWORD, bool&>;
using TTranslateUrlEvent = TEvent<TObject*, DWORD, const std::wstring&, std::wstring&>;
using TDropEvent = TEvent<TObject*, IDataObject*, DWORD, POINTL, DWORD&, HRESULT&>;
using TScriptErrorEvent = TEvent<TObject*, const std::wstring&, const std::wstring&, const std::wstring&,
                                 const std::wstring&, const std::wstring&, TScriptErrorAction&>;
using TRefreshEvent = TEvent<TObject*, int, bool&>;
using TCommandExecEvent = TEvent<TObject*, const GUID*, DWORD, DWORD, VARIANT*, VARIANT*, HRESULT&>;
using TQueryServiceEvent = TEvent<TObject*, REFGUID, REFIID, IUnknown*&>;
using TEvaluateNewWindowEvent = TEvent<TObject*, const std::wstring&, const std::wstring&, const std::wstring&,
                                       const std::wstring&, bool, DWORD, DWORD, HRESULT&>;
using TDownloadEvent = TEvent<TObject*, IMoniker*, IBindCtx*, DWORD, LONG, BINDINFO*, const std::wstring&,
                              const std::wstring&, UINT, HRESULT&>;
using TFilterPopupMenuEvent = TEvent<TObject*, DWORD, HMENU, IDispatch*>;
using TMaskedCtrlCharEvent = TEvent<TObject*, char>;
using TMoveEvent = TEvent<TObject*, int, int>;
using TAuthenticateEvent = TEvent<TObject*, HWND&, std::wstring&, std::wstring&, HRESULT&>;
using TUserAgentSource = TEvent<std::wstring&>;
using TReHookRoutine = TEvent<>;

class TCustomPageBrowser : public TPGB {
public:
    explicit TCustomPageBrowser(TComponent* owner);
    ~TCustomPageBrowser() override;

    int ZoomPercent() const { return FZoomPercent; }
    void SetZoomPercent(int value);
    const std::string& DisableCtrlShortcuts() const { return FDisableCtrlShortcuts; }
    void SetDisableCtrlShortcuts(const std::string& keys) { FDisableCtrlShortcuts = keys; }
    TDownloadControlOptions DownloadOptions() const { return FDownloadOptions; }
    void SetDownloadOptions(TDownloadControlOptions options);
    TUserInterfaceOptions UserInterfaceOptions() const { return FUserInterfaceOptions; }
    void SetUserInterfaceOptions(TUserInterfaceOptions options);
    const std::string& HelpFile() const { return FHelpFile; }
    void SetHelpFile(const std::string& file) { FHelpFile = file; }
    const std::string& OptionKeyPath() const { return FOptionKeyPath; }
    void SetOptionKeyPath(const std::string& path) { FOptionKeyPath = path; }
    bool OverrideOptionKeyPath() const { return FOverrideOptionKeyPath; }
    void SetOverrideOptionKeyPath(bool v) { FOverrideOptionKeyPath = v; }
    TDragDropHandlingType DropHandlingType() const { return FDropHandlingType; }
    void SetDropHandlingType(TDragDropHandlingType value);
    TIEPopupMenus DisabledPopupMenus() const { return FDisabledPopupMenus; }
    void SetDisabledPopupMenus(TIEPopupMenus menus) { FDisabledPopupMenus = menus; }
    bool FloatingHosting() const { return FFloatingHosting; }
    void SetFloatingHosting(bool v) { FFloatingHosting = v; }
    TScriptErrorAction ScriptErrorAction() const { return FScriptErrorAction; }
    void SetScriptErrorAction(TScriptErrorAction action) { FScriptErrorAction = action; }
    // The combined flag words the control is told.
    uint32_t UserInterfaceFlagWordValue() const { return FUIFlags; }
    uint32_t DownloadFlagWordValue() const { return FDownloadFlags; }

    void SetTextSize(int level);
    HWND FindChildWindow(const std::wstring& className);
    // The document (dispatch id 203) as IHTMLDocument2 (an IDispatch), or empty.
    TComPtr<IDispatch> GetDocument2();
    void UIActivate();
    HRESULT ExecDocCommand(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out);

    TAllowFocusChangeEvent OnAllowFocusChange;
    TGetIDsOfNamesEvent OnGetIDsOfNames;
    TGetTypeInfoEvent OnGetTypeInfo;
    TGetTypeInfoCountEvent OnGetTypeInfoCount;
    TInvokeEvent OnInvoke;
    TShowHelpEvent OnShowHelpRequest;
    TShowMessageEvent OnShowMessage;
    TFilterDataObjectEvent OnFilterDataObject;
    TGetExternalEvent OnGetExternal;
    TGetHostInfoEvent OnGetHostInfo;
    TBoolNotifyEvent OnEnableModeless;
    TZoomPercentChangeEvent OnZoomPercentChange;
    TGetDropTargetEvent OnGetDropTarget;
    TResultEvent OnHideUI;
    TBoolNotifyEvent OnOnDocWindowActivate;
    TBoolNotifyEvent OnOnFrameWindowActivate;
    TResizeBorderEvent OnResizeBorder;
    TShowContextMenuEvent OnShowContextMenu;
    TShowUIEvent OnShowUI;
    TTranslateAcceleratorEvent OnTranslateAccelerator;
    TTranslateUrlEvent OnTranslateUrl;
    TResultEvent OnUpdateUI;
    TDropEvent OnDragEnter;
    TDropEvent OnDragLeave;
    TDropEvent OnDragOver2;
    TDropEvent OnDropEvent;
    TScriptErrorEvent OnScriptError;
    TRefreshEvent OnRefresh;
    TNotifyEvent OnStop;
    TNotifyEvent OnUnload;
    TCommandExecEvent OnCommandExec;
    TQueryServiceEvent OnQueryService;
    TEvaluateNewWindowEvent OnEvaluateNewWindow;
    // The download manager's event (hides the control's file-download event of TPGB).
    TDownloadEvent OnFileDownload;
    TFilterPopupMenuEvent OnFilterPopupMenu;
    TMaskedCtrlCharEvent OnMaskedCtrlChar;
    TMoveEvent OnMove;
    TMoveEvent OnMoveBy;
    TMoveEvent OnResize;   // hides the control's size notice of TControl
    TMoveEvent OnResizeBy;
    TNotifyEvent OnPopulateNSTable;
    TAuthenticateEvent OnAuthenticate;
    TNotifyEvent OnPreRefresh;

    CL_CLASS_NAME(TCustomPageBrowser)

protected:
    friend class TPgbHostObject;

// Two host interfaces declared here (the platform headers that carry them are not used).
struct IPgbZoomEvents : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnZoomPercentChanged(ULONG zoomPercent) = 0;
};
struct IPgbHostBehaviorInit : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE PopulateNamespaceTable() = 0;
};

    virtual bool IsMaskedCtrlKey(const MSG& message);
    // Answers the script-error command: True asks the user; out tells scripts to go on.
    virtual bool DoScriptError(VARIANT* in, VARIANT* out);
    virtual bool QueryServiceFor(REFGUID service, REFIID iid, void** object);
    virtual bool HasPopupMenuFilter();
    virtual void FilterPopupMenu(DWORD menuId, HMENU menu, IDispatch* context);

    // The host interfaces' answers that descendants extend.
    virtual HRESULT DoGetHostInfo(DOCHOSTUIINFO* info);

    HRESULT QueryHostInterface(REFIID iid, void** object) override;
    HRESULT AmbientInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                          UINT* argError) override;
    HRESULT AmbientGetTypeInfoCount(UINT* count) override;
    HRESULT AmbientGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT AmbientGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;

    void CreateWnd() override;
    void DestroyWnd() override;

    // Tells the control's IOleControl that an ambient property changed.
    void AmbientPropertyChanged(DISPID id);
    // The host object's interface of iid (a new reference), or null.
    IUnknown* HostInterface(REFIID iid);

    TUserAgentSource FUserAgentSource;
    TReHookRoutine FReHook;
    bool FAllowFocusChange = true;
    bool FDesignMode = false;
    HWND FParkedWindow = nullptr;

private:
    HRESULT ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* context);
    HRESULT Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out);
    HRESULT GetDropTarget(IDropTarget* given, IDropTarget** result);

    int FZoomPercent = 100;
    std::string FDisableCtrlShortcuts;
    TDownloadControlOptions FDownloadOptions;
    TUserInterfaceOptions FUserInterfaceOptions;
    std::string FHelpFile;
    std::string FOptionKeyPath;
    bool FOverrideOptionKeyPath = false;
    TDragDropHandlingType FDropHandlingType = TDragDropHandlingType::ddtMS;
    TIEPopupMenus FDisabledPopupMenus;
    bool FFloatingHosting = false;
    TScriptErrorAction FScriptErrorAction = TScriptErrorAction::eaContinue;
    uint32_t FUIFlags = 0;
    uint32_t FDownloadFlags = 0;
    TPgbHostObject* FHost = nullptr;   // one reference held
};

// Ambient ids the host answers.
constexpr DISPID kDispidAmbientUserAgent = -5513;
constexpr DISPID kDispidAmbientDLControl = -5512;

#endif  // _WIN32
