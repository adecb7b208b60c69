// Text tools of the communication library: the string builder TLcHugeString, the fast name
// lists (name/object pairs in insertion order with a tree index on the upper-cased name), and
// UpperCaseStr, the ASCII upper-casing used for header names, methods and indexes.
//
// All strings are 8-bit; lengths and positions count bytes. Nothing here locks.
#pragma once

#include "classlib/SysUtils.h"
#include "lectern/lc/memStrIntList.h"
#include "lectern/lc/memStringIntList.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A copy of S in which only the bytes 'a'..'z' are raised to 'A'..'Z'.
std::string UpperCaseStr(const std::string& S);

// Collects appended pieces and joins them once.
//
// Pieces live in entries of 16-entry arrays; a full array moves whole onto the packed list, so
// an append is O(1) and GetText copies every byte exactly once. A piece shorter than
// kHugeStringShortPiece bytes is copied into a kHugeStringBufferBytes buffer that the
// following short pieces fill up; a longer piece is kept as it is (moved in when the caller
// hands over a temporary), so it is copied only by GetText.
class TLcHugeString : public TObject {
public:
    static constexpr int kHugeStringEntries = 16;
    static constexpr std::size_t kHugeStringBufferBytes = 290;
    static constexpr std::size_t kHugeStringShortPiece = 255;

    TLcHugeString();
    ~TLcHugeString() override = default;
    TLcHugeString(const TLcHugeString&) = delete;
    TLcHugeString& operator=(const TLcHugeString&) = delete;

    void Clear();
    void Append(const std::string& S);
    void Append(std::string&& S);
    // The joined text; raises "Internal Huge AnsiString error." when the pieces do not add up
    // to TotalSize or the total is more than one string can hold.
    std::string GetText() const;
    std::int64_t TotalSize() const { return FTotalSize; }

    CL_CLASS_NAME(TLcHugeString)

private:
    struct TPiece {
        std::string Text;
        std::size_t Used = 0;
    };
    using TPieceArray = std::array<TPiece, kHugeStringEntries>;

    // Takes S in and answers nullptr, or answers the new entry a long S is to be stored in.
    TPiece* Take(const std::string& s);

    std::unique_ptr<TPieceArray> FCurrent;
    std::vector<std::unique_ptr<TPieceArray>> FPacked;
    int FPackedCount = 0;
    int FEntries = 0;
    std::size_t FFree = 0;
    std::size_t FWritePos = 0;
    int FPieceCount = 0;
    std::int64_t FTotalSize = 0;
};

namespace lc {

constexpr int kFastListBlockEntries = 16;
constexpr int kFastListIndexBlockSize = 16;

// The layout and operations both fast name lists share; TIndex is the name index tree.
// Entry i lives in full block i / 16 when that block exists, else in the current block.
// Names are stored as given and indexed upper-cased. Index arguments are not range-checked:
// callers pass 0 <= I < Count(). The list owns its objects only when FreeObjects is called.
template <class TIndex>
class TLcFastObjList : public TObject {
public:
    TLcFastObjList();
    ~TLcFastObjList() override = default;
    TLcFastObjList(const TLcFastObjList&) = delete;
    TLcFastObjList& operator=(const TLcFastObjList&) = delete;

    // Appends an entry without looking for an equal name; answers its index.
    int Add(const std::string& Name, TObject* Obj);
    // The index of an entry named Name (any case), -1 when none is.
    int IndexOf(const std::string& Name) const;
    const std::string& GetName(int I) const;
    TObject* GetObject(int I) const;
    // Replaces the entry's object; the old one is not freed.
    void SetObject(int I, TObject* Obj);
    int Count() const { return FCount; }
    // Empties the list; the objects are forgotten, not freed.
    void Clear();
    // Empties the list and frees every entry's object.
    void FreeObjects();

protected:
    struct TEntry {
        std::string Name;
        TObject* Obj = nullptr;
    };
    using TBlock = std::array<TEntry, kFastListBlockEntries>;

    TEntry& Entry(int i);
    const TEntry& Entry(int i) const;
    int AddIndexed(const std::string& name, const std::string& key, TObject* obj);
    void Empty(bool freeObjects);

    std::unique_ptr<TBlock> FCurrent;
    std::vector<std::unique_ptr<TBlock>> FFull;
    int FFullCount = 0;
    TIndex FIndex;
    int FInCurrent = 0;
    int FCount = 0;
};

} // namespace lc

// The fast name list of the HTTP objects, with upper-case shortcuts and renaming.
class tLcFastStrObjList : public lc::TLcFastObjList<tStrIntList> {
public:
    // As Add, but Name is indexed as given: the caller guarantees that it is upper case.
    int AddUpper(const std::string& Name, TObject* Obj);
    // As IndexOf, but Name is looked up as given.
    int IndexOfUpper(const std::string& Name) const;
    // Renames entry I and re-indexes it. Raises "Key not found !" and changes nothing when the
    // entry's old upper-cased name is not indexed for I. Other entries of either name keep
    // their index entries, so IndexOf never answers an entry whose name differs.
    void SetName(int I, const std::string& Name);

    CL_CLASS_NAME(tLcFastStrObjList)
};

// The fast name list of the value model's record fields; it cannot rename.
class tLcFastStringObjList : public lc::TLcFastObjList<tStringIntList> {
public:
    CL_CLASS_NAME(tLcFastStringObjList)
};
