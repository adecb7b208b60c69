#include "lectern/lc/memStringObjList.h"

bool tStringObjList::IsEmpty() const
{
    return FTree.IsEmpty();
}

TObject* tStringObjList::Find(const std::string& Key) const
{
    return FTree.Find(Key);
}

void tStringObjList::FindMin(std::string& Key, TObject*& Value) const
{
    FTree.FindMin(Key, Value);
}

void tStringObjList::Insert(const std::string& Key, TObject* Value)
{
    FTree.Insert(Key, Value);
}

void tStringObjList::Remove(const std::string& Key)
{
    FTree.Remove(Key);
}

int tStringObjList::Count() const
{
    return FTree.Count();
}

void tStringObjList::Clear()
{
    FTree.Clear();
}
