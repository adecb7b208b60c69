// Controls: thin wrappers over Win32 windows (Windows builds only).
//
// TControl is a component with a parent, bounds, visibility and a window procedure held as a
// method pointer (WindowProc, which starts as the control's own virtual WndProc). TWinControl
// owns a real window: the handle is made on demand (HandleNeeded), by CreateWnd from the
// parameters of CreateParams, and freed by DestroyWnd; RecreateWnd does both, and child
// controls follow their parent (their windows go first and come back after it).
//
// The window procedure chain. Every window of the class layer is of a class registered with
// one shared procedure, which finds its control through a window property and hands each
// message to the control's WindowProc inside a catch-all: no exception leaves a window
// procedure. Several parties can put their own procedure in front of a control's through
// TWndHook; each hook calls the procedure that stood behind it with CallNext. Hooks live on
// the object, not on the window, so they survive a re-creation of the window. They are meant
// to be removed in reverse order; a hook taken out of the middle is spliced out cleanly.
//
// Messages of the class layer itself: the CM_ notices (visibility change, form activation,
// ...) and the reflected CN_ key messages, which the application's message loop sends to the
// nearest control of the class layer around the window that received the key.
#pragma once

#include "Components.h"
#include "Events.h"

#include <windows.h>

#include <string>
#include <vector>

struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

using TWndMethod = TEvent<TMessage&>;

// Notices of the class layer.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0;           // a form became active (to the application window)
constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 9;     // WParam: new visibility
constexpr UINT CM_DOCWINDOWACTIVATE = CM_BASE + 38;
constexpr UINT CM_RECREATEWND = CM_BASE + 51;
// Reflected messages: CN_BASE + the original message number.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_KEYDOWN = CN_BASE + WM_KEYDOWN;
constexpr UINT CN_KEYUP = CN_BASE + WM_KEYUP;
constexpr UINT CN_CHAR = CN_BASE + WM_CHAR;
constexpr UINT CN_SYSKEYDOWN = CN_BASE + WM_SYSKEYDOWN;
constexpr UINT CN_SYSKEYUP = CN_BASE + WM_SYSKEYUP;
constexpr UINT CN_SYSCHAR = CN_BASE + WM_SYSCHAR;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TAnchorKind { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = unsigned;

enum class TShiftFlag { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;   // or'ed TShiftFlag values
constexpr TShiftState ShiftBit(TShiftFlag flag) { return static_cast<TShiftState>(flag); }
// The shift state of a key message's key data (Alt from bit 29) and the keyboard.
TShiftState KeyDataToShiftState(LPARAM keyData);
// The shift state of a mouse message's WParam (MK_ flags) and the Alt key.
TShiftState MouseKeysToShiftState(WPARAM keys);

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

class TWinControl;
class TControl;

// Something that can pop up at a screen point (the popup menus of the class layer implement it).
class TPopupSource {
public:
    virtual ~TPopupSource() = default;
    virtual void Popup(int x, int y) = 0;
};

// One party's place in a control's window-procedure chain.
class TWndHook {
public:
    explicit TWndHook(TWndMethod proc) : FProc(proc) {}
    ~TWndHook() { Detach(); }
    TWndHook(const TWndHook&) = delete;
    TWndHook& operator=(const TWndHook&) = delete;

    // Puts the hook in front of control's current window procedure.
    void Attach(TControl* control);
    // Takes the hook out of the chain, wherever it stands; nothing when not attached.
    void Detach();
    bool Attached() const { return FControl != nullptr; }
    TControl* Control() const { return FControl; }
    // Calls the procedure that stood behind this hook.
    void CallNext(TMessage& message) const;

private:
    friend class TControl;
    TWndMethod FProc;
    TWndMethod FNext;
    TControl* FControl = nullptr;
};

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* parent);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int v) { SetBounds(v, FTop, FWidth, FHeight); }
    void SetTop(int v) { SetBounds(FLeft, v, FWidth, FHeight); }
    void SetWidth(int v) { SetBounds(FLeft, FTop, v, FHeight); }
    void SetHeight(int v) { SetBounds(FLeft, FTop, FWidth, v); }
    RECT BoundsRect() const { return RECT{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    virtual void SetBounds(int left, int top, int width, int height);
    virtual RECT ClientRect() const { return RECT{0, 0, FWidth, FHeight}; }

    bool Visible() const { return FVisible; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool enabled);
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign align);
    TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(TAnchors anchors) { FAnchors = anchors; }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool v) { FShowHint = v; }
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool v) { FParentShowHint = v; }
    TPopupSource* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(TPopupSource* menu) { FPopupMenu = menu; }

    // The head of the window-procedure chain (the control's own WndProc at first).
    TWndMethod WindowProc() const { return FWindowProc; }
    void SetWindowProc(TWndMethod proc) { FWindowProc = proc; }
    // Takes every hook out of the chain: the control's own WndProc is the head again.
    void DetachWindowHooks();
    // Sends a message through the chain and answers its result.
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);

    // Whether the control (and its parents) are shown.
    bool Showing() const;

    // TComponent-style state: design mode never occurs in this program.
    bool DesignMode() const { return false; }

    TNotifyEvent OnResize;

    CL_CLASS_NAME(TControl)

