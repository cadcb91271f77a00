#pragma once

#include <cstdint>

// The machine's physical memory in bytes; 0 when the system cannot tell.
int64_t PhysicalMemorySize();
