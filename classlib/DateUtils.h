// Date-time values: a TDateTime is the number of days since 30 December 1899, with the time
// of day as its fraction (0.5 is noon). Before that day the whole part is negative and the
// fraction still counts forwards from midnight: -1.25 is 29 December 1899, 06:00.
//
// The encoders raise EConvertError for fields out of range; the Try forms answer false.
#pragma once

#include <cstdint>

using TDateTime = double;

constexpr int32_t kMSecsPerDay = 24 * 60 * 60 * 1000;
// Days from 1 January of year 1 (day 1) to 30 December 1899 (day 0 of TDateTime).
constexpr int32_t kDateDelta = 693594;

bool IsLeapYear(int32_t year);
int32_t DaysInMonth(int32_t year, int32_t month);  // 0 for a month outside 1..12

// Years 1..9999, months 1..12, days of that month.
bool TryEncodeDate(int32_t year, int32_t month, int32_t day, TDateTime& date);
// Raises EConvertError "Invalid argument to date encode".
TDateTime EncodeDate(int32_t year, int32_t month, int32_t day);

// Hours 0..23, minutes and seconds 0..59, milliseconds 0..999.
bool TryEncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t millisecond, TDateTime& time);
// Raises EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int32_t hour, int32_t minute, int32_t second, int32_t millisecond);

// The calendar date of the value's whole day; a value before 1 January of year 1 gives 0s.
void DecodeDate(TDateTime date, uint16_t& year, uint16_t& month, uint16_t& day);
// The time of day, rounded to the nearest millisecond.
void DecodeTime(TDateTime time, uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& millisecond);

// The local date and time now.
TDateTime Now();
// The date and time now in UTC.
TDateTime NowUtc();
