#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Texts.h"

// How much of itself the program shows.
enum class TRunMode {
  rmNormal,   // the window and every dialog
  rmPassive,  // the window with its progress, no dialog; the run ends by itself
  rmQuiet,    // no window and no dialog at all
};

// The program's command line, read. Switches begin with "/" or "-", letter case ignored:
// "/quiet", "/passive" (quiet wins when both are given), "/log <file>" or "/log=<file>" (the
// last one given counts), "/?"; everything after "--" is for the installer. Anything else makes
// the command line bad: Error() then says what, and the rest is read as far as it goes (so that
// a quiet run with a bad switch stays quiet and logs where it was asked to).
struct TCommandLine {
  TRunMode Mode = TRunMode::rmNormal;
  bool ShowUsage = false;
  std::string LogFile;  // empty: the default log
  std::vector<std::string> InstallerArguments;
  // The first fault: its text, naming the argument; no text (0) while the command line is good.
  TTextId ErrorText{};
  std::string ErrorArgument;

  bool Unattended() const { return Mode != TRunMode::rmNormal; }
  bool Bad() const { return ErrorText != TTextId{}; }
  // The fault in words for the user or the log; empty while the command line is good.
  std::string Error(TTextReader AReader = TTextReader::trUser) const;
};

// AArguments: the arguments after the program's own name, as the system splits them.
TCommandLine ParseCommandLine(const std::vector<std::string>& AArguments);

// One argument written so that the system's splitting (CommandLineToArgvW, and the C run-time's)
// gives it back exactly: as it is when it has no white space or quotes and is not empty, else in
// quotes, with each quote escaped and the backslashes before a quote or the end doubled.
std::string QuoteArgument(std::string_view AArgument);
// The arguments, each quoted as needed, separated by single spaces.
std::string JoinArguments(const std::vector<std::string>& AArguments);
// The command line as the log shows it: the program's name as ARawLine (the system's whole
// command line) begins with it, then AArguments (the arguments as the program read them from
// it) with their secrets hidden (RedactArguments), quoted and joined. Built from the arguments
// rather than hidden in the raw line, so that what is hidden is exactly the argument the program
// and the installer read, however the raw line was quoted.
std::string LoggedCommandLine(std::string_view ARawLine,
                              const std::vector<std::string>& AArguments);

// The usage for the program file AProgram ("/?"), with the table of exit codes.
std::string UsageText(const std::string& AProgram, TTextReader AReader = TTextReader::trUser);
