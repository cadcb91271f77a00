#include <windows.h>

#include "base/SystemMemory.h"

int64_t PhysicalMemorySize() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return ::GlobalMemoryStatusEx(&status) ? static_cast<int64_t>(status.ullTotalPhys) : 0;
}
