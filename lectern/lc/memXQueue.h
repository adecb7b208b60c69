// The double-linked queue of pooled nodes behind tXList and tXObjList.
//
// Nodes come from a TNodeStore (memPtrPool.h), so a queue that keeps a steady length
// allocates nothing. The queue neither locks nor owns its items: the empty item is nullptr
// and releasing a node never touches what it carried.
#pragma once

#include "lectern/lc/memPtrPool.h"

namespace lc {

template <class TItem>
class TXQueue {
public:
    struct Node {
        TItem Item = nullptr;
        Node* Prev = nullptr;
        Node* Next = nullptr;
    };

    explicit TXQueue(int blockSize) : FStore(blockSize) {}
    TXQueue(const TXQueue&) = delete;
    TXQueue& operator=(const TXQueue&) = delete;
    ~TXQueue() { Clear(); }

    bool IsEmpty() const { return FCount == 0; }
    int Count() const { return FCount; }
    TItem Front() const { return FFirst ? FFirst->Item : nullptr; }
    TItem Back() const { return FLast ? FLast->Item : nullptr; }

    void PushFront(TItem item)
    {
        Node* node = FStore.Acquire();
        node->Item = item;
        node->Next = FFirst;
        if (FFirst) {
            FFirst->Prev = node;
        }
        FFirst = node;
        if (!FLast) {
            FLast = node;
        }
        ++FCount;
    }

    void PushBack(TItem item)
    {
        Node* node = FStore.Acquire();
        node->Item = item;
        node->Prev = FLast;
        if (FLast) {
            FLast->Next = node;
        }
        FLast = node;
        if (!FFirst) {
            FFirst = node;
        }
        ++FCount;
    }

    void PopFront()
    {
        if (!FFirst) {
            return;
        }
        Node* node = FFirst;
        FFirst = node->Next;
        FStore.Release(node);
        --FCount;
        if (FFirst) {
            FFirst->Prev = nullptr;
        } else {
            FLast = nullptr;
        }
    }

    void PopBack()
    {
        if (!FLast) {
            return;
        }
        Node* node = FLast;
        FLast = node->Prev;
        FStore.Release(node);
        --FCount;
        if (FLast) {
            FLast->Next = nullptr;
        } else {
            FFirst = nullptr;
        }
    }

    void Clear()
    {
        Node* node = FFirst;
        while (node) {
            Node* next = node->Next;
            FStore.Release(node);
            node = next;
        }
        FFirst = FLast = nullptr;
        FCount = 0;
    }

    // For structure checks.
    const Node* First() const { return FFirst; }
    const Node* Last() const { return FLast; }
    const TNodeStore<Node>& Store() const { return FStore; }

private:
    TNodeStore<Node> FStore;
    int FCount = 0;
    Node* FFirst = nullptr;
    Node* FLast = nullptr;
};

} // namespace lc
