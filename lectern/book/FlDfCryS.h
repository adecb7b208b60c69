// TFlDfDecryptStream: reads a source encrypted with the zip format's traditional encryption.
//
// Three 32-bit keys start from fixed values and are stirred with every passphrase byte;
// each encrypted byte is decrypted with a byte derived from the third key, and the plain
// byte then stirs the keys again. The data begins with a 12-byte encryption header whose last
// plain byte must equal the high byte of the check value: VerifyHeader tests it, and on a
// mismatch moves the source back to where the header began. The stream is read-only and
// yields data only after a verified header. Seeks go to the source unchanged (the bit reader
// uses them to give back bytes it did not need).
#pragma once

#include "classlib/Streams.h"

#include <cstdint>
#include <string>

constexpr int32_t kFlDfCryptHeaderBytes = 12;

// The traditional zip key schedule, shared by decryption and by tests that encrypt.
class TFlDfCryptKeys {
public:
    explicit TFlDfCryptKeys(const std::string& passphrase);
    // The byte that encrypts or decrypts the next data byte.
    uint8_t StreamByte() const;
    // Stirs the keys with a plain byte.
    void Update(uint8_t plain);

private:
    uint32_t FKeys[3];
};

class TFlDfDecryptStream : public TStream {
public:
    TFlDfDecryptStream(TStream* source, const std::string& passphrase);

    // Reads and decrypts the header; false (source moved back) when the passphrase is wrong.
    bool VerifyHeader(uint32_t checkValue);

    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, SeekOrigin origin) override;

    CL_CLASS_NAME(TFlDfDecryptStream)

private:
    TStream* FSource;
    TFlDfCryptKeys FKeys;
    bool FVerified = false;
};
