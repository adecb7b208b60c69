// The node pool shared by the ordered trees and the queues.
//
// tPtrPool is a fixed-capacity stack of untyped pointers. TNodeStore builds the allocation
// scheme of every container on it: with a positive block size, nodes come block-size at a
// time, every node of a new block goes into the pool, and released nodes go back into it
// (last in, first out), so a container that shrinks and grows again allocates nothing. Blocks
// are freed only when the store goes. With a block size of 0 or less, each node is allocated
// by itself and freed when released.
#pragma once

#include "classlib/SysUtils.h"

#include <memory>
#include <vector>

class tPtrPool : public TObject {
public:
    explicit tPtrPool(int Size);

    // The pointer put last, or nullptr when the pool holds none.
    void* Get();
    // Stores P; when the pool is full it drops P and answers false.
    bool Put(void* P);
    // Resizes the slot array, keeping the pointers held. Only ever used to grow the pool.
    void SetCapacity(int N);

    int Capacity() const { return FCapacity; }
    int Count() const { return FCount; }

    CL_CLASS_NAME(tPtrPool)

private:
    int FCapacity;
    std::unique_ptr<void*[]> FSlots;
    int FCount = 0;
};

namespace lc {

// Hands out zero-initialised nodes of one type and takes them back. The owner releases every
// node it holds before the store goes; a node handed out or released is reset to a fresh
// value, so a string it carried is let go at once.
template <class TNode>
class TNodeStore {
public:
    explicit TNodeStore(int blockSize) : FBlockSize(blockSize), FPool(0) {}
    TNodeStore(const TNodeStore&) = delete;
    TNodeStore& operator=(const TNodeStore&) = delete;

    TNode* Acquire()
    {
        if (FBlockSize <= 0) {
            return new TNode();
        }
        void* slot = FPool.Get();
        if (slot == nullptr) {
            AddBlock();
            slot = FPool.Get();
        }
        TNode* node = static_cast<TNode*>(slot);
        *node = TNode();
        return node;
    }

    void Release(TNode* node)
    {
        if (FBlockSize <= 0) {
            delete node;
            return;
        }
        *node = TNode();
        FPool.Put(node);
    }

    int BlockSize() const { return FBlockSize; }
    int BlockCount() const { return static_cast<int>(FBlocks.size()); }

private:
    void AddBlock()
    {
        auto block = std::make_unique<TNode[]>(static_cast<size_t>(FBlockSize));
        FPool.SetCapacity(FPool.Capacity() + FBlockSize);
        for (int i = 0; i < FBlockSize; ++i) {
            FPool.Put(&block[static_cast<size_t>(i)]);
        }
        FBlocks.push_back(std::move(block));
    }

    int FBlockSize;
    std::vector<std::unique_ptr<TNode[]>> FBlocks;
    tPtrPool FPool;
};

} // namespace lc
