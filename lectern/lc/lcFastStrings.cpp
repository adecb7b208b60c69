#include "lectern/lc/lcFastStrings.h"

#include <cstring>

std::string UpperCaseStr(const std::string& S)
{
    std::string result(S);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - ('a' - 'A'));
        }
    }
    return result;
}

// ---- TLcHugeString ------------------------------------------------------------------------

namespace {

[[noreturn]] void HugeStringError()
{
    throw Exception("Internal Huge AnsiString error.");
}

} // namespace

TLcHugeString::TLcHugeString() : FCurrent(std::make_unique<TPieceArray>()) {}

void TLcHugeString::Clear()
{
    FPacked.clear();
    *FCurrent = TPieceArray();
    FPackedCount = 0;
    FEntries = 0;
    FFree = 0;
    FWritePos = 0;
    FPieceCount = 0;
    FTotalSize = 0;
}

TLcHugeString::TPiece* TLcHugeString::Take(const std::string& s)
{
    const std::size_t length = s.size();
    if (length < 1) {
        return nullptr;
    }
    FTotalSize += static_cast<std::int64_t>(length);
    if (FFree >= length) {
        TPiece& last = (*FCurrent)[static_cast<std::size_t>(FEntries - 1)];
        std::memcpy(&last.Text[FWritePos - 1], s.data(), length);
        last.Used += length;
        FWritePos += length;
        FFree -= length;
        return nullptr;
    }
    if (FEntries == kHugeStringEntries) {
        FPacked.push_back(std::move(FCurrent));
        ++FPackedCount;
        FCurrent = std::make_unique<TPieceArray>();
        FEntries = 0;
    }
    TPiece& piece = (*FCurrent)[static_cast<std::size_t>(FEntries)];
    ++FEntries;
    ++FPieceCount;
    piece.Used = length;
    if (length < kHugeStringShortPiece) {
        piece.Text.assign(kHugeStringBufferBytes, '\0');
        std::memcpy(piece.Text.data(), s.data(), length);
        FFree = kHugeStringBufferBytes - length;
        FWritePos = length + 1;
        return nullptr;
    }
    FFree = 0;
    FWritePos = 0;
    return &piece;
}

void TLcHugeString::Append(const std::string& S)
{
    if (TPiece* piece = Take(S)) {
        piece->Text = S;
    }
}

void TLcHugeString::Append(std::string&& S)
{
    if (TPiece* piece = Take(S)) {
        piece->Text = std::move(S);
    }
}

std::string TLcHugeString::GetText() const
{
    if (FPieceCount == 0) {
        return std::string();
    }
    const TPiece& first = (*FCurrent)[0];
    if (FPieceCount == 1) {
        return first.Text.substr(0, first.Used);
    }
    std::string text;
    if (FTotalSize < 0 || static_cast<std::uint64_t>(FTotalSize) > text.max_size()) {
        HugeStringError();
    }
    const auto total = static_cast<std::size_t>(FTotalSize);
    text.resize(total);
    std::size_t pos = 0;
    auto copy = [&](const TPiece& piece) {
        if (piece.Used > total - pos) {
            HugeStringError();
        }
        std::memcpy(text.data() + pos, piece.Text.data(), piece.Used);
        pos += piece.Used;
    };
    for (const auto& block : FPacked) {
        for (const TPiece& piece : *block) {
            copy(piece);
        }
    }
    for (int i = 0; i < FEntries; ++i) {
        copy((*FCurrent)[static_cast<std::size_t>(i)]);
    }
    if (pos != total) {
        HugeStringError();
    }
    return text;
}

// ---- the fast name lists ------------------------------------------------------------------

