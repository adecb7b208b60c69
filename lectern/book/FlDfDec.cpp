// The raw-deflate decoder.
//
// A deflate stream is a sequence of blocks: stored (byte-aligned raw bytes), or Huffman-coded
// with the fixed codes or with codes sent in the block header. Huffman blocks decode into
// literals and (length, distance) copies of earlier output.
//
// How it stays fast:
//  - every code of up to kFlDfRootBits bits is decoded with one lookup in a root table that
//    stays in the first-level cache (TFlDfDecodeHuffmanTree), longer codes with a second one
//    in a subtable the root entry links to; the entry also gives the count of extra bits, and the extra bits
//    come from the same 32-bit peek, so a literal costs one peek, one lookup and one discard;
//  - while the input buffer holds at least kFlDfCursorMarginBytes unread bytes and the window
//    is below its write point, the loop runs on a cursor: the bit buffer, its count and both
//    buffer pointers live in registers, a peek combines the bit buffer with the word after it
//    held in a register, and the load of the next word does not wait for the symbol. Near the
//    end of the input or of the window the same loop runs on the bit reader and window
//    objects, which refill, pad and slide; the code-length symbols of a dynamic block header
//    are read the same way;
//  - copies are done in 8- or 16-byte steps inside the window's buffer (FlDfCopyMatch).
//
// The cursor holds the bit buffer (FBitCount bits, 0 to 31) and the word after it, at FIn,
// in two registers; the bits of the bit buffer above FBitCount are zero or the same as the
// word's bits at that place, so the OR of the two is right either way. A discard that uses up
// the bit buffer makes the word at FIn the bit buffer and the word at FIn + 4 the one after
// it. A symbol consumes at most two words, so the loop runs only while FIn + 12 bytes lie
// inside the bytes really read: the cursor never reads the zero bytes that pad the end of
// the data, and consuming those can only happen through the bit reader, which refuses it
// ("no more compressed data ..."). Over-reading is thus confined to the peeked word, which
// always lies inside the byte buffer.
//
// Corrupt data never reads or writes outside the buffers: every lookup index is masked to
// its table, symbols are range-checked, copy distances are checked against the bytes the
// window holds, code-length repeats against the count of lengths. Every such test raises
// EFlInternalInflateError: through FlDfCheck, or, in the decoding loops, through Fail and
// RunCursors once the loop has handed its state back. Inflate reports it as EFlInflateError
// with the cause.
#include "FlDfDec.h"

#include "FlDfCryS.h"
#include "FlDfHufD.h"
#include "FlDfOutW.h"
#include "FlDfStrm.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr int kLiteralAlphabet = 286;
constexpr int kFixedLiteralAlphabet = 288;
constexpr int kDistanceAlphabet = 30;
constexpr int kDistanceAlphabet64 = 32;
constexpr int kCodeLengthAlphabet = 19;
constexpr int kMaxCodeLengthBits = 7;
constexpr int kEndOfBlock = 256;
constexpr int kFirstLengthSymbol = 257;
constexpr int kLastLengthSymbol = 285;
constexpr int kMaxLengthCodes = kLiteralAlphabet + kDistanceAlphabet64;   // HLIT + HDIST <= 318
constexpr int kFixedDistanceBits = 5;
constexpr int32_t kStoredPieceBytes = 16384;
// Bits peeked beyond the longest code: the largest count of extra bits of each alphabet.
constexpr int kLengthExtraPeek = 5;
constexpr int kLengthExtraPeek64 = 16;
constexpr int kDistanceExtraPeek = 14;
constexpr int kCodeLengthExtraPeek = 7;
constexpr int kRepeatSymbol = 16;
constexpr int kFirstCodeLengthExtra = 16;   // symbols 16, 17, 18 carry extra bits

