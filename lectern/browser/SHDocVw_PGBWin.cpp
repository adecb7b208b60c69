// The web-browser control as a windowed component (see SHDocVw_PGB.h and SHDocVw_PGBWin.h).
// Built in the Windows tree only.
#include "SHDocVw_PGBWin.h"

#include "classlib/Forms.h"

#include <cstring>

// ---- TPGB -------------------------------------------------------------------------------------

const DISPID kPGBEventDispIDs[kPGBEventCount] = {
    102, 108, 105, 106, 104, 113, 112, 250, 251, 252, 259, 253, 254, 255, 256, 257, 258,
    260, 261, 262, 264, 265, 266, 267, 263, 268, 269, 270, 271, 225, 226, 227, 272, 273,
};

namespace {

const TControlData kPGBControlData = {
    kCLSID_WebBrowser, kDIID_DWebBrowserEvents2, kPGBEventCount, kPGBEventDispIDs, 0, 401,
};

// Event arguments: the platform passes them last first; index is the natural position.
class TEventArgs {
public:
    explicit TEventArgs(DISPPARAMS& params) : FParams(params) {}

    VARIANT& Raw(UINT index)
    {
        if (index >= FParams.cArgs) {
            throw EOleError("Missing event argument");
        }
        return FParams.rgvarg[FParams.cArgs - 1 - index];
    }
    // The variant itself, or the one a by-reference variant points to.
    VARIANT& Var(UINT index)
    {
        VARIANT& v = Raw(index);
        if (V_VT(&v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&v) != nullptr) {
            return *V_VARIANTREF(&v);
        }
        return v;
    }
    IDispatch* Dispatch(UINT index)
    {
        VARIANT& v = Var(index);
        if (V_VT(&v) == VT_DISPATCH) {
            return V_DISPATCH(&v);
        }
        if (V_VT(&v) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(&v) != nullptr) {
            return *V_DISPATCHREF(&v);
        }
        return nullptr;
    }
    bool Bool(UINT index)
    {
        VARIANT& v = Var(index);
        if (V_VT(&v) == (VT_BOOL | VT_BYREF)) {
            return V_BOOLREF(&v) != nullptr && *V_BOOLREF(&v) != VARIANT_FALSE;
        }
        return TOleVariant(v).AsBool();
    }
    int Int(UINT index)
    {
        VARIANT& v = Var(index);
        if (V_VT(&v) == (VT_I4 | VT_BYREF)) {
            return V_I4REF(&v) != nullptr ? *V_I4REF(&v) : 0;
        }
        return TOleVariant(v).AsInteger();
    }
    std::wstring Str(UINT index) { return TOleVariant(Var(index)).AsWide(); }

    // Writes a by-reference WordBool or Integer back (nothing for a by-value argument).
    void SetBool(UINT index, bool value)
    {
        VARIANT& v = Var(index);
        if (V_VT(&v) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&v) != nullptr) {
            *V_BOOLREF(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
        }
    }
    void SetInt(UINT index, int value)
    {
        VARIANT& v = Var(index);
        if (V_VT(&v) == (VT_I4 | VT_BYREF) && V_I4REF(&v) != nullptr) {
            *V_I4REF(&v) = value;
        }
    }
    // Writes a by-reference IDispatch back when the handler changed it: the handler lent the
    // object, the control gets a reference of its own (see TWebBrowserNewWindow2).
    void SetDispatch(UINT index, IDispatch* before, IDispatch* after)
    {
        if (before == after) {
            return;
        }
        VARIANT& v = Var(index);
        if (V_VT(&v) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(&v) != nullptr) {
            if (after != nullptr) {
                after->AddRef();
            }
            if (*V_DISPATCHREF(&v) != nullptr) {
                (*V_DISPATCHREF(&v))->Release();
            }
            *V_DISPATCHREF(&v) = after;
        }
    }

private:
    DISPPARAMS& FParams;
};

}  // namespace

TPGB::TPGB(TComponent* owner) : TOleControl(owner)
{
    SetTabStop(true);
    CreateControl();
}

TPGB::~TPGB() { FIntf.Reset(); }

void TPGB::InitControlData() { FControlData = &kPGBControlData; }

void TPGB::ConnectBrowser()
{
    if (!FIntf) {
        FIntf = ComCast<IWebBrowser2>(OleObject(), kIID_IWebBrowser2);
    }
}

TComPtr<IWebBrowser2> TPGB::BrowserIntf()
{
    ConnectBrowser();
    return FIntf;
}

void TPGB::Navigate(const std::wstring& URL)
{
    TOleVariant empty1, empty2, empty3, empty4;
    BSTR url = ToBstr(URL);
    const HRESULT hr = BrowserIntf()->Navigate(url, empty1.Ptr(), empty2.Ptr(), empty3.Ptr(), empty4.Ptr());
    SysFreeString(url);
    OleCheck(hr);
}

