// The book reader turns damaged data into its documented answers (an open that fails, a
// directory cut short, an entry that reads empty) and nothing else: a failure that is not the
// data's fault, here an allocation that fails, leaves the reader as it came.
//
// This program replaces the global operator new so that a test can make every allocation of
// at least some size fail; it is a program of its own so that the other tests keep the
// sanitizers' own allocator checks.
#include "lectern/book/LBFile.h"

#include "BookTestFiles.h"
#include "tests/support/BookWriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

namespace {

// Allocations of gFailFrom to gFailTo bytes fail; none while gFailFrom is 0.
std::atomic<size_t> gFailFrom{0};
std::atomic<size_t> gFailTo{0};

// Makes every allocation of from to to bytes fail while it lives.
class FailAllocations {
public:
    FailAllocations(size_t from, size_t to)
    {
        gFailTo = to;
        gFailFrom = from;
    }
    ~FailAllocations() { gFailFrom = 0; }
    FailAllocations(const FailAllocations&) = delete;
    FailAllocations& operator=(const FailAllocations&) = delete;
};

}  // namespace

// The replacement pairs malloc with free throughout, which GCC cannot see across the pairs.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t bytes)
{
    const size_t from = gFailFrom;
    if (from != 0 && bytes >= from && bytes <= gFailTo) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(bytes != 0 ? bytes : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](size_t bytes) { return operator new(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept
{
    try {
        return operator new(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t bytes, const std::nothrow_t& tag) noexcept { return operator new(bytes, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

constexpr size_t kLargeBytes = 1u << 20;

using LBFileFaultTest = BookFilesTest;

TEST_F(LBFileFaultTest, AllocationFailuresTravelOnWhereDamageGivesTheDocumentedAnswer)
{
    // A directory whose second name is large, and an entry that inflates to a large stream.
    const std::string path = TempPath();
    booktest::BookWriter()
        .Add("a", "small")
        .Add(std::string(kLargeBytes, 'n'), "x")
        .Add("z", booktest::XorshiftBytes(2 * kLargeBytes, 7))
        .WriteFile(path);
    {
        TLBFile book(nullptr);
        ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
        ASSERT_EQ(book.RecordCount(), 3);
    }
    // The directory inflates into the work stream: the open must not answer "no book".
    {
        TLBFile book(nullptr);
        const FailAllocations fail(kLargeBytes, SIZE_MAX);
        EXPECT_THROW(book.Open(path, TLBFile::kModeRead), EOutOfMemory);
    }
    // Reading the large name (its text and terminator) must not end the directory as if it
    // were damaged there.
    {
        TLBFile book(nullptr);
        const FailAllocations fail(kLargeBytes + 1, kLargeBytes + 1);
        EXPECT_THROW(book.Open(path, TLBFile::kModeRead), std::bad_alloc);
    }
    // The entry must not read empty as if its data were corrupt.
    {
        TLBFile book(nullptr);
        ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
        const FailAllocations fail(kLargeBytes, SIZE_MAX);
        EXPECT_THROW(book.ReadEntry("z"), EOutOfMemory);
        EXPECT_EQ(book.ReadEntry("a")->DataString(), "small");
    }
}

}  // namespace
