// Tests of the raw-deflate decoder: agreement with zlib's encoder, hand-made streams for what
// zlib never emits (far copies, deflate64, corrupt data), and every option of a decode.
#include "lectern/book/FlDfCryS.h"
#include "lectern/book/FlDfDec.h"
#include "lectern/book/FlDfHufD.h"
#include "lectern/book/FlUtils.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::string;

// ---- inputs and zlib's encoder ------------------------------------------------------------

// Text with a vocabulary, so that the encoder finds matches at all distances, mixed with
// runs of random bytes that defeat it.
Bytes MixedData(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {"<div class=\"page\">", "</div>\n", "the ", "book ", "chapter ", "and ",
                                         "function(a, b) { return a + b; }\n", "color: #336699;", "\t", "margin: 0 auto;"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        if (rng() % 16 == 0) {
            const size_t run = rng() % 300;
            for (size_t i = 0; i < run; ++i) {
                out += static_cast<char>(rng());
            }
        } else {
            out += kWords[rng() % std::size(kWords)];
        }
    }
    out.resize(size);
    return out;
}

Bytes ZlibDeflateRaw(const Bytes& data, int level, int strategy, size_t flushEvery = 0, int flushKind = Z_FULL_FLUSH)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, data.size()) + 64 + (flushEvery ? data.size() / flushEvery * 16 : 0), '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    size_t done = 0;
    do {
        const size_t piece = flushEvery ? std::min(flushEvery, data.size() - done) : data.size() - done;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + done));
        z.avail_in = static_cast<uInt>(piece);
        done += piece;
        const int flush = done == data.size() ? Z_FINISH : flushKind;
        const int rc = deflate(&z, flush);
        EXPECT_TRUE(rc == Z_OK || rc == Z_STREAM_END);
    } while (done < data.size());
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

uint32_t ZlibCrc(const Bytes& data)
{
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

uint32_t ZlibAdler(const Bytes& data)
{
    return static_cast<uint32_t>(adler32(1, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

TMemoryStream StreamOf(const Bytes& bytes)
{
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    return s;
}

struct TDecoded {
    Bytes FOutput;
    uint32_t FChecksum;
};

TDecoded Decode(const Bytes& compressed, TFlDeflateHelper* options = nullptr)
{
    TMemoryStream source = StreamOf(compressed);
    TMemoryStream dest;
    const uint32_t checksum = Inflate(&source, &dest, options);
    return TDecoded{dest.DataString(), checksum};
}

// Decodes input that must fail; answers the message and what reached dest.
std::pair<std::string, Bytes> DecodeFailure(const Bytes& compressed, TFlDeflateHelper* options = nullptr)
{
    TMemoryStream source = StreamOf(compressed);
    TMemoryStream dest;
    try {
        Inflate(&source, &dest, options);
    } catch (const EFlInflateError& e) {
        return {e.Message(), dest.DataString()};
    }
    ADD_FAILURE() << "the decode succeeded";
    return {};
}

std::string Cause(const std::string& internal)
{
    return "Inflate error, possibly a corrupted compressed stream. (Internal cause: " + internal + ")";
}

bool HasCauseStarting(const std::string& message, const std::string& causeStart)
{
    return message.rfind(Cause(causeStart).substr(0, Cause(causeStart).size() - 1), 0) == 0;
}

// ---- a small deflate writer for streams zlib never makes -----------------------------------

class TBitWriter {
public:
    void Put(uint32_t value, int bits)
    {
        for (int i = 0; i < bits; ++i) {
            PutBit((value >> i) & 1);
        }
    }
    // Huffman codes go most-significant bit first.
    void PutCode(uint32_t code, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            PutBit((code >> i) & 1);
        }
    }
    void AlignToByte() { FBit = 0; }
    void PutByte(uint8_t value) { FBytes.push_back(static_cast<char>(value)); }
    const Bytes& Data() const { return FBytes; }

private:
    void PutBit(uint32_t bit)
    {
        if (FBit == 0) {
            FBytes.push_back(0);
        }
        FBytes.back() = static_cast<char>(FBytes.back() | bit << FBit);
        FBit = (FBit + 1) % 8;
    }
    Bytes FBytes;
    int FBit = 0;
};

// Canonical codes for a set of lengths.
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths)
{
    std::vector<uint32_t> codes(lengths.size());
    uint32_t code = 0;
    for (int len = 1; len <= 15; ++len) {
        for (size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] == len) {
                codes[s] = code++;
            }
        }
        code <<= 1;
    }
    return codes;
}

constexpr uint16_t kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint32_t kDistBase[] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,    33,
                                  49,   65,   97,   129,  193,  257,  385,  513,   769,   1025,  1537,
                                  2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Writes one Huffman block's symbols with given codes.
