#include "lectern/book/FlDfDec.h"
#include "lectern/book/LBFile.h"

#include "BookTestFiles.h"
#include "tests/support/BookWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

using booktest::BookWriter;
using booktest::Int32Bytes;

namespace {

// Opens the protected steps and fields that the tests drive directly.
class ProbeFile : public TLBFile {
public:
    ProbeFile() : TLBFile(nullptr) {}
    using TLBFile::FBusy;
    using TLBFile::FFileStream;
    using TLBFile::ReadViewsThroughHandle;
    using TLBFile::GetMarker;
    using TLBFile::ReadEntryAt;
};

std::string StreamText(TStream* stream)
{
    std::string text(static_cast<size_t>(stream->Size() - stream->Position()), '\0');
    stream->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    return text;
}

std::string Extract(TLBFile& book, const std::string& name)
{
    TMemoryStream dest;
    EXPECT_TRUE(book.ExtractEntry(name, &dest)) << name;
    return dest.DataString();
}

// Bytes that compress badly, so that entries span many decoder buffers.
std::string NoiseText(size_t n, unsigned seed)
{
    std::mt19937 random(seed);
    std::string text(n, '\0');
    for (char& c : text) {
        c = static_cast<char>('a' + random() % 26);
    }
    return text;
}

}  // namespace

// ---- marker search ----------------------------------------------------------------------------

TEST(FindPattern, AgreesWithANaiveSearch)
{
    struct Case {
        const char* pattern;
        const char* buffer;
        int32_t expected;
    };
    const Case cases[] = {
        {"", "abc", 0},           {"", "", 0},          {"abc", "ab", -1},         {"abc", "abc", 0},
        {"abc", "xxabc", 2},      {"abc", "abcabc", 0}, {"aab", "aaab", 1},        {"abab", "abaabab", 3},
        {"xyz", "xyxyzz", 2},     {"a", "bbba", 3},     {"abcab", "xxabcabcab", 2}, {"ba", "aaaa", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindPattern(c.pattern, reinterpret_cast<const uint8_t*>(c.buffer),
                              static_cast<int32_t>(std::strlen(c.buffer))),
                  c.expected)
            << c.pattern << " in " << c.buffer;
    }
    // Random texts over a small alphabet give many partial matches and repeated characters.
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string pattern(1 + random() % 6, 'a');
        std::string buffer(random() % 40, 'a');
        for (char& c : pattern) {
            c = static_cast<char>('a' + random() % 3);
        }
        for (char& c : buffer) {
            c = static_cast<char>('a' + random() % 3);
        }
        const size_t naive = buffer.find(pattern);
        EXPECT_EQ(FindPattern(pattern.c_str(), reinterpret_cast<const uint8_t*>(buffer.data()),
                              static_cast<int32_t>(buffer.size())),
                  naive == std::string::npos ? -1 : static_cast<int32_t>(naive))
            << pattern << " in " << buffer;
    }
    // Bytes above 127 index the skip table like any other.
    const uint8_t high[] = {0xFF, 0xE9, 0x80, 0xE9, 0x80, 0x01};
    EXPECT_EQ(FindPattern("\xE9\x80\x01", high, 6), 3);
}

TEST(FindMarkerInStream, FindsTheFirstMarkerAtOrAfterThePositionAcrossBlockBorders)
{
    const std::string marker = booktest::BookMarker();
    const int32_t block = kMarkerSearchBlockBytes;
    // Offsets around the first and second block border, inside blocks, and at the very end.
    std::vector<int64_t> offsets = {0, 1, block - 53, block - 52, block - 1, block, 2 * block - 60};
    for (int64_t at = 2 * (block - 52) - 3; at <= 2 * (block - 52) + 3; ++at) {
        offsets.push_back(at);  // the second search block starts at 2 * (8192 - 52)
    }
    for (const int64_t at : offsets) {
        for (const int64_t tail : {0, 100}) {
            TMemoryStream stream;
            std::string data(static_cast<size_t>(at), 'L');  // 'L' starts the marker: many near misses
            data += marker + std::string(static_cast<size_t>(tail), 'x');
            stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
            stream.SetPosition(0);
            EXPECT_EQ(FindMarkerInStream(marker.c_str(), stream), at) << at << " " << tail;
        }
    }
    // Two markers: the search starts at the stream's position.
    TMemoryStream stream;
    const std::string data = marker + std::string(20000, 'y') + marker;
    stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    stream.SetPosition(1);
    EXPECT_EQ(FindMarkerInStream(marker.c_str(), stream), 53 + 20000);
    // A marker missing its last byte is no marker.
    TMemoryStream cut;
    const std::string cutData = std::string(9000, 'z') + marker.substr(0, 52);
    cut.WriteBuffer(cutData.data(), static_cast<int64_t>(cutData.size()));
    cut.SetPosition(0);
    EXPECT_EQ(FindMarkerInStream(marker.c_str(), cut), -1);
}

