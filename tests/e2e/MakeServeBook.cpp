// Writes the fixture book of the end-to-end tests of serve-book (serve_book_test.py) to the
// path named on the command line.
//
// It runs under Wine, beside the server: the records are then sorted with the comparison the
// server's reader uses (CompareStringA), and the non-ASCII entry name is converted to the same
// system code page the server converts a percent-decoded URL to. The test knows every entry
// by heart; what it checks byte for byte is written down here and there alike:
//   page2k.html  exactly 2048 bytes, "0123456789abcdef" repeated between a fixed head and tail
//   big.bin      10 MiB of xorshift32 words (seed kBigSeed), little-endian: deflate cannot
//                shrink it, and any lost, doubled or moved block shows
#include "tests/support/BookWriter.h"

#include "classlib/PlatformText.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

namespace {

constexpr uint32_t kBigSeed = 0x2545F491u;
constexpr size_t kBigBytes = 10u * 1024u * 1024u;
constexpr size_t kPage2kBytes = 2048;

const char kIndexHtml[] =
    "<!DOCTYPE html>\n"
    "<html><head><meta charset=\"utf-8\"><title>Fixture book</title>\n"
    "<link rel=\"stylesheet\" href=\"css/style.css\">\n"
    "<script src=\"js/app.js\"></script>\n"
    "</head><body>\n"
    "<p id=\"lead\" class=\"lead\">Start page</p>\n"
    "<img id=\"pic\" src=\"img/pic.png\" alt=\"picture\">\n"
    "</body></html>\n";

// Only this sheet gives #lead that colour and that letter spacing.
const char kStyleCss[] = ".lead { color: rgb(12, 34, 56); letter-spacing: 3px; }\n";

// After every resource has loaded, the script writes what it saw into the page: a computed
// style the sheet sets and the picture's natural size (0x0 unless the PNG arrived and decoded).
const char kAppJs[] =
    "function report(id, text) {\n"
    "  var p = document.createElement('p');\n"
    "  p.id = id;\n"
    "  p.textContent = text;\n"
    "  document.body.appendChild(p);\n"
    "}\n"
    "window.addEventListener('load', function () {\n"
    "  var lead = document.getElementById('lead');\n"
    "  var pic = document.getElementById('pic');\n"
    "  var style = getComputedStyle(lead);\n"
    "  report('seen-script', 'script ran');\n"
    "  report('seen-css', style.color + ' / ' + style.letterSpacing);\n"
    "  report('seen-pic', pic.naturalWidth + 'x' + pic.naturalHeight);\n"
    "});\n";

// A 3x2 RGB picture, every pixel (200, 30, 40); written with Python's zlib and struct.
const char kPicPng[] =
    "\x89\x50\x4E\x47\x0D\x0A\x1A\x0A\x00\x00\x00\x0D\x49\x48\x44\x52\x00\x00\x00\x03\x00\x00\x00"
    "\x02\x08\x02\x00\x00\x00\x12\x16\xF1\x4D\x00\x00\x00\x10\x49\x44\x41\x54\x78\xDA\x63\x38\x21"
    "\xA7\x01\x41\x0C\x70\x16\x00\x43\x1C\x06\x55\x6E\xE4\x34\xE5\x00\x00\x00\x00\x49\x45\x4E\x44"
    "\xAE\x42\x60\x82";

const char kBomHtml[] = "\xEF\xBB\xBF<html><body><p>Gr\xC3\xBC\xC3\x9F" "e</p></body></html>\n";
const char kNamedHtml[] = "<html><body><p>caf\xC3\xA9 men\xC3\xBC</p></body></html>\n";

// "pages\café menü.html" in the system code page.
const char16_t kNamedEntry[] = u"pages\\caf\u00E9 men\u00FC.html";

// Not a deflate stream: the first block claims the reserved block type 3.
const char kCorruptStream[] = "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF";

std::string Page2k()
{
    const std::string head = "<!DOCTYPE html><html><body><p>";
    const std::string tail = "</p></body></html>\n";
    const char* const digits = "0123456789abcdef";
    std::string page = head;
    for (size_t i = 0; page.size() + tail.size() < kPage2kBytes; ++i) {
        page += digits[i % 16];
    }
    return page + tail;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_serve_book BOOK\n");
        return 2;
    }
    try {
        const std::string namedEntry = plat::WideToSystem(kNamedEntry);
        if (plat::SystemToWide(namedEntry) != kNamedEntry) {
            std::fprintf(stderr, "make_serve_book: the system code page lacks a letter of the named entry\n");
            return 1;
        }
        booktest::BookWriter book;
        book.Add("index.html", kIndexHtml)
            .Add("css\\style.css", kStyleCss)
            .Add("js\\app.js", kAppJs)
            .Add("img\\pic.png", std::string(kPicPng, sizeof kPicPng - 1))
            .Add("bom.html", kBomHtml)
            .Add(namedEntry, kNamedHtml)
            .Add("#SYSTEM", "Title=Fixture book\r\nDefault=index.html\r\n")
            .AddRawStream("broken.html", std::string(kCorruptStream, sizeof kCorruptStream - 1))
            .Add("big.bin", booktest::XorshiftBytes(kBigBytes, kBigSeed))
            .Add("page2k.html", Page2k());
        book.WriteFile(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_serve_book: %s\n", e.what());
        return 1;
    }
    return 0;
}
