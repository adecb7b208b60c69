#include "FlDfStrm.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxPeekBits = 32;
constexpr int kMaxReadBits = 16;
constexpr int kBitsPerByte = 8;
// ReadBuffer reads this many bytes or more straight from the source when nothing is buffered.
constexpr int32_t kDirectReadBytes = 4096;

}  // namespace

TFlDfInBitStream::TFlDfInBitStream(TStream* source, TFlProgressEvent onProgress, int32_t streamSize)
    : FSource(source),
      FBuffer(FlDfTakeBuffer(kFlDfInBufferBytes)),
      FOnProgress(onProgress),
      FStreamSize(streamSize)
{
}

TFlDfInBitStream::~TFlDfInBitStream()
{
    try {
        Release();
    } catch (...) {
        // A source that cannot seek back keeps its position; nothing may escape here.
    }
}

void TFlDfInBitStream::Release()
{
    if (FReleased) {
        return;
    }
    FReleased = true;
    const int64_t unread = (BufferedBytes() - PaddingBuffered()) + FBitCount / kBitsPerByte;
    if (unread > 0) {
        FSource->Seek(-unread, SeekOrigin::Current);
    }
}

bool TFlDfInBitStream::ibsFillBuffer()
{
    const int32_t kept = BufferedBytes();
    Assert(kept < kFlDfWordBytes, "TFlDfInBitStream.ibsFillBuffer: the buffer is not almost empty");
    std::memmove(FBuffer.get(), FBuffer.get() + FPos, static_cast<size_t>(kept));
    FPos = 0;
    FEnd = kept;
    const int32_t got = FSource->Read(FBuffer.get() + kept, kFlDfInBufferBytes - kept);
    FEnd += std::max(got, 0);
    if (FEnd == 0) {
        return false;
    }
    if (got <= 0) {
        const int32_t partial = FEnd % kFlDfWordBytes;
        if (partial != 0) {
            FZeroBytes = kFlDfWordBytes - partial;
            std::memset(FBuffer.get() + FEnd, 0, static_cast<size_t>(FZeroBytes));
            FEnd += FZeroBytes;
        }
    } else if (FOnProgress.Assigned()) {
        FByteCount += got;
        if (FStreamSize > 0) {
            FOnProgress(static_cast<int32_t>(std::nearbyint(static_cast<double>(FByteCount) * 100.0 / FStreamSize)));
        }
    }
    return true;
}

bool TFlDfInBitStream::EnsureWord()
{
    while (BufferedBytes() < kFlDfWordBytes) {
        const int32_t before = BufferedBytes();
        if (FZeroBytes > 0 || !ibsFillBuffer() || BufferedBytes() == before) {
            return BufferedBytes() >= kFlDfWordBytes;
        }
    }
    return true;
}

uint32_t TFlDfInBitStream::PeekBits(int n)
{
    FPeeked = n;
    const uint32_t mask = FlDfLowBits(static_cast<uint32_t>(n));
    if (static_cast<uint32_t>(n) <= FBitCount) {
        return FBitBuf & mask;
    }
    if (!EnsureWord()) {
        return FBitBuf & mask;
    }
    const uint64_t look = FBitBuf | static_cast<uint64_t>(FlDfLoadWord(FBuffer.get() + FPos)) << FBitCount;
    return static_cast<uint32_t>(look) & mask;
}

uint32_t TFlDfInBitStream::Take(int n, const char* exhaustedMessage)
{
    const auto count = static_cast<uint32_t>(n);
    if (count <= FBitCount) {
        const uint32_t value = FBitBuf & FlDfLowBits(count);
        FBitBuf = count >= 32 ? 0 : FBitBuf >> count;
        FBitCount -= count;
        return value;
    }
    FlDfCheck(EnsureWord(), exhaustedMessage);
    const uint32_t word = FlDfLoadWord(FBuffer.get() + FPos);
    FPos += kFlDfWordBytes;
    const int32_t realEnd = FEnd - FZeroBytes;
    const uint32_t paddingBits = FPos > realEnd ? static_cast<uint32_t>(FPos - realEnd) * kBitsPerByte : 0;
    const uint32_t need = count - FBitCount;
    FlDfCheck(need <= kFlDfWordBits - paddingBits, exhaustedMessage);
    const uint32_t value = static_cast<uint32_t>(FBitBuf | static_cast<uint64_t>(word) << FBitCount) & FlDfLowBits(count);
    FBitBuf = need >= 32 ? 0 : word >> need;
    FBitCount = kFlDfWordBits - paddingBits - need;
    return value;
}

