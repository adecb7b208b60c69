// tStringObjList: string keys to objects (log buffers, the connection information's objects).
//
// A red-black tree (memRbTree.h) with pooled nodes. It neither locks nor owns its values:
// removing a key or clearing the tree frees no object.
#pragma once

#include "lectern/lc/memRbTree.h"

class tStringObjList : public TObject {
public:
    explicit tStringObjList(int BlockSize) : FTree(BlockSize) {}

    bool IsEmpty() const;
    // The value under Key, or nullptr.
    TObject* Find(const std::string& Key) const;
    // The smallest key and its object; an empty key and nullptr when the tree is empty.
    void FindMin(std::string& Key, TObject*& Value) const;
    // Adds a node; an equal key already present is not looked for.
    void Insert(const std::string& Key, TObject* Value);
    // Removes the first node found for Key; raises "Key not found !" when there is none.
    void Remove(const std::string& Key);
    int Count() const;
    void Clear();

    CL_CLASS_NAME(tStringObjList)

protected:
    lc::TRbTree<lc::TStringObjTraits> FTree;
};
