#include "lectern/lc/memBinList.h"

std::uintptr_t tBinList::Find(std::uintptr_t Key) const
{
    return FTree.Find(Key);
}

std::uintptr_t tBinList::FindMin(std::uintptr_t& Value) const
{
    std::uintptr_t key = 0;
    FTree.FindMin(key, Value);
    return key;
}

void tBinList::Insert(std::uintptr_t Key, std::uintptr_t Value)
{
    FTree.Insert(Key, Value);
}

void tBinList::Remove(std::uintptr_t Key)
{
    FTree.Remove(Key);
}

int tBinList::Count() const
{
    return FTree.Count();
}

void tBinList::Clear()
{
    FTree.Clear();
}
