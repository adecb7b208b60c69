#include "PgbFocusControl.h"

#include "PageBrowserWin.h"

namespace {
TPGBFocusControl* gFocusControl = nullptr;
}  // namespace

void TAppHookWindow::Hook()
{
    if (!FHooked && Application != nullptr) {
        Application->HookMainWindow(TWindowHook(this, &TAppHookWindow::AppWindowHook));
        FHooked = true;
    }
}

void TAppHookWindow::Unhook()
{
    if (FHooked && Application != nullptr) {
        Application->UnhookMainWindow(TWindowHook(this, &TAppHookWindow::AppWindowHook));
    }
    FHooked = false;
}

void TAppHookWindow::AppWindowHook(TMessage& message, bool& handled)
{
    handled = false;   // the normal handling always follows
    if (message.Msg != WM_WINDOWPOSCHANGING && message.Msg != CM_ACTIVATE) {
        return;
    }
    TForm* form = Screen != nullptr ? Screen->ActiveForm() : nullptr;
    if (form == nullptr) {
        return;
    }
    HWND active = GetActiveWindow();
    bool isActive;
    if (form->FormStyle() == TFormStyle::fsMDIChild) {
        isActive = form->HandleAllocated() && active != nullptr && IsChild(active, form->HandleValue());
    } else {
        isActive = !Application->Terminated() && form->HandleAllocated() && form->HandleValue() == active;
    }
    TWinControl* control = form->ActiveControl();
    if (!isActive || !form->CanFocus() || control == nullptr) {
        return;
    }
    const std::string cls = control->ClassName();
    if ((cls == "TPageBrowser" || cls == "TPGBCore") && control->HandleAllocated() &&
        GetFocus() != control->HandleValue()) {
        PostMessageW(control->HandleValue(), kPgbFocusMessage, reinterpret_cast<WPARAM>(control), 0);
    }
}

TPGBFocusControl::TPGBFocusControl() : FWindow(std::make_unique<TAppHookWindow>(nullptr)) { FWindow->Hook(); }

TPGBFocusControl::~TPGBFocusControl() { FWindow->Unhook(); }

TPGBFocusControl* TPGBFocusControl::Create()
{
    if (gFocusControl == nullptr) {
        gFocusControl = new TPGBFocusControl();
    }
    return gFocusControl;
}

void TPGBFocusControl::Free()
{
    delete gFocusControl;
    gFocusControl = nullptr;
}

TPGBFocusControl* TPGBFocusControl::Instance() { return gFocusControl; }
