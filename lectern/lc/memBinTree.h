// tBinTree: pointer-wide number keys to pointer-wide numbers, searchable both ways (the
// socket registry: handle to socket object and back).
//
// Each node sits in two red-black orders at once (memRbTree.h): the key order, and the value
// order, which compares values, then keys, then the nodes themselves, so that even two nodes
// with the same key and value have distinct places and a removal always finds the very node
// it took out of the key order. Nodes are pooled; the tree neither locks nor owns anything.
#pragma once

#include "lectern/lc/memRbTree.h"

namespace lc {

struct TBinTreeNode {
    std::uintptr_t Key = 0;
    std::uintptr_t Value = 0;
    TBinTreeNode* FLink[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};
    std::uint8_t FColour[2] = {kRbBlack, kRbBlack};

    template <int kOrder>
    struct TLinks {
        static TBinTreeNode*& Left(TBinTreeNode* n) { return n->FLink[kOrder][0]; }
        static TBinTreeNode*& Right(TBinTreeNode* n) { return n->FLink[kOrder][1]; }
        static std::uint8_t& Colour(TBinTreeNode* n) { return n->FColour[kOrder]; }
    };
};

} // namespace lc

class tBinTree : public TObject {
public:
    explicit tBinTree(int BlockSize);
    ~tBinTree() override;
    tBinTree(const tBinTree&) = delete;
    tBinTree& operator=(const tBinTree&) = delete;

    // The value under Key, or 0.
    std::uintptr_t Find(std::uintptr_t Key) const;
    // The key of a node holding Value (the first met when several do), or 0.
    std::uintptr_t FindByValue(std::uintptr_t Value) const;
    // Adds one node to both orders; an equal key already present is not looked for.
    void Insert(std::uintptr_t Key, std::uintptr_t Value);
    // Removes the node found for Key from both orders; raises "Key not found !" when there is
    // none, and "BinTree -> structure corrupt !" when the value order does not hold that node.
    void Remove(std::uintptr_t Key);
    void Clear();

    CL_CLASS_NAME(tBinTree)

protected:
    using Node = lc::TBinTreeNode;
    using KeyOrder = lc::TRbOrder<Node, Node::TLinks<0>>;
    using ValueOrder = lc::TRbOrder<Node, Node::TLinks<1>>;

    lc::TNodeStore<Node> FStore;
    int FCount = 0;
    Node FSentinelNode;
    Node FHeaderNode;
    KeyOrder FKeys;
    ValueOrder FValues;
};