TEST(LBFile, MarkerIsTheFiftyThreeByteTextAssembledAtRunTime)
{
    EXPECT_EQ(ProbeFile::GetMarker(), booktest::BookMarker());
    EXPECT_EQ(ProbeFile::GetMarker().size(), 53u);
    EXPECT_EQ(ProbeFile::GetMarker().substr(0, 13), std::string("LBF") + "PADDING" + "LBF");
}

// ---- opening ------------------------------------------------------------------------------------

class LBFileTest : public BookFilesTest {};

TEST_F(LBFileTest, OpensABookAtOffsetZeroAndReadsItsDirectory)
{
    const std::string path = TempPath();
    BookWriter().SetHeader("header text").Add("index.html", "<p>index</p>", "x1").Add("b.css", "p{}").WriteFile(path);
    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
    EXPECT_EQ(book.Mode(), 0);
    EXPECT_EQ(book.Path(), path);
    EXPECT_EQ(book.BaseOffset(), 53);
    EXPECT_EQ(book.Header(), "header text");
    ASSERT_EQ(book.RecordCount(), 2);
    EXPECT_EQ(book.Records(0)->Name, "b.css");
    EXPECT_EQ(book.Records(1)->Name, "index.html");
    EXPECT_EQ(book.Records(1)->Extra, "x1");
    EXPECT_EQ(Extract(book, "index.html"), "<p>index</p>");
    EXPECT_EQ(Extract(book, "b.css"), "p{}");

    book.Close();
    EXPECT_EQ(book.RecordCount(), 0);
    EXPECT_EQ(book.Path(), "");
    EXPECT_FALSE(book.Exists("index.html"));
    TMemoryStream dest;
    EXPECT_FALSE(book.ExtractEntry("index.html", &dest));
}

TEST_F(LBFileTest, OpensByAWideNameThatTheCodePageLacks)
{
    // Cyrillic and a CJK character, which no single-byte code page holds together.
    const std::string written = TempPath();
    BookWriter().Add("index.html", "<p>index</p>").WriteFile(written);
    const std::u16string path = TempPathWide(u"книга-本.lb");
    WriteFileBytes(path, ReadFileBytes(written));
    for (const bool mapped : {true, false}) {
        SCOPED_TRACE(mapped ? "mapped file" : "second handle");
        ProbeFile book;
        ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
        EXPECT_EQ(book.WidePath(), path);
        if (!mapped) {
            book.ReadViewsThroughHandle();  // opens the file again by its name
        }
        EXPECT_EQ(Extract(book, "index.html"), "<p>index</p>");
    }
}

TEST_F(LBFileTest, OpensABookAppendedBehindAProgramImage)
{
    // The running test program itself is a multi-megabyte image with no marker in it.
    const std::string image = ReadFileBytes(plat::ExePath());
    ASSERT_GT(image.size(), 1000000u);
    const std::string page = NoiseText(200000, 1);
    const std::string path = TempPath("host.exe");
    BookWriter().Add("page.html", page).Add("#SYSTEM", "Title=T").WriteFile(path, image);

    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
    EXPECT_EQ(book.BaseOffset(), static_cast<int64_t>(image.size()) + 53);
    EXPECT_EQ(Extract(book, "page.html"), page);
    EXPECT_EQ(StreamText(book.ReadEntry("#system")), "Title=T");
}