class TBlockWriter {
public:
    TBlockWriter(TBitWriter& w, std::vector<int> litLengths, std::vector<int> distLengths)
        : FW(w), FLit(std::move(litLengths)), FDist(std::move(distLengths)), FLitCodes(CanonicalCodes(FLit)),
          FDistCodes(CanonicalCodes(FDist))
    {
    }
    void Symbol(int s) { FW.PutCode(FLitCodes[static_cast<size_t>(s)], FLit[static_cast<size_t>(s)]); }
    void Literal(uint8_t b) { Symbol(b); }
    void Literals(const Bytes& text)
    {
        for (char c : text) {
            Literal(static_cast<uint8_t>(c));
        }
    }
    void End() { Symbol(256); }
    // A copy in plain deflate (length 3 to 258, distance 1 to 32768).
    void Copy(uint32_t length, uint32_t distance)
    {
        int s = 28;
        while (kLengthBase[s] > length) {
            --s;
        }
        Symbol(257 + s);
        FW.Put(length - kLengthBase[s], kLengthExtra[s]);
        Distance(distance);
    }
    void Distance(uint32_t distance)
    {
        int d = 31;
        while (kDistBase[d] > distance) {
            --d;
        }
        DistanceSymbol(d, distance - kDistBase[d]);
    }
    void DistanceSymbol(int d, uint32_t extra)
    {
        FW.PutCode(FDistCodes[static_cast<size_t>(d)], FDist[static_cast<size_t>(d)]);
        FW.Put(extra, kDistExtra[d]);
    }

private:
    TBitWriter& FW;
    std::vector<int> FLit, FDist;
    std::vector<uint32_t> FLitCodes, FDistCodes;
};

std::vector<int> FixedLitLengths()
{
    std::vector<int> l(288);
    for (int s = 0; s < 288; ++s) {
        l[static_cast<size_t>(s)] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    }
    return l;
}

TBlockWriter FixedBlock(TBitWriter& w, bool final = true)
{
    w.Put(final ? 1 : 0, 1);
    w.Put(1, 2);
    return TBlockWriter(w, FixedLitLengths(), std::vector<int>(32, 5));
}

constexpr int kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct TCodeLengthOp {
    int FSymbol;
    uint32_t FExtra;
};

// A dynamic block header: the code-length code's lengths, then the code-length symbols.
void DynamicHeader(TBitWriter& w, int hlit, int hdist, const std::vector<int>& clLengths,
                   const std::vector<TCodeLengthOp>& ops, bool final = true)
{
    w.Put(final ? 1 : 0, 1);
    w.Put(2, 2);
    w.Put(static_cast<uint32_t>(hlit - 257), 5);
    w.Put(static_cast<uint32_t>(hdist - 1), 5);
    w.Put(19 - 4, 4);
    for (int s : kCodeLengthOrder) {
        w.Put(static_cast<uint32_t>(clLengths[static_cast<size_t>(s)]), 3);
    }
    const std::vector<uint32_t> codes = CanonicalCodes(clLengths);
    for (const TCodeLengthOp& op : ops) {
        w.PutCode(codes[static_cast<size_t>(op.FSymbol)], clLengths[static_cast<size_t>(op.FSymbol)]);
        const int extraBits = op.FSymbol == 16 ? 2 : op.FSymbol == 17 ? 3 : op.FSymbol == 18 ? 7 : 0;
        w.Put(op.FExtra, extraBits);
    }
}

// A dynamic block whose code lengths are each sent as one 4-bit code-length symbol.
TBlockWriter DynamicBlock(TBitWriter& w, const std::vector<int>& litLengths, const std::vector<int>& distLengths)
{
    std::vector<int> cl(19, 0);
    std::fill(cl.begin(), cl.begin() + 16, 4);
    std::vector<TCodeLengthOp> ops;
    for (int l : litLengths) {
        ops.push_back({l, 0});
    }
    for (int l : distLengths) {
        ops.push_back({l, 0});
    }
    DynamicHeader(w, static_cast<int>(litLengths.size()), static_cast<int>(distLengths.size()), cl, ops);
    return TBlockWriter(w, litLengths, distLengths);
}

// ---- agreement with zlib --------------------------------------------------------------------

struct TLevelCase {
    int FLevel;
    int FStrategy;
};

class InflateAgreesWithZlib : public ::testing::TestWithParam<TLevelCase> {};

