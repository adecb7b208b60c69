// The pictures of the viewer's toolbar buttons, as PNG data with alpha, drawn by
// pictures/make_pictures.py: AppMenu and AppMenuHovered (96 x 20, the application-menu tab
// with its drop-down mark; the caption is written over it), and 24 x 24 Back, BackHovered,
// BackDisabled, Forward, ForwardHovered, ForwardDisabled, Print, PrintHovered.
#pragma once

#include <string>

struct TToolbarPicture {
    const char* Name;
    const unsigned char* Data;
    unsigned Size;
};

extern const TToolbarPicture kToolbarPictures[];
extern const int kToolbarPictureCount;

// The PNG data of the picture of that name; empty when there is none.
inline std::string ToolbarPictureData(const std::string& name)
{
    for (int i = 0; i < kToolbarPictureCount; ++i) {
        if (name == kToolbarPictures[i].Name) {
            return std::string(reinterpret_cast<const char*>(kToolbarPictures[i].Data), kToolbarPictures[i].Size);
        }
    }
    return {};
}
