#include "FlDfBase.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr uint32_t kAdlerModulus = 65521;
// Both sums stay far below 2^32 over a run of this many bytes before they are reduced.
constexpr size_t kAdlerRunBytes = 4096;

// A lock for a few instructions' worth of work: one atomic exchange when free, which costs a
// small decode far less than a mutex of the 32-bit runtime; a waiter yields its time slice.
class TSpinLock {
public:
    void lock()
    {
        while (FFlag.test_and_set(std::memory_order_acquire)) {
            std::this_thread::yield();
        }
    }
    void unlock() { FFlag.clear(std::memory_order_release); }

private:
    std::atomic_flag FFlag = ATOMIC_FLAG_INIT;
};

// Spare buffers shared by all decodes of the process. A decode takes its few large buffers
// from here and gives them back when it ends, so steady decoding allocates nothing. One lock
// guards the slots; a decode takes and gives only a handful of buffers and holds the lock
// only to scan the slots, so it is never contended for long. (A per-thread cache would avoid
// the lock, but objects with destructors in thread-local storage are not reliable at thread
// exit with this runtime.)
class TSpareBuffers {
public:
    uint8_t* Take(size_t bytes)
    {
        std::lock_guard<TSpinLock> lock(FLock);
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
        std::lock_guard<TSpinLock> lock(FLock);
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
    // A decode holds at most five buffers (bytes, window, three tables): room for more than
    // eight decodes at once.
    static constexpr int kSpareSlots = 48;

    TSpinLock FLock;
    TSlot FSlots[kSpareSlots];
};

// Never freed: decodes (and the shared fixed trees) may give buffers back until the process
// ends, so the spares must outlive every other static object.
TSpareBuffers& Spares()
{
    static TSpareBuffers* spares = new TSpareBuffers;
    return *spares;
}

}  // namespace

void TFlDfBufferReturn::operator()(uint8_t* buffer) const
{
    if (!Spares().Give(buffer, FBytes)) {
        delete[] buffer;
    }
}

TFlDfBuffer FlDfTakeBuffer(size_t bytes)
{
    uint8_t* buffer = Spares().Take(bytes);
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