// Lengths of symbols 257-285 and distances of symbols 0-31. Symbol 285 is written with its
// deflate64 meaning (base 3, 16 extra bits); plain deflate reads it as 258 with no extra bits.
constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
// Extra bits of symbols 257-287; the fixed code also gives 286 and 287 a code, which the
// decoder refuses.
constexpr std::array<uint8_t, 31> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16, 0, 0};
constexpr std::array<uint32_t, 32> kDistanceBase = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::array<uint8_t, 32> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr std::array<uint8_t, 3> kCodeLengthExtra = {2, 3, 7};
constexpr std::array<uint8_t, kCodeLengthAlphabet> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr int kPlainLongestLength = 258;

// Each base is the previous base plus the values its extra bits add.
constexpr bool BasesFollowExtraBits()
{
    for (size_t i = 1; i + 1 < kLengthBase.size() - 1; ++i) {
        if (kLengthBase[i] != kLengthBase[i - 1] + (1u << kLengthExtra[i - 1])) {
            return false;
        }
    }
    for (size_t i = 1; i < kDistanceBase.size(); ++i) {
        if (kDistanceBase[i] != kDistanceBase[i - 1] + (1u << kDistanceExtra[i - 1])) {
            return false;
        }
    }
    return kDistanceBase.back() + (1u << kDistanceExtra.back()) - 1 == 65536;
}
static_assert(BasesFollowExtraBits(), "length and distance tables agree with their extra bits");

const char* const kInvalidLength = "decoded an invalid length symbol: greater than 285 [DecodeData]";
const char* const kInvalidDistance = "decoded an invalid distance symbol: greater than 29 [DecodeData]";
const char* const kUnmappedDistance = "decoded an invalid distance code [DecodeData]";
const char* const kDistanceTooFar = "copy distance reaches before the start of the output [DecodeData]";

struct TFixedTrees {
    TFixedTrees()
        : FLiteral(kFixedLiteralAlphabet, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits),
          FDistance(kDistanceAlphabet64, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits)
    {
        std::array<uint8_t, kFixedLiteralAlphabet> lengths{};
        std::fill(lengths.begin(), lengths.begin() + 144, 8);
        std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
        std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
        std::fill(lengths.begin() + 280, lengths.end(), 8);
        FLiteral.Build(lengths.data(), 0, kFixedLiteralAlphabet, kLengthExtra.data(), kFirstLengthSymbol);
        std::array<uint8_t, kDistanceAlphabet64> distances{};
        distances.fill(kFixedDistanceBits);
        FDistance.Build(distances.data(), 0, kDistanceAlphabet64, kDistanceExtra.data(), 0);
    }

    TFlDfDecodeHuffmanTree FLiteral;
    TFlDfDecodeHuffmanTree FDistance;
};

// Built once, on first use (thread-safe), and only read afterwards.
const TFixedTrees& FixedTrees()
{
    static const TFixedTrees trees;
    return trees;
}

// The cursor's bits: the bit buffer and the word after it, in two registers. The bits of FBitBuf above FBitCount are zero or equal to the low bits of
// FNextWord at that place, so combining the two with OR gives the same bits either way.
struct TFastBits {
    explicit TFastBits(const TFlDfBitCursor& bits)
        : FIn(bits.FNext), FBitBuf(bits.FBitBuf), FNextWord(FlDfLoadWord(bits.FNext)), FBitCount(bits.FBitCount)
    {
    }

    uint32_t Peek()
    {
        FLook = FBitBuf | FNextWord << FBitCount;
        return FLook;
    }

    // Consumes n bits (1 to 31) of the last peek. When they reach into the word after the bit
    // buffer, that word becomes the bit buffer and the following one takes its place; that
    // load does not wait for the symbol being decoded, so it stays off the critical path.
    void Discard(uint32_t n)
    {
        const uint32_t following = FlDfLoadWord(FIn + kFlDfWordBytes);
        if (n <= FBitCount) {
            FBitBuf = FLook >> n;
            FBitCount -= n;
        } else {
            const uint32_t over = n - FBitCount;
            FBitBuf = FNextWord >> over;
            FBitCount = kFlDfWordBits - over;
            FNextWord = following;
            FIn += kFlDfWordBytes;
        }
    }

