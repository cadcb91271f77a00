#include <windows.h>

#include "app/SystemClock.h"

double LocalNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  FILETIME ft;
  if (!::SystemTimeToFileTime(&st, &ft)) return 0;
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  // 100-nanosecond units since 1601-01-01; 109205 days lie between 1601-01-01 and 1899-12-30.
  return static_cast<double>(t.QuadPart) / 864000000000.0 - 109205.0;
}

void SleepMilliseconds(unsigned milliseconds) {
  ::Sleep(milliseconds);
}
