#pragma once

// The current local date and time: days since 1899-12-30, the time of day as the fraction.
double LocalNow();
void SleepMilliseconds(unsigned milliseconds);
