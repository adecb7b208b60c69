// The red-black machinery behind every ordered container of the library.
//
// One order is a red-black tree threaded through nodes that the container owns. It has a
// header node, whose right child is the root, and a sentinel that stands for every missing
// child: black, linked to itself, carrying the empty key and value, so a search that misses
// ends on it and answers the empty value without a test. Nodes carry no parent link:
//  - insertion is one top-down pass that splits every node with two red children on the way
//    down (colour flip, then a single or double rotation when the parent is red too), so the
//    new red leaf never needs a walk back up;
//  - removal walks down once, keeping the path on an explicit ancestor stack, unlinks the node
//    (or its in-order successor), and repairs the black height bottom-up from that stack.
// The stack holds kAncestorDepth entries: a red-black tree of n nodes is at most
// 2*log2(n+1) deep, 64 for any n a 32-bit address space holds, plus the header.
//
// Comparisons come in as a callable giving <0, 0 or >0 for the searched key against a node;
// an equal key on insertion goes right, so equal keys keep their insertion order and a search
// stops at the first equal node on its path. The header compares as smaller than everything.
// A node may sit in two orders at once (tBinTree): TLinks says which links and which
// colour byte an order uses.
//
// No order locks: its work fields and stack live in the object, so one change at a time.
#pragma once

#include "classlib/SysUtils.h"
#include "lectern/lc/memPtrPool.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace lc {

constexpr std::uint8_t kRbBlack = 0;
constexpr std::uint8_t kRbRed = 1;
constexpr int kAncestorDepth = 101;

inline int CompareKeys(const std::string& a, const std::string& b)
{
    // char_traits<char>::compare orders bytes as unsigned values.
    return a.compare(b);
}

