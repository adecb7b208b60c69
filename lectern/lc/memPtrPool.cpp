#include "lectern/lc/memPtrPool.h"

#include <algorithm>

tPtrPool::tPtrPool(int Size) : FCapacity(Size)
{
    if (Size > 0) {
        FSlots = std::make_unique<void*[]>(static_cast<size_t>(Size));
    }
}

void* tPtrPool::Get()
{
    if (FCount == 0) {
        return nullptr;
    }
    --FCount;
    return FSlots[static_cast<size_t>(FCount)];
}

bool tPtrPool::Put(void* P)
{
    if (FCount >= FCapacity) {
        return false;
    }
    FSlots[static_cast<size_t>(FCount)] = P;
    ++FCount;
    return true;
}

void tPtrPool::SetCapacity(int N)
{
    if (N == FCapacity) {
        return;
    }
    std::unique_ptr<void*[]> slots;
    if (N > 0) {
        slots = std::make_unique<void*[]>(static_cast<size_t>(N));
        std::copy_n(FSlots.get(), std::min(FCount, N), slots.get());
    }
    FSlots = std::move(slots);
    FCapacity = N;
    FCount = std::min(FCount, std::max(N, 0));
}
