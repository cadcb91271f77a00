// The program's command line: the switches as a table, and the installer's parameters written so
// that the system's splitting gives them back exactly.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/RunOutcome.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

#include "base/UniqueHandle.h"
#include "base/Utf.h"
#endif

namespace {

using TArgs = std::vector<std::string>;

struct LineCase {
  TArgs arguments;
  TRunMode mode;
  bool usage;
  std::string logFile;
  TArgs installer;
  std::string error;  // empty: the line is good
};

TEST(CommandLine, ReadsItsSwitches) {
  const LineCase cases[] = {
      {{}, TRunMode::rmNormal, false, "", {}, ""},
      {{"/quiet"}, TRunMode::rmQuiet, false, "", {}, ""},
      {{"-QUIET"}, TRunMode::rmQuiet, false, "", {}, ""},
      {{"/Passive"}, TRunMode::rmPassive, false, "", {}, ""},
      // Quiet wins, in either order.
      {{"/passive", "/quiet"}, TRunMode::rmQuiet, false, "", {}, ""},
      {{"-quiet", "-passive"}, TRunMode::rmQuiet, false, "", {}, ""},
      {{"/?"}, TRunMode::rmNormal, true, "", {}, ""},
      {{"-?"}, TRunMode::rmNormal, true, "", {}, ""},
      {{"/log", "C:\\Logs\\setup run.log"},
       TRunMode::rmNormal,
       false,
       "C:\\Logs\\setup run.log",
       {},
       ""},
      {{"/LOG=C:\\a=b.log"}, TRunMode::rmNormal, false, "C:\\a=b.log", {}, ""},
      // The last one given counts.
      {{"/log", "a.log", "-log=b.log"}, TRunMode::rmNormal, false, "b.log", {}, ""},
      // After "--" nothing is a switch, not even another "--" or an empty argument.
      {{"/quiet", "--", "/passive", "", "--", "A B"},
       TRunMode::rmQuiet,
       false,
       "",
       {"/passive", "", "--", "A B"},
       ""},
      {{"--"}, TRunMode::rmNormal, false, "", {}, ""},
      // What cannot be read is named; the rest is read as far as it goes.
      {{"/quiet", "/silent"},
       TRunMode::rmQuiet,
       false,
       "",
       {},
       "The switch \"/silent\" is not known."},
      {{"/silent", "/log", "x.log"},
       TRunMode::rmNormal,
       false,
       "x.log",
       {},
       "The switch \"/silent\" is not known."},
      {{"INSTALLDIR=C:\\P"},
       TRunMode::rmNormal,
       false,
       "",
       {},
       "\"INSTALLDIR=C:\\P\" is no switch; parameters for the installer go after \"--\"."},
      {{"/log"}, TRunMode::rmNormal, false, "", {}, "The switch \"/log\" needs a file name."},
      {{"/log", "--", "x"},
       TRunMode::rmNormal,
       false,
       "",
       {"x"},
       "The switch \"/log\" needs a file name."},
      {{"/log", ""}, TRunMode::rmNormal, false, "", {}, "The switch \"/log\" needs a file name."},
      {{"-log="}, TRunMode::rmNormal, false, "", {}, "The switch \"-log=\" needs a file name."},
      // Only the first fault is named.
      {{"/a", "/b"}, TRunMode::rmNormal, false, "", {}, "The switch \"/a\" is not known."},
      // A lone "/" or "-" is no switch.
      {{"-"},
       TRunMode::rmNormal,
       false,
       "",
       {},
       "\"-\" is no switch; parameters for the installer go after \"--\"."},
      {{"/quietly"}, TRunMode::rmNormal, false, "", {}, "The switch \"/quietly\" is not known."},
  };
  for (const LineCase& c : cases) {
    std::string shown;
    for (const std::string& a : c.arguments)
      shown += "[" + a + "]";
    const TCommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.Mode, c.mode) << shown;
    EXPECT_EQ(line.ShowUsage, c.usage) << shown;
    EXPECT_EQ(line.LogFile, c.logFile) << shown;
    EXPECT_EQ(line.InstallerArguments, c.installer) << shown;
    EXPECT_EQ(line.Error(), c.error) << shown;
    EXPECT_EQ(line.Bad(), !c.error.empty()) << shown;
    EXPECT_EQ(line.Unattended(), c.mode != TRunMode::rmNormal) << shown;
  }
}

