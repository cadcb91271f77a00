#include <unistd.h>

#include "base/SystemMemory.h"

int64_t PhysicalMemorySize() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGE_SIZE);
  return pages > 0 && pageSize > 0 ? static_cast<int64_t>(pages) * pageSize : 0;
}
