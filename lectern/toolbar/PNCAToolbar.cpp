#include "lectern/toolbar/PNCAToolbar.h"

#include "lectern/toolbar/PNCAHintWindow.h"
#include "lectern/toolbar/PNCAPaint.h"

#include <windowsx.h>

#include <algorithm>
#include <map>

using namespace pnca_detail;

namespace {

// Timers on the form's window: 1 shows the hint, 2 hides it, 3 ends the drop-down guard.
constexpr UINT_PTR kHintShowTimer = 1;
constexpr UINT_PTR kHintHideTimer = 2;
constexpr UINT_PTR kMenuGuardTimer = 3;
constexpr UINT kMenuGuardMs = 50;
constexpr UINT kReattachMs = 50;
// The application's hint pauses and the hint's distance below the cursor.
constexpr UINT kHintPauseMs = 500;
constexpr UINT kHintHidePauseMs = 2500;
constexpr int kHintBelowCursor = 24;

// The live toolbars by their re-attach timer id: a timer that fires after its toolbar went
// finds nothing.
std::map<UINT_PTR, TPNCAToolbar*>& ReattachTimers()
{
    static std::map<UINT_PTR, TPNCAToolbar*> timers;
    return timers;
}

using TDwmIsCompositionEnabled = HRESULT(WINAPI*)(BOOL*);
using TDwmSetWindowAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
constexpr DWORD kDwmwaNcRenderingPolicy = 2;
constexpr DWORD kDwmwaAllowNcPaint = 4;
constexpr DWORD kDwmncrpUseWindowStyle = 0;

HMODULE DwmModule()
{
    static HMODULE module = LoadLibraryW(L"dwmapi.dll");
    return module;
}

bool DwmCompositionEnabled()
{
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExW(&v) || v.dwMajorVersion < 6 || DwmModule() == nullptr)
        return false;
    auto enabled = reinterpret_cast<TDwmIsCompositionEnabled>(reinterpret_cast<void*>(GetProcAddress(DwmModule(), "DwmIsCompositionEnabled")));
    BOOL on = FALSE;
    return enabled != nullptr && SUCCEEDED(enabled(&on)) && on;
}

void DwmSetAttribute(HWND window, DWORD attribute, DWORD value)
{
    if (DwmModule() == nullptr)
        return;
    auto set = reinterpret_cast<TDwmSetWindowAttribute>(reinterpret_cast<void*>(GetProcAddress(DwmModule(), "DwmSetWindowAttribute")));
    if (set != nullptr)
        set(window, attribute, &value, sizeof value);
}

TShiftState CurrentShift() { return MouseKeysToShiftState(0) | (GetKeyState(VK_LBUTTON) < 0 ? ShiftBit(TShiftFlag::ssLeft) : 0); }

}  // namespace

// ---- TPNCAToolbar: set-up ----------------------------------------------------------------------

TPNCAToolbar::TPNCAToolbar(TComponent* owner)
    : TComponent(owner), FHook(TWndMethod(this, &TPNCAToolbar::FormWndProc))
{
    FButtons = std::make_unique<TPNCAButtons>(this);
    FCaptionFont = std::make_unique<TFont>();
    for (auto& link : FImageChangeLinks) {
        link = std::make_unique<TChangeLink>();
        link->OnChange = TNotifyEvent(this, &TPNCAToolbar::ImagesChanged);
    }
    UpdateCaptionFont();
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (GetVersionExW(&v)) {
        FIsVistaOrLater = v.dwMajorVersion >= 6;
        FIsVista = v.dwMajorVersion == 6 && v.dwMinorVersion == 0;
        FIsWin8OrLater = v.dwMajorVersion > 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion > 1);
    }
}

TPNCAToolbar::~TPNCAToolbar()
{
    StopReattachTimer();
    try {
        Detach();
        HideHint();
    } catch (...) {
        // a destructor never throws
    }
    for (size_t i = 0; i < FImages.size(); ++i)
        if (FImages[i] != nullptr)
            FImages[i]->UnRegisterChanges(FImageChangeLinks[i].get());
    FButtons.reset();
}

TPNCAButton* TPNCAToolbar::FirstButton(TPNCAToolbar* toolbar)
{
    if (toolbar == nullptr || toolbar->FButtons->Count() == 0)
        return nullptr;
    return toolbar->FButtons->Items(0);
}