TEST_P(InflateAgreesWithZlib, AtEveryLevelAndStrategy)
{
    // Over 64 KB, so the window slides several times.
    const Bytes data = MixedData(150000, static_cast<uint32_t>(GetParam().FLevel * 7 + GetParam().FStrategy));
    const Bytes compressed = ZlibDeflateRaw(data, GetParam().FLevel, GetParam().FStrategy);
    const TDecoded crc = Decode(compressed);
    ASSERT_EQ(crc.FOutput.size(), data.size());
    EXPECT_TRUE(crc.FOutput == data);
    EXPECT_EQ(crc.FChecksum, ZlibCrc(data));

    TFlDeflateHelper options;
    options.FOptions |= kFlDfOptionAdler32;
    const TDecoded adler = Decode(compressed, &options);
    EXPECT_TRUE(adler.FOutput == data);
    EXPECT_EQ(adler.FChecksum, ZlibAdler(data));
    EXPECT_EQ(options.FDecodedSize, static_cast<int32_t>(data.size()));
    EXPECT_EQ(options.FCompressedSize, static_cast<int32_t>(compressed.size()));
}

std::vector<TLevelCase> LevelCases()
{
    std::vector<TLevelCase> cases;
    for (int level = 0; level <= 9; ++level) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
            cases.push_back({level, strategy});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Levels, InflateAgreesWithZlib, ::testing::ValuesIn(LevelCases()));

TEST(Inflate, AgreesWithZlibAcrossFlushesAndSizes)
{
    const Bytes data = MixedData(200000, 3);
    for (int flush : {Z_FULL_FLUSH, Z_SYNC_FLUSH}) {
        for (size_t every : {size_t(1000), size_t(40000)}) {
            const Bytes compressed = ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY, every, flush);
            EXPECT_TRUE(Decode(compressed).FOutput == data) << flush << " every " << every;
        }
    }
    // Sizes around the word, buffer and window boundaries.
    for (size_t size : {size_t(0), size_t(1), size_t(3), size_t(4), size_t(5), size_t(16383), size_t(16385),
                        size_t(65536), size_t(65537), size_t(1 << 20)}) {
        const Bytes part = MixedData(size, static_cast<uint32_t>(size));
        for (int level : {0, 1, 9}) {
            TDecoded decoded;
            try {
                decoded = Decode(ZlibDeflateRaw(part, level, Z_DEFAULT_STRATEGY));
            } catch (const Exception& e) {
                FAIL() << size << " at level " << level << ": " << e.Message();
            }
            EXPECT_TRUE(decoded.FOutput == part) << size << " at level " << level;
            ASSERT_EQ(decoded.FOutput.size(), part.size()) << size << " at level " << level;
            EXPECT_EQ(decoded.FChecksum, ZlibCrc(part));
        }
    }
}

// The decode table against a brute-force canonical decoder, for every index of the longest
// length: complete and incomplete sets, codes far longer than the root table, groups of long
// codes of mixed lengths behind one root entry, and a tree rebuilt over a larger one, with
// roots of each size the decoder uses.
TEST(FlDfDecodeHuffmanTree, EveryIndexDecodesAsTheCanonicalCode)
{
    std::mt19937 rng(7);
    std::vector<std::vector<uint8_t>> sets;
    std::vector<uint8_t> skewed;   // 1, 2, ..., 15, 15: complete
    for (uint8_t len = 1; len <= 15; ++len) {
        skewed.push_back(len);
    }
    skewed.push_back(15);
    sets.push_back(skewed);
    sets.push_back({0, 3, 0, 0, 15, 12, 2});   // incomplete, long codes alone in their groups
    for (int trial = 0; trial < 40; ++trial) {
        const size_t symbols = trial % 2 == 0 ? 286 : 30;
        std::vector<uint8_t> lengths(symbols);
        uint32_t kraft = 0;   // in units of 2^-15
        for (uint8_t& len : lengths) {
            const auto candidate = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : 5 + rng() % 11);
            if (candidate != 0 && kraft + (1u << (15 - candidate)) <= (1u << 15)) {
                len = candidate;
                kraft += 1u << (15 - candidate);
            }
        }
        sets.push_back(lengths);
    }

    uint8_t extra[288];
    for (int i = 0; i < 288; ++i) {
        extra[i] = static_cast<uint8_t>(i % 14);
    }
    // Roots of the decoder's sizes: sets longer and shorter than the root.
    for (const int rootBits : {7, 8, kFlDfRootBits}) {
    TFlDfDecodeHuffmanTree tree(286, TFlDfHuffmanUsage::Decoding, 15, rootBits);
    for (const std::vector<uint8_t>& lengths : sets) {
        const int count = static_cast<int>(lengths.size());
        tree.Build(lengths.data(), 0, count, extra, 3);
        int longest = 0;
        uint32_t lengthCount[16] = {};
        for (uint8_t len : lengths) {
            longest = std::max<int>(longest, len);
            ++lengthCount[len];
        }
        ASSERT_EQ(tree.LookupBitLength(), longest);
        // The reference: per length, the entry of each reversed code.
        std::vector<std::vector<uint32_t>> byLength(16);
        uint32_t next[16] = {};
        uint32_t code = 0;
        lengthCount[0] = 0;
        for (int len = 1; len <= 15; ++len) {
            code = (code + lengthCount[len - 1]) << 1;
            next[len] = code;
            byLength[static_cast<size_t>(len)].assign(size_t{1} << len, kFlDfUnmappedEntry);
        }
        for (int symbol = 0; symbol < count; ++symbol) {
            const int len = lengths[static_cast<size_t>(symbol)];
            if (len == 0) {
                continue;
            }
            const uint32_t c = next[len]++;
            uint32_t reversed = 0;
            for (int b = 0; b < len; ++b) {
                reversed |= ((c >> b) & 1u) << (len - 1 - b);
            }
            byLength[static_cast<size_t>(len)][reversed] = static_cast<uint32_t>(symbol) |
                static_cast<uint32_t>(len) << 16 | static_cast<uint32_t>(symbol >= 3 ? extra[symbol - 3] : 0) << 24;
        }
        for (uint32_t index = 0; index < (1u << longest); ++index) {
            uint32_t expected = kFlDfUnmappedEntry;
            for (int len = 1; len <= longest && expected == kFlDfUnmappedEntry; ++len) {
                expected = byLength[static_cast<size_t>(len)][index & ((1u << len) - 1)];
            }
            ASSERT_EQ(tree.Decode(index), expected) << "index " << index << " of a set of " << count
                                                    << ", root bits " << rootBits;
        }
    }
    }
}

