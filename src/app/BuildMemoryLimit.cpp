#include "app/BuildMemoryLimit.h"

int64_t BuildArchiveMemoryLimit() {
  return PLENWICK_ARCHIVE_MEMORY_LIMIT;
}
