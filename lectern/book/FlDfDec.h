// Inflate: decodes a raw deflate stream (no zlib or gzip wrapper, no trailer) from a source
// stream into a destination stream and answers the checksum of the decoded bytes (CRC-32
// unless the options ask for Adler-32). See FlDfDec.cpp for how the decoder is built.
#pragma once

#include "FlDfBase.h"
#include "classlib/Streams.h"

#include <cstdint>
#include <memory>
#include <string>

// Decodes from source's position, appending at dest's position; options may be nullptr
// (the defaults apply: plain deflate, CRC-32, no part size, no log, no passphrase). Leaves
// source just after the compressed data. Corrupt data raises EFlInflateError; the output
// produced before any error has reached dest.
uint32_t Inflate(TStream* source, TStream* dest, TFlDeflateHelper* options);
uint32_t InflateDefault(TStream* source, TStream* dest);

// Builds the shared fixed-code tables; Inflate does it on first use, and a program may call
// it at start-up so that no decode pays for it. Safe from any thread.
void FlDfInitFixedTrees();

// A write-only text log over a newly created file; lines end with CR LF.
class TFlLogger : public TStream {
public:
    explicit TFlLogger(const std::string& fileName);
    ~TFlLogger() override;
    TFlLogger(const TFlLogger&) = delete;
    TFlLogger& operator=(const TFlLogger&) = delete;

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    // Only asking for the current position (offset 0 from the current position) is allowed.
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

    void WriteLine(const std::string& text);
    void Flush();

    CL_CLASS_NAME(TFlLogger)

private:
    std::unique_ptr<TFileStream> FFile;
    std::string FPending;
    int64_t FPosition = 0;
};
