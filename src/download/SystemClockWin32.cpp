#include <windows.h>

#include "download/SystemClock.h"

void SleepMilliseconds(unsigned AMilliseconds) {
  ::Sleep(AMilliseconds);
}

uint64_t TickCountMilliseconds() {
  return ::GetTickCount64();
}
