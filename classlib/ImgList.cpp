#include "ImgList.h"

#include <algorithm>

TChangeLink::~TChangeLink()
{
    if (FSender != nullptr)
        FSender->UnRegisterChanges(this);
}

TCustomImageList::TCustomImageList(TComponent* owner, int width, int height)
    : TComponent(owner), FWidth(width), FHeight(height)
{
    FHandle = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 4, 4);
    if (FHandle == nullptr)
        throw EOutOfMemory("Out of system resources");
}

TCustomImageList::~TCustomImageList()
{
    for (TChangeLink* link : FLinks)
        link->FSender = nullptr;
    ImageList_Destroy(FHandle);
}

int TCustomImageList::Count() const { return ImageList_GetImageCount(FHandle); }

HBITMAP TCustomImageList::MakeMaskedCopy(TBitmap* image, TColor maskColor, TBitmap& copy)
{
    // The image with its mask-colour pixels turned black, and a monochrome mask (1 =
    // transparent, rows padded to 16 bits) made here rather than left to the system, so that
    // 32-bit images are masked alike everywhere.
    const int w = image->Width(), h = image->Height();
    const uint32_t key = ColorToRGB(maskColor);
    copy.SetSize(w, h);
    const int maskStride = ((w + 15) / 16) * 2;
    std::vector<uint8_t> maskBits(static_cast<size_t>(maskStride) * static_cast<size_t>(h), 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = image->ScanLine(y);
        uint8_t* dst = copy.ScanLine(y);
        for (int x = 0; x < w; ++x, src += 4, dst += 4) {
            uint32_t rgb = src[2] | (src[1] << 8) | (src[0] << 16);
            if (rgb == key) {
                maskBits[static_cast<size_t>(y * maskStride + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
                continue;   // stays 0
            }
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
    return CreateBitmap(w, h, 1, 1, maskBits.data());
}

int TCustomImageList::AddMasked(TBitmap* image, TColor maskColor)
{
    TBitmap copy;
    HBITMAP mask = MakeMaskedCopy(image, maskColor, copy);
    int index = ImageList_Add(FHandle, copy.Handle(), mask);
    DeleteObject(mask);
    Change();
    return index;
}

void TCustomImageList::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EInvalidOperation(Format("Invalid image index %d", index));
}

void TCustomImageList::ReplaceMasked(int index, TBitmap* image, TColor maskColor)
{
    CheckIndex(index);
    TBitmap copy;
    HBITMAP mask = MakeMaskedCopy(image, maskColor, copy);
    const BOOL replaced = ImageList_Replace(FHandle, index, copy.Handle(), mask);
    DeleteObject(mask);
    if (!replaced)
        throw EInvalidOperation("Failed to replace image");
    Change();
}

void TCustomImageList::GetBitmap(int index, TBitmap* image)
{
    CheckIndex(index);
    image->SetSize(FWidth, FHeight);
    ImageList_Draw(FHandle, index, image->Canvas()->Handle(), 0, 0, ILD_NORMAL);
}

void TCustomImageList::Clear()
{
    ImageList_RemoveAll(FHandle);
    Change();
}

void TCustomImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled)
{
    if (index < 0 || index >= Count())
        return;
    if (enabled) {
        ImageList_Draw(FHandle, index, canvas->Handle(), x, y, ILD_TRANSPARENT);
        return;
    }
    // Greyed: the image over black, each pixel turned to the grey of its luminance, then
    // copied with black as the transparent key.
    TBitmap work(FWidth, FHeight);
    ImageList_Draw(FHandle, index, work.Canvas()->Handle(), 0, 0, ILD_TRANSPARENT);
    for (int row = 0; row < FHeight; ++row) {
        uint8_t* p = work.ScanLine(row);
        for (int col = 0; col < FWidth; ++col, p += 4) {
            if (p[0] == 0 && p[1] == 0 && p[2] == 0)
                continue;
            int grey = std::max(1, (p[2] * 30 + p[1] * 59 + p[0] * 11) / 100);
            grey = (grey + 255) / 2;   // lighter, as disabled images are
            p[0] = p[1] = p[2] = static_cast<uint8_t>(grey);
        }
    }
    TransparentBlt(canvas->Handle(), x, y, FWidth, FHeight, work.Canvas()->Handle(), 0, 0, FWidth, FHeight, 0);
}

void TCustomImageList::RegisterChanges(TChangeLink* link)
{
    link->FSender = this;
    if (std::find(FLinks.begin(), FLinks.end(), link) == FLinks.end())
        FLinks.push_back(link);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* link)
{
    FLinks.erase(std::remove(FLinks.begin(), FLinks.end(), link), FLinks.end());
    if (link->FSender == this)
        link->FSender = nullptr;
}

void TCustomImageList::Change()
{
    for (TChangeLink* link : std::vector<TChangeLink*>(FLinks))
        if (link->OnChange.Assigned())
            link->OnChange(this);
}
