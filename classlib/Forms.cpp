#include "Forms.h"

#include "Threads.h"

#include <algorithm>

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

constexpr wchar_t kApplicationClass[] = L"TApplication";

}  // namespace

// ---- TForm ----------------------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TWinControl(owner)
{
    FVisible = false;
    FLeft = CW_USEDEFAULT;
    FTop = CW_USEDEFAULT;
    FWidth = 640;
    FHeight = 480;
    if (Screen != nullptr) {
        Screen->FForms.push_back(this);
    }
}

TForm::~TForm()
{
    // The components of the form learn that they go with it before its windows go.
    MarkDestroying();
    if (Screen != nullptr) {
        auto& forms = Screen->FForms;
        forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
        if (Screen->FActiveForm == this) {
            Screen->FActiveForm = nullptr;
        }
    }
    if (Application != nullptr && Application->MainForm() == this) {
        Application->SetMainForm(nullptr);
    }
    DetachWindowHooks();
    DestroyHandle();
}

void TForm::SetCaption(const std::string& caption)
{
    FCaption = caption;
    if (HandleAllocated()) {
        SetWindowTextW(HandleValue(), ToWide(caption).c_str());
    }
}

void TForm::SetActiveControl(TWinControl* control)
{
    if (FActiveControl == control) {
        return;
    }
    if (FActiveControl != nullptr) {
        FActiveControl->RemoveFreeNotification(this);
    }
    FActiveControl = control;
    if (control != nullptr) {
        control->FreeNotification(this);
        if (FActive && control->HandleAllocated() && GetFocus() != control->HandleValue()) {
            ::SetFocus(control->HandleValue());
        }
    }
}

void TForm::Notification(TComponent* component, TOperation operation)
{
    TWinControl::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FActiveControl) {
        FActiveControl = nullptr;
    }
}

bool TForm::CloseQuery()
{
    bool canClose = true;
    if (OnCloseQuery.Assigned()) {
        OnCloseQuery(this, canClose);
    }
    return canClose;
}

void TForm::Close()
{
    if (!CloseQuery()) {
        return;
    }
    TCloseAction action = TCloseAction::caHide;
    if (OnClose.Assigned()) {
        OnClose(this, action);
    }
    if (action == TCloseAction::caNone) {
        return;
    }
    if (Application != nullptr && Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    if (action == TCloseAction::caMinimize && HandleAllocated()) {
        ShowWindow(HandleValue(), SW_MINIMIZE);
    } else {
        Hide();
    }
}

bool TForm::CanFocus() const { return Visible() && Enabled(); }

void TForm::SetVisible(bool visible)
{
    if (visible) {
        HandleNeeded();
    }
    TWinControl::SetVisible(visible);
}

void TForm::CreateParams(TCreateParams& params)
{
    TWinControl::CreateParams(params);
    params.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | (FVisible ? WS_VISIBLE : 0);
    params.WndParent = nullptr;
    if (Application != nullptr && Application->MainForm() != this) {
        params.WndParent = Application->Handle();
    }
    params.Caption = ToWide(FCaption);
    params.Background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
}

void TForm::SetActive(bool active)
{
    FActive = active;
    if (active) {
        if (Screen != nullptr) {
            Screen->FActiveForm = this;
        }
        if (Application != nullptr) {
            SendMessageW(Application->Handle(), CM_ACTIVATE, 0, 0);
        }
        if (OnActivate.Assigned()) {
            OnActivate(this);
        }
    } else {
        if (Application != nullptr) {
            SendMessageW(Application->Handle(), CM_DEACTIVATE, 0, 0);
        }
        if (OnDeactivate.Assigned()) {
            OnDeactivate(this);
        }
    }
}

void TForm::WndProc(TMessage& message)
{
    switch (message.Msg) {
    case WM_ACTIVATE:
        TWinControl::WndProc(message);
        SetActive(LOWORD(message.WParam) != WA_INACTIVE);
        if (FActive && FActiveControl != nullptr && FActiveControl->HandleAllocated() && FActiveControl->CanFocus()) {
            ::SetFocus(FActiveControl->HandleValue());
            message.Result = 0;
        }
        return;
    case WM_CLOSE:
        Close();
        message.Result = 0;
        return;
    case WM_SHOWWINDOW:
        FVisible = message.WParam != 0;
        break;
    default:
        break;
    }
    TWinControl::WndProc(message);
}

// ---- TApplication ---------------------------------------------------------------------------

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (Application == nullptr || Application->FHandle != window) {
        return DefWindowProcW(window, msg, wParam, lParam);
    }
    try {
        return Application->WndProc(msg, wParam, lParam);
    } catch (const std::exception& e) {
        Application->HandleException(Application, e);
    } catch (...) {
    }
    return 0;
}

