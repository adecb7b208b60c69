// A browser's request head for a book page, as the benchmarks of the HTTP code read it.
#pragma once

#include <string>

inline const std::string kRequestHead =
    "GET /book/chapter1/page3.html?view=1&zoom=100 HTTP/1.1\r\n"
    "Host: 127.0.0.1:8000\r\n"
    "User-Agent: lectern-bench/1.0 (Windows NT 6.1)\r\n"
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
    "Accept-Language: en-GB,en;q=0.7,de;q=0.3\r\n"
    "Accept-Encoding: gzip, deflate\r\n"
    "Referer: http://127.0.0.1:8000/book/chapter1/index.html\r\n"
    "Connection: keep-alive\r\n"
    "Cookie: session=5f2c9a01; theme=dark\r\n"
    "\r\n";