TEST_F(LBFileTest, FailedOpensLeaveTheObjectClosed)
{
    const std::string good = TempPath("good");
    BookWriter().Add("a", "1").WriteFile(good);
    const std::string plain = TempPath("plain");
    WriteFileBytes(plain, std::string(20000, 'p') + booktest::BookMarker().substr(0, 52));
    const std::string markerOnly = TempPath("short");
    WriteFileBytes(markerOnly, booktest::BookMarker() + "\x05");  // directory offset cut short
    const std::string badStream = TempPath("badstream");
    BookWriter().Add("a", "1").SetDirectoryStream("\xFF\xFF\xFF").WriteFile(badStream);
    const std::string pastEnd = TempPath("pastend");
    BookWriter().Add("a", "1").SetDirectoryOffset(1000000).WriteFile(pastEnd);

    struct Case {
        std::string path;
        int16_t mode;
    };
    const Case cases[] = {{plain, 0},     {markerOnly, 0}, {badStream, 0},
                          {pastEnd, 0},   {TempPath("missing"), 0}, {good, 2},
                          {good, 7}};
    for (const Case& c : cases) {
        TLBFile book(nullptr);
        ASSERT_TRUE(book.Open(good, TLBFile::kModeRead));  // a failed open also closes this one
        EXPECT_FALSE(book.Open(c.path, c.mode)) << c.path << " mode " << c.mode;
        EXPECT_EQ(book.Path(), "");
        EXPECT_EQ(book.RecordCount(), 0);
        EXPECT_FALSE(book.Exists("a"));
        // The failed object opens again as usual.
        EXPECT_TRUE(book.Open(good, TLBFile::kModeRead));
    }
}

TEST_F(LBFileTest, DirectoryOffsetOfZeroOrLessOpensWithNoRecords)
{
    for (const int32_t offset : {0, -1, -2147483647 - 1}) {
        const std::string path = TempPath();
        BookWriter().Add("a", "1").SetDirectoryOffset(offset).WriteFile(path);
        TLBFile book(nullptr);
        ASSERT_TRUE(book.Open(path, TLBFile::kModeRead)) << offset;
        EXPECT_EQ(book.RecordCount(), 0);
        EXPECT_FALSE(book.Exists("a"));
        EXPECT_EQ(book.ReadEntry("a")->Size(), 0);
    }
}

TEST_F(LBFileTest, WriteModesPutAMarkerAndAnEmptyDirectoryOffset)
{
    const std::string marker = booktest::BookMarker();
    const std::string zero = Int32Bytes(0);

    const std::string created = TempPath("created");
    WriteFileBytes(created, "old content");
    const std::string appended = TempPath("appended");
    WriteFileBytes(appended, "old content");
    const std::string fresh = TempPath("fresh");  // mode 1 on a missing file creates it
    struct Case {
        std::string path;
        int16_t mode;
        std::string expected;
    };
    const Case cases[] = {{created, -1, marker + zero},
                          {appended, 1, "old content" + marker + zero},
                          {fresh, 1, marker + zero}};
    for (const Case& c : cases) {
        TLBFile book(nullptr);
        ASSERT_TRUE(book.Open(c.path, c.mode)) << c.path;
        EXPECT_EQ(book.Mode(), 1);
        EXPECT_EQ(book.Path(), "");
        EXPECT_EQ(book.BaseOffset(), static_cast<int64_t>(c.expected.size()) - 4);
        EXPECT_EQ(book.ReadEntry("x"), nullptr);
        TMemoryStream dest;
        EXPECT_FALSE(book.ExtractEntry("x", &dest));
        book.Close();
        EXPECT_EQ(ReadFileBytes(c.path), c.expected);

        // What was written opens for reading as an empty book.
        ASSERT_TRUE(book.Open(c.path, TLBFile::kModeRead));
        EXPECT_EQ(book.Mode(), 0);
        EXPECT_EQ(book.RecordCount(), 0);
    }
}

// ---- damaged directories ---------------------------------------------------------------------

