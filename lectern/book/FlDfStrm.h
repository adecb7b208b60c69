// TFlDfInBitStream: the decoder's bit reader.
//
// Deflate packs its codes least-significant bit first. The reader keeps a 16384-byte byte
// buffer filled from the source and a 32-bit bit buffer holding the next FBitCount unread
// bits in its low end.
//
// Invariants:
//  - 0 <= FBitCount <= 31 between calls, and the bits of FBitBuf above FBitCount are zero;
//  - the bit buffer is refilled one little-endian 32-bit word at a time, only when a read or
//    discard needs more bits than it holds; a peek combines the bits held with the next word
//    without consuming that word, so a peek always sees at least 32 bits;
//  - at the end of the source the last 1 to 3 bytes are padded with zero bytes to a whole
//    word. The padding may serve a peek, but its bits are never counted in FBitCount, so
//    consuming them raises "no more compressed data ..." and a truncated stream cannot decode
//    as a success. Past the padding a peek sees zero bits.
// When the reader is released it moves the source back to just after the last byte whose
// bits were used: unread bytes of the byte buffer (not the padding) and whole unread bytes
// of the bit buffer are given back.
//
// The decoding loop may take the reader's state into local variables (OpenCursor) while the
// byte buffer holds enough bytes for a whole symbol, and hands it back with CloseCursor.
#pragma once

#include "FlDfBase.h"
#include "classlib/Streams.h"

#include <cstdint>
#include <cstring>
#include <memory>

constexpr int32_t kFlDfInBufferBytes = 16384;
constexpr int kFlDfWordBytes = 4;
constexpr int kFlDfWordBits = 32;
// The decoding loop refills its bit buffer from the bytes with one word load, to at least
// kFlDfRefillBits bits (a byte loaded in part is loaded again by the next refill), and refills
// before each code and before extra bits it cannot be sure to hold: at most
// kFlDfRefillsPerSymbol times per symbol (a deflate64 length code, its 16 extra bits, a
// distance code, its extra bits), each consuming at most 3 bytes and reading one word.
constexpr uint32_t kFlDfRefillBits = 24;
constexpr int32_t kFlDfRefillsPerSymbol = 4;
constexpr int32_t kFlDfCursorMarginBytes = kFlDfRefillsPerSymbol * (kFlDfWordBytes - 1) + kFlDfWordBytes;

inline uint32_t FlDfLoadWord(const uint8_t* p)
{
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap32(word);
#endif
    return word;
}

// Mask of the low n bits, n from 0 to 32.
inline uint32_t FlDfLowBits(uint32_t n)
{
    return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1;
}

// The reader's state as the decoding loop holds it in registers: FNext is the next unread
// word, FLimit the last position from which a whole symbol may be decoded without a refill.
struct TFlDfBitCursor {
    const uint8_t* FNext;
    const uint8_t* FLimit;
    uint32_t FBitBuf;
    uint32_t FBitCount;
    bool FUsable;   // at least one symbol fits before FLimit
};

class TFlDfInBitStream : public TObject {
public:
    TFlDfInBitStream(TStream* source, TFlProgressEvent onProgress, int32_t streamSize);
    ~TFlDfInBitStream() override;
    TFlDfInBitStream(const TFlDfInBitStream&) = delete;
    TFlDfInBitStream& operator=(const TFlDfInBitStream&) = delete;

    uint32_t PeekBits(int n);       // n from 0 to 32
    void DiscardBits(int n);        // n from 1 to 32, at most the count last peeked
    uint32_t ReadBit();
    uint32_t ReadBits(int n);       // n from 1 to 16
    void ReadBuffer(void* buffer, int32_t count);   // only when byte-aligned
    void AlignToByte();
    // Moves the 0 to 3 unread bytes to the buffer's start and reads up to the rest; false
    // when nothing at all is buffered afterwards.
    bool ibsFillBuffer();

    // Seeks the source back to just after the last byte used; done once.
    void Release();

    TFlDfBitCursor OpenCursor() const;
    void CloseCursor(const TFlDfBitCursor& cursor);

    CL_CLASS_NAME(TFlDfInBitStream)

private:
    int32_t BufferedBytes() const { return FEnd - FPos; }
    int32_t PaddingBuffered() const { return FZeroBytes < BufferedBytes() ? FZeroBytes : BufferedBytes(); }
    // Makes a whole word available at FPos when the source still has bytes; false when not.
    bool EnsureWord();
    // Reads and consumes n bits (1 to 32); raises with the message when the data ends.
    uint32_t Take(int n, const char* exhaustedMessage);

    TStream* FSource;
    TFlDfBuffer FBuffer;
    int32_t FPos = 0;
    int32_t FEnd = 0;
    uint32_t FBitBuf = 0;
    uint32_t FBitCount = 0;
    int FPeeked = 0;
    int32_t FZeroBytes = 0;
    TFlProgressEvent FOnProgress;
    int64_t FByteCount = 0;
    int32_t FStreamSize;
    bool FReleased = false;
};
