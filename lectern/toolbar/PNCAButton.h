// PNCAButton: the buttons of the caption-bar toolbar (Windows builds only).
//
// The buttons (TPNCAButton) live in a TPNCAButtons collection, which the toolbar (PNCAToolbar)
// owns. A button has eight pictures (normal, hovered, down, disabled, and the same four for a
// small bar), an image index into the toolbar's image lists, a caption, a style and tab
// colours; it can be linked to an action (TPNCAButtonActionLink) and show a drop-down menu.
// A change to a button reaches its toolbar through the collection, which repaints the button
// or the bar. Where the buttons go, which picture shows and who handles a click are decided by
// the window-free functions of PNCACommon.
#pragma once

#include "classlib/ActnList.h"
#include "classlib/Collections.h"
#include "classlib/Graphics.h"
#include "classlib/Menus.h"
#include "lectern/toolbar/PNCACommon.h"

#include <array>
#include <memory>
#include <string>

class TPNCAButton;
class TPNCAToolbar;

using TCursor = int;   // 0 = the default cursor, else a system cursor id (IDC_...)
using TImageIndex = int;

// Keeps a button in step with its action: a value the action changes reaches the button only
// while the button still shows the action's value.
class TPNCAButtonActionLink : public TActionLink {
public:
    explicit TPNCAButtonActionLink(TObject* client);

    bool IsCaptionLinked() const override;
    bool IsCheckedLinked() const override;
    bool IsEnabledLinked() const override;
    bool IsHintLinked() const override;
    bool IsImageIndexLinked() const override;
    bool IsVisibleLinked() const override;
    bool IsOnExecuteLinked() const override;
    void SetCaption(const std::string& value) override;
    void SetChecked(bool value) override;
    void SetEnabled(bool value) override;
    void SetHint(const std::string& value) override;
    void SetImageIndex(int value) override;
    void SetVisible(bool value) override;
    void SetOnExecute(TNotifyEvent value) override;

    CL_CLASS_NAME(TPNCAButtonActionLink)

protected:
    void AssignClient(TObject* client) override;

private:
    TCustomAction* Custom() const { return dynamic_cast<TCustomAction*>(Action()); }
    TPNCAButton* FClient = nullptr;
};

class TPNCAButton : public TCollectionItem {
public:
    explicit TPNCAButton(TCollection* collection);
    ~TPNCAButton() override;

    static std::unique_ptr<TCollectionItem> Create(TCollection* collection)
    {
        return std::make_unique<TPNCAButton>(collection);
    }

    void Assign(const TPersistent* source) override;
    std::string GetDisplayName() const override;

    // The toolbar of the collection, or nullptr.
    TPNCAToolbar* Toolbar() const;