void TPNCAToolbar::Loaded()
{
    FLoading = false;
    SetVisible(FVisible);
}

int TPNCAToolbar::DefaultImageWidth() const
{
    return PNCADefaultImageSize(FButtonWidth, Images() != nullptr, Images() ? Images()->Width() : 0);
}

int TPNCAToolbar::DefaultImageHeight() const
{
    return PNCADefaultImageSize(FButtonHeight, Images() != nullptr, Images() ? Images()->Height() : 0);
}

void TPNCAToolbar::SetAutoOffsetBtns(TPNCAAutoOffsetBtns value)
{
    FAutoOffsetBtns = value;
    InvalidateBar(true, true);
}

void TPNCAToolbar::SetOffsetX(int value)
{
    FOffsetX = value;
    InvalidateBar(true, false);
}

void TPNCAToolbar::SetOffsetY(int value)
{
    FOffsetY = value;
    InvalidateBar(true, false);
}

void TPNCAToolbar::SetMaxOffsetX(int value)
{
    FMaxOffsetX = value;
    InvalidateBar(true, false);
}

void TPNCAToolbar::SetMaxOffsetY(int value)
{
    FMaxOffsetY = value;
    InvalidateBar(true, false);
}

void TPNCAToolbar::SetCaptionAlignment(TAlignment value)
{
    FCaptionAlignment = value;
    InvalidateBar(false, false);
}

void TPNCAToolbar::SetCaptionGlowSize(int value)
{
    FCaptionGlowSize = std::max(value, 0);
    InvalidateBar(false, false);
}

void TPNCAToolbar::SetButtonWidth(int value)
{
    FButtonWidth = value;
    InvalidateBar(false, false);
}

void TPNCAToolbar::SetButtonHeight(int value)
{
    FButtonHeight = value;
    InvalidateBar(false, false);
}

void TPNCAToolbar::SetImagesAt(int index, TCustomImageList* value)
{
    TCustomImageList*& slot = FImages.at(static_cast<size_t>(index));
    TChangeLink* link = FImageChangeLinks.at(static_cast<size_t>(index)).get();
    if (slot != nullptr)
        slot->UnRegisterChanges(link);
    slot = value;
    if (value != nullptr) {
        value->RegisterChanges(link);
        FreeNotification(value);
    }
    InvalidateBar(true, true);
}

void TPNCAToolbar::ImagesChanged(TObject*)
{
    if (!Destroying())
        PaintBar(nullptr, false);
}

void TPNCAToolbar::SetShowHint(bool value)
{
    FShowHint = value;
    if (!value)
        HideHint();
}

void TPNCAToolbar::SetShowCaption(TPNCAShowCaptionPos value)
{
    if (value == FShowCaption)
        return;
    if (!Attached()) {
        FShowCaption = value;
        return;
    }
    if (FShowCaption == pscpNone && !FSavedCaption.empty()) {
        FShowCaption = value;
        FAttachedForm->SetCaption(FSavedCaption);
    } else if (value == pscpNone) {
        // Emptying the caption passes through FormWndProc, which would save the empty text:
        // the caption is saved after it.
        std::string caption = FAttachedForm->Caption();
        FShowCaption = value;
        FAttachedForm->SetCaption("");
        FSavedCaption = caption;
    } else {
        FShowCaption = value;
    }
    InvalidateBar(false, false);
}

void TPNCAToolbar::SetVisible(bool value)
{
    FVisible = value;
    if (FLoading)
        return;
    if (value && FButtons->Count() > 0) {
        if (dynamic_cast<TForm*>(Owner()) == nullptr) {
            FVisible = false;
            return;
        }
        Attach();
    } else {
        Detach();
    }
}

void TPNCAToolbar::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation != TOperation::opRemove)
        return;
    for (size_t i = 0; i < FImages.size(); ++i)
        if (FImages[i] == component) {
            FImages[i]->UnRegisterChanges(FImageChangeLinks[i].get());
            FImages[i] = nullptr;
        }
    for (int i = 0; i < FButtons->Count(); ++i) {
        TPNCAButton* button = FButtons->Items(i);
        if (button->FDropDownMenu == component)
            button->FDropDownMenu = nullptr;
        if (button->Action() == component)
            button->SetAction(nullptr);
    }
    if (component == FAttachedForm && FVisible) {
        FDetaching = true;
        Detach();
    }
}