TEST_F(LBFileTest, TruncatedDirectoryKeepsTheCompleteRecordsOrFailsInItsHeader)
{
    BookWriter whole;
    whole.SetHeader("hdr").Add("a", "1", "e").Add("bb", "22").Add("ccc", "333");
    const std::string directory = whole.Directory();
    // Layout: 4 + 3 header, 4 count, then records of 4+1+4+1+4, 4+2+4+0+4, 4+3+4+0+4 bytes.
    const size_t headerEnd = 4 + 3 + 4;
    const size_t recordEnds[] = {headerEnd + 14, headerEnd + 28, headerEnd + 43};
    ASSERT_EQ(directory.size(), recordEnds[2]);
    for (size_t cut = 0; cut <= directory.size(); ++cut) {
        const std::string path = TempPath();
        BookWriter(whole).SetDirectory(directory.substr(0, cut)).WriteFile(path);
        TLBFile book(nullptr);
        const bool opened = book.Open(path, TLBFile::kModeRead);
        if (cut < headerEnd) {
            EXPECT_FALSE(opened) << cut;
            continue;
        }
        ASSERT_TRUE(opened) << cut;
        const int expected = static_cast<int>(std::count_if(std::begin(recordEnds), std::end(recordEnds),
                                                            [cut](size_t end) { return end <= cut; }));
        ASSERT_EQ(book.RecordCount(), expected) << cut;
        for (int i = 0; i < expected; ++i) {
            EXPECT_TRUE(book.Exists(book.Records(i)->Name));
        }
        if (expected > 0) {
            EXPECT_EQ(Extract(book, "a"), "1");
        }
    }
}

TEST_F(LBFileTest, UntrustedLengthsAndOffsetsEndTheReadSafely)
{
    const auto text = [](const std::string& s) { return Int32Bytes(static_cast<int32_t>(s.size())) + s; };
    // A valid first record (entry "a" at offset 4), then the damaged second one.
    const std::string recordA = text("a") + text("") + Int32Bytes(4);
    const auto withSecond = [&](const std::string& second, int32_t count = 2) {
        return text("") + Int32Bytes(count) + recordA + second;
    };
    const int32_t kMax = 2147483647;
    struct Case {
        const char* what;
        std::string directory;
        bool opens;
        int records;
        bool secondReads = false;  // the second record, "b", points at entry "a"'s stream
    };
    const Case cases[] = {
        // A header length of 0 or less means no header text: the count follows at once.
        {"negative header length", Int32Bytes(-1) + Int32Bytes(1) + recordA, true, 1},
        {"header longer than the directory", Int32Bytes(kMax) + "abc" + Int32Bytes(0), false, 0},
        {"header one byte too long", Int32Bytes(5) + "abcd", false, 0},
        {"negative name length", withSecond(Int32Bytes(-5) + "b" + text("") + Int32Bytes(4)), true, 1},
        {"huge name length", withSecond(Int32Bytes(kMax) + "b" + text("") + Int32Bytes(4)), true, 1},
        {"name past the end", withSecond(Int32Bytes(3) + "bb"), true, 1},
        {"negative extra length", withSecond(text("b") + Int32Bytes(-2147483647 - 1) + Int32Bytes(4)), true, 1},
        {"huge extra length", withSecond(text("b") + Int32Bytes(kMax - 3) + Int32Bytes(4)), true, 1},
        {"huge record count", withSecond(text("b") + text("") + Int32Bytes(4), kMax), true, 2, true},
        {"negative record count", withSecond(text("b") + text("") + Int32Bytes(4), -3), true, 0},
        // Offsets whose sum with the base offset overflows 32 bits: the entry fails, nothing else.
        {"huge entry offset", withSecond(text("b") + text("") + Int32Bytes(kMax)), true, 2},
    };
    for (const Case& c : cases) {
        const std::string path = TempPath();
        BookWriter().Add("a", "first").SetDirectory(c.directory).WriteFile(path, std::string(100, 'p'));
        TLBFile book(nullptr);
        ASSERT_EQ(book.Open(path, TLBFile::kModeRead), c.opens) << c.what;
        ASSERT_EQ(book.RecordCount(), c.records) << c.what;
        EXPECT_EQ(book.Header(), "") << c.what;
        if (c.records > 0) {
            EXPECT_EQ(Extract(book, "a"), "first") << c.what;
        }
        if (c.records > 1 && c.secondReads) {
            EXPECT_EQ(Extract(book, "b"), "first") << c.what;
        } else if (c.records > 1) {
            EXPECT_TRUE(book.Exists("b"));
            EXPECT_EQ(book.ReadEntry("b")->Size(), 0) << c.what;
            TMemoryStream dest;
            EXPECT_THROW(book.ExtractEntry("b", &dest), EFlInflateError) << c.what;
        }
    }
}

