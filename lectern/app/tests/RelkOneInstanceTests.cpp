#include "lectern/app/RelkOneInstance.h"

#include <gtest/gtest.h>

#include <cstring>

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

}  // namespace
