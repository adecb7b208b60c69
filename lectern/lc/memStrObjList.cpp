#include "lectern/lc/memStrObjList.h"

void tStrObjList::FindMin(std::string& Key, TObject*& Value) const
{
    FTree.FindMin(Key, Value);
}

void tStrObjList::Insert(const std::string& Key, TObject* Value)
{
    FTree.Insert(Key, Value);
}

void tStrObjList::Remove(const std::string& Key)
{
    FTree.Remove(Key);
}

void tStrObjList::Clear()
{
    FTree.Clear();
}
