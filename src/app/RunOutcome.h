#pragma once

#include <cstdint>
#include <string>

#include "base/Texts.h"

// What a run of the downloader came to, and the exit code that tells it (README's table): one
// place decides the code, so a new way a run can end needs one row here.
enum class TRunResult {
  rrInstallerEnded,    // the installer ran and ended: its own exit code (0: installed)
  rrUserClosed,        // the window was closed (or the program asked to end) before the end
  rrElevationRefused,  // the user refused the installer's elevation
  rrProbeFailed,       // the size probe failed
  rrDownloadFailed,    // a download failed (the archive's, its signature's)
  rrArchiveRefused,    // the archive was refused: damaged, not signed, not from the publisher
  rrDiskFailure,       // the setup folder could not be made, filled or removed before the run
  rrLaunchFailed,      // the installer could not be started
  rrBadCommandLine,    // the command line could not be read
  rrUsageShown,        // "/?": the usage was shown
};

struct TRunOutcome {
  // Until the run has begun, closing the program is all that can have ended it.
  TRunResult Result = TRunResult::rrUserClosed;
  // The installer's exit code, for rrInstallerEnded.
  uint32_t InstallerExitCode = 0;
};

// The exit codes of the program's own outcomes. None is one that installers commonly return
// themselves (0, 1602, 1603, 1618, 1641, 3010) besides the two that mean what they mean there.
namespace ExitCodes {
inline constexpr uint32_t Success = 0;
inline constexpr uint32_t UserClosed = 1602;        // ERROR_INSTALL_USEREXIT
inline constexpr uint32_t ElevationRefused = 1223;  // ERROR_CANCELLED
inline constexpr uint32_t BadCommandLine = 87;      // ERROR_INVALID_PARAMETER
inline constexpr uint32_t ProbeFailed = 20001;
inline constexpr uint32_t DownloadFailed = 20002;
inline constexpr uint32_t ArchiveRefused = 20003;
inline constexpr uint32_t DiskFailure = 20004;
inline constexpr uint32_t LaunchFailed = 20005;
// Not an outcome of a run: the program itself failed before its window could run (its
// last-chance report said why).
inline constexpr uint32_t ProgramFailed = 20006;
}  // namespace ExitCodes

uint32_t ExitCodeFor(const TRunOutcome& AOutcome);

// What the outcome means, in the user's words.
TTextId OutcomeMeaning(const TRunOutcome& AOutcome);

// The table of exit codes as the usage shows it: one line per code, "<code>\t<meaning>\r\n".
std::string ExitCodeTable(TTextReader AReader = TTextReader::trUser);
