// UTF-8 and wide text into small buffers. Each destination is a heap block of exactly the
// size passed, so AddressSanitizer reports any byte written past it.
#include "lectern/lc/lcInfo.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const int room = data[0] % 16;  // 0..15 units or bytes of destination
    const auto* src = reinterpret_cast<const char*>(data + 1);
    const auto len = static_cast<int32_t>(size - 1);

    // UTF-8 to wide.
    const int32_t needed = Utf8ToWideBuffer(nullptr, 0, src, len);
    auto units = std::make_unique<char16_t[]>(static_cast<size_t>(room));
    const int32_t got = Utf8ToWideBuffer(units.get(), room, src, len);
    if (needed != -1 && needed < 1) {
        std::abort();
    }
    if (room == 0) {
        if (got != 0 && got != -1) {
            std::abort();
        }
    } else if (got != -1) {
        // Written units and their terminating zero fit, and never exceed what was needed; a
        // valid input never fails.
        if (got < 1 || got > room || (needed != -1 && got > needed) || units[static_cast<size_t>(got - 1)] != 0) {
            std::abort();
        }
    } else if (needed != -1) {
        std::abort();
    }

    // Wide to UTF-8, reading the input as UTF-16 units.
    const int32_t count = len / 2;
    auto wide = std::make_unique<char16_t[]>(static_cast<size_t>(count) + 1);
    std::memcpy(wide.get(), src, static_cast<size_t>(count) * 2);
    const int32_t bytesNeeded = WideToUtf8Buffer(nullptr, 0, wide.get(), count);
    auto bytes = std::make_unique<char[]>(static_cast<size_t>(room));
    const int32_t written = WideToUtf8Buffer(bytes.get(), room, wide.get(), count);
    if (room == 0 ? written != 0 : (written < 1 || written > room || written > bytesNeeded)) {
        std::abort();
    }

    // Whole texts: what the encoder writes, the decoder reads back unit for unit.
    const std::u16string text(wide.get(), static_cast<size_t>(count));
    if (Utf8DecodeText(Utf8EncodeText(text)) != text) {
        std::abort();
    }
    return 0;
}
