// TFlDfDecodeHuffmanTree: a canonical Huffman code as a decode table.
//
// Index the table with the next bits of the stream (first code bit lowest): every index
// whose low bits are a code's bit-reversed value holds that code's entry, so one lookup
// decodes a symbol, with no tree walking. An entry packs the symbol (bits 0-15), the code
// length (bits 16-23) and the count of extra bits that follow the code (bits 24-31);
// kFlDfUnmappedEntry marks indices that no code of an incomplete set reaches. An
// over-subscribed set cannot be decoded and raises.
//
// The table a lookup starts from is kept small enough to stay in the first-level cache: it
// has 2^R entries, R (the root bits) being fixed when the tree is made, so that the decoding
// loops index it with a constant mask; a set whose longest code length L is below R fills the
// root with each code repeated at its stride. When L > R, the codes longer than R bits share
// their first R bits in groups; the
// root entry of such a group is a link (FlDfIsLink) to a subtable behind the root, indexed by
// the code's next bits (as many as the group's longest code needs). Codes of R bits or fewer,
// nearly all of the symbols of real data, still decode with one lookup. Decode resolves the
// link, so it gives the entry of any L-bit index as a single 2^L-entry table would.
#pragma once

#include "FlDfBase.h"

#include <cstdint>
#include <memory>

enum class TFlDfHuffmanUsage { Decoding, Encoding, Both };

constexpr uint32_t kFlDfUnmappedEntry = 0xFFFFFFFFu;
constexpr int kFlDfMaxCodeBits = 15;   // deflate's longest code
constexpr int kFlDfMaxAlphabet = 288;  // the fixed literal/length code's symbols
constexpr int kFlDfRootBits = 10;      // 4 KB of root entries: the default
// The largest table of a tree: the root and, at most, one subtable of 2^(longest - root)
// entries per symbol.
constexpr uint32_t FlDfMaxTableEntries(int alphabetSize, int maxCodeLength, int rootBits)
{
    return maxCodeLength <= rootBits ? 1u << rootBits
                                     : (1u << rootBits) + static_cast<uint32_t>(alphabetSize)
                                                              * (1u << (maxCodeLength - rootBits));
}

// A link: bit 15 of the symbol field set and code length 0; the symbol field's low 15 bits
// are the subtable's offset in the table, the extra-bits field its count of index bits.
constexpr uint32_t kFlDfLinkFlag = 0x8000;
inline bool FlDfIsLink(uint32_t entry) { return (entry & 0x00FF8000u) == kFlDfLinkFlag; }

// A literal's entry: symbol below 256, so neither a link nor unmapped.
inline bool FlDfIsLiteral(uint32_t entry) { return (entry & 0xFF00u) == 0; }
inline uint32_t FlDfEntrySymbol(uint32_t entry) { return entry & 0xFFFF; }
inline uint32_t FlDfEntryCodeBits(uint32_t entry) { return (entry >> 16) & 0xFF; }
inline uint32_t FlDfEntryExtraBits(uint32_t entry) { return entry >> 24; }

// The entry of a link's subtable that the bits above the root's select.
inline uint32_t FlDfFollowLink(const uint32_t* table, uint32_t link, uint32_t look, uint32_t rootBits)
{
    return table[(link & (kFlDfLinkFlag - 1)) + ((look >> rootBits) & ((1u << (link >> 24)) - 1))];
}

class TFlDfDecodeHuffmanTree : public TObject {
public:
    // rootBits: the bits of the root table (1 to 15).
    TFlDfDecodeHuffmanTree(int alphabetSize, TFlDfHuffmanUsage usage, int maxCodeLength,
                           int rootBits = kFlDfRootBits);

    // Builds the table from count code lengths starting at lengths[start] (symbols 0 to
    // count-1; the rest of the alphabet has no code). Symbols at or above extraOffset take
    // their count of extra bits from extraBits[symbol - extraOffset].
    void Build(const uint8_t* lengths, int start, int count, const uint8_t* extraBits, int extraOffset);

    uint32_t Decode(uint32_t index) const;

    TFlDfHuffmanUsage Usage() const { return FUsage; }
    // The longest code length of the set: the bits a lookup needs.
    int LookupBitLength() const { return FLookupBits; }
    uint32_t LookupMask() const { return ~FMask; }
    // The root: the table's first 2^RootBits entries; links lead behind it.
    uint32_t RootBits() const { return FRootBits; }
    uint32_t RootMask() const { return (1u << FRootBits) - 1; }
    const uint32_t* Table() const { return FTable; }

    CL_CLASS_NAME(TFlDfDecodeHuffmanTree)

private:
    int FAlphabetSize;
    TFlDfHuffmanUsage FUsage;
    int FMaxCodeLength;
    int FLookupBits = 0;
    uint32_t FRootBits;
    // The root, then the subtables: room for the largest table of the permitted lengths.
    TFlDfBuffer FTableBuffer;
    uint32_t* FTable = nullptr;
    uint32_t FCapacity = 0;
    uint32_t FMask = 0;   // the bits above the lookup length
};
