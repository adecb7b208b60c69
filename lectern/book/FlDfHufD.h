// TFlDfDecodeHuffmanTree: a canonical Huffman code as a single decode table.
//
// The table has 2^L entries, L being the longest code length in the set. Index it with the
// next L bits of the stream (first code bit lowest): every index whose low bits are a code's
// bit-reversed value holds that code's entry, so one lookup decodes a symbol, with no tree
// walking. An entry packs the symbol (bits 0-15), the code length (bits 16-23) and the count
// of extra bits that follow the code (bits 24-31); kFlDfUnmappedEntry marks indices that no
// code of an incomplete set reaches. An over-subscribed set cannot be decoded and raises.
#pragma once

#include "FlDfBase.h"

#include <cstdint>
#include <memory>

enum class TFlDfHuffmanUsage { Decoding, Encoding, Both };

constexpr uint32_t kFlDfUnmappedEntry = 0xFFFFFFFFu;
constexpr int kFlDfMaxCodeBits = 15;   // deflate's longest code
constexpr int kFlDfMaxAlphabet = 288;  // the fixed literal/length code's symbols

inline uint32_t FlDfEntrySymbol(uint32_t entry) { return entry & 0xFFFF; }
inline uint32_t FlDfEntryCodeBits(uint32_t entry) { return (entry >> 16) & 0xFF; }
inline uint32_t FlDfEntryExtraBits(uint32_t entry) { return entry >> 24; }

class TFlDfDecodeHuffmanTree : public TObject {
public:
    TFlDfDecodeHuffmanTree(int alphabetSize, TFlDfHuffmanUsage usage, int maxCodeLength);

    // Builds the table from count code lengths starting at lengths[start] (symbols 0 to
    // count-1; the rest of the alphabet has no code). Symbols at or above extraOffset take
    // their count of extra bits from extraBits[symbol - extraOffset].
    void Build(const uint8_t* lengths, int start, int count, const uint8_t* extraBits, int extraOffset);

    uint32_t Decode(uint32_t index) const;

    // The longest code length of the set: the bits a lookup needs.
    TFlDfHuffmanUsage Usage() const { return FUsage; }
    int LookupBitLength() const { return FLookupBits; }
    uint32_t LookupMask() const { return ~FMask; }
    const uint32_t* Table() const { return FTable.get(); }

    CL_CLASS_NAME(TFlDfDecodeHuffmanTree)

private:
    int FAlphabetSize;
    TFlDfHuffmanUsage FUsage;
    int FMaxCodeLength;
    int FLookupBits = 0;
    std::unique_ptr<uint32_t[]> FTable;   // 2^FLookupBits entries in use
    uint32_t FCapacity = 0;
    uint32_t FMask = 0;   // the bits above the lookup length
};
