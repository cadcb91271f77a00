#pragma once

#include <cstdint>
#include <string>

#include "app/ProcessHandle.h"
#include "ui/Control.h"

// Starts the program file elevated ("runas"), shown normally, parented to the window, without
// any error display of the platform's when it fails. True when it was started; process then
// holds its handle, owned by the caller until CloseProcessHandle. False when it failed; error
// then holds the system's error code (LAUNCH_CANCELLED_ERROR when the user refused).
// Natively the program is simply started (there is no elevation) and process is its id.
bool LaunchElevated(TWinHandle parent, const std::string& file, TProcessHandle& process,
                    int& error);

// Stores the process's exit code (259 while it runs) and returns True; on failure (an invalid
// or empty handle) leaves exitCode as it was and returns False.
bool GetProcessExitCode(TProcessHandle process, uint32_t& exitCode);

// Releases the handle; the empty handle is accepted and ignored by the platform.
void CloseProcessHandle(TProcessHandle process);