// ---- lookups ------------------------------------------------------------------------------------

TEST_F(LBFileTest, LooksUpNamesCaseInsensitivelyInThePlatformOrder)
{
    // Names whose order differs between byte order and the locale order of the platform.
    const std::vector<std::string> names = {"a-b",     "ab",         "_a",        "A.html",   "b.HTML",
                                            "a\\b.htm", "a\\B\\c.htm", "\xE9t\xE9", "\xC4rger", "zed",
                                            "#SYSTEM",  "#MAP",        "10.html",   "9.html",   "a b"};
    BookWriter writer;
    for (const std::string& name : names) {
        writer.Add(name, "data of " + name);
    }
    const std::string path = TempPath();
    writer.WriteFile(path);
    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
    ASSERT_EQ(book.RecordCount(), static_cast<int>(names.size()));
    for (const std::string& name : names) {
        std::string swapped = name;
        for (char& c : swapped) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            } else if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        for (const std::string& key : {name, swapped}) {
            const TLBFileRecord* record = book.FindRecord(key);
            ASSERT_NE(record, nullptr) << key;
            EXPECT_EQ(record->Name, name);
            EXPECT_EQ(Extract(book, key), "data of " + name);
        }
    }
    for (const std::string key : {"", "a", "a-", "abc", "a\\b", "zee", "#SYS"}) {
        EXPECT_FALSE(book.Exists(key)) << key;
    }
}

TEST_F(LBFileTest, UnsortedDirectoryHidesNamesFromTheBinarySearch)
{
    const std::string path = TempPath();
    BookWriter().Add("c", "3").Add("b", "2").Add("a", "1").KeepOrder().WriteFile(path);
    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
    ASSERT_EQ(book.RecordCount(), 3);
    EXPECT_TRUE(book.Exists("b"));   // the middle record
    EXPECT_FALSE(book.Exists("a"));  // the search turns away from it
    EXPECT_FALSE(book.Exists("c"));
}

// ---- reading entries ------------------------------------------------------------------------

TEST_F(LBFileTest, EntriesWithoutDataOrWithCorruptDataExistButReadEmpty)
{
    const std::string path = TempPath();
    BookWriter()
        .Add("good", "fine")
        .AddRecord("nodata", -1)
        .AddRawStream("corrupt", std::string("\x07\xFF\xFF\xFF", 4))
        .WriteFile(path);
    ProbeFile book;
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));

    EXPECT_TRUE(book.Exists("nodata"));
    TMemoryStream dest;
    dest.WriteBuffer("keep", 4);
    EXPECT_FALSE(book.ExtractEntry("nodata", &dest));
    EXPECT_FALSE(book.ExtractEntry("missing", &dest));
    EXPECT_EQ(dest.DataString(), "keep");
    EXPECT_EQ(dest.Position(), 4);  // untouched

    for (const char* name : {"nodata", "corrupt", "missing"}) {
        TMemoryStream* entry = book.ReadEntry(name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->Size(), 0) << name;
    }
    EXPECT_EQ(book.ReadEntryAt(-1)->Size(), 0);
    EXPECT_THROW(book.ExtractEntry("corrupt", &dest), EFlInflateError);
    EXPECT_EQ(StreamText(book.ReadEntry("good")), "fine");
}

