#include "classlib/Platform.h"
#include "classlib/PlatformText.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformText, SystemCodePageIsWindows1252BothWays)
{
    struct Case { std::string bytes; std::u16string wide; };
    const Case cases[] = {
        {"", u""},
        {"plain ASCII", u"plain ASCII"},
        {"caf\xE9 \xFF", u"caf\u00E9 \u00FF"},
        {"\x80\x8A\x9F", u"\u20AC\u0160\u0178"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plat::SystemToWide(c.bytes), c.wide) << c.bytes;
        EXPECT_EQ(plat::WideToSystem(c.wide), c.bytes) << c.bytes;
    }
    // Characters the code page lacks become '?'.
    EXPECT_EQ(plat::WideToSystem(u"a\u4E2Db"), "a?b");
}

TEST(PlatformText, TempFilesAreNewEmptyAndCarryThePrefix)
{
    const std::string dir = plat::TempDir();
    const std::string a = plat::CreateTempFile(dir, "LCT");
    const std::string b = plat::CreateTempFile(dir, "LCT");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    EXPECT_NE(a, b);
    for (const std::string& name : {a, b}) {
        EXPECT_EQ(name.compare(0, dir.size() + 3, dir + "LCT"), 0) << name;
        EXPECT_TRUE(plat::FileExists(name));
        EXPECT_TRUE(plat::RemoveFile(name));
    }
    EXPECT_EQ(plat::CreateTempFile(dir + "no_such_folder_lc" + plat::PathDelim(), "LCT"), "");
}

TEST(PlatformText, ExpandUncFileNameGivesAFullPath)
{
    const std::string exe = plat::ExePath();
    EXPECT_EQ(plat::ExpandUncFileName(exe), exe);
}

}  // namespace
