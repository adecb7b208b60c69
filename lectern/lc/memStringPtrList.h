// tStringPtrList: string keys to untyped pointers (the value model's registries).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tStringPtrList : public TObject {
public:
    explicit tStringPtrList(int BlockSize) : FTree(BlockSize) {}

    void Clear();

    CL_CLASS_NAME(tStringPtrList)

protected:
    lc::TRbTree<lc::TStringPtrTraits> FTree;
};
