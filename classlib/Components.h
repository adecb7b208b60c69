// Persistent objects and components.
//
// TPersistent copies its state from another object through Assign; a class that can take
// another's state overrides Assign (or lets the source push itself with AssignTo).
//
// TComponent follows the owner rule: a component frees the components it owns when it is
// destroyed, and a component that goes first leaves its owner's list. Components that hold a
// pointer to another component subscribe with FreeNotification and are told through
// Notification(component, opRemove) just before it goes, so no pointer outlives its object.
//
// Loading: a component made from a layout applies what depends on several of its properties in
// Loaded. LoadComponents is the step a form's layout ends with: Loaded for every component the
// form owns, in the order they were made, each once (LoadComponent runs it for one component
// ahead of the others, which the later LoadComponents then skips).
#pragma once

#include "SysUtils.h"

#include <string>
#include <vector>

class TPersistent : public TObject {
public:
    // Copies the state of source into this object. The default lets source try AssignTo,
    // and raises EConvertError when neither side knows the other.
    virtual void Assign(const TPersistent* source);
    CL_CLASS_NAME(TPersistent)

protected:
    virtual void AssignTo(TPersistent* dest) const;

private:
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum class TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }
    bool Destroying() const { return FDestroying; }
    // Marks this component and those it owns as going (Destroying() answers true) before a
    // destructor tears down what they share, e.g. a form its windows.
    void MarkDestroying();
    // Called once the code that makes a component has set its properties (the point where a
    // component applies what depends on several of them).
    virtual void Loaded() {}
    // Whether LoadComponent has run Loaded for this component.
    bool ComponentLoaded() const { return FComponentLoaded; }

    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    // Asks to be told (through Notification) when component is destroyed.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    CL_CLASS_NAME(TComponent)

protected:
    // Called on the owner when a component is inserted or removed, and on every subscriber of
    // a component that is being destroyed.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    friend void LoadComponent(TComponent* component);
    void DropFreeNotifier(TComponent* component);

    TComponent* FOwner = nullptr;
    std::string FName;
    std::vector<TComponent*> FComponents;     // owned
    std::vector<TComponent*> FFreeNotifies;   // told when this one goes, and vice versa
    bool FDestroying = false;
    bool FComponentLoaded = false;
};

// Runs component's Loaded unless it ran already.
void LoadComponent(TComponent* component);
// Runs Loaded for every component owner owns that has not been loaded, in the order they were
// made (a Loaded that makes or frees components of the owner is allowed).
void LoadComponents(TComponent* owner);
