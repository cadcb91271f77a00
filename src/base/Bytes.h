#pragma once

#include <cstdint>
#include <vector>

// A growable array of bytes.
using TBytes = std::vector<uint8_t>;
