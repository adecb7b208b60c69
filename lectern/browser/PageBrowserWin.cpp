// The component TPageBrowser and its option objects (see PageBrowser.h and PageBrowserWin.h). Built
// in the Windows tree only.
#include "PageBrowserWin.h"

#include "PgbControlComponentWin.h"

#include <cmath>

namespace {

constexpr char kPostPlatformKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";
constexpr wchar_t kChildProp[] = L"PgbFocusOwner";
constexpr uint16_t kAllFpuExceptionsMasked = 0x133F;
constexpr HRESULT kUseDefaultProtocolHandler = static_cast<HRESULT>(0x800C0011);

// Process-wide state of the unit. The floating-point control word is saved at unit start; a
// program that loads a component without that start gets the word it runs with at the first
// use, never a constant that would unmask exceptions for the whole process.
bool gFpuControlWordSaved = false;
uint16_t gSavedFpuControlWord = 0;
bool gProxySet = false;
bool gSoundOff = false;
bool gOleInitialised = false;
bool gOwnerHooked = false;
TPgbControl* gPgbControl = nullptr;

uint16_t FpuControlWord()
{
    uint16_t word = 0;
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fnstcw %0" : "=m"(word));
#endif
    return word;
}

void SetFpuControlWord(uint16_t word)
{
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fclex\n\tfldcw %0" : : "m"(word));
#endif
}

bool DirectoryExistsA(const std::string& path)
{
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Trim(const std::string& s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') {
        --e;
    }
    return s.substr(b, e - b);
}

// A COM stream over a class-layer stream (reading, seeking and its size).
class TStreamAdapter final : public IStream, private TComRefCounted {
public:
    explicit TStreamAdapter(TStream& stream) : FStream(stream) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) || IsEqualIID(iid, IID_IStream)) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override
    {
        return ComGuard([&]() -> HRESULT {
            const int32_t n = FStream.Read(buffer, static_cast<int32_t>(count));
            if (read != nullptr) {
                *read = static_cast<ULONG>(n);
            }
            return static_cast<ULONG>(n) == count ? S_OK : S_FALSE;
        });
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override
    {
        return ComGuard([&]() -> HRESULT {
            const int32_t n = FStream.Write(buffer, static_cast<int32_t>(count));
            if (written != nullptr) {
                *written = static_cast<ULONG>(n);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        return ComGuard([&]() -> HRESULT {
            const int64_t p = FStream.Seek(move.QuadPart, static_cast<SeekOrigin>(origin));
            if (position != nullptr) {
                position->QuadPart = static_cast<ULONGLONG>(p);
            }
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
    {
        return ComGuard([&]() -> HRESULT {
            *stat = STATSTG{};
            stat->type = STGTY_STREAM;
            stat->cbSize.QuadPart = static_cast<ULONGLONG>(FStream.Size());
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override
    {
        *clone = nullptr;
        return E_NOTIMPL;
    }

private:
    ~TStreamAdapter() override = default;
    TStream& FStream;
};

// The pluggable-protocol pass-through: it lets the HTTP negotiation see the url and hands the
// request back to the default handler.
class TPgbProtocol final : public IInternetProtocol, private TComRefCounted {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IInternetProtocolRoot) ||
            IsEqualIID(iid, IID_IInternetProtocol)) {
            *object = static_cast<IInternetProtocol*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }
    HRESULT STDMETHODCALLTYPE Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD,
                                    HANDLE_PTR) override
    {
        return ComGuard([&]() -> HRESULT {
            FSink = TComPtr<IInternetProtocolSink>(sink);
            FBindInfo = TComPtr<IInternetBindInfo>(bindInfo);
            if (TComPtr<IServiceProvider> provider = FSink.As<IServiceProvider>(IID_IServiceProvider)) {
                TComPtr<IHttpNegotiate> negotiate;
                if (SUCCEEDED(provider->QueryService(IID_IHttpNegotiate, IID_IHttpNegotiate, negotiate.PutVoid())) &&
                    negotiate) {
                    LPWSTR headers = nullptr;
                    negotiate->BeginningTransaction(url, nullptr, 0, &headers);
                    if (headers != nullptr) {
                        CoTaskMemFree(headers);
                    }
                }
            }
            return kUseDefaultProtocolHandler;
        });
    }
    HRESULT STDMETHODCALLTYPE Continue(PROTOCOLDATA*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Abort(HRESULT, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Terminate(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Suspend() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override
    {
        if (read != nullptr) {
            *read = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRequest(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UnlockRequest() override { return S_OK; }

private:
    ~TPgbProtocol() override = default;
    TComPtr<IInternetProtocolSink> FSink;
    TComPtr<IInternetBindInfo> FBindInfo;
};

}  // namespace

namespace {

void SaveFpuControlWord()
{
    gSavedFpuControlWord = FpuControlWord();
    gFpuControlWordSaved = true;
}

uint16_t SavedFpuControlWord()
{
    if (!gFpuControlWordSaved) {
        SaveFpuControlWord();
    }
    return gSavedFpuControlWord;
}

}  // namespace

void TDisableErrors::SetfpExceptions(bool value)
{
    FfpExceptions = value;
    SetFpuControlWord(value ? SavedFpuControlWord() : kAllFpuExceptionsMasked);
}

// ---- construction -------------------------------------------------------------------------------

TPageBrowser::TPageBrowser(TComponent* owner)
    : TCustomPageBrowser(owner), FOwnerHook(TWndMethod(this, &TPageBrowser::OwnerWindowProc))
{
    FAbout = "Browser host component";
    SetSilent(true);
    FDisableErrors = std::make_unique<TDisableErrors>();
    FDialogBoxes = std::make_unique<TDialogBoxes>();
    FPrintOptions = std::make_unique<TPrintOptions>();
    FProxySettings = std::make_unique<TProxySettings>();
    FVisualEffects = std::make_unique<TVisualEffects>();
    FReportMoves = !IsWinXPSP2OrLater();
    FLastAgentGiven.clear();
    FRegistryToken.clear();
    FTokenWritten = false;
    FEnableMessageHandler = true;
    FUserAgentSource = TUserAgentSource(this, &TPageBrowser::GiveUserAgent);
    FReHook = TReHookRoutine(this, &TPageBrowser::ReHookChildren);
}

TPageBrowser::~TPageBrowser()
{
    *FAlive = false;   // a running wait ends without touching this object
    // What the destruction needs from the options is read before they go.
    const int textSize = FVisualEffects->TextSize;
    FDisableErrors.reset();
    FDialogBoxes.reset();
    FPrintOptions.reset();
    FProxySettings.reset();
    FVisualEffects.reset();
    if (textSize != 2) {
        try {
            SetTextSize(2);
        } catch (...) {
        }
    }
    RemoveRegistryToken();
    UnhookChildren();
    if (FHookedOwner) {
        FOwnerHook.Detach();   // nothing when the form already took it out
        gOwnerHooked = false;
    }
}

void TPageBrowser::Loaded()
{
    TCustomPageBrowser::Loaded();
    FEnableMessageHandler = true;
    if (FDisableErrors->ScriptErrorsSuppressed) {
        SetScriptErrorAction(TScriptErrorAction::eaContinue);
    }
    FDisableErrors->SetfpExceptions(FDisableErrors->fpExceptions());
    // One component per process watches its owner form for the browser's dialogs.
    if (!gOwnerHooked) {
        if (auto* ownerForm = dynamic_cast<TWinControl*>(Owner())) {
            FOwnerHook.Attach(ownerForm);
            gOwnerHooked = true;
            FHookedOwner = true;
        }
    }
    if (FProxySettings->AutoLoadProxy) {
        bool ok;
        if (!FProxySettings->UserName.empty()) {
            ok = SetProxyWithCredentials(FProxySettings->UserAgent, FProxySettings->Address, FProxySettings->Port,
                                         FProxySettings->UserName, FProxySettings->Password);
        } else {
            ok = SetProxy(FProxySettings->UserAgent,
                          FProxySettings->Address + ":" + std::to_string(FProxySettings->Port),
                          FProxySettings->Bypass);
        }
        gProxySet = gProxySet || ok;
    }
    if (FVisualEffects->DisableSounds) {
        if (GetIEMajorVersion() < 7) {
            SetClickSound(true);
        } else {
            CoInternetSetFeatureEnabled(21, 2, true);
        }
        gSoundOff = true;
    }
    FLoaded = true;
    HandleHTMLCode();
}

// ---- navigation ---------------------------------------------------------------------------------

void TPageBrowser::Stop()
{
    FStopped = true;
    try {
        TPGB::Stop();
    } catch (...) {
    }
}

void TPageBrowser::GoBack()
{
    try {
        TPGB::GoBack();
    } catch (...) {
    }
}

void TPageBrowser::GoForward()
{
    try {
        TPGB::GoForward();
    } catch (...) {
    }
}

bool TPageBrowser::OpenUrl(const std::string& url, DWORD timeout)
{
    if (!url.empty() && DirectoryExistsA(url)) {
        Navigate(ToWide("file:///" + url));
        return true;
    }
    const std::string trimmed = Trim(url);
    if (trimmed.empty()) {
        return true;
    }
    TOleVariant target(ToWide(trimmed)), flags(0), frame(0), post(0), headers(0);
    Navigate2(target, flags, frame, post, headers);
    if (timeout != 0) {
        return Wait(timeout);
    }
    return true;
}

void TPageBrowser::AssignEmptyDocument(bool wait)
{
    Navigate(L"about:blank");
    if (wait) {
        Wait(0);
    }
}

bool TPageBrowser::Wait(DWORD timeout)
{
    if (!HandleAllocated()) {
        return true;
    }
    const std::shared_ptr<bool> alive = FAlive;
    const DWORD start = GetTickCount();
    bool completed = true;
    for (;;) {
        if (!*alive || Destroying()) {
            return false;
        }
        int state = 0;
        try {
            state = ReadyState();
        } catch (const EOleError&) {
            state = 0;
        }
        if (state == kReadyStateComplete) {
            break;
        }
        bool cancel = false;
        if (OnBusyWait) {
            OnBusyWait(this, start, timeout, cancel);
            if (!*alive) {
                return false;
            }
        }
        if (FStopped || cancel || (timeout != 0 && GetTickCount() - start > timeout) ||
            (Application != nullptr && Application->Terminated())) {
            completed = false;
            break;
        }
        if (Application != nullptr) {
            Application->ProcessMessages();
        }
        if (!*alive) {
            return false;   // freed by a handler inside the loop
        }
        Sleep(1);
    }
    FStopped = false;
    return completed;
}

bool TPageBrowser::HasDocument() { return static_cast<bool>(GetDocument2()); }

int TPageBrowser::LoadFromStrings(const TStringList& lines)
{
    try {
        if (!HasDocument()) {
            AssignEmptyDocument(false);
        }
        TMemoryStream stream;
        lines.SaveToStream(stream);
        return LoadIntoDocument(stream);
    } catch (...) {
        return 1;
    }
}

int TPageBrowser::LoadFromStream(TStream& stream)
{
    if (!HasDocument()) {
        AssignEmptyDocument(false);
    }
    return LoadIntoDocument(stream);
}

int TPageBrowser::LoadIntoDocument(TStream& stream)
{
    // Without a document there is nothing to load into: an error, not a crash.
    TComPtr<IDispatch> document = GetDocument2();
    if (!document) {
        return static_cast<int>(E_UNEXPECTED);
    }
    TComPtr<IPersistStreamInit> persist = document.As<IPersistStreamInit>(IID_IPersistStreamInit);
    if (!persist) {
        return static_cast<int>(E_NOINTERFACE);
    }
    stream.SetPosition(0);
    TComPtr<IStream> adapter = TComPtr<IStream>::Adopt(new TStreamAdapter(stream));
    return static_cast<int>(persist->Load(adapter.Get()));
}

// ---- HTML code and user agent -------------------------------------------------------------------

void TPageBrowser::SetHTMLCode(const TStringList& lines)
{
    FHTMLCode.Assign(lines);
    if (FLoaded) {
        HandleHTMLCode();
    }
}

void TPageBrowser::HandleHTMLCode()
{
    if (DesignMode()) {
        return;
    }
    if (FHTMLCode.Count() == 1 && IsHtmlCodeAddress(FHTMLCode[0])) {
        OpenUrl(FHTMLCode[0], 0);
        return;
    }
    bool handled = false;
    if (OnHTMLCodeChange) {
        OnHTMLCodeChange(this, FHTMLCode, handled);
    }
    if (!handled && FHTMLCode.Count() > 0) {
        LoadFromStrings(FHTMLCode);
    }
}

void TPageBrowser::SetUserAgent(const std::string& agent)
{
    FUserAgent = agent;
    ApplyUserAgent();
}

void TPageBrowser::SetUserAgentMode(TUserAgentMode mode)
{
    FUserAgentMode = mode;
    ApplyUserAgent();
}

void TPageBrowser::GiveUserAgent(std::wstring& agent)
{
    if (FUserAgentMode == TUserAgentMode::uaInternal && !FUserAgent.empty()) {
        agent = ToWide(FUserAgent);
    }
}

void TPageBrowser::RemoveRegistryToken()
{
    if (!FTokenWritten) {
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPostPlatformKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, UserAgentToken(FRegistryToken).c_str());
        RegCloseKey(key);
    }
    FTokenWritten = false;
    FRegistryToken.clear();
}

void TPageBrowser::ApplyUserAgent()
{
    switch (FUserAgentMode) {
    case TUserAgentMode::uaDefault:
        RemoveRegistryToken();
        break;
    case TUserAgentMode::uaInternal:
        RemoveRegistryToken();
        if (FUserAgent != FLastAgentGiven) {
            FLastAgentGiven = FUserAgent;
            AmbientPropertyChanged(kDispidAmbientUserAgent);
        }
        break;
    case TUserAgentMode::uaRegistry:
        if (!FTokenWritten || FUserAgent != FRegistryToken) {
            RemoveRegistryToken();
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, kPostPlatformKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS) {
                const char empty[] = "";
                if (RegSetValueExA(key, UserAgentToken(FUserAgent).c_str(), 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(empty), 1) == ERROR_SUCCESS) {
                    FRegistryToken = FUserAgent;
                    FTokenWritten = true;
                }
                RegCloseKey(key);
            }
        }
        break;
    }
}

// ---- host interface overrides -------------------------------------------------------------------

HRESULT TPageBrowser::DoGetHostInfo(DOCHOSTUIINFO* info)
{
    const HRESULT hr = TCustomPageBrowser::DoGetHostInfo(info);
    if (info->pchHostCss == nullptr && !FHostCSS.empty()) {
        info->pchHostCss = StrToCoTaskWide(FHostCSS);
    }
    if (info->pchHostNS == nullptr && !FHostNS.empty()) {
        info->pchHostNS = StrToCoTaskWide(FHostNS);
    }
    return hr;
}

bool TPageBrowser::HasPopupMenuFilter()
{
    return TCustomPageBrowser::HasPopupMenuFilter() || !FDisabledPopupMenuItems.Empty();
}

void TPageBrowser::FilterPopupMenu(DWORD menuId, HMENU menu, IDispatch* context)
{
    TCustomPageBrowser::FilterPopupMenu(menuId, menu, context);
    for (int i = 0; i < kIEPopupMenuItemCount; ++i) {
        if (FDisabledPopupMenuItems.Contains(static_cast<TIEPopupMenuItem>(i))) {
            DeleteMenu(menu, kPopupMenuItemCommands[i], MF_BYCOMMAND);
        }
    }
}

HRESULT TPageBrowser::QueryHostInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IInternetProtocolRoot) || IsEqualIID(iid, IID_IInternetProtocol)) {
        auto* protocol = new TPgbProtocol();
        const HRESULT hr = protocol->QueryInterface(iid, object);
        protocol->Release();
        return hr;
    }
    return TCustomPageBrowser::QueryHostInterface(iid, object);
}

// ---- dialogs of the browser ---------------------------------------------------------------------

void TPageBrowser::OwnerWindowProc(TMessage& message)
{
    if (message.Msg == WM_ACTIVATE && LOWORD(message.WParam) == WA_INACTIVE && message.LParam != 0) {
        try {
            HandleBrowserDialog(reinterpret_cast<HWND>(message.LParam));
        } catch (const std::exception& e) {
            if (Application != nullptr) {
                Application->HandleException(this, e);
            }
        }
    }
    FOwnerHook.CallNext(message);
}

void TPageBrowser::HandleBrowserDialog(HWND dialog)
{
    const std::wstring cls = GetWindowClassNameW(dialog);
    bool ours = cls == L"Internet Explorer_TridentDlgFrame";
    if (!ours && cls == L"#32770") {
        HWND parent = GetParent(dialog);
        ours = parent != nullptr && GetWindowClassNameW(parent) != L"TApplication" && FindControl(parent) == nullptr;
    }
    if (!ours) {
        return;
    }
    const LONG style = GetWindowLongW(dialog, GWL_EXSTYLE);
    const uint32_t exStyle = static_cast<uint32_t>(style < 0 ? -static_cast<int64_t>(style) : style);
    const int length = GetWindowTextLengthW(dialog);
    std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
    caption.resize(static_cast<size_t>(std::max(0, GetWindowTextW(dialog, caption.data(), length + 1))));

    if (OnShowDialog) {
        OnShowDialog(this, dialog, exStyle, caption, FDialogBoxes->NewCaption, FDialogBoxes->DisableAll);
    }
    if (FDialogBoxes->DisableAll) {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    if (FDialogBoxes->ReplaceIcon && Application != nullptr) {
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Application->Icon()));
    }
    if (FDialogBoxes->ReplaceCaption) {
        SetWindowTextW(dialog, ReplaceDialogCaption(caption, FDialogBoxes->NewCaption).c_str());
    }
    if (FDisableErrors->ScriptErrorsSuppressed) {
        switch (ScriptErrorDialogAction(caption, exStyle)) {
        case TDialogAction::ClickAndClose:
            PostMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            PostMessageW(dialog, WM_LBUTTONUP, 0, 0);
            SendMessageW(dialog, WM_CLOSE, 0, 0);
            if (Application != nullptr) {
                Application->ProcessMessages();
            }
            break;
        case TDialogAction::Destroy:
            DestroyWindow(dialog);
            break;
        case TDialogAction::None:
            break;
        }
    }
}

// ---- window procedure ---------------------------------------------------------------------------

bool TPageBrowser::HandleFolderViewKey(WORD key)
{
    HWND list = FindChildWindow(L"SysListView32");
    if (list == nullptr || (key != VK_LEFT && key != VK_UP && key != VK_RIGHT && key != VK_DOWN)) {
        return false;
    }
    const UINT direction = key == VK_LEFT ? LVNI_TOLEFT : key == VK_UP ? LVNI_ABOVE : key == VK_RIGHT ? LVNI_TORIGHT : LVNI_BELOW;
    const int focused = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    const int next = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(focused), direction));
    if (next >= 0) {
        LVITEMW item{};
        if (GetKeyState(VK_SHIFT) >= 0 && focused >= 0) {
            item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            item.state = 0;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&item));
        }
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(next), reinterpret_cast<LPARAM>(&item));
        SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(next), FALSE);
    }
    SendMessageW(list, WM_SETFOCUS, 0, 0);
    return true;
}

