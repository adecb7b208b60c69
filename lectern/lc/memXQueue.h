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
    // FLink[kPrev] and FLink[kNext]; the first node's previous and the last's next are nil.
    static constexpr int kPrev = 0;
    static constexpr int kNext = 1;
    struct Node {
        TItem Item = nullptr;
        Node* FLink[2] = {nullptr, nullptr};
    };

    explicit TXQueue(int blockSize) : FStore(blockSize) {}
    TXQueue(const TXQueue&) = delete;
    TXQueue& operator=(const TXQueue&) = delete;
    ~TXQueue() { Clear(); }

    bool IsEmpty() const { return FCount == 0; }
    int Count() const { return FCount; }
    TItem Front() const { return End(kFront); }
    TItem Back() const { return End(kBack); }
    void PushFront(TItem item) { Push(kFront, item); }
    void PushBack(TItem item) { Push(kBack, item); }
    void PopFront() { Pop(kFront); }
    void PopBack() { Pop(kBack); }

    void Clear()
    {
        Node* node = FEnd[kFront];
        while (node) {
            Node* next = node->FLink[kNext];
            FStore.Release(node);
            node = next;
        }
        FEnd[kFront] = FEnd[kBack] = nullptr;
        FCount = 0;
    }

    // For structure checks.
    const Node* First() const { return FEnd[kFront]; }
    const Node* Last() const { return FEnd[kBack]; }
    const TNodeStore<Node>& Store() const { return FStore; }

private:
    // The two ends mirror each other: at the front a node's inner link is its next, at the
    // back its previous; the outer link points away from the queue and stays nil.
    static constexpr int kFront = 0;
    static constexpr int kBack = 1;
    static int Inner(int end) { return end == kFront ? kNext : kPrev; }
    static int Outer(int end) { return end == kFront ? kPrev : kNext; }

    TItem End(int end) const { return FEnd[end] ? FEnd[end]->Item : nullptr; }

    void Push(int end, TItem item)
    {
        Node* node = FStore.Acquire();
        node->Item = item;
        node->FLink[Inner(end)] = FEnd[end];
        if (FEnd[end]) {
            FEnd[end]->FLink[Outer(end)] = node;
        }
        FEnd[end] = node;
        if (!FEnd[1 - end]) {
            FEnd[1 - end] = node;
        }
        ++FCount;
    }

    // Nothing happens on an empty queue.
    void Pop(int end)
    {
        Node* node = FEnd[end];
        if (!node) {
            return;
        }
        FEnd[end] = node->FLink[Inner(end)];
        FStore.Release(node);
        --FCount;
        if (FEnd[end]) {
            FEnd[end]->FLink[Outer(end)] = nullptr;
        } else {
            FEnd[1 - end] = nullptr;
        }
    }

    TNodeStore<Node> FStore;
    int FCount = 0;
    Node* FEnd[2] = {nullptr, nullptr};  // first, last
};

} // namespace lc
