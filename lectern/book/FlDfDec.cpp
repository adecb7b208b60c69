// The raw-deflate decoder.
//
// A deflate stream is a sequence of blocks: stored (byte-aligned raw bytes), or Huffman-coded
// with the fixed codes or with codes sent in the block header. Huffman blocks decode into
// literals and (length, distance) copies of earlier output.
//
// How it stays fast:
//  - every code that fits the root of its table (10 bits for literals and lengths, 8 for
//    distances, all code-length codes) is decoded with one lookup in a table that stays in
//    the first-level cache (TFlDfDecodeHuffmanTree), longer codes with a second one in a
//    subtable the root entry links to; the roots have fixed sizes, so the loops index them
//    with constant masks. The entry also gives the count of extra bits, which come from the
//    same peek where the bits held are sure to cover them;
//  - while the input buffer holds at least kFlDfCursorMarginBytes unread bytes and the window
//    is below its write point, the loop runs on a cursor in a function of its own, so that
//    the bit buffer, its count and the input pointer stay in registers even in the 32-bit
//    build. Near the end of the input or of the window the same loop runs on the bit reader
//    and window objects, which refill, pad and slide; the code-length symbols of a dynamic
//    block header are read the same way. Plain deflate's data, nearly all of the time spent,
//    has a loop of its own (RunFastPlain) written for the 32-bit build's seven registers: it
//    keeps in locals only what every symbol touches and reads the limits, the window's start
//    and the distance table where they lie. (The same steps through the cursor objects made
//    the compiler keep the bit buffer and its count in memory: about 15% slower under Wine.)
//    Deflate64 and the code lengths run through RunFast with the shared DecodeSymbols;
//  - literals whose codes lie within the bits left after another literal are decoded without
//    a refill (up to kLiteralsWithoutRefill of them), so runs of literals (pictures, binary
//    data) take one refill per two or three;
//  - copies are done in 8- or 16-byte steps inside the window's buffer (FlDfCopyMatch), with
//    no call out of the loop.
//
// The cursor's bit buffer holds FBitCount bits (0 to 31) in its low end; the bits above them
// are zero or the stream's next bits. A refill ORs the word at FIn in above the bits held,
// consumes the bytes that landed whole and sets the count to 24 to 31; a byte that landed in
// part is loaded again by the next refill, whose OR puts the same bits in the same places. A
// symbol refills at most kFlDfRefillsPerSymbol times, so the loop runs only while FIn plus
// the margin lies inside the bytes really read: the cursor never reads the zero bytes that
// pad the end of the data, and consuming those can only happen through the bit reader, which
// refuses it ("no more compressed data ..."). Over-reading is thus confined to the word of a
// refill, which always lies inside the byte buffer.
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
// Bits peeked beyond the longest code, where a code and its extra bits come from one peek:
// the largest count of extra bits of plain deflate's lengths and of the code-length symbols.
// Distances (up to 14 extra bits) and deflate64 lengths (16) take their extra bits apart.
constexpr int kLengthExtraPeek = 5;
constexpr int kCodeLengthExtraPeek = 7;
constexpr int kRepeatSymbol = 16;
constexpr int kFirstCodeLengthExtra = 16;   // symbols 16, 17, 18 carry extra bits
// Root bits of the decode tables, constants of the decoding loops: the literal/length root
// holds every code of up to 10 bits (4 KB), the distance root every code of up to 8 bits
// (1 KB), the code-length root every code.
constexpr int kLiteralRootBits = kFlDfRootBits;
constexpr int kDistanceRootBits = 8;

// Literals decoded after a literal from the bits it left, before the next refill: three
// codes of up to 8 bits fit the 24 bits of a refill. (Each writes one byte past the window's
// limit at most, well inside the room kept for a longest match.)
constexpr int kLiteralsWithoutRefill = 2;

// The decoding loops start on a boundary of the processor's instruction fetch, so that their
// speed does not depend on where the linker happens to place them.
constexpr int kHotCodeAlignBytes = 64;

