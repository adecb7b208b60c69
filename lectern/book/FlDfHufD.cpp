#include "FlDfHufD.h"

#include <algorithm>

namespace {

constexpr int kMinAlphabetSize = 2;

uint32_t ReverseBits(uint32_t code, int length)
{
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) {
        reversed = reversed << 1 | (code & 1);
        code >>= 1;
    }
    return reversed;
}

}  // namespace

TFlDfDecodeHuffmanTree::TFlDfDecodeHuffmanTree(int alphabetSize, TFlDfHuffmanUsage usage, int maxCodeLength)
    : FAlphabetSize(alphabetSize), FUsage(usage), FMaxCodeLength(maxCodeLength)
{
    Assert(alphabetSize >= kMinAlphabetSize, "TFlDfDecodeHuffmanTree.Create: the alphabet needs at least 2 symbols");
    Assert(maxCodeLength >= 1 && maxCodeLength <= kFlDfMaxCodeBits,
           "TFlDfDecodeHuffmanTree.Create: the largest code length must be between 1 and 15");
}

void TFlDfDecodeHuffmanTree::Build(const uint8_t* lengths, int start, int count, const uint8_t* extraBits,
                                   int extraOffset)
{
    Assert(count >= 0 && count <= FAlphabetSize, "TFlDfDecodeHuffmanTree.Build: more code lengths than symbols");
    lengths += start;

    int lengthCount[kFlDfMaxCodeBits + 1] = {};
    for (int symbol = 0; symbol < count; ++symbol) {
        if (lengths[symbol] > FMaxCodeLength) {
            throw EAssertionFailed(
                Format("TFlDfDecodeHuffmanTree.Build: a code length is greater than %d", FMaxCodeLength));
        }
        ++lengthCount[lengths[symbol]];
    }
    lengthCount[0] = 0;
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

    const uint32_t size = 1u << FLookupBits;
    FTable.resize(size);
    if (left != 0) {
        std::fill(FTable.begin(), FTable.end(), kFlDfUnmappedEntry);
    }
    FMask = ~(size - 1);

    uint32_t nextCode[kFlDfMaxCodeBits + 1] = {};
    uint32_t code = 0;
    for (int length = 1; length <= FLookupBits; ++length) {
        code = (code + static_cast<uint32_t>(lengthCount[length - 1])) << 1;
        nextCode[length] = code;
    }

    for (int symbol = 0; symbol < count; ++symbol) {
        const int length = lengths[symbol];
        if (length == 0) {
            continue;
        }
        const uint32_t extra = symbol >= extraOffset && extraBits != nullptr ? extraBits[symbol - extraOffset] : 0;
        const uint32_t entry = static_cast<uint32_t>(symbol) | static_cast<uint32_t>(length) << 16 | extra << 24;
        const uint32_t stride = 1u << length;
        for (uint32_t index = ReverseBits(nextCode[length]++, length); index < size; index += stride) {
            FTable[index] = entry;
        }
    }
}

uint32_t TFlDfDecodeHuffmanTree::Decode(uint32_t index) const
{
    Assert((index & FMask) == 0,
           "TFlDfDecodeHuffmanTree.Decode: trying to decode too many bits, use LookupBitLength property");
    return FTable[index];
}
