#include "lectern/lc/memStrIntList.h"

int tStrIntList::Find(const std::string& Key) const
{
    return FTree.Find(Key);
}

void tStrIntList::Insert(const std::string& Key, int Value)
{
    FTree.Insert(Key, Value);
}

void tStrIntList::Remove(const std::string& Key)
{
    FTree.Remove(Key);
}

void tStrIntList::Clear()
{
    FTree.Clear();
}
