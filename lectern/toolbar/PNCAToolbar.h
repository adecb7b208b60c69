// PNCAToolbar: a toolbar painted into the caption bar of the form that owns it (Windows builds
// only).
//
// TPNCAToolbar is a non-visual component. While it is visible and holds buttons it is
// "attached": its window procedure (FormWndProc) stands in front of the form's in the form's
// window-procedure chain, handles a fixed set of non-client messages (activation, caption
// text, hit tests, painting, mouse presses and releases, timers) and passes everything else
// on. It detaches when hidden, when its last button goes, when the form's window is
// re-created (and re-attaches 50 ms later through a timer on the application window) and when
// the form goes. It can draw the form's caption text itself, before or after the buttons.
//
// The buttons are TPNCAButton (PNCAButton), the bar's painting is in PNCAPaint and the hint in
// PNCAHintWindow. Where the buttons go, which picture shows and who handles a click are
// decided by the window-free functions of PNCACommon.
//
// Everything runs on the thread of the form's window, inside its message handling. Every
// window procedure and timer callback here catches what is thrown in it.
#pragma once

#include "classlib/ActnList.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/ImgList.h"
#include "classlib/Menus.h"
#include "lectern/toolbar/PNCAButton.h"
#include "lectern/toolbar/PNCACommon.h"
#include "lectern/toolbar/PNCAUtils.h"

#include <array>
#include <memory>
#include <string>

class TPNCAHintWindow;

using TPNCAButtonEvent = TEvent<TObject*, TPNCAButton*>;
using TPNCAButtonBeforeDrawEvent =
    TEvent<TObject*, TPNCAButton*, TCanvas*, const TRect&, const TRect&, TPNCADefaultDrawingKind&>;
using TPNCAButtonDrawEvent = TEvent<TObject*, TPNCAButton*, TCanvas*, const TRect&, const TRect&>;
using TPNCAMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int, int>;
using TPNCAMouseMoveEvent = TEvent<TObject*, TShiftState, int, int>;

class TPNCAToolbar : public TComponent {
public:
    explicit TPNCAToolbar(TComponent* owner);
    ~TPNCAToolbar() override;

    // The first button, or nullptr when there are none.
    static TPNCAButton* FirstButton(TPNCAToolbar* toolbar);

    // Published properties.
    bool AllowSystemMenu() const { return FAllowSystemMenu; }
    void SetAllowSystemMenu(bool value) { FAllowSystemMenu = value; }
    TPNCAAutoOffsetBtns AutoOffsetBtns() const { return FAutoOffsetBtns; }
    void SetAutoOffsetBtns(TPNCAAutoOffsetBtns value);
    TPNCAButtons* Buttons() const { return FButtons.get(); }
    void SetButtons(const TPNCAButtons* value) { FButtons->Assign(value); }
    int OffsetX() const { return FOffsetX; }
    void SetOffsetX(int value);
    int OffsetY() const { return FOffsetY; }
    void SetOffsetY(int value);
    int MaxOffsetX() const { return FMaxOffsetX; }
    void SetMaxOffsetX(int value);
    int MaxOffsetY() const { return FMaxOffsetY; }
    void SetMaxOffsetY(int value);
    TPNCAShowCaptionPos ShowCaption() const { return FShowCaption; }
    void SetShowCaption(TPNCAShowCaptionPos value);
    TAlignment CaptionAlignment() const { return FCaptionAlignment; }
    void SetCaptionAlignment(TAlignment value);
    int CaptionGlowSize() const { return FCaptionGlowSize; }
    void SetCaptionGlowSize(int value);
    // Image lists by index: 0 Images, 1 HoverImages, 2 DownImages, 3 SmallImages,
    // 4 SmallHoverImages, 5 SmallDownImages.
    TCustomImageList* ImagesAt(int index) const { return FImages.at(static_cast<size_t>(index)); }
    void SetImagesAt(int index, TCustomImageList* value);
    TCustomImageList* Images() const { return ImagesAt(pilImages); }
    void SetImages(TCustomImageList* value) { SetImagesAt(pilImages, value); }
    int ButtonWidth() const { return FButtonWidth; }
    void SetButtonWidth(int value);
    int ButtonHeight() const { return FButtonHeight; }
    void SetButtonHeight(int value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);

    TPNCAButtonEvent OnClick;
    TPNCAButtonEvent OnHoverChange;
    TPNCAButtonBeforeDrawEvent OnBeforeDrawButton;
    TPNCAButtonDrawEvent OnDrawButton;
    TPNCAMouseEvent OnMouseDown;
    TPNCAMouseEvent OnMouseUp;
    TPNCAMouseMoveEvent OnMouseMove;

