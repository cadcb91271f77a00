// Current time and UTC/local conversion through the Windows time-zone rules.
#include <windows.h>

#include "base/DateTime.h"

namespace {

bool ToSystemTime(TDateTime AValue, SYSTEMTIME& ASt) {
  const TDateTimeParts p = DecodeDateTime(AValue);
  if (p.Year < 1601 || p.Year > 9999) return false;
  ASt = SYSTEMTIME{};
  ASt.wYear = static_cast<WORD>(p.Year);
  ASt.wMonth = static_cast<WORD>(p.Month);
  ASt.wDay = static_cast<WORD>(p.Day);
  ASt.wHour = static_cast<WORD>(p.Hour);
  ASt.wMinute = static_cast<WORD>(p.Minute);
  ASt.wSecond = static_cast<WORD>(p.Second);
  ASt.wMilliseconds = static_cast<WORD>(p.MilliSecond);
  return true;
}

TDateTime FromSystemTime(const SYSTEMTIME& ASt) {
  // A conversion may step past the last supported day; keep the value at the end of the range.
  if (ASt.wYear > 9999) return MaxDateTime;
  TDateTime r = 0;
  TryEncodeDateTime(ASt.wYear, ASt.wMonth, ASt.wDay, ASt.wHour, ASt.wMinute, ASt.wSecond,
                    ASt.wMilliseconds, r);
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

TDateTime UTCToLocal(TDateTime AUTC) {
  SYSTEMTIME in, out;
  if (!ToSystemTime(AUTC, in) || !SystemTimeToTzSpecificLocalTime(nullptr, &in, &out)) return AUTC;
  return FromSystemTime(out);
}

TDateTime LocalToUTC(TDateTime ALocal) {
  SYSTEMTIME in, out;
  if (!ToSystemTime(ALocal, in) || !TzSpecificLocalTimeToSystemTime(nullptr, &in, &out))
    return ALocal;
  return FromSystemTime(out);
}
