#include "FakeBrowser.h"

#include "lectern/browser/SHDocVw_PGBWin.h"

#include <olectl.h>

#include <algorithm>

namespace {

FakeBrowser* gLast = nullptr;
DWORD gCookie = 0;

void RegisterWindowClass(const wchar_t* name)
{
    WNDCLASSW wc{};
    if (GetClassInfoW(GetModuleHandleW(nullptr), name, &wc)) {
        return;
    }
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&wc);
}

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
Factory gFactory;

}  // namespace

HRESULT Factory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    auto* fake = new FakeBrowser();
    const HRESULT hr = fake->QueryInterface(iid, object);
    fake->Release();
    return hr;
}

void FakeBrowser::Register()
{
    gLast = nullptr;
    if (gCookie == 0) {
        CoRegisterClassObject(kCLSID_WebBrowser, &gFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &gCookie);
    }
    RegisterWindowClass(L"Shell Embedding");
    RegisterWindowClass(L"Shell DocObject View");
    RegisterWindowClass(L"Internet Explorer_Server");
}

void FakeBrowser::Revoke()
{
    if (gCookie != 0) {
        CoRevokeClassObject(gCookie);
        gCookie = 0;
    }
    gLast = nullptr;
}

FakeBrowser* FakeBrowser::Last() { return gLast; }

FakeBrowser::~FakeBrowser()
{
    if (gLast == this) {
        gLast = nullptr;
    }
    if (window != nullptr && IsWindow(window)) {
        DestroyWindow(window);
    }
}

ULONG FakeBrowser::Release()
{
    const ULONG n = --FRefs;
    if (n == 0) {
        delete this;
    }
    return n;
}

HRESULT FakeBrowser::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject)) {
        *object = static_cast<IOleObject*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
        *object = static_cast<IOleInPlaceObject*>(this);
    } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kIID_IWebBrowser2)) {
        *object = static_cast<IWebBrowser2*>(this);
    } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
        *object = static_cast<IConnectionPointContainer*>(this);
    } else if (IsEqualIID(iid, IID_IOleControl)) {
        *object = static_cast<IOleControl*>(this);
    } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
        *object = static_cast<IOleInPlaceActiveObject*>(this);
    }
    if (*object == nullptr) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

void FakeBrowser::Record(const char* name, std::initializer_list<const VARIANT*> args)
{
    FakeCall call;
    call.name = name;
    for (const VARIANT* v : args) {
        call.args.emplace_back(v != nullptr ? TOleVariant(*v) : TOleVariant());
    }
    calls.push_back(std::move(call));
}

HRESULT FakeBrowser::SetClientSite(IOleClientSite* clientSite)
{
    if (gLast == nullptr || gLast == this) {
        gLast = this;
    }
    gLast = this;
    if (site != nullptr) {
        site->Release();
    }
    site = clientSite;
    if (site != nullptr) {
        site->AddRef();
    }
    return S_OK;
}

HRESULT FakeBrowser::GetClientSite(IOleClientSite** clientSite)
{
    *clientSite = site;
    if (site != nullptr) {
        site->AddRef();
    }
    return S_OK;
}

HRESULT FakeBrowser::Close(DWORD)
{
    calls.push_back({"Close", {}, {}});
    InPlaceDeactivate();
    return S_OK;
}

HRESULT FakeBrowser::GetMiscStatus(DWORD, DWORD* status)
{
    *status = OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
}