TEST_F(LBFileTest, ReadEntrySharesOneStreamUnlessEntriesAreCached)
{
    const std::string big = NoiseText(300000, 2);
    const std::string path = TempPath();
    BookWriter().Add("big", big).Add("small", "tiny").WriteFile(path);

    TLBFile plain(nullptr);
    ASSERT_TRUE(plain.Open(path, TLBFile::kModeRead));
    TMemoryStream* first = plain.ReadEntry("big");
    EXPECT_EQ(first->Position(), 0);
    EXPECT_EQ(StreamText(first), big);
    EXPECT_EQ(plain.ReadEntry("small"), first);  // the same stream, overwritten
    EXPECT_EQ(StreamText(first), "tiny");
    EXPECT_EQ(plain.ReadEntry("missing"), first);
    EXPECT_EQ(first->Size(), 0);
    EXPECT_EQ(plain.FindRecord("big")->Cache, nullptr);
    EXPECT_FALSE(plain.Busy());

    TLBFile cached(nullptr);
    cached.SetCacheEntries(true);
    ASSERT_TRUE(cached.Open(path, TLBFile::kModeRead));
    TMemoryStream* work = cached.ReadEntry("big");  // the first read still gives the shared stream
    ASSERT_NE(cached.FindRecord("big")->Cache, nullptr);
    EXPECT_EQ(cached.FindRecord("big")->Cache->DataString(), big);
    EXPECT_EQ(StreamText(work), big);
    cached.ReadEntry("small");
    TMemoryStream* again = cached.ReadEntry("BIG");
    EXPECT_EQ(again, cached.FindRecord("big")->Cache.get());
    EXPECT_EQ(again->Position(), 0);
    again->SetPosition(1000);
    EXPECT_EQ(cached.ReadEntry("big")->Position(), 0);  // handed out again from the start
    EXPECT_EQ(StreamText(cached.ReadEntry("big")), big);
}

TEST_F(LBFileTest, BusyObjectGivesNoStreamAfterWaiting)
{
    const std::string path = TempPath();
    BookWriter().Add("a", "1").WriteFile(path);
    ProbeFile book;
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
    book.FBusy = true;
    EXPECT_EQ(book.ReadEntry("a"), nullptr);
    EXPECT_TRUE(book.Busy());
    book.FBusy = false;
    EXPECT_EQ(StreamText(book.ReadEntry("a")), "1");
    EXPECT_FALSE(book.Busy());
}

TEST_F(LBFileTest, ExtractEntryAppendsToDestAndRewindsIt)
{
    const std::string big = NoiseText(100000, 3);
    const std::string path = TempPath();
    BookWriter().Add("big", big).WriteFile(path);
    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
    TMemoryStream dest;
    dest.WriteBuffer("prefix:", 7);
    ASSERT_TRUE(book.ExtractEntry("big", &dest));
    EXPECT_EQ(dest.Position(), 0);
    EXPECT_EQ(dest.DataString(), "prefix:" + big);
    // Extraction leaves the shared stream alone.
    EXPECT_EQ(book.ReadEntry("big")->Size(), static_cast<int64_t>(big.size()));
    TMemoryStream* work = book.ReadEntry("big");
    TMemoryStream other;
    ASSERT_TRUE(book.ExtractEntry("big", &other));
    EXPECT_EQ(work->Size(), static_cast<int64_t>(big.size()));
}

TEST_F(LBFileTest, StoredSizeIsTheEntrysExtentInTheFile)
{
    // Streams lie in the order added, the directory is sorted by name: "zeta" comes first in
    // the file and last in the directory, "alpha" is the last stream before the directory.
    const std::string noise = booktest::XorshiftBytes(200000, 7);
    const std::string zeta = booktest::RawDeflate(noise);
    const std::string mid = booktest::RawDeflate("middle");
    const std::string alpha = booktest::RawDeflate("a few words, a few words, a few words");
    const int32_t midOffset = 4 + static_cast<int32_t>(zeta.size());
    const std::string path = TempPath();
    BookWriter()
        .AddRawStream("zeta", zeta)
        .AddRawStream("mid", mid)
        .AddRawStream("alpha", alpha)
        .AddRecord("alias", midOffset)
        .AddRecord("nodata", -1)
        .AddRecord("beyond", 1 << 30)
        .WriteFile(path);
    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));

    const struct {
        const char* name;
        size_t expected;
    } cases[] = {
        {"zeta", zeta.size()}, {"mid", mid.size()},   {"alpha", alpha.size()}, {"alias", mid.size()},
        {"nodata", 0},         {"beyond", 0},         {"missing", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(book.StoredSize(c.name), static_cast<int64_t>(c.expected)) << c.name;
    }
    // Data deflate can only store take no fewer bytes in the file than inflated.
    EXPECT_GE(book.StoredSize("zeta"), static_cast<int64_t>(noise.size()));
    EXPECT_EQ(Extract(book, "zeta"), noise);

    book.Close();
    EXPECT_EQ(book.StoredSize("zeta"), 0);
}

