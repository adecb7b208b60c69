#include "lectern/lc/memBinList.h"
#include "lectern/lc/memBinTree.h"
#include "lectern/lc/memObjList.h"
#include "lectern/lc/memPtrPool.h"
#include "lectern/lc/memStrIntList.h"
#include "lectern/lc/memStrObjList.h"
#include "lectern/lc/memStringIntList.h"
#include "lectern/lc/memStringObjList.h"
#include "lectern/lc/memStringPtrList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using lc::kRbBlack;
using lc::kRbRed;

// ---- structure checks ---------------------------------------------------------------------

// Walks one red-black order and checks its rules: the sentinel links to itself, is black and
// carries the empty key and value; the header's left link is the sentinel; the root is black;
// no red node has a red child; every path has the same number of black nodes; the in-order
// sequence never decreases under `less`. Appends the nodes in order to `out`.
template <class TNode, class TLinks>
class TOrderChecker {
public:
    template <class TLess>
    static void Check(const lc::TRbOrder<TNode, TLinks>& order, TLess less, std::vector<TNode*>& out)
    {
        TNode* nil = order.Sentinel();
        TNode* header = order.Header();
        ASSERT_EQ(TLinks::Left(nil), nil);
        ASSERT_EQ(TLinks::Right(nil), nil);
        ASSERT_EQ(TLinks::Colour(nil), kRbBlack);
        ASSERT_EQ(TLinks::Left(header), nil);
        ASSERT_EQ(TLinks::Colour(order.Root()), kRbBlack);
        out.clear();
        int height = Walk(order.Root(), nil, out, 0);
        ASSERT_GE(height, 0) << "red-black rules broken";
        for (size_t i = 1; i < out.size(); ++i) {
            ASSERT_FALSE(less(out[i], out[i - 1])) << "order broken at " << i;
        }
    }

private:
    // Black height of the subtree, or -1 when a rule is broken.
    static int Walk(TNode* n, TNode* nil, std::vector<TNode*>& out, int depth)
    {
        if (n == nil) {
            return 1;
        }
        if (depth > lc::kAncestorDepth) {
            return -1;
        }
        if (TLinks::Colour(n) == kRbRed &&
            (TLinks::Colour(TLinks::Left(n)) == kRbRed || TLinks::Colour(TLinks::Right(n)) == kRbRed)) {
            return -1;
        }
        int left = Walk(TLinks::Left(n), nil, out, depth + 1);
        out.push_back(n);
        int right = Walk(TLinks::Right(n), nil, out, depth + 1);
        if (left < 0 || right < 0 || left != right) {
            return -1;
        }
        return left + (TLinks::Colour(n) == kRbBlack ? 1 : 0);
    }
};

template <class TTraits>
std::vector<std::pair<typename TTraits::Key, typename TTraits::Value>> CheckedContents(const lc::TRbTree<TTraits>& tree)
{
    using Node = typename lc::TRbTree<TTraits>::Node;
    std::vector<Node*> nodes;
    TOrderChecker<Node, typename Node::TLinks>::Check(
        tree.GetOrder(), [](Node* a, Node* b) { return lc::CompareKeys(a->Key, b->Key) < 0; }, nodes);
    Node* nil = tree.GetOrder().Sentinel();
    EXPECT_EQ(nil->Key, typename TTraits::Key{});
    EXPECT_EQ(nil->Value, TTraits::kEmptyValue);
    std::vector<std::pair<typename TTraits::Key, typename TTraits::Value>> contents;
    for (Node* n : nodes) {
        contents.emplace_back(n->Key, n->Value);
    }
    return contents;
}

// ---- key makers ---------------------------------------------------------------------------

// Short strings over a small alphabet that mixes cases and bytes above 127, so that equal keys,
// prefixes and unsigned byte order all come up.
std::string RandomKey(std::mt19937& rng, const std::string*)
{
    static const char kAlphabet[] = {'a', 'b', 'B', 'Z', '\x7f', '\x80', '\xe9'};
    std::string key(rng() % 4, ' ');
    for (char& c : key) {
        c = kAlphabet[rng() % sizeof kAlphabet];
    }
    return key;
}

