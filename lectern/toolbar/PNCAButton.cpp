#include "lectern/toolbar/PNCAButton.h"

#include "lectern/toolbar/PNCAToolbar.h"

#include <algorithm>

// ---- TPNCAButtonActionLink -------------------------------------------------------------------

TPNCAButtonActionLink::TPNCAButtonActionLink(TObject* client) : TActionLink(client) { AssignClient(client); }

void TPNCAButtonActionLink::AssignClient(TObject* client)
{
    FClient = dynamic_cast<TPNCAButton*>(client);
    Assert(FClient != nullptr, "TPNCAButtonActionLink: the client must be a TPNCAButton");
}

bool TPNCAButtonActionLink::IsCaptionLinked() const
{
    return TActionLink::IsCaptionLinked() && SameCaption(FClient->Caption(), Custom()->Caption());
}

bool TPNCAButtonActionLink::IsCheckedLinked() const
{
    return TActionLink::IsCheckedLinked() && FClient->Checked() == Custom()->Checked();
}

bool TPNCAButtonActionLink::IsEnabledLinked() const
{
    return TActionLink::IsEnabledLinked() && FClient->Enabled() == Custom()->Enabled();
}

bool TPNCAButtonActionLink::IsHintLinked() const
{
    return TActionLink::IsHintLinked() && FClient->Hint() == Custom()->Hint();
}

bool TPNCAButtonActionLink::IsImageIndexLinked() const
{
    return TActionLink::IsImageIndexLinked() && FClient->ImageIndex() == Custom()->ImageIndex();
}

bool TPNCAButtonActionLink::IsVisibleLinked() const
{
    return TActionLink::IsVisibleLinked() && FClient->Visible() == Custom()->Visible();
}

bool TPNCAButtonActionLink::IsOnExecuteLinked() const
{
    return TActionLink::IsOnExecuteLinked() && Action() != nullptr &&
           FClient->OnClick().SameCode(Action()->OnExecute());
}

void TPNCAButtonActionLink::SetCaption(const std::string& value)
{
    if (IsCaptionLinked())
        FClient->SetCaption(value);
}

void TPNCAButtonActionLink::SetChecked(bool value)
{
    if (IsCheckedLinked())
        FClient->SetChecked(value);
}

void TPNCAButtonActionLink::SetEnabled(bool value)
{
    if (IsEnabledLinked())
        FClient->SetEnabled(value);
}

void TPNCAButtonActionLink::SetHint(const std::string& value)
{
    if (IsHintLinked())
        FClient->SetHint(value);
}

void TPNCAButtonActionLink::SetImageIndex(int value)
{
    if (IsImageIndexLinked())
        FClient->SetImageIndex(value);
}

void TPNCAButtonActionLink::SetVisible(bool value)
{
    if (IsVisibleLinked())
        FClient->SetVisible(value);
}

void TPNCAButtonActionLink::SetOnExecute(TNotifyEvent value)
{
    if (IsOnExecuteLinked())
        FClient->FOnClick = value;   // no repaint
}

// ---- TPNCAButton ------------------------------------------------------------------------------

TPNCAButton::TPNCAButton(TCollection* collection) : TCollectionItem(collection)
{
    for (auto& picture : FPictures) {
        picture = std::make_unique<TPicture>();
        picture->OnChange = TNotifyEvent(this, &TPNCAButton::PictureChanged);
    }
}

TPNCAButton::~TPNCAButton()
{
    FActionLink.reset();
    for (auto& picture : FPictures)
        picture->OnChange = TNotifyEvent();
}

TPNCAToolbar* TPNCAButton::Toolbar() const
{
    auto* buttons = dynamic_cast<TPNCAButtons*>(Collection());
    return buttons ? buttons->Toolbar() : nullptr;
}

std::string TPNCAButton::GetDisplayName() const
{
    return FCaption.empty() ? TCollectionItem::GetDisplayName() : FCaption;
}

void TPNCAButton::Assign(const TPersistent* source)
{
    const auto* other = dynamic_cast<const TPNCAButton*>(source);
    if (other == nullptr) {
        TCollectionItem::Assign(source);
        return;
    }
    FImageIndex = other->FImageIndex;
    FEnabled = other->FEnabled;
    FChecked = other->FChecked;
    FVisible = other->FVisible;
    FDown = other->FDown;
    FTag = other->FTag;
    FCaption = other->FCaption;
    FHint = other->FHint;
    FButtonWidth = other->FButtonWidth;
    FButtonHeight = other->FButtonHeight;
    SetDropDownMenu(other->FDropDownMenu);
    FOffsetX = other->FOffsetX;
    FOffsetY = other->FOffsetY;
    FHoverCursor = other->FHoverCursor;
    for (int i = 0; i < 8; ++i)
        FPictures[static_cast<size_t>(i)]->Assign(other->PictureAt(i));
    SetAction(other->Action());
    if (FActionLink == nullptr)
        Changed(true);
}

