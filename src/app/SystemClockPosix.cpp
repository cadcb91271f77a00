#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "app/SystemClock.h"

double LocalNow() {
  timeval tv;
  ::gettimeofday(&tv, nullptr);
  std::tm local;
  const time_t secs = tv.tv_sec;
  ::localtime_r(&secs, &local);
  // 25569 days lie between 1899-12-30 and 1970-01-01.
  return (static_cast<double>(tv.tv_sec + local.tm_gmtoff) + tv.tv_usec / 1e6) / 86400.0 + 25569.0;
}

void SleepMilliseconds(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
