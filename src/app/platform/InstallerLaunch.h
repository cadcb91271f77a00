#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/platform/ProcessHandle.h"
#include "ui/Control.h"

// Starts the program file elevated ("runas") with AArguments as its parameters (each reaches it
// exactly, as its CommandLineToArgvW splits them), shown normally, parented to the window,
// without any error display of the platform's when it fails. True when it was started; process then
// holds its handle, owned by the caller until CloseProcessHandle. False when it failed; error
// then holds the system's error code (LAUNCH_CANCELLED_ERROR when the user refused).
// Natively the program is simply started (there is no elevation) and process is its id.
bool LaunchElevated(TWinHandle AParent, const std::string& AFile,
                    const std::vector<std::string>& AArguments, TProcessHandle& AProcess,
                    int& AError);

// Whether the process has ended, decided by its handle (not by its exit code, which may be 259
// like a running one's). Once it has ended, its exit code is stored; otherwise exitCode stays
// as it was. Does not wait.
TProcessPoll PollProcess(TProcessHandle AProcess, uint32_t& AExitCode);

// Releases the handle; the empty handle is accepted and ignored by the platform.
void CloseProcessHandle(TProcessHandle AProcess);
