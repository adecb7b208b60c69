#include "HttpBenchData.h"

namespace httpbench {

std::string PageBytes()
{
    const std::string head = "<!DOCTYPE html>\n<html><head><title>Benchmark page</title></head><body>\n";
    const std::string tail = "</body></html>\n";
    std::string page = head;
    for (int line = 0;; ++line) {
        const std::string next = "<p>Line " + std::to_string(line) + " of the benchmark page, always the same text.</p>\n";
        if (page.size() + next.size() + tail.size() > kPageBytes)
            break;
        page += next;
    }
    page.resize(kPageBytes - tail.size(), ' ');  // blanks up to the size
    page.back() = '\n';
    return page + tail;
}

std::string TextBytes()
{
    static const char* const kWords[] = {"the", "book", "page", "of", "and", "viewer", "chapter", "a", "to", "in",
                                         "section", "figure", "table", "shows", "with", "each", "entry", "is",
                                         "read", "from", "container", "text", "picture", "style", "script"};
    constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];
    const std::string head = "<!DOCTYPE html>\n<html><head><title>Benchmark text</title></head><body>\n";
    const std::string tail = "</body></html>\n";
    std::string page = head;
    std::uint32_t state = 2463534242u;
    while (page.size() < kTextBytes) {
        page += "<p class=\"para\">";
        for (int word = 0; word < 12; ++word) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            page += kWords[state % kWordCount];
            page += word == 11 ? ".</p>\n" : " ";
        }
    }
    page.resize(kTextBytes - tail.size());
    page.back() = '\n';
    return page + tail;
}

}  // namespace httpbench
