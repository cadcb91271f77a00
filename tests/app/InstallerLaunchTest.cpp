// The installer launch for real: ShellExecuteExW with "runas" under Wine, a started process
// natively.

#include <gtest/gtest.h>

#include "app/FolderHelpers.h"
#include "app/InstallerLaunch.h"
#include "app/SystemClock.h"
#include "app/TestFiles.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// The stand-in installer and the file that lets it end.
struct Probe {
  std::string Program;
  std::string Release;
};

Probe MakeProbe() {
#ifdef _WIN32
  const std::string dir = ExtractFilePath(GetModuleFileName());
  Probe p{dir + "installer_probe.exe", dir + "release"};
  ::DeleteFileW(std::wstring(p.Release.begin(), p.Release.end()).c_str());
#else
  const std::string dir = FreshTestFolder("launch-probe");
  Probe p{dir + "Install.exe", dir + "release"};
  WriteTextFile(p.Program,
                "#!/bin/sh\n"
                "i=0\n"
                "while [ ! -e \"$(dirname \"$0\")/release\" ] && [ $i -lt 6000 ]; do\n"
                "  sleep 0.01; i=$((i+1))\n"
                "done\n"
                "[ -e \"$(dirname \"$0\")/release\" ] && exit 42\n"
                "exit 1\n");
  ::chmod(ToNativePath(p.Program).c_str(), 0755);
#endif
  return p;
}

TEST(InstallerLaunch, StartsTheProgramAndReportsItsExitCode) {
  const Probe probe = MakeProbe();
  TProcessHandle process = 0;
  ASSERT_TRUE(LaunchElevated(nullptr, probe.Program, process));
  ASSERT_NE(process, 0);

  uint32_t code = 0;
  ASSERT_TRUE(GetProcessExitCode(process, code));
  EXPECT_EQ(code, STILL_ACTIVE_EXIT_CODE);  // it waits for its release file

  WriteTextFile(probe.Release, "go");
  for (int i = 0; i < 3000 && code == STILL_ACTIVE_EXIT_CODE; ++i) {
    SleepMilliseconds(10);
    ASSERT_TRUE(GetProcessExitCode(process, code));
  }
  EXPECT_EQ(code, 42u);
  CloseProcessHandle(process);
}

TEST(InstallerLaunch, AMissingProgramFailsWithoutAHandle) {
  TProcessHandle process = 0;
  EXPECT_FALSE(LaunchElevated(nullptr, GetCurrentDir() + "\\no such folder\\Install.exe", process));
  EXPECT_EQ(process, 0);
}

TEST(InstallerLaunch, PollingTheEmptyHandleFailsAndKeepsTheExitCode) {
  uint32_t code = 0;
  EXPECT_FALSE(GetProcessExitCode(0, code));
  EXPECT_EQ(code, 0u);
  CloseProcessHandle(0);  // accepted after a failed launch
}

}  // namespace
