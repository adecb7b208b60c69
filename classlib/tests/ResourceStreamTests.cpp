// Streams over the program's own resources.
#include "classlib/Streams.h"

#include <gtest/gtest.h>

namespace {

TEST(ResourceStream, AMissingResourceRaisesWithItsName)
{
    try {
        TResourceStream stream("NO_SUCH_RESOURCE");
        ADD_FAILURE() << "opened";
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.Message(), "Resource NO_SUCH_RESOURCE not found");
    }
}

#ifdef _WIN32
TEST(ResourceStream, ReadsAndSeeksTheResourceBytesAndWritesNothing)
{
    TResourceStream stream("CLASSLIBTEXT");
    ASSERT_EQ(stream.Size(), 14);
    char text[20] = {};
    EXPECT_EQ(stream.Read(text, 20), 14);
    EXPECT_STREQ(text, "resource bytes");
    EXPECT_EQ(stream.Read(text, 1), 0);
    stream.Seek(-5, SeekOrigin::End);
    EXPECT_EQ(stream.Read(text, 5), 5);
    EXPECT_EQ(std::string(text, 5), "bytes");
    EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
}
#endif

}  // namespace
