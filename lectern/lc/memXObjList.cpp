#include "lectern/lc/memXObjList.h"

bool tXObjList::IsEmpty() const
{
    return FQueue.IsEmpty();
}

void tXObjList::PushBack(TObject* Item)
{
    FQueue.PushBack(Item);
}

TObject* tXObjList::Front() const
{
    return FQueue.Front();
}

void tXObjList::PopFront()
{
    FQueue.PopFront();
}

void tXObjList::Clear()
{
    FQueue.Clear();
}
