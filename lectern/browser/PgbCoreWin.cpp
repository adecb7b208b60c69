// The component TCustomPageBrowser, its host object and the control's interfaces (see PgbCore.h and
// PgbCoreWin.h). Built in the Windows tree only.
#include "PgbCoreWin.h"

#include "classlib/Forms.h"

// ---- the component (Windows) ------------------------------------------------------------------

namespace {

constexpr HRESULT kNotSupported = static_cast<HRESULT>(0x80040100);   // OLECMDERR_E_NOTSUPPORTED
constexpr UINT kContextMenuResource = 24641;
constexpr UINT kEncodingMenuItem = 2292;
constexpr UINT kContextMenuTrackFlags = 0x1502;
constexpr DWORD kGetMimeCharsetMenu = 27;   // the command target's encoding-submenu command
constexpr DWORD kCmdStop = 23;
constexpr DWORD kCmdUnload = 37;
constexpr DWORD kCmdPreRefresh = 39;
constexpr DWORD kCmdShowScriptError = 40;

bool SameGuid(const GUID* a, const GUID& b) { return a != nullptr && IsEqualGUID(*a, b); }

// Reads a property of an automation object by name as text; a name the object does not know
// raises "'name' is not supported.".
std::wstring PropertyText(IDispatch* object, const wchar_t* name)
{
    DISPID id = 0;
    auto* n = const_cast<LPOLESTR>(name);
    if (FAILED(object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id))) {
        throw EOleError(Format("'%s' is not supported.", FromWide(name).c_str()));
    }
    return GetDispatchProperty(object, id).AsWide();
}

TComPtr<IDispatch> PropertyObject(IDispatch* object, const wchar_t* name)
{
    DISPID id = 0;
    auto* n = const_cast<LPOLESTR>(name);
    if (object == nullptr || FAILED(object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id))) {
        return {};
    }
    return GetDispatchProperty(object, id).AsDispatch();
}

std::wstring WideOrEmpty(const wchar_t* text) { return text != nullptr ? std::wstring(text) : std::wstring(); }

}  // namespace