    // Run-time state.
    TForm* AttachedForm() const { return FAttachedForm; }
    const std::string& SavedCaption() const { return FSavedCaption; }
    TPNCAButton* HotButton() const { return FHotButton; }
    TPNCAButton* MenuButton() const { return FMenuButton; }
    TFont* CaptionFont() const { return FCaptionFont.get(); }
    bool CompositionActive() const { return FCompositionActive; }
    bool SmallButtons() const { return FSmallButtons; }
    bool GradientCaptions() const { return FGradientCaptions; }
    bool Detaching() const { return FDetaching; }
    bool IsWin8OrLater() const { return FIsWin8OrLater; }
    bool IsVistaOrLater() const { return FIsVistaOrLater; }
    bool IsVista() const { return FIsVista; }
    // The size of buttons without a picture (the toolbar's ButtonWidth/Height, else Images').
    int DefaultImageWidth() const;
    int DefaultImageHeight() const;

    // Marks the toolbar as being set up from a stored layout; Loaded ends it and applies Visible.
    void BeginLoading() { FLoading = true; }
    bool Loading() const { return FLoading; }
    virtual void Loaded();

    // A button's bar slot (full) or button rectangle in window coordinates; for no button the
    // whole bar, from the first visible button to the last visible one (empty when none is).
    void GetButtonRect(TPNCAButton* button, bool full, TRect& rect);
    void GetButtonScreenRect(TPNCAButton* button, bool full, TRect& rect);
    TPNCAButton* ButtonAtPoint(TPoint point);
    TPNCAButton* ButtonAt(int x, int y) { return ButtonAtPoint(Point(x, y)); }
    bool IsVistaGlassMaximized(bool assumeMaximized);
    void SetHotButton(TPNCAButton* button);

    virtual void FormWndProc(TMessage& message);
    virtual void UpdateCaptionFont();
    virtual void DrawImageListImage(TCustomImageList* imageList, TCanvas* canvas, int x, int y, int index,
                                    bool enabled);
    virtual void DrawGraphic(TGraphic* graphic, TCanvas* canvas, int x, int y);
    virtual TCustomImageList* GetButtonImages(TPNCAButton* button);
    virtual TGraphic* GetButtonGraphic(TPNCAButton* button);
    virtual void InvalidateBar(bool activate, bool onlyIfHandle);
    virtual void CalcButtonRects(bool assumeMaximized);
    virtual void DrawButton(TPNCAButton* button, TCanvas* canvas, const TPoint* origin, bool vistaGlassMax);
    virtual void DrawCaption(TCanvas* canvas, const TRect& windowRect, bool assumeMaximized);
    virtual void PaintBar(TPNCAButton* button, bool assumeMaximized);
    virtual void StartHint();
    virtual void ShowHintWindow();
    virtual void HideHint();
    virtual bool IsButtonAtIndex(TPNCAButton* button, int index);
    virtual void Invalidate() { InvalidateBar(true, true); }

    CL_CLASS_NAME(TPNCAToolbar)

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TPNCAButtons;
    friend class TPNCAButton;
    friend void CALLBACK PNCAReattachTimerProc(HWND, UINT, UINT_PTR, DWORD);

    bool Attached() const { return FAttachedForm != nullptr; }
    bool FormUsable() const;
    bool FormHasHandle() const;
    HWND FormHandle() const;
    TPNCAFrame Frame() const;
    bool FormActive() const;
    bool Themed() const;
    void Attach();
    void Detach();
    void UpdateComposition();
    void ImagesChanged(TObject* sender);
    void StartReattachTimer();
    void StopReattachTimer();
    void DefaultHandler(TMessage& message) { FHook.CallNext(message); }
    void HandleActivation(TMessage& message, bool active);
    void HandleNcPaint(TMessage& message);
    void HandleNcLButtonDown(TMessage& message);
    void HandleNcLButtonUp(TMessage& message);
    void ClickButton(TPNCAButton* button);

    bool FAllowSystemMenu = true;
    TPNCAAutoOffsetBtns FAutoOffsetBtns = paoAllExceptFirst;
    std::unique_ptr<TPNCAButtons> FButtons;
    int FOffsetX = 0;
    int FOffsetY = 0;
    int FMaxOffsetX = 0;
    int FMaxOffsetY = 0;
    TPNCAShowCaptionPos FShowCaption = pscpNone;
    TAlignment FCaptionAlignment = taCenter;
    int FCaptionGlowSize = 10;
    std::array<TCustomImageList*, 6> FImages{};
    std::array<std::unique_ptr<TChangeLink>, 6> FImageChangeLinks;
    int FButtonWidth = -1;
    int FButtonHeight = -1;
    bool FVisible = true;
    bool FShowHint = false;

    TForm* FAttachedForm = nullptr;
    TWndHook FHook;
    std::string FSavedCaption;
    TPNCAButton* FHotButton = nullptr;
    TPNCAButton* FMenuButton = nullptr;
    std::unique_ptr<TPNCAHintWindow> FHintWindow;
    std::unique_ptr<TFont> FCaptionFont;
    bool FCompositionActive = false;
    bool FSmallButtons = false;
    bool FGradientCaptions = false;
    bool FDetaching = false;
    bool FLoading = false;
    bool FReattachPending = false;
    bool FIsWin8OrLater = false;
    bool FIsVistaOrLater = false;
    bool FIsVista = false;
};