// ---- attaching ---------------------------------------------------------------------------------

bool TPNCAToolbar::FormUsable() const { return FAttachedForm != nullptr && !FAttachedForm->Destroying(); }

bool TPNCAToolbar::FormHasHandle() const { return FormUsable() && FAttachedForm->HandleAllocated(); }

HWND TPNCAToolbar::FormHandle() const { return FormUsable() ? FAttachedForm->HandleValue() : nullptr; }

void TPNCAToolbar::Attach()
{
    auto* form = static_cast<TForm*>(Owner());
    FDetaching = false;
    if (FAttachedForm != form) {
        FAttachedForm = form;
        FSavedCaption = form->Caption();
        if (FShowCaption == pscpNone)
            form->SetCaption("");
        FHook.Attach(form);
    }
    // Attached again: the saved procedure and caption are kept as they are.
    UpdateComposition();
    if (FIsVista && FCompositionActive && FormHasHandle()) {
        form->SetHeight(form->Height() + 1);
        form->SetHeight(form->Height() - 1);
    } else {
        InvalidateBar(true, false);
    }
}

void TPNCAToolbar::Detach()
{
    UpdateComposition();
    if (!Attached())
        return;
    TForm* form = FAttachedForm;
    FHook.Detach();
    if (FormHasHandle()) {
        HWND window = FormHandle();
        KillTimer(window, kHintShowTimer);
        KillTimer(window, kHintHideTimer);
        KillTimer(window, kMenuGuardTimer);
    }
    if (FormUsable()) {
        form->SetCaption(FSavedCaption);
        InvalidateBar(true, true);
    }
    FAttachedForm = nullptr;
}

void TPNCAToolbar::UpdateComposition()
{
    if (FormHasHandle()) {
        bool enabled = DwmCompositionEnabled();
        FCompositionActive = FVisible && enabled;
        if (enabled) {
            DwmSetAttribute(FormHandle(), kDwmwaNcRenderingPolicy, kDwmncrpUseWindowStyle);
            DwmSetAttribute(FormHandle(), kDwmwaAllowNcPaint, FCompositionActive ? TRUE : FALSE);
        }
    } else {
        FCompositionActive = false;
    }
    BOOL gradient = FALSE;
    FGradientCaptions = SystemParametersInfoW(SPI_GETGRADIENTCAPTIONS, 0, &gradient, 0) && gradient;
}

void CALLBACK PNCAReattachTimerProc(HWND window, UINT, UINT_PTR id, DWORD)
{
    try {
        KillTimer(window, id);
        auto& timers = ReattachTimers();
        auto it = timers.find(id);
        if (it == timers.end())
            return;
        TPNCAToolbar* toolbar = it->second;
        timers.erase(it);
        toolbar->SetVisible(true);
    } catch (...) {
        // the toolbar stays detached; nothing unwinds into the system
    }
}

void TPNCAToolbar::StartReattachTimer()
{
    StopReattachTimer();
    HWND window = Application != nullptr ? Application->Handle() : nullptr;
    UINT_PTR id = SetTimer(window, reinterpret_cast<UINT_PTR>(this), kReattachMs, PNCAReattachTimerProc);
    if (window != nullptr)
        id = reinterpret_cast<UINT_PTR>(this);
    if (id != 0) {
        ReattachTimers()[id] = this;
        FReattachPending = true;
    }
}

void TPNCAToolbar::StopReattachTimer()
{
    auto& timers = ReattachTimers();
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->second == this) {
            KillTimer(Application != nullptr ? Application->Handle() : nullptr, it->first);
            it = timers.erase(it);
        } else {
            ++it;
        }
    }
    FReattachPending = false;
}

// ---- geometry ----------------------------------------------------------------------------------

TPNCAFrame TPNCAToolbar::Frame() const
{
    TPNCAFrame f;
    TBorderStyle style = FormHasHandle() ? BorderStyleOf(FormHandle()) : TBorderStyle::bsSizeable;
    bool fixed = style == TBorderStyle::bsSingle || style == TBorderStyle::bsDialog || style == TBorderStyle::bsToolWindow;
    f.FX = GetSystemMetrics(fixed ? SM_CXFIXEDFRAME : SM_CXFRAME);
    f.FY = GetSystemMetrics(fixed ? SM_CYFIXEDFRAME : SM_CYFRAME);
    bool tool = style == TBorderStyle::bsToolWindow || style == TBorderStyle::bsSizeToolWin;
    f.CH = GetSystemMetrics(tool ? SM_CYSMCAPTION : SM_CYCAPTION);
    f.BX = GetSystemMetrics(SM_CXBORDER);
    f.BY = GetSystemMetrics(SM_CYBORDER);
    return f;
}

