#include "Menus.h"

#include "Forms.h"
#include "PlatformText.h"

#include <algorithm>

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem()
{
    if (FParent != nullptr)
        FParent->FItems.erase(std::remove(FParent->FItems.begin(), FParent->FItems.end(), this),
                              FParent->FItems.end());
    for (TMenuItem* child : FItems)
        child->FParent = nullptr;
}

void TMenuItem::SetAction(TBasicAction* action)
{
    if (FAction != nullptr)
        RemoveFreeNotification(FAction);
    FAction = action;
    if (FAction != nullptr)
        FreeNotification(FAction);
}

bool TMenuItem::Enabled() const
{
    if (const auto* action = dynamic_cast<const TCustomAction*>(FAction)) {
        return action->Enabled();
    }
    return FEnabled;
}

void TMenuItem::Add(TMenuItem* item)
{
    if (item->FParent != nullptr)
        item->FParent->Remove(item);
    if (item->Owner() != this) {
        if (item->Owner() != nullptr)
            item->Owner()->RemoveComponent(item);
        InsertComponent(item);
    }
    item->FParent = this;
    FItems.push_back(item);
}

void TMenuItem::Remove(TMenuItem* item)
{
    FItems.erase(std::remove(FItems.begin(), FItems.end(), item), FItems.end());
    item->FParent = nullptr;
}

void TMenuItem::Clear()
{
    while (!FItems.empty())
        delete FItems.back();   // the destructor takes it out of this item and the owner
}

void TMenuItem::Click()
{
    if (OnClick.Assigned())
        OnClick(this);
    else if (FAction != nullptr)
        FAction->Execute();
}

void TMenuItem::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FAction)
        FAction = nullptr;
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), FItems(new TMenuItem(this)) {}

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner), FItems(new TMenuItem(this)) {}

std::string TMenuItem::Caption() const { return plat::WideToSystem(FCaption); }

void TMenuItem::SetCaption(const std::string& caption) { FCaption = plat::SystemToWide(caption); }

TBitmap* TMenuItem::Bitmap()
{
    if (!FBitmap)
        FBitmap = std::make_unique<TBitmap>();
    return FBitmap.get();
}

namespace {

// Builds the system menu of item's children; ids index into items.
HMENU BuildMenu(TMenuItem* item, std::vector<TMenuItem*>& items)
{
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < item->Count(); ++i) {
        TMenuItem* child = item->Items(i);
        if (!child->Visible())
            continue;
        if (child->Caption() == "-") {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        UINT flags = MF_STRING | (child->Enabled() ? 0 : MF_GRAYED) | (child->Checked() ? MF_CHECKED : 0);
        const wchar_t* text = WideChars(child->WideCaption());
        if (child->Count() > 0) {
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(BuildMenu(child, items)), text);
        } else {
            items.push_back(child);
            AppendMenuW(menu, flags, items.size(), text);
        }
    }
    return menu;
}

}  // namespace

void TPopupMenu::Popup(int x, int y)
{
    if (OnPopup.Assigned())
        OnPopup(this);
    std::vector<TMenuItem*> items;
    HMENU menu = BuildMenu(FItems, items);
    HWND owner = Application != nullptr ? Application->Handle() : nullptr;
    UINT chosen = TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY, x, y, 0, owner, nullptr);
    DestroyMenu(menu);
    if (chosen > 0 && chosen <= items.size())
        items[chosen - 1]->Click();
}
