#include "app/DistributionHost.h"

const char* DistributionScheme() {
  return PLENWICK_DIST_SCHEME;
}

const char* DistributionHost() {
  return PLENWICK_DIST_HOST;
}

const char* ArchiveKeys() {
  return PLENWICK_ARCHIVE_KEYS;
}
