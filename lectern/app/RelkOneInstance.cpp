#include "lectern/app/RelkOneInstance.h"

#include <cstring>

namespace {

int32_t ReadInt32(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void WriteInt32(uint8_t* p, int32_t v) { std::memcpy(p, &v, sizeof v); }

}  // namespace

int32_t ReadInstanceWindow(const uint8_t* block) { return ReadInt32(block); }

void WriteInstanceWindow(uint8_t* block, int32_t window) { WriteInt32(block, window); }

void WriteInstanceParams(uint8_t* block, const std::vector<std::string>& params)
{
    const int count = params.size() > static_cast<size_t>(kInstanceMaxParams) ? kInstanceMaxParams
                                                                               : static_cast<int>(params.size());
    WriteInt32(block + 4, count);
    for (int i = 0; i < count; ++i) {
        uint8_t* slot = block + kInstanceSlotsOffset + i * kInstanceSlotBytes;
        const std::string& p = params[static_cast<size_t>(i)];
        const size_t n = p.size() < static_cast<size_t>(kInstanceParamChars) ? p.size() : kInstanceParamChars;
        std::memcpy(slot, p.data(), n);
        slot[n] = 0;
    }
}

std::vector<std::string> ReadInstanceParams(const uint8_t* block)
{
    int32_t count = ReadInt32(block + 4);
    if (count < 0) count = 0;
    if (count > kInstanceMaxParams) count = kInstanceMaxParams;
    std::vector<std::string> params;
    for (int i = 0; i < count; ++i) {
        const auto* slot = reinterpret_cast<const char*>(block + kInstanceSlotsOffset + i * kInstanceSlotBytes);
        params.emplace_back(slot, strnlen(slot, kInstanceParamChars));
    }
    return params;
}

std::u16string InstanceBlockName(const std::u16string& exePath, const std::u16string& bookKey)
{
    const size_t slash = exePath.find_last_of(u"\\/:");
    std::u16string name = slash == std::u16string::npos ? exePath : exePath.substr(slash + 1);
    if (bookKey.empty()) {
        return name;
    }
    constexpr uint64_t kFnvOffsetBasis = 14695981039346656037ull;
    constexpr uint64_t kFnvPrime = 1099511628211ull;
    uint64_t hash = kFnvOffsetBasis;
    for (const char16_t unit : bookKey) {
        for (const unsigned byte : {static_cast<unsigned>(unit & 0xFF), static_cast<unsigned>(unit >> 8)}) {
            hash = (hash ^ byte) * kFnvPrime;
        }
    }
    static const char16_t kHex[] = u"0123456789ABCDEF";
    name += u':';
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += kHex[(hash >> shift) & 15];
    }
    return name;
}
