#include "classlib/DateUtils.h"
#include "classlib/PlatformTime.h"
#include "classlib/SysUtils.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ctime>

namespace {

TEST(DateUtils, EncodeAndDecodeDatesAcrossTheCalendar)
{
    struct Case { int y, m, d; double value; };
    const Case cases[] = {
        {1899, 12, 30, 0}, {1899, 12, 31, 1}, {1899, 12, 29, -1}, {1900, 1, 1, 2}, {1900, 3, 1, 61},
        {2000, 2, 29, 36585}, {2024, 1, 2, 45293}, {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.value) << c.y << "-" << c.m << "-" << c.d;
        uint16_t y, m, d;
        DecodeDate(c.value, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.value;
    }
    // Every day of four centuries comes back as itself, one after the other.
    uint16_t y0, m0, d0;
    DecodeDate(EncodeDate(1600, 1, 1), y0, m0, d0);
    for (double day = EncodeDate(1600, 1, 1); day < EncodeDate(2000, 1, 1); ++day) {
        uint16_t y, m, d;
        DecodeDate(day, y, m, d);
        ASSERT_EQ(EncodeDate(y, m, d), day);
    }
    for (auto bad : {std::array<int, 3>{2023, 2, 29}, {1900, 2, 29}, {0, 1, 1}, {10000, 1, 1}, {2024, 13, 1}, {2024, 0, 1}, {2024, 4, 31}}) {
        TDateTime out = 123;
        EXPECT_FALSE(TryEncodeDate(bad[0], bad[1], bad[2], out));
        EXPECT_EQ(out, 123);
        try {
            EncodeDate(bad[0], bad[1], bad[2]);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to date encode");
        }
    }
}

TEST(DateUtils, TimeIsTheFractionRoundedToMilliseconds)
{
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    struct Case { double value; int h, m, s, ms; };
    const Case cases[] = {
        {0.5, 12, 0, 0, 0}, {1.75, 18, 0, 0, 0}, {-1.25, 6, 0, 0, 0},
        {EncodeTime(23, 59, 59, 999), 23, 59, 59, 999}, {2 + EncodeTime(1, 2, 3, 4), 1, 2, 3, 4},
        {0.9999999999999, 0, 0, 0, 0},  // rounds to the next midnight, not to 24:00
    };
    for (const Case& c : cases) {
        uint16_t h, m, s, ms;
        DecodeTime(c.value, h, m, s, ms);
        EXPECT_EQ(((h * 60 + m) * 60 + s) * 1000 + ms, ((c.h * 60 + c.m) * 60 + c.s) * 1000 + c.ms) << c.value;
    }
    for (auto bad : {std::array<int, 4>{24, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}, {-1, 0, 0, 0}}) {
        try {
            EncodeTime(bad[0], bad[1], bad[2], bad[3]);
            ADD_FAILURE() << "no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "Invalid argument to time encode");
        }
    }
}

TEST(DateUtils, NowIsTheLocalClock)
{
    const plat::LocalTime before = plat::LocalNow();
    const TDateTime now = Now();
    const plat::LocalTime after = plat::LocalNow();
    uint16_t y, m, d;
    DecodeDate(now, y, m, d);
    EXPECT_GE(y, 2024);
    const TDateTime low = EncodeDate(before.Year, before.Month, before.Day) +
                          EncodeTime(before.Hour, before.Minute, before.Second, before.Millisecond);
    const TDateTime high = EncodeDate(after.Year, after.Month, after.Day) +
                           EncodeTime(after.Hour, after.Minute, after.Second, after.Millisecond);
    EXPECT_GE(now, low);
    EXPECT_LE(now, high);
}

TEST(DateUtils, NowUtcIsTheSystemClockInUtc)
{
    // The C clock counts seconds since 1 January 1970 (day 25569) in UTC, independently of
    // the platform call behind NowUtc.
    constexpr double kUnixEpochDay = 25569;
    const double before = kUnixEpochDay + static_cast<double>(std::time(nullptr)) / 86400.0;
    const TDateTime now = NowUtc();
    const double after = kUnixEpochDay + static_cast<double>(std::time(nullptr) + 1) / 86400.0;
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

}  // namespace
