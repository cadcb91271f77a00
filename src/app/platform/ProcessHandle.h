#pragma once

#include <cstdint>

// The handle of a started process (a Win32 process handle; a process id natively). 0 is the
// empty handle.
using TProcessHandle = std::intptr_t;

// The exit code a still running process reports. A process may also end with it, so it never
// says by itself that the process runs.
constexpr uint32_t STILL_ACTIVE_EXIT_CODE = 259;

// What asking a started process found.
enum class TProcessPoll {
  ppRunning,  // it has not ended yet
  ppEnded,    // it has ended; its exit code was read
  ppFailed,   // it could not be asked (an empty or invalid handle)
};

// The error of a launch the user refused at the elevation prompt (ERROR_CANCELLED).
constexpr int LAUNCH_CANCELLED_ERROR = 1223;
