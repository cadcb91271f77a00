#pragma once

// Blocks the calling thread for the given time.
void SleepMilliseconds(unsigned AMilliseconds);
