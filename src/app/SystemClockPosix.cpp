#include <chrono>
#include <thread>

#include "app/SystemClock.h"

void SleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
