#include "Graphics.h"

#include "PlatformText.h"

#include <cstdlib>

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

void TGraphic::LoadFromClipboardFormat(uint16_t, uintptr_t, plat::PaletteHandle)
{
    throw EInvalidOperation(Format("%s has no clipboard format", ClassName()));
}

void TGraphic::SaveToClipboardFormat(uint16_t&, uintptr_t&, plat::PaletteHandle&)
{
    throw EInvalidOperation(Format("%s has no clipboard format", ClassName()));
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

// ---- fonts ----------------------------------------------------------------------------------

TFont::~TFont() { DropHandle(); }

void TFont::DropHandle()
{
    if (FHandle != nullptr)
        plat::DeleteFontHandle(FHandle);
    FHandle = nullptr;
}

void TFont::SetName(const std::u16string& name)
{
    if (name != FName) {
        DropHandle();
        FName = name;
    }
}

void TFont::SetName(const std::string& name) { SetName(plat::SystemToWide(name)); }

void TFont::SetHeight(int height)
{
    if (height != FHeight) {
        DropHandle();
        FHeight = height;
    }
}

namespace {
// a * b / c rounded to the nearest integer, halves away from zero (as the platform's MulDiv).
int MulDivRounded(int a, int b, int c)
{
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = (product < 0) != (c < 0) ? -(std::abs(static_cast<int64_t>(c)) / 2)
                                                  : std::abs(static_cast<int64_t>(c)) / 2;
    return static_cast<int>((product + half) / c);
}
}  // namespace

int TFont::Size() const { return -MulDivRounded(FHeight, 72, plat::ScreenPixelsPerInch()); }

void TFont::SetSize(int points) { SetHeight(-MulDivRounded(points, plat::ScreenPixelsPerInch(), 72)); }

void TFont::SetStyle(TFontStyles style)
{
    if (style != FStyle) {
        DropHandle();
        FStyle = style;
    }
}

void TFont::Assign(const TPersistent* source)
{
    const auto* other = dynamic_cast<const TFont*>(source);
    if (other == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    SetName(other->FName);
    SetHeight(other->FHeight);
    SetStyle(other->FStyle);
    FColor = other->FColor;
}

// ---- pictures -------------------------------------------------------------------------------

namespace {

TGraphicFactory FactoryForClass(const TGraphic& graphic)
{
    for (const FileFormat& format : FileFormats()) {
        std::unique_ptr<TGraphic> probe = format.Factory();
        if (probe && std::string(probe->ClassName()) == graphic.ClassName())
            return format.Factory;
    }
    return nullptr;
}

}  // namespace

TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    FGraphic = std::move(graphic);
    Changed();
}

void TPicture::Changed()
{
    if (OnChange.Assigned())
        OnChange(this);
}

void TPicture::LoadFromStream(TStream& stream, const std::string& extension)
{
    TGraphicFactory factory = GraphicFactoryForExtension(extension);
    if (factory == nullptr)
        throw EConvertError(Format("Unknown picture file extension (.%s)", extension.c_str()));
    std::unique_ptr<TGraphic> graphic = factory();
    graphic->LoadFromStream(stream);
    SetGraphic(std::move(graphic));
}

void TPicture::LoadFromFile(const std::string& fileName)
{
    size_t dot = fileName.find_last_of('.');
    std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream, extension);
}

void TPicture::Assign(const TPersistent* source)
{
    if (source == nullptr) {
        SetGraphic(nullptr);
        return;
    }
    const auto* other = dynamic_cast<const TPicture*>(source);
    if (other == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    if (other == this)
        return;
    if (other->FGraphic == nullptr) {
        SetGraphic(nullptr);
        return;
    }
    TGraphicFactory factory = FactoryForClass(*other->FGraphic);
    if (factory == nullptr)
        throw EConvertError(Format("Cannot assign a %s", other->FGraphic->ClassName()));
    TMemoryStream data;
    other->FGraphic->SaveToStream(data);
    data.Seek(0, SeekOrigin::Begin);
    std::unique_ptr<TGraphic> copy = factory();
    copy->LoadFromStream(data);
    SetGraphic(std::move(copy));
}