// Numbers from a small range, half of them with the top bit set (unsigned order).
std::uintptr_t RandomKey(std::mt19937& rng, const std::uintptr_t*)
{
    std::uintptr_t key = rng() % 300;
    if (rng() % 2) {
        key |= ~(~std::uintptr_t(0) >> 1);
    }
    return key;
}

template <class TValue>
TValue ValueFor(std::uintptr_t serial)
{
    if constexpr (std::is_pointer_v<TValue>) {
        // Never dereferenced: distinct addresses stand for distinct objects.
        return reinterpret_cast<TValue>(serial * 8);
    } else {
        return static_cast<TValue>(serial);
    }
}

struct TKeyOrderLess {
    template <class T>
    bool operator()(const T& a, const T& b) const
    {
        return lc::CompareKeys(a, b) < 0;
    }
};

// ---- the shared machinery against std::multimap -------------------------------------------

enum class TScenario { Random, AscendingThenDescending };

// Runs random inserts and removals (or a sorted fill and a random drain) on a tree and on a
// std::multimap, checking after every step that both hold the same pairs in the same order,
// that the red-black rules hold, and that lookups agree.
template <class TTraits>
void RunAgainstMultimap(int blockSize, TScenario scenario)
{
    using Key = typename TTraits::Key;
    using Value = typename TTraits::Value;
    std::mt19937 rng(20260 + blockSize);
    lc::TRbTree<TTraits> tree(blockSize);
    std::multimap<Key, Value, TKeyOrderLess> model;
    std::uintptr_t serial = 1;

    auto checkAll = [&](const char* step) {
        auto contents = CheckedContents(tree);
        std::vector<std::pair<Key, Value>> expected(model.begin(), model.end());
        ASSERT_EQ(contents, expected) << step;
        ASSERT_EQ(tree.Count(), static_cast<int>(model.size()));
        ASSERT_EQ(tree.IsEmpty(), model.empty());
    };
    auto insert = [&](const Key& key) {
        Value value = ValueFor<Value>(serial++);
        tree.Insert(key, value);
        model.emplace(key, value);
    };
    auto remove = [&](const Key& key) {
        auto range = model.equal_range(key);
        if (range.first == range.second) {
            EXPECT_EQ(tree.Find(key), TTraits::kEmptyValue);
            try {
                tree.Remove(key);
                ADD_FAILURE() << "removing an absent key did not raise";
            } catch (const Exception& e) {
                EXPECT_STREQ(e.what(), "Key not found !");
            }
            return;
        }
        // Remove takes the node that Find reaches.
        Value found = tree.Find(key);
        auto it = std::find_if(range.first, range.second, [&](const auto& kv) { return kv.second == found; });
        ASSERT_NE(it, range.second) << "Find gave a value not stored under its key";
        tree.Remove(key);
        model.erase(it);
    };

    Key* tag = nullptr;
    if (scenario == TScenario::Random) {
        for (int step = 0; step < 3000; ++step) {
            Key key = RandomKey(rng, tag);
            if (rng() % 100 < 55) {
                insert(key);
            } else {
                remove(key);
            }
            checkAll("random step");
            if (::testing::Test::HasFatalFailure()) {
                return;
            }
        }
        tree.Clear();
        model.clear();
        checkAll("after Clear");
        insert(RandomKey(rng, tag));
        checkAll("insert after Clear");
        return;
    }
    if constexpr (std::is_integral_v<Key>) {
    std::vector<Key> keys;
    for (int i = 0; i < 1000; ++i) {
        keys.push_back(ValueFor<Key>(static_cast<std::uintptr_t>(i) * 2));
    }
    for (int i = 999; i >= 0; --i) {
        keys.push_back(ValueFor<Key>(static_cast<std::uintptr_t>(i) * 2 + 1));
    }
    for (const Key& key : keys) {
        insert(key);
    }
    checkAll("filled");
    std::shuffle(keys.begin(), keys.end(), rng);
    for (size_t i = 0; i < keys.size(); ++i) {
        remove(keys[i]);
        if (i % 97 == 0) {
            checkAll("draining");
            for (size_t j = i + 1; j < keys.size(); j += 37) {
                ASSERT_NE(tree.Find(keys[j]), TTraits::kEmptyValue);
            }
        }
    }
    checkAll("drained");
    }
}

