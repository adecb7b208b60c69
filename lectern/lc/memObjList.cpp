#include "lectern/lc/memObjList.h"

TObject* tObjList::Find(std::uintptr_t Key) const
{
    return FTree.Find(Key);
}

void tObjList::Clear()
{
    FTree.Clear();
}
