// tXList: a double-linked queue of untyped pointers with pooled nodes (the worker pool's
// idle-thread and job lists, the blocking socket's pending work). No locking, no ownership.
#pragma once

#include "lectern/lc/memXQueue.h"

class tXList : public TObject {
public:
    // BlockSize <= 0 allocates each node by itself.
    explicit tXList(int BlockSize) : FQueue(BlockSize) {}

    bool IsEmpty() const;
    int Count() const;
    void PushFront(void* Item);
    void PushBack(void* Item);
    // The first or last item, nullptr when empty.
    void* Front() const;
    void* Back() const;
    // Nothing happens on an empty queue.
    void PopFront();
    void PopBack();
    void Clear();

    CL_CLASS_NAME(tXList)

protected:
    lc::TXQueue<void*> FQueue;
};
