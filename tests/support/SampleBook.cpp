#include "SampleBook.h"

#include <zlib.h>

#include <cstdio>

namespace booktest {

namespace {

std::string BigEndian32(uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 8 & 0xFF),
            static_cast<char>(v & 0xFF)};
}

std::string PngChunk(const char* type, const std::string& data)
{
    const std::string typed = std::string(type, 4) + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    return BigEndian32(static_cast<uint32_t>(data.size())) + typed + BigEndian32(static_cast<uint32_t>(crc));
}

const char* const kIndexHtml = R"html(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Sample book</title>
<link rel="stylesheet" href="style.css"><script src="script.js"></script></head>
<body onload="writeGreeting()">
<h1 id="title">Sample book</h1>
<p id="scripted">(the script has not run)</p>
<p><img id="logo" src="images/logo.png" alt="logo"></p>
<p class="seen">Title colour: <span id="seen-style">?</span>, picture: <span id="seen-picture">?</span></p>
<ul>
<li><a id="chapter1" href="pages/chapter1.html">Chapter 1</a></li>
<li><a id="chapter2" href="pages/chapter2.html">Chapter 2</a></li>
<li><a href="mailto:reader@example.org">Write to the publisher</a></li>
</ul>
</body></html>
)html";

const char* const kStyleCss = R"(body { font-family: Arial, sans-serif; background: #fdfaf0; margin: 24px; }
h1 { color: rgb(32, 96, 160); font-size: 28px; }
#scripted { color: rgb(160, 32, 32); font-weight: bold; }
.seen { color: #555; font-size: 12px; }
)";

// After every resource has loaded the script writes its greeting, and what it saw of the style
// sheet and the picture, into the page.
std::string ScriptJs()
{
    return std::string(R"js(function writeGreeting() {
  document.getElementById('scripted').textContent = ')js") + kSampleScriptText + R"js(';
  var logo = document.getElementById('logo');
  document.getElementById('seen-style').textContent = getComputedStyle(document.getElementById('title')).color;
  document.getElementById('seen-picture').textContent = logo.naturalWidth + 'x' + logo.naturalHeight;
}
)js";
}

std::string Chapter(int n, const char* next)
{
    std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Chapter " + std::to_string(n) +
                       "</title>\n<link rel=\"stylesheet\" href=\"../style.css\"></head>\n<body>\n<h1>Chapter " +
                       std::to_string(n) + "</h1>\n<p><img src=\"../images/photo.png\" alt=\"photo\"></p>\n" +
                       "<p>Page " + std::to_string(n) + " of the sample book.</p>\n<p><a href=\"" + next +
                       "\">Next</a> &middot; <a href=\"../index.html\">Contents</a></p>\n</body></html>\n";
    return page;
}

// The extra lines come first: the first line of a name wins, so they override the sample's.
std::string SystemEntry(const std::string& extra)
{
    std::string s = extra;
    s +=
        "ProducerID=sample.press\r\n"
        "Title=Sample book\r\n"
        "INDEX=index.html\r\n"
        "Sizeable=1\r\n"
        "DefaultWidth=900\r\n"
        "DefaultHeight=600\r\n"
        "Centered=1\r\n"
        "SaveRegistry=1\r\n"
        "Commandline=1\r\n"
        "UserCopy=1\r\n"
        "UserPrint=1\r\n"
        "DisplayPageTitle=1\r\n"
        "ShowCaptions=1\r\n"
        "Debug=1\r\n";
    s +=
        "\r\n"
        "[MainMenu]\r\n"
        "0 0 Sample\r\n"
        "1 1 Home\t:home\r\n"
        "1 5 Chapters\r\n"
        "2 2 Chapter 1\tpages/chapter1.html\r\n"
        "2 2 Chapter 2\tpages/chapter2.html\r\n"
        "1 1 Print\t:print\r\n"
        "1 1 Exit\t:exit\r\n"
        "\r\n"
        "[ContextMenu]\r\n"
        "1 1 Back\t:back\r\n"
        "1 1 Forward\t:forward\r\n"
        "1 1 Copy\t:copy\r\n"
        "1 1 Select all\t:selectall\r\n"
        "\r\n";
    return s;
}

}  // namespace

std::string PngFromRgba(int width, int height, const std::string& rgba)
{
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // filter: none
        raw.append(rgba, static_cast<size_t>(y) * width * 4, static_cast<size_t>(width) * 4);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 9);
    packed.resize(size);
    const std::string header = BigEndian32(static_cast<uint32_t>(width)) + BigEndian32(static_cast<uint32_t>(height)) +
                               std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) + PngChunk("IDAT", packed) +
           PngChunk("IEND", "");
}

BookWriter SampleBook(const std::string& extraSettings, int fillerEntries, bool onlyThese)
{
    BookWriter book;
    book.Add("index.html", kIndexHtml)
        .Add("style.css", kStyleCss)
        .Add("script.js", ScriptJs())
        .Add("pages\\chapter1.html", Chapter(1, "chapter2.html"))
        .Add("pages\\chapter2.html", Chapter(2, "chapter1.html"))
        .Add("images\\logo.png", MakePng(kSampleLogoWidth, kSampleLogoHeight,
                                         [](int x, int y) -> unsigned {
                                             const bool band = y > 12 && y < 28;
                                             return band ? 0xD04020FFu : (0x2060A000u | static_cast<unsigned>(x * 2 + 15));
                                         }))
        .Add("images\\photo.png", MakePng(64, 64,
                                          [](int x, int y) -> unsigned {
                                              return (static_cast<unsigned>(x * 4) << 24) |
                                                     (static_cast<unsigned>(y * 4) << 16) | 0x8080FFu;
                                          }))
        .Add("#SYSTEM", onlyThese ? extraSettings : SystemEntry(extraSettings))
        .Add("#MAP", "1=pages/chapter1.html\r\n2=pages/chapter2.html\r\n");
    for (int i = 0; i < fillerEntries; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "filler\\%05d.html", i);
        book.Add(name, "<html><body><p>Filler page " + std::to_string(i) + "</p></body></html>\n");
    }
    return book;
}

}  // namespace booktest