    uint32_t BitBuf() const { return FBitBuf; }

    const uint8_t* FIn;   // the word held in FNextWord
    uint32_t FBitBuf;
    uint32_t FNextWord;
    uint32_t FBitCount;   // 0 to 31
    uint32_t FLook = 0;
};

// The decoding loop on registers: see the overview above.
struct TFastCursor {
    TFastCursor(const TFlDfBitCursor& bits, const TFlDfOutCursor& out)
        : FBits(bits), FInLimit(bits.FLimit), FBase(out.FBase), FOut(out.FNext), FOutLimit(out.FLimit)
    {
    }

    bool Room() const { return FBits.FIn <= FInLimit && FOut < FOutLimit; }
    uint32_t Peek(int) { return FBits.Peek(); }
    void Discard(uint32_t n) { FBits.Discard(n); }
    void Literal(uint32_t value) { *FOut++ = static_cast<uint8_t>(value); }

    bool Copy(uint32_t length, uint32_t distance)
    {
        if (distance > static_cast<uint32_t>(FOut - FBase)) [[unlikely]] {
            return Fail(kDistanceTooFar);
        }
        FlDfCopyMatch(FOut, length, distance);
        FOut += length;
        return true;
    }

    // Notes the cause of corrupt data; the caller raises it after handing the state back.
    bool Fail(const char* cause)
    {
        FError = cause;
        return false;
    }

    TFlDfBitCursor Bits(const TFlDfBitCursor& opened) const
    {
        return TFlDfBitCursor{FBits.FIn, opened.FLimit, FBits.BitBuf(), FBits.FBitCount, opened.FUsable};
    }
    TFlDfOutCursor Out() const { return TFlDfOutCursor{FBase, FOut, FOutLimit}; }

    TFastBits FBits;
    const uint8_t* FInLimit;
    uint8_t* FBase;
    uint8_t* FOut;
    uint8_t* FOutLimit;
    const char* FError = nullptr;
};

// The same loop on the bit reader and window objects, one symbol at a time.
struct TSlowCursor {
    bool Room() { return std::exchange(FFirst, false); }
    uint32_t Peek(int n) { return FBits.PeekBits(n); }
    void Discard(uint32_t n) { FBits.DiscardBits(static_cast<int>(n)); }
    void Literal(uint32_t value) { FWindow.AddLiteral(static_cast<uint8_t>(value)); }
    bool Copy(uint32_t length, uint32_t distance)
    {
        FWindow.AddCopy(length, distance);
        return true;
    }
    bool Fail(const char* cause)
    {
        FError = cause;
        return false;
    }

    TFlDfInBitStream& FBits;
    TFlDfOutputWindow& FWindow;
    bool FFirst = true;
    const char* FError = nullptr;
};

// Mask of an entry's extra bits: at most 16 for every symbol that gets past its range check.
inline uint32_t ExtraMask(uint32_t extraBits)
{
    return (1u << extraBits) - 1;
}

struct TBlockCodes {
    const TFlDfDecodeHuffmanTree& FLiteral;
    const TFlDfDecodeHuffmanTree& FDistance;
    bool FDeflate64;
};

