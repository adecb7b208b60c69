#include "FlDfHufD.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kMinAlphabetSize = 2;

constexpr std::array<uint8_t, 256> MakeByteReversal()
{
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        int r = 0;
        for (int i = 0; i < 8; ++i) {
            r |= ((b >> i) & 1) << (7 - i);
        }
        table[static_cast<size_t>(b)] = static_cast<uint8_t>(r);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kByteReversal = MakeByteReversal();

// The low length bits of code in reverse order (length 1 to 15).
uint32_t ReverseBits(uint32_t code, int length)
{
    const uint32_t reversed16 = static_cast<uint32_t>(kByteReversal[code & 0xFF]) << 8 | kByteReversal[(code >> 8) & 0xFF];
    return reversed16 >> (16 - length);
}

}  // namespace

TFlDfDecodeHuffmanTree::TFlDfDecodeHuffmanTree(int alphabetSize, TFlDfHuffmanUsage usage, int maxCodeLength)
    : FAlphabetSize(alphabetSize), FUsage(usage), FMaxCodeLength(maxCodeLength)
{
    Assert(alphabetSize >= kMinAlphabetSize, "TFlDfDecodeHuffmanTree.Create: the alphabet needs at least 2 symbols");
    Assert(alphabetSize <= kFlDfMaxAlphabet, "TFlDfDecodeHuffmanTree.Create: the alphabet is larger than 288 symbols");
    Assert(maxCodeLength >= 1 && maxCodeLength <= kFlDfMaxCodeBits,
           "TFlDfDecodeHuffmanTree.Create: the largest code length must be between 1 and 15");
}

void TFlDfDecodeHuffmanTree::Build(const uint8_t* lengths, int start, int count, const uint8_t* extraBits,
                                   int extraOffset)
{
    Assert(count >= 0 && count <= FAlphabetSize, "TFlDfDecodeHuffmanTree.Build: more code lengths than symbols");
    lengths += start;

    // Four partial counts, so that runs of equal lengths do not wait on one counter.
    constexpr int kCountLanes = 4;
    int partialCount[kCountLanes][kFlDfMaxCodeBits + 1] = {};
    uint8_t longestGiven = 0;
    for (int symbol = 0; symbol < count; ++symbol) {
        longestGiven = std::max(longestGiven, lengths[symbol]);
        ++partialCount[symbol % kCountLanes][lengths[symbol] & kFlDfMaxCodeBits];
    }
    if (longestGiven > FMaxCodeLength) {
        throw EAssertionFailed(Format("TFlDfDecodeHuffmanTree.Build: a code length is greater than %d", FMaxCodeLength));
    }
    int lengthCount[kFlDfMaxCodeBits + 1] = {};
    for (int length = 1; length <= kFlDfMaxCodeBits; ++length) {
        lengthCount[length] = partialCount[0][length] + partialCount[1][length] + partialCount[2][length] +
                              partialCount[3][length];
    }
    FLookupBits = 0;
    for (int length = FMaxCodeLength; length > 0; --length) {
        if (lengthCount[length] != 0) {
            FLookupBits = length;
            break;
        }
    }

    // Kraft's sum: codes left over at each length. Below zero the set is over-subscribed and
    // codes would collide; above zero at the end it is incomplete and some indices stay unmapped.
    int32_t left = 1;
    for (int length = 1; length <= FLookupBits; ++length) {
        left = (left << 1) - lengthCount[length];
        FlDfCheck(left >= 0, "over-subscribed set of code lengths [TFlDfDecodeHuffmanTree.Build]");
    }

    // The table is built by doubling: after the codes of length len are placed, the first
    // 2^len entries are complete for every code of that length or shorter; copying them
    // upwards replicates each entry at its stride for the next length. Indices no code
    // reaches keep the unmapped entry that the table starts from. Total work: one write per
    // code and 2^L entries of copying.
    const uint32_t size = 1u << FLookupBits;
    if (size > FCapacity) {
        FTable.reset(new uint32_t[size]);
        FCapacity = size;
    }
    FMask = ~(size - 1);
    uint32_t* const table = FTable.get();
    table[0] = kFlDfUnmappedEntry;

    uint32_t nextCode[kFlDfMaxCodeBits + 1] = {};
    uint32_t code = 0;
    for (int length = 1; length <= FLookupBits; ++length) {
        code = (code + static_cast<uint32_t>(lengthCount[length - 1])) << 1;
        nextCode[length] = code;
    }

    // Symbols in canonical order: by length, then by symbol.
    int firstOfLength[kFlDfMaxCodeBits + 2] = {};
    for (int length = 1; length <= FLookupBits; ++length) {
        firstOfLength[length + 1] = firstOfLength[length] + lengthCount[length];
    }
    int sorted[kFlDfMaxAlphabet];
    int fill[kFlDfMaxCodeBits + 1];
    std::copy(firstOfLength, firstOfLength + kFlDfMaxCodeBits + 1, fill);
    for (int symbol = 0; symbol < count; ++symbol) {
        if (lengths[symbol] != 0) {
            sorted[fill[lengths[symbol]]++] = symbol;
        }
    }

    uint32_t filled = 1;
    for (int length = 1; length <= FLookupBits; ++length) {
        std::memcpy(table + filled, table, filled * sizeof(uint32_t));
        filled <<= 1;
        for (int k = firstOfLength[length]; k < firstOfLength[length + 1]; ++k) {
            const int symbol = sorted[k];
            const uint32_t extra =
                symbol >= extraOffset && extraBits != nullptr ? extraBits[symbol - extraOffset] : 0;
            table[ReverseBits(nextCode[length]++, length)] =
                static_cast<uint32_t>(symbol) | static_cast<uint32_t>(length) << 16 | extra << 24;
        }
    }
}

uint32_t TFlDfDecodeHuffmanTree::Decode(uint32_t index) const
{
    Assert((index & FMask) == 0,
           "TFlDfDecodeHuffmanTree.Decode: trying to decode too many bits, use LookupBitLength property");
    return FTable[index];
}
