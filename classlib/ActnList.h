// Actions and action links.
//
// An action (TBasicAction) is a command that several clients share: a button, a menu item.
// Each client keeps a link (TBasicActionLink) that the action knows; when the action changes,
// every link hears of it (OnChange), and a client executes the action through its link.
// TCustomAction adds the properties clients show (caption, checked, enabled, hint, image
// index, visible). When one of them is set, each TActionLink is asked to carry the new value
// to its client first; a link does so only while the client's value is still the action's
// (the property is "linked"), so a client that set its own value keeps it.
#pragma once

#include "Components.h"
#include "Events.h"

#include <string>
#include <vector>

class TBasicActionLink;

class TBasicAction : public TComponent {
public:
    explicit TBasicAction(TComponent* owner);
    ~TBasicAction() override;

    // Runs OnExecute with the action as sender; answers whether a handler ran.
    virtual bool Execute();

    TNotifyEvent OnExecute() const { return FOnExecute; }
    void SetOnExecute(TNotifyEvent handler);

    // The component that executed the action last (through a link), or nullptr.
    TComponent* ActionComponent() const { return FActionComponent; }
    void SetActionComponent(TComponent* component) { FActionComponent = component; }

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    void RegisterChanges(TBasicActionLink* link);
    void UnRegisterChanges(TBasicActionLink* link);
    int ClientCount() const { return static_cast<int>(FClients.size()); }

    CL_CLASS_NAME(TBasicAction)

protected:
    // Tells every link that the action changed.
    void Change();
    const std::vector<TBasicActionLink*>& Clients() const { return FClients; }
    void Notification(TComponent* component, TOperation operation) override;

private:
    TNotifyEvent FOnExecute;
    TComponent* FActionComponent = nullptr;
    int FTag = 0;
    std::vector<TBasicActionLink*> FClients;   // not owned
};

class TBasicActionLink : public TObject {
public:
    explicit TBasicActionLink(TObject* client);
    ~TBasicActionLink() override;
    TBasicActionLink(const TBasicActionLink&) = delete;
    TBasicActionLink& operator=(const TBasicActionLink&) = delete;

    TBasicAction* Action() const { return FAction; }
    void SetAction(TBasicAction* action);

    // Executes the action for component (which becomes its ActionComponent).
    virtual bool Execute(TComponent* component = nullptr);
    virtual bool IsOnExecuteLinked() const { return true; }
    virtual void SetOnExecute(TNotifyEvent) {}

    // Runs when the linked action changes; the sender is the action.
    TNotifyEvent OnChange;

    CL_CLASS_NAME(TBasicActionLink)

protected:
    virtual void AssignClient(TObject*) {}
    virtual void Change();

private:
    friend class TBasicAction;
    TBasicAction* FAction = nullptr;
};

class TCustomAction : public TBasicAction {
public:
    explicit TCustomAction(TComponent* owner) : TBasicAction(owner) {}

    // Runs OnExecute only while the action is enabled.
    bool Execute() override;

    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& value);
    bool Checked() const { return FChecked; }
    void SetChecked(bool value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    const std::string& Hint() const { return FHint; }
    void SetHint(const std::string& value);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    bool AutoCheck() const { return FAutoCheck; }
    void SetAutoCheck(bool value) { FAutoCheck = value; }

    CL_CLASS_NAME(TCustomAction)

private:
    template <class T>
    void SetLinked(T& field, const T& value, void (*toLink)(class TActionLink*, const T&));

    std::string FCaption;
    bool FChecked = false;
    bool FEnabled = true;
    std::string FHint;
    int FImageIndex = -1;
    bool FVisible = true;
    bool FAutoCheck = false;
};

class TAction : public TCustomAction {
public:
    using TCustomAction::TCustomAction;
    CL_CLASS_NAME(TAction)
};

// The link of a client that shows a TCustomAction's properties. The Is...Linked tests answer
// whether the action is a custom action; clients refine them, and the setters, to carry each
// value to themselves.
class TActionLink : public TBasicActionLink {
public:
    using TBasicActionLink::TBasicActionLink;

    virtual bool IsCaptionLinked() const;
    virtual bool IsCheckedLinked() const;
    virtual bool IsEnabledLinked() const;
    virtual bool IsHintLinked() const;
    virtual bool IsImageIndexLinked() const;
    virtual bool IsVisibleLinked() const;
    virtual void SetCaption(const std::string&) {}
    virtual void SetChecked(bool) {}
    virtual void SetEnabled(bool) {}
    virtual void SetHint(const std::string&) {}
    virtual void SetImageIndex(int) {}
    virtual void SetVisible(bool) {}

    CL_CLASS_NAME(TActionLink)
};

// A list of actions a form keeps together; it does not own them.
class TActionList : public TComponent {
public:
    explicit TActionList(TComponent* owner) : TComponent(owner) {}
    void Add(TBasicAction* action);
    int ActionCount() const { return static_cast<int>(FActions.size()); }
    TBasicAction* Actions(int index) const { return FActions.at(static_cast<size_t>(index)); }

    CL_CLASS_NAME(TActionList)

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    std::vector<TBasicAction*> FActions;
};

// Captions compare equal when they match after the accelerator marks ("&") are taken out.
bool SameCaption(const std::string& a, const std::string& b);
