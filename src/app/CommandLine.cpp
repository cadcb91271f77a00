#include "app/CommandLine.h"

#include <algorithm>

#include "app/RunOutcome.h"
#include "app/SecretRedaction.h"
#include "base/StrUtils.h"

namespace {

bool IsSwitch(const std::string& AArgument) {
  return AArgument.size() > 1 && (AArgument[0] == '/' || AArgument[0] == '-');
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& AArguments) {
  TCommandLine line;
  bool quiet = false;
  bool passive = false;
  auto fail = [&line](TTextId AText, const std::string& AArgument) {
    if (line.Bad()) return;
    line.ErrorText = AText;
    line.ErrorArgument = AArgument;
  };
  for (size_t i = 0; i < AArguments.size(); ++i) {
    const std::string& argument = AArguments[i];
    if (argument == "--") {
      line.InstallerArguments.assign(AArguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                     AArguments.end());
      break;
    }
    if (!IsSwitch(argument)) {
      fail(RSUnexpectedArgument, argument);
      continue;
    }
    const std::string name = LowerCase(argument.substr(1));
    if (name == "quiet") {
      quiet = true;
    } else if (name == "passive") {
      passive = true;
    } else if (name == "?") {
      line.ShowUsage = true;
    } else if (name == "log") {
      // The file is the next argument; "--" or nothing there is none.
      if (i + 1 < AArguments.size() && AArguments[i + 1] != "--" && !AArguments[i + 1].empty())
        line.LogFile = AArguments[++i];
      else
        fail(RSLogNeedsFile, argument);
    } else if (name.starts_with("log=")) {
      if (name.size() > 4)
        line.LogFile = argument.substr(5);
      else
        fail(RSLogNeedsFile, argument);
    } else {
      fail(RSUnknownSwitch, argument);
    }
  }
  line.Mode = quiet ? TRunMode::rmQuiet : passive ? TRunMode::rmPassive : TRunMode::rmNormal;
  return line;
}

std::string TCommandLine::Error(TTextReader AReader) const {
  return Bad() ? FormatFor(AReader, ErrorText, ErrorArgument.c_str()) : std::string();
}

std::string QuoteArgument(std::string_view AArgument) {
  if (!AArgument.empty() && AArgument.find_first_of(" \t\n\v\"") == std::string_view::npos)
    return std::string(AArgument);
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : AArgument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    quoted += c;
    backslashes = 0;
  }
  // The closing quote follows them: doubled, they stay backslashes.
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string JoinArguments(const std::vector<std::string>& AArguments) {
  std::string line;
  for (const std::string& argument : AArguments) {
    if (!line.empty()) line += ' ';
    line += QuoteArgument(argument);
  }
  return line;
}

std::string LoggedCommandLine(std::string_view ARawLine,
                              const std::vector<std::string>& AArguments) {
  // The program's name ends at its closing quote when quoted, else at the first white space,
  // as the system reads it.
  size_t end = 0;
  if (ARawLine.starts_with('"')) {
    const size_t close = ARawLine.find('"', 1);
    end = close == std::string_view::npos ? ARawLine.size() : close + 1;
  } else {
    end = std::min(ARawLine.find_first_of(" \t"), ARawLine.size());
  }
  std::string line(ARawLine.substr(0, end));
  const std::string arguments = JoinArguments(RedactArguments(AArguments));
  if (!line.empty() && !arguments.empty()) line += ' ';
  return line + arguments;
}

std::string UsageText(const std::string& AProgram, TTextReader AReader) {
  return FormatFor(AReader, RSUsage, AProgram.c_str(), ExitCodeTable(AReader).c_str());
}
