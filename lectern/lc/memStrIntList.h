// tStrIntList: string keys to integers (a fast name list's index).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tStrIntList : public TObject {
public:
    explicit tStrIntList(int BlockSize) : FTree(BlockSize) {}

    // The value under Key, or -1.
    int Find(const std::string& Key) const;
    // Adds a node; an equal key already present is not looked for.
    void Insert(const std::string& Key, int Value);
    // Removes the first node found for Key; raises "Key not found !" when there is none.
    void Remove(const std::string& Key);
    void Clear();

    CL_CLASS_NAME(tStrIntList)

protected:
    lc::TRbTree<lc::TStringIntTraits> FTree;
};