TApplication::TApplication(TComponent* owner) : TComponent(owner)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kApplicationClass, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ApplicationWindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kApplicationClass;
        RegisterClassExW(&wc);
    }
    FIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    // The window is made before Application points here; its first messages go to the
    // default procedure.
    FHandle = CreateWindowExW(WS_EX_TOOLWINDOW, kApplicationClass, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS,
                              0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

TApplication::~TApplication()
{
    if (FHandle != nullptr) {
        HWND window = FHandle;
        FHandle = nullptr;
        DestroyWindow(window);
    }
}

void TApplication::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FMainForm) {
        FMainForm = nullptr;
    }
}

void TApplication::SetTitle(const std::string& title)
{
    FTitle = title;
    if (FHandle != nullptr) {
        SetWindowTextW(FHandle, ToWide(title).c_str());
    }
}

void TApplication::HookMainWindow(TWindowHook hook) { FWindowHooks.insert(FWindowHooks.begin(), hook); }

void TApplication::UnhookMainWindow(TWindowHook hook)
{
    const auto it = std::find(FWindowHooks.begin(), FWindowHooks.end(), hook);
    if (it != FWindowHooks.end()) {
        FWindowHooks.erase(it);
    }
}

LRESULT TApplication::WndProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    TMessage message{msg, wParam, lParam, 0};
    // A hook may unhook itself: walk a copy.
    const std::vector<TWindowHook> hooks = FWindowHooks;
    for (const TWindowHook& hook : hooks) {
        bool handled = false;
        hook(message, handled);
        if (handled) {
            return message.Result;
        }
    }
    switch (msg) {
    case WM_CLOSE:
        if (FMainForm != nullptr) {
            FMainForm->Close();
        }
        return 0;
    default:
        return DefWindowProcW(FHandle, msg, wParam, lParam);
    }
}

void TApplication::HandleException(TObject* sender, const std::exception& error)
{
    if (dynamic_cast<const EAbort*>(&error) != nullptr) {
        return;
    }
    if (OnException.Assigned()) {
        try {
            OnException(sender, error);
        } catch (...) {
        }
    }
}

bool TApplication::IsKeyMsg(MSG& msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) {
        return false;
    }
    // The nearest control of the class layer around the window that got the key answers the
    // reflected message; a non-zero answer consumes the key.
    HWND window = GetCapture();
    if (window == nullptr) {
        window = msg.hwnd;
    }
    for (; window != nullptr; window = GetParent(window)) {
        if (FindControl(window) != nullptr) {
            return SendMessageW(window, CN_BASE + msg.message, msg.wParam, msg.lParam) != 0;
        }
    }
    return false;
}

bool TApplication::ProcessMessage(MSG& msg)
{
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    try {
        bool handled = false;
        if (OnMessage.Assigned()) {
            OnMessage(msg, handled);
        }
        if (!handled && !IsKeyMsg(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    } catch (const std::exception& e) {
        HandleException(this, e);
    } catch (...) {
    }
    // A thread that hands a call to the main thread posts a null message; whatever message
    // woke the loop, the queued calls run now.
    CheckSynchronize();
    return true;
}

void TApplication::ProcessMessages()
{
    MSG msg;
    while (ProcessMessage(msg)) {
    }
    CheckSynchronize();
}

void TApplication::HandleMessage()
{
    MSG msg;
    if (!ProcessMessage(msg) && !CheckSynchronize()) {
        // A call queued after this look also posts a message, which ends the wait.
        WaitMessage();
    }
}

void TApplication::Run()
{
    if (FMainForm != nullptr) {
        FMainForm->Show();
        FMainForm->HandleNeeded();
    }
    while (!FTerminated) {
        HandleMessage();
    }
}

void TApplication::Restore()
{
    if (FMainForm != nullptr && FMainForm->HandleAllocated() && IsIconic(FMainForm->HandleValue())) {
        ShowWindow(FMainForm->HandleValue(), SW_RESTORE);
    }
}

void TApplication::BringToFront()
{
    if (FMainForm == nullptr || !FMainForm->HandleAllocated()) {
        return;
    }
    HWND window = GetLastActivePopup(FMainForm->HandleValue());
    if (window == nullptr || !IsWindowVisible(window)) {
        window = FMainForm->HandleValue();
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
}

void TApplication::Terminate()
{
    if (!FTerminated) {
        PostQuitMessage(0);
    }
}

// ---- unit start and end ---------------------------------------------------------------------

void FormsInit()
{
    if (Application == nullptr) {
        Application = new TApplication(nullptr);
        Screen = new TScreen(nullptr);
    }
}

void FormsDone()
{
    delete Screen;
    Screen = nullptr;
    delete Application;
    Application = nullptr;
}