void TPageBrowser::WndProc(TMessage& message)
{
    bool consumed = false;
    switch (message.Msg) {
    case WM_CLOSE:
        if (OnCloseQuery) {
            bool canClose = true;
            OnCloseQuery(this, canClose);
            consumed = !canClose;
        }
        break;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
    case CN_KEYUP:
    case CN_SYSKEYUP: {
        const bool down = message.Msg == CN_KEYDOWN || message.Msg == CN_SYSKEYDOWN;
        WORD key = static_cast<WORD>(message.WParam);
        if (down && HandleFolderViewKey(key)) {
            message.Result = 1;
            consumed = true;
            break;
        }
        const TKeyEvent& e = down ? OnKeyDown : OnKeyUp;
        if (e) {
            e(this, key, static_cast<int>((message.LParam >> 16) & 0xFF), KeyDataToShiftState(message.LParam));
            if (key == 0) {
                message.Result = 1;
                consumed = true;
            }
        }
        break;
    }
    case kPgbFocusMessage:
        if (TForm* form = GetParentForm(this);
            form != nullptr && dynamic_cast<TPageBrowser*>(form->ActiveControl()) != nullptr) {
            FocusFromChild();
        }
        consumed = true;
        break;
    case CM_VISIBLECHANGED:
        try {
            SetWordBoolProp(402, message.WParam != 0);
        } catch (const EOleError&) {
        }
        if (TPGB::OnVisible) {
            TPGB::OnVisible(this, message.WParam != 0);
        }
        break;
    default:
        break;
    }
    if (!consumed &&
        !(message.Msg == CM_DOCWINDOWACTIVATE && Application != nullptr && Application->Terminated())) {
        TCustomPageBrowser::WndProc(message);
    }
    if (FEnableMessageHandler && message.Msg == CN_KEYDOWN && message.WParam == VK_RETURN) {
        message.Result = 0;
    }
    if (OnMessage) {
        bool handled = false;
        OnMessage(this, message, handled);
    }
    if (message.Msg == WM_PARENTNOTIFY &&
        (LOWORD(message.WParam) == WM_LBUTTONDOWN || LOWORD(message.WParam) == WM_RBUTTONDOWN) && OnClick) {
        OnClick(this, LOWORD(message.WParam) == WM_LBUTTONDOWN ? TMouseButton::mbLeft : TMouseButton::mbRight,
                MouseKeysToShiftState(HIWORD(message.WParam)), static_cast<short>(LOWORD(message.LParam)),
                static_cast<short>(HIWORD(message.LParam)));
    }
    switch (message.Msg) {
    case WM_SIZE:
        FReportMoves = !IsWinXPSP2OrLater();
        break;
    case WM_WINDOWPOSCHANGING:
        if (FReportMoves && message.LParam != 0) {
            auto* pos = reinterpret_cast<WINDOWPOS*>(message.LParam);
            if ((pos->flags & SWP_NOMOVE) == 0) {
                pos->flags |= SWP_NOMOVE;
                if (OnMove) {
                    OnMove(this, pos->x, pos->y);
                }
            }
            if ((pos->flags & SWP_NOSIZE) == 0) {
                pos->flags |= SWP_NOSIZE;
                if (OnResize) {
                    OnResize(this, pos->cx, pos->cy);
                }
            }
        }
        break;
    case WM_GETDLGCODE:
        message.Result = DLGC_WANTCHARS;
        break;
    default:
        break;
    }
}

