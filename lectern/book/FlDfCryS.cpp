#include "FlDfCryS.h"

#include "FlUtils.h"

namespace {

constexpr uint32_t kKey0Initial = 0x12345678u;
constexpr uint32_t kKey1Initial = 0x23456789u;
constexpr uint32_t kKey2Initial = 0x34567890u;
constexpr uint32_t kKey1Multiplier = 134775813u;

uint32_t CrcByte(uint32_t crc, uint8_t value)
{
    return FlUpdateCrc32(crc, &value, 1);
}

}  // namespace

TFlDfCryptKeys::TFlDfCryptKeys(const std::string& passphrase) : FKeys{kKey0Initial, kKey1Initial, kKey2Initial}
{
    for (const char c : passphrase) {
        Update(static_cast<uint8_t>(c));
    }
}

uint8_t TFlDfCryptKeys::StreamByte() const
{
    const uint32_t temp = (FKeys[2] | 2) & 0xFFFF;
    return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TFlDfCryptKeys::Update(uint8_t plain)
{
    FKeys[0] = CrcByte(FKeys[0], plain);
    FKeys[1] = (FKeys[1] + (FKeys[0] & 0xFF)) * kKey1Multiplier + 1;
    FKeys[2] = CrcByte(FKeys[2], static_cast<uint8_t>(FKeys[1] >> 24));
}

TFlDfDecryptStream::TFlDfDecryptStream(TStream* source, const std::string& passphrase)
    : FSource(source), FKeys(passphrase)
{
}

bool TFlDfDecryptStream::VerifyHeader(uint32_t checkValue)
{
    uint8_t header[kFlDfCryptHeaderBytes];
    int32_t got = 0;
    while (got < kFlDfCryptHeaderBytes) {
        const int32_t n = FSource->Read(header + got, kFlDfCryptHeaderBytes - got);
        if (n <= 0) {
            break;
        }
        got += n;
    }
    for (int32_t i = 0; i < got; ++i) {
        header[i] ^= FKeys.StreamByte();
        FKeys.Update(header[i]);
    }
    FVerified = got == kFlDfCryptHeaderBytes && header[kFlDfCryptHeaderBytes - 1] == static_cast<uint8_t>(checkValue >> 24);
    if (!FVerified && got > 0) {
        FSource->Seek(-got, SeekOrigin::Current);
    }
    return FVerified;
}

int32_t TFlDfDecryptStream::Read(void* buffer, int32_t count)
{
    Assert(FVerified, "TFlDfDecryptStream.Read: the encryption header has not been verified");
    const int32_t n = FSource->Read(buffer, count);
    auto* data = static_cast<uint8_t*>(buffer);
    for (int32_t i = 0; i < n; ++i) {
        data[i] ^= FKeys.StreamByte();
        FKeys.Update(data[i]);
    }
    return n;
}

int32_t TFlDfDecryptStream::Write(const void*, int32_t)
{
    Assert(false, "TFlDfDecryptStream.Write: the decrypting stream is read-only");
    return 0;
}

int64_t TFlDfDecryptStream::Seek(int64_t offset, SeekOrigin origin)
{
    return FSource->Seek(offset, origin);
}
