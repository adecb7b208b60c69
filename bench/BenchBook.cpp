// Opening a book of 10,000 entries, and looking names up in it.
#include "lectern/book/LBFile.h"
#include "tests/support/BookWriter.h"

#include "classlib/Platform.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kEntries = 10000;
constexpr int kOpenRuns = 20;
constexpr int kLookupRounds = 20;

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    std::vector<std::string> names;
    booktest::BookWriter writer;
    for (int i = 0; i < kEntries; ++i) {
        names.push_back("chapter" + std::to_string(i % 97) + "\\page" + std::to_string(i) + ".html");
        writer.Add(names.back(), "<html><body>page " + std::to_string(i) + "</body></html>");
    }
    const std::string path = plat::TempDir() + "bench_book_" + std::to_string(plat::CurrentThreadId()) + ".book";
    writer.WriteFile(path, std::string(2 * 1024 * 1024, 'x'));  // behind a 2 MB "program image"

    TLBFile book(nullptr);
    auto start = std::chrono::steady_clock::now();
    for (int run = 0; run < kOpenRuns; ++run) {
        if (!book.Open(path, TLBFile::kModeRead) || book.RecordCount() != kEntries) {
            std::fprintf(stderr, "open failed\n");
            return 1;
        }
    }
    const double openSeconds = SecondsSince(start) / kOpenRuns;

    int found = 0;
    start = std::chrono::steady_clock::now();
    for (int round = 0; round < kLookupRounds; ++round) {
        for (const std::string& name : names) {
            found += book.Exists(name) ? 1 : 0;
        }
    }
    const double lookupSeconds = SecondsSince(start) / (static_cast<double>(kLookupRounds) * kEntries);
    plat::RemoveFile(path);
    if (found != kLookupRounds * kEntries) {
        std::fprintf(stderr, "lookups failed\n");
        return 1;
    }
    std::printf("open a %d-entry book behind 2 MB: %.3f ms\n", kEntries, openSeconds * 1e3);
    std::printf("Exists lookup: %.3f us\n", lookupSeconds * 1e6);
    return 0;
}