// ---- focus --------------------------------------------------------------------------------------

void TPageBrowser::SetFocus()
{
    if (CanFocus()) {
        TCustomPageBrowser::SetFocus();
    }
}

bool TPageBrowser::Focused() const
{
    HWND focus = GetFocus();
    return HandleValue() != nullptr && focus != nullptr && IsChild(HandleValue(), focus);
}

void TPageBrowser::FocusFromChild()
{
    if (!CanFocus()) {
        return;
    }
    if (TForm* form = GetParentForm(this); form != nullptr && static_cast<TControl*>(form) != this) {
        form->SetActiveControl(this);
    }
    UIActivate();
}

LRESULT CALLBACK PgbChildWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* browser = static_cast<TPageBrowser*>(GetPropW(window, kChildProp));
    WNDPROC old = DefWindowProcW;
    if (browser != nullptr) {
        for (const auto& hook : browser->FChildHooks) {
            if (hook.window == window) {
                old = hook.oldProc;
            }
        }
        try {
            if (msg == WM_DESTROY) {
                browser->UnhookChildren();
            } else if (msg == WM_SETFOCUS) {
                browser->FocusFromChild();
            }
        } catch (const std::exception& e) {
            if (Application != nullptr) {
                Application->HandleException(browser, e);
            }
        } catch (...) {
        }
    }
    return CallWindowProcW(old, window, msg, wParam, lParam);
}