constexpr uint32_t RootMask(int rootBits)
{
    return (1u << rootBits) - 1;
}

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
        : FLiteral(kFixedLiteralAlphabet, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits, kLiteralRootBits),
          FDistance(kDistanceAlphabet64, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits, kDistanceRootBits)
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

// Mask of an entry's extra bits: at most 16 for every symbol that gets past its range check.
inline uint32_t ExtraMask(uint32_t extraBits)
{
    return (1u << extraBits) - 1;
}

// The decoding loop on registers: see the overview above.
struct TFastCursor {
    TFastCursor(const TFlDfBitCursor& bits, const TFlDfOutCursor& out)
        : FIn(bits.FNext),
          FInLimit(bits.FLimit),
          FBitBuf(bits.FBitBuf),
          FBitCount(bits.FBitCount),
          FBase(out.FBase),
          FOut(out.FNext),
          FOutLimit(out.FLimit)
    {
    }

    static constexpr bool kHoldsBits = true;
    bool Room() const { return FIn <= FInLimit && FOut < FOutLimit; }
    // The bits held since the last peek, and their count.
    uint32_t Held() const { return FBitBuf; }
    uint32_t HeldCount() const { return FBitCount; }

    // Refills the bit buffer to at least kFlDfRefillBits bits and gives it; every peek of the
    // loops asks for at most that many. The bytes loaded whole are consumed; the bits of a
    // byte loaded in part lie above FBitCount and are loaded again with it next time.
    uint32_t Peek(int)
    {
        FBitBuf |= FlDfLoadWord(FIn) << FBitCount;
        FIn += (kFlDfWordBits - 1 - FBitCount) >> 3;
        FBitCount |= kFlDfRefillBits;
        return FBitBuf;
    }
    // Consumes n bits (0 to kFlDfRefillBits) of the last peek.
    void Discard(uint32_t n)
    {
        FBitBuf >>= n;
        FBitCount -= n;
    }
    // The next n extra bits (0 to 16), consumed.
    uint32_t TakeExtra(uint32_t n)
    {
        const uint32_t value = Peek(0) & ExtraMask(n);
        Discard(n);
        return value;
    }
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

    const uint8_t* FIn;
    const uint8_t* FInLimit;
    uint32_t FBitBuf;
    uint32_t FBitCount;   // 0 to 31
    uint8_t* FBase;
    uint8_t* FOut;
    uint8_t* FOutLimit;
    const char* FError = nullptr;
};

// The same loop on the bit reader and window objects, one symbol at a time.
struct TSlowCursor {
    static constexpr bool kHoldsBits = false;
    uint32_t Held() const { return 0; }
    uint32_t HeldCount() const { return 0; }
    bool Room() { return std::exchange(FFirst, false); }
    uint32_t Peek(int n) { return FBits.PeekBits(n); }
    void Discard(uint32_t n)
    {
        if (n > 0) {
            FBits.DiscardBits(static_cast<int>(n));
        }
    }
    uint32_t TakeExtra(uint32_t n)
    {
        const uint32_t value = n > 0 ? FBits.PeekBits(static_cast<int>(n)) : 0;
        Discard(n);
        return value;
    }
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
    const int literalPeek = std::min(
        kFlDfWordBits, codes.FLiteral.LookupBitLength() + (kDeflate64 ? 0 : kLengthExtraPeek));
    const uint32_t* const distanceTable = codes.FDistance.Table();
    const int distancePeek = codes.FDistance.LookupBitLength();
    constexpr uint32_t kDistanceLimit = kDeflate64 ? kDistanceAlphabet64 : kDistanceAlphabet;

