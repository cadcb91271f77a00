#pragma once

#include <cstdint>

// A date-time is a count of days since 30 December 1899 00:00 with the time of day as the
// fraction (1.5 is 31 December 1899 12:00). The value grows with time on both sides of that
// day (29 December 1899 06:00 is -0.75), so comparisons and differences hold everywhere.
// Date-times are local time unless a name says UTC. The supported range is 1 January of year 1
// to 31 December 9999 23:59:59.999; arithmetic below clamps to it.
using TDateTime = double;

constexpr int64_t MSecsPerDay = 86400000;
constexpr int64_t MSecsPerSec = 1000;
constexpr int64_t SecsPerDay = 86400;

// 1 January of year 1, 00:00 and 31 December 9999, 23:59:59.999.
constexpr TDateTime MinDateTime = -693593.0;
constexpr TDateTime MaxDateTime = 2958465.0 + 86399999.0 / 86400000.0;

bool IsLeapYear(int AYear);
// 0 for a month outside 1..12.
int DaysInAMonth(int AYear, int AMonth);
bool IsValidDate(int AYear, int AMonth, int ADay);

bool TryEncodeDate(int AYear, int AMonth, int ADay, TDateTime& AResult);
bool TryEncodeTime(int AHour, int AMinute, int ASecond, int AMsec, TDateTime& AResult);
bool TryEncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond,
                       int AMsec, TDateTime& AResult);
// Raise EConvertError "Invalid argument to date encode" / "Invalid argument to time encode".
TDateTime EncodeDate(int AYear, int AMonth, int ADay);
TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMsec);
TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond,
                         int AMsec);

struct TDateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, MilliSecond;
};
// Splits a value (rounded to the millisecond, clamped to the supported range).
TDateTimeParts DecodeDateTime(TDateTime AValue);

// Whole milliseconds since 30 December 1899 00:00 (rounded, clamped to the supported range),
// and back.
int64_t DateTimeToMSecs(TDateTime AValue);
TDateTime MSecsToDateTime(int64_t AMsecs);

TDateTime IncMilliSecond(TDateTime AValue, int64_t AMsecs);
TDateTime IncSecond(TDateTime AValue, int64_t ASeconds);
// Signed whole milliseconds from 'from' to 'to'.
int64_t MilliSecondSpan(TDateTime AFrom, TDateTime ATo);

// The current time, local and UTC.
TDateTime Now();
TDateTime NowUTC();
// Conversions between UTC and local time by the system's time-zone rules. Values outside
// the years 1601 to 9999 (the range the Windows conversion takes) are returned unchanged on
// both targets.
TDateTime UTCToLocal(TDateTime AUTC);
TDateTime LocalToUTC(TDateTime ALocal);
