#include "Themes.h"

#include <memory>

namespace {
std::unique_ptr<TThemeServices> gThemeServices;
}  // namespace

TThemeServices::~TThemeServices() { Reset(); }

bool TThemeServices::ThemesEnabled() const { return IsThemeActive() && IsAppThemed(); }

HTHEME TThemeServices::Theme(const std::wstring& className)
{
    auto it = FThemes.find(className);
    if (it != FThemes.end())
        return it->second;
    HTHEME theme = ThemesEnabled() ? OpenThemeData(nullptr, className.c_str()) : nullptr;
    if (theme != nullptr)
        FThemes[className] = theme;
    return theme;
}

void TThemeServices::DrawElement(HDC dc, const std::wstring& className, int part, int state, const RECT& rect)
{
    if (HTHEME theme = Theme(className))
        DrawThemeBackground(theme, dc, part, state, &rect, nullptr);
}

void TThemeServices::Reset()
{
    for (auto& entry : FThemes)
        CloseThemeData(entry.second);
    FThemes.clear();
}

TThemeServices* ThemeServices()
{
    if (!gThemeServices)
        gThemeServices = std::make_unique<TThemeServices>();
    return gThemeServices.get();
}

void ThemesDone() { gThemeServices.reset(); }