// Decodes symbols while the cursor has room; true at the end of the block.
template <bool kDeflate64, class TCursor>
bool DecodeSymbols(TCursor& c, const TBlockCodes& codes)
{
    const uint32_t* const literalTable = codes.FLiteral.Table();
    const uint32_t literalMask = codes.FLiteral.RootMask();
    const uint32_t literalRoot = codes.FLiteral.RootBits();
    const int literalPeek = std::min(
        kFlDfWordBits, codes.FLiteral.LookupBitLength() + (kDeflate64 ? kLengthExtraPeek64 : kLengthExtraPeek));
    const uint32_t* const distanceTable = codes.FDistance.Table();
    const uint32_t distanceMask = codes.FDistance.RootMask();
    const uint32_t distanceRoot = codes.FDistance.RootBits();
    const int distancePeek = codes.FDistance.LookupBitLength() + kDistanceExtraPeek;
    constexpr uint32_t kDistanceLimit = kDeflate64 ? kDistanceAlphabet64 : kDistanceAlphabet;

    while (c.Room()) {
        uint32_t look = c.Peek(literalPeek);
        uint32_t entry = literalTable[look & literalMask];
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(literalTable, entry, look, literalRoot);
        }
        uint32_t symbol = FlDfEntrySymbol(entry);
        uint32_t codeBits = FlDfEntryCodeBits(entry);
        if (symbol < kEndOfBlock) {
            c.Discard(codeBits);
            c.Literal(symbol);
            continue;
        }
        if (symbol == kEndOfBlock) {
            c.Discard(codeBits);
            return true;
        }
        if (symbol > kLastLengthSymbol) [[unlikely]] {
            return c.Fail(kInvalidLength);
        }
        uint32_t length;
        if (!kDeflate64 && symbol == kLastLengthSymbol) {
            length = kPlainLongestLength;
            c.Discard(codeBits);
        } else {
            const uint32_t extraBits = FlDfEntryExtraBits(entry);
            length = kLengthBase[symbol - kFirstLengthSymbol] + ((look >> codeBits) & ExtraMask(extraBits));
            c.Discard(codeBits + extraBits);
        }

        look = c.Peek(distancePeek);
        entry = distanceTable[look & distanceMask];
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(distanceTable, entry, look, distanceRoot);
        }
        symbol = FlDfEntrySymbol(entry);
        if (symbol >= kDistanceLimit) [[unlikely]] {
            return c.Fail(kDeflate64 ? kUnmappedDistance : kInvalidDistance);
        }
        codeBits = FlDfEntryCodeBits(entry);
        const uint32_t extraBits = FlDfEntryExtraBits(entry);
        const uint32_t distance = kDistanceBase[symbol] + ((look >> codeBits) & ExtraMask(extraBits));
        c.Discard(codeBits + extraBits);
        if (!c.Copy(length, distance)) [[unlikely]] {
            return false;
        }
    }
    return false;
}

// Runs step on the register cursor while the input holds enough bytes, else on the objects,
// until step answers true. step(cursor) works while cursor.Room() and answers whether it is
// done; on corrupt data it answers false after cursor.Fail(cause).
template <class TStep>
void RunCursors(TFlDfInBitStream& bits, TFlDfOutputWindow& window, TStep&& step)
{
    for (;;) {
        const TFlDfBitCursor bitCursor = bits.OpenCursor();
        const TFlDfOutCursor outCursor = window.OpenCursor();
        bool done;
        if (bitCursor.FUsable && outCursor.FNext < outCursor.FLimit) {
            // Nothing on the register cursor raises, so its state stays in registers; on
            // corrupt data what was decoded is handed back first, to reach the destination.
            TFastCursor fast(bitCursor, outCursor);
            done = step(fast);
            bits.CloseCursor(fast.Bits(bitCursor));
            window.CloseCursor(fast.Out());
            if (fast.FError != nullptr) {
                FlDfRaiseCorrupt(fast.FError);
            }
            window.CheckLimits();
        } else {
            TSlowCursor slow{bits, window};
            done = step(slow);
            if (slow.FError != nullptr) {
                FlDfRaiseCorrupt(slow.FError);
            }
        }
        if (done) {
            return;
        }
    }
}

void DecodeData(TFlDfInBitStream& bits, TFlDfOutputWindow& window, const TBlockCodes& codes)
{
    if (codes.FDeflate64) {
        RunCursors(bits, window, [&](auto& cursor) { return DecodeSymbols<true>(cursor, codes); });
    } else {
        RunCursors(bits, window, [&](auto& cursor) { return DecodeSymbols<false>(cursor, codes); });
    }
}

