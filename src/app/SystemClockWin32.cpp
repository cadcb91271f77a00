#include <windows.h>

#include "app/SystemClock.h"

void SleepMilliseconds(unsigned AMilliseconds) {
  ::Sleep(AMilliseconds);
}
