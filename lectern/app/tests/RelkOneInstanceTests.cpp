#include "lectern/app/RelkOneInstance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <set>

namespace {

TEST(InstanceBlock, TenParametersOfThreeHundredCharacters)
{
    static_assert(kInstanceBlockSize == 3018);
    std::vector<uint8_t> block(kInstanceBlockSize, 0xAB);
    std::vector<std::string> params;
    for (int i = 0; i < 12; ++i) {
        params.push_back(std::string("p").append(std::to_string(i)));
    }
    params[1] = std::string(400, 'x');
    params[2] = "";
    WriteInstanceParams(block.data(), params);
    const std::vector<std::string> read = ReadInstanceParams(block.data());
    ASSERT_EQ(read.size(), 10u);
    EXPECT_EQ(read[0], "p0");
    EXPECT_EQ(read[1], std::string(300, 'x'));
    EXPECT_EQ(read[2], "");
    EXPECT_EQ(read[9], "p9");

    WriteInstanceParams(block.data(), {});
    EXPECT_TRUE(ReadInstanceParams(block.data()).empty());
}

TEST(InstanceBlock, ReaderBoundsWhatAnotherProcessWrote)
{
    std::vector<uint8_t> block(kInstanceBlockSize, 'z');  // no zero byte anywhere
    for (const int32_t count : {-1, 0, 3, 10, 11, 0x7FFFFFFF}) {
        std::memcpy(block.data() + 4, &count, 4);
        const std::vector<std::string> read = ReadInstanceParams(block.data());
        const size_t expected = count < 0 ? 0 : count > 10 ? 10 : static_cast<size_t>(count);
        ASSERT_EQ(read.size(), expected) << count;
        for (const std::string& p : read) {
            EXPECT_EQ(p, std::string(300, 'z'));
        }
    }
}

TEST(InstanceBlock, NamedPerProgramAndBook)
{
    const std::u16string exe = u"C:\\Books\\lectern.exe";
    // The book appended to the program: the program's file name alone, as it is.
    EXPECT_EQ(InstanceBlockName(exe, u""), u"lectern.exe");
    EXPECT_EQ(InstanceBlockName(u"D:\\полка\\книга-本.exe", u""), u"книга-本.exe");
    EXPECT_EQ(InstanceBlockName(u"lectern.exe", u""), u"lectern.exe");

    // A book named on the command line: a guard of its own, the same for the same book.
    const std::u16string first = InstanceBlockName(exe, u"D:\\B\\FIRST.LB");
    EXPECT_EQ(first.substr(0, 12), u"lectern.exe:");
    EXPECT_EQ(first.size(), 12u + 16u);
    EXPECT_EQ(InstanceBlockName(exe, u"D:\\B\\FIRST.LB"), first);
    EXPECT_EQ(InstanceBlockName(u"E:\\elsewhere\\lectern.exe", u"D:\\B\\FIRST.LB"), first);
    const std::u16string keys[] = {u"D:\\B\\SECOND.LB", u"D:\\B\\FIRST.LC", u"D:\\КНИГА.LB", u"D:\\КНИЖА.LB",
                                   u"D:\\" + std::u16string(32000, u'X') + u".LB"};
    std::set<std::u16string> names = {first, InstanceBlockName(u"C:\\other.exe", u"D:\\B\\FIRST.LB")};
    for (const std::u16string& key : keys) {
        const std::u16string name = InstanceBlockName(exe, key);
        EXPECT_EQ(name.size(), 12u + 16u);  // short whatever the path
        EXPECT_EQ(name.find(u'\\'), std::u16string::npos);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 2u + std::size(keys));  // every book and program apart
}

}  // namespace
