#include "app/DistributionHost.h"

const char* DistributionHost() {
  return PLENWICK_DIST_HOST;
}
