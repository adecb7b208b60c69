// tBinList: pointer-wide number keys to pointer-wide numbers (thread and timer lists).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tBinList : public TObject {
public:
    explicit tBinList(int BlockSize) : FTree(BlockSize) {}

    // The value under Key, or 0.
    std::uintptr_t Find(std::uintptr_t Key) const;
    // The smallest key, with its value in Value; 0 and 0 when the tree is empty.
    std::uintptr_t FindMin(std::uintptr_t& Value) const;
    // Adds a node; an equal key already present is not looked for.
    void Insert(std::uintptr_t Key, std::uintptr_t Value);
    // Removes the first node found for Key; raises "Key not found !" when there is none.
    void Remove(std::uintptr_t Key);
    int Count() const;
    void Clear();

    CL_CLASS_NAME(tBinList)

protected:
    lc::TRbTree<lc::TCardinalTraits> FTree;
};
