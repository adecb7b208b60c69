// The drawing system's side of Graphics.h.
#include "Graphics.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace plat {

void DeleteFontHandle(FontHandle font)
{
#ifdef _WIN32
    DeleteObject(font);
#else
    (void)font;
#endif
}

uint32_t SysColorRGB(int index)
{
#ifdef _WIN32
    return static_cast<uint32_t>(GetSysColor(index));
#else
    (void)index;
    return 0;
#endif
}

int ScreenPixelsPerInch()
{
#ifdef _WIN32
    HDC screen = GetDC(nullptr);
    const int ppi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return ppi > 0 ? ppi : 96;
#else
    return 96;
#endif
}

}  // namespace plat
