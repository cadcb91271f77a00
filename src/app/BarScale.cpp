#include "app/BarScale.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int64_t kIntMax = std::numeric_limits<int>::max();
constexpr int64_t kIntMin = std::numeric_limits<int>::min();

}  // namespace

void TBarScale::SetTotal(int64_t ABytes) {
  FTotal = ABytes;
  FShift = 0;
  while ((ABytes >> FShift) > kIntMax)
    ++FShift;
}

int TBarScale::Max() const {
  return PositionOf(FTotal);
}

int TBarScale::PositionOf(int64_t ABytes) const {
  // A shift rounds down, also for a negative count (a step back), so equal counts always land
  // on the same position and larger ones never below it.
  return static_cast<int>(std::clamp(ABytes >> FShift, kIntMin, kIntMax));
}
