#include "OleCtrls.h"

#include "Forms.h"

#include <olectl.h>

namespace {

// The ambient properties the base answers.
constexpr DISPID kDispidAmbientBackColor = -701;
constexpr DISPID kDispidAmbientDisplayName = -702;
constexpr DISPID kDispidAmbientForeColor = -704;
constexpr DISPID kDispidAmbientLocaleId = -705;
constexpr DISPID kDispidAmbientMessageReflect = -706;
constexpr DISPID kDispidAmbientUIDead = -710;
constexpr DISPID kDispidAmbientShowHatching = -711;
constexpr DISPID kDispidAmbientShowGrabHandles = -712;
constexpr DISPID kDispidAmbientSupportsMnemonics = -714;
constexpr DISPID kDispidAmbientAutoClip = -715;

void SetBoolResult(VARIANT* result, bool value)
{
    V_VT(result) = VT_BOOL;
    V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

// ---- the in-place frame ---------------------------------------------------------------------

class TOleInPlaceFrame final : public IOleInPlaceFrame, private TComRefCounted {
public:
    explicit TOleInPlaceFrame(TOleControl* control) : FControl(control) {}
    void Disconnect() { FControl = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
            IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
            *object = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        return ComGuard([&]() -> HRESULT {
            if (window == nullptr) {
                return E_POINTER;
            }
            *window = nullptr;
            if (FControl == nullptr) {
                return E_UNEXPECTED;
            }
            TForm* form = GetParentForm(FControl);
            *window = form != nullptr && form->HandleAllocated() ? form->HandleValue() : FControl->ParentHandle();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    TOleControl* FControl;
};

// ---- the client site ------------------------------------------------------------------------

class TOleClientSite final : public IOleClientSite,
                             public IOleInPlaceSite,
                             public IOleControlSite,
                             public IDispatch,
                             private TComRefCounted {
public:
    explicit TOleClientSite(TOleControl* control) : FControl(control) {}
    void Disconnect() { FControl = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        return ComGuard([&]() -> HRESULT {
            if (object == nullptr) {
                return E_POINTER;
            }
            *object = nullptr;
            if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
                *object = static_cast<IOleClientSite*>(this);
            } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
                *object = static_cast<IOleInPlaceSite*>(this);
            } else if (IsEqualIID(iid, IID_IOleControlSite)) {
                *object = static_cast<IOleControlSite*>(this);
            } else if (IsEqualIID(iid, IID_IDispatch)) {
                *object = static_cast<IDispatch*>(this);
            }
            if (*object != nullptr) {
                AddRef();
                return S_OK;
            }
            if (FControl == nullptr) {
                return E_NOINTERFACE;
            }
            return FControl->QueryHostInterface(iid, object);
        });
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker != nullptr) {
            *moniker = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override
    {
        if (container != nullptr) {
            *container = nullptr;
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow / IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override
    {
        return ComGuard([&]() -> HRESULT {
            if (window == nullptr) {
                return E_POINTER;
            }
            *window = FControl != nullptr ? FControl->ParentHandle() : nullptr;
            return *window != nullptr ? S_OK : E_FAIL;
        });
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return FControl != nullptr ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override
    {
        return ComGuard([&]() -> HRESULT {
            if (FControl != nullptr && FControl->FOleObject && !FControl->FOleInPlaceObject) {
                FControl->FOleObject->QueryInterface(IID_IOleInPlaceObject, FControl->FOleInPlaceObject.PutVoid());
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT posRect,
                                               LPRECT clipRect, LPOLEINPLACEFRAMEINFO frameInfo) override
    {
        return ComGuard([&]() -> HRESULT {
            if (frame == nullptr || doc == nullptr || posRect == nullptr || clipRect == nullptr) {
                return E_POINTER;
            }
            *frame = nullptr;
            *doc = nullptr;
            if (FControl == nullptr) {
                return E_UNEXPECTED;
            }
            if (FControl->FFrame != nullptr) {
                FControl->FFrame->AddRef();
                *frame = FControl->FFrame;
            }
            *posRect = FControl->BoundsRect();
            *clipRect = *posRect;
            if (frameInfo != nullptr) {
                frameInfo->fMDIApp = FALSE;
                TForm* form = GetParentForm(FControl);
                frameInfo->hwndFrame = form != nullptr && form->HandleAllocated() ? form->HandleValue()
                                                                                  : FControl->ParentHandle();
                frameInfo->haccel = nullptr;
                frameInfo->cAccelEntries = 0;
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override
    {
        return ComGuard([&]() -> HRESULT {
            if (FControl != nullptr) {
                FControl->FOleInPlaceObject.Reset();
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override
    {
        return ComGuard([&]() -> HRESULT {
            if (FControl != nullptr && FControl->FOleInPlaceObject && rect != nullptr) {
                FControl->FOleInPlaceObject->SetObjectRects(rect, rect);
            }
            return S_OK;
        });
    }

    // IOleControlSite
    HRESULT STDMETHODCALLTYPE OnControlInfoChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockInPlaceActive(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetExtendedControl(IDispatch** disp) override
    {
        if (disp != nullptr) {
            *disp = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnFocus(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ShowPropertyFrame() override { return E_NOTIMPL; }

    // IDispatch: the ambient properties
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        return ComGuard([&]() -> HRESULT {
            if (FControl == nullptr) {
                return E_UNEXPECTED;
            }
            return FControl->AmbientGetTypeInfoCount(count);
        });
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override
    {
        return ComGuard([&]() -> HRESULT {
            if (FControl == nullptr) {
                return E_UNEXPECTED;
            }
            return FControl->AmbientGetTypeInfo(index, lcid, info);
        });
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override
    {
        return ComGuard([&]() -> HRESULT {
            if (FControl == nullptr) {
                return E_UNEXPECTED;
            }
            return FControl->AmbientGetIDsOfNames(iid, names, count, lcid, ids);
        });
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* argError) override
    {
        if (FControl == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        try {
            return FControl->AmbientInvoke(id, flags, params, result, info, argError);
        } catch (const Exception& e) {
            // A class-layer exception becomes the automation exception record.
            if (info != nullptr) {
                *info = EXCEPINFO{};
                info->scode = 9999;
                info->bstrDescription = ToBstr(ToWide(e.Message()));
                info->bstrSource = ToBstr(ToWide(e.ClassName()));
                info->dwHelpContext = 0;
            }
            return DISP_E_EXCEPTION;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }

private:
    TOleControl* FControl;
};

// ---- the event sink -------------------------------------------------------------------------

class TOleEventSink final : public IDispatch, private TComRefCounted {
public:
    TOleEventSink(TOleControl* control, const IID& eventIID) : FControl(control), FEventIID(eventIID) {}
    void Disconnect() { FControl = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, FEventIID)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count != nullptr) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info != nullptr) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override
    {
        try {
            if (FControl == nullptr) {
                return S_OK;
            }
            const int index = FControl->EventIndex(id);
            if (index < 0) {
                return DISP_E_MEMBERNOTFOUND;
            }
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            FControl->InvokeEvent(index, id, params != nullptr ? *params : none);
        } catch (const std::exception& e) {
            if (Application != nullptr) {
                Application->HandleException(FControl, e);
            }
        } catch (...) {
        }
        return S_OK;
    }

private:
    TOleControl* FControl;
    IID FEventIID;
};

// ---- TOleControl ----------------------------------------------------------------------------

TOleControl::TOleControl(TComponent* owner) : TWinControl(owner) {}

TOleControl::~TOleControl()
{
    DestroyHandle();
    DestroyControl();
}

void TOleControl::CreateControl()
{
    if (FOleObject) {
        return;
    }
    InitControlData();
    Assert(FControlData != nullptr, "TOleControl: no control data");
    FSite = new TOleClientSite(this);
    FFrame = new TOleInPlaceFrame(this);

    TComPtr<IUnknown> unknown;
    OleCheck(CoCreateInstance(FControlData->ClassID, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IUnknown, unknown.PutVoid()));
    FOleObject = ComCast<IOleObject>(unknown, IID_IOleObject);
    FOleObject->GetMiscStatus(DVASPECT_CONTENT, &FMiscStatus);
    if ((FMiscStatus & OLEMISC_SETCLIENTSITEFIRST) != 0) {
        OleCheck(FOleObject->SetClientSite(FSite));
    }
    if (auto init = unknown.As<IPersistStreamInit>(IID_IPersistStreamInit)) {
        init->InitNew();
    }
    if ((FMiscStatus & OLEMISC_SETCLIENTSITEFIRST) == 0) {
        OleCheck(FOleObject->SetClientSite(FSite));
    }
    unknown->QueryInterface(IID_IDispatch, FControlDispatch.PutVoid());

    // The event connection; a control without one simply fires nothing.
    if (auto container = unknown.As<IConnectionPointContainer>(IID_IConnectionPointContainer)) {
        if (SUCCEEDED(container->FindConnectionPoint(FControlData->EventIID, FEventsConnection.Put()))) {
            FEventSink = new TOleEventSink(this, FControlData->EventIID);
            if (FAILED(FEventsConnection->Advise(FEventSink, &FEventsCookie))) {
                FEventsConnection.Reset();
                FEventsCookie = 0;
            }
        }
    }
}

void TOleControl::DestroyControl()
{
    if (FEventsConnection) {
        FEventsConnection->Unadvise(FEventsCookie);
        FEventsConnection.Reset();
    }
    FOleInPlaceObject.Reset();
    if (FOleObject) {
        FOleObject->Close(OLECLOSE_NOSAVE);
        FOleObject->SetClientSite(nullptr);
        FOleObject.Reset();
    }
    FControlDispatch.Reset();
    // The COM objects may outlive the component inside the control: they forget it first.
    if (FEventSink != nullptr) {
        FEventSink->Disconnect();
        std::exchange(FEventSink, nullptr)->Release();
    }
    if (FFrame != nullptr) {
        FFrame->Disconnect();
        std::exchange(FFrame, nullptr)->Release();
    }
    if (FSite != nullptr) {
        FSite->Disconnect();
        std::exchange(FSite, nullptr)->Release();
    }
}

TComPtr<IUnknown> TOleControl::OleObject() const
{
    TComPtr<IUnknown> r;
    if (FOleObject) {
        FOleObject->QueryInterface(IID_IUnknown, r.PutVoid());
    }
    return r;
}

int TOleControl::EventIndex(DISPID id) const
{
    if (FControlData == nullptr) {
        return -1;
    }
    for (int i = 0; i < FControlData->EventCount; ++i) {
        if (FControlData->EventDispIDs[i] == id) {
            return i;
        }
    }
    return -1;
}

TOleVariant TOleControl::GetProperty(DISPID id) const
{
    if (!FControlDispatch) {
        OleError(E_NOINTERFACE);
    }
    return GetDispatchProperty(FControlDispatch.Get(), id);
}

void TOleControl::SetProperty(DISPID id, const TOleVariant& value)
{
    if (!FControlDispatch) {
        OleError(E_NOINTERFACE);
    }
    SetDispatchProperty(FControlDispatch.Get(), id, value);
}

HRESULT TOleControl::QueryHostInterface(REFIID, void** object)
{
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TOleControl::AmbientInvoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*)
{
    if ((flags & DISPATCH_PROPERTYGET) == 0 || result == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    VariantInit(result);
    switch (id) {
    case kDispidAmbientUserMode:
        SetBoolResult(result, !DesignMode());
        return S_OK;
    case kDispidAmbientUIDead:
    case kDispidAmbientShowHatching:
    case kDispidAmbientShowGrabHandles:
        SetBoolResult(result, false);
        return S_OK;
    case kDispidAmbientMessageReflect:
    case kDispidAmbientSupportsMnemonics:
    case kDispidAmbientAutoClip:
        SetBoolResult(result, true);
        return S_OK;
    case kDispidAmbientLocaleId:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(GetUserDefaultLCID());
        return S_OK;
    case kDispidAmbientBackColor:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(GetSysColor(COLOR_WINDOW));
        return S_OK;
    case kDispidAmbientForeColor:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(GetSysColor(COLOR_WINDOWTEXT));
        return S_OK;
    case kDispidAmbientDisplayName:
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = ToBstr(ToWide(Name()));
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT TOleControl::AmbientGetTypeInfoCount(UINT* count)
{
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT TOleControl::AmbientGetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TOleControl::AmbientGetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HWND TOleControl::ParentHandle() const
{
    if (Parent() != nullptr) {
        return Parent()->Handle();
    }
    return ParentWindow();
}

IOleClientSite* TOleControl::ClientSite() const { return FSite; }

void TOleControl::UpdateObjectRects()
{
    if (FOleInPlaceObject) {
        const RECT r = BoundsRect();
        FOleInPlaceObject->SetObjectRects(&r, &r);
    }
}

void TOleControl::SetBounds(int left, int top, int width, int height)
{
    TWinControl::SetBounds(left, top, width, height);
    UpdateObjectRects();
}

void TOleControl::CreateWnd()
{
    CreateControl();
    HWND parent = ParentHandle();
    if (parent == nullptr) {
        throw EOleError("Control has no parent window");
    }
    RECT bounds = BoundsRect();
    OleCheck(FOleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, FSite, 0, parent, &bounds));
    if (!FOleInPlaceObject) {
        FOleObject->QueryInterface(IID_IOleInPlaceObject, FOleInPlaceObject.PutVoid());
    }
    HWND window = nullptr;
    if (!FOleInPlaceObject || FAILED(FOleInPlaceObject->GetWindow(&window)) || window == nullptr) {
        throw EOleError("Cannot activate control");
    }
    SetHandle(window);
    UpdateObjectRects();
    ShowWindow(window, Visible() ? SW_SHOWNA : SW_HIDE);
}

void TOleControl::WndProc(TMessage& message)
{
    if (message.Msg >= CN_KEYDOWN && message.Msg <= CN_SYSCHAR && FOleObject) {
        TComPtr<IOleInPlaceActiveObject> active =
            TComPtr<IOleObject>(FOleObject).As<IOleInPlaceActiveObject>(IID_IOleInPlaceActiveObject);
        if (active) {
            MSG msg{};
            msg.hwnd = GetFocus();
            msg.message = message.Msg - CN_BASE;
            msg.wParam = message.WParam;
            msg.lParam = message.LParam;
            msg.time = static_cast<DWORD>(GetMessageTime());
            if (active->TranslateAccelerator(&msg) == S_OK) {
                message.Result = 1;
                return;
            }
        }
    }
    TWinControl::WndProc(message);
}

void TOleControl::DestroyWnd()
{
    if (!HandleAllocated()) {
        return;
    }
    SetHandle(nullptr);
    if (FOleInPlaceObject) {
        FOleInPlaceObject->InPlaceDeactivate();
        FOleInPlaceObject.Reset();
    }
}
