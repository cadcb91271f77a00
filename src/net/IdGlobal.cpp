#include "net/IdGlobal.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

uint32_t Ticks() {
#ifdef _WIN32
  return ::GetTickCount();
#else
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                               static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
#endif
}

uint32_t GetTickDiff(uint32_t AStart, uint32_t AStop) {
  // After a wrap the difference counts the ticks up to the maximum and those after it.
  return AStop >= AStart ? AStop - AStart : 4294967295u - AStart + AStop;
}