TEST(Inflate, EmptyStoredBlockGivesNothingAndTheChecksumOfNothing)
{
    const Bytes empty = {'\x01', '\x00', '\x00', '\xFF', '\xFF'};
    EXPECT_EQ(Decode(empty).FOutput, "");
    EXPECT_EQ(Decode(empty).FChecksum, 0u);
    TFlDeflateHelper options;
    options.FOptions |= kFlDfOptionAdler32;
    EXPECT_EQ(Decode(empty, &options).FChecksum, 1u);
}

// ---- hand-made streams ----------------------------------------------------------------------

TEST(Inflate, CopiesRepeatShortPatternsAndReachBack32KAcrossSlides)
{
    std::mt19937 rng(11);
    TBitWriter w;
    TBlockWriter b = FixedBlock(w);
    Bytes expected;
    b.Literal('z');
    b.Copy(258, 1);   // distance 1, length 258: the last byte 259 times in all
    expected.assign(259, 'z');
    b.Literals("ab");
    b.Copy(7, 2);
    expected += "ababababa";
    // Every short distance, with lengths around the copy steps.
    for (uint32_t distance = 2; distance <= 17; ++distance) {
        for (uint32_t length : {3u, 7u, 8u, 9u, 15u, 16u, 17u, 40u}) {
            b.Literal(static_cast<uint8_t>('A' + distance));
            expected += static_cast<char>('A' + distance);
            b.Copy(length, distance);
            for (uint32_t k = 0; k < length; ++k) {
                expected += expected[expected.size() - distance];
            }
        }
    }
    // Random bytes, then copies from exactly 32768 back, past several slides.
    Bytes random(40000, '\0');
    for (char& c : random) {
        c = static_cast<char>(rng());
    }
    b.Literals(random);
    expected += random;
    for (int i = 0; i < 1500; ++i) {
        const uint32_t length = 3 + rng() % 256;
        b.Copy(length, 32768);
        for (uint32_t k = 0; k < length; ++k) {
            expected += expected[expected.size() - 32768];
        }
    }
    b.End();
    ASSERT_GT(expected.size(), 3u * 65536);
    const TDecoded decoded = Decode(w.Data());
    EXPECT_TRUE(decoded.FOutput == expected);
    EXPECT_EQ(decoded.FChecksum, ZlibCrc(expected));
}

