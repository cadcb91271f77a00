#include "app/SetupProgram.h"

#include <memory>

#include "app/CommandLine.h"
#include "app/Main.h"
#include "app/RunOutcome.h"
#include "app/RunReport.h"
#include "app/SecretRedaction.h"
#include "app/SetupLog.h"
#include "app/platform/SystemDescription.h"
#include "app/resources/ProgramVersion.h"
#include "base/Format.h"
#include "base/Texts.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Form.h"

namespace {

// How many default logs the temporary folder keeps.
constexpr int kKeptLogs = 10;

const char* ModeName(TRunMode AMode) {
  switch (AMode) {
    case TRunMode::rmNormal:
      return "normal";
    case TRunMode::rmPassive:
      return "passive";
    case TRunMode::rmQuiet:
      return "quiet";
  }
  return "";
}

std::unique_ptr<TSetupLog> OpenLog(const TCommandLine& ALine, const std::string& AFolder) {
  if (!ALine.LogFile.empty()) return std::make_unique<TSetupLog>(ALine.LogFile);
  return std::make_unique<TSetupLog>(TSetupLog::CreateInFolder(AFolder, kKeptLogs));
}

std::string FileNameOf(const std::string& APath) {
  const size_t slash = APath.find_last_of("\\/:");
  return slash == std::string::npos ? APath : APath.substr(slash + 1);
}

}  // namespace

uint32_t RunSetupProgram(const TProgramStart& AStart, const std::function<void(TMain&)>& APlugIn) {
  const TCommandLine line = ParseCommandLine(AStart.Arguments);
  const std::unique_ptr<TSetupLog> log = OpenLog(line, AStart.LogFolder);
  TRunReport report(log.get());
  report.Note("Plenwick Suite Setup - Web Downloader " PLENWICK_VERSION_TEXT ", " +
              AStart.ProgramFile);
  report.Note("System: " + SystemDescription());
  report.Note("Command line: " + LoggedCommandLine(AStart.CommandLine, AStart.Arguments));
  report.Note(Format("Mode: %s", ModeName(line.Mode)));
  if (!line.LogFile.empty() && log->Path().empty())
    report.Note("The log file " + line.LogFile + " could not be opened");

  TApplication app(AStart.ProgramFile);
  app.Initialize();
  TRunOutcome outcome;
  if (line.Bad() || line.ShowUsage) {
    outcome.Result = line.Bad() ? TRunResult::rrBadCommandLine : TRunResult::rrUsageShown;
    const std::string program = FileNameOf(AStart.ProgramFile);
    if (line.Bad())
      report.Note("The command line cannot be read: " +
                  FormatFor(TTextReader::trLog, line.ErrorText,
                            RedactArguments({line.ErrorArgument})[0].c_str()));
    report.Note(UsageText(program, TTextReader::trLog));
    if (line.Mode != TRunMode::rmQuiet) {
      const std::string usage = UsageText(program);
      ShowMessageBox(line.Bad() ? line.Error() + "\r\n\r\n" + usage : usage, Text(RSUsageCaption),
                     line.Bad() ? TMsgDlgType::mtError : TMsgDlgType::mtInformation);
    }
  } else {
    app.MainFormOnTaskBar = true;
    app.ShowMainForm = line.Mode != TRunMode::rmQuiet;
    app.CreateForm(Main);
    Main->Mode = line.Mode;
    Main->InstallerArguments = line.InstallerArguments;
    Main->Report.SetSink(log.get());
    APlugIn(*Main);
    app.Run();
    outcome = Main->Outcome;
  }
  report.Outcome(outcome);
  return ExitCodeFor(outcome);
}