namespace lc {

template <class TIndex>
TLcFastObjList<TIndex>::TLcFastObjList() : FCurrent(std::make_unique<TBlock>()), FIndex(kFastListIndexBlockSize)
{
}

template <class TIndex>
typename TLcFastObjList<TIndex>::TEntry& TLcFastObjList<TIndex>::Entry(int i)
{
    const int block = i / kFastListBlockEntries;
    TBlock& entries = block < FFullCount ? *FFull[static_cast<std::size_t>(block)] : *FCurrent;
    return entries[static_cast<std::size_t>(i % kFastListBlockEntries)];
}

template <class TIndex>
const typename TLcFastObjList<TIndex>::TEntry& TLcFastObjList<TIndex>::Entry(int i) const
{
    return const_cast<TLcFastObjList*>(this)->Entry(i);
}

template <class TIndex>
int TLcFastObjList<TIndex>::AddIndexed(const std::string& name, const std::string& key, TObject* obj)
{
    if (FInCurrent == kFastListBlockEntries) {
        FFull.push_back(std::move(FCurrent));
        ++FFullCount;
        FCurrent = std::make_unique<TBlock>();
        FInCurrent = 0;
    }
    const int index = FCount;
    FIndex.Insert(key, index);
    TEntry& entry = (*FCurrent)[static_cast<std::size_t>(FInCurrent)];
    entry.Name = name;
    entry.Obj = obj;
    ++FInCurrent;
    ++FCount;
    return index;
}

template <class TIndex>
int TLcFastObjList<TIndex>::Add(const std::string& Name, TObject* Obj)
{
    return AddIndexed(Name, UpperCaseStr(Name), Obj);
}

template <class TIndex>
int TLcFastObjList<TIndex>::IndexOf(const std::string& Name) const
{
    return FIndex.Find(UpperCaseStr(Name));
}

template <class TIndex>
const std::string& TLcFastObjList<TIndex>::GetName(int I) const
{
    return Entry(I).Name;
}

template <class TIndex>
TObject* TLcFastObjList<TIndex>::GetObject(int I) const
{
    return Entry(I).Obj;
}

template <class TIndex>
void TLcFastObjList<TIndex>::SetObject(int I, TObject* Obj)
{
    Entry(I).Obj = Obj;
}

template <class TIndex>
void TLcFastObjList<TIndex>::Empty(bool freeObjects)
{
    if (freeObjects) {
        for (int i = 0; i < FCount; ++i) {
            delete Entry(i).Obj;
        }
    }
    FFull.clear();
    FFullCount = 0;
    *FCurrent = TBlock();
    FInCurrent = 0;
    FIndex.Clear();
    FCount = 0;
}

template <class TIndex>
void TLcFastObjList<TIndex>::Clear()
{
    Empty(false);
}

template <class TIndex>
void TLcFastObjList<TIndex>::FreeObjects()
{
    Empty(true);
}

template class TLcFastObjList<tStrIntList>;
template class TLcFastObjList<tStringIntList>;

} // namespace lc

int tLcFastStrObjList::AddUpper(const std::string& Name, TObject* Obj)
{
    return AddIndexed(Name, Name, Obj);
}

int tLcFastStrObjList::IndexOfUpper(const std::string& Name) const
{
    return FIndex.Find(Name);
}

void tLcFastStrObjList::SetName(int I, const std::string& Name)
{
    // The index may hold the old name for several entries (Add does not look for an equal
    // name, and renaming onto a name in use makes another). Removing "the" old name would take
    // whichever node the search meets first, possibly another entry's, and leave this one's
    // stale. So take the old name's nodes out until this entry's turns up, and put the others
    // back.
    const std::string oldKey = UpperCaseStr(Entry(I).Name);
    std::vector<int> others;
    bool found = false;
    for (int index = FIndex.Find(oldKey); index != -1; index = FIndex.Find(oldKey)) {
        FIndex.Remove(oldKey);
        if (index == I) {
            found = true;
            break;
        }
        others.push_back(index);
    }
    for (int index : others) {
        FIndex.Insert(oldKey, index);
    }
    if (!found) {
        throw Exception("Key not found !");
    }
    Entry(I).Name = Name;
    FIndex.Insert(UpperCaseStr(Name), I);
}
