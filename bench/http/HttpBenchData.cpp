#include "HttpBenchData.h"

#include <cstdint>

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

std::string BigBytes()
{
    std::string data(kBigBytes, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t i = 0; i < data.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        for (std::size_t b = 0; b < 8 && i + b < data.size(); ++b) {
            data[i + b] = static_cast<char>(state >> (8 * b));
        }
    }
    return data;
}

}  // namespace httpbench
