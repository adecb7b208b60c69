#include "DateUtils.h"

#include "PlatformTime.h"
#include "SysUtils.h"

#include <cmath>

namespace {

constexpr int32_t kDaysPer400Years = 146097;
constexpr int32_t kDaysPer100Years = 36524;
constexpr int32_t kDaysPer4Years = 1461;

// A value as whole days and milliseconds of the day. The milliseconds are rounded over the
// whole value so that 0.9999999999 becomes the next midnight rather than 23:59:59.1000.
struct DayAndTime {
    int32_t Days;        // truncated towards zero, as the whole part of the value
    int32_t MSecOfDay;   // 0 .. kMSecsPerDay-1, counted from midnight
};

DayAndTime SplitDateTime(TDateTime value)
{
    const double total = std::round(value * kMSecsPerDay);
    if (!std::isfinite(total) || std::fabs(total) >= 9.0e15) {
        return {0, 0};
    }
    const auto ms = static_cast<int64_t>(total);
    return {static_cast<int32_t>(ms / kMSecsPerDay), static_cast<int32_t>(std::llabs(ms % kMSecsPerDay))};
}

}  // namespace

bool IsLeapYear(int32_t year)
{
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int32_t DaysInMonth(int32_t year, int32_t month)
{
    static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool TryEncodeDate(int32_t year, int32_t month, int32_t day, TDateTime& date)
{
    if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    int32_t days = day;
    for (int32_t m = 1; m < month; ++m) {
        days += DaysInMonth(year, m);
    }
    const int32_t y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    date = days - kDateDelta;
    return true;
}

TDateTime EncodeDate(int32_t year, int32_t month, int32_t day)
{
    TDateTime date = 0;
    if (!TryEncodeDate(year, month, day, date)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return date;
}

bool TryEncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t millisecond, TDateTime& time)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999) {
        return false;
    }
    time = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / kMSecsPerDay;
    return true;
}

TDateTime EncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t millisecond)
{
    TDateTime time = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, time)) {
        throw EConvertError("Invalid argument to time encode");
    }
    return time;
}

void DecodeDate(TDateTime date, uint16_t& year, uint16_t& month, uint16_t& day)
{
    int32_t n = SplitDateTime(date).Days + kDateDelta;  // day 1 is 1 January of year 1
    if (n <= 0) {
        year = month = day = 0;
        return;
    }
    n -= 1;
    int32_t y = 1;
    y += (n / kDaysPer400Years) * 400;
    n %= kDaysPer400Years;
    int32_t centuries = n / kDaysPer100Years;
    if (centuries == 4) {  // the last day of a 400-year cycle
        centuries = 3;
    }
    y += centuries * 100;
    n -= centuries * kDaysPer100Years;
    y += (n / kDaysPer4Years) * 4;
    n %= kDaysPer4Years;
    int32_t years = n / 365;
    if (years == 4) {  // the last day of a leap cycle
        years = 3;
    }
    y += years;
    n -= years * 365;
    int32_t m = 1;
    while (n >= DaysInMonth(y, m)) {
        n -= DaysInMonth(y, m);
        ++m;
    }
    year = static_cast<uint16_t>(y);
    month = static_cast<uint16_t>(m);
    day = static_cast<uint16_t>(n + 1);
}

void DecodeTime(TDateTime time, uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& millisecond)
{
    int32_t ms = SplitDateTime(time).MSecOfDay;
    hour = static_cast<uint16_t>(ms / 3600000);
    ms %= 3600000;
    minute = static_cast<uint16_t>(ms / 60000);
    ms %= 60000;
    second = static_cast<uint16_t>(ms / 1000);
    millisecond = static_cast<uint16_t>(ms % 1000);
}

namespace {

TDateTime FromFields(const plat::LocalTime& t)
{
    const TDateTime date = EncodeDate(t.Year, t.Month, t.Day);
    return date + EncodeTime(t.Hour, t.Minute, t.Second, t.Millisecond);
}

}  // namespace

TDateTime Now() { return FromFields(plat::LocalNow()); }

TDateTime NowUtc() { return FromFields(plat::UniversalNow()); }
