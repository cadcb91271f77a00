// Current time and UTC/local conversion through the C library's time-zone rules.
#include <time.h>

#include "base/DateTime.h"

namespace {

// 30 December 1899 00:00 counted in milliseconds from 1 January 1970.
constexpr int64_t kEpochShiftMSecs = -25569 * MSecsPerDay;

bool InConvertibleRange(TDateTime AValue) {
  const int year = DecodeDateTime(AValue).Year;
  return year >= 1601 && year <= 9999;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

TDateTime NowUTC() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const int64_t unixMs = static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  return MSecsToDateTime(unixMs - kEpochShiftMSecs);
}

TDateTime Now() {
  return UTCToLocal(NowUTC());
}

TDateTime UTCToLocal(TDateTime AUTC) {
  if (!InConvertibleRange(AUTC)) return AUTC;
  const int64_t ms = DateTimeToMSecs(AUTC);
  const time_t t = static_cast<time_t>(FloorDiv(ms + kEpochShiftMSecs, 1000));
  tm local{};
  if (!localtime_r(&t, &local)) return AUTC;
  return MSecsToDateTime(ms + static_cast<int64_t>(local.tm_gmtoff) * 1000);
}

TDateTime LocalToUTC(TDateTime ALocal) {
  if (!InConvertibleRange(ALocal)) return ALocal;
  const TDateTimeParts p = DecodeDateTime(ALocal);
  tm fields{};
  fields.tm_year = p.Year - 1900;
  fields.tm_mon = p.Month - 1;
  fields.tm_mday = p.Day;
  fields.tm_hour = p.Hour;
  fields.tm_min = p.Minute;
  fields.tm_sec = p.Second;
  fields.tm_isdst = -1;  // let the zone rules decide
  const time_t t = mktime(&fields);
  return MSecsToDateTime(static_cast<int64_t>(t) * 1000 + p.MilliSecond - kEpochShiftMSecs);
}
