// Options of one inflate, the decoder's exception classes, the corrupt-input check and
// Adler-32.
//
// TFlDeflateHelper carries every option of a decode and receives its two results (the
// compressed and the decoded size). The decoder reads only the check value, the log file
// name, the progress handler, the option bits, the part size, the passphrase and the stream
// size; the compression tuning values are kept so that one options object serves both
// directions.
//
// Every test of the compressed data goes through FlDfCheck, which raises
// EFlInternalInflateError with the cause; Inflate turns that into EFlInflateError.
#pragma once

#include "classlib/Events.h"
#include "classlib/SysUtils.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

CL_DECLARE_EXCEPTION(EFlInflateError, ECorruptInput)
CL_DECLARE_EXCEPTION(EFlInternalInflateError, ECorruptInput)
CL_DECLARE_EXCEPTION(EFlPartSizedInflate, Exception)
CL_DECLARE_EXCEPTION(EFlAbortProgress, Exception)
CL_DECLARE_EXCEPTION(EFlInflatePasswordError, Exception)

// Raises EFlInternalInflateError with the message; kept out of line so that the checks in
// the decoding loops stay small.
[[noreturn]] void FlDfRaiseCorrupt(const char* message);

// The one test for corrupt input: every bound the compressed data must respect is checked here.
inline void FlDfCheck(bool valid, const char* message)
{
    if (!valid) [[unlikely]] {
        FlDfRaiseCorrupt(message);
    }
}

// The decoder's large buffers (the bit reader's bytes, the window, the decode tables),
// kept between decodes: a decode takes them from the process's few spare buffers of the size
// it needs, or allocates them, and gives them back when it ends, so that
// decoding many small entries does not allocate them every time. The contents of a buffer
// taken are undefined.
struct TFlDfBufferReturn {
    size_t FBytes;
    void operator()(uint8_t* buffer) const;
};
using TFlDfBuffer = std::unique_ptr<uint8_t[], TFlDfBufferReturn>;
TFlDfBuffer FlDfTakeBuffer(size_t bytes);

// Option bits read by the decoder.
constexpr uint32_t kFlDfOptionDeflate64 = 16;          // 64 KB distances, symbols 285, 30 and 31 widened
constexpr uint32_t kFlDfOptionAdler32 = 32;            // Adler-32 instead of CRC-32
constexpr uint32_t kFlDfOptionTestOnly = 1073741824;   // decode and checksum, write nothing
constexpr uint32_t kFlDfDefaultOptions = 15;

// The progress handler receives a percentage of the source consumed; it stops the decode by
// raising EFlAbortProgress.
using TFlProgressEvent = TEvent<int32_t>;

class TFlDeflateHelper : public TObject {
public:
    // Copies every option and both results.
    void Assign(const TFlDeflateHelper& source);

    // Compression tuning, not read by the decoder.
    int32_t FAmpleLength = 8;
    int32_t FChainLength = 32;
    int32_t FMaxLazyLength = 16;
    int32_t FWindowSize = 32768;
    char FCompressionOption = 'n';

    uint32_t FCheckValue = 0xFFFFFFFFu;   // -1; its high byte verifies an encryption header
    std::string FLogFile;
    TFlProgressEvent FOnProgress;
    uint32_t FOptions = kFlDfDefaultOptions;
    int32_t FPartSize = 0;
    std::string FPassphrase;
    int32_t FStreamSize = 0;

    // Results of the last decode.
    int32_t FCompressedSize = 0;
    int32_t FDecodedSize = 0;

    CL_CLASS_NAME(TFlDeflateHelper)
};

constexpr uint32_t kFlAdler32Initial = 1;

// Adler-32 (RFC 1950) continued over data from the running value adler.
uint32_t FlUpdateAdler32(uint32_t adler, const uint8_t* data, size_t length);