const int kBlockSizes[] = {0, 1, 8, 128};

TEST(RbTree, StringKeysMatchMultimapForEveryBlockSize)
{
    for (int blockSize : kBlockSizes) {
        SCOPED_TRACE(blockSize);
        RunAgainstMultimap<lc::TStringIntTraits>(blockSize, TScenario::Random);
        RunAgainstMultimap<lc::TStringObjTraits>(blockSize, TScenario::Random);
    }
}

TEST(RbTree, NumberKeysMatchMultimapForEveryBlockSize)
{
    for (int blockSize : kBlockSizes) {
        SCOPED_TRACE(blockSize);
        RunAgainstMultimap<lc::TCardinalTraits>(blockSize, TScenario::Random);
        RunAgainstMultimap<lc::TCardinalObjTraits>(blockSize, TScenario::Random);
    }
}

TEST(RbTree, SortedFillAndRandomDrainStayBalanced)
{
    for (int blockSize : {0, 64}) {
        SCOPED_TRACE(blockSize);
        RunAgainstMultimap<lc::TCardinalTraits>(blockSize, TScenario::AscendingThenDescending);
    }
}

TEST(RbTree, StringsOrderByUnsignedBytes)
{
    lc::TRbTree<lc::TStringIntTraits> tree(16);
    for (const char* key : {"ab", "\xe9", "a", "B", "", "\x7f"}) {
        tree.Insert(key, 1);
    }
    std::vector<std::string> keys;
    for (const auto& kv : CheckedContents(tree)) {
        keys.push_back(kv.first);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"", "B", "a", "ab", "\x7f", "\xe9"}));
}

TEST(RbTree, BlocksAreAllocatedOnceAndReused)
{
    lc::TRbTree<lc::TCardinalTraits> tree(8);
    EXPECT_EQ(tree.Store().BlockCount(), 0);
    for (std::uintptr_t k = 1; k <= 8; ++k) {
        tree.Insert(k, k);
    }
    EXPECT_EQ(tree.Store().BlockCount(), 1);
    tree.Insert(9, 9);
    EXPECT_EQ(tree.Store().BlockCount(), 2);
    for (std::uintptr_t k = 1; k <= 9; ++k) {
        tree.Remove(k);
    }
    for (std::uintptr_t k = 1; k <= 16; ++k) {
        tree.Insert(k, k);
    }
    EXPECT_EQ(tree.Store().BlockCount(), 2);
    tree.Clear();
    EXPECT_EQ(tree.Store().BlockCount(), 2);

    lc::TRbTree<lc::TCardinalTraits> unpooled(0);
    for (std::uintptr_t k = 1; k <= 20; ++k) {
        unpooled.Insert(k, k);
    }
    EXPECT_EQ(unpooled.Store().BlockCount(), 0);
}

// ---- the members' own surfaces ------------------------------------------------------------

template <class T>
void ExpectKeyNotFound(T&& action)
{
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Key not found !");
    }
}

TEST(TreeMembers, EmptyTreesAnswerTheirEmptyValues)
{
    tStrIntList strInt(16);
    tStringIntList stringInt(16);
    tBinList bin(128);
    tStringObjList stringObj(0);
    tStrObjList strObj(128);
    tObjList obj(128);
    tBinTree binTree(256);
    EXPECT_EQ(strInt.Find("x"), -1);
    EXPECT_EQ(stringInt.Find("x"), -1);
    EXPECT_EQ(bin.Find(7), 0u);
    EXPECT_EQ(stringObj.Find("x"), nullptr);
    EXPECT_EQ(obj.Find(7), nullptr);
    EXPECT_EQ(binTree.Find(7), 0u);
    EXPECT_EQ(binTree.FindByValue(7), 0u);

    std::uintptr_t value = 99;
    EXPECT_EQ(bin.FindMin(value), 0u);
    EXPECT_EQ(value, 0u);
    std::string key = "stale";
    TObject* object = &obj;
    stringObj.FindMin(key, object);
    EXPECT_EQ(key, "");
    EXPECT_EQ(object, nullptr);
    key = "stale";
    object = &obj;
    strObj.FindMin(key, object);
    EXPECT_EQ(key, "");
    EXPECT_EQ(object, nullptr);
    EXPECT_TRUE(stringObj.IsEmpty());
}

