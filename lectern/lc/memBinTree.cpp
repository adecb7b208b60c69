#include "lectern/lc/memBinTree.h"

#include <functional>

namespace {

using lc::CompareKeys;
using lc::TBinTreeNode;

auto ByKey(std::uintptr_t key)
{
    return [key](const TBinTreeNode* n) { return CompareKeys(key, n->Key); };
}

// The full value order: value, key, then the node's own place in memory.
auto ByValueKeyNode(const TBinTreeNode* self)
{
    return [self](const TBinTreeNode* n) {
        if (int c = CompareKeys(self->Value, n->Value)) {
            return c;
        }
        if (int c = CompareKeys(self->Key, n->Key)) {
            return c;
        }
        return std::less<const TBinTreeNode*>()(self, n) ? -1 : (self == n ? 0 : 1);
    };
}

} // namespace

tBinTree::tBinTree(int BlockSize)
    : FStore(BlockSize), FKeys(&FHeaderNode, &FSentinelNode), FValues(&FHeaderNode, &FSentinelNode)
{
}

tBinTree::~tBinTree()
{
    Clear();
}

std::uintptr_t tBinTree::Find(std::uintptr_t Key) const
{
    return FKeys.Search(ByKey(Key))->Value;
}

std::uintptr_t tBinTree::FindByValue(std::uintptr_t Value) const
{
    return FValues.Search([Value](const Node* n) { return CompareKeys(Value, n->Value); })->Key;
}

void tBinTree::Insert(std::uintptr_t Key, std::uintptr_t Value)
{
    Node* node = FStore.Acquire();
    node->Key = Key;
    node->Value = Value;
    FKeys.Insert(node, ByKey(Key));
    FValues.Insert(node, ByValueKeyNode(node));
    ++FCount;
}

void tBinTree::Remove(std::uintptr_t Key)
{
    Node* node = FKeys.Unlink(ByKey(Key));
    if (node == nullptr) {
        throw Exception("Key not found !");
    }
    if (FValues.Search(ByValueKeyNode(node)) != node) {
        throw Exception("BinTree -> structure corrupt !");
    }
    FValues.Unlink(ByValueKeyNode(node));
    FStore.Release(node);
    --FCount;
}

void tBinTree::Clear()
{
    FKeys.ForEachPostOrder([this](Node* node) { FStore.Release(node); });
    FKeys.ResetRoot();
    FValues.ResetRoot();
    FHeaderNode.Key = 0;
    FHeaderNode.Value = 0;
    FCount = 0;
}