    while (c.Room()) {
        uint32_t look = c.Peek(literalPeek);
        uint32_t entry = literalTable[look & RootMask(kLiteralRootBits)];
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(literalTable, entry, look, kLiteralRootBits);
        }
        uint32_t symbol = FlDfEntrySymbol(entry);
        uint32_t codeBits = FlDfEntryCodeBits(entry);
        if (symbol < kEndOfBlock) {
            c.Discard(codeBits);
            c.Literal(symbol);
            if constexpr (TCursor::kHoldsBits) {
                // A second literal without a refill, when its code lies within the bits held
                // (bits above them may be zero instead of the stream's: a code found that
                // ends within them is the stream's code all the same).
                for (int more = 0; more < kLiteralsWithoutRefill; ++more) {
                    entry = literalTable[c.Held() & RootMask(kLiteralRootBits)];
                    if (!FlDfIsLiteral(entry) || FlDfEntryCodeBits(entry) > c.HeldCount()) {
                        break;
                    }
                    c.Discard(FlDfEntryCodeBits(entry));
                    c.Literal(FlDfEntrySymbol(entry));
                }
            }
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
        if (kDeflate64) {
            // Up to 16 extra bits: more than one peek is sure to hold with the code.
            c.Discard(codeBits);
            length = kLengthBase[symbol - kFirstLengthSymbol] + c.TakeExtra(FlDfEntryExtraBits(entry));
        } else if (symbol == kLastLengthSymbol) {
            length = kPlainLongestLength;
            c.Discard(codeBits);
        } else {
            // Code and extra bits (at most 15 + 5) come from the same peek.
            const uint32_t extraBits = FlDfEntryExtraBits(entry);
            length = kLengthBase[symbol - kFirstLengthSymbol] + ((look >> codeBits) & ExtraMask(extraBits));
            c.Discard(codeBits + extraBits);
        }

        look = c.Peek(distancePeek);
        entry = distanceTable[look & RootMask(kDistanceRootBits)];
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(distanceTable, entry, look, kDistanceRootBits);
        }
        symbol = FlDfEntrySymbol(entry);
        if (symbol >= kDistanceLimit) [[unlikely]] {
            return c.Fail(kDeflate64 ? kUnmappedDistance : kInvalidDistance);
        }
        // Code and extra bits may reach 15 + 14 bits, more than a peek is sure to hold: when
        // the bits held fall short, the extra bits get a peek of their own.
        codeBits = FlDfEntryCodeBits(entry);
        const uint32_t extraBits = FlDfEntryExtraBits(entry);
        uint32_t distance = kDistanceBase[symbol];
        if (codeBits + extraBits <= c.HeldCount()) {
            distance += (look >> codeBits) & ExtraMask(extraBits);
            c.Discard(codeBits + extraBits);
        } else {
            c.Discard(codeBits);
            distance += c.TakeExtra(extraBits);
        }
        if (!c.Copy(length, distance)) [[unlikely]] {
            return false;
        }
    }
    return false;
}

// What a run on registers hands back: the moving part of both cursors, the cause of corrupt
// data (or nullptr) and whether the block ended.
struct TFastRun {
    const uint8_t* FIn;
    uint32_t FBitBuf;
    uint32_t FBitCount;
    uint8_t* FOut;
    const char* FError;
    bool FDone;
};

// Runs step on a register cursor of its own: kept out of line, so that the cursor's state
// lives in this function's registers (the 32-bit build has few) and not in memory.
template <class TStep>
[[gnu::noinline]] TFastRun RunFast(const TFlDfBitCursor& bits, const TFlDfOutCursor& out, TStep& step)
{
    TFastCursor fast(bits, out);
    const bool done = step(fast);
    return TFastRun{fast.FIn, fast.FBitBuf, fast.FBitCount, fast.FOut, fast.FError, done};
}

