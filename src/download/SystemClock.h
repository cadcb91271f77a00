#pragma once

#include <cstdint>

// Blocks the calling thread for the given time.
void SleepMilliseconds(unsigned AMilliseconds);
// Milliseconds since some fixed point; never goes back, whatever the clock of the day does.
uint64_t TickCountMilliseconds();
