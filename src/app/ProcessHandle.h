#pragma once

#include <cstdint>

// The handle of a started process (a Win32 process handle; a process id natively). 0 is the
// empty handle.
using TProcessHandle = std::intptr_t;

// The exit code a still running process reports.
constexpr uint32_t STILL_ACTIVE_EXIT_CODE = 259;

// The error of a launch the user refused at the elevation prompt (ERROR_CANCELLED).
constexpr int LAUNCH_CANCELLED_ERROR = 1223;