    TBasicAction* Action() const;
    void SetAction(TBasicAction* action);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    bool Checked() const { return FChecked; }
    void SetChecked(bool value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    TImageIndex ImageIndex() const { return FImageIndex; }
    void SetImageIndex(TImageIndex value);
    int Tag() const { return FTag; }
    void SetTag(int value) { FTag = value; }
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& value) { FHint = value; }
    int ButtonWidth() const { return FButtonWidth; }
    void SetButtonWidth(int value);
    int ButtonHeight() const { return FButtonHeight; }
    void SetButtonHeight(int value);
    // The eight pictures, by slot (TPNCAPictureSlot); the setter assigns into the owned one.
    TPicture* PictureAt(int slot) const { return FPictures.at(static_cast<size_t>(slot)).get(); }
    void SetPictureAt(int slot, const TPicture* value);
    TPicture* Picture() const { return PictureAt(ppPicture); }
    TPicture* PictureHovered() const { return PictureAt(ppPictureHovered); }
    TPicture* PictureDown() const { return PictureAt(ppPictureDown); }
    TPicture* PictureSmall() const { return PictureAt(ppPictureSmall); }
    TPicture* PictureSmallHovered() const { return PictureAt(ppPictureSmallHovered); }
    TPicture* PictureSmallDown() const { return PictureAt(ppPictureSmallDown); }
    TPicture* PictureDisabled() const { return PictureAt(ppPictureDisabled); }
    TPicture* PictureSmallDisabled() const { return PictureAt(ppPictureSmallDisabled); }
    TPopupMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(TPopupMenu* menu);
    int OffsetX() const { return FOffsetX; }
    void SetOffsetX(int value);
    int OffsetY() const { return FOffsetY; }
    void SetOffsetY(int value);
    TCursor HoverCursor() const { return FHoverCursor; }
    void SetHoverCursor(TCursor value) { FHoverCursor = value; }
    TNotifyEvent OnClick() const { return FOnClick; }
    void SetOnClick(TNotifyEvent value) { FOnClick = value; }
    TAlignment CaptionAlignment() const { return FCaptionAlignment; }
    void SetCaptionAlignment(TAlignment value);
    TColor CaptionColor() const { return FCaptionColor; }
    void SetCaptionColor(TColor value);
    int CaptionGlowSize() const { return FCaptionGlowSize; }
    void SetCaptionGlowSize(int value);
    bool ShowCaption() const { return FShowCaption; }
    void SetShowCaption(bool value);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int value);
    int Padding() const { return FPadding; }
    void SetPadding(int value);
    TPNCAButtonStyle Style() const { return FStyle; }
    void SetStyle(TPNCAButtonStyle value);
    int StyleTabAlphaBlend() const { return FStyleTabAlphaBlend; }
    void SetStyleTabAlphaBlend(int value);
    // The three tab colours, by index: 0 StyleTabColor, 1 StyleTabColorTo, 2 StyleTabFrameColor.
    TColor StyleTabColorAt(int index) const { return FTabColors.at(static_cast<size_t>(index)); }
    void SetStyleTabColorAt(int index, TColor value);
    TColor StyleTabColor() const { return StyleTabColorAt(0); }
    TColor StyleTabColorTo() const { return StyleTabColorAt(1); }
    TColor StyleTabFrameColor() const { return StyleTabColorAt(2); }
    bool StyleTabRounded() const { return FStyleTabRounded; }
    void SetStyleTabRounded(bool value);

    // Run-time state.
    const TRect& BtnRect() const { return FBtnRect; }
    const TRect& BarRect() const { return FBarRect; }
    int CaptionWidth() const { return FCaptionWidth; }
    bool Down() const { return FDown; }
    void SetDown(bool value);
    TPNCAButtonActionLink* ActionLink() const { return FActionLink.get(); }

    void UpdateCaptionWidth();
    int CalcWidth();
    int CalcHeight();

    CL_CLASS_NAME(TPNCAButton)

protected:
    // The action changed: copy its values (only those still at their defaults, with checkDefaults).
    virtual void ActionChange(TObject* sender, bool checkDefaults);
    virtual std::unique_ptr<TPNCAButtonActionLink> CreateActionLink();

private:
    friend class TPNCAToolbar;
    friend class TPNCAButtonActionLink;
    void DoActionChange(TObject* sender);
    void PictureChanged(TObject* sender);
    TPNCAButtonSizeInput SizeInput();

    bool FEnabled = true;
    bool FChecked = false;
    bool FVisible = true;
    TImageIndex FImageIndex = -1;
    int FTag = 0;
    std::string FCaption;
    std::string FHint;
    int FButtonWidth = -1;
    int FButtonHeight = -1;
    std::array<std::unique_ptr<TPicture>, 8> FPictures;
    TPopupMenu* FDropDownMenu = nullptr;
    int FOffsetX = 0;
    int FOffsetY = 0;
    TCursor FHoverCursor = 0;
    TNotifyEvent FOnClick;
    TAlignment FCaptionAlignment = taCenter;
    TColor FCaptionColor = clNone;
    int FCaptionGlowSize = 13;
    bool FShowCaption = false;
    int FSpacing = 3;
    int FPadding = 0;
    TPNCAButtonStyle FStyle = pbsNone;
    int FStyleTabAlphaBlend = 255;
    std::array<TColor, 3> FTabColors{0xC0E0FF, clNone, 0x00B0FF};
    bool FStyleTabRounded = false;

    TRect FBtnRect;
    TRect FBarRect;
    int FCaptionWidth = -1;
    bool FDown = false;
    std::unique_ptr<TPNCAButtonActionLink> FActionLink;
};

class TPNCAButtons : public TCollection {
public:
    explicit TPNCAButtons(TPNCAToolbar* toolbar);

    TPNCAButton* Items(int index) const { return static_cast<TPNCAButton*>(Item(index)); }
    void SetItems(int index, const TPNCAButton* value) { Items(index)->Assign(value); }
    TPNCAButton* Add() { return static_cast<TPNCAButton*>(TCollection::Add()); }
    TPersistent* GetOwner() const override;
    TPNCAToolbar* Toolbar() const { return FToolbar; }

    CL_CLASS_NAME(TPNCAButtons)

protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override;
    void Update(TCollectionItem* item) override;

private:
    TPNCAToolbar* FToolbar;
};