HRESULT FakeBrowser::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND parent, LPCRECT rect)
{
    if (verb == OLEIVERB_UIACTIVATE) {
        calls.push_back({"UIActivate", {}, {}});
        if (window != nullptr) {
            SetFocus(server);
        }
        return S_OK;
    }
    if (verb != OLEIVERB_INPLACEACTIVATE) {
        return E_NOTIMPL;
    }
    IOleClientSite* s = activeSite != nullptr ? activeSite : site;
    TComPtr<IOleInPlaceSite> inPlace;
    if (s == nullptr || FAILED(s->QueryInterface(IID_IOleInPlaceSite, inPlace.PutVoid()))) {
        return E_FAIL;
    }
    if (inPlace->CanInPlaceActivate() != S_OK) {
        return E_FAIL;
    }
    inPlace->OnInPlaceActivate();
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> doc;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof info;
    inPlace->GetWindowContext(frame.Put(), doc.Put(), &pos, &clip, &info);
    HWND siteWindow = nullptr;
    inPlace->GetWindow(&siteWindow);
    if (siteWindow != parent) {
        return E_INVALIDARG;
    }
    ++activations;
    if (window == nullptr || !IsWindow(window)) {
        window = CreateWindowExW(0, L"Shell Embedding", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rect->left,
                                 rect->top, rect->right - rect->left, rect->bottom - rect->top, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        docView = CreateWindowExW(0, L"Shell DocObject View", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  rect->right - rect->left, rect->bottom - rect->top, window, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        server = CreateWindowExW(0, L"Internet Explorer_Server", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0,
                                 rect->right - rect->left, rect->bottom - rect->top, docView, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    } else {
        SetParent(window, parent);
    }
    return window != nullptr ? S_OK : E_FAIL;
}

HRESULT FakeBrowser::GetWindow(HWND* w)
{
    *w = window;
    return window != nullptr ? S_OK : E_FAIL;
}

HRESULT FakeBrowser::InPlaceDeactivate()
{
    if (window == nullptr) {
        return S_OK;
    }
    ++deactivations;
    DestroyWindow(window);
    window = docView = server = nullptr;
    if (site != nullptr) {
        TComPtr<IOleInPlaceSite> inPlace;
        if (SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSite, inPlace.PutVoid()))) {
            inPlace->OnInPlaceDeactivate();
        }
    }
    return S_OK;
}

HRESULT FakeBrowser::SetObjectRects(LPCRECT pos, LPCRECT)
{
    if (window != nullptr && pos != nullptr) {
        MoveWindow(window, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        MoveWindow(docView, 0, 0, pos->right - pos->left, pos->bottom - pos->top, TRUE);
        MoveWindow(server, 0, 0, pos->right - pos->left, pos->bottom - pos->top, TRUE);
    }
    return S_OK;
}

HRESULT FakeBrowser::GetTypeInfoCount(UINT* n)
{
    *n = 0;
    return S_OK;
}

HRESULT FakeBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                            UINT*)
{
    if ((flags & DISPATCH_PROPERTYPUT) != 0) {
        if (params == nullptr || params->cArgs != 1) {
            return DISP_E_BADPARAMCOUNT;
        }
        calls.push_back({"put " + std::to_string(id), {TOleVariant(params->rgvarg[0])}, {}});
        properties[id] = TOleVariant(params->rgvarg[0]);
        return S_OK;
    }
    calls.push_back({"get " + std::to_string(id), {}, {}});
    if (id == kDispidApplication) {
        if (result != nullptr) {
            V_VT(result) = VT_DISPATCH;
            V_DISPATCH(result) = static_cast<IWebBrowser2*>(this);
            AddRef();
        }
        return S_OK;
    }
    const auto it = properties.find(id);
    if (it == properties.end()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr) {
        VariantCopy(result, const_cast<VARIANT*>(&it->second.Value()));
    }
    return S_OK;
}

HRESULT FakeBrowser::GoBack()
{
    calls.push_back({"GoBack", {}, {}});
    return E_FAIL;   // no history
}

HRESULT FakeBrowser::GoForward()
{
    calls.push_back({"GoForward", {}, {}});
    return E_FAIL;
}

HRESULT FakeBrowser::Stop()
{
    calls.push_back({"Stop", {}, {}});
    return E_FAIL;
}

HRESULT FakeBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* post, VARIANT* headers)
{
    TOleVariant u{std::wstring(FromBstr(url))};
    Record("Navigate", {&u.Value(), flags, frame, post, headers});
    return S_OK;
}

HRESULT FakeBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* frame, VARIANT* post, VARIANT* headers)
{
    Record("Navigate2", {url, flags, frame, post, headers});
    return S_OK;
}

HRESULT FakeBrowser::ExecWB(OLECMDID cmd, OLECMDEXECOPT opt, VARIANT* in, VARIANT* out)
{
    TOleVariant c(static_cast<int>(cmd)), o(static_cast<int>(opt));
    Record("ExecWB", {&c.Value(), &o.Value(), in});
    calls.back().outTypes.push_back(out != nullptr ? V_VT(out) : VARTYPE(0xFFFF));
    if (out != nullptr) {
        // A real control writes its answer here; a shared output would keep it.
        VariantClear(out);
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = SysAllocString(L"answer");
    }
    return execResult;
}

HRESULT FakeBrowser::get_Application(IDispatch** d)
{
    *d = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
}

HRESULT FakeBrowser::get_Document(IDispatch** d)
{
    *d = nullptr;
    const auto it = properties.find(kDispidDocument);
    if (it != properties.end() && it->second.Type() == VT_DISPATCH) {
        *d = V_DISPATCH(&it->second.Value());
        if (*d != nullptr) {
            (*d)->AddRef();
        }
    }
    return S_OK;
}

HRESULT FakeBrowser::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!IsEqualIID(iid, kDIID_DWebBrowserEvents2)) {
        *point = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    *point = &FPoint;
    AddRef();
    return S_OK;
}

HRESULT FakeBrowser::Point::QueryInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = this;
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT FakeBrowser::Point::Advise(IUnknown* sinkUnknown, DWORD* cookie)
{
    IDispatch* d = nullptr;
    if (FAILED(sinkUnknown->QueryInterface(kDIID_DWebBrowserEvents2, reinterpret_cast<void**>(&d)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    if (FOwner->sink != nullptr) {
        FOwner->sink->Release();
    }
    FOwner->sink = d;
    *cookie = 1;
    return S_OK;
}

HRESULT FakeBrowser::Point::Unadvise(DWORD)
{
    if (FOwner->sink != nullptr) {
        std::exchange(FOwner->sink, nullptr)->Release();
    }
    return S_OK;
}

HRESULT FakeBrowser::OnAmbientPropertyChange(DISPID id)
{
    ambientChanges.push_back(id);
    return S_OK;
}

HRESULT FakeBrowser::Fire(DISPID id, std::vector<VARIANT> args)
{
    if (sink == nullptr) {
        return E_FAIL;
    }
    std::reverse(args.begin(), args.end());
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    return sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}
