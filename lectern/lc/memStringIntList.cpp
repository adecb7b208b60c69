#include "lectern/lc/memStringIntList.h"

int tStringIntList::Find(const std::string& Key) const
{
    return FTree.Find(Key);
}

void tStringIntList::Insert(const std::string& Key, int Value)
{
    FTree.Insert(Key, Value);
}

void tStringIntList::Clear()
{
    FTree.Clear();
}
