// The installer launch for real: ShellExecuteExW with "runas" under Wine, a started process
// natively.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/platform/FolderHelpers.h"
#include "app/platform/InstallerLaunch.h"
#include "app/platform/TestFiles.h"
#include "download/SystemClock.h"

#ifndef _WIN32
#include <sys/stat.h>

#include <cerrno>
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
                "[ -e \"$(dirname \"$0\")/release\" ] || exit 1\n"
                "sleep 0.05\n"  // the file has been written by now
                "exit \"$(cat \"$(dirname \"$0\")/release\")\"\n");
  ::chmod(ToNativePath(p.Program).c_str(), 0755);
#endif
  return p;
}

// The poll tells a running program from an ended one by the process itself: an exit code of
// 259, which a running process also reports, is an end like any other.
TEST(InstallerLaunch, StartsTheProgramAndTellsWhenItHasEnded) {
  std::vector<uint32_t> codes{42};
#ifdef _WIN32
  codes.push_back(STILL_ACTIVE_EXIT_CODE);  // a POSIX process cannot end with more than 255
#endif
  for (const uint32_t expected : codes) {
    const Probe probe = MakeProbe();
    TProcessHandle process = 0;
    int error = 0;
    ASSERT_TRUE(LaunchElevated(nullptr, probe.Program, {}, process, error));
    ASSERT_NE(process, 0);

    uint32_t code = 7;
    EXPECT_EQ(PollProcess(process, code), TProcessPoll::ppRunning);  // waits for its release
    EXPECT_EQ(code, 7u);

    WriteTextFile(probe.Release, std::to_string(expected));
    TProcessPoll poll = TProcessPoll::ppRunning;
    for (int i = 0; i < 3000 && poll == TProcessPoll::ppRunning; ++i) {
      SleepMilliseconds(10);
      poll = PollProcess(process, code);
    }
    EXPECT_EQ(poll, TProcessPoll::ppEnded) << expected;
    EXPECT_EQ(code, expected);
    CloseProcessHandle(process);
  }
}

// A failed launch gives no handle but the system's error, which the sequence shows.
TEST(InstallerLaunch, AFailedLaunchGivesTheSystemsError) {
  const std::string dir = FreshTestFolder("launch-fails");
  WriteTextFile(dir + "Install.exe", "not a program");
#ifdef _WIN32
  const int missing = ERROR_PATH_NOT_FOUND, notAProgram = ERROR_BAD_EXE_FORMAT;
#else
  const int missing = ENOENT, notAProgram = EACCES;  // no execute permission
#endif
  const struct {
    std::string file;
    int error;
  } cases[] = {
      {dir + "no such folder\\Install.exe", missing},
      {dir + "Install.exe", notAProgram},
  };
  for (const auto& c : cases) {
    TProcessHandle process = 0;
    int error = 0;
    EXPECT_FALSE(LaunchElevated(nullptr, c.file, {}, process, error)) << c.file;
    EXPECT_EQ(process, 0) << c.file;
    EXPECT_EQ(error, c.error) << c.file;
  }
  EXPECT_TRUE(DeleteFolder(dir));
}

// A handle that cannot be asked fails the poll, never passes for an end: the empty one, and one
// that is no process of ours (a handle value nothing was opened as; natively the id of a
// process that is not our child).
TEST(InstallerLaunch, PollingAHandleThatCannotBeAskedFailsAndKeepsTheExitCode) {
#ifdef _WIN32
  const TProcessHandle notOurs = 0x7FFC;
#else
  const TProcessHandle notOurs = 1;
#endif
  for (const TProcessHandle handle : {TProcessHandle{0}, notOurs}) {
    uint32_t code = 7;
    EXPECT_EQ(PollProcess(handle, code), TProcessPoll::ppFailed) << handle;
    EXPECT_EQ(code, 7u) << handle;
  }
  CloseProcessHandle(0);  // accepted after a failed launch
}

}  // namespace
