#include "base/DateTime.h"

#include <cmath>

#include "base/Exception.h"

namespace {

// Days from 1 January 1970 for a proleptic Gregorian date (exact for every int64 input that
// the callers pass: years 1 to 9999).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

// 30 December 1899 counted from 1 January 1970.
constexpr int64_t kEpochShiftDays = -25569;

const int64_t kMinMSecs = static_cast<int64_t>(MinDateTime) * MSecsPerDay;
const int64_t kMaxMSecs = 2958465 * MSecsPerDay + MSecsPerDay - 1;

int64_t ClampMSecs(int64_t ms) {
  return ms < kMinMSecs ? kMinMSecs : (ms > kMaxMSecs ? kMaxMSecs : ms);
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInAMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && day >= 1 && day <= DaysInAMonth(year, month);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (!IsValidDate(year, month, day)) return false;
  result = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kEpochShiftDays);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 ||
      msec > 999)
    return false;
  result = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) /
           static_cast<double>(MSecsPerDay);
  return true;
}

bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                       TDateTime& result) {
  TDateTime date, time;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, msec, time))
    return false;
  // Built from whole milliseconds so that the value decodes back exactly.
  const int64_t dayNumber = static_cast<int64_t>(date);
  const int64_t msOfDay = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
  result = MSecsToDateTime(dayNumber * MSecsPerDay + msOfDay);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime r;
  if (!TryEncodeDate(year, month, day, r)) throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime r;
  if (!TryEncodeTime(hour, minute, second, msec, r))
    throw EConvertError("Invalid argument to time encode");
  return r;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  // Each part raises its own message when it is out of range.
  (void)EncodeDate(year, month, day);
  (void)EncodeTime(hour, minute, second, msec);
  TDateTime r = 0;
  TryEncodeDateTime(year, month, day, hour, minute, second, msec, r);
  return r;
}

int64_t DateTimeToMSecs(TDateTime value) {
  if (std::isnan(value)) return 0;
  const double ms = std::round(value * static_cast<double>(MSecsPerDay));
  if (ms <= static_cast<double>(kMinMSecs)) return kMinMSecs;
  if (ms >= static_cast<double>(kMaxMSecs)) return kMaxMSecs;
  return static_cast<int64_t>(ms);
}

TDateTime MSecsToDateTime(int64_t msecs) {
  msecs = ClampMSecs(msecs);
  // Whole days and the fraction apart, so the day part is exact.
  int64_t days = msecs / MSecsPerDay;
  int64_t rest = msecs % MSecsPerDay;
  if (rest < 0) {
    rest += MSecsPerDay;
    --days;
  }
  return static_cast<double>(days) + static_cast<double>(rest) / static_cast<double>(MSecsPerDay);
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  const int64_t ms = DateTimeToMSecs(value);
  int64_t days = ms / MSecsPerDay;
  int64_t rest = ms % MSecsPerDay;
  if (rest < 0) {
    rest += MSecsPerDay;
    --days;
  }
  TDateTimeParts p{};
  CivilFromDays(days + kEpochShiftDays, p.Year, p.Month, p.Day);
  const int msOfDay = static_cast<int>(rest);
  p.Hour = msOfDay / 3600000;
  p.Minute = msOfDay / 60000 % 60;
  p.Second = msOfDay / 1000 % 60;
  p.MilliSecond = msOfDay % 1000;
  return p;
}

TDateTime IncMilliSecond(TDateTime value, int64_t msecs) {
  const int64_t base = DateTimeToMSecs(value);
  // Saturate instead of overflowing: the result is clamped to the supported range anyway.
  if (msecs > kMaxMSecs - base) return MaxDateTime;
  if (msecs < kMinMSecs - base) return MinDateTime;
  return MSecsToDateTime(base + msecs);
}

TDateTime IncSecond(TDateTime value, int64_t seconds) {
  const int64_t limit = (kMaxMSecs - kMinMSecs) / MSecsPerSec + 1;
  if (seconds > limit) seconds = limit;
  if (seconds < -limit) seconds = -limit;
  return IncMilliSecond(value, seconds * MSecsPerSec);
}

int64_t MilliSecondSpan(TDateTime from, TDateTime to) {
  return DateTimeToMSecs(to) - DateTimeToMSecs(from);
}