// The one object that answers the host interfaces for a component. It forgets the component
// when the component goes; later calls answer failure.
class TPgbHostObject final : public IDocHostUIHandler2,
                             public IDocHostShowUI,
                             public IOleCommandTarget,
                             public IServiceProvider,
                             public IDropTarget,
                             public INewWindowManager,
                             public IDownloadManager,
                             public IProtectFocus,
                             public IAuthenticate,
                             public IHTMLOMWindowServices,
                             public IPgbHostBehaviorInit,
                             public IPgbZoomEvents,
                             private TComRefCounted {
public:
    explicit TPgbHostObject(TCustomPageBrowser* owner) : B(owner) {}
    void Disconnect() { B = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIID_IDocHostUIHandler) ||
            IsEqualIID(iid, kIID_IDocHostUIHandler2)) {
            *object = static_cast<IDocHostUIHandler2*>(this);
        } else if (IsEqualIID(iid, kIID_IDocHostShowUI)) {
            *object = static_cast<IDocHostShowUI*>(this);
        } else if (IsEqualIID(iid, IID_IOleCommandTarget)) {
            *object = static_cast<IOleCommandTarget*>(this);
        } else if (IsEqualIID(iid, IID_IServiceProvider)) {
            *object = static_cast<IServiceProvider*>(this);
        } else if (IsEqualIID(iid, IID_IDropTarget)) {
            *object = static_cast<IDropTarget*>(this);
        } else if (IsEqualIID(iid, kIID_INewWindowManager)) {
            *object = static_cast<INewWindowManager*>(this);
        } else if (IsEqualIID(iid, kIID_IDownloadManager)) {
            *object = static_cast<IDownloadManager*>(this);
        } else if (IsEqualIID(iid, kIID_IProtectFocus)) {
            *object = static_cast<IProtectFocus*>(this);
        } else if (IsEqualIID(iid, kIID_IAuthenticate)) {
            *object = static_cast<IAuthenticate*>(this);
        } else if (IsEqualIID(iid, kIID_IHTMLOMWindowServices)) {
            *object = static_cast<IHTMLOMWindowServices*>(this);
        } else if (IsEqualIID(iid, kIID_IHostBehaviorInit)) {
            *object = static_cast<IPgbHostBehaviorInit*>(this);
        } else if (IsEqualIID(iid, kIID_IZoomEvents)) {
            *object = static_cast<IPgbZoomEvents*>(this);
        }
        if (*object == nullptr) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // Runs body with the component, or answers gone when there is none; nothing escapes.
    template <class Body>
    HRESULT With(HRESULT gone, Body&& body) noexcept
    {
        try {
            if (B == nullptr) {
                return gone;
            }
            return body(*B);
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD id, POINT* point, IUnknown* target, IDispatch* context) override
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) { return b.ShowContextMenu(id, point, target, context); });
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override
    {
        return With(E_UNEXPECTED, [&](TCustomPageBrowser& b) { return info ? b.DoGetHostInfo(info) : E_POINTER; });
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD id, IOleInPlaceActiveObject* active, IOleCommandTarget* target,
                                     IOleInPlaceFrame* frame, IOleInPlaceUIWindow* doc) override
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            HRESULT r = S_FALSE;
            if (b.OnShowUI) {
                b.OnShowUI(&b, id, active, target, frame, doc, r);
            }
            return r;
        });
    }
    // S_FALSE unless the event sets another result.
    HRESULT ResultEvent(const TResultEvent TCustomPageBrowser::*event)
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            HRESULT r = S_FALSE;
            if (b.*event) {
                (b.*event)(&b, r);
            }
            return r;
        });
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return ResultEvent(&TCustomPageBrowser::OnHideUI); }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return ResultEvent(&TCustomPageBrowser::OnUpdateUI); }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override
    {
        return With(S_OK, [&](TCustomPageBrowser& b) {
            if (b.OnEnableModeless) {
                b.OnEnableModeless(&b, enable != FALSE);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override
    {
        return With(S_OK, [&](TCustomPageBrowser& b) {
            if (b.OnOnDocWindowActivate) {
                b.OnOnDocWindowActivate(&b, activate != FALSE);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override
    {
        return With(S_OK, [&](TCustomPageBrowser& b) {
            if (b.OnOnFrameWindowActivate) {
                b.OnOnFrameWindowActivate(&b, activate != FALSE);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frameWindow) override
    {
        return With(S_OK, [&](TCustomPageBrowser& b) {
            if (b.OnResizeBorder) {
                b.OnResizeBorder(&b, border, window, frameWindow != FALSE);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, const GUID* group, DWORD command) override
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            if (msg == nullptr) {
                return S_FALSE;
            }
            if (b.IsMaskedCtrlKey(*msg)) {
                return S_OK;
            }
            bool handled = false;
            if (b.OnTranslateAccelerator) {
                b.OnTranslateAccelerator(&b, msg, group, command, handled);
            }
            return handled ? S_OK : S_FALSE;
        });
    }
    HRESULT KeyPath(LPOLESTR* key, bool overrideWanted)
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            if (key == nullptr) {
                return E_POINTER;
            }
            *key = nullptr;
            if (!b.FOptionKeyPath.empty() && b.FOverrideOptionKeyPath == overrideWanted) {
                *key = StrToCoTaskWide(b.FOptionKeyPath);
                return *key != nullptr ? S_OK : E_OUTOFMEMORY;
            }
            return S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override { return KeyPath(key, false); }
    HRESULT STDMETHODCALLTYPE GetOverrideKeyPath(LPOLESTR* key, DWORD) override { return KeyPath(key, true); }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* given, IDropTarget** result) override
    {
        if (result != nullptr) {
            *result = nullptr;
        }
        return With(E_NOTIMPL, [&](TCustomPageBrowser& b) { return result ? b.GetDropTarget(given, result) : E_POINTER; });
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override
    {
        if (external == nullptr) {
            return E_POINTER;
        }
        *external = nullptr;
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            IDispatch* supplied = nullptr;
            if (b.OnGetExternal) {
                b.OnGetExternal(&b, supplied);
            }
            if (supplied == nullptr) {
                return S_FALSE;
            }
            supplied->AddRef();
            *external = supplied;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD translate, LPWSTR urlIn, LPWSTR* urlOut) override
    {
        if (urlOut == nullptr) {
            return E_POINTER;
        }
        *urlOut = nullptr;
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            std::wstring translated;
            if (b.OnTranslateUrl) {
                b.OnTranslateUrl(&b, translate, WideOrEmpty(urlIn), translated);
            }
            if (translated.empty()) {
                return S_FALSE;
            }
            *urlOut = WideToCoTask(translated);
            return *urlOut != nullptr ? S_OK : E_OUTOFMEMORY;
        });
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* data, IDataObject** result) override
    {
        if (result == nullptr) {
            return E_POINTER;
        }
        *result = nullptr;
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            IDataObject* supplied = nullptr;
            if (b.OnFilterDataObject) {
                b.OnFilterDataObject(&b, data, supplied);
            }
            if (supplied == nullptr) {
                return S_FALSE;
            }
            supplied->AddRef();
            *result = supplied;
            return S_OK;
        });
    }

    // IDocHostShowUI
    HRESULT STDMETHODCALLTYPE ShowMessage(HWND window, LPOLESTR text, LPOLESTR caption, DWORD type, LPOLESTR helpFile,
                                          DWORD helpContext, LRESULT* result) override
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            HRESULT r = S_FALSE;
            if (b.OnShowMessage) {
                LRESULT answer = 0;
                b.OnShowMessage(&b, window, WideOrEmpty(text), WideOrEmpty(caption), type, WideOrEmpty(helpFile),
                                helpContext, answer, r);
                if (result != nullptr) {
                    *result = answer;
                }
            }
            return r;
        });
    }
    HRESULT STDMETHODCALLTYPE ShowHelp(HWND window, LPOLESTR helpFile, UINT command, DWORD data, POINT mouse,
                                       IDispatch* hit) override
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            if (b.OnShowHelpRequest) {
                HRESULT r = S_FALSE;
                b.OnShowHelpRequest(&b, window, WideOrEmpty(helpFile), command, data, mouse, hit, r);
                return r;
            }
            if ((helpFile == nullptr || *helpFile == L'\0') && !b.FHelpFile.empty()) {
                HtmlHelpCall(window, b.FHelpFile, command, data);
                return S_OK;
            }
            return S_FALSE;
        });
    }

    // IOleCommandTarget
    HRESULT STDMETHODCALLTYPE QueryStatus(const GUID*, ULONG count, OLECMD* commands, OLECMDTEXT*) override
    {
        if (count > 0 && commands != nullptr) {
            commands[0].cmdf = OLECMDF_ENABLED;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out) override
    {
        return With(kNotSupported, [&](TCustomPageBrowser& b) { return b.Exec(group, command, option, in, out); });
    }

    // IServiceProvider
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        return With(E_NOINTERFACE, [&](TCustomPageBrowser& b) {
            if (b.QueryServiceFor(service, iid, object) && *object != nullptr) {
                return S_OK;
            }
            *object = nullptr;
            IUnknown* supplied = nullptr;
            if (b.OnQueryService) {
                b.OnQueryService(&b, service, iid, supplied);
            }
            if (supplied != nullptr && SUCCEEDED(supplied->QueryInterface(iid, object))) {
                return S_OK;
            }
            return E_NOINTERFACE;
        });
    }

    // IDropTarget
    HRESULT DropEvent(const TDropEvent TCustomPageBrowser::*event, IDataObject* data, DWORD keys, POINTL point,
                 DWORD* effect)
    {
        if (effect != nullptr) {
            *effect = DROPEFFECT_NONE;
        }
        return With(S_OK, [&](TCustomPageBrowser& b) {
            HRESULT r = S_OK;
            DWORD e = DROPEFFECT_NONE;
            if (b.*event) {
                (b.*event)(&b, data, keys, point, e, r);
            }
            if (effect != nullptr) {
                *effect = e;
            }
            return r;
        });
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override
    {
        return DropEvent(&TCustomPageBrowser::OnDragEnter, data, keys, point, effect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override
    {
        return DropEvent(&TCustomPageBrowser::OnDragOver2, nullptr, keys, point, effect);
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        return DropEvent(&TCustomPageBrowser::OnDragLeave, nullptr, 0, POINTL{0, 0}, nullptr);
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override
    {
        return DropEvent(&TCustomPageBrowser::OnDropEvent, data, keys, point, effect);
    }

    // INewWindowManager
    HRESULT STDMETHODCALLTYPE EvaluateNewWindow(LPCWSTR url, LPCWSTR name, LPCWSTR context, LPCWSTR features,
                                                BOOL replace, DWORD flags, DWORD userActionTime) override
    {
        return With(E_FAIL, [&](TCustomPageBrowser& b) {
            HRESULT r = E_FAIL;
            if (b.OnEvaluateNewWindow) {
                b.OnEvaluateNewWindow(&b, WideOrEmpty(url), WideOrEmpty(name), WideOrEmpty(context),
                                      WideOrEmpty(features), replace != FALSE, flags, userActionTime, r);
            }
            return r;
        });
    }

    // IDownloadManager
    HRESULT STDMETHODCALLTYPE Download(IMoniker* moniker, IBindCtx* context, DWORD verb, LONG bindFlags,
                                       BINDINFO* info, LPCOLESTR headers, LPCOLESTR redirect, UINT codePage) override
    {
        return With(E_NOTIMPL, [&](TCustomPageBrowser& b) {
            HRESULT r = E_NOTIMPL;
            if (b.OnFileDownload) {
                b.OnFileDownload(&b, moniker, context, verb, bindFlags, info, WideOrEmpty(headers),
                                 WideOrEmpty(redirect), codePage, r);
            }
            return r;
        });
    }

    // IProtectFocus
    HRESULT STDMETHODCALLTYPE AllowFocusChange(BOOL* allow) override
    {
        return With(E_UNEXPECTED, [&](TCustomPageBrowser& b) {
            bool a = b.FAllowFocusChange;
            if (b.OnAllowFocusChange) {
                b.OnAllowFocusChange(&b, a);
            }
            if (allow != nullptr) {
                *allow = a ? TRUE : FALSE;
            }
            return S_OK;
        });
    }

    // IAuthenticate
    HRESULT STDMETHODCALLTYPE Authenticate(HWND* window, LPWSTR* userName, LPWSTR* password) override
    {
        return With(E_UNEXPECTED, [&](TCustomPageBrowser& b) {
            HWND w = b.HandleValue();
            std::wstring user, pass;
            HRESULT r = S_OK;
            if (b.OnAuthenticate) {
                b.OnAuthenticate(&b, w, user, pass, r);
            }
            if (window != nullptr) {
                *window = w;
            }
            if (userName != nullptr) {
                *userName = user.empty() ? nullptr : WideToCoTask(user);
            }
            if (password != nullptr) {
                *password = pass.empty() ? nullptr : WideToCoTask(pass);
            }
            return r;
        });
    }

    // IHTMLOMWindowServices
    enum class Move { To, By, SizeTo, SizeBy };
    HRESULT WindowMove(Move kind, LONG x, LONG y)
    {
        return With(S_OK, [&](TCustomPageBrowser& b) {
            TForm* form = GetParentForm(&b);
            if (b.FFloatingHosting && form != nullptr) {
                switch (kind) {
                case Move::To: form->SetBounds(x, y, form->Width(), form->Height()); break;
                case Move::By: form->SetBounds(form->Left() + x, form->Top() + y, form->Width(), form->Height()); break;
                case Move::SizeTo: form->SetBounds(form->Left(), form->Top(), x, y); break;
                case Move::SizeBy: form->SetBounds(form->Left(), form->Top(), form->Width() + x, form->Height() + y); break;
                }
            }
            const TMoveEvent* e = kind == Move::To       ? &b.OnMove
                                  : kind == Move::By     ? &b.OnMoveBy
                                  : kind == Move::SizeTo ? &b.OnResize
                                                         : &b.OnResizeBy;
            if (*e) {
                (*e)(&b, x, y);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE moveTo(LONG x, LONG y) override { return WindowMove(Move::To, x, y); }
    HRESULT STDMETHODCALLTYPE moveBy(LONG x, LONG y) override { return WindowMove(Move::By, x, y); }
    HRESULT STDMETHODCALLTYPE resizeTo(LONG x, LONG y) override { return WindowMove(Move::SizeTo, x, y); }
    HRESULT STDMETHODCALLTYPE resizeBy(LONG x, LONG y) override { return WindowMove(Move::SizeBy, x, y); }

    // IHostBehaviorInit
    HRESULT STDMETHODCALLTYPE PopulateNamespaceTable() override
    {
        return With(S_OK, [&](TCustomPageBrowser& b) {
            if (b.OnPopulateNSTable) {
                b.OnPopulateNSTable(&b);
            }
            return S_OK;
        });
    }

    // Zoom events
    HRESULT STDMETHODCALLTYPE OnZoomPercentChanged(ULONG percent) override
    {
        return With(S_FALSE, [&](TCustomPageBrowser& b) {
            HRESULT r = S_FALSE;
            if (b.OnZoomPercentChange) {
                b.OnZoomPercentChange(&b, percent, r);
            }
            return r;
        });
    }

private:
    TCustomPageBrowser* B;
};

// ---- TCustomPageBrowser -------------------------------------------------------------------------

TCustomPageBrowser::TCustomPageBrowser(TComponent* owner) : TPGB(owner)
{
    FHost = new TPgbHostObject(this);
    FAllowFocusChange = true;
    FScriptErrorAction = TScriptErrorAction::eaContinue;
    SetDownloadOptions({TDownloadControlOption::DownloadImages, TDownloadControlOption::DownloadVideos,
                        TDownloadControlOption::DownloadBGSounds});
    SetUserInterfaceOptions({TUserInterfaceOption::EnablesFormsAutoComplete, TUserInterfaceOption::EnableThemes});
    SetDropHandlingType(TDragDropHandlingType::ddtMS);
    SetZoomPercent(100);
    FDisableCtrlShortcuts.assign(1, 'N');
}

TCustomPageBrowser::~TCustomPageBrowser()
{
    if (FParkedWindow != nullptr && IsWindow(FParkedWindow)) {
        // The control's window goes with the control.
        SetHandle(FParkedWindow);
    }
    FParkedWindow = nullptr;
    if (FHost != nullptr) {
        FHost->Disconnect();
        std::exchange(FHost, nullptr)->Release();
    }
}

IUnknown* TCustomPageBrowser::HostInterface(REFIID iid)
{
    void* p = nullptr;
    if (FHost == nullptr || FAILED(FHost->QueryInterface(iid, &p))) {
        return nullptr;
    }
    return static_cast<IUnknown*>(p);
}

HRESULT TCustomPageBrowser::QueryHostInterface(REFIID iid, void** object)
{
    *object = nullptr;
    if (FHost == nullptr || IsEqualIID(iid, IID_IUnknown)) {
        return E_NOINTERFACE;
    }
    return FHost->QueryInterface(iid, object);
}

void TCustomPageBrowser::AmbientPropertyChanged(DISPID id)
{
    TComPtr<IDispatch> application = GetIDispatchProp(kDispidApplication);
    TComPtr<IOleControl> control = ComCast<IOleControl>(application, IID_IOleControl);
    OleCheck(control->OnAmbientPropertyChange(id));
}

void TCustomPageBrowser::SetDownloadOptions(TDownloadControlOptions options)
{
    FDownloadOptions = options;
    FDownloadFlags = DownloadControlFlagWord(options);
    AmbientPropertyChanged(kDispidAmbientDLControl);
}

void TCustomPageBrowser::SetUserInterfaceOptions(TUserInterfaceOptions options)
{
    FUserInterfaceOptions = options;
    FUIFlags = UserInterfaceFlagWord(options);
    AmbientPropertyChanged(kDispidAmbientDLControl);
}

void TCustomPageBrowser::SetZoomPercent(int value)
{
    if (value == FZoomPercent) {
        return;
    }
    FZoomPercent = value;
    // Without a document the value is kept for later and nothing else happens.
    TOleVariant range;
    if (FAILED(ExecDocCommand(nullptr, OLECMDID_OPTICAL_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr,
                              range.Ptr()))) {
        return;
    }
    const int clamped = ClampToRangeWord(value, static_cast<uint32_t>(range.AsInteger()));
    TOleVariant in(clamped), out;
    if (FAILED(ExecDocCommand(nullptr, OLECMDID_OPTICAL_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, in.Ptr(), out.Ptr()))) {
        return;
    }
    const int applied = out.IsEmpty() ? clamped : out.AsInteger();
    FZoomPercent = applied;
    if (OnZoomPercentChange) {
        HRESULT r = S_FALSE;
        OnZoomPercentChange(this, static_cast<ULONG>(applied), r);
    }
}

void TCustomPageBrowser::SetTextSize(int level)
{
    TOleVariant range;
    if (FAILED(ExecDocCommand(nullptr, OLECMDID_GETZOOMRANGE, OLECMDEXECOPT_DONTPROMPTUSER, nullptr, range.Ptr()))) {
        return;   // no document: nothing to size
    }
    TOleVariant in(ClampToRangeWord(level, static_cast<uint32_t>(range.AsInteger()))), out;
    ExecDocCommand(nullptr, OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, in.Ptr(), out.Ptr());
}

void TCustomPageBrowser::SetDropHandlingType(TDragDropHandlingType value)
{
    if (value == FDropHandlingType) {
        return;
    }
    FDropHandlingType = value;
    HWND child = HandleAllocated() ? FindChildWindow(L"Internet Explorer_Server") : nullptr;
    if (child != nullptr) {
        RevokeDragDrop(child);
    }
    TComPtr<IDropTarget> target;
    switch (value) {
    case TDragDropHandlingType::ddtMS:
        SetRegisterAsDropTarget(true);
        break;
    case TDragDropHandlingType::ddtMy:
        target = TComPtr<IDropTarget>::Adopt(static_cast<IDropTarget*>(HostInterface(IID_IDropTarget)));
        break;
    case TDragDropHandlingType::ddtCustom:
        if (child != nullptr) {
            target = TComPtr<IDropTarget>::Adopt(static_cast<IDropTarget*>(HostInterface(IID_IDropTarget)));
            if (OnGetDropTarget) {
                IDropTarget* replaced = target.Get();
                OnGetDropTarget(this, replaced);
                target = TComPtr<IDropTarget>(replaced);
            }
        }
        break;
    case TDragDropHandlingType::ddtNo:
        SetRegisterAsDropTarget(false);
        break;
    }
    if (target && child != nullptr) {
        RegisterDragDrop(child, target.Get());
    }
}

HRESULT TCustomPageBrowser::GetDropTarget(IDropTarget*, IDropTarget** result)
{
    switch (FDropHandlingType) {
    case TDragDropHandlingType::ddtMS:
        SetRegisterAsDropTarget(true);
        return E_NOTIMPL;
    case TDragDropHandlingType::ddtMy:
        *result = static_cast<IDropTarget*>(HostInterface(IID_IDropTarget));
        return S_OK;
    case TDragDropHandlingType::ddtCustom: {
        TComPtr<IDropTarget> own =
            TComPtr<IDropTarget>::Adopt(static_cast<IDropTarget*>(HostInterface(IID_IDropTarget)));
        IDropTarget* answer = own.Get();
        if (OnGetDropTarget) {
            OnGetDropTarget(this, answer);
        }
        if (answer != nullptr) {
            answer->AddRef();
        }
        *result = answer;
        return S_OK;
    }
    case TDragDropHandlingType::ddtNo:
        SetRegisterAsDropTarget(false);
        *result = nullptr;
        return S_OK;
    }
    return E_NOTIMPL;
}

HWND TCustomPageBrowser::FindChildWindow(const std::wstring& className)
{
    if (!HandleAllocated()) {
        return nullptr;
    }
    for (HWND w = GetWindow(HandleValue(), GW_CHILD); w != nullptr; w = GetWindow(w, GW_CHILD)) {
        if (WindowClassIs(w, className)) {
            return w;
        }
    }
    return nullptr;
}

TComPtr<IDispatch> TCustomPageBrowser::GetDocument2()
{
    try {
        TComPtr<IDispatch> document = GetIDispatchProp(kDispidDocument);
        return document.As<IDispatch>(kIID_IHTMLDocument2);
    } catch (const EOleError&) {
        return {};
    }
}

HRESULT TCustomPageBrowser::ExecDocCommand(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out)
{
    TComPtr<IDispatch> document = GetDocument2();
    if (!document) {
        return E_UNEXPECTED;
    }
    TComPtr<IOleCommandTarget> target = document.As<IOleCommandTarget>(IID_IOleCommandTarget);
    if (!target) {
        return E_UNEXPECTED;
    }
    return target->Exec(group, command, option, in, out);
}

void TCustomPageBrowser::UIActivate()
{
    const bool saved = FAllowFocusChange;
    FAllowFocusChange = true;
    try {
        TComPtr<IOleObject> object = OleObjectIntf();
        if (object && HandleAllocated()) {
            RECT r = ClientRect();
            if (SUCCEEDED(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, ClientSite(), 0, HandleValue(), &r)) &&
                CanFocus()) {
                if (TForm* form = GetParentForm(this); form != nullptr && static_cast<TControl*>(form) != static_cast<TControl*>(this)) {
                    form->SetActiveControl(this);
                }
            }
        }
    } catch (...) {
        FAllowFocusChange = saved;
        throw;
    }
    FAllowFocusChange = saved;
}

bool TCustomPageBrowser::IsMaskedCtrlKey(const MSG& message)
{
    BYTE keys[256]{};
    GetKeyboardState(keys);
    const bool masked = IsMaskedCtrlKeyCode(message.message == WM_KEYDOWN, FDisableCtrlShortcuts,
                                            (keys[VK_CONTROL] & 0x80) != 0, (keys[VK_SHIFT] & 0x80) != 0,
                                            static_cast<uint32_t>(message.wParam));
    if (masked && OnMaskedCtrlChar) {
        OnMaskedCtrlChar(this, static_cast<char>(message.wParam & 0xFF));
    }
    return masked;
}

bool TCustomPageBrowser::DoScriptError(VARIANT* in, VARIANT* out)
{
    bool askUser = false;
    switch (FScriptErrorAction) {
    case TScriptErrorAction::eaContinue:
    case TScriptErrorAction::eaCancel:
        if (out != nullptr) {
            VariantClear(out);
            V_VT(out) = VT_BOOL;
            V_BOOL(out) = FScriptErrorAction == TScriptErrorAction::eaContinue ? VARIANT_TRUE : VARIANT_FALSE;
        }
        break;
    case TScriptErrorAction::eaAskUser:
        askUser = true;
        break;
    }
    if (OnScriptError && in != nullptr) {
        // The error's details come from the document's event object; whatever fails here
        // leaves the answer above as it is and never reaches the control.
        try {
            TComPtr<IDispatch> document = TOleVariant(*in).AsDispatch().As<IDispatch>(kIID_IHTMLDocument2);
            TComPtr<IDispatch> window = PropertyObject(document.Get(), L"parentWindow");
            TComPtr<IDispatch> event = PropertyObject(window.Get(), L"event");
            if (document && window && event) {
                const std::wstring character = PropertyText(event.Get(), L"errorCharacter");
                const std::wstring code = PropertyText(event.Get(), L"errorCode");
                const std::wstring message = PropertyText(event.Get(), L"errorMessage");
                const std::wstring url = PropertyText(event.Get(), L"errorUrl");
                const std::wstring line = PropertyText(event.Get(), L"errorline");
                TScriptErrorAction action = FScriptErrorAction;
                OnScriptError(this, line, character, code, message, url, action);
                FScriptErrorAction = action;
            }
        } catch (...) {
        }
    }
    return askUser;
}

bool TCustomPageBrowser::QueryServiceFor(REFGUID service, REFIID iid, void** object)
{
    const bool wanted =
        (IsEqualGUID(service, kIID_INewWindowManager) && OnEvaluateNewWindow.Assigned()) ||
        IsEqualGUID(service, kIID_IProtectFocus) ||
        (IsEqualGUID(service, kIID_IDownloadManager) && OnFileDownload.Assigned()) ||
        (IsEqualGUID(service, kIID_IHostBehaviorInit) && OnPopulateNSTable.Assigned()) ||
        (IsEqualGUID(service, kIID_IHTMLOMWindowServices) &&
         (FFloatingHosting || OnMove.Assigned() || OnMoveBy.Assigned() || OnResize.Assigned() ||
          OnResizeBy.Assigned())) ||
        (IsEqualIID(iid, kIID_IAuthenticate) && OnAuthenticate.Assigned());
    if (!wanted) {
        return false;
    }
    *object = HostInterface(iid);
    return *object != nullptr;
}

bool TCustomPageBrowser::HasPopupMenuFilter() { return OnFilterPopupMenu.Assigned(); }

void TCustomPageBrowser::FilterPopupMenu(DWORD menuId, HMENU menu, IDispatch* context)
{
    if (OnFilterPopupMenu) {
        OnFilterPopupMenu(this, menuId, menu, context);
    }
}

HRESULT TCustomPageBrowser::DoGetHostInfo(DOCHOSTUIINFO* info)
{
    info->cbSize = 20;
    info->dwFlags = FUIFlags;
    info->dwDoubleClick = 0;
    info->pchHostCss = nullptr;
    info->pchHostNS = nullptr;
    if (OnGetHostInfo) {
        OnGetHostInfo(this, *info);
    }
    return S_OK;
}

HRESULT TCustomPageBrowser::ShowContextMenu(DWORD id, POINT* point, IUnknown* commandTarget, IDispatch* context)
{
    HRESULT result = E_NOTIMPL;
    if (OnShowContextMenu) {
        OnShowContextMenu(this, id, point, commandTarget, context, result);
    }
    if (result != E_NOTIMPL) {
        return result;
    }
    if (IsPopupMenuDisabled(FDisabledPopupMenus, id)) {
        if (PopupMenu() != nullptr) {
            POINT cursor{};
            GetCursorPos(&cursor);
            PopupMenu()->Popup(cursor.x, cursor.y);
        }
        return S_OK;
    }
    if (!HasPopupMenuFilter()) {
        return S_FALSE;
    }
    // The host shows the control's own menu, filtered.
    const HMODULE resources = reinterpret_cast<HMODULE>(LoadShdoclc());
    TComPtr<IUnknown> unknown(commandTarget);
    TComPtr<IOleCommandTarget> target = unknown.As<IOleCommandTarget>(IID_IOleCommandTarget);
    TComPtr<IOleWindow> oleWindow = unknown.As<IOleWindow>(IID_IOleWindow);
    HWND window = nullptr;
    if (resources == nullptr || !target || !oleWindow || FAILED(oleWindow->GetWindow(&window)) || window == nullptr) {
        return S_FALSE;
    }
    // The encoding submenu comes from the command target this call received; without it the
    // menu simply has none.
    HMENU encoding = nullptr;
    TOleVariant encodingOut;
    if (SUCCEEDED(target->Exec(&kCGID_ShellDocView, kGetMimeCharsetMenu, OLECMDEXECOPT_DODEFAULT, nullptr,
                               encodingOut.Ptr()))) {
        const VARTYPE t = encodingOut.Type();
        if (t == VT_I4 || t == VT_INT || t == VT_UI4 || t == VT_UINT || t == VT_BYREF) {
            encoding = reinterpret_cast<HMENU>(static_cast<intptr_t>(V_I4(&encodingOut.Value())));
        }
    }
    HMENU menu = LoadMenuW(resources, MAKEINTRESOURCEW(kContextMenuResource));
    if (menu == nullptr) {
        return S_FALSE;
    }
    HMENU sub = GetSubMenu(menu, static_cast<int>(id));
    if (sub == nullptr) {
        DestroyMenu(menu);
        return S_FALSE;
    }
    if (encoding != nullptr && IsMenu(encoding)) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_SUBMENU;
        item.hSubMenu = encoding;
        SetMenuItemInfoW(sub, kEncodingMenuItem, FALSE, &item);
    }
    FilterPopupMenu(id, sub, context);
    const POINT at = point != nullptr ? *point : POINT{0, 0};
    const int command = TrackPopupMenu(sub, kContextMenuTrackFlags, at.x, at.y, 0, window, nullptr);
    if (command != 0) {
        SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(command), 0);
    }
    DestroyMenu(menu);
    return S_OK;
}

HRESULT TCustomPageBrowser::Exec(const GUID* group, DWORD command, DWORD option, VARIANT* in, VARIANT* out)
{
    HRESULT result = kNotSupported;
    if (command == kCmdStop && OnStop) {
        OnStop(this);
    }
    if (SameGuid(group, kCGID_Explorer)) {
        if (command == kCmdUnload && OnUnload) {
            OnUnload(this);
            return S_OK;
        }
        if (command == kCmdPreRefresh) {
            if (OnPreRefresh && PreRefreshDue(GetTickCount())) {
                OnPreRefresh(this);
            }
            if (FReHook && (FindChildWindow(L"Internet Explorer_Server") != nullptr ||
                            FindChildWindow(L"SysListView32") != nullptr)) {
                FReHook();
            }
        }
    } else if (SameGuid(group, kCGID_DocHostCommandHandler)) {
        if (command == kCmdShowScriptError) {
            return DoScriptError(in, out) ? S_FALSE : S_OK;
        }
        if (command == 2300 || command == 6041 || command == 6042) {
            if (OnRefresh) {
                bool cancel = false;
                OnRefresh(this, static_cast<int>(command), cancel);
                if (cancel) {
                    return S_OK;
                }
            }
            return result;
        }
    }
    if (OnCommandExec) {
        OnCommandExec(this, group, command, option, in, out, result);
    }
    return result;
}

HRESULT TCustomPageBrowser::AmbientInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                          EXCEPINFO* info, UINT* argError)
{
    if ((flags & DISPATCH_PROPERTYGET) != 0 && result != nullptr) {
        switch (id) {
        case kDispidAmbientUserAgent:
            if (FUserAgentSource) {
                std::wstring agent;
                FUserAgentSource(agent);
                if (!agent.empty()) {
                    VariantInit(result);
                    V_VT(result) = VT_BSTR;
                    agent.append(L"\r\n");
                    V_BSTR(result) = ToBstr(agent);
                    return S_OK;
                }
            }
            break;
        case kDispidAmbientDLControl:
            VariantInit(result);
            V_VT(result) = VT_I4;
            V_I4(result) = static_cast<LONG>(FDownloadFlags);
            return S_OK;
        case kDispidAmbientUserMode:
            VariantInit(result);
            V_VT(result) = VT_BOOL;
            V_BOOL(result) = FDesignMode ? VARIANT_FALSE : VARIANT_TRUE;
            return S_OK;
        default:
            break;
        }
    }
    if ((flags & DISPATCH_PROPERTYPUT) != 0 && id == kDispidAmbientUserMode && params != nullptr &&
        params->cArgs == 1) {
        // A put of the user mode sets the design-mode flag to its negation.
        FDesignMode = !TOleVariant(params->rgvarg[0]).AsBool();
        return S_OK;
    }
    HRESULT hr = TPGB::AmbientInvoke(id, flags, params, result, info, argError);
    if (hr == DISP_E_MEMBERNOTFOUND && OnInvoke) {
        OnInvoke(this, id, flags, params, result, info, argError, hr);
    }
    return hr;
}

HRESULT TCustomPageBrowser::AmbientGetTypeInfoCount(UINT* count)
{
    HRESULT hr = TPGB::AmbientGetTypeInfoCount(count);
    if (OnGetTypeInfoCount) {
        OnGetTypeInfoCount(this, count, hr);
    }
    return hr;
}

HRESULT TCustomPageBrowser::AmbientGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info)
{
    HRESULT hr = TPGB::AmbientGetTypeInfo(index, lcid, info);
    if (OnGetTypeInfo) {
        OnGetTypeInfo(this, index, lcid, info, hr);
    }
    return hr;
}

HRESULT TCustomPageBrowser::AmbientGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)
{
    HRESULT hr = TPGB::AmbientGetIDsOfNames(iid, names, count, lcid, ids);
    if (OnGetIDsOfNames) {
        OnGetIDsOfNames(this, iid, names, count, lcid, ids, hr);
    }
    return hr;
}

void TCustomPageBrowser::DestroyWnd()
{
    if (Destroying() || !HandleAllocated() || Application == nullptr) {
        TPGB::DestroyWnd();
        return;
    }
    // Park the control's window under the application's window: the control and its page
    // stay alive while this component's window is made again.
    HWND window = HandleValue();
    SetHandle(nullptr);
    ::SetParent(window, Application->Handle());
    FParkedWindow = window;
}

void TCustomPageBrowser::CreateWnd()
{
    if (FParkedWindow != nullptr && IsWindow(FParkedWindow)) {
        HWND window = FParkedWindow;
        FParkedWindow = nullptr;
        SetHandle(window);
        ::SetParent(window, ParentHandle());
        MoveWindow(window, Left(), Top(), Width(), Height(), TRUE);
        UpdateObjectRects();
        return;
    }
    FParkedWindow = nullptr;
    TPGB::CreateWnd();
}