void TPGB::NavigateFlags(const std::wstring& URL, const TOleVariant& Flags)
{
    TOleVariant flags(Flags), empty2, empty3, empty4;
    BSTR url = ToBstr(URL);
    const HRESULT hr = BrowserIntf()->Navigate(url, flags.Ptr(), empty2.Ptr(), empty3.Ptr(), empty4.Ptr());
    SysFreeString(url);
    OleCheck(hr);
}

void TPGB::Navigate2(TOleVariant& URL, TOleVariant& Flags, TOleVariant& TargetFrameName, TOleVariant& PostData,
                     TOleVariant& Headers)
{
    OleCheck(BrowserIntf()->Navigate2(URL.Ptr(), Flags.Ptr(), TargetFrameName.Ptr(), PostData.Ptr(), Headers.Ptr()));
}

void TPGB::ExecWB(int cmdID, int cmdexecopt, TOleVariant& vaIn)
{
    TOleVariant vaOut;
    OleCheck(BrowserIntf()->ExecWB(static_cast<OLECMDID>(cmdID), static_cast<OLECMDEXECOPT>(cmdexecopt), vaIn.Ptr(),
                                   vaOut.Ptr()));
}

void TPGB::GoBack() { OleCheck(BrowserIntf()->GoBack()); }
void TPGB::GoForward() { OleCheck(BrowserIntf()->GoForward()); }
void TPGB::Stop() { OleCheck(BrowserIntf()->Stop()); }
void TPGB::Refresh() { OleCheck(BrowserIntf()->Refresh()); }

void TPGB::InvokeEvent(int index, DISPID, DISPPARAMS& params)
{
    TEventArgs a(params);
    auto boolEvent = [&](const TWebBrowserBoolEvent& e) {
        if (e) {
            e(this, a.Bool(0));
        }
    };
    auto intEvent = [&](const TWebBrowserIntEvent& e) {
        if (e) {
            e(this, a.Int(0));
        }
    };
    auto textEvent = [&](const TWebBrowserTextEvent& e) {
        if (e) {
            e(this, a.Str(0));
        }
    };
    auto notify = [&](const TNotifyEvent& e) {
        if (e) {
            e(this);
        }
    };
    switch (static_cast<TPGBEvent>(index)) {
    case TPGBEvent::StatusTextChange: textEvent(OnStatusTextChange); break;
    case TPGBEvent::ProgressChange:
        if (OnProgressChange) {
            OnProgressChange(this, a.Int(0), a.Int(1));
        }
        break;
    case TPGBEvent::CommandStateChange:
        if (OnCommandStateChange) {
            OnCommandStateChange(this, a.Int(0), a.Bool(1));
        }
        break;
    case TPGBEvent::DownloadBegin: notify(OnDownloadBegin); break;
    case TPGBEvent::DownloadComplete: notify(OnDownloadComplete); break;
    case TPGBEvent::TitleChange: textEvent(OnTitleChange); break;
    case TPGBEvent::PropertyChange: textEvent(OnPropertyChange); break;
    case TPGBEvent::BeforeNavigate2:
        if (OnBeforeNavigate2) {
            bool cancel = a.Bool(6);
            OnBeforeNavigate2(this, a.Dispatch(0), a.Var(1), a.Var(2), a.Var(3), a.Var(4), a.Var(5), cancel);
            a.SetBool(6, cancel);
        }
        break;
    case TPGBEvent::NewWindow2:
        if (OnNewWindow2) {
            IDispatch* const before = a.Dispatch(0);
            IDispatch* disp = before;
            bool cancel = a.Bool(1);
            OnNewWindow2(this, disp, cancel);
            a.SetDispatch(0, before, disp);
            a.SetBool(1, cancel);
        }
        break;
    case TPGBEvent::NavigateComplete2:
        if (OnNavigateComplete2) {
            OnNavigateComplete2(this, a.Dispatch(0), a.Var(1));
        }
        break;
    case TPGBEvent::DocumentComplete:
        if (OnDocumentComplete) {
            OnDocumentComplete(this, a.Dispatch(0), a.Var(1));
        }
        break;
    case TPGBEvent::Quit: notify(OnQuit); break;
    case TPGBEvent::Visible: boolEvent(OnVisible); break;
    case TPGBEvent::ToolBar: boolEvent(OnToolBar); break;
    case TPGBEvent::MenuBar: boolEvent(OnMenuBar); break;
    case TPGBEvent::StatusBar: boolEvent(OnStatusBar); break;
    case TPGBEvent::FullScreen: boolEvent(OnFullScreen); break;
    case TPGBEvent::TheaterMode: boolEvent(OnTheaterMode); break;
    case TPGBEvent::AddressBar: boolEvent(OnAddressBar); break;
    case TPGBEvent::WindowSetResizable: boolEvent(OnWindowSetResizable); break;
    case TPGBEvent::WindowSetLeft: intEvent(OnWindowSetLeft); break;
    case TPGBEvent::WindowSetTop: intEvent(OnWindowSetTop); break;
    case TPGBEvent::WindowSetWidth: intEvent(OnWindowSetWidth); break;
    case TPGBEvent::WindowSetHeight: intEvent(OnWindowSetHeight); break;
    case TPGBEvent::WindowClosing:
        if (OnWindowClosing) {
            bool cancel = a.Bool(1);
            OnWindowClosing(this, a.Bool(0), cancel);
            a.SetBool(1, cancel);
        }
        break;
    case TPGBEvent::ClientToHostWindow:
        if (OnClientToHostWindow) {
            int cx = a.Int(0);
            int cy = a.Int(1);
            OnClientToHostWindow(this, cx, cy);
            a.SetInt(0, cx);
            a.SetInt(1, cy);
        }
        break;
    case TPGBEvent::SetSecureLockIcon: intEvent(OnSetSecureLockIcon); break;
    case TPGBEvent::FileDownload:
        if (OnFileDownload) {
            // The control passes ActiveDocument first on later versions: Cancel is the last.
            const UINT last = params.cArgs > 0 ? params.cArgs - 1 : 0;
            bool cancel = a.Bool(last);
            OnFileDownload(this, cancel);
            a.SetBool(last, cancel);
        }
        break;
    case TPGBEvent::NavigateError:
        if (OnNavigateError) {
            bool cancel = a.Bool(4);
            OnNavigateError(this, a.Dispatch(0), a.Var(1), a.Var(2), a.Var(3), cancel);
            a.SetBool(4, cancel);
        }
        break;
    case TPGBEvent::PrintTemplateInstantiation:
        if (OnPrintTemplateInstantiation) {
            OnPrintTemplateInstantiation(this, a.Dispatch(0));
        }
        break;
    case TPGBEvent::PrintTemplateTeardown:
        if (OnPrintTemplateTeardown) {
            OnPrintTemplateTeardown(this, a.Dispatch(0));
        }
        break;
    case TPGBEvent::UpdatePageStatus:
        if (OnUpdatePageStatus) {
            OnUpdatePageStatus(this, a.Dispatch(0), a.Var(1), a.Var(2));
        }
        break;
    case TPGBEvent::PrivacyImpactedStateChange: boolEvent(OnPrivacyImpactedStateChange); break;
    case TPGBEvent::NewWindow3:
        if (OnNewWindow3) {
            IDispatch* const before = a.Dispatch(0);
            IDispatch* disp = before;
            bool cancel = a.Bool(1);
            OnNewWindow3(this, disp, cancel, static_cast<uint32_t>(a.Int(2)), a.Str(3), a.Str(4));
            a.SetDispatch(0, before, disp);
            a.SetBool(1, cancel);
        }
        break;
    }
}

