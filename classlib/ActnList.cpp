#include "ActnList.h"

#include <algorithm>

// ---- TBasicAction ---------------------------------------------------------------------------

TBasicAction::TBasicAction(TComponent* owner) : TComponent(owner) {}

TBasicAction::~TBasicAction()
{
    // Links outlive the action only as empty links.
    while (!FClients.empty()) {
        TBasicActionLink* link = FClients.back();
        FClients.pop_back();
        link->FAction = nullptr;
    }
}

bool TBasicAction::Execute()
{
    if (!FOnExecute.Assigned())
        return false;
    FOnExecute(this);
    return true;
}

void TBasicAction::SetOnExecute(TNotifyEvent handler)
{
    if (handler == FOnExecute)
        return;
    for (TBasicActionLink* link : std::vector<TBasicActionLink*>(FClients))
        link->SetOnExecute(handler);
    FOnExecute = handler;
    Change();
}

void TBasicAction::RegisterChanges(TBasicActionLink* link)
{
    if (std::find(FClients.begin(), FClients.end(), link) == FClients.end())
        FClients.push_back(link);
}

void TBasicAction::UnRegisterChanges(TBasicActionLink* link)
{
    FClients.erase(std::remove(FClients.begin(), FClients.end(), link), FClients.end());
}

void TBasicAction::Change()
{
    for (TBasicActionLink* link : std::vector<TBasicActionLink*>(FClients))
        link->Change();
}

void TBasicAction::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove && component == FActionComponent)
        FActionComponent = nullptr;
}

// ---- TBasicActionLink ----------------------------------------------------------------------

TBasicActionLink::TBasicActionLink(TObject* client) { (void)client; }

TBasicActionLink::~TBasicActionLink()
{
    if (FAction != nullptr)
        FAction->UnRegisterChanges(this);
}

void TBasicActionLink::SetAction(TBasicAction* action)
{
    if (action == FAction)
        return;
    if (FAction != nullptr)
        FAction->UnRegisterChanges(this);
    FAction = action;
    if (FAction != nullptr)
        FAction->RegisterChanges(this);
}

bool TBasicActionLink::Execute(TComponent* component)
{
    if (FAction == nullptr)
        return false;
    FAction->SetActionComponent(component);
    try {
        bool ran = FAction->Execute();
        if (FAction != nullptr)
            FAction->SetActionComponent(nullptr);
        return ran;
    } catch (...) {
        if (FAction != nullptr)
            FAction->SetActionComponent(nullptr);
        throw;
    }
}

void TBasicActionLink::Change()
{
    if (OnChange.Assigned())
        OnChange(FAction);
}

// ---- TCustomAction -------------------------------------------------------------------------

bool TCustomAction::Execute() { return FEnabled && TBasicAction::Execute(); }

template <class T>
void TCustomAction::SetLinked(T& field, const T& value, void (*toLink)(TActionLink*, const T&))
{
    if (field == value)
        return;
    for (TBasicActionLink* client : std::vector<TBasicActionLink*>(Clients()))
        if (auto* link = dynamic_cast<TActionLink*>(client))
            toLink(link, value);
    field = value;
    Change();
}

void TCustomAction::SetCaption(const std::string& value)
{
    SetLinked<std::string>(FCaption, value, [](TActionLink* l, const std::string& v) { l->SetCaption(v); });
}

void TCustomAction::SetChecked(bool value)
{
    SetLinked<bool>(FChecked, value, [](TActionLink* l, const bool& v) { l->SetChecked(v); });
}

void TCustomAction::SetEnabled(bool value)
{
    SetLinked<bool>(FEnabled, value, [](TActionLink* l, const bool& v) { l->SetEnabled(v); });
}

void TCustomAction::SetHint(const std::string& value)
{
    SetLinked<std::string>(FHint, value, [](TActionLink* l, const std::string& v) { l->SetHint(v); });
}

void TCustomAction::SetImageIndex(int value)
{
    SetLinked<int>(FImageIndex, value, [](TActionLink* l, const int& v) { l->SetImageIndex(v); });
}

void TCustomAction::SetVisible(bool value)
{
    SetLinked<bool>(FVisible, value, [](TActionLink* l, const bool& v) { l->SetVisible(v); });
}

// ---- TActionLink ---------------------------------------------------------------------------

namespace {
bool IsCustom(const TBasicAction* action) { return dynamic_cast<const TCustomAction*>(action) != nullptr; }
}  // namespace

bool TActionLink::IsCaptionLinked() const { return IsCustom(Action()); }
bool TActionLink::IsCheckedLinked() const { return IsCustom(Action()); }
bool TActionLink::IsEnabledLinked() const { return IsCustom(Action()); }
bool TActionLink::IsHintLinked() const { return IsCustom(Action()); }
bool TActionLink::IsImageIndexLinked() const { return IsCustom(Action()); }
bool TActionLink::IsVisibleLinked() const { return IsCustom(Action()); }

// ---- TActionList ---------------------------------------------------------------------------

void TActionList::Add(TBasicAction* action)
{
    FActions.push_back(action);
    FreeNotification(action);
}

void TActionList::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove)
        FActions.erase(std::remove(FActions.begin(), FActions.end(), component), FActions.end());
}

bool SameCaption(const std::string& a, const std::string& b)
{
    auto strip = [](const std::string& s) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '&') {
                if (i + 1 < s.size() && s[i + 1] == '&') {
                    out += '&';
                    ++i;
                }
                continue;
            }
            out += s[i];
        }
        return out;
    };
    return strip(a) == strip(b);
}
