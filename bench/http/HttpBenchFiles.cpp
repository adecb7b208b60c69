// Writes the benchmark's content into DIR: DIR/bench.book (a book with the three entries, made
// by the test book writer) and the same bytes as plain files in DIR/www for the native server.
//   http_bench_files DIR
#include "HttpBenchData.h"
#include "tests/support/BookWriter.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

bool WritePlainFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: http_bench_files DIR (DIR/www must exist)\n");
        return 1;
    }
    const std::string dir = argv[1];
    const std::string page = httpbench::PageBytes();
    const std::string text = httpbench::TextBytes();
    const std::string big = booktest::XorshiftBytes(httpbench::kBigBytes, httpbench::kBigSeed);
    try {
        booktest::BookWriter writer;
        writer.Add(httpbench::kPageName, page).Add(httpbench::kTextName, text).Add(httpbench::kBigName, big);
        writer.WriteFile(dir + "/bench.book");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "http_bench_files: %s\n", e.what());
        return 1;
    }
    if (!WritePlainFile(dir + "/www/" + httpbench::kPageName, page) ||
        !WritePlainFile(dir + "/www/" + httpbench::kTextName, text) ||
        !WritePlainFile(dir + "/www/" + httpbench::kBigName, big)) {
        std::fprintf(stderr, "http_bench_files: cannot write into %s/www\n", dir.c_str());
        return 1;
    }
    return 0;
}