// How the system splits a command line into arguments: CommandLineToArgvW under Windows, its
// documented rules natively (2n backslashes and a quote: n backslashes, the quote toggles;
// 2n+1: n and a literal quote; other backslashes are literal; "" inside quotes is a quote).
TArgs SplitAsTheSystemDoes(const std::string& ALine) {
#ifdef _WIN32
  const std::wstring line = L"program.exe " + ToWide(ALine);
  int count = 0;
  const TUniqueHandle<TNullHandleTraits<LPWSTR*, ::LocalFree>> arguments(
      ::CommandLineToArgvW(line.c_str(), &count));
  TArgs split;
  for (int i = 1; arguments && i < count; ++i)
    split.push_back(FromWide(arguments.get()[i]));
  return split;
#else
  TArgs split;
  size_t i = 0;
  while (i < ALine.size()) {
    while (i < ALine.size() && (ALine[i] == ' ' || ALine[i] == '\t'))
      ++i;
    if (i == ALine.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < ALine.size() && (quoted || (ALine[i] != ' ' && ALine[i] != '\t'))) {
      size_t backslashes = 0;
      while (i < ALine.size() && ALine[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < ALine.size() && ALine[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && i + 1 < ALine.size() && ALine[i + 1] == '"') {
          argument += '"';
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        argument.append(backslashes, '\\');
        if (i < ALine.size() && (quoted || (ALine[i] != ' ' && ALine[i] != '\t')))
          argument += ALine[i++];
      }
    }
    split.push_back(argument);
  }
  return split;
#endif
}

TEST(CommandLine, InstallerParametersComeBackExactly) {
  const TArgs hard = {
      "plain",
      "",
      "two words",
      "INSTALLDIR=C:\\Program Files\\Plenwick\\",
      "C:\\trailing\\",
      "say \"hi\"",
      "\\\"",
      "a\\\\\"b",
      "\"",
      "\\\\server\\share\\",
      "tab\there",
      "ünïcödé",
      "-- /quiet",
  };
  EXPECT_EQ(SplitAsTheSystemDoes(JoinArguments(hard)), hard) << JoinArguments(hard);
  // What needs no quotes gets none; what does is quoted whole.
  EXPECT_EQ(JoinArguments({"/S", "LICENSE=abc"}), "/S LICENSE=abc");
  EXPECT_EQ(QuoteArgument(""), "\"\"");
  EXPECT_EQ(QuoteArgument("C:\\Program Files\\"), "\"C:\\Program Files\\\\\"");
  EXPECT_EQ(QuoteArgument("a\"b"), "\"a\\\"b\"");
}

// Each way a run ends has its code; none of the program's own is one an installer commonly
// returns, so that a management tool reading the code cannot take one for the other.
TEST(ExitCodes, AreDistinctAndApartFromTheInstallersCommonCodes) {
  const TRunResult own[] = {TRunResult::rrProbeFailed,    TRunResult::rrDownloadFailed,
                            TRunResult::rrArchiveRefused, TRunResult::rrDiskFailure,
                            TRunResult::rrLaunchFailed,   TRunResult::rrBadCommandLine};
  std::vector<uint32_t> codes;
  for (const TRunResult result : own) {
    const uint32_t code = ExitCodeFor({result});
    for (const uint32_t installers : {0u, 1602u, 1603u, 1618u, 1641u, 3010u, 1223u})
      EXPECT_NE(code, installers) << static_cast<int>(result);
    for (const uint32_t other : codes)
      EXPECT_NE(code, other);
    codes.push_back(code);
  }
  EXPECT_EQ(ExitCodeFor({TRunResult::rrBadCommandLine}), 87u);
  EXPECT_EQ(ExitCodeFor({TRunResult::rrUserClosed}), 1602u);
  EXPECT_EQ(ExitCodeFor({TRunResult::rrElevationRefused}), 1223u);
  EXPECT_EQ(ExitCodeFor({TRunResult::rrUsageShown}), 0u);
  // The installer's own code passes through, whatever it is.
  for (const uint32_t installer : {0u, 1u, 1603u, 3010u, 20001u, 0xC0000005u})
    EXPECT_EQ(ExitCodeFor({TRunResult::rrInstallerEnded, installer}), installer);
}

TEST(ExitCodes, TheUsageListsEveryCode) {
  const std::string usage = UsageText("Plenwick-setup_x64-stable.exe");
  EXPECT_TRUE(usage.starts_with("Usage: Plenwick-setup_x64-stable.exe [/quiet | /passive]"));
  for (const uint32_t code :
       {ExitCodes::Success, ExitCodes::UserClosed, ExitCodes::ElevationRefused,
        ExitCodes::BadCommandLine, ExitCodes::ProbeFailed, ExitCodes::DownloadFailed,
        ExitCodes::ArchiveRefused, ExitCodes::DiskFailure, ExitCodes::LaunchFailed,
        ExitCodes::ProgramFailed})
    EXPECT_NE(usage.find("\r\n" + std::to_string(code) + "\t"), std::string::npos) << code;
  EXPECT_NE(usage.find("\r\nother\tThe installer's own exit code, passed on."), std::string::npos);
}

}  // namespace