TEST(Inflate, Deflate64WidensSymbol285AndDistances30And31)
{
    std::mt19937 rng(5);
    Bytes random(120000, '\0');   // the copies come after a slide of the 96 KB window
    for (char& c : random) {
        c = static_cast<char>(rng());
    }
    const auto makeStream = [&] {
        TBitWriter w;
        TBlockWriter b = FixedBlock(w);
        b.Literals(random);
        b.Symbol(257);            // length 3
        b.DistanceSymbol(30, 5);  // 32769 + 5
        b.Symbol(285);
        w.Put(1000, 16);          // deflate64: length 3 + 1000
        b.DistanceSymbol(30, 5);
        b.Symbol(285);
        w.Put(0, 16);
        b.DistanceSymbol(31, 16383);   // 49153 + 16383 = 65536
        for (int i = 0; i < 2; ++i) {  // the longest match, 65538 bytes, twice: past two slides
            b.Symbol(285);
            w.Put(65535, 16);
            b.DistanceSymbol(16, 7);   // 257 + 7
        }
        b.End();
        return w.Data();
    };
    Bytes expected = random;
    for (auto [length, distance] : {std::pair<size_t, size_t>{3, 32774}, {1003, 32774}, {3, 65536}, {65538, 264}, {65538, 264}}) {
        for (size_t k = 0; k < length; ++k) {
            expected += expected[expected.size() - distance];
        }
    }
    TFlDeflateHelper options;
    options.FOptions |= kFlDfOptionDeflate64;
    const TDecoded decoded = Decode(makeStream(), &options);
    EXPECT_TRUE(decoded.FOutput == expected);
    // Plain deflate refuses distance symbol 30, after the literals have reached dest.
    const auto [message, output] = DecodeFailure(makeStream());
    EXPECT_EQ(message, Cause("decoded an invalid distance symbol: greater than 29 [DecodeData]"));
    EXPECT_TRUE(output == random);
}

TEST(Inflate, DecryptsTraditionalZipEncryption)
{
    const Bytes data = MixedData(50000, 9);
    const Bytes plain = ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY);
    const auto encrypt = [](const Bytes& payload, const std::string& passphrase, uint8_t check) {
        TFlDfCryptKeys keys(passphrase);
        Bytes header = "0123456789A";
        header += static_cast<char>(check);
        Bytes out;
        for (char c : header + payload) {
            out += static_cast<char>(static_cast<uint8_t>(c) ^ keys.StreamByte());
            keys.Update(static_cast<uint8_t>(c));
        }
        return out;
    };
    const Bytes trailer = "NEXT";
    TFlDeflateHelper options;
    options.FPassphrase = "open sesame";
    options.FCheckValue = 0x5A000000;
    {
        TMemoryStream source = StreamOf(encrypt(plain, "open sesame", 0x5A) + trailer);
        TMemoryStream dest;
        EXPECT_EQ(Inflate(&source, &dest, &options), ZlibCrc(data));
        EXPECT_TRUE(dest.DataString() == data);
        EXPECT_EQ(source.Position(), static_cast<int64_t>(12 + plain.size()));
    }
    {
        TMemoryStream source = StreamOf(encrypt(plain, "open sesame", 0x5A));
        source.SetPosition(0);
        TMemoryStream dest;
        options.FPassphrase = "wrong";
        try {
            Inflate(&source, &dest, &options);
            ADD_FAILURE() << "a wrong passphrase decoded";
        } catch (const EFlInflatePasswordError& e) {
            EXPECT_EQ(e.Message(), "Inflate: stream is encrypted but passphrase is wrong");
        }
        EXPECT_EQ(source.Position(), 0);
        EXPECT_EQ(dest.Size(), 0);
    }
}

// ---- corrupt and truncated data ------------------------------------------------------------

struct TCorruptCase {
    const char* FName;
    Bytes FStream;
    std::string FCause;
    Bytes FOutputBefore;   // what must have reached dest
    bool FDeflate64 = false;
};

