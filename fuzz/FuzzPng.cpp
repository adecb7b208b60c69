// A mutated PNG stream loaded by TPngPicture. Any input may only end in one of the codec's
// corrupt-input exceptions or the stream's read error (ECorruptInput both); a picture that
// loads is also blended, read pixel by pixel, saved and loaded again, which must then succeed
// (once the texts whose keywords the format forbids, which a save refuses, are taken out).
#include "lectern/png/pngpicture.h"

#include <cstdint>
#include <vector>

namespace {

// Pictures beyond this many pixels are left out, so that a header alone cannot make the
// fuzzer spend its memory on one zeroed bitmap.
constexpr uint64_t kFuzzMaxPixels = 1u << 20;

bool Init()
{
    PngPictureInitialize();
    return true;
}

bool Oversized(const uint8_t* data, size_t size)
{
    if (size < 24) {
        return false;
    }
    const auto be32 = [data](size_t at) {
        return uint32_t(data[at]) << 24 | uint32_t(data[at + 1]) << 16 | uint32_t(data[at + 2]) << 8 | data[at + 3];
    };
    return uint64_t(be32(16)) * be32(20) > kFuzzMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool initialized = Init();
    (void)initialized;
    if (Oversized(data, size)) {
        return 0;
    }
    TMemoryStream input;
    input.WriteBuffer(data, int64_t(size));
    input.SetPosition(0);
    TPngPicture picture;
    try {
        picture.LoadFromStream(input);
    } catch (const ECorruptInput&) {
        return 0;  // damaged or unsupported; any other exception escapes and is a finding
    }
    const uint32_t width = uint32_t(picture.Width()), height = uint32_t(picture.Height());
    std::vector<uint8_t> section(size_t(width) * height * 4, 0x80);
    picture.BlendOnto(section.data(), size_t(width) * 4);
    uint32_t sum = 0;
    for (uint32_t y = 0; y < height; y += 7) {
        for (uint32_t x = 0; x < width; x += 5) {
            sum += uint32_t(picture.GetPixels(int32_t(x), int32_t(y)));
        }
    }
    (void)sum;
    // A text whose keyword the format forbids reads, and a save refuses it before it writes a
    // byte; without such texts the picture must save and load again.
    std::vector<TChunk*> unwritable;
    for (int i = 0; i < picture.Chunks().Count(); ++i) {
        auto* text = dynamic_cast<TChunktEXt*>(picture.Chunks().GetItem(i));
        if (text != nullptr && !text->Writable()) {
            unwritable.push_back(text);
        }
    }
    if (!unwritable.empty()) {
        TMemoryStream refused;
        try {
            picture.SaveToStream(refused);
            __builtin_trap();
        } catch (const EPngError&) {
        }
        if (refused.Size() != 0) {
            __builtin_trap();
        }
        for (TChunk* chunk : unwritable) {
            picture.Chunks().Remove(chunk);
        }
    }
    TMemoryStream saved;
    picture.SaveToStream(saved);
    saved.SetPosition(0);
    TPngPicture again;
    again.LoadFromStream(saved);
    if (again.Width() != picture.Width() || again.Height() != picture.Height()) {
        __builtin_trap();
    }
    return 0;
}