TBasicAction* TPNCAButton::Action() const { return FActionLink ? FActionLink->Action() : nullptr; }

std::unique_ptr<TPNCAButtonActionLink> TPNCAButton::CreateActionLink()
{
    return std::make_unique<TPNCAButtonActionLink>(this);
}

void TPNCAButton::SetAction(TBasicAction* action)
{
    if (action == nullptr) {
        FActionLink.reset();
        return;
    }
    if (FActionLink == nullptr)
        FActionLink = CreateActionLink();
    FActionLink->SetAction(action);
    FActionLink->OnChange = TNotifyEvent(this, &TPNCAButton::DoActionChange);
    ActionChange(action, false);   // actions are set up in code, never loaded
    if (TPNCAToolbar* toolbar = Toolbar())
        toolbar->FreeNotification(action);
}

void TPNCAButton::DoActionChange(TObject* sender) { ActionChange(sender, false); }

void TPNCAButton::ActionChange(TObject* sender, bool checkDefaults)
{
    auto* action = dynamic_cast<TCustomAction*>(sender);
    if (action == nullptr)
        return;
    if (!checkDefaults || FCaption.empty()) {
        FCaption = action->Caption();
        FCaptionWidth = -1;   // measured again for the new caption
    }
    if (!checkDefaults || !FChecked)
        FChecked = action->Checked();
    if (!checkDefaults || FEnabled)
        FEnabled = action->Enabled();
    if (!checkDefaults || FHint.empty())
        FHint = action->Hint();
    if (!checkDefaults || FImageIndex == -1)
        FImageIndex = action->ImageIndex();
    if (!checkDefaults || !FOnClick.Assigned())
        FOnClick = action->OnExecute();
    bool visibleChanged = false;
    if ((!checkDefaults || FVisible) && FVisible != action->Visible()) {
        SetVisible(action->Visible());
        visibleChanged = true;
    }
    if (!visibleChanged)
        Changed(false);
}

void TPNCAButton::PictureChanged(TObject*) { Changed(true); }

void TPNCAButton::SetEnabled(bool value)
{
    if (value != FEnabled) {
        FEnabled = value;
        Changed(false);
    }
}

void TPNCAButton::SetChecked(bool value)
{
    if (value != FChecked) {
        FChecked = value;
        Changed(false);
    }
}

void TPNCAButton::SetVisible(bool value)
{
    if (value != FVisible) {
        FVisible = value;
        Changed(true);
    }
}

void TPNCAButton::SetImageIndex(TImageIndex value)
{
    if (value != FImageIndex) {
        FImageIndex = value;
        Changed(false);
    }
}

void TPNCAButton::SetCaption(const std::string& value)
{
    if (value != FCaption) {
        FCaption = value;
        UpdateCaptionWidth();
        Changed(FShowCaption);
    }
}

void TPNCAButton::SetButtonWidth(int value)
{
    if (value != FButtonWidth) {
        FButtonWidth = value;
        Changed(true);
    }
}

void TPNCAButton::SetButtonHeight(int value)
{
    if (value != FButtonHeight) {
        FButtonHeight = value;
        Changed(true);
    }
}

void TPNCAButton::SetPictureAt(int slot, const TPicture* value) { PictureAt(slot)->Assign(value); }

void TPNCAButton::SetDropDownMenu(TPopupMenu* menu)
{
    if (menu == FDropDownMenu)
        return;
    FDropDownMenu = menu;
    if (menu != nullptr)
        if (TPNCAToolbar* toolbar = Toolbar())
            toolbar->FreeNotification(menu);
}

void TPNCAButton::SetOffsetX(int value)
{
    if (value != FOffsetX) {
        FOffsetX = value;
        Changed(false);
    }
}

void TPNCAButton::SetOffsetY(int value)
{
    if (value != FOffsetY) {
        FOffsetY = value;
        Changed(false);
    }
}

void TPNCAButton::SetCaptionAlignment(TAlignment value)
{
    if (value != FCaptionAlignment) {
        FCaptionAlignment = value;
        Changed(false);
    }
}

void TPNCAButton::SetCaptionColor(TColor value)
{
    if (value != FCaptionColor) {
        FCaptionColor = value;
        Changed(false);
    }
}

void TPNCAButton::SetCaptionGlowSize(int value)
{
    value = std::max(value, 0);
    if (value != FCaptionGlowSize) {
        FCaptionGlowSize = value;
        Changed(false);
    }
}

