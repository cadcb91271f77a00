#include <chrono>
#include <thread>

#include "app/SystemClock.h"

void SleepMilliseconds(unsigned AMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds));
}
