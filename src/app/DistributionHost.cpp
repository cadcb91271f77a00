#include "app/DistributionHost.h"

const char* DistributionScheme() {
  return PLENWICK_DIST_SCHEME;
}

const char* DistributionHost() {
  return PLENWICK_DIST_HOST;
}

const char* ArchiveKeys() {
  // The keys file's text as a string literal, written by the build for this program.
  return
#include "ArchiveKeys.inc"
      ;
}
