#include "lectern/book/LBLzhArchive.h"

#include "BookTestFiles.h"
#include "tests/support/BookWriter.h"

#include <gtest/gtest.h>

#include <string>

using booktest::BookWriter;

class LBLzhArchiveTest : public BookFilesTest {};

TEST_F(LBLzhArchiveTest, LoadsSettingsAndTopicMapSplittingAtEveryLineBreak)
{
    const std::string path = TempPath();
    BookWriter()
        .Add("#SYSTEM", "Title=My book\r\nSaveRegistry=1\r\n[MainMenu]\nHome=index.html\rLast")
        .Add("#MAP", "1=index.html\r\n2=a\\b.html\n")
        .Add("index.html", "<p>hi</p>")
        .WriteFile(path);
    TLBLzhArchive book(path);
    ASSERT_TRUE(book.Valid());
    EXPECT_EQ(book.Path(), path);
    ASSERT_EQ(book.BookSettings().Count(), 5);
    EXPECT_EQ(book.BookSettings().Values("title"), "My book");
    EXPECT_EQ(book.BookSettings()[2], "[MainMenu]");
    EXPECT_EQ(book.BookSettings()[3], "Home=index.html");
    EXPECT_EQ(book.BookSettings()[4], "Last");
    ASSERT_EQ(book.TopicMap().Count(), 2);
    EXPECT_EQ(book.TopicMap().Values("2"), "a\\b.html");
    // Both special entries stay cached; pages are served by extraction.
    EXPECT_TRUE(book.CacheEntries());
    EXPECT_NE(book.FindRecord("#SYSTEM")->Cache, nullptr);
    EXPECT_NE(book.FindRecord("#MAP")->Cache, nullptr);
    EXPECT_EQ(book.FindRecord("index.html")->Cache, nullptr);
    TMemoryStream page;
    ASSERT_TRUE(book.ExtractEntry("INDEX.HTML", &page));
    EXPECT_EQ(page.DataString(), "<p>hi</p>");
}

TEST_F(LBLzhArchiveTest, MissingOrBrokenSpecialEntriesGiveEmptyLists)
{
    const std::string plainBook = TempPath("plain");
    BookWriter().Add("index.html", "x").WriteFile(plainBook);
    const std::string brokenBook = TempPath("broken");
    BookWriter()
        .AddRawStream("#SYSTEM", std::string("\x07\x00\x00", 3))
        .AddRecord("#MAP", -1)
        .Add("index.html", "x")
        .WriteFile(brokenBook);
    for (const std::string& path : {plainBook, brokenBook}) {
        TLBLzhArchive book(path);
        EXPECT_TRUE(book.Valid()) << path;
        EXPECT_EQ(book.BookSettings().Count(), 0) << path;
        EXPECT_EQ(book.TopicMap().Count(), 0) << path;
        EXPECT_TRUE(book.Exists("index.html"));
    }
}

TEST_F(LBLzhArchiveTest, FileWithoutAContainerIsNotValid)
{
    const std::string notABook = TempPath("text.txt");
    WriteFileBytes(notABook, "#SYSTEM\r\nTitle=not a book\r\n");
    for (const std::string& path : {notABook, TempPath("missing")}) {
        TLBLzhArchive book(path);
        EXPECT_FALSE(book.Valid()) << path;
        EXPECT_EQ(book.Path(), "");
        EXPECT_EQ(book.BookSettings().Count(), 0);
        EXPECT_EQ(book.TopicMap().Count(), 0);
    }
}
