// The sample book: a small book that shows what the viewer does, for the run script, the
// viewer's display tests and its start-up benchmark.
//
//   index.html            the start page: style sheet, script-written text, a picture
//   style.css, script.js
//   pages/chapter1.html, pages/chapter2.html
//   images/logo.png       120 x 40
//   images/photo.png      64 x 64
//   #SYSTEM               title, start page, menus, a context menu and Debug=1
//   #MAP                  topics 1 and 2 (the chapters)
//
// Extra settings lines can be given (they go before the sample's own, so a name given there
// overrides the sample's value), and filler entries make large books.
#pragma once

#include "BookWriter.h"

#include <string>

namespace booktest {

constexpr const char* kSampleBookTitle = "Sample book";
constexpr const char* kSampleScriptText = "Written by the book script";
constexpr int kSampleLogoWidth = 120;
constexpr int kSampleLogoHeight = 40;

// An RGBA PNG of width x height whose pixels come from pixel(x, y) as 0xRRGGBBAA.
template <class Pixel>
std::string MakePng(int width, int height, Pixel&& pixel);
std::string PngFromRgba(int width, int height, const std::string& rgba);

// extraSettings: lines put before the sample's in #SYSTEM (each ending in CR LF), or with
// onlyThese the whole of #SYSTEM; fillerEntries: that many more small pages
// ("filler/NNNNN.html").
BookWriter SampleBook(const std::string& extraSettings = {}, int fillerEntries = 0, bool onlyThese = false);

template <class Pixel>
std::string MakePng(int width, int height, Pixel&& pixel)
{
    std::string rgba;
    rgba.reserve(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned v = pixel(x, y);
            rgba += static_cast<char>(v >> 24);
            rgba += static_cast<char>(v >> 16);
            rgba += static_cast<char>(v >> 8);
            rgba += static_cast<char>(v);
        }
    }
    return PngFromRgba(width, height, rgba);
}

}  // namespace booktest
