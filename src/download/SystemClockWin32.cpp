#include <windows.h>

#include "app/SystemClock.h"

void SleepMilliseconds(unsigned AMilliseconds) {
  ::Sleep(AMilliseconds);
}

uint64_t TickCountMilliseconds() {
  return ::GetTickCount64();
}
