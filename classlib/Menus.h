// Menu items and popup menus (Windows builds only).
//
// A TMenuItem has a caption ("-" makes a separator), a tag, a click handler or an action, and
// child items; an item linked to an action is enabled as its action is. TPopupMenu shows its
// items at a screen point and returns when the menu closes; the chosen item's Click runs after
// the menu is gone.
#pragma once

#include "ActnList.h"
#include "Controls.h"
#include "Graphics.h"

#include <memory>
#include <string>
#include <vector>

class TMenuItem : public TComponent {
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;

    // The caption is kept in UTF-16, as the menu shows it; the 8-bit forms are in the system
    // code page.
    std::string Caption() const;
    const std::u16string& WideCaption() const { return FCaption; }
    void SetCaption(const std::string& caption);
    void SetCaption(const std::u16string& caption) { FCaption = caption; }
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }
    // An item linked to an action shows the action's Enabled (and is drawn grey when the
    // action is disabled); an item without one its own.
    bool Enabled() const;
    void SetEnabled(bool v) { FEnabled = v; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool v) { FVisible = v; }
    bool Checked() const { return FChecked; }
    void SetChecked(bool v) { FChecked = v; }
    TBasicAction* Action() const { return FAction; }
    void SetAction(TBasicAction* action);
    // The item's picture in its menu's image list (-1: none).
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index) { FImageIndex = index; }
    // The item's own picture, made empty on first use.
    TBitmap* Bitmap();

    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }
    TMenuItem* Parent() const { return FParent; }
    // Puts item (made by the caller, owned by this item from now on) at the end.
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    void Clear();

    // Runs OnClick when assigned, else the action.
    virtual void Click();

    TNotifyEvent OnClick;

    CL_CLASS_NAME(TMenuItem)

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::u16string FCaption;
    int FTag = 0;
    bool FEnabled = true;
    bool FVisible = true;
    bool FChecked = false;
    int FImageIndex = -1;
    std::unique_ptr<TBitmap> FBitmap;
    TBasicAction* FAction = nullptr;
    TMenuItem* FParent = nullptr;
    std::vector<TMenuItem*> FItems;   // owned through the component tree
};

class TPopupMenu : public TComponent, public TPopupSource {
public:
    explicit TPopupMenu(TComponent* owner);

    TMenuItem* Items() const { return FItems; }
    // Shows the menu at a screen point and returns when it closes; the chosen item is clicked.
    void Popup(int x, int y) override;
    // The component that showed the menu last.
    TComponent* PopupComponent() const { return FPopupComponent; }
    void SetPopupComponent(TComponent* component) { FPopupComponent = component; }

    TNotifyEvent OnPopup;

    CL_CLASS_NAME(TPopupMenu)

private:
    TMenuItem* FItems;   // owned through the component tree
    TComponent* FPopupComponent = nullptr;
};

// The menu bar of a form: the children of Items are its top-level items.
class TMainMenu : public TComponent {
public:
    explicit TMainMenu(TComponent* owner);

    TMenuItem* Items() const { return FItems; }

    CL_CLASS_NAME(TMainMenu)

private:
    TMenuItem* FItems;   // owned through the component tree
};
