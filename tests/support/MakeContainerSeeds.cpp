// Writes small seed inputs for fuzz_container into the folder named on the command line.
// A seed is one flags byte and the container without its marker (the fuzz target puts the
// marker back at run time, so no committed file holds it); see fuzz/FuzzContainer.cpp.
#include "BookWriter.h"

#include <cstdio>
#include <string>

namespace {

void WriteSeed(const std::string& dir, const char* name, char flags, const booktest::BookWriter& book)
{
    const std::string body = book.Build().substr(booktest::BookMarker().size());
    const std::string path = dir + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fputc(flags, f);
        std::fwrite(body.data(), 1, body.size(), f);
        std::fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_container_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    using booktest::BookWriter;
    WriteSeed(dir, "small", 1,
              BookWriter().SetHeader("h").Add("index.html", "<p>hello hello hello</p>").Add("a\\b.css", "p{}"));
    WriteSeed(dir, "system_map", 1 | 4,
              BookWriter()
                  .Add("#SYSTEM", "Title=Book\r\n[MainMenu]\r\nItem=1\n")
                  .Add("#MAP", "1=index.html\r2=b.html")
                  .Add("index.html", std::string(300, 'x')));
    WriteSeed(dir, "no_data", 1 | 2, BookWriter().AddRecord("gone.html", -1).Add("x", "y", "extra"));
    WriteSeed(dir, "no_directory", 1, BookWriter().Add("x", "y").SetDirectoryOffset(0));
    BookWriter cut;
    cut.Add("one", "1").Add("two", "22").Add("three", "333");
    WriteSeed(dir, "cut_directory", 1, BookWriter(cut).SetDirectory(cut.Directory().substr(0, 30)));
    return 0;
}