TEST_F(LBFileTest, EightThreadsExtractAtOnce)
{
    std::vector<std::string> pages;
    BookWriter writer;
    for (int i = 0; i < 24; ++i) {
        pages.push_back(NoiseText(20000 + 7000 * static_cast<size_t>(i), 100 + static_cast<unsigned>(i)));
        writer.Add("page" + std::to_string(i) + ".html", pages.back());
    }
    const std::string path = TempPath();
    writer.WriteFile(path, std::string(5000, 'h'));
    TLBFile book(nullptr);
    ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));

    std::atomic<int> good{0};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (size_t k = 0; k < pages.size(); ++k) {
                    const size_t i = (k + static_cast<size_t>(t) * 5) % pages.size();
                    TMemoryStream dest;
                    bool ok = false;
                    try {
                        ok = book.Exists("PAGE" + std::to_string(i) + ".HTML") &&
                             book.ExtractEntry("page" + std::to_string(i) + ".html", &dest);
                    } catch (const Exception&) {
                    }
                    (ok && dest.DataString() == pages[i] ? good : bad)++;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(good.load(), 8 * 3 * static_cast<int>(pages.size()));
}

// The main file stream belongs to the thread that opened the book (ReadEntry reads through
// it); extractions on other threads must neither move it nor be moved by it, whether they read
// the mapped file or, where it cannot be mapped, a handle of their own.
TEST_F(LBFileTest, ExtractionsLeaveTheMainStreamWhereItIs)
{
    for (const bool mapped : {true, false}) {
        SCOPED_TRACE(mapped ? "mapped file" : "second handle");
        const std::string big = NoiseText(300000, 4);
        std::vector<std::string> pages;
        BookWriter writer;
        writer.Add("big", big);
        for (int i = 0; i < 6; ++i) {
            pages.push_back(NoiseText(60000 + 5000 * static_cast<size_t>(i), 200 + static_cast<unsigned>(i)));
            writer.Add("page" + std::to_string(i), pages.back());
        }
        const std::string path = TempPath();
        writer.WriteFile(path, std::string(3000, 'h'));
        ProbeFile book;
        ASSERT_TRUE(book.Open(path, TLBFile::kModeRead));
        if (!mapped) {
            book.ReadViewsThroughHandle();
        }

        book.FFileStream->Seek(1234, SeekOrigin::Begin);
        EXPECT_EQ(Extract(book, "page3"), pages[3]);
        EXPECT_EQ(book.FFileStream->Position(), 1234);

        // The main thread reads a large entry through the main stream, in many buffer loads,
        // while four threads extract entries through their views.
        std::atomic<bool> stop{false};
        std::atomic<int> good{0};
        std::atomic<int> bad{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                for (size_t k = static_cast<size_t>(t); !stop.load(); ++k) {
                    const size_t i = k % pages.size();
                    TMemoryStream dest;
                    bool ok = false;
                    try {
                        ok = book.ExtractEntry("page" + std::to_string(i), &dest);
                    } catch (const Exception&) {
                    }
                    (ok && dest.DataString() == pages[i] ? good : bad)++;
                }
            });
        }
        int mainReads = 0;
        int mainBad = 0;
        for (; mainReads < 20 || (good.load() < 40 && mainReads < 2000); ++mainReads) {
            mainBad += StreamText(book.ReadEntry("big")) != big;
        }
        stop = true;
        for (std::thread& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(mainBad, 0) << mainReads;
        EXPECT_EQ(bad.load(), 0);
        EXPECT_GE(good.load(), 40);
    }
}