std::vector<TCorruptCase> CorruptCases()
{
    std::vector<TCorruptCase> cases;
    cases.push_back({"stored NLEN", Bytes("\x01\x05\x00\x00\x00", 5),
                     "invalid stored block (length and NOT length do not match) [InflateStoredBlock]", ""});
    cases.push_back({"block type 3", Bytes("\x07", 1), "starting new block, but invalid block type [Inflate]", ""});
    cases.push_back({"empty input", "", "no more compressed data in stream [TFlDfInBitStream.ReadBit]", ""});
    cases.push_back({"header cut", Bytes("\x05", 1), "no more compressed data in stream [TFlDfInBitStream.ReadBits]", ""});
    cases.push_back({"stored data cut", Bytes("\x01\x0A\x00\xF5\xFFhello", 10),
                     "no more compressed data in stream [TFlDfInBitStream.ReadBuffer]", ""});
    {
        TBitWriter w;
        TBlockWriter b = FixedBlock(w);
        b.Literals("abc");
        b.Copy(3, 4);   // one byte before the start
        cases.push_back({"distance beyond output", w.Data(), "copy distance reaches before the start of the output [DecodeData]", "abc"});
    }
    {
        TBitWriter w;
        TBlockWriter b = FixedBlock(w);
        b.Literals("xy");
        b.Symbol(286);
        cases.push_back({"length symbol 286", w.Data(), "decoded an invalid length symbol: greater than 285 [DecodeData]", "xy"});
    }
    {
        TBitWriter w;
        TBlockWriter b = FixedBlock(w);
        b.Literals("xy");
        b.Symbol(257);
        b.DistanceSymbol(30, 0);
        cases.push_back({"distance symbol 30", w.Data(), "decoded an invalid distance symbol: greater than 29 [DecodeData]", "xy"});
    }
    {
        // HLIT 287.
        TBitWriter w;
        w.Put(5, 3);
        w.Put(30, 5);
        w.Put(0, 5);
        w.Put(0, 4);
        cases.push_back({"HLIT", w.Data(), "count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]", ""});
    }
    {
        TBitWriter w;
        w.Put(5, 3);
        w.Put(0, 5);
        w.Put(31, 5);
        w.Put(0, 4);
        cases.push_back({"HDIST", w.Data(), "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]", ""});
    }
    // Code-length code: 18 has the 1-bit code, 8 and 16 two-bit codes.
    std::vector<int> cl(19, 0);
    cl[18] = 1;
    cl[8] = 2;
    cl[16] = 2;
    {
        TBitWriter w;
        DynamicHeader(w, 257, 1, cl, {{18, 127}, {18, 127}, {18, 0}});   // 138 + 138 + 11 > 258
        cases.push_back({"repeat past the lengths", w.Data(),
                         "code length repeat runs past the count of literal and distance codes {ReadLitDistCodeLengths}", ""});
    }
    {
        TBitWriter w;
        DynamicHeader(w, 257, 1, cl, {{16, 0}});
        cases.push_back({"repeat with no previous length", w.Data(),
                         "code length repeat with no previous length {ReadLitDistCodeLengths}", ""});
    }
    {
        std::vector<int> over(19, 0);
        over[16] = over[17] = over[18] = 1;
        TBitWriter w;
        DynamicHeader(w, 257, 1, over, {});
        cases.push_back({"over-subscribed code-length code", w.Data(),
                         "over-subscribed set of code lengths [TFlDfDecodeHuffmanTree.Build]", ""});
    }
    {
        TBitWriter w;
        DynamicBlock(w, std::vector<int>(257, 1), {1});
        cases.push_back({"over-subscribed literal code", w.Data(),
                         "over-subscribed set of code lengths [TFlDfDecodeHuffmanTree.Build]", ""});
    }
    {
        // Literals 'a', end of block and symbol 257; one distance code of length 1, so the
        // code '1' maps to nothing.
        std::vector<int> lit(258, 0);
        lit['a'] = 1;
        lit[256] = 2;
        lit[257] = 2;
        std::vector<int> dist(32, 0);
        dist[0] = 1;
        TBitWriter w;
        TBlockWriter b = DynamicBlock(w, lit, dist);
        b.Literal('a');
        b.Symbol(257);
        w.PutCode(1, 1);
        cases.push_back({"unmapped distance code", w.Data(), "decoded an invalid distance code [DecodeData]", "a", true});
    }
    return cases;
}

TEST(Inflate, CorruptDataRaisesWithTheCauseAndKeepsTheOutputBefore)
{
    // Bytes after the stream, enough for the decoding loops to run on registers from the
    // first symbol: a fault there must end the same way as one found near the end of the data.
    const Bytes trailer(64, '\0');
    for (const TCorruptCase& c : CorruptCases()) {
        TFlDeflateHelper options;
        if (c.FDeflate64) {
            options.FOptions |= kFlDfOptionDeflate64;
        }
        const auto [message, output] = DecodeFailure(c.FStream, &options);
        EXPECT_EQ(message, Cause(c.FCause)) << c.FName;
        EXPECT_EQ(output, c.FOutputBefore) << c.FName;
        if (c.FCause.rfind("no more compressed data", 0) != 0) {
            const auto [trailedMessage, trailedOutput] = DecodeFailure(c.FStream + trailer, &options);
            EXPECT_EQ(trailedMessage, Cause(c.FCause)) << c.FName << " with bytes after it";
            EXPECT_EQ(trailedOutput, c.FOutputBefore) << c.FName << " with bytes after it";
        }
    }
}

