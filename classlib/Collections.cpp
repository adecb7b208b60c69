#include "Collections.h"

#include <algorithm>

TCollectionItem::TCollectionItem(TCollection* collection) : FCollection(collection) {}

TCollectionItem::~TCollectionItem() = default;

int TCollectionItem::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

std::string TCollectionItem::GetDisplayName() const { return ClassName(); }

void TCollectionItem::Changed(bool allItems)
{
    if (FCollection != nullptr)
        FCollection->Changed(allItems ? nullptr : this);
}

TCollection::TCollection(ItemFactory factory) : FFactory(factory) {}

TCollection::~TCollection()
{
    FDestroying = true;
    FUpdateCount = 1;   // no Update while the items go
    FItems.clear();
}

int TCollection::IndexOf(const TCollectionItem* item) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == item)
            return static_cast<int>(i);
    return -1;
}

TCollectionItem* TCollection::Add()
{
    FItems.push_back(FFactory(this));
    TCollectionItem* item = FItems.back().get();
    Notify(item, TCollectionNotification::cnAdded);
    Changed(nullptr);
    return item;
}

void TCollection::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw EListError(Format("List index out of bounds (%d)", index));
    TCollectionItem* doomed = FItems[static_cast<size_t>(index)].get();
    Notify(doomed, TCollectionNotification::cnDeleting);
    // The notice may have changed the list: take the item out by identity.
    int at = IndexOf(doomed);
    if (at < 0)
        return;
    std::unique_ptr<TCollectionItem> item = std::move(FItems[static_cast<size_t>(at)]);
    FItems.erase(FItems.begin() + at);
    item.reset();
    Changed(nullptr);
}

void TCollection::Clear()
{
    if (FItems.empty())
        return;
    BeginUpdate();
    try {
        while (!FItems.empty())
            Delete(Count() - 1);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TCollection::Assign(const TPersistent* source)
{
    const auto* other = dynamic_cast<const TCollection*>(source);
    if (other == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    BeginUpdate();
    try {
        Clear();
        for (const auto& item : other->FItems)
            Add()->Assign(item.get());
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TCollection::BeginUpdate() { ++FUpdateCount; }

void TCollection::EndUpdate()
{
    if (--FUpdateCount == 0)
        Changed(nullptr);
}

void TCollection::Changed(TCollectionItem* item)
{
    if (FUpdateCount == 0 && !FDestroying)
        Update(item);
}
