#pragma once

// The program's version, for the version resource (Plenwick.rc) and the log.
#define PLENWICK_VERSION_NUMBERS 1, 0, 0, 0
#define PLENWICK_VERSION_TEXT "1.0.0.0"
// The same with its terminator, as the version resource keeps its strings.
#define PLENWICK_VERSION_RESOURCE_TEXT "1.0.0.0\0"
