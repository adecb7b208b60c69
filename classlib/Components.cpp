#include "Components.h"

#include <algorithm>

void TPersistent::Assign(const TPersistent* source)
{
    if (source != nullptr) {
        source->AssignTo(this);
        return;
    }
    AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* dest) const
{
    dest->AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const
{
    throw EConvertError(Format("Cannot assign a %s to a %s", source ? source->ClassName() : "nil", ClassName()));
}

TComponent::TComponent(TComponent* owner)
{
    if (owner != nullptr) {
        owner->InsertComponent(this);
    }
}

TComponent::~TComponent()
{
    FDestroying = true;
    // Tell every subscriber first, while this object is still whole.
    while (!FFreeNotifies.empty()) {
        TComponent* other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        other->DropFreeNotifier(this);
        other->Notification(this, TOperation::opRemove);
    }
    // Free the owned components, last inserted first.
    while (!FComponents.empty()) {
        TComponent* child = FComponents.back();
        RemoveComponent(child);
        delete child;
    }
    if (FOwner != nullptr) {
        FOwner->RemoveComponent(this);
    }
}

void TComponent::MarkDestroying()
{
    FDestroying = true;
    for (TComponent* child : FComponents) {
        child->MarkDestroying();
    }
}

void TComponent::InsertComponent(TComponent* component)
{
    if (component->FOwner != nullptr) {
        component->FOwner->RemoveComponent(component);
    }
    FComponents.push_back(component);
    component->FOwner = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component)
{
    const auto it = std::find(FComponents.begin(), FComponents.end(), component);
    if (it == FComponents.end()) {
        return;
    }
    Notification(component, TOperation::opRemove);
    FComponents.erase(std::find(FComponents.begin(), FComponents.end(), component));
    component->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* component)
{
    if (component == nullptr || component == this) {
        return;
    }
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(component);
        component->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* component)
{
    DropFreeNotifier(component);
    component->DropFreeNotifier(this);
}

void TComponent::DropFreeNotifier(TComponent* component)
{
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component), FFreeNotifies.end());
}

void TComponent::Notification(TComponent*, TOperation) {}

void LoadComponent(TComponent* component)
{
    if (component == nullptr || component->FComponentLoaded) {
        return;
    }
    component->FComponentLoaded = true;
    component->Loaded();
}

void LoadComponents(TComponent* owner)
{
    // The first component not loaded yet, looked up afresh each time: a Loaded may change the
    // owner's list.
    for (;;) {
        TComponent* next = nullptr;
        for (int i = 0; i < owner->ComponentCount() && next == nullptr; ++i) {
            if (!owner->Components(i)->ComponentLoaded()) {
                next = owner->Components(i);
            }
        }
        if (next == nullptr) {
            return;
        }
        LoadComponent(next);
    }
}
