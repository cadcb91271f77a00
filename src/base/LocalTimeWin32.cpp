// Current time and UTC/local conversion through the Windows time-zone rules.
#include <windows.h>

#include "base/DateTime.h"

namespace {

bool ToSystemTime(TDateTime value, SYSTEMTIME& st) {
  const TDateTimeParts p = DecodeDateTime(value);
  if (p.Year < 1601 || p.Year > 9999) return false;
  st = SYSTEMTIME{};
  st.wYear = static_cast<WORD>(p.Year);
  st.wMonth = static_cast<WORD>(p.Month);
  st.wDay = static_cast<WORD>(p.Day);
  st.wHour = static_cast<WORD>(p.Hour);
  st.wMinute = static_cast<WORD>(p.Minute);
  st.wSecond = static_cast<WORD>(p.Second);
  st.wMilliseconds = static_cast<WORD>(p.MilliSecond);
  return true;
}

TDateTime FromSystemTime(const SYSTEMTIME& st) {
  // A conversion may step past the last supported day; keep the value at the end of the range.
  if (st.wYear > 9999) return MaxDateTime;
  TDateTime r = 0;
  TryEncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                    st.wMilliseconds, r);
  return r;
}

}  // namespace

TDateTime NowUTC() {
  SYSTEMTIME st;
  GetSystemTime(&st);
  return FromSystemTime(st);
}

TDateTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return FromSystemTime(st);
}

TDateTime UTCToLocal(TDateTime utc) {
  SYSTEMTIME in, out;
  if (!ToSystemTime(utc, in) || !SystemTimeToTzSpecificLocalTime(nullptr, &in, &out)) return utc;
  return FromSystemTime(out);
}

TDateTime LocalToUTC(TDateTime local) {
  SYSTEMTIME in, out;
  if (!ToSystemTime(local, in) || !TzSpecificLocalTimeToSystemTime(nullptr, &in, &out))
    return local;
  return FromSystemTime(out);
}
