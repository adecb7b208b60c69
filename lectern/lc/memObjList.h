// tObjList: pointer-wide number keys to objects (the value model's registries).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tObjList : public TObject {
public:
    explicit tObjList(int BlockSize) : FTree(BlockSize) {}

    // The value under Key, or nullptr.
    TObject* Find(std::uintptr_t Key) const;
    void Clear();

    CL_CLASS_NAME(tObjList)

protected:
    lc::TRbTree<lc::TCardinalObjTraits> FTree;
};
