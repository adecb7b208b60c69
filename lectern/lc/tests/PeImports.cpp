#include "PeImports.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Check(bool condition, const char* what)
{
    if (!condition) {
        throw std::runtime_error(std::string("malformed PE image: ") + what);
    }
}

std::uint32_t U32(const Bytes& b, std::size_t at)
{
    Check(at + 4 <= b.size(), "read past the end");
    std::uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

std::uint16_t U16(const Bytes& b, std::size_t at)
{
    Check(at + 2 <= b.size(), "read past the end");
    std::uint16_t v;
    std::memcpy(&v, &b[at], 2);
    return v;
}

struct TSection {
    std::uint32_t VirtualAddress, VirtualSize, RawOffset, RawSize;
};

std::size_t FileOffset(const std::vector<TSection>& sections, std::uint32_t rva)
{
    for (const TSection& s : sections) {
        const std::uint32_t size = s.VirtualSize > s.RawSize ? s.VirtualSize : s.RawSize;
        if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) {
            return rva - s.VirtualAddress + s.RawOffset;
        }
    }
    Check(false, "address outside every section");
    return 0;
}

std::string CString(const Bytes& b, std::size_t at)
{
    std::string s;
    for (; at < b.size() && b[at] != 0; ++at) {
        s += static_cast<char>(b[at]);
    }
    Check(at < b.size(), "unterminated name");
    return s;
}

}  // namespace

std::vector<std::string> PeImportedDlls(const std::string& imagePath)
{
    std::ifstream in(imagePath, std::ios::binary);
    Check(in.good(), "cannot open the image");
    const Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Check(U16(b, 0) == 0x5A4D, "no MZ header");
    const std::size_t pe = U32(b, 0x3C);
    Check(U32(b, pe) == 0x00004550, "no PE signature");
    const std::size_t fileHeader = pe + 4;
    const std::uint16_t sectionCount = U16(b, fileHeader + 2);
    const std::uint16_t optionalSize = U16(b, fileHeader + 16);
    const std::size_t optional = fileHeader + 20;
    const std::uint16_t magic = U16(b, optional);
    Check(magic == 0x10B || magic == 0x20B, "unknown optional header");
    const std::size_t directories = optional + (magic == 0x10B ? 96 : 112);
    std::vector<TSection> sections;
    const std::size_t sectionTable = optional + optionalSize;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t s = sectionTable + i * 40;
        sections.push_back({U32(b, s + 12), U32(b, s + 8), U32(b, s + 20), U32(b, s + 16)});
    }
    std::vector<std::string> names;
    // Entry 1: the import directory (20-byte descriptors, name at +12); entry 13: the delay-load
    // directory (32-byte descriptors, name at +4). Both end with an all-zero descriptor.
    const struct {
        int Index;
        std::size_t Size;
        std::size_t NameAt;
    } kinds[] = {{1, 20, 12}, {13, 32, 4}};
    for (const auto& kind : kinds) {
        const std::uint32_t rva = U32(b, directories + kind.Index * 8);
        if (rva == 0) {
            continue;
        }
        for (std::size_t at = FileOffset(sections, rva);; at += kind.Size) {
            const std::uint32_t nameRva = U32(b, at + kind.NameAt);
            if (nameRva == 0) {
                break;
            }
            names.push_back(CString(b, FileOffset(sections, nameRva)));
        }
    }
    return names;
}
