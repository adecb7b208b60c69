// The bytes every server of the HTTP benchmark answers with, made the same way each time:
// a 2 KB HTML page, a 4 KB page of varied text (an entry of the size books are made of) and
// a 10 MB entry of incompressible pseudo-random bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace httpbench {

constexpr std::size_t kPageBytes = 2048;
constexpr std::size_t kBigBytes = 10 * 1024 * 1024;
constexpr const char* kPageName = "page.html";
constexpr const char* kBigName = "big.bin";
constexpr std::size_t kTextBytes = 4096;
constexpr const char* kTextName = "text.html";

// An HTML page of exactly kPageBytes bytes.
std::string PageBytes();
// An HTML page of exactly kTextBytes bytes of words in varying order, which compresses about
// as well as the text of a book's pages.
std::string TextBytes();
// The seed of the big entry's bytes, booktest::XorshiftBytes(kBigBytes, kBigSeed).
constexpr std::uint32_t kBigSeed = 0x9E3779B9u;

}  // namespace httpbench