// ---- window and string helpers ------------------------------------------------------------------

std::wstring GetWindowClassNameW(HWND window)
{
    if (window == nullptr || !IsWindow(window)) {
        return {};
    }
    wchar_t buffer[256]{};
    const int n = GetClassNameW(window, buffer, 256);
    return std::wstring(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

bool WindowClassIs(HWND window, const std::wstring& className)
{
    wchar_t buffer[256]{};
    const int n = GetClassNameW(window, buffer, 256);
    return CompareStringW(LOCALE_USER_DEFAULT, 0, buffer, n, className.c_str(), static_cast<int>(className.size())) ==
           CSTR_EQUAL;
}

HWND FindParentByClass(HWND window, const std::wstring& className)
{
    if (window == nullptr) {
        return nullptr;
    }
    for (HWND w = GetParent(window); w != nullptr && IsWindow(w); w = GetParent(w)) {
        if (WindowClassIs(w, className)) {
            return w;
        }
    }
    return nullptr;
}

wchar_t* StrToCoTaskWide(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    auto* buffer = static_cast<wchar_t*>(CoTaskMemAlloc((static_cast<size_t>(n) + 1) * sizeof(wchar_t)));
    if (buffer == nullptr) {
        return nullptr;
    }
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer, n);
    buffer[n] = L'\0';
    return buffer;
}

wchar_t* WideToCoTask(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* buffer = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (buffer == nullptr) {
        return nullptr;
    }
    std::memset(buffer, 0, bytes);
    std::memcpy(buffer, text.data(), text.size() * sizeof(wchar_t));
    return buffer;
}

std::string GetWindowTextStr(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int n = GetWindowTextA(window, text.data(), length + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}
