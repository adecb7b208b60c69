#include "Controls.h"

#include "Forms.h"

#include <algorithm>

namespace {

// The window property that ties a window to its control.
constexpr wchar_t kControlProp[] = L"ClasslibControl";

// The control whose window CreateWindowEx is making on this thread: its first messages arrive
// before CreateWindowEx returns the handle.
thread_local TWinControl* tCreationControl = nullptr;

}  // namespace

std::wstring ToWide(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string FromWide(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

TShiftState KeyDataToShiftState(LPARAM keyData)
{
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ShiftBit(TShiftFlag::ssShift);
    if (GetKeyState(VK_CONTROL) < 0) s |= ShiftBit(TShiftFlag::ssCtrl);
    if ((keyData & 0x20000000) != 0) s |= ShiftBit(TShiftFlag::ssAlt);
    return s;
}

TShiftState MouseKeysToShiftState(WPARAM keys)
{
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ShiftBit(TShiftFlag::ssShift);
    if (keys & MK_CONTROL) s |= ShiftBit(TShiftFlag::ssCtrl);
    if (keys & MK_LBUTTON) s |= ShiftBit(TShiftFlag::ssLeft);
    if (keys & MK_RBUTTON) s |= ShiftBit(TShiftFlag::ssRight);
    if (keys & MK_MBUTTON) s |= ShiftBit(TShiftFlag::ssMiddle);
    if (GetKeyState(VK_MENU) < 0) s |= ShiftBit(TShiftFlag::ssAlt);
    return s;
}

// ---- window procedure chain ---------------------------------------------------------------

void TWndHook::Attach(TControl* control)
{
    Detach();
    FControl = control;
    FNext = control->FWindowProc;
    control->FWindowProc = FProc;
    control->FHooks.push_back(this);
}

void TWndHook::Detach()
{
    if (FControl == nullptr) {
        return;
    }
    TControl* control = FControl;
    auto& hooks = control->FHooks;
    const auto it = std::find(hooks.begin(), hooks.end(), this);
    if (it != hooks.end()) {
        // The hook attached right after this one calls this one as its next: it now calls
        // what stood behind this one. The newest hook is the head of the chain.
        if (it + 1 != hooks.end()) {
            (*(it + 1))->FNext = FNext;
        } else {
            control->FWindowProc = FNext;
        }
        hooks.erase(it);
    }
    FControl = nullptr;
    FNext = TWndMethod();
}

void TWndHook::CallNext(TMessage& message) const
{
    if (FNext.Assigned()) {
        FNext(message);
    }
}

// ---- TControl -------------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner)
{
    FWindowProc = TWndMethod(this, &TControl::WndProc);
}

TControl::~TControl()
{
    DetachWindowHooks();
    if (FParent != nullptr) {
        FParent->RemoveControl(this);
    }
}

void TControl::DetachWindowHooks()
{
    while (!FHooks.empty()) {
        FHooks.back()->Detach();
    }
    FWindowProc = TWndMethod(this, &TControl::WndProc);
}

void TControl::SetParent(TWinControl* parent)
{
    if (parent == FParent) {
        return;
    }
    if (FParent != nullptr) {
        FParent->RemoveControl(this);
    }
    if (parent != nullptr) {
        parent->InsertControl(this);
    }
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    const bool sized = width != FWidth || height != FHeight;
    FLeft = left;
    FTop = top;
    FWidth = width;
    FHeight = height;
    if (sized) {
        Resize();
    }
    if (FParent != nullptr && FAlign != TAlign::alNone) {
        FParent->Realign();
    }
}

void TControl::Resize()
{
    if (OnResize.Assigned()) {
        OnResize(this);
    }
}

void TControl::SetVisible(bool visible)
{
    if (visible == FVisible) {
        return;
    }
    VisibleChanging();
    FVisible = visible;
    Perform(CM_VISIBLECHANGED, visible ? 1 : 0, 0);
    if (FParent != nullptr) {
        FParent->Realign();
    }
}

void TControl::SetEnabled(bool enabled) { FEnabled = enabled; }

void TControl::SetAlign(TAlign align)
{
    FAlign = align;
    if (FParent != nullptr) {
        FParent->Realign();
    }
}

LRESULT TControl::Perform(UINT msg, WPARAM wParam, LPARAM lParam)
{
    TMessage message{msg, wParam, lParam, 0};
    FWindowProc(message);
    return message.Result;
}

bool TControl::Showing() const
{
    for (const TControl* c = this; c != nullptr; c = c->FParent) {
        if (!c->FVisible) {
            return false;
        }
    }
    return true;
}

void TControl::WndProc(TMessage& message) { DefaultHandler(message); }

// ---- TWinControl ----------------------------------------------------------------------------

LRESULT CALLBACK ControlWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* control = static_cast<TWinControl*>(GetPropW(window, kControlProp));
    if (control == nullptr && tCreationControl != nullptr) {
        control = tCreationControl;
        tCreationControl = nullptr;
        control->FHandle = window;
        SetPropW(window, kControlProp, control);
    }
    if (control == nullptr) {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    TMessage message{msg, wParam, lParam, 0};
    try {
        control->WindowProc()(message);
    } catch (const std::exception& e) {
        if (Application != nullptr) {
            Application->HandleException(control, e);
        }
    } catch (...) {
        // Nothing unwinds into the system.
    }
    if (msg == WM_NCDESTROY) {
        // The window is gone (its parent may have taken it along): forget it.
        RemovePropW(window, kControlProp);
        if (control->FHandle == window) {
            control->FHandle = nullptr;
            control->FDefWndProc = DefWindowProcW;
        }
    }
    return message.Result;
}

TWinControl* FindControl(HWND window)
{
    if (window == nullptr || !IsWindow(window)) {
        return nullptr;
    }
    return static_cast<TWinControl*>(GetPropW(window, kControlProp));
}

TWinControl* FindVCLWindow(POINT point)
{
    for (HWND w = WindowFromPoint(point); w != nullptr; w = GetParent(w)) {
        if (TWinControl* c = FindControl(w)) {
            return c;
        }
    }
    return nullptr;
}

TForm* GetParentForm(TControl* control)
{
    while (control != nullptr && control->Parent() != nullptr) {
        control = control->Parent();
    }
    return dynamic_cast<TForm*>(control);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl()
{
    // Hooks belong to objects that may already be going: the window's last messages reach
    // only this control's own procedure.
    DetachWindowHooks();
    DestroyHandle();
    for (TControl* child : FControls) {
        child->FParent = nullptr;
    }
    FControls.clear();
}

void TWinControl::InsertControl(TControl* control)
{
    FControls.push_back(control);
    control->FParent = this;
    if (auto* win = dynamic_cast<TWinControl*>(control); win != nullptr && HandleAllocated()) {
        if (win->HandleAllocated()) {
            ::SetParent(win->FHandle, FHandle);
        } else {
            win->CreateHandle();
        }
    }
    Realign();
}

void TWinControl::RemoveControl(TControl* control)
{
    const auto it = std::find(FControls.begin(), FControls.end(), control);
    if (it == FControls.end()) {
        return;
    }
    FControls.erase(it);
    control->FParent = nullptr;
    if (auto* win = dynamic_cast<TWinControl*>(control); win != nullptr && win->HandleAllocated()) {
        win->DestroyHandle();
    }
    if (auto* form = GetParentForm(this); form != nullptr && form->ActiveControl() == control) {
        form->SetActiveControl(nullptr);
    }
    Realign();
}

void TWinControl::SetParentWindow(HWND window)
{
    FParentWindow = window;
    if (FParent == nullptr && HandleAllocated()) {
        ::SetParent(FHandle, window);
    }
}

HWND TWinControl::Handle()
{
    HandleNeeded();
    return FHandle;
}

void TWinControl::HandleNeeded()
{
    if (FHandle != nullptr) {
        return;
    }
    if (FParent != nullptr) {
        FParent->HandleNeeded();   // makes this one too
    }
    if (FHandle == nullptr) {
        CreateHandle();
    }
}

void TWinControl::CreateHandle()
{
    if (FHandle == nullptr) {
        CreateWnd();
    }
    for (TControl* child : FControls) {
        if (auto* win = dynamic_cast<TWinControl*>(child); win != nullptr && !win->HandleAllocated()) {
            win->CreateHandle();
        }
    }
    Realign();
}

void TWinControl::DestroyHandle()
{
    if (FHandle == nullptr) {
        return;
    }
    for (TControl* child : FControls) {
        if (auto* win = dynamic_cast<TWinControl*>(child)) {
            win->DestroyHandle();
        }
    }
    DestroyWnd();
}

void TWinControl::RecreateWnd()
{
    if (FHandle == nullptr) {
        return;
    }
    DestroyHandle();
    HandleNeeded();
}

void TWinControl::CreateParams(TCreateParams& params)
{
    params.WinClassName = ToWide(ClassName());
    params.X = FLeft;
    params.Y = FTop;
    params.Width = FWidth;
    params.Height = FHeight;
    if (FParent != nullptr) {
        params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        params.WndParent = FParent->Handle();
    } else if (FParentWindow != nullptr) {
        params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
        params.WndParent = FParentWindow;
    } else {
        params.Style = WS_POPUP | WS_CLIPCHILDREN;
    }
    if (FVisible) {
        params.Style |= WS_VISIBLE;
    }
    if (FTabStop) {
        params.Style |= WS_TABSTOP;
    }
    if (!FEnabled) {
        params.Style |= WS_DISABLED;
    }
}

void TWinControl::CreateWnd()
{
    TCreateParams params;
    CreateParams(params);
    CreateWindowHandle(params);
}

void TWinControl::DestroyWnd() { DestroyWindowHandle(); }

void TWinControl::CreateWindowHandle(const TCreateParams& params)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, params.WinClassName.c_str(), &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = params.ClassStyle;
        wc.lpfnWndProc = ControlWindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = params.Background;
        wc.lpszClassName = params.WinClassName.c_str();
        if (RegisterClassExW(&wc) == 0) {
            throw EOSError("Error creating window class " + FromWide(params.WinClassName));
        }
    }
    tCreationControl = this;
    HWND window = CreateWindowExW(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(), params.Style,
                                  params.X, params.Y, params.Width, params.Height, params.WndParent, nullptr, instance,
                                  nullptr);
    tCreationControl = nullptr;
    if (window == nullptr) {
        throw EOSError(std::string("Error creating window: ") + ClassName());
    }
    FHandle = window;
    UpdateBoundsFromWindow();
}

void TWinControl::DestroyWindowHandle()
{
    if (FHandle == nullptr) {
        return;
    }
    HWND window = FHandle;
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ControlWindowProc) &&
        FDefWndProc != DefWindowProcW) {
        // An adopted window goes back to its own procedure before it is destroyed.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefWndProc));
        RemovePropW(window, kControlProp);
        FHandle = nullptr;
        FDefWndProc = DefWindowProcW;
        DestroyWindow(window);
        return;
    }
    DestroyWindow(window);
    FHandle = nullptr;
}