bool TPNCAToolbar::FormActive() const
{
    HWND window = FormHandle();
    return window != nullptr && IsWindowEnabled(window) && GetForegroundWindow() == window;
}

bool TPNCAToolbar::Themed() const { return FCompositionActive || PNCAThemeServices()->ThemesEnabled(); }

bool TPNCAToolbar::IsButtonAtIndex(TPNCAButton* button, int index)
{
    return button != nullptr && index >= 0 && index < FButtons->Count() && FButtons->Items(index) == button;
}

void TPNCAToolbar::GetButtonRect(TPNCAButton* button, bool full, TRect& rect)
{
    rect = TRect{};
    if (!FormHasHandle())
        return;
    if (button != nullptr) {
        rect = full ? button->BarRect() : button->BtnRect();
        return;
    }
    // The whole bar reaches from the first visible button to the last visible one: a hidden
    // button has no rectangle to take an edge from.
    TPNCAButton* first = nullptr;
    TPNCAButton* last = nullptr;
    for (int i = 0; i < FButtons->Count(); ++i) {
        TPNCAButton* b = FButtons->Items(i);
        if (b->Visible()) {
            if (first == nullptr)
                first = b;
            last = b;
        }
    }
    if (first == nullptr)
        return;
    rect = full ? first->BarRect() : first->BtnRect();
    rect.Right = (full ? last->BarRect() : last->BtnRect()).Right;
}

void TPNCAToolbar::GetButtonScreenRect(TPNCAButton* button, bool full, TRect& rect)
{
    GetButtonRect(button, full, rect);
    if (rect.IsEmpty())
        return;
    TRect w = WindowRectOf(FormHandle());
    rect.Offset(w.Left, w.Top);
}

TPNCAButton* TPNCAToolbar::ButtonAtPoint(TPoint point)
{
    for (int i = 0; i < FButtons->Count(); ++i) {
        TPNCAButton* b = FButtons->Items(i);
        if (b->Visible() && b->BtnRect().Contains(point))
            return b;
    }
    return nullptr;
}

bool TPNCAToolbar::IsVistaGlassMaximized(bool assumeMaximized)
{
    if (!FCompositionActive || !FIsVista)
        return false;
    return assumeMaximized || (FormHasHandle() && IsMaximizedByPlacement(FormHandle()));
}

void TPNCAToolbar::CalcButtonRects(bool assumeMaximized)
{
    if (!FormHasHandle() || FButtons->Count() == 0) {
        FSmallButtons = false;
        return;
    }
    TPNCABarInput bar;
    bar.Frame = Frame();
    bar.Themed = Themed();
    bar.OnGlass = FCompositionActive;
    bar.Maximized = bar.Themed && (assumeMaximized || IsMaximizedByPlacement(FormHandle()));
    bar.VistaOrLater = FIsVistaOrLater;
    bar.OffsetX = FOffsetX + (bar.Maximized ? FMaxOffsetX : 0);
    bar.OffsetY = FOffsetY + (bar.Maximized ? FMaxOffsetY : 0);
    bar.AutoOffset = FAutoOffsetBtns;
    std::vector<TPNCABarButton> buttons(static_cast<size_t>(FButtons->Count()));
    for (int i = 0; i < FButtons->Count(); ++i) {
        TPNCAButton* b = FButtons->Items(i);
        TPNCABarButton& in = buttons[static_cast<size_t>(i)];
        in.Visible = b->Visible();
        in.Down = b->Down();
        in.Style = b->Style();
        in.Padding = b->Padding();
        if (in.Visible) {
            in.Width = b->CalcWidth();
            in.Height = b->CalcHeight();
        }
    }
    TPNCABarLayout layout = PNCALayoutBar(bar, buttons);
    for (int i = 0; i < FButtons->Count(); ++i) {
        TPNCAButton* b = FButtons->Items(i);
        b->FBtnRect = layout.Buttons[static_cast<size_t>(i)].BtnRect;
        b->FBarRect = layout.Buttons[static_cast<size_t>(i)].BarRect;
    }
    FSmallButtons = layout.SmallButtons;
}