TEST(Inflate, TruncatedStreamNeverDecodesAsSuccess)
{
    const Bytes data = MixedData(3000, 21);
    for (int level : {0, 1, 6}) {
        for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
            const Bytes compressed = ZlibDeflateRaw(data, level, strategy);
            for (size_t cut = 0; cut < compressed.size(); ++cut) {
                const auto [message, output] = DecodeFailure(compressed.substr(0, cut));
                EXPECT_TRUE(HasCauseStarting(message, "no more compressed data in stream")) << cut << ": " << message;
                EXPECT_EQ(data.compare(0, output.size(), output), 0) << cut;
            }
        }
    }
    // Cut inside a long stream, also in a run of stored bytes read straight from the source:
    // all output up to the cut has reached dest.
    const Bytes big = MixedData(300000, 4);
    for (int level : {0, 6}) {
        const Bytes compressed = ZlibDeflateRaw(big, level, Z_DEFAULT_STRATEGY);
        const auto [message, output] = DecodeFailure(compressed.substr(0, compressed.size() / 2));
        EXPECT_TRUE(HasCauseStarting(message, "no more compressed data in stream")) << level << ": " << message;
        EXPECT_GT(output.size(), big.size() / 3) << level;
        EXPECT_EQ(big.compare(0, output.size(), output), 0) << level;
    }
}

// ---- options and the source position -------------------------------------------------------

TEST(Inflate, LeavesTheSourceJustAfterTheStream)
{
    for (size_t size : {size_t(0), size_t(2), size_t(70), size_t(100000)}) {
        for (int level : {0, 6}) {
            const Bytes first = MixedData(size, 1);
            const Bytes second = MixedData(size + 5, 2);
            const Bytes c1 = ZlibDeflateRaw(first, level, Z_DEFAULT_STRATEGY);
            const Bytes c2 = ZlibDeflateRaw(second, level, Z_DEFAULT_STRATEGY);
            TMemoryStream source = StreamOf(c1 + c2 + "trailing");
            TMemoryStream dest1, dest2;
            InflateDefault(&source, &dest1);
            EXPECT_EQ(source.Position(), static_cast<int64_t>(c1.size())) << size << " " << level;
            InflateDefault(&source, &dest2);
            EXPECT_EQ(source.Position(), static_cast<int64_t>(c1.size() + c2.size()));
            EXPECT_TRUE(dest1.DataString() == first);
            EXPECT_TRUE(dest2.DataString() == second);
        }
    }
}

TEST(Inflate, AppendsAtTheDestinationPosition)
{
    TMemoryStream source = StreamOf(ZlibDeflateRaw("payload", 6, Z_DEFAULT_STRATEGY));
    TMemoryStream dest;
    dest.WriteBuffer("head:", 5);
    InflateDefault(&source, &dest);
    EXPECT_EQ(dest.DataString(), "head:payload");
}

TEST(Inflate, TestOnlyModeChecksumsWithoutWriting)
{
    const Bytes data = MixedData(100000, 8);
    TFlDeflateHelper options;
    options.FOptions |= kFlDfOptionTestOnly;
    const TDecoded decoded = Decode(ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY), &options);
    EXPECT_EQ(decoded.FOutput, "");
    EXPECT_EQ(decoded.FChecksum, ZlibCrc(data));
    EXPECT_EQ(options.FDecodedSize, 100000);
}

TEST(Inflate, PartSizeStopsWithZeroAndKeepsTheFirstPart)
{
    const Bytes data = MixedData(200000, 6);
    const Bytes compressed = ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY);
    for (auto [partSize, atLeast] : {std::pair<int32_t, size_t>{1000, 1000}, {500000, 65536}}) {
        TFlDeflateHelper options;
        options.FPartSize = partSize;
        const TDecoded decoded = Decode(compressed, &options);
        EXPECT_EQ(decoded.FChecksum, 0u);
        EXPECT_GE(decoded.FOutput.size(), atLeast);
        EXPECT_LT(decoded.FOutput.size(), atLeast + 258);
        EXPECT_EQ(data.compare(0, decoded.FOutput.size(), decoded.FOutput), 0);
        EXPECT_EQ(options.FDecodedSize, static_cast<int32_t>(decoded.FOutput.size()));
    }
}

class TProgressRecorder : public TObject {
public:
    void Progress(int32_t percent)
    {
        FSeen.push_back(percent);
        if (static_cast<int>(FSeen.size()) == FAbortAt) {
            throw EFlAbortProgress("stopped");
        }
    }
    std::vector<int32_t> FSeen;
    int FAbortAt = 0;
};

