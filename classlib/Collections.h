// Collections of items that belong to them.
//
// TCollection owns its TCollectionItems (made by the collection's item factory, freed with it
// or when deleted). An item reports its changes through Changed: the collection's Update then
// runs with the item (one item changed) or with nullptr (all items changed, e.g. after an
// insertion or a deletion). Notify tells a subclass that an item was added, is being deleted
// (before it goes) or was taken out. BeginUpdate/EndUpdate fold the changes in between into
// one Update(nullptr) at the end.
#pragma once

#include "Components.h"

#include <memory>
#include <string>
#include <vector>

class TCollection;

class TCollectionItem : public TPersistent {
public:
    explicit TCollectionItem(TCollection* collection);
    ~TCollectionItem() override;

    TCollection* Collection() const { return FCollection; }
    // The position in the collection; -1 when the item is not in one.
    int Index() const;
    virtual std::string GetDisplayName() const;
    std::string DisplayName() const { return GetDisplayName(); }

    CL_CLASS_NAME(TCollectionItem)

protected:
    // Signals a change: of this item only, or (allItems) of the whole collection.
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* FCollection = nullptr;
};

enum class TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollection : public TPersistent {
public:
    using ItemFactory = std::unique_ptr<TCollectionItem> (*)(TCollection*);

    explicit TCollection(ItemFactory factory);
    ~TCollection() override;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    TCollectionItem* Item(int index) const { return FItems.at(static_cast<size_t>(index)).get(); }
    int IndexOf(const TCollectionItem* item) const;

    // Makes a new item at the end (through the factory) and answers it.
    TCollectionItem* Add();
    void Delete(int index);
    void Clear();
    // Copies the items of another collection (item by item through Assign).
    void Assign(const TPersistent* source) override;

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    // The persistent that owns the collection (nullptr by default).
    virtual TPersistent* GetOwner() const { return nullptr; }

    CL_CLASS_NAME(TCollection)

protected:
    virtual void Notify(TCollectionItem* item, TCollectionNotification action) {}
    // Item nullptr: every item changed.
    virtual void Update(TCollectionItem* item) {}

private:
    friend class TCollectionItem;
    void Changed(TCollectionItem* item);

    ItemFactory FFactory;
    std::vector<std::unique_ptr<TCollectionItem>> FItems;
    int FUpdateCount = 0;
    bool FDestroying = false;
};
