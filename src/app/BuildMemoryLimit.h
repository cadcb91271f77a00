#pragma once

#include <cstdint>

// The most of an archive a program holds in memory, when its build sets it (the end-to-end runs'
// program that takes small archives through a temporary file); 0: the machine's default.
int64_t BuildArchiveMemoryLimit();