void TPNCAToolbar::InvalidateBar(bool activate, bool onlyIfHandle)
{
    if (!FormUsable() || FDetaching || (onlyIfHandle && !FAttachedForm->HandleAllocated()))
        return;
    TForm* form = FAttachedForm;
    HWND window = form->Handle();
    // Making the window here sends WM_NCCREATE, which detaches the toolbar until the re-attach
    // timer fires: nothing more to paint then.
    if (FAttachedForm != form || FDetaching)
        return;
    if (activate)
        SendMessageW(window, WM_NCACTIVATE, form->Active() ? TRUE : FALSE, 0);
    SendMessageW(window, WM_NCPAINT, 0, 0);
}

// ---- hot button and hints --------------------------------------------------------------------

void TPNCAToolbar::SetHotButton(TPNCAButton* button)
{
    if (button == FHotButton)
        return;
    if (FHintWindow && !FHintWindow->Showing())
        HideHint();
    if (TPNCAButton* old = FHotButton) {
        FHotButton = nullptr;
        old->FDown = false;
        PaintBar(old, false);
    }
    FHotButton = button != nullptr && button->Enabled() ? button : nullptr;
    if (FHotButton != nullptr) {
        PaintBar(FHotButton, false);
        if (!FCompositionActive && FormHasHandle()) {
            TRACKMOUSEEVENT t{sizeof t, TME_LEAVE | TME_NONCLIENT, FormHandle(), HOVER_DEFAULT};
            TrackMouseEvent(&t);
        }
        StartHint();
    } else {
        HideHint();
    }
    if (OnHoverChange.Assigned())
        OnHoverChange(this, FHotButton);
}

void TPNCAToolbar::StartHint()
{
    if (!FShowHint || FHotButton == nullptr || FHotButton->Hint().empty() || !FormHasHandle())
        return;
    if (!FHintWindow) {
        FHintWindow = std::make_unique<TPNCAHintWindow>();
        SetTimer(FormHandle(), kHintShowTimer, kHintPauseMs, nullptr);
    } else if (FHintWindow->Showing()) {
        ShowHintWindow();
    }
}

void TPNCAToolbar::ShowHintWindow()
{
    HWND window = FormHandle();
    if (window != nullptr) {
        KillTimer(window, kHintShowTimer);
        KillTimer(window, kHintHideTimer);
    }
    if (FHotButton == nullptr || !FHintWindow || window == nullptr)
        return;
    POINT cursor{};
    GetCursorPos(&cursor);
    TRect r = FHintWindow->CalcHintRect(GetSystemMetrics(SM_CXSCREEN), FHotButton->Hint());
    r.Offset(cursor.x, cursor.y + kHintBelowCursor);
    FHintWindow->ActivateHint(r, FHotButton->Hint());
    SetTimer(window, kHintHideTimer, kHintHidePauseMs, nullptr);
}

void TPNCAToolbar::HideHint()
{
    if (HWND window = FormHandle()) {
        KillTimer(window, kHintShowTimer);
        KillTimer(window, kHintHideTimer);
    }
    try {
        FHintWindow.reset();
    } catch (...) {
        FHintWindow.release();
    }
}

// ---- the form's window procedure -------------------------------------------------------------

