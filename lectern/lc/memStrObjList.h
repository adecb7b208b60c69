// tStrObjList: string keys to objects (the data server's session lists).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tStrObjList : public TObject {
public:
    explicit tStrObjList(int BlockSize) : FTree(BlockSize) {}

    // The smallest key and its object; an empty key and nullptr when the tree is empty.
    void FindMin(std::string& Key, TObject*& Value) const;
    // Adds a node; an equal key already present is not looked for.
    void Insert(const std::string& Key, TObject* Value);
    // Removes the first node found for Key; raises "Key not found !" when there is none.
    void Remove(const std::string& Key);
    void Clear();

    CL_CLASS_NAME(tStrObjList)

protected:
    lc::TRbTree<lc::TStringObjTraits> FTree;
};
