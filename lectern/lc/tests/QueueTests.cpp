#include "lectern/lc/memXList.h"
#include "lectern/lc/memXObjList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

namespace {

struct OpenXList : tXList {
    using tXList::tXList;
    using tXList::FQueue;
};

void* Item(std::uintptr_t n)
{
    return reinterpret_cast<void*>(n * 8);
}

// Walks the links both ways: first and last are nil together, previous of the first and next
// of the last are nil, and every next/previous pair agrees.
std::vector<void*> CheckedItems(const OpenXList& list)
{
    std::vector<void*> forward;
    using Queue = decltype(list.FQueue);
    const Queue::Node* prev = nullptr;
    for (const Queue::Node* node = list.FQueue.First(); node; node = node->FLink[Queue::kNext]) {
        EXPECT_EQ(node->FLink[Queue::kPrev], prev);
        forward.push_back(node->Item);
        prev = node;
    }
    EXPECT_EQ(list.FQueue.Last(), prev);
    EXPECT_EQ(forward.size(), static_cast<size_t>(list.Count()));
    EXPECT_EQ(list.IsEmpty(), forward.empty());
    return forward;
}

TEST(XList, MatchesDequeForEveryBlockSize)
{
    for (int blockSize : {0, 1, 32, 128}) {
        SCOPED_TRACE(blockSize);
        std::mt19937 rng(777 + blockSize);
        OpenXList list(blockSize);
        std::deque<void*> model;
        for (std::uintptr_t step = 1; step <= 5000; ++step) {
            switch (rng() % 5) {
            case 0:
                list.PushFront(Item(step));
                model.push_front(Item(step));
                break;
            case 1:
                list.PushBack(Item(step));
                model.push_back(Item(step));
                break;
            case 2:
                list.PopFront();
                if (!model.empty()) {
                    model.pop_front();
                }
                break;
            case 3:
                list.PopBack();
                if (!model.empty()) {
                    model.pop_back();
                }
                break;
            default:
                if (rng() % 50 == 0) {
                    list.Clear();
                    model.clear();
                }
                break;
            }
            ASSERT_EQ(list.Front(), model.empty() ? nullptr : model.front());
            ASSERT_EQ(list.Back(), model.empty() ? nullptr : model.back());
            if (step % 10 == 0) {
                ASSERT_EQ(CheckedItems(list), std::vector<void*>(model.begin(), model.end()));
            }
        }
    }
}

TEST(XList, EmptyQueueAndMixedPushes)
{
    OpenXList list(128);
    list.PopFront();
    list.PopBack();
    EXPECT_EQ(list.Front(), nullptr);
    EXPECT_EQ(list.Back(), nullptr);
    EXPECT_EQ(list.Count(), 0);

    void* a = Item(1);
    void* b = Item(2);
    void* c = Item(3);
    list.PushFront(a);
    list.PushBack(b);
    list.PushFront(c);
    EXPECT_EQ(CheckedItems(list), (std::vector<void*>{c, a, b}));
    list.PopBack();
    EXPECT_EQ(CheckedItems(list), (std::vector<void*>{c, a}));
    list.PopFront();
    list.PopFront();
    EXPECT_EQ(list.FQueue.First(), nullptr);
    EXPECT_EQ(list.FQueue.Last(), nullptr);
    list.PushBack(b);
    EXPECT_EQ(list.FQueue.First(), list.FQueue.Last());
    EXPECT_EQ(CheckedItems(list), (std::vector<void*>{b}));
}

TEST(XList, NodesAreRecycledInBlocks)
{
    OpenXList list(32);
    for (std::uintptr_t i = 1; i <= 33; ++i) {
        list.PushBack(Item(i));
    }
    EXPECT_EQ(list.FQueue.Store().BlockCount(), 2);
    list.Clear();
    for (std::uintptr_t i = 1; i <= 64; ++i) {
        list.PushFront(Item(i));
    }
    EXPECT_EQ(list.FQueue.Store().BlockCount(), 2);
}

// A queue destroyed while it holds objects frees its nodes (the sanitizer build sees a leak
// otherwise) but never the objects it carries.
TEST(XObjList, CarriesObjectsInOrderWithoutOwningThem)
{
    struct Tracked : TObject {
        explicit Tracked(int& alive) : FAlive(alive) { ++FAlive; }
        ~Tracked() override { --FAlive; }
        int& FAlive;
    };
    int alive = 0;
    Tracked first(alive);
    Tracked second(alive);
    for (int blockSize : {0, 32}) {
        tXObjList queue(blockSize);
        EXPECT_TRUE(queue.IsEmpty());
        EXPECT_EQ(queue.Front(), nullptr);
        queue.PopFront();
        queue.PushBack(&first);
        queue.PushBack(&second);
        EXPECT_FALSE(queue.IsEmpty());
        EXPECT_EQ(queue.Front(), &first);
        queue.PopFront();
        EXPECT_EQ(queue.Front(), &second);
        queue.PushBack(&first);
    }
    EXPECT_EQ(alive, 2);
    tXObjList cleared(0);
    cleared.PushBack(&first);
    cleared.Clear();
    EXPECT_TRUE(cleared.IsEmpty());
    EXPECT_EQ(cleared.Front(), nullptr);
}

} // namespace
