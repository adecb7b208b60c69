#include "Graphics.h"

#include <algorithm>
#include <vector>

uint32_t ColorToRGB(TColor color)
{
    if (color < 0) {
        return plat::SysColorRGB(color & 0xFF);
    }
    return static_cast<uint32_t>(color) & 0xFFFFFFu;
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

namespace {

struct FileFormat {
    std::string Extension;
    std::string Description;
    TGraphicFactory Factory;
};

// Filled by the units' start-up functions on the main thread.
std::vector<FileFormat>& FileFormats()
{
    static std::vector<FileFormat> formats;
    return formats;
}

bool SameExtension(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

const FileFormat* FindFormat(const std::string& extension)
{
    for (const FileFormat& format : FileFormats()) {
        if (SameExtension(format.Extension, extension)) {
            return &format;
        }
    }
    return nullptr;
}

}  // namespace

void RegisterFileFormat(const std::string& extension, const std::string& description,
                        TGraphicFactory factory)
{
    FileFormats().push_back({extension, description, factory});
}

void UnregisterFileFormat(TGraphicFactory factory)
{
    auto& formats = FileFormats();
    formats.erase(std::remove_if(formats.begin(), formats.end(),
                                 [factory](const FileFormat& f) { return f.Factory == factory; }),
                  formats.end());
}

TGraphicFactory GraphicFactoryForExtension(const std::string& extension)
{
    const FileFormat* format = FindFormat(extension);
    return format ? format->Factory : nullptr;
}

std::string GraphicDescription(const std::string& extension)
{
    const FileFormat* format = FindFormat(extension);
    return format ? format->Description : std::string();
}
