#pragma once

#include <cstdint>
#include <deque>

#include "net/IdExceptionCore.h"

// A body that came too slowly for too long: given up and resumed as a stall is.
PLENWICK_DECLARE_EXCEPTION(EDownloadTooSlow, EIdReadTimeout)

// The low-speed rule of a body: fewer than BytesPerSecond on average over the last Period is a
// stall, however the bytes come. The silence between bytes alone cannot tell it: a server that
// sends a byte every 29 s is never silent for 30 s and never ends.
class TLowSpeedWatch {
 public:
  TLowSpeedWatch(int64_t ABytesPerSecond, uint64_t APeriod)
      : BytesPerSecond(ABytesPerSecond), Period(APeriod) {}

  // The body starts at ANow (ms on a clock that only goes forward); nothing is judged before a
  // whole period has passed.
  void Start(uint64_t ANow);
  void Stop();
  bool Watching() const { return FWatching; }
  // ACount bytes came at ANow. True when, once a period has passed since the start, the bytes
  // of the last period (at least; of somewhat more when bytes come seldom) average fewer than
  // BytesPerSecond.
  bool TooSlow(uint64_t ANow, int64_t ACount);

  const int64_t BytesPerSecond;
  const uint64_t Period;

 private:
  // The bytes counted by a moment; kept a second apart at least, so a fast body keeps a
  // period's worth of them at most.
  struct TSample {
    uint64_t At;
    int64_t Total;
  };

  bool FWatching = false;
  int64_t FTotal = 0;
  std::deque<TSample> FSamples;
};
