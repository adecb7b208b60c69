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

}  // namespace plat