void TFlDfInBitStream::DiscardBits(int n)
{
    FlDfCheck(n >= 1 && n <= kMaxPeekBits,
              "count of bits must be between 1 and 32 inclusive [TFlDfInBitStream.DiscardBits]");
    Assert(n <= FPeeked, "TFlDfInBitStream.DiscardBits: discarding more bits than were peeked");
    FPeeked = 0;
    Take(n, "no more compressed data in stream [TFlDfInBitStream.DiscardBits]");
}

uint32_t TFlDfInBitStream::ReadBit()
{
    return Take(1, "no more compressed data in stream [TFlDfInBitStream.ReadBit]");
}

uint32_t TFlDfInBitStream::ReadBits(int n)
{
    FlDfCheck(n >= 1 && n <= kMaxReadBits,
              "count of bits must be between 1 and 16 inclusive [TFlDfInBitStream.ReadBits]");
    return Take(n, "no more compressed data in stream [TFlDfInBitStream.ReadBits]");
}

void TFlDfInBitStream::AlignToByte()
{
    const uint32_t drop = FBitCount % kBitsPerByte;
    FBitBuf >>= drop;
    FBitCount -= drop;
}

void TFlDfInBitStream::ReadBuffer(void* buffer, int32_t count)
{
    static const char* const kExhausted = "no more compressed data in stream [TFlDfInBitStream.ReadBuffer]";
    Assert(FBitCount % kBitsPerByte == 0, "TFlDfInBitStream.ReadBuffer: the bit stream is not byte-aligned");
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0 && FBitCount > 0) {
        *out++ = static_cast<uint8_t>(FBitBuf);
        FBitBuf >>= kBitsPerByte;
        FBitCount -= kBitsPerByte;
        --count;
    }
    while (count > 0) {
        const int32_t real = BufferedBytes() - PaddingBuffered();
        if (real == 0 && count >= kDirectReadBytes && FZeroBytes == 0 && !FOnProgress.Assigned()) {
            // A long run of stored bytes goes from the source straight to its place; the byte
            // buffer stays empty, so nothing is to be given back for it on release.
            FPos = FEnd = 0;
            const int32_t got = std::max(FSource->Read(out, count), 0);
            out += got;
            count -= got;
            if (got > 0) {
                continue;
            }
        }
        if (real == 0) {
            FlDfCheck(FZeroBytes == 0 && ibsFillBuffer() && BufferedBytes() - PaddingBuffered() > 0, kExhausted);
            continue;
        }
        const int32_t piece = std::min(count, real);
        std::memcpy(out, FBuffer.get() + FPos, static_cast<size_t>(piece));
        FPos += piece;
        out += piece;
        count -= piece;
    }
}

TFlDfBitCursor TFlDfInBitStream::OpenCursor() const
{
    const uint8_t* base = FBuffer.get();
    // When fewer bytes than a symbol's margin remain, the limit lies before FNext and the
    // cursor decodes nothing.
    const int32_t limit = FEnd - FZeroBytes - kFlDfCursorMarginBytes;
    return TFlDfBitCursor{base + FPos, base + std::max(limit, 0), FBitBuf, FBitCount, limit >= FPos};
}

void TFlDfInBitStream::CloseCursor(const TFlDfBitCursor& cursor)
{
    FPos = static_cast<int32_t>(cursor.FNext - FBuffer.get());
    FBitCount = cursor.FBitCount;
    FBitBuf = cursor.FBitBuf & FlDfLowBits(FBitCount);
}
