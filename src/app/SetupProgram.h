#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TMain;

// How the program was started.
struct TProgramStart {
  std::string ProgramFile;  // the running executable's full path
  std::string CommandLine;  // as the system holds it, for the log
  // The arguments after the program's own name, as the system splits them.
  std::vector<std::string> Arguments;
  // Where the log goes unless the command line names a file: the user's temporary folder.
  std::string LogFolder;
};

// The downloader, from its start to its end: reads the command line, opens the run's log (the
// file /log names, else a new one in LogFolder of which the newest 10 are kept), writes what the
// program is and how it was started, then shows the usage (for "/?" or a command line that
// cannot be read; logged only when quiet), or runs the window with the components APlugIn puts
// in (PlugInComponents in the product) until it ends. Returns the exit code of its outcome
// (RunOutcome.h), which the log's last line names.
uint32_t RunSetupProgram(const TProgramStart& AStart, const std::function<void(TMain&)>& APlugIn);
