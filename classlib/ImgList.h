// Image lists (Windows builds only): equal-sized images in one system image list, drawn by
// index with transparency. Clients register a TChangeLink to hear when the images change.
#pragma once

#include "Components.h"
#include "Events.h"
#include "Graphics.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

class TCustomImageList;

class TChangeLink : public TObject {
public:
    ~TChangeLink() override;
    TCustomImageList* Sender() const { return FSender; }
    TNotifyEvent OnChange;
    CL_CLASS_NAME(TChangeLink)

private:
    friend class TCustomImageList;
    TCustomImageList* FSender = nullptr;
};

class TCustomImageList : public TComponent {
public:
    TCustomImageList(TComponent* owner, int width = 16, int height = 16);
    ~TCustomImageList() override;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const;
    HIMAGELIST Handle() const { return FHandle; }

    // Adds a picture of one or more images side by side; pixels of maskColor are transparent.
    int AddMasked(TBitmap* image, TColor maskColor);
    // Replaces image index with a picture of the list's image size, masked the same way.
    // Raises EInvalidOperation for an index outside the list.
    void ReplaceMasked(int index, TBitmap* image, TColor maskColor);
    // Sizes image to the list's image size and draws image index into it (over black).
    // Raises EInvalidOperation for an index outside the list.
    void GetBitmap(int index, TBitmap* image);
    void Clear();

    // Draws image index at (x, y) with transparency; a disabled image is drawn in greys.
    void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);

    void RegisterChanges(TChangeLink* link);
    void UnRegisterChanges(TChangeLink* link);

    CL_CLASS_NAME(TCustomImageList)

protected:
    void Change();

private:
    void CheckIndex(int index) const;
    // The picture with its mask-colour pixels turned black and the monochrome mask for it.
    HBITMAP MakeMaskedCopy(TBitmap* image, TColor maskColor, TBitmap& copy);

private:
    int FWidth;
    int FHeight;
    HIMAGELIST FHandle = nullptr;
    std::vector<TChangeLink*> FLinks;   // not owned
};

using TImageList = TCustomImageList;
