#include "lectern/lc/memStringPtrList.h"

void tStringPtrList::Clear()
{
    FTree.Clear();
}