TEST(TreeMembers, MembersStoreFindRemoveAndClearThroughTheirOwnInterface)
{
    TObject a, b;
    tStringObjList stringObj(0);
    stringObj.Insert("b", &b);
    stringObj.Insert("a", &a);
    EXPECT_EQ(stringObj.Count(), 2);
    EXPECT_FALSE(stringObj.IsEmpty());
    EXPECT_EQ(stringObj.Find("a"), &a);
    std::string key;
    TObject* object = nullptr;
    stringObj.FindMin(key, object);
    EXPECT_EQ(key, "a");
    EXPECT_EQ(object, &a);
    stringObj.Remove("a");
    stringObj.Remove("b");
    EXPECT_TRUE(stringObj.IsEmpty());
    EXPECT_EQ(stringObj.Count(), 0);
    ExpectKeyNotFound([&] { stringObj.Remove("b"); });

    tStrObjList strObj(128);
    strObj.Insert("z", &a);
    strObj.Insert("\xe9", &b);
    strObj.FindMin(key, object);
    EXPECT_EQ(key, "z");
    EXPECT_EQ(object, &a);
    ExpectKeyNotFound([&] { strObj.Remove("y"); });
    strObj.Clear();
    strObj.FindMin(key, object);
    EXPECT_EQ(object, nullptr);

    tBinList bin(8);
    const std::uintptr_t high = ~std::uintptr_t(0);
    bin.Insert(high, 1);
    bin.Insert(5, 2);
    std::uintptr_t value = 0;
    EXPECT_EQ(bin.FindMin(value), 5u);
    EXPECT_EQ(value, 2u);
    EXPECT_EQ(bin.Find(high), 1u);
    bin.Remove(5);
    EXPECT_EQ(bin.Count(), 1);
    bin.Clear();
    EXPECT_EQ(bin.Count(), 0);
    EXPECT_EQ(bin.Find(high), 0u);

    tStrIntList strInt(16);
    strInt.Insert("HOST", 0);
    EXPECT_EQ(strInt.Find("HOST"), 0);
    strInt.Remove("HOST");
    EXPECT_EQ(strInt.Find("HOST"), -1);
    ExpectKeyNotFound([&] { strInt.Remove("HOST"); });

    tStringIntList stringInt(16);
    stringInt.Insert("A", 3);
    EXPECT_EQ(stringInt.Find("A"), 3);
    stringInt.Clear();
    EXPECT_EQ(stringInt.Find("A"), -1);
}

// ---- tBinTree: both orders ----------------------------------------------------------------

struct OpenBinTree : tBinTree {
    using tBinTree::tBinTree;
    using tBinTree::FKeys;
    using tBinTree::FValues;
    using Node = tBinTree::Node;
};

// Checks both orders and that they hold the same nodes; answers the key order's pairs.
std::vector<std::pair<std::uintptr_t, std::uintptr_t>> CheckedContents(const OpenBinTree& tree)
{
    using Node = OpenBinTree::Node;
    std::vector<Node*> byKey;
    std::vector<Node*> byValue;
    TOrderChecker<Node, Node::TLinks<0>>::Check(tree.FKeys, [](Node* a, Node* b) { return a->Key < b->Key; }, byKey);
    TOrderChecker<Node, Node::TLinks<1>>::Check(
        tree.FValues,
        [](Node* a, Node* b) { return std::make_pair(a->Value, a->Key) < std::make_pair(b->Value, b->Key); },
        byValue);
    std::sort(byValue.begin(), byValue.end());
    std::vector<Node*> sortedByKey(byKey);
    std::sort(sortedByKey.begin(), sortedByKey.end());
    EXPECT_EQ(sortedByKey, byValue) << "the two orders hold different nodes";
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> contents;
    for (Node* n : byKey) {
        contents.emplace_back(n->Key, n->Value);
    }
    return contents;
}