void TPNCAButton::SetShowCaption(bool value)
{
    if (value != FShowCaption) {
        FShowCaption = value;
        UpdateCaptionWidth();
        Changed(true);
    }
}

void TPNCAButton::SetSpacing(int value)
{
    if (value != FSpacing) {
        FSpacing = value;
        UpdateCaptionWidth();
        Changed(true);
    }
}

void TPNCAButton::SetPadding(int value)
{
    if (value != FPadding) {
        FPadding = value;
        Changed(true);
    }
}

void TPNCAButton::SetStyle(TPNCAButtonStyle value)
{
    if (value == FStyle)
        return;
    TPNCAButtonStyle old = FStyle;
    FStyle = value;
    TPNCAToolbar* toolbar = Toolbar();
    if (old == pbsNone && FPadding == 0 && !(toolbar && toolbar->Loading()))
        SetPadding(3);
    else
        Changed(false);
}

void TPNCAButton::SetStyleTabAlphaBlend(int value)
{
    if (value != FStyleTabAlphaBlend) {
        FStyleTabAlphaBlend = value;
        Changed(false);
    }
}

void TPNCAButton::SetStyleTabColorAt(int index, TColor value)
{
    TColor& color = FTabColors.at(static_cast<size_t>(index));
    if (value != color) {
        color = value;
        Changed(false);
    }
}

void TPNCAButton::SetStyleTabRounded(bool value)
{
    if (value != FStyleTabRounded) {
        FStyleTabRounded = value;
        Changed(false);
    }
}

void TPNCAButton::SetDown(bool value)
{
    if (value != FDown) {
        FDown = value;
        Changed(false);
    }
}

void TPNCAButton::UpdateCaptionWidth()
{
    TPNCAToolbar* toolbar = Toolbar();
    if (FCaption.empty() || toolbar == nullptr || toolbar->AttachedForm() == nullptr) {
        FCaptionWidth = -1;
        return;
    }
    HWND window = toolbar->AttachedForm()->HandleValue();
    HDC dc = GetDC(window);
    TCanvas canvas(dc);
    canvas.Font().Assign(toolbar->CaptionFont());
    canvas.Font().SetStyle(0);
    FCaptionWidth = canvas.TextWidth(FCaption);
    ReleaseDC(window, dc);
}

TPNCAButtonSizeInput TPNCAButton::SizeInput()
{
    TPNCAButtonSizeInput in;
    in.ButtonWidth = FButtonWidth;
    in.ButtonHeight = FButtonHeight;
    TGraphic* graphic = Picture()->Graphic();
    in.HasGraphic = graphic != nullptr && !graphic->Empty();
    if (in.HasGraphic) {
        in.GraphicWidth = graphic->Width();
        in.GraphicHeight = graphic->Height();
    }
    if (TPNCAToolbar* toolbar = Toolbar()) {
        in.DefaultImageWidth = toolbar->DefaultImageWidth();
        in.DefaultImageHeight = toolbar->DefaultImageHeight();
    }
    in.Style = FStyle;
    in.Padding = FPadding;
    in.ShowCaption = FShowCaption;
    in.CaptionAlignment = FCaptionAlignment;
    in.Spacing = FSpacing;
    return in;
}

int TPNCAButton::CalcWidth()
{
    if (FButtonWidth < 0 && FShowCaption && FCaptionWidth == -1)
        UpdateCaptionWidth();
    TPNCAButtonSizeInput in = SizeInput();
    in.CaptionWidth = FCaptionWidth;
    return PNCAButtonWidth(in);
}

int TPNCAButton::CalcHeight() { return PNCAButtonHeight(SizeInput()); }

// ---- TPNCAButtons -----------------------------------------------------------------------------

TPNCAButtons::TPNCAButtons(TPNCAToolbar* toolbar) : TCollection(&TPNCAButton::Create), FToolbar(toolbar) {}

TPersistent* TPNCAButtons::GetOwner() const { return FToolbar; }

void TPNCAButtons::Notify(TCollectionItem* item, TCollectionNotification action)
{
    if (action == TCollectionNotification::cnDeleting) {
        if (item == FToolbar->FHotButton)
            FToolbar->SetHotButton(nullptr);
        if (item == FToolbar->FMenuButton)
            FToolbar->FMenuButton = nullptr;
    }
    TCollection::Notify(item, action);
}

void TPNCAButtons::Update(TCollectionItem* item)
{
    if (FToolbar->Destroying() || !FToolbar->FormUsable())
        return;
    if (item != nullptr) {
        FToolbar->PaintBar(static_cast<TPNCAButton*>(item), false);
    } else if (Count() == 0) {
        FToolbar->SetVisible(FToolbar->Visible());   // detaches: no buttons, no bar
    } else {
        FToolbar->InvalidateBar(true, true);
    }
}
