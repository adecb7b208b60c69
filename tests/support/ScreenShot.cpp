#include "tests/support/ScreenShot.h"

#ifdef _WIN32

#include <cstdio>
#include <vector>

TScreenShot::TScreenShot(const RECT& area) : FArea(area) { Take(); }

TScreenShot::TScreenShot() : FArea{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)} { Take(); }

TScreenShot::TScreenShot(HWND window)
{
    GetWindowRect(window, &FArea);
    Take();
}

void TScreenShot::Take()
{
    FBitmap.SetSize(FArea.right - FArea.left, FArea.bottom - FArea.top);
    if (FBitmap.Empty()) {
        return;
    }
    HDC screen = GetDC(nullptr);
    BitBlt(FBitmap.Canvas()->Handle(), 0, 0, Width(), Height(), screen, FArea.left, FArea.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
}

COLORREF TScreenShot::At(int x, int y)
{
    const uint8_t* p = FBitmap.ScanLine(y) + x * 4;
    return RGB(p[2], p[1], p[0]);
}

std::string TScreenShot::Rgba()
{
    std::string rgba(static_cast<size_t>(Width()) * Height() * 4, '\0');
    size_t at = 0;
    for (int y = 0; y < Height(); ++y) {
        const uint8_t* p = FBitmap.ScanLine(y);
        for (int x = 0; x < Width(); ++x, p += 4) {
            rgba[at++] = static_cast<char>(p[2]);
            rgba[at++] = static_cast<char>(p[1]);
            rgba[at++] = static_cast<char>(p[0]);
            rgba[at++] = static_cast<char>(0xFF);
        }
    }
    return rgba;
}

bool TScreenShot::SaveBmp(const std::string& path)
{
    const int w = Width(), h = Height();
    if (w <= 0 || h <= 0) {
        return false;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    BITMAPINFOHEADER info{sizeof info, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + size_t(w) * h * 4), 0, 0,
                          static_cast<DWORD>(sizeof file + sizeof info)};
    bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1;
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    for (int y = 0; ok && y < h; ++y) {
        const uint8_t* p = FBitmap.ScanLine(y);
        for (size_t i = 0; i < row.size(); i += 4) {
            row[i] = p[i];
            row[i + 1] = p[i + 1];
            row[i + 2] = p[i + 2];
            row[i + 3] = 0xFF;  // the screen has no alpha: opaque
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

#endif
