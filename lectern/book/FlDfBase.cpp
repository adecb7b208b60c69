#include "FlDfBase.h"

#include <algorithm>
#include <utility>

namespace {

constexpr uint32_t kAdlerModulus = 65521;
// Both sums stay far below 2^32 over a run of this many bytes before they are reduced.
constexpr size_t kAdlerRunBytes = 4096;

// Whether this thread's spare buffers exist: buffers given back on a thread that has none
// (yet, or any more, as the shared fixed trees' at exit) are freed.
thread_local bool tSpareBuffersLive = false;

// A thread's spare buffers; freed when the thread ends.
class TSpareBuffers {
public:
    TSpareBuffers() { tSpareBuffersLive = true; }
    TSpareBuffers(const TSpareBuffers&) = delete;
    TSpareBuffers& operator=(const TSpareBuffers&) = delete;
    ~TSpareBuffers()
    {
        tSpareBuffersLive = false;
        for (const TSlot& slot : FSlots) {
            delete[] slot.FBuffer;
        }
    }

    uint8_t* Take(size_t bytes)
    {
        for (TSlot& slot : FSlots) {
            if (slot.FBuffer != nullptr && slot.FBytes == bytes) {
                return std::exchange(slot.FBuffer, nullptr);
            }
        }
        return nullptr;
    }

    // False when every slot is in use: the caller frees the buffer.
    bool Give(uint8_t* buffer, size_t bytes)
    {
        for (TSlot& slot : FSlots) {
            if (slot.FBuffer == nullptr) {
                slot = TSlot{buffer, bytes};
                return true;
            }
        }
        return false;
    }

private:
    struct TSlot {
        uint8_t* FBuffer = nullptr;
        size_t FBytes = 0;
    };
    // A decode holds at most six buffers (bytes, window, stored piece, three tables); two more
    // slots keep buffers of the other window size.
    TSlot FSlots[8];
};

thread_local TSpareBuffers tSpareBuffers;

}  // namespace

void TFlDfBufferReturn::operator()(uint8_t* buffer) const
{
    if (!tSpareBuffersLive || !tSpareBuffers.Give(buffer, FBytes)) {
        delete[] buffer;
    }
}

TFlDfBuffer FlDfTakeBuffer(size_t bytes)
{
    uint8_t* buffer = tSpareBuffers.Take(bytes);
    return TFlDfBuffer(buffer != nullptr ? buffer : new uint8_t[bytes], TFlDfBufferReturn{bytes});
}

void FlDfRaiseCorrupt(const char* message)
{
    throw EFlInternalInflateError(message);
}

void TFlDeflateHelper::Assign(const TFlDeflateHelper& source)
{
    *this = source;
}

uint32_t FlUpdateAdler32(uint32_t adler, const uint8_t* data, size_t length)
{
    uint32_t a = adler & 0xFFFF;
    uint32_t b = adler >> 16;
    while (length > 0) {
        const size_t run = std::min(length, kAdlerRunBytes);
        for (size_t i = 0; i < run; ++i) {
            a += data[i];
            b += a;
        }
        a %= kAdlerModulus;
        b %= kAdlerModulus;
        data += run;
        length -= run;
    }
    return b << 16 | a;
}