TEST(Inflate, ReportsProgressAndStopsWhenTheHandlerAborts)
{
    const Bytes data = MixedData(400000, 12);
    const Bytes compressed = ZlibDeflateRaw(data, 1, Z_DEFAULT_STRATEGY);
    ASSERT_GT(compressed.size(), 3u * 16384);
    TProgressRecorder recorder;
    TFlDeflateHelper options;
    options.FOnProgress = TFlProgressEvent(&recorder, &TProgressRecorder::Progress);
    options.FStreamSize = -1;
    EXPECT_TRUE(Decode(compressed, &options).FOutput == data);
    ASSERT_GE(recorder.FSeen.size(), 3u);
    EXPECT_TRUE(std::is_sorted(recorder.FSeen.begin(), recorder.FSeen.end()));
    EXPECT_EQ(recorder.FSeen.back(), 100);

    TProgressRecorder aborter;
    aborter.FAbortAt = 2;
    options.FOnProgress = TFlProgressEvent(&aborter, &TProgressRecorder::Progress);
    const TDecoded stopped = Decode(compressed, &options);
    EXPECT_EQ(stopped.FChecksum, 0u);
    EXPECT_GT(stopped.FOutput.size(), 0u);
    EXPECT_LT(stopped.FOutput.size(), data.size());
    EXPECT_EQ(data.compare(0, stopped.FOutput.size(), stopped.FOutput), 0);
}

TEST(Inflate, LogsTheStartAndTheInternalCause)
{
    const std::string path = (std::filesystem::temp_directory_path() / "flinflate_test.log").string();
    TFlDeflateHelper options;
    options.FLogFile = path;
    DecodeFailure(Bytes("\x07", 1), &options);
    TMemoryStream log;
    log.LoadFromFile(path);
    EXPECT_EQ(log.DataString(),
              "INFLATING STREAM...\r\nNeed to recompile the app with UseLogging turned on\r\n"
              "Internal exception raised: starting new block, but invalid block type [Inflate]\r\n");
    std::filesystem::remove(path);
}

TEST(Inflate, GuardsItsArguments)
{
    TMemoryStream s;
    try {
        InflateDefault(nullptr, &s);
        ADD_FAILURE();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Deflate: aSource stream cannot be nil");
    }
    try {
        InflateDefault(&s, nullptr);
        ADD_FAILURE();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Deflate: aDest stream cannot be nil");
    }
}

TEST(Inflate, DecodesConcurrently)
{
    const Bytes data = MixedData(300000, 13);
    const Bytes compressed = ZlibDeflateRaw(data, 6, Z_DEFAULT_STRATEGY);
    std::vector<int> good(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < good.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const TDecoded decoded = Decode(compressed);
                good[t] += decoded.FOutput == data && decoded.FChecksum == ZlibCrc(data);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(good, std::vector<int>(4, 5));
}

TEST(FlUtils, Crc32MatchesTheStandardCheckValue)
{
    const Bytes check = "123456789";
    const auto* p = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(~FlUpdateCrc32(kFlCrc32Initial, p, check.size()), 0xCBF43926u);
    EXPECT_EQ(FlUpdateAdler32(kFlAdler32Initial, p, check.size()), 0x091E01DEu);
    // In pieces, across the 8-byte steps and the Adler runs.
    const Bytes data = MixedData(20000, 2);
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    uint32_t crc = kFlCrc32Initial;
    uint32_t adler = kFlAdler32Initial;
    for (size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 4099 + 1) {
        const size_t n = std::min(step, data.size() - at);
        crc = FlUpdateCrc32(crc, d + at, n);
        adler = FlUpdateAdler32(adler, d + at, n);
    }
    EXPECT_EQ(~crc, ZlibCrc(data));
    EXPECT_EQ(adler, ZlibAdler(data));
}

// Both CRC-32 paths (carry-less multiplication where the processor has it, tables always)
// against zlib's, at every length around the 16- and 64-byte folding steps, at every
// alignment, and from a register that is not the initial one.
TEST(FlUtils, Crc32PathsAgreeAtEveryLengthAndAlignment)
{
    const Bytes data = MixedData(70000, 5);
    const auto* d = reinterpret_cast<const uint8_t*>(data.data());
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) {
        lengths.push_back(n);
    }
    for (size_t n : {1023u, 4096u, 4100u, 5119u, 32768u, 65536u, 69983u}) {
        lengths.push_back(n);
    }
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t n : lengths) {
            const uLong expected = crc32(crc32(0, nullptr, 0), d + offset, static_cast<uInt>(n));
            ASSERT_EQ(~FlUpdateCrc32(kFlCrc32Initial, d + offset, n), expected) << offset << " " << n;
            ASSERT_EQ(~FlUpdateCrc32Tables(kFlCrc32Initial, d + offset, n), expected) << offset << " " << n;
        }
    }
    const uint32_t head = FlUpdateCrc32Tables(kFlCrc32Initial, d, 7);
    EXPECT_EQ(FlUpdateCrc32(head, d + 7, 4000), FlUpdateCrc32Tables(head, d + 7, 4000));
    std::printf("CRC-32 by carry-less multiplication: %s\n", FlCrc32Carryless() ? "yes" : "no");
}

}  // namespace