TEST(BinTree, FindsBothWaysAndRemovesFromBothOrders)
{
    OpenBinTree tree(256);
    tree.Insert(5, 100);
    tree.Insert(3, 100);
    tree.Insert(9, 50);
    EXPECT_EQ(tree.FindByValue(50), 9u);
    EXPECT_EQ(tree.Find(3), 100u);
    tree.Remove(5);
    using Pairs = std::vector<std::pair<std::uintptr_t, std::uintptr_t>>;
    EXPECT_EQ(CheckedContents(tree), (Pairs{{3, 100}, {9, 50}}));
    EXPECT_EQ(tree.FindByValue(100), 3u);
    EXPECT_EQ(tree.Find(5), 0u);
    ExpectKeyNotFound([&] { tree.Remove(5); });
    tree.Clear();
    EXPECT_EQ(CheckedContents(tree), Pairs{});
    EXPECT_EQ(tree.FindByValue(50), 0u);
}

// Small key and value ranges make many equal keys, equal values and equal pairs; a removal
// must always find in the value order the very node it took out of the key order.
TEST(BinTree, MatchesMultimapWithEqualKeysAndPairs)
{
    for (int blockSize : kBlockSizes) {
        SCOPED_TRACE(blockSize);
        std::mt19937 rng(4242 + blockSize);
        OpenBinTree tree(blockSize);
        std::multimap<std::uintptr_t, std::uintptr_t> model;
        for (int step = 0; step < 4000; ++step) {
            std::uintptr_t key = rng() % 24;
            if (rng() % 100 < 55) {
                std::uintptr_t value = rng() % 6;
                tree.Insert(key, value);
                model.emplace(key, value);
            } else if (model.count(key) == 0) {
                ExpectKeyNotFound([&] { tree.Remove(key); });
            } else {
                std::uintptr_t found = tree.Find(key);
                auto range = model.equal_range(key);
                auto it = std::find_if(range.first, range.second, [&](const auto& kv) { return kv.second == found; });
                ASSERT_NE(it, range.second);
                ASSERT_NO_THROW(tree.Remove(key));
                model.erase(it);
            }
            // Equal pairs are interchangeable, so compare the pairs held, not their order
            // (the checker has seen the key order hold).
            auto contents = CheckedContents(tree);
            std::sort(contents.begin(), contents.end());
            std::vector<std::pair<std::uintptr_t, std::uintptr_t>> expected(model.begin(), model.end());
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(contents, expected);
            std::uintptr_t probe = rng() % 6;
            std::uintptr_t owner = tree.FindByValue(probe);
            bool held = std::any_of(model.begin(), model.end(), [&](const auto& kv) { return kv.second == probe; });
            if (held) {
                auto range = model.equal_range(owner);
                ASSERT_TRUE(std::any_of(range.first, range.second, [&](const auto& kv) { return kv.second == probe; }))
                    << "FindByValue gave a key that does not hold the value";
            } else {
                ASSERT_EQ(owner, 0u);
            }
        }
    }
}

// ---- tPtrPool -----------------------------------------------------------------------------

TEST(PtrPool, StackOfFixedCapacityThatGrows)
{
    int slots[3];
    tPtrPool pool(0);
    EXPECT_EQ(pool.Get(), nullptr);
    EXPECT_FALSE(pool.Put(&slots[0]));
    pool.SetCapacity(2);
    EXPECT_TRUE(pool.Put(&slots[0]));
    EXPECT_TRUE(pool.Put(&slots[1]));
    EXPECT_FALSE(pool.Put(&slots[2]));
    pool.SetCapacity(3);
    EXPECT_EQ(pool.Count(), 2);
    EXPECT_TRUE(pool.Put(&slots[2]));
    EXPECT_EQ(pool.Get(), &slots[2]);
    EXPECT_EQ(pool.Get(), &slots[1]);
    EXPECT_EQ(pool.Get(), &slots[0]);
    EXPECT_EQ(pool.Get(), nullptr);
    EXPECT_EQ(pool.Count(), 0);
}

} // namespace
