#include "download/LowSpeedWatch.h"

namespace {

// How far apart the samples are kept, in ms.
constexpr uint64_t kSampleSpacing = 1000;

}  // namespace

void TLowSpeedWatch::Start(uint64_t ANow) {
  FWatching = true;
  FTotal = 0;
  FSamples.assign(1, TSample{ANow, 0});
}

void TLowSpeedWatch::Stop() {
  FWatching = false;
  FSamples.clear();
}

bool TLowSpeedWatch::TooSlow(uint64_t ANow, int64_t ACount) {
  if (!FWatching) return false;
  FTotal += ACount;
  if (ANow - FSamples.back().At >= kSampleSpacing) FSamples.push_back({ANow, FTotal});
  if (ANow - FSamples.front().At < Period) return false;
  // The last sample a period ago or earlier is where the average is taken from.
  while (FSamples.size() > 1 && ANow - FSamples[1].At >= Period)
    FSamples.pop_front();
  const TSample& from = FSamples.front();
  const int64_t bytes = FTotal - from.Total;
  return bytes * 1000 < BytesPerSecond * static_cast<int64_t>(ANow - from.At);
}