void InflateStoredBlock(TFlDfInBitStream& bits, TFlDfOutputWindow& window)
{
    bits.AlignToByte();
    uint8_t header[4];
    bits.ReadBuffer(header, sizeof header);
    const uint32_t len = header[0] | static_cast<uint32_t>(header[1]) << 8;
    const uint32_t nlen = header[2] | static_cast<uint32_t>(header[3]) << 8;
    FlDfCheck(len == (~nlen & 0xFFFF),
              "invalid stored block (length and NOT length do not match) [InflateStoredBlock]");
    const TFlDfBuffer piece = FlDfTakeBuffer(kStoredPieceBytes);
    auto left = static_cast<int32_t>(len);
    while (left > 0) {
        const int32_t n = std::min(left, kStoredPieceBytes);
        bits.ReadBuffer(piece.get(), n);
        window.AddBuffer(piece.get(), n);
        left -= n;
    }
}

// Reads code-length symbols into lengths[next...] while the cursor has room; true when all
// total lengths are read.
template <class TCursor>
bool ReadCodeLengthSymbols(TCursor& c, const TFlDfDecodeHuffmanTree& tree, uint8_t* lengths, int total, int& next)
{
    const int peek = tree.LookupBitLength() + kCodeLengthExtraPeek;
    const uint32_t* const table = tree.Table();
    const uint32_t mask = tree.RootMask();
    const uint32_t root = tree.RootBits();
    const auto longest = static_cast<uint32_t>(tree.LookupBitLength());
    int i = next;
    while (i < total && c.Room()) {
        const uint32_t look = c.Peek(peek);
        uint32_t entry = table[look & mask];
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(table, entry, look, root);
        }
        const uint32_t symbol = FlDfEntrySymbol(entry);
        if (symbol > 18) [[unlikely]] {
            return c.Fail("decoded a symbol not between 0 and 18 {ReadLitDistCodeLengths}");
        }
        const uint32_t codeBits = FlDfEntryCodeBits(entry);
        if (codeBits == 0 || codeBits > longest) [[unlikely]] {
            return c.Fail("decoded a code length out of range {ReadLitDistCodeLengths}");
        }
        const uint32_t extraBits = FlDfEntryExtraBits(entry);
        const uint32_t extra = (look >> codeBits) & ExtraMask(extraBits);
        c.Discard(codeBits + extraBits);
        if (symbol < kRepeatSymbol) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        static constexpr int kRepeatBase[3] = {3, 3, 11};
        const int repeat = kRepeatBase[symbol - kRepeatSymbol] + static_cast<int>(extra);
        if (repeat > total - i) [[unlikely]] {
            return c.Fail("code length repeat runs past the count of literal and distance codes {ReadLitDistCodeLengths}");
        }
        if (symbol == kRepeatSymbol) {
            if (i == 0) [[unlikely]] {
                return c.Fail("code length repeat with no previous length {ReadLitDistCodeLengths}");
            }
            std::fill(lengths + i, lengths + i + repeat, lengths[i - 1]);
        }
        i += repeat;   // 17 and 18 leave zeros: the array starts zeroed
    }
    next = i;
    return i >= total;
}

void ReadLitDistCodeLengths(TFlDfInBitStream& bits, TFlDfOutputWindow& window, const TFlDfDecodeHuffmanTree& tree,
                            uint8_t* lengths, int total)
{
    int next = 0;
    RunCursors(bits, window, [&](auto& cursor) { return ReadCodeLengthSymbols(cursor, tree, lengths, total, next); });
}

// The trees of dynamic blocks, made at a decode's first dynamic block and rebuilt for each.
struct TDynamicTrees {
    explicit TDynamicTrees(bool deflate64)
        : FCodeLength(kCodeLengthAlphabet, TFlDfHuffmanUsage::Decoding, kMaxCodeLengthBits),
          FLiteral(kLiteralAlphabet, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits),
          FDistance(deflate64 ? kDistanceAlphabet64 : kDistanceAlphabet, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits)
    {
    }