// The data of a plain deflate block on registers (see the overview above): the same steps as
// DecodeSymbols, written out for the 32-bit build's few registers.
[[gnu::noinline, gnu::aligned(kHotCodeAlignBytes)]] TFastRun RunFastPlain(const TFlDfBitCursor& bits,
                                                                        const TFlDfOutCursor& outCursor,
                                                                        const TBlockCodes& codes)
{
    const uint8_t* in = bits.FNext;
    uint32_t bitBuf = bits.FBitBuf;
    uint32_t bitCount = bits.FBitCount;
    uint8_t* out = outCursor.FNext;
    const uint32_t* const literalTable = codes.FLiteral.Table();
    const auto refill = [&] {
        bitBuf |= FlDfLoadWord(in) << bitCount;
        in += (kFlDfWordBits - 1 - bitCount) >> 3;
        bitCount |= kFlDfRefillBits;
    };
    const auto result = [&](const char* error, bool done) {
        return TFastRun{in, bitBuf, bitCount, out, error, done};
    };
    while (in <= bits.FLimit && out < outCursor.FLimit) {
        refill();
        uint32_t entry = literalTable[bitBuf & RootMask(kLiteralRootBits)];
        if (FlDfIsLiteral(entry)) {
            for (int more = 0;; ++more) {
                const uint32_t codeBits = FlDfEntryCodeBits(entry);
                bitBuf >>= codeBits;
                bitCount -= codeBits;
                *out++ = static_cast<uint8_t>(entry);
                if (more == kLiteralsWithoutRefill) {
                    break;
                }
                entry = literalTable[bitBuf & RootMask(kLiteralRootBits)];
                if (!FlDfIsLiteral(entry) || FlDfEntryCodeBits(entry) > bitCount) {
                    break;
                }
            }
            continue;
        }
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(literalTable, entry, bitBuf, kLiteralRootBits);
            if (FlDfIsLiteral(entry)) {
                const uint32_t codeBits = FlDfEntryCodeBits(entry);
                bitBuf >>= codeBits;
                bitCount -= codeBits;
                *out++ = static_cast<uint8_t>(entry);
                continue;
            }
        }
        const uint32_t symbol = FlDfEntrySymbol(entry);
        uint32_t codeBits = FlDfEntryCodeBits(entry);
        if (symbol == kEndOfBlock) {
            bitBuf >>= codeBits;
            bitCount -= codeBits;
            return result(nullptr, true);
        }
        if (symbol > kLastLengthSymbol) [[unlikely]] {
            return result(kInvalidLength, false);
        }
        uint32_t length;
        if (symbol == kLastLengthSymbol) {
            length = kPlainLongestLength;
            bitBuf >>= codeBits;
            bitCount -= codeBits;
        } else {
            // Code and extra bits (at most 15 + 5) come from the same peek.
            const uint32_t extraBits = FlDfEntryExtraBits(entry);
            length = kLengthBase[symbol - kFirstLengthSymbol] + ((bitBuf >> codeBits) & ExtraMask(extraBits));
            bitBuf >>= codeBits + extraBits;
            bitCount -= codeBits + extraBits;
        }

        refill();
        const uint32_t* const distanceTable = codes.FDistance.Table();
        entry = distanceTable[bitBuf & RootMask(kDistanceRootBits)];
        if (FlDfIsLink(entry)) {
            entry = FlDfFollowLink(distanceTable, entry, bitBuf, kDistanceRootBits);
        }
        const uint32_t distanceSymbol = FlDfEntrySymbol(entry);
        if (distanceSymbol >= kDistanceAlphabet) [[unlikely]] {
            return result(kInvalidDistance, false);
        }
        codeBits = FlDfEntryCodeBits(entry);
        const uint32_t extraBits = FlDfEntryExtraBits(entry);
        bitBuf >>= codeBits;
        bitCount -= codeBits;
        if (extraBits > bitCount) {
            refill();
        }
        const uint32_t distance = kDistanceBase[distanceSymbol] + (bitBuf & ExtraMask(extraBits));
        bitBuf >>= extraBits;
        bitCount -= extraBits;
        if (distance > static_cast<uint32_t>(out - outCursor.FBase)) [[unlikely]] {
            return result(kDistanceTooFar, false);
        }
        FlDfCopyMatch(out, length, distance);
        out += length;
    }
    return result(nullptr, false);
}