void TPageBrowser::ReHookChildren()
{
    if (FChildHooks[0].window != nullptr || (Application != nullptr && Application->Terminated()) ||
        !HandleAllocated()) {
        return;
    }
    HWND windows[3] = {nullptr, nullptr, nullptr};
    if (HWND list = FindChildWindow(L"SysListView32")) {
        windows[0] = list;
    } else {
        windows[0] = GetWindow(HandleValue(), GW_CHILD);
        windows[1] = windows[0] != nullptr ? GetWindow(windows[0], GW_CHILD) : nullptr;
    }
    for (int i = 0; i < 3; ++i) {
        if (windows[i] == nullptr) {
            continue;
        }
        SetPropW(windows[i], kChildProp, this);
        FChildHooks[i].window = windows[i];
        FChildHooks[i].oldProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(windows[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PgbChildWindowProc)));
    }
}

void TPageBrowser::UnhookChildren()
{
    for (auto& hook : FChildHooks) {
        if (hook.window != nullptr && IsWindow(hook.window)) {
            if (GetWindowLongPtrW(hook.window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&PgbChildWindowProc)) {
                SetWindowLongPtrW(hook.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hook.oldProc));
            }
            RemovePropW(hook.window, kChildProp);
        }
        hook = ChildHook{};
    }
}

// ---- unit start and end -------------------------------------------------------------------------

void PageBrowserInit()
{
    SaveFpuControlWord();
    gProxySet = false;
    gSoundOff = false;
    gOleInitialised = SUCCEEDED(OleInitialize(nullptr));
    if (gPgbControl == nullptr) {
        gPgbControl = new TPgbControl(nullptr);
        gPgbControl->FocusControl().SetActive(true);
        gPgbControl->MouseWheelFix().SetActive(true);
    }
}

void PageBrowserDone()
{
    if (gProxySet) {
        ResetProxy();
        gProxySet = false;
    }
    if (gSoundOff) {
        SetClickSound(false);
        gSoundOff = false;
    }
    SetFpuControlWord(SavedFpuControlWord());
    if (gOleInitialised) {
        try {
            OleUninitialize();
        } catch (...) {
        }
        gOleInitialised = false;
    }
    delete gPgbControl;
    gPgbControl = nullptr;
}

bool PageBrowserProxySet() { return gProxySet; }
bool PageBrowserSoundOff() { return gSoundOff; }