    TFlDfDecodeHuffmanTree FCodeLength;
    TFlDfDecodeHuffmanTree FLiteral;
    TFlDfDecodeHuffmanTree FDistance;
};

void InflateDynamicBlock(TFlDfInBitStream& bits, TFlDfOutputWindow& window, bool deflate64,
                         std::unique_ptr<TDynamicTrees>& trees)
{
    const int hlit = static_cast<int>(bits.ReadBits(5)) + kFirstLengthSymbol;
    const int hdist = static_cast<int>(bits.ReadBits(5)) + 1;
    const int hclen = static_cast<int>(bits.ReadBits(4)) + 4;
    FlDfCheck(hlit <= kLiteralAlphabet,
              "count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]");
    FlDfCheck(deflate64 || hdist <= kDistanceAlphabet,
              "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]");

    std::array<uint8_t, kCodeLengthAlphabet> codeLengthLengths{};
    for (int i = 0; i < hclen; ++i) {
        codeLengthLengths[kCodeLengthOrder[static_cast<size_t>(i)]] = static_cast<uint8_t>(bits.ReadBits(3));
    }
    if (!trees) {
        trees = std::make_unique<TDynamicTrees>(deflate64);
    }
    trees->FCodeLength.Build(codeLengthLengths.data(), 0, kCodeLengthAlphabet, kCodeLengthExtra.data(),
                          kFirstCodeLengthExtra);

    std::array<uint8_t, kMaxLengthCodes> lengths{};
    ReadLitDistCodeLengths(bits, window, trees->FCodeLength, lengths.data(), hlit + hdist);

    trees->FLiteral.Build(lengths.data(), 0, hlit, kLengthExtra.data(), kFirstLengthSymbol);
    trees->FDistance.Build(lengths.data(), hlit, hdist, kDistanceExtra.data(), 0);
    DecodeData(bits, window, TBlockCodes{trees->FLiteral, trees->FDistance, deflate64});
}

void InflateBlocks(TFlDfInBitStream& bits, TFlDfOutputWindow& window, bool deflate64)
{
    const TFixedTrees& fixed = FixedTrees();
    std::unique_ptr<TDynamicTrees> dynamic;
    bool final;
    do {
        final = bits.ReadBit() != 0;
        switch (bits.ReadBits(2)) {
        case 0: InflateStoredBlock(bits, window); break;
        case 1: DecodeData(bits, window, TBlockCodes{fixed.FLiteral, fixed.FDistance, deflate64}); break;
        case 2: InflateDynamicBlock(bits, window, deflate64, dynamic); break;
        default: FlDfRaiseCorrupt("starting new block, but invalid block type [Inflate]");
        }
    } while (!final);
}

// Writes what the window holds during an exception that is already on its way; a second
// failure must not replace the first.
void FlushQuietly(TFlDfOutputWindow& window)
{
    try {
        window.Flush();
    } catch (...) {
    }
}

}  // namespace

void FlDfInitFixedTrees()
{
    FixedTrees();
}