void TPNCAToolbar::FormWndProc(TMessage& message)
{
    HWND window = FormHandle();
    if (window == nullptr || BorderStyleOf(window) == TBorderStyle::bsNone) {
        DefaultHandler(message);
        return;
    }
    switch (message.Msg) {
    case WM_ACTIVATE:
        HandleActivation(message, message.WParam == WA_ACTIVE || message.WParam == WA_CLICKACTIVE);
        return;
    case WM_NCACTIVATE:
        HandleActivation(message, message.WParam != 0);
        return;
    case WM_SETTEXT: {
        const auto* text = reinterpret_cast<const wchar_t*>(message.LParam);
        FSavedCaption = text ? FromWide(text) : std::string();
        if (FShowCaption == pscpNone) {
            LPARAM saved = message.LParam;
            message.LParam = reinterpret_cast<LPARAM>(L"");
            DefaultHandler(message);
            message.LParam = saved;
        } else {
            DefaultHandler(message);
        }
        if (FormHasHandle())
            PaintBar(nullptr, false);
        return;
    }
    case WM_SETCURSOR:
        if (FHotButton != nullptr && FHotButton->HoverCursor() != 0) {
            SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(FHotButton->HoverCursor())));
            message.Result = 1;
            return;
        }
        DefaultHandler(message);
        return;
    case WM_NCCREATE:
        DefaultHandler(message);
        SetVisible(false);
        StartReattachTimer();
        return;
    case WM_NCHITTEST: {
        DefaultHandler(message);
        int code = static_cast<int>(message.Result);
        if (PNCAHitSeeksButton(code)) {
            TRect w = WindowRectOf(window);
            TPoint p = Point(GET_X_LPARAM(message.LParam) - w.Left, GET_Y_LPARAM(message.LParam) - w.Top);
            SetHotButton(ButtonAtPoint(p));
            message.Result = PNCARemapHitCode(code, FHotButton != nullptr, FCompositionActive);
            if (OnMouseMove.Assigned() && GetCapture() != nullptr)
                OnMouseMove(this, CurrentShift(), p.X, p.Y);
        } else {
            SetHotButton(nullptr);
            message.Result = PNCARemapHitCode(code, false, FCompositionActive);
        }
        return;
    }
    case WM_NCPAINT:
        HandleNcPaint(message);
        return;
    case WM_NCMOUSEMOVE:
        if (OnMouseMove.Assigned()) {
            TRect w = WindowRectOf(window);
            OnMouseMove(this, CurrentShift(), GET_X_LPARAM(message.LParam) - w.Left, GET_Y_LPARAM(message.LParam) - w.Top);
        }
        DefaultHandler(message);
        return;
    case WM_NCLBUTTONDOWN:
        HandleNcLButtonDown(message);
        return;
    case WM_NCLBUTTONUP:
        HandleNcLButtonUp(message);
        return;
    case WM_NCLBUTTONDBLCLK:
        if (FHotButton != nullptr && (message.WParam == HTCAPTION || message.WParam == HTSYSMENU)) {
            message.Result = 0;
            return;
        }
        DefaultHandler(message);
        return;
    case WM_SYSCOMMAND: {
        UINT command = static_cast<UINT>(message.WParam & 0xFFF0);
        if (command == SC_MAXIMIZE) {
            if (FCompositionActive)
                PaintBar(nullptr, true);
            DefaultHandler(message);
            if (!FCompositionActive && FormHasHandle())
                SendMessageW(window, WM_NCPAINT, 0, 0);
        } else if (command == SC_RESTORE) {
            DefaultHandler(message);
            if (!FCompositionActive && FormHasHandle())
                SendMessageW(window, WM_NCPAINT, 0, 0);
        } else {
            DefaultHandler(message);
        }
        return;
    }
    case WM_TIMER:
        if (FHintWindow && message.WParam == kHintShowTimer)
            ShowHintWindow();
        else if (FHintWindow && message.WParam == kHintHideTimer)
            HideHint();
        else if (message.WParam == kMenuGuardTimer) {
            FMenuButton = nullptr;
            KillTimer(window, kMenuGuardTimer);
        }
        DefaultHandler(message);
        return;
    case WM_NCMOUSELEAVE:
        if (FHotButton != nullptr)
            FHotButton->FDown = false;
        SetHotButton(nullptr);
        DefaultHandler(message);
        return;
    default:
        DefaultHandler(message);
        return;
    }
}

void TPNCAToolbar::HandleActivation(TMessage& message, bool active)
{
    if (active == FAttachedForm->Active()) {
        DefaultHandler(message);
        return;
    }
    if (FHotButton != nullptr)
        FHotButton->FDown = false;
    SetHotButton(nullptr);
    DefaultHandler(message);
    if (FormHasHandle())
        SendMessageW(FormHandle(), WM_NCPAINT, 1, 0);
}

