#pragma once

#include <cstdint>
#include <vector>

// A growable array of bytes.
using TIdBytes = std::vector<uint8_t>;
