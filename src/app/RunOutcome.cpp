#include "app/RunOutcome.h"

#include <string>

#include "base/Format.h"

namespace {

// One line of the usage's exit code table: the code and what it means.
constexpr char kExitCodeLine[] = "%s\t%s\r\n";

}  // namespace

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

TTextId OutcomeMeaning(const TRunOutcome& AOutcome) {
  switch (AOutcome.Result) {
    case TRunResult::rrInstallerEnded:
      return AOutcome.InstallerExitCode == 0 ? RSExitInstallerSucceeded : RSExitInstallerCode;
    case TRunResult::rrUserClosed:
      return RSExitUserClosed;
    case TRunResult::rrElevationRefused:
      return RSExitElevationRefused;
    case TRunResult::rrProbeFailed:
      return RSExitProbeFailed;
    case TRunResult::rrDownloadFailed:
      return RSExitDownloadFailed;
    case TRunResult::rrArchiveRefused:
      return RSExitArchiveRefused;
    case TRunResult::rrDiskFailure:
      return RSExitDiskFailure;
    case TRunResult::rrLaunchFailed:
      return RSExitLaunchFailed;
    case TRunResult::rrBadCommandLine:
      return RSExitBadCommandLine;
    case TRunResult::rrUsageShown:
      return RSExitUsageShown;
  }
  return RSExitLaunchFailed;
}

std::string ExitCodeTable(TTextReader AReader) {
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
            ? TextFor(AReader, RSUsageOtherCode)
            : std::to_string(ExitCodeFor(row));
    table += Format(kExitCodeLine, code.c_str(), TextFor(AReader, OutcomeMeaning(row)).c_str());
  }
  table +=
      Format(kExitCodeLine, programFailed.c_str(), TextFor(AReader, RSExitProgramFailed).c_str());
  return table;
}
