#include "lectern/lc/memXList.h"

bool tXList::IsEmpty() const
{
    return FQueue.IsEmpty();
}

int tXList::Count() const
{
    return FQueue.Count();
}

void tXList::PushFront(void* Item)
{
    FQueue.PushFront(Item);
}

void tXList::PushBack(void* Item)
{
    FQueue.PushBack(Item);
}

void* tXList::Front() const
{
    return FQueue.Front();
}

void* tXList::Back() const
{
    return FQueue.Back();
}

void tXList::PopFront()
{
    FQueue.PopFront();
}

void tXList::PopBack()
{
    FQueue.PopBack();
}

void tXList::Clear()
{
    FQueue.Clear();
}
