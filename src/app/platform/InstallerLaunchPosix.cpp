#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "app/platform/InstallerLaunch.h"
#include "base/FileSystem.h"

extern char** environ;

// There is no elevation natively: the program is started as it is, and its process id stands
// for the handle.
bool LaunchElevated(TWinHandle, const std::string& AFile,
                    const std::vector<std::string>& AArguments, TProcessHandle& AProcess,
                    int& AError) {
  const std::string path = ToNativePath(AFile);
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& argument : AArguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  AError = ::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
  if (AError != 0) return false;
  AProcess = pid;
  return true;
}

TProcessPoll PollProcess(TProcessHandle AProcess, uint32_t& AExitCode) {
  if (AProcess <= 0) return TProcessPoll::ppFailed;
  int status = 0;
  pid_t r;
  do
    r = ::waitpid(static_cast<pid_t>(AProcess), &status, WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r < 0) return TProcessPoll::ppFailed;
  if (r == 0) return TProcessPoll::ppRunning;
  if (WIFEXITED(status)) {
    AExitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  } else {
    // Ended by a signal: no exit code of its own; report failure, never success.
    AExitCode = 128u + static_cast<uint32_t>(WTERMSIG(status));
  }
  return TProcessPoll::ppEnded;
}

// A process id needs no release; a child still running is left to run.
void CloseProcessHandle(TProcessHandle) {}
