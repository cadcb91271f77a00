#include "app/DistributionHost.h"

const char* DistributionScheme() {
  return PLENWICK_DIST_SCHEME;
}

const char* DistributionHost() {
  return PLENWICK_DIST_HOST;
}

int RetryFirstWait() {
  return PLENWICK_RETRY_FIRST_WAIT_MS;
}
