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

}  // namespace httpbench
