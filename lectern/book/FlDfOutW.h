// TFlDfOutputWindow: collects the decoded bytes, serves the copies that reach back into them,
// keeps the checksum and writes to the destination in 32 KB pieces.
//
// The buffer always holds at least the last 32 KB produced (64 KB with deflate64) below the
// current position. Output grows until the write point; then the oldest 32 KB are checksummed,
// written and the rest moves down ("slide"). Between additions the position stays below the
// write point, so a whole longest match fits behind it. The buffer has kFlDfCopyOverrunBytes
// spare bytes at its end because the copy loop writes in whole 8- or 16-byte steps and may run
// up to 15 bytes past a match's end; those bytes are overwritten by later output before they count.
#pragma once

#include "FlDfBase.h"
#include "classlib/Streams.h"

#include <cstdint>
#include <cstring>
#include <memory>

class TFlLogger;
class TFlDfInBitStream;

constexpr int32_t kFlDfSlideBytes = 32768;
constexpr int32_t kFlDfWritePoint = 65536;
constexpr int32_t kFlDfWritePoint64 = 98304;
constexpr int32_t kFlDfMaxMatch = 258;
constexpr int32_t kFlDfMaxMatch64 = 3 + 65535;   // length symbol 285 with 16 extra bits
constexpr int32_t kFlDfCopyStepBytes = 8;
constexpr int32_t kFlDfWideCopyStepBytes = 16;   // for copies from at least 16 bytes back
constexpr int32_t kFlDfCopyOverrunBytes = kFlDfWideCopyStepBytes;
constexpr int32_t kFlDfStoredPieceBytes = 16384;

enum class TFlDfChecksumKind { Crc32, Adler32 };

// Repeats the len bytes that start dist bytes behind out, as a byte-by-byte forward copy
// would (a copy that overlaps itself repeats its last dist bytes). May write up to
// kFlDfCopyOverrunBytes - 1 bytes past out + len.
inline void FlDfCopyMatch(uint8_t* out, uint32_t len, uint32_t dist)
{
    uint8_t* const end = out + len;
    if (dist == 1) {
        // A run of one byte, in whole steps (no call: the decoding loop stays a leaf).
        const uint32_t run = out[-1] * 0x01010101u;
        while (out < end) {
            std::memcpy(out, &run, sizeof run);
            std::memcpy(out + sizeof run, &run, sizeof run);
            out += kFlDfCopyStepBytes;
        }
        return;
    }
    if (dist < static_cast<uint32_t>(kFlDfCopyStepBytes)) {
        // The output repeats with period dist, so also with any multiple of it: copy bytes
        // until the period reaches a whole step, then go on in steps.
        // The smallest multiple of dist (2 to 7) that is at least a step: 8, 9, 8, 10, 12, 14.
        static constexpr uint8_t kPeriod[kFlDfCopyStepBytes] = {0, 0, 8, 9, 8, 10, 12, 14};
        const uint32_t period = kPeriod[dist];
        const uint8_t* from = out - dist;
        const uint8_t* const periodEnd = out + period;
        while (out < periodEnd && out < end) {
            *out++ = *from++;
        }
        dist = period;
    }
    const uint8_t* from = out - dist;
    if (dist >= static_cast<uint32_t>(kFlDfWideCopyStepBytes)) {
        // Two 8-byte moves, not one 16-byte vector move: in the 32-bit build a vector value
        // makes the decoding loop realign its stack frame, which costs it a register.
        while (out < end) {
            std::memcpy(out, from, kFlDfCopyStepBytes);
            std::memcpy(out + kFlDfCopyStepBytes, from + kFlDfCopyStepBytes, kFlDfCopyStepBytes);
            out += kFlDfWideCopyStepBytes;
            from += kFlDfWideCopyStepBytes;
        }
        return;
    }
    // Each step reads bytes already written: dist >= the step size.
    while (out < end) {
        std::memcpy(out, from, kFlDfCopyStepBytes);
        out += kFlDfCopyStepBytes;
        from += kFlDfCopyStepBytes;
    }
}

// The window's state as the decoding loop holds it in registers.
struct TFlDfOutCursor {
    uint8_t* FBase;
    uint8_t* FNext;
    uint8_t* FLimit;   // the loop leaves at or past it: the write point or the part size
};

class TFlDfOutputWindow : public TObject {
public:
    TFlDfOutputWindow(TStream* dest, TFlLogger* log, bool testOnly, int32_t partSize, TFlDfChecksumKind checksumKind,
                      bool deflate64);
    TFlDfOutputWindow(const TFlDfOutputWindow&) = delete;
    TFlDfOutputWindow& operator=(const TFlDfOutputWindow&) = delete;

    void AddLiteral(uint8_t value);
    void AddCopy(uint32_t length, uint32_t distance);
    void AddBuffer(const uint8_t* data, int32_t count);
    // Adds count stored bytes read from bits straight into the buffer (ReadBuffer's errors
    // apply), in pieces of at most kFlDfStoredPieceBytes that end at the write point, sliding
    // between pieces: data cut off in a piece leave the pieces before it produced.
    void AddStored(TFlDfInBitStream& bits, int32_t count);
    // Bytes produced: those written (or counted in test-only mode) plus those held.
    int64_t Position() const { return FWritten + FPos; }
    // Checksums and writes every byte still held.
    void Flush();
    // Flushes and gives the final checksum.
    uint32_t Checksum();

    TFlDfOutCursor OpenCursor();
    void CloseCursor(const TFlDfOutCursor& cursor);
    // After additions: raises EFlPartSizedInflate at the part size, slides at the write point.
    void CheckLimits();

    CL_CLASS_NAME(TFlDfOutputWindow)

private:
    void Emit(int32_t count);
    void Slide();

    TStream* FDest;
    [[maybe_unused]] TFlLogger* FLog;   // kept for diagnostics; the decoder logs only in Inflate
    bool FTestOnly;
    int32_t FPartSize;
    TFlDfChecksumKind FChecksumKind;
    uint32_t FChecksum;
    int32_t FWritePoint;
    int32_t FBufferBytes;
    TFlDfBuffer FBuffer;
    int32_t FPos = 0;
    int64_t FWritten = 0;
};
