// Writes the sample book (SampleBook.h).
//
//   make_sample_book OUT [--exe PROGRAM] [--entries N] [--settings TEXT] [--only-settings]
//
// With --exe the book is appended to a copy of PROGRAM (OUT is then a program that shows its
// book); --entries adds N filler pages; --settings adds lines ("\n" separated) to #SYSTEM,
// ahead of the sample's own so that they override them, and with --only-settings they are all
// of it.
#include "SampleBook.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    std::string out;
    std::string exe;
    std::string settings;
    int entries = 0;
    bool onlyThese = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--exe" && i + 1 < argc) {
            exe = argv[++i];
        } else if (arg == "--entries" && i + 1 < argc) {
            entries = std::atoi(argv[++i]);
        } else if (arg == "--settings" && i + 1 < argc) {
            std::string text = argv[++i];
            std::string line;
            std::istringstream lines(text);
            while (std::getline(lines, line)) {
                settings += line + "\r\n";
            }
        } else if (arg == "--only-settings") {
            onlyThese = true;
        } else if (out.empty() && arg.rfind("--", 0) != 0) {
            out = arg;
        } else {
            out.clear();
            break;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr,
                     "usage: make_sample_book OUT [--exe PROGRAM] [--entries N] [--settings TEXT] [--only-settings]\n");
        return 2;
    }
    std::string prefix;
    if (!exe.empty()) {
        std::ifstream in(exe, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "make_sample_book: cannot read %s\n", exe.c_str());
            return 1;
        }
        std::ostringstream bytes;
        bytes << in.rdbuf();
        prefix = bytes.str();
    }
    try {
        booktest::SampleBook(settings, entries, onlyThese).WriteFile(out, prefix);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample_book: %s\n", e.what());
        return 1;
    }
    return 0;
}