// Runs fast on the cursors while the input holds enough bytes and the window has room, else
// slow on the objects, until one of them answers done. fast(bits, out) gives a TFastRun;
// slow(cursor) works while cursor.Room() and answers whether it is done. On corrupt data
// both answer not done with the cause noted.
template <class TFast, class TSlow>
void RunCursors(TFlDfInBitStream& bits, TFlDfOutputWindow& window, TFast&& fast, TSlow&& slow)
{
    for (;;) {
        const TFlDfBitCursor bitCursor = bits.OpenCursor();
        const TFlDfOutCursor outCursor = window.OpenCursor();
        bool done;
        if (bitCursor.FUsable && outCursor.FNext < outCursor.FLimit) {
            // Nothing on the register cursor raises, so its state stays in registers; on
            // corrupt data what was decoded is handed back first, to reach the destination.
            const TFastRun run = fast(bitCursor, outCursor);
            done = run.FDone;
            bits.CloseCursor(TFlDfBitCursor{run.FIn, bitCursor.FLimit, run.FBitBuf, run.FBitCount, true});
            window.CloseCursor(TFlDfOutCursor{outCursor.FBase, run.FOut, outCursor.FLimit});
            if (run.FError != nullptr) {
                FlDfRaiseCorrupt(run.FError);
            }
            window.CheckLimits();
        } else {
            TSlowCursor cursor{bits, window};
            done = slow(cursor);
            if (cursor.FError != nullptr) {
                FlDfRaiseCorrupt(cursor.FError);
            }
        }
        if (done) {
            return;
        }
    }
}

// Runs step on the register cursor (RunFast) or on the objects.
template <class TStep>
void RunCursors(TFlDfInBitStream& bits, TFlDfOutputWindow& window, TStep&& step)
{
    RunCursors(
        bits, window, [&](const TFlDfBitCursor& b, const TFlDfOutCursor& o) { return RunFast(b, o, step); }, step);
}

void DecodeData(TFlDfInBitStream& bits, TFlDfOutputWindow& window, const TBlockCodes& codes)
{
    if (codes.FDeflate64) {
        RunCursors(bits, window, [&](auto& cursor) { return DecodeSymbols<true>(cursor, codes); });
    } else {
        RunCursors(
            bits, window,
            [&](const TFlDfBitCursor& b, const TFlDfOutCursor& o) { return RunFastPlain(b, o, codes); },
            [&](TSlowCursor& cursor) { return DecodeSymbols<false>(cursor, codes); });
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
    // Straight into the window: the bytes need no buffer of their own on the way.
    window.AddStored(bits, static_cast<int32_t>(len));
}

// Reads code-length symbols into lengths[next...] while the cursor has room; true when all
// total lengths are read.
template <class TCursor>
bool ReadCodeLengthSymbols(TCursor& c, const TFlDfDecodeHuffmanTree& tree, uint8_t* lengths, int total, int& next)
{
    const int peek = tree.LookupBitLength() + kCodeLengthExtraPeek;
    const uint32_t* const table = tree.Table();
    const auto longest = static_cast<uint32_t>(tree.LookupBitLength());
    int i = next;
    while (i < total && c.Room()) {
        // The code-length code is at most 7 bits long: its root holds every code.
        const uint32_t look = c.Peek(peek);
        const uint32_t entry = table[look & RootMask(kMaxCodeLengthBits)];
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
        : FCodeLength(kCodeLengthAlphabet, TFlDfHuffmanUsage::Decoding, kMaxCodeLengthBits, kMaxCodeLengthBits),
          FLiteral(kLiteralAlphabet, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits, kLiteralRootBits),
          FDistance(deflate64 ? kDistanceAlphabet64 : kDistanceAlphabet, TFlDfHuffmanUsage::Decoding, kFlDfMaxCodeBits,
                    kDistanceRootBits)
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
