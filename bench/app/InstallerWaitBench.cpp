// The processor time the program spends while it waits for the installer: the same loop as the
// download-and-install sequence (process messages, sleep 10 ms, ask whether the process has
// ended) around a child that runs for the given time, on the system platform of this build.
// Usage: installer_wait_bench <seconds>
// Prints: wait_seconds=<wall s> cpu_seconds=<user + system s> passes=<n> core_percent=<%>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "ProcessUsage.h"
#include "app/platform/ProcessHandle.h"
#include "app/platform/SetupPlatform.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <seconds>\n", argv[0]);
    return 2;
  }
  const int seconds = std::atoi(argv[1]);
  // The stand-in installer: a script that only waits (the launch passes no arguments).
  char folder[] = "/tmp/plenwick-wait-XXXXXX";
  if (!::mkdtemp(folder)) return 1;
  const std::string installer = std::string(folder) + "/Install.exe";
  {
    std::ofstream script(installer);
    script << "#!/bin/sh\nexec sleep " << seconds << "\n";
  }
  ::chmod(installer.c_str(), 0755);

  TApplication app("WaitBench.exe");
  std::unique_ptr<TSetupPlatform> platform = CreateSystemPlatform();
  TProcess process;
  int error = 0;
  int result = 1;
  if (platform->LaunchElevated(0, installer, {}, process, error)) {
    const double cpuBefore = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    uint32_t exitCode = STILL_ACTIVE_EXIT_CODE;
    long passes = 0;
    bool running;
    do {
      app.ProcessMessages();
      platform->Sleep(10);
      running = platform->PollProcess(process.get(), exitCode) == TProcessPoll::ppRunning;
      ++passes;
    } while (running && !app.Terminated());
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    process.reset();
    std::printf("wait_seconds=%.3f cpu_seconds=%.4f passes=%ld core_percent=%.3f\n", wall, cpu,
                passes, 100.0 * cpu / wall);
    result = exitCode == 0 ? 0 : 1;
  } else {
    std::fprintf(stderr, "could not start %s\n", installer.c_str());
  }
  ::unlink(installer.c_str());
  ::rmdir(folder);
  return result;
}
