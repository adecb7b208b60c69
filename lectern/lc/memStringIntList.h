// tStringIntList: string keys to integers (a fast name list's index).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tStringIntList : public TObject {
public:
    explicit tStringIntList(int BlockSize) : FTree(BlockSize) {}

    // The value under Key, or -1.
    int Find(const std::string& Key) const;
    // Adds a node; an equal key already present is not looked for.
    void Insert(const std::string& Key, int Value);
    void Clear();

    CL_CLASS_NAME(tStringIntList)

protected:
    lc::TRbTree<lc::TStringIntTraits> FTree;
};
