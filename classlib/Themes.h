// The visual-style services (Windows builds only): whether visual styles are on, the theme of a
// window class, and the drawing of a themed element. One process-wide object, ThemeServices(),
// made on first use on the main thread; ThemesDone closes its theme handles.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <map>
#include <string>

class TThemeServices {
public:
    TThemeServices() = default;
    ~TThemeServices();
    TThemeServices(const TThemeServices&) = delete;
    TThemeServices& operator=(const TThemeServices&) = delete;

    // Visual styles active for the system and the application.
    bool ThemesEnabled() const;
    // The theme of a class ("WINDOW", "BUTTON", "TOOLBAR"), opened once; null when none.
    HTHEME Theme(const std::wstring& className);
    void DrawElement(HDC dc, const std::wstring& className, int part, int state, const RECT& rect);
    // Closes every theme handle (they are opened again on demand).
    void Reset();

private:
    std::map<std::wstring, HTHEME> FThemes;
};

TThemeServices* ThemeServices();
void ThemesDone();
