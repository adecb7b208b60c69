#include "FlDfOutW.h"

#include "FlDfStrm.h"
#include "FlUtils.h"

#include <algorithm>

TFlDfOutputWindow::TFlDfOutputWindow(TStream* dest, TFlLogger* log, bool testOnly, int32_t partSize,
                                     TFlDfChecksumKind checksumKind, bool deflate64)
    : FDest(dest),
      FLog(log),
      FTestOnly(testOnly),
      FChecksumKind(checksumKind),
      FChecksum(checksumKind == TFlDfChecksumKind::Crc32 ? kFlCrc32Initial : kFlAdler32Initial),
      FWritePoint(deflate64 ? kFlDfWritePoint64 : kFlDfWritePoint),
      FBufferBytes(FWritePoint + (deflate64 ? kFlDfMaxMatch64 : kFlDfMaxMatch)),
      FBuffer(FlDfTakeBuffer(static_cast<size_t>(FBufferBytes + kFlDfCopyOverrunBytes)))
{
    FPartSize = partSize > 0 ? std::min(partSize, FWritePoint) : 0;
}

void TFlDfOutputWindow::AddLiteral(uint8_t value)
{
    FBuffer[static_cast<size_t>(FPos++)] = value;
    CheckLimits();
}

void TFlDfOutputWindow::AddCopy(uint32_t length, uint32_t distance)
{
    FlDfCheck(distance <= static_cast<uint32_t>(FPos), "copy distance reaches before the start of the output [DecodeData]");
    FlDfCopyMatch(FBuffer.get() + FPos, length, distance);
    FPos += static_cast<int32_t>(length);
    CheckLimits();
}

void TFlDfOutputWindow::AddBuffer(const uint8_t* data, int32_t count)
{
    while (count > 0) {
        const int32_t piece = std::min(count, FWritePoint - FPos);
        std::memcpy(FBuffer.get() + FPos, data, static_cast<size_t>(piece));
        FPos += piece;
        data += piece;
        count -= piece;
        CheckLimits();
    }
}

void TFlDfOutputWindow::AddStored(TFlDfInBitStream& bits, int32_t count)
{
    while (count > 0) {
        const int32_t piece = std::min({count, kFlDfStoredPieceBytes, FWritePoint - FPos});
        bits.ReadBuffer(FBuffer.get() + FPos, piece);
        FPos += piece;
        count -= piece;
        CheckLimits();
    }
}

void TFlDfOutputWindow::CheckLimits()
{
    if (FPartSize > 0 && FPos >= FPartSize) {
        throw EFlPartSizedInflate("Inflate: the part size has been reached");
    }
    // A deflate64 match (up to 65538 bytes) may pass the write point by more than one slide.
    while (FPos >= FWritePoint) {
        Slide();
    }
}

void TFlDfOutputWindow::Emit(int32_t count)
{
    const uint8_t* data = FBuffer.get();
    if (FChecksumKind == TFlDfChecksumKind::Crc32) {
        FChecksum = FlUpdateCrc32(FChecksum, data, static_cast<size_t>(count));
    } else {
        FChecksum = FlUpdateAdler32(FChecksum, data, static_cast<size_t>(count));
    }
    if (!FTestOnly) {
        FDest->WriteBuffer(data, count);
    }
    FWritten += count;
}

void TFlDfOutputWindow::Slide()
{
    Emit(kFlDfSlideBytes);
    FPos -= kFlDfSlideBytes;
    std::memmove(FBuffer.get(), FBuffer.get() + kFlDfSlideBytes, static_cast<size_t>(FPos));
}

void TFlDfOutputWindow::Flush()
{
    if (FPos > 0) {
        const int32_t count = FPos;
        FPos = 0;
        Emit(count);
    }
}

uint32_t TFlDfOutputWindow::Checksum()
{
    Flush();
    return FChecksumKind == TFlDfChecksumKind::Crc32 ? ~FChecksum : FChecksum;
}

TFlDfOutCursor TFlDfOutputWindow::OpenCursor()
{
    uint8_t* base = FBuffer.get();
    return TFlDfOutCursor{base, base + FPos, base + (FPartSize > 0 ? FPartSize : FWritePoint)};
}

void TFlDfOutputWindow::CloseCursor(const TFlDfOutCursor& cursor)
{
    FPos = static_cast<int32_t>(cursor.FNext - cursor.FBase);
}
