#include "lectern/lc/lcWinSockBase.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IsDottedIP4, AcceptsFourOctetsFollowedOnlyByBlanks)
{
    struct TCase {
        const char* Text;
        bool Dotted;
    };
    const TCase cases[] = {
        {"10.0.0.1", true},
        {"255.255.255.255", true},
        {"  127.0.0.1", true},
        {"1.2.3.4 ", true},
        {"1.2.3.4 \t ", true},
        {"10.0.0", false},            // two dots
        {"1.2.3.4.5", false},         // four dots
        {"256.1.1.1", false},
        {"1.1.1.256", false},         // the last number is checked too
        {".1.2.3", false},
        {"  .1.2.3.4", false},
        {"1..2.3", false},
        {"1.2.3.", false},            // a dot must be followed by a digit
        {"1.2.3.4x", false},          // only blanks may follow the address
        {"1.2.3.4 x", false},
        {"1.2.3 .4", false},
        {"localhost", false},
        {"", false},
        {"   ", false},
        // Digit runs far beyond any octet must neither overflow nor wrap back below 256.
        {"4294967296.1.1.1", false},
        {"1.1.1.99999999999999999999999999", false},
        {"1.1.1.4294967552", false},  // 2^32 + 256: wraps to 256 in 32-bit arithmetic
        {"1.1.1.4294967297", false},  // 2^32 + 1: wraps to 1
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(IsDottedIP4(c.Text), c.Dotted) << "'" << c.Text << "'";
    }
}

TEST(WinSockErrorText, KnownCodesAndTheFallback)
{
    EXPECT_EQ(WinSockErrorText(10048), "Address or Port already in use");
    EXPECT_EQ(WinSockErrorText(0), "No Error");
    EXPECT_EQ(WinSockErrorText(10000), "No Error");
    EXPECT_EQ(WinSockErrorText(10058), "Can't send after socket shutdown");
    EXPECT_EQ(WinSockErrorText(11004), "No Data");
    EXPECT_EQ(WinSockErrorText(12345), "Not a WinSock error");
    EXPECT_EQ(WinSockErrorText(-1), "Not a WinSock error");
    EXPECT_EQ(WinSockErrorText(10072), "Not a WinSock error");
}

TEST(FdSet, AddsUpToSixtyFourSocketsAndClears)
{
    TFdSet set{};
    for (TSocket s = 1; s <= kFdSetSize + 3; ++s) {
        FdSetAdd(s, set);
    }
    ASSERT_EQ(set.fd_count, static_cast<std::uint32_t>(kFdSetSize));
    EXPECT_EQ(set.fd_array[0], 1u);
    EXPECT_EQ(set.fd_array[kFdSetSize - 1], static_cast<TSocket>(kFdSetSize));
    FdSetClear(set);
    EXPECT_EQ(set.fd_count, 0u);
    FdSetAdd(7, set);
    EXPECT_EQ(set.fd_count, 1u);
    EXPECT_EQ(set.fd_array[0], 7u);
}

TEST(SocketExceptions, SocketErrorIsSilentAbortFatalIsNot)
{
    ELcSocketError error("x");
    ELcFatalSockException fatal("y");
    EXPECT_NE(dynamic_cast<EAbort*>(static_cast<Exception*>(&error)), nullptr);
    EXPECT_EQ(dynamic_cast<EAbort*>(static_cast<Exception*>(&fatal)), nullptr);
    EXPECT_STREQ(error.ClassName(), "ELcSocketError");
    EXPECT_STREQ(fatal.ClassName(), "ELcFatalSockException");
}

}  // namespace