void TPNCAToolbar::HandleNcPaint(TMessage& message)
{
    if (FCompositionActive) {
        DefaultHandler(message);
        PaintBar(nullptr, false);
        return;
    }
    HWND window = FormHandle();
    TRect w = WindowRectOf(window);
    TRect bar;
    GetButtonScreenRect(nullptr, true, bar);
    if (FShowCaption != pscpNone) {
        const int fx = Frame().FX;
        bar.Left = w.Left + fx;
        bar.Right = w.Right - fx - 3 * GetSystemMetrics(SM_CXSIZE);
    }
    RECT barRect = ToRECT(bar);
    HRGN given = reinterpret_cast<HRGN>(message.WParam);
    if (message.WParam > 1 && !RectInRegion(given, &barRect)) {
        DefaultHandler(message);
        return;
    }
    HRGN rest = message.WParam > 1 ? CreateRectRgn(0, 0, 0, 0) : CreateRectRgn(w.Left, w.Top, w.Right, w.Bottom);
    HRGN barRegion = CreateRectRgnIndirect(&barRect);
    CombineRgn(rest, message.WParam > 1 ? given : rest, barRegion, RGN_DIFF);
    DeleteObject(barRegion);
    WPARAM saved = message.WParam;
    message.WParam = reinterpret_cast<WPARAM>(rest);
    try {
        DefaultHandler(message);
    } catch (...) {
        message.WParam = saved;
        DeleteObject(rest);
        throw;
    }
    message.WParam = saved;
    DeleteObject(rest);
    PaintBar(nullptr, false);
}

void TPNCAToolbar::HandleNcLButtonDown(TMessage& message)
{
    HWND window = FormHandle();
    if (OnMouseDown.Assigned()) {
        TRect w = WindowRectOf(window);
        OnMouseDown(this, TMouseButton::mbLeft, CurrentShift(), GET_X_LPARAM(message.LParam) - w.Left,
                    GET_Y_LPARAM(message.LParam) - w.Top);
    }
    TPNCAButton* hot = FHotButton;
    if (hot == nullptr || !PNCAIsPressingHitCode(static_cast<int>(message.WParam), FAllowSystemMenu)) {
        DefaultHandler(message);
        return;
    }
    HideHint();
    TPopupMenu* menu = hot->DropDownMenu();
    if (menu == nullptr) {
        hot->SetDown(true);
        return;
    }
    if (FMenuButton != nullptr) {
        // The click that closed the menu a moment ago: do not open it again.
        FMenuButton = nullptr;
        return;
    }
    hot->SetDown(true);
    FMenuButton = hot;
    TRect r;
    GetButtonScreenRect(hot, false, r);
    menu->SetPopupComponent(this);
    menu->Popup(r.Left, r.Bottom);
    if (FHotButton == hot)
        SetTimer(window, kMenuGuardTimer, kMenuGuardMs, nullptr);
    else
        FMenuButton = nullptr;
    SendMessageW(window, WM_NCHITTEST, 0, 0);
}

void TPNCAToolbar::HandleNcLButtonUp(TMessage& message)
{
    if (OnMouseUp.Assigned()) {
        TRect w = WindowRectOf(FormHandle());
        OnMouseUp(this, TMouseButton::mbLeft, CurrentShift(), GET_X_LPARAM(message.LParam) - w.Left,
                  GET_Y_LPARAM(message.LParam) - w.Top);
    }
    TPNCAButton* hot = FHotButton;
    if (hot == nullptr || !hot->Down()) {
        DefaultHandler(message);
        return;
    }
    if (!PNCAIsPressingHitCode(static_cast<int>(message.WParam), FAllowSystemMenu))
        return;
    hot->SetDown(false);
    if (auto* action = dynamic_cast<TCustomAction*>(hot->Action()); action != nullptr && action->AutoCheck())
        action->SetChecked(!action->Checked());
    ClickButton(hot);
}

void TPNCAToolbar::ClickButton(TPNCAButton* button)
{
    TPNCAClickInput in;
    TBasicAction* action = button->Action();
    in.ButtonOnClickAssigned = button->OnClick().Assigned();
    in.OnClickIsActionExecute = action != nullptr && button->OnClick() == action->OnExecute();
    in.HasActionLink = button->ActionLink() != nullptr;
    in.Designing = false;
    in.ToolbarOnClickAssigned = OnClick.Assigned();
    switch (PNCAClickTarget(in)) {
    case TPNCAClickTarget::ButtonOnClick:
        button->OnClick()(button);
        break;
    case TPNCAClickTarget::ActionLink:
        button->ActionLink()->Execute(this);
        break;
    case TPNCAClickTarget::ToolbarOnClick:
        OnClick(this, button);
        break;
    case TPNCAClickTarget::Nobody:
        break;
    }
}
