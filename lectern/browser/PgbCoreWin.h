// The component TCustomPageBrowser, its host object and the control's interfaces: the Windows half
// of PgbCore (see PgbCore.h), built in the Windows tree only.
#pragma once

#include "PgbCore.h"
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
