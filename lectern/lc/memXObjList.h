// tXObjList: a queue of objects with pooled nodes (the blocking socket's pending work). It
// never frees the objects it carries.
#pragma once

#include "lectern/lc/memXQueue.h"

class tXObjList : public TObject {
public:
    // BlockSize <= 0 allocates each node by itself.
    explicit tXObjList(int BlockSize) : FQueue(BlockSize) {}

    bool IsEmpty() const;
    void PushBack(TObject* Item);
    // The first object, nullptr when empty.
    TObject* Front() const;
    // Nothing happens on an empty queue.
    void PopFront();
    void Clear();

    CL_CLASS_NAME(tXObjList)

protected:
    lc::TXQueue<TObject*> FQueue;
};
