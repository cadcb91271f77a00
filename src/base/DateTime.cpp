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

void CivilFromDays(int64_t z, int& AYear, int& AMonth, int& ADay) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  AYear = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  AMonth = static_cast<int>(m);
  ADay = static_cast<int>(d);
}

// 30 December 1899 counted from 1 January 1970.
constexpr int64_t kEpochShiftDays = -25569;

const int64_t kMinMSecs = static_cast<int64_t>(MinDateTime) * MSecsPerDay;
const int64_t kMaxMSecs = 2958465 * MSecsPerDay + MSecsPerDay - 1;

int64_t ClampMSecs(int64_t AMs) {
  return AMs < kMinMSecs ? kMinMSecs : (AMs > kMaxMSecs ? kMaxMSecs : AMs);
}

}  // namespace

bool IsLeapYear(int AYear) {
  return AYear % 4 == 0 && (AYear % 100 != 0 || AYear % 400 == 0);
}

int DaysInAMonth(int AYear, int AMonth) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (AMonth < 1 || AMonth > 12) return 0;
  return AMonth == 2 && IsLeapYear(AYear) ? 29 : kDays[AMonth - 1];
}

bool IsValidDate(int AYear, int AMonth, int ADay) {
  return AYear >= 1 && AYear <= 9999 && ADay >= 1 && ADay <= DaysInAMonth(AYear, AMonth);
}

bool TryEncodeDate(int AYear, int AMonth, int ADay, TDateTime& AResult) {
  if (!IsValidDate(AYear, AMonth, ADay)) return false;
  AResult = static_cast<double>(
      DaysFromCivil(AYear, static_cast<unsigned>(AMonth), static_cast<unsigned>(ADay)) -
      kEpochShiftDays);
  return true;
}

bool TryEncodeTime(int AHour, int AMinute, int ASecond, int AMsec, TDateTime& AResult) {
  if (AHour < 0 || AHour > 23 || AMinute < 0 || AMinute > 59 || ASecond < 0 || ASecond > 59 ||
      AMsec < 0 || AMsec > 999)
    return false;
  AResult = static_cast<double>(((AHour * 60 + AMinute) * 60 + ASecond) * 1000 + AMsec) /
            static_cast<double>(MSecsPerDay);
  return true;
}

bool TryEncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond,
                       int AMsec, TDateTime& AResult) {
  TDateTime date, time;
  if (!TryEncodeDate(AYear, AMonth, ADay, date) ||
      !TryEncodeTime(AHour, AMinute, ASecond, AMsec, time))
    return false;
  // Built from whole milliseconds so that the value decodes back exactly.
  const int64_t dayNumber = static_cast<int64_t>(date);
  const int64_t msOfDay = ((AHour * 60 + AMinute) * 60 + ASecond) * 1000 + AMsec;
  AResult = MSecsToDateTime(dayNumber * MSecsPerDay + msOfDay);
  return true;
}

TDateTime EncodeDate(int AYear, int AMonth, int ADay) {
  TDateTime r;
  if (!TryEncodeDate(AYear, AMonth, ADay, r))
    throw EConvertError("Invalid argument to date encode");
  return r;
}

TDateTime EncodeTime(int AHour, int AMinute, int ASecond, int AMsec) {
  TDateTime r;
  if (!TryEncodeTime(AHour, AMinute, ASecond, AMsec, r))
    throw EConvertError("Invalid argument to time encode");
  return r;
}

TDateTime EncodeDateTime(int AYear, int AMonth, int ADay, int AHour, int AMinute, int ASecond,
                         int AMsec) {
  // Each part raises its own message when it is out of range.
  (void)EncodeDate(AYear, AMonth, ADay);
  (void)EncodeTime(AHour, AMinute, ASecond, AMsec);
  TDateTime r = 0;
  TryEncodeDateTime(AYear, AMonth, ADay, AHour, AMinute, ASecond, AMsec, r);
  return r;
}

int64_t DateTimeToMSecs(TDateTime AValue) {
  if (std::isnan(AValue)) return 0;
  const double ms = std::round(AValue * static_cast<double>(MSecsPerDay));
  if (ms <= static_cast<double>(kMinMSecs)) return kMinMSecs;
  if (ms >= static_cast<double>(kMaxMSecs)) return kMaxMSecs;
  return static_cast<int64_t>(ms);
}

TDateTime MSecsToDateTime(int64_t AMsecs) {
  AMsecs = ClampMSecs(AMsecs);
  // Whole days and the fraction apart, so the day part is exact.
  int64_t days = AMsecs / MSecsPerDay;
  int64_t rest = AMsecs % MSecsPerDay;
  if (rest < 0) {
    rest += MSecsPerDay;
    --days;
  }
  return static_cast<double>(days) + static_cast<double>(rest) / static_cast<double>(MSecsPerDay);
}

TDateTimeParts DecodeDateTime(TDateTime AValue) {
  const int64_t ms = DateTimeToMSecs(AValue);
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

TDateTime IncMilliSecond(TDateTime AValue, int64_t AMsecs) {
  const int64_t base = DateTimeToMSecs(AValue);
  // Saturate instead of overflowing: the result is clamped to the supported range anyway.
  if (AMsecs > kMaxMSecs - base) return MaxDateTime;
  if (AMsecs < kMinMSecs - base) return MinDateTime;
  return MSecsToDateTime(base + AMsecs);
}

TDateTime IncSecond(TDateTime AValue, int64_t ASeconds) {
  const int64_t limit = (kMaxMSecs - kMinMSecs) / MSecsPerSec + 1;
  if (ASeconds > limit) ASeconds = limit;
  if (ASeconds < -limit) ASeconds = -limit;
  return IncMilliSecond(AValue, ASeconds * MSecsPerSec);
}

int64_t MilliSecondSpan(TDateTime AFrom, TDateTime ATo) {
  return DateTimeToMSecs(ATo) - DateTimeToMSecs(AFrom);
}