protected:
    // Every message of the control passes here; the base answers the class layer's notices
    // and hands the rest to DefaultHandler.
    virtual void WndProc(TMessage& message);
    virtual void DefaultHandler(TMessage& message) { message.Result = 0; }
    virtual void VisibleChanging() {}
    virtual void Resize();

    TWinControl* FParent = nullptr;
    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    bool FVisible = true;
    bool FEnabled = true;

private:
    friend class TWndHook;
    friend class TWinControl;
    TWndMethod FWindowProc;
    std::vector<TWndHook*> FHooks;   // attached hooks, oldest first (not owned)
    TAlign FAlign = TAlign::alNone;
    TAnchors FAnchors = akLeft | akTop;
    bool FShowHint = false;
    bool FParentShowHint = true;
    TPopupSource* FPopupMenu = nullptr;
};

struct TCreateParams {
    std::wstring Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = nullptr;
    UINT ClassStyle = CS_DBLCLKS;
    HBRUSH Background = nullptr;
    std::wstring WinClassName;
};

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    // The window, made on demand.
    HWND Handle();
    HWND HandleValue() const { return FHandle; }   // without making it
    bool HandleAllocated() const { return FHandle != nullptr; }
    void HandleNeeded();
    // Destroys the window (children first) and makes it again when it existed.
    void RecreateWnd();

    // A raw window to be the parent when the control has no parent control.
    HWND ParentWindow() const { return FParentWindow; }
    void SetParentWindow(HWND window);

    int ControlCount() const { return static_cast<int>(FControls.size()); }
    TControl* Controls(int index) const { return FControls.at(static_cast<size_t>(index)); }

    void SetBounds(int left, int top, int width, int height) override;
    RECT ClientRect() const override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;

    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool v) { FTabStop = v; }
    int TabOrder() const { return FTabOrder; }
    void SetTabOrder(int v) { FTabOrder = v; }

    // Whether the control can take the keyboard focus (showing and enabled up to its form).
    virtual bool CanFocus() const;
    virtual void SetFocus();
    virtual bool Focused() const;

    // Lays the aligned children out in the client area.
    void Realign();

    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    CL_CLASS_NAME(TWinControl)

protected:
    friend class TControl;
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    virtual void DestroyWnd();
    void CreateHandle();     // CreateWnd, then the children's windows
    void DestroyHandle();    // the children's windows, then DestroyWnd
    // Creates the window of params (the class is registered on first use); raises EOSError.
    void CreateWindowHandle(const TCreateParams& params);
    void DestroyWindowHandle();
    // Takes over an existing window as this control's handle, or lets go of it (0).
    void SetHandle(HWND window);

    void WndProc(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;

private:
    friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void UpdateBoundsFromWindow();

    HWND FHandle = nullptr;
    HWND FParentWindow = nullptr;
    WNDPROC FDefWndProc = DefWindowProcW;
    std::vector<TControl*> FControls;   // children (not owned: owned through the component tree)
    bool FTabStop = false;
    int FTabOrder = 0;
    bool FInBoundsUpdate = false;
};

// The control of the class layer that owns window, or null.
TWinControl* FindControl(HWND window);
// The control of the class layer nearest around the window under a screen point, or null.
TWinControl* FindVCLWindow(POINT point);
// The form of a control: its parents upwards until one without parent that is a form.
class TForm;
TForm* GetParentForm(TControl* control);

std::wstring ToWide(const std::string& text);     // system code page to UTF-16
std::string FromWide(const std::wstring& text);
// The characters of a UTF-16 string as the system's wide calls take them (no copy).
inline const wchar_t* WideChars(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