void TWinControl::SetHandle(HWND window)
{
    if (FHandle != nullptr && FHandle != window) {
        // Let go of the current window without destroying it.
        if (FDefWndProc != DefWindowProcW &&
            GetWindowLongPtrW(FHandle, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ControlWindowProc)) {
            SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefWndProc));
            FDefWndProc = DefWindowProcW;
        }
        RemovePropW(FHandle, kControlProp);
        FHandle = nullptr;
    }
    if (window == nullptr || window == FHandle) {
        return;
    }
    FHandle = window;
    SetPropW(window, kControlProp, this);
    const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    if (current != &ControlWindowProc) {
        FDefWndProc = current;
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc));
    } else {
        FDefWndProc = DefWindowProcW;
    }
}

void TWinControl::UpdateBoundsFromWindow()
{
    if (FHandle == nullptr) {
        return;
    }
    RECT r{};
    GetWindowRect(FHandle, &r);
    HWND parent = GetParent(FHandle);
    if (parent != nullptr && (GetWindowLongW(FHandle, GWL_STYLE) & WS_CHILD) != 0) {
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    const bool sized = (r.right - r.left) != FWidth || (r.bottom - r.top) != FHeight;
    FLeft = r.left;
    FTop = r.top;
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
    if (sized) {
        Realign();
        Resize();
    }
}

void TWinControl::SetBounds(int left, int top, int width, int height)
{
    if (FHandle != nullptr && !FInBoundsUpdate) {
        FInBoundsUpdate = true;
        SetWindowPos(FHandle, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
        FInBoundsUpdate = false;
    }
    const bool sized = width != FWidth || height != FHeight;
    TControl::SetBounds(left, top, width, height);
    if (sized) {
        Realign();
    }
}

RECT TWinControl::ClientRect() const
{
    RECT r{0, 0, FWidth, FHeight};
    if (FHandle != nullptr) {
        GetClientRect(FHandle, &r);
    }
    return r;
}

void TWinControl::SetVisible(bool visible)
{
    if (visible == FVisible) {
        return;
    }
    TControl::SetVisible(visible);
    if (FHandle != nullptr) {
        ShowWindow(FHandle, visible ? SW_SHOW : SW_HIDE);
    }
}

void TWinControl::SetEnabled(bool enabled)
{
    TControl::SetEnabled(enabled);
    if (FHandle != nullptr) {
        EnableWindow(FHandle, enabled);
    }
}

bool TWinControl::CanFocus() const
{
    for (const TControl* c = this; c != nullptr; c = c->Parent()) {
        if (!c->Visible() || !c->Enabled()) {
            return false;
        }
    }
    return true;
}

void TWinControl::SetFocus()
{
    if (TForm* form = GetParentForm(this); form != nullptr && form != this) {
        form->SetActiveControl(this);
    }
    if (FHandle != nullptr) {
        ::SetFocus(FHandle);
    }
}

bool TWinControl::Focused() const { return FHandle != nullptr && GetFocus() == FHandle; }

void TWinControl::Realign()
{
    RECT r = ClientRect();
    auto place = [&](TAlign kind) {
        for (TControl* c : FControls) {
            if (c->Align() != kind || !c->Visible()) {
                continue;
            }
            switch (kind) {
            case TAlign::alTop:
                c->SetBounds(r.left, r.top, r.right - r.left, c->Height());
                r.top += c->Height();
                break;
            case TAlign::alBottom:
                c->SetBounds(r.left, r.bottom - c->Height(), r.right - r.left, c->Height());
                r.bottom -= c->Height();
                break;
            case TAlign::alLeft:
                c->SetBounds(r.left, r.top, c->Width(), r.bottom - r.top);
                r.left += c->Width();
                break;
            case TAlign::alRight:
                c->SetBounds(r.right - c->Width(), r.top, c->Width(), r.bottom - r.top);
                r.right -= c->Width();
                break;
            case TAlign::alClient:
                c->SetBounds(r.left, r.top, std::max(0L, r.right - r.left), std::max(0L, r.bottom - r.top));
                break;
            case TAlign::alNone:
                break;
            }
        }
    };
    // Aligned children may call back into Realign through SetBounds; the layout is the same.
    static thread_local int depth = 0;
    if (depth > 0) {
        return;
    }
    ++depth;
    place(TAlign::alTop);
    place(TAlign::alBottom);
    place(TAlign::alLeft);
    place(TAlign::alRight);
    place(TAlign::alClient);
    --depth;
}

void TWinControl::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_WINDOWPOSCHANGED:
        DefaultHandler(message);
        if (!FInBoundsUpdate) {
            FInBoundsUpdate = true;
            UpdateBoundsFromWindow();
            FInBoundsUpdate = false;
        } else {
            UpdateBoundsFromWindow();
        }
        return;
    case WM_SETFOCUS:
        if (TForm* form = GetParentForm(this); form != nullptr && form != this && form->ActiveControl() != this) {
            form->SetActiveControl(this);
        }
        if (OnEnter.Assigned()) {
            OnEnter(this);
        }
        break;
    case WM_KILLFOCUS:
        if (OnExit.Assigned()) {
            OnExit(this);
        }
        break;
    default:
        break;
    }
    TControl::WndProc(message);
}

void TWinControl::DefaultHandler(TMessage& message)
{
    if (FHandle == nullptr || (message.Msg >= CM_BASE && message.Msg < 0xC000)) {
        message.Result = 0;   // the class layer's own notices end here
        return;
    }
    message.Result = CallWindowProcW(FDefWndProc, FHandle, message.Msg, message.WParam, message.LParam);
}