uint32_t Inflate(TStream* source, TStream* dest, TFlDeflateHelper* options)
{
    Assert(source != nullptr, "Deflate: aSource stream cannot be nil");
    Assert(dest != nullptr, "Deflate: aDest stream cannot be nil");
    FlDfInitFixedTrees();

    TFlDeflateHelper helper;
    if (options != nullptr) {
        helper.Assign(*options);
    }
    const int64_t sourceStart = source->Position();
    const int64_t destStart = dest->Position();

    int32_t streamSize = 0;
    if (helper.FOnProgress.Assigned()) {
        streamSize = helper.FStreamSize == -1 ? static_cast<int32_t>(source->Size()) : helper.FStreamSize;
    }

    std::unique_ptr<TFlLogger> log;
    if (!helper.FLogFile.empty()) {
        log = std::make_unique<TFlLogger>(helper.FLogFile);
        log->WriteLine("INFLATING STREAM...");
        log->WriteLine("Need to recompile the app with UseLogging turned on");
    }

    std::unique_ptr<TFlDfDecryptStream> decrypt;
    TStream* input = source;
    if (!helper.FPassphrase.empty()) {
        decrypt = std::make_unique<TFlDfDecryptStream>(source, helper.FPassphrase);
        if (!decrypt->VerifyHeader(helper.FCheckValue)) {
            throw EFlInflatePasswordError("Inflate: stream is encrypted but passphrase is wrong");
        }
        input = decrypt.get();
    }

    const bool deflate64 = (helper.FOptions & kFlDfOptionDeflate64) != 0;
    const bool testOnly = (helper.FOptions & kFlDfOptionTestOnly) != 0;
    const auto checksumKind =
        (helper.FOptions & kFlDfOptionAdler32) != 0 ? TFlDfChecksumKind::Adler32 : TFlDfChecksumKind::Crc32;

    TFlDfInBitStream bits(input, helper.FOnProgress, streamSize);
    TFlDfOutputWindow window(dest, log.get(), testOnly, helper.FPartSize, checksumKind, deflate64);
    uint32_t result = 0;
    try {
        InflateBlocks(bits, window, deflate64);
        result = window.Checksum();
    } catch (const EFlInternalInflateError& e) {
        FlushQuietly(window);
        if (log) {
            log->WriteLine(Format("Internal exception raised: %s", e.Message().c_str()));
        }
        throw EFlInflateError("Inflate error, possibly a corrupted compressed stream. (Internal cause: " +
                              e.Message() + ")");
    } catch (const EFlPartSizedInflate&) {
        window.Flush();
    } catch (const EFlAbortProgress&) {
        window.Flush();
    } catch (...) {
        FlushQuietly(window);
        throw;
    }
    bits.Release();

    if (options != nullptr) {
        options->FDecodedSize = static_cast<int32_t>(testOnly ? window.Position() : dest->Position() - destStart);
        options->FCompressedSize = static_cast<int32_t>(source->Position() - sourceStart);
    }
    return result;
}

uint32_t InflateDefault(TStream* source, TStream* dest)
{
    return Inflate(source, dest, nullptr);
}

// ---- TFlLogger ---------------------------------------------------------------------------

namespace {

constexpr size_t kLogBufferBytes = 4096;

}  // namespace

TFlLogger::TFlLogger(const std::string& fileName)
{
    Assert(!fileName.empty(), "TFlLogger.Create: a filename must be provided for the logger");
    FFile = std::make_unique<TFileStream>(fileName, fmCreate);
}

TFlLogger::~TFlLogger()
{
    try {
        Flush();
    } catch (...) {
        // A log that cannot be written loses its last lines; nothing may escape here.
    }
}

int32_t TFlLogger::Read(void*, int32_t)
{
    Assert(false, "TFlLogger.Read: loggers are write-only, no reading allowed");
    return 0;
}

int32_t TFlLogger::Write(const void* buffer, int32_t count)
{
    if (count <= 0) {
        return 0;
    }
    FPending.append(static_cast<const char*>(buffer), static_cast<size_t>(count));
    FPosition += count;
    if (FPending.size() >= kLogBufferBytes) {
        Flush();
    }
    return count;
}

int64_t TFlLogger::Seek(int64_t offset, SeekOrigin origin)
{
    Assert(offset == 0 && origin == SeekOrigin::Current, "TFlLogger.Seek: loggers are write-only, no seeking allowed");
    return FPosition;
}

void TFlLogger::WriteLine(const std::string& text)
{
    const std::string line = text + "\r\n";
    WriteBuffer(line.data(), static_cast<int64_t>(line.size()));
}

void TFlLogger::Flush()
{
    if (!FPending.empty()) {
        const std::string pending = std::move(FPending);
        FPending.clear();
        FFile->WriteBuffer(pending.data(), static_cast<int64_t>(pending.size()));
    }
}