inline int CompareKeys(std::uintptr_t a, std::uintptr_t b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// TLinks: static Node*& Left(Node*), Node*& Right(Node*), std::uint8_t& Colour(Node*).
template <class TNode, class TLinks>
class TRbOrder {
public:
    // Both nodes belong to the caller and outlive the order.
    TRbOrder(TNode* header, TNode* sentinel)
        : FHeader(header), FNil(sentinel), FStack(std::make_unique<std::array<TNode*, kAncestorDepth>>())
    {
        L(FNil) = R(FNil) = FNil;
        C(FNil) = kRbBlack;
        L(FHeader) = R(FHeader) = FNil;
        C(FHeader) = kRbBlack;
    }

    TNode* Root() const { return R(FHeader); }
    TNode* Sentinel() const { return FNil; }
    TNode* Header() const { return FHeader; }
    void ResetRoot() { R(FHeader) = FNil; }

    // The first node on the search path that compares equal, or the sentinel.
    template <class TCmp>
    TNode* Search(TCmp cmp) const
    {
        TNode* node = Root();
        while (node != FNil) {
            int c = cmp(node);
            if (c == 0) {
                break;
            }
            node = c < 0 ? L(node) : R(node);
        }
        return node;
    }

    // The leftmost node, or the sentinel when the order is empty.
    TNode* Leftmost() const
    {
        TNode* node = Root();
        if (node == FNil) {
            return FNil;
        }
        while (L(node) != FNil) {
            node = L(node);
        }
        return node;
    }

    // Links a new node in; cmp compares the node's own key against others.
    template <class TCmp>
    void Insert(TNode* node, TCmp cmp)
    {
        auto less = [&](TNode* n) { return n != FHeader && cmp(n) < 0; };
        FNew = node;
        L(node) = R(node) = FNil;
        C(node) = kRbRed;
        FCurrent = FParent = FGrand = FHeader;
        while (FCurrent != FNil) {
            FGreat = FGrand;
            FGrand = FParent;
            FParent = FCurrent;
            FCurrent = less(FCurrent) ? L(FCurrent) : R(FCurrent);
            if (C(L(FCurrent)) == kRbRed && C(R(FCurrent)) == kRbRed) {
                Split(less);
            }
        }
        if (less(FParent)) {
            L(FParent) = node;
        } else {
            R(FParent) = node;
        }
        FCurrent = node;
        Split(less);
    }

    // Takes the first node that compares equal out of the order and returns it (not
    // released), or returns nullptr and changes nothing when there is none.
    template <class TCmp>
    TNode* Unlink(TCmp cmp)
    {
        FTop = 0;
        TNode* parent = FHeader;
        Push(FHeader);
        TNode* t = Root();
        while (t != FNil) {
            int c = cmp(t);
            if (c == 0) {
                break;
            }
            parent = t;
            Push(t);
            t = c < 0 ? L(t) : R(t);
        }
        if (t == FNil) {
            return nullptr;
        }
        FRemoved = t;

        TNode* x;
        if (R(t) == FNil) {
            x = L(t);
            FTakenColour = C(t);
            Replace(parent, t, x);
        } else if (L(t) == FNil) {
            x = R(t);
            FTakenColour = C(t);
            Replace(parent, t, x);
        } else {
            TNode* s = R(t);
            if (L(s) == FNil) {
                Push(s);
                x = R(s);
                FTakenColour = C(s);
                C(s) = C(t);
                L(s) = L(t);
                Replace(parent, t, s);
            } else {
                int tEntry = FTop;
                Push(t);
                TNode* succ = s;
                TNode* succParent = s;
                while (L(succ) != FNil) {
                    Push(succ);
                    succParent = succ;
                    succ = L(succ);
                }
                (*FStack)[static_cast<size_t>(tEntry)] = succ;
                x = R(succ);
                L(succParent) = x;
                FTakenColour = C(succ);
                C(succ) = C(t);
                L(succ) = L(t);
                R(succ) = R(t);
                Replace(parent, t, succ);
            }
        }
        if (FTakenColour == kRbBlack) {
            FixAfterRemoval(x);
        }
        return t;
    }

    // Visits every node, children before their parent (the visitor may free the node).
    template <class TVisit>
    void ForEachPostOrder(TVisit visit)
    {
        PostOrder(Root(), visit);
    }

private:
    static TNode*& L(TNode* n) { return TLinks::Left(n); }
    static TNode*& R(TNode* n) { return TLinks::Right(n); }
    static std::uint8_t& C(TNode* n) { return TLinks::Colour(n); }

    static void Replace(TNode* parent, TNode* old, TNode* by)
    {
        if (L(parent) == old) {
            L(parent) = by;
        } else {
            R(parent) = by;
        }
    }

    void Push(TNode* n)
    {
        if (n == nullptr) {
            return;
        }
        Assert(FTop < kAncestorDepth, "Red-black ancestor stack overflow");
        (*FStack)[FTop++] = n;
    }

    TNode* Pop() { return FTop == 0 ? FNil : (*FStack)[--FTop]; }

    // Rotates the child of y on the inserted key's side with its own child on that side.
    template <class TLess>
    TNode* Rotate(TLess& less, TNode* y)
    {
        TNode*& link = less(y) ? L(y) : R(y);
        TNode* c = link;
        TNode* g;
        if (less(c)) {
            g = L(c);
            L(c) = R(g);
            R(g) = c;
        } else {
            g = R(c);
            R(c) = L(g);
            L(g) = c;
        }
        link = g;
        return g;
    }

    template <class TLess>
    void Split(TLess& less)
    {
        C(FCurrent) = kRbRed;
        C(L(FCurrent)) = kRbBlack;
        C(R(FCurrent)) = kRbBlack;
        if (C(FParent) == kRbRed) {
            C(FGrand) = kRbRed;
            if (less(FGrand) != less(FParent)) {
                FParent = Rotate(less, FGrand);
            }
            FCurrent = Rotate(less, FGreat);
            C(FCurrent) = kRbBlack;
        }
        C(Root()) = kRbBlack;
    }

    // Rotates p towards the side of x (xLeft) so that its child w takes p's place under g.
    static void RotateTowards(TNode* g, TNode* p, TNode* w, bool xLeft)
    {
        if (xLeft) {
            R(p) = L(w);
            L(w) = p;
        } else {
            L(p) = R(w);
            R(w) = p;
        }
        Replace(g, p, w);
    }

    void FixAfterRemoval(TNode* x)
    {
        TNode* p = Pop();
        TNode* g = Pop();
        while (x != Root() && C(x) == kRbBlack) {
            bool xLeft = x == L(p);
            FSibling = xLeft ? R(p) : L(p);
            if (C(FSibling) == kRbRed) {
                C(FSibling) = kRbBlack;
                C(p) = kRbRed;
                Push(g);
                RotateTowards(g, p, FSibling, xLeft);
                g = FSibling;
                FSibling = xLeft ? R(p) : L(p);
            }
            if (C(L(FSibling)) == kRbBlack && C(R(FSibling)) == kRbBlack) {
                C(FSibling) = kRbRed;
                x = p;
                p = g;
                g = Pop();
                continue;
            }
            if (C(xLeft ? R(FSibling) : L(FSibling)) == kRbBlack) {
                FSpare = xLeft ? L(FSibling) : R(FSibling);
                if (xLeft) {
                    L(FSibling) = R(FSpare);
                    R(FSpare) = FSibling;
                    R(p) = FSpare;
                } else {
                    R(FSibling) = L(FSpare);
                    L(FSpare) = FSibling;
                    L(p) = FSpare;
                }
                FSibling = FSpare;
            }
            C(FSibling) = C(p);
            C(p) = kRbBlack;
            C(xLeft ? R(FSibling) : L(FSibling)) = kRbBlack;
            Push(g);
            RotateTowards(g, p, FSibling, xLeft);
            x = Root();
            break;
        }
        if (x != FNil) {
            C(x) = kRbBlack;
        }
    }

    template <class TVisit>
    void PostOrder(TNode* node, TVisit& visit)
    {
        if (node == FNil) {
            return;
        }
        PostOrder(L(node), visit);
        PostOrder(R(node), visit);
        visit(node);
    }

    TNode* FHeader;
    TNode* FNil;
    // Work fields of the running insertion or removal; nothing carries between calls.
    TNode* FNew = nullptr;
    TNode* FCurrent = nullptr;
    TNode* FParent = nullptr;
    TNode* FGrand = nullptr;
    TNode* FGreat = nullptr;
    std::uint8_t FTakenColour = kRbBlack;
    TNode* FSibling = nullptr;
    TNode* FSpare = nullptr;
    TNode* FRemoved = nullptr;
    std::unique_ptr<std::array<TNode*, kAncestorDepth>> FStack;
    std::uint8_t FTop = 0;
};

// Key and value types of the family's members, with their empty values.
template <class TKey, class TValue, TValue kEmpty>
struct TMapTraits {
    using Key = TKey;
    using Value = TValue;
    static constexpr TValue kEmptyValue = kEmpty;
};
using TStringIntTraits = TMapTraits<std::string, int, -1>;
using TStringObjTraits = TMapTraits<std::string, TObject*, nullptr>;
using TStringPtrTraits = TMapTraits<std::string, void*, nullptr>;
using TCardinalObjTraits = TMapTraits<std::uintptr_t, TObject*, nullptr>;
using TCardinalTraits = TMapTraits<std::uintptr_t, std::uintptr_t, 0>;

// A node of the single-order containers.
template <class TTraits>
struct TRbNode {
    typename TTraits::Key Key{};
    typename TTraits::Value Value = TTraits::kEmptyValue;
    TRbNode* FLeft = nullptr;
    TRbNode* FRight = nullptr;
    std::uint8_t FColour = kRbBlack;

    struct TLinks {
        static TRbNode*& Left(TRbNode* n) { return n->FLeft; }
        static TRbNode*& Right(TRbNode* n) { return n->FRight; }
        static std::uint8_t& Colour(TRbNode* n) { return n->FColour; }
    };
};

// A single-order map of one key type to one value type, ordered by key. TTraits gives Key,
// Value and kEmptyValue; the empty key is Key{}. Duplicate keys are kept (see above).
template <class TTraits>
class TRbTree {
public:
    using Key = typename TTraits::Key;
    using Value = typename TTraits::Value;
    using Node = TRbNode<TTraits>;
    using Order = TRbOrder<Node, typename Node::TLinks>;

    explicit TRbTree(int blockSize)
        : FStore(blockSize), FSentinelNode(), FHeaderNode(), FOrder(&FHeaderNode, &FSentinelNode)
    {
    }
    TRbTree(const TRbTree&) = delete;
    TRbTree& operator=(const TRbTree&) = delete;
    ~TRbTree() { Clear(); }

    Value Find(const Key& key) const { return FOrder.Search(Comparer(key))->Value; }

    // The smallest key and its value; the empty ones when the tree is empty.
    void FindMin(Key& key, Value& value) const
    {
        const Node* node = FOrder.Leftmost();
        key = node->Key;
        value = node->Value;
    }

    void Insert(const Key& key, Value value)
    {
        Node* node = FStore.Acquire();
        node->Key = key;
        node->Value = value;
        FOrder.Insert(node, Comparer(node->Key));
        ++FCount;
    }

    // Raises "Key not found !" and changes nothing when the key is absent.
    void Remove(const Key& key)
    {
        Node* node = FOrder.Unlink(Comparer(key));
        if (node == nullptr) {
            throw Exception("Key not found !");
        }
        FStore.Release(node);
        --FCount;
    }

    void Clear()
    {
        FOrder.ForEachPostOrder([this](Node* node) { FStore.Release(node); });
        FOrder.ResetRoot();
        FHeaderNode.Key = Key{};
        FHeaderNode.Value = TTraits::kEmptyValue;
        FCount = 0;
    }

    int Count() const { return FCount; }
    bool IsEmpty() const { return FOrder.Root() == FOrder.Sentinel(); }

    // For structure checks.
    const Order& GetOrder() const { return FOrder; }
    const TNodeStore<Node>& Store() const { return FStore; }

private:
    static auto Comparer(const Key& key)
    {
        return [&key](const Node* node) { return CompareKeys(key, node->Key); };
    }

    TNodeStore<Node> FStore;
    int FCount = 0;
    Node FSentinelNode;
    Node FHeaderNode;
    Order FOrder;
};

} // namespace lc
