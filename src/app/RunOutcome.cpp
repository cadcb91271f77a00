#include "app/RunOutcome.h"

#include <string>

#include "app/UserTexts.h"
#include "base/Format.h"

uint32_t ExitCodeFor(const TRunOutcome& AOutcome) {
  switch (AOutcome.Result) {
    case TRunResult::rrInstallerEnded:
      return AOutcome.InstallerExitCode;
    case TRunResult::rrUserClosed:
      return ExitCodes::UserClosed;
    case TRunResult::rrElevationRefused:
      return ExitCodes::ElevationRefused;
    case TRunResult::rrProbeFailed:
      return ExitCodes::ProbeFailed;
    case TRunResult::rrDownloadFailed:
      return ExitCodes::DownloadFailed;
    case TRunResult::rrArchiveRefused:
      return ExitCodes::ArchiveRefused;
    case TRunResult::rrDiskFailure:
      return ExitCodes::DiskFailure;
    case TRunResult::rrLaunchFailed:
      return ExitCodes::LaunchFailed;
    case TRunResult::rrBadCommandLine:
      return ExitCodes::BadCommandLine;
    case TRunResult::rrUsageShown:
      return ExitCodes::Success;
  }
  return ExitCodes::LaunchFailed;
}

const char* OutcomeMeaning(const TRunOutcome& AOutcome) {
  switch (AOutcome.Result) {
    case TRunResult::rrInstallerEnded:
      return AOutcome.InstallerExitCode == 0 ? kExitInstallerSucceeded : kExitInstallerCode;
    case TRunResult::rrUserClosed:
      return kExitUserClosed;
    case TRunResult::rrElevationRefused:
      return kExitElevationRefused;
    case TRunResult::rrProbeFailed:
      return kExitProbeFailed;
    case TRunResult::rrDownloadFailed:
      return kExitDownloadFailed;
    case TRunResult::rrArchiveRefused:
      return kExitArchiveRefused;
    case TRunResult::rrDiskFailure:
      return kExitDiskFailure;
    case TRunResult::rrLaunchFailed:
      return kExitLaunchFailed;
    case TRunResult::rrBadCommandLine:
      return kExitBadCommandLine;
    case TRunResult::rrUsageShown:
      return kExitUsageShown;
  }
  return "";
}

std::string ExitCodeTable() {
  const TRunOutcome rows[] = {
      {TRunResult::rrInstallerEnded, 0}, {TRunResult::rrInstallerEnded, 1},
      {TRunResult::rrUserClosed},        {TRunResult::rrElevationRefused},
      {TRunResult::rrProbeFailed},       {TRunResult::rrDownloadFailed},
      {TRunResult::rrArchiveRefused},    {TRunResult::rrDiskFailure},
      {TRunResult::rrLaunchFailed},      {TRunResult::rrBadCommandLine},
  };
  // The one code no outcome has, which the program block returns.
  const std::string programFailed = std::to_string(ExitCodes::ProgramFailed);
  std::string table;
  for (const TRunOutcome& row : rows) {
    const std::string code =
        row.Result == TRunResult::rrInstallerEnded && row.InstallerExitCode != 0
            ? std::string(kUsageOtherCode)
            : std::to_string(ExitCodeFor(row));
    table += Format(kUsageExitCode, code.c_str(), OutcomeMeaning(row));
  }
  table += Format(kUsageExitCode, programFailed.c_str(), kExitProgramFailed);
  return table;
}
