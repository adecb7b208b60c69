#include "FlDfHufD.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kMinAlphabetSize = 2;
// The root's doubling copies runs of 1 to 512 entries: the runtime's memcpy for the long ones
// (as fast as a loop under Wine, faster in the host build), a loop for the short ones, where a
// call costs more than the copying (measured: about 3% of a 1 KB entry's decode under Wine).
constexpr uint32_t kDoublingCallEntries = 256;

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

TFlDfDecodeHuffmanTree::TFlDfDecodeHuffmanTree(int alphabetSize, TFlDfHuffmanUsage usage, int maxCodeLength,
                                               int rootBits)
    : FAlphabetSize(alphabetSize), FUsage(usage), FMaxCodeLength(maxCodeLength), FRootBits(static_cast<uint32_t>(rootBits))
{
    Assert(alphabetSize >= kMinAlphabetSize, "TFlDfDecodeHuffmanTree.Create: the alphabet needs at least 2 symbols");
    Assert(alphabetSize <= kFlDfMaxAlphabet, "TFlDfDecodeHuffmanTree.Create: the alphabet is larger than 288 symbols");
    Assert(maxCodeLength >= 1 && maxCodeLength <= kFlDfMaxCodeBits,
           "TFlDfDecodeHuffmanTree.Create: the largest code length must be between 1 and 15");
    Assert(rootBits >= 1 && rootBits <= kFlDfMaxCodeBits,
           "TFlDfDecodeHuffmanTree.Create: the root bits must be between 1 and 15");
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
    int counted = 0;
    for (; counted + kCountLanes <= count; counted += kCountLanes) {
        for (int lane = 0; lane < kCountLanes; ++lane) {
            const uint8_t length = lengths[counted + lane];
            longestGiven = std::max(longestGiven, length);
            ++partialCount[lane][length & kFlDfMaxCodeBits];
        }
    }
    for (; counted < count; ++counted) {
        longestGiven = std::max(longestGiven, lengths[counted]);
        ++partialCount[0][lengths[counted] & kFlDfMaxCodeBits];
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

    uint32_t nextCode[kFlDfMaxCodeBits + 1] = {};
    uint32_t code = 0;
    for (int length = 1; length <= FLookupBits; ++length) {
        code = (code + static_cast<uint32_t>(lengthCount[length - 1])) << 1;
        nextCode[length] = code;
    }

    // Symbols in canonical order: by length, then by symbol.
    int firstOfLength[kFlDfMaxCodeBits + 2] = {};
    for (int length = 1; length <= kFlDfMaxCodeBits; ++length) {
        firstOfLength[length + 1] = firstOfLength[length] + lengthCount[length];
    }
    // Symbols, codes and group ends fit 16 bits; kept small, the frame stays below a page and
    // needs no stack probe on Windows.
    uint16_t sorted[kFlDfMaxAlphabet];
    int fill[kFlDfMaxCodeBits + 1];
    std::copy(firstOfLength, firstOfLength + kFlDfMaxCodeBits + 1, fill);
    for (int symbol = 0; symbol < count; ++symbol) {
        if (lengths[symbol] != 0) {
            sorted[fill[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
        }
    }
    const auto entryOf = [&](int symbol, int length) {
        const uint32_t extra = symbol >= extraOffset && extraBits != nullptr ? extraBits[symbol - extraOffset] : 0;
        return static_cast<uint32_t>(symbol) | static_cast<uint32_t>(length) << 16 | extra << 24;
    };

    // The codes longer than the root, in canonical order, fall into groups that share their
    // first rootBits bits (their codes increase, so each group is one run). A group's subtable
    // has as many index bits as its last, longest code has beyond the root.
    const int rootBits = static_cast<int>(FRootBits);
    const int firstLong = firstOfLength[rootBits + 1];
    const int codes = firstOfLength[FLookupBits + 1];
    uint16_t longCode[kFlDfMaxAlphabet];   // the canonical code of each long code
    uint16_t groupEnd[kFlDfMaxAlphabet];   // at a group's first code: one past its last
    const uint32_t rootSize = 1u << rootBits;
    uint32_t size = rootSize;
    {
        uint32_t nextLong[kFlDfMaxCodeBits + 1];
        std::copy(nextCode, nextCode + kFlDfMaxCodeBits + 1, nextLong);
        for (int k = firstLong; k < codes; ++k) {
            longCode[k] = static_cast<uint16_t>(nextLong[lengths[sorted[k]]]++);
        }
        for (int k = firstLong; k < codes;) {
            const auto prefixOf = [&](int i) { return longCode[i] >> (lengths[sorted[i]] - rootBits); };
            int end = k + 1;
            while (end < codes && prefixOf(end) == prefixOf(k)) {
                ++end;
            }
            groupEnd[k] = static_cast<uint16_t>(end);
            size += 1u << (lengths[sorted[end - 1]] - rootBits);
            k = end;
        }
    }
    if (FTable == nullptr) {
        FCapacity = FlDfMaxTableEntries(FAlphabetSize, FMaxCodeLength, rootBits);
        FTableBuffer = FlDfTakeBuffer(FCapacity * sizeof(uint32_t));
        FTable = reinterpret_cast<uint32_t*>(FTableBuffer.get());
    }
    Assert(size <= FCapacity, "TFlDfDecodeHuffmanTree.Build: the table outgrows its buffer");
    FMask = ~((1u << FLookupBits) - 1);
    uint32_t* const table = FTable;

    // The root is built by doubling: after the codes of length len are placed, the first
    // 2^len entries are complete for every code of that length or shorter; copying them
    // upwards replicates each entry at its stride for the next length. Indices no code
    // reaches keep the unmapped entry that the table starts from. Total work: one write per
    // code and 2^R entries of copying.
    table[0] = kFlDfUnmappedEntry;
    uint32_t filled = 1;
    for (int length = 1; length <= rootBits; ++length) {
        if (filled >= kDoublingCallEntries) {
            std::memcpy(table + filled, table, filled * sizeof(uint32_t));
        } else {
            for (uint32_t i = 0; i < filled; ++i) {
                table[filled + i] = table[i];
            }
        }
        filled <<= 1;
        for (int k = firstOfLength[length]; k < firstOfLength[length + 1]; ++k) {
            table[ReverseBits(nextCode[length]++, length)] = entryOf(sorted[k], length);
        }
    }

    // Each group's subtable: the bits of a code after the root's, reversed, select its first
    // entry; it repeats at the stride of its own length.
    uint32_t offset = rootSize;
    for (int k = firstLong; k < codes;) {
        const int end = groupEnd[k];
        const int subBits = lengths[sorted[end - 1]] - rootBits;
        const uint32_t subSize = 1u << subBits;
        uint32_t* const sub = table + offset;
        std::fill(sub, sub + subSize, kFlDfUnmappedEntry);
        for (int i = k; i < end; ++i) {
            const int length = lengths[sorted[i]];
            const uint32_t reversed = ReverseBits(longCode[i], length);
            const uint32_t stride = 1u << (length - rootBits);
            const uint32_t entry = entryOf(sorted[i], length);
            for (uint32_t j = reversed >> rootBits; j < subSize; j += stride) {
                sub[j] = entry;
            }
        }
        table[ReverseBits(longCode[k] >> (lengths[sorted[k]] - rootBits), rootBits)] =
            offset | kFlDfLinkFlag | static_cast<uint32_t>(subBits) << 24;
        offset += subSize;
        k = end;
    }
}

uint32_t TFlDfDecodeHuffmanTree::Decode(uint32_t index) const
{
    Assert((index & FMask) == 0,
           "TFlDfDecodeHuffmanTree.Decode: trying to decode too many bits, use LookupBitLength property");
    const uint32_t entry = FTable[index & RootMask()];
    return FlDfIsLink(entry) ? FlDfFollowLink(FTable, entry, index, FRootBits) : entry;
}
