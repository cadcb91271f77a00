#include <windows.h>

#include "app/SystemClock.h"

void SleepMilliseconds(unsigned milliseconds) {
  ::Sleep(milliseconds);
}
