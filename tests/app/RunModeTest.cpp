// The run as administrators and support staff meet it, natively through the headless window
// services and the test doubles of SequenceDoubles.h: unattended runs that show nothing and end
// with the code of their outcome, "Try again" after a failure, the lines the log gets, and the
// program from its command line to its exit code.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "app/LogSink.h"
#include "app/Main.h"
#include "app/MemorySink.h"
#include "app/RunOutcome.h"
#include "app/SequenceDoubles.h"
#include "app/SetupProgram.h"
#include "base/Exception.h"
#include "base/FileSystem.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"
#include "ui/headless/HeadlessApplication.h"
#include "zip/ZStream.h"
#include "zip/ZipTestSupport.h"

namespace {

const std::string kUrl = ArchiveUrlPrefix() + "_x64-stable.zip";
const std::string kWebPage =
    "The network returned a web page instead of the setup archive. You may need to sign in to "
    "the network first.";

class RunModes : public ::testing::Test {
 public:
  void SetUp() override {
    app.CreateForm(Main);
    http = PlugInFakeClient(*Main, world);
    Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, archiveScript); };
    auto p = std::make_unique<TFakePlatform>(world);
    platform = p.get();
    Main->Platform = std::move(p);
    Main->Report.SetSink(&sink);
  }
  // Runs the message loop; a run that waits for the user instead of ending by itself is closed
  // by the idle handler, which counts it.
  void RunProgram() {
    headless::SetIdleHandler(app, [this] {
      ++idleCloses;
      Main->Close();
    });
    app.Run();
  }
  size_t Shown() {
    return headless::ShownErrorDialogs(app).size() + headless::ShownErrorBoxes(app).size() +
           headless::ShownDialogs(app).size();
  }

  TApplication app{"C:\\Downloads\\Plenwick-setup_x64-stable.exe"};
  TWorld world;
  TMemorySink sink;
  TFakeClient* http = nullptr;
  TFakePlatform* platform = nullptr;
  std::function<void(const std::string&)> archiveScript;
  int idleCloses = 0;
};

struct UnattendedCase {
  const char* name;
  std::function<void(RunModes&)> arrange;
  uint32_t exitCode;
  // An installer that failed leaves its folder for a look; every other run cleans up.
  bool folderStays = false;
};

class Unattended : public RunModes,
                   public ::testing::WithParamInterface<std::tuple<TRunMode, UnattendedCase>> {};

// Quiet or passive, nobody is asked anything: the run ends by itself, and its exit code says
// how; the log's last event says the same.
TEST_P(Unattended, ShowsNoDialogAndEndsWithItsCode) {
  const auto& [mode, c] = GetParam();
  Main->Mode = mode;
  c.arrange(*this);
  RunProgram();
  EXPECT_EQ(Shown(), 0u) << headless::ShownErrorDialogs(app).size();
  EXPECT_EQ(idleCloses, 0) << "the run waited for the user";
  EXPECT_EQ(ExitCodeFor(Main->Outcome), c.exitCode);
  EXPECT_EQ(world.Folders.empty(), !c.folderStays);
}

const UnattendedCase kUnattended[] = {
    {"Installs", [](RunModes&) {}, 0},
    {"InstallerCode", [](RunModes& t) { t.platform->Results = {3010u}; }, 3010, true},
    {"ProbeFails",
     [](RunModes& t) {
       t.http->OnHead = [] { throw EIdSocketError(10061, "Connection refused."); };
     },
     ExitCodes::ProbeFailed},
    {"DownloadFails",
     [](RunModes& t) { t.http->OnGet = [](TStream&) { throw EIdReadTimeout("Read timed out."); }; },
     ExitCodes::DownloadFailed},
    {"ArchiveDamaged",
     [](RunModes& t) {
       t.archiveScript = [](const std::string& step) {
         if (step == "Block 2") throw EZLibError("data error");
       };
     },
     ExitCodes::ArchiveRefused},
    {"DiskFull",
     [](RunModes& t) {
       t.platform->SetupVolume = TVolumeSpace{1000, 4096, "C:"};
     },
     ExitCodes::DiskFailure},
    {"FolderIsAFile",
     [](RunModes& t) { t.world.Files.insert("C:\\Work\\Plenwick Setup (64-bit)\\"); },
     ExitCodes::DiskFailure},
    {"LaunchFails", [](RunModes& t) { t.platform->LaunchError = ENOENT; }, ExitCodes::LaunchFailed},
    {"ElevationRefused", [](RunModes& t) { t.platform->LaunchError = LAUNCH_CANCELLED_ERROR; },
     ExitCodes::ElevationRefused},
};

INSTANTIATE_TEST_SUITE_P(
    Rows, Unattended,
    ::testing::Combine(::testing::Values(TRunMode::rmQuiet, TRunMode::rmPassive),
                       ::testing::ValuesIn(kUnattended)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param) == TRunMode::rmQuiet ? "Quiet" : "Passive") +
             std::get<1>(info.param).name;
    });

// The probe fails, the user asks to try again, and the sequence runs again from the probe: this
// time it installs. The dialog offered it, with the cause and the log in its details.
TEST_F(RunModes, TryAgainRunsTheRoadAgainFromTheSizeProbe) {
  int heads = 0;
  http->OnHead = [&heads] {
    if (++heads == 1) throw EIdSocketError(10061, "Connection refused.");
  };
  headless::SetErrorDialogAnswer(app,
                                 [](const TErrorDialog&) { return TErrorDialogAnswer::eaRetry; });
  RunProgram();
  ASSERT_EQ(headless::ShownErrorDialogs(app).size(), 1u);
  const TErrorDialog& dialog = headless::ShownErrorDialogs(app)[0];
  EXPECT_EQ(dialog.RetryLabel, "Try again");
  EXPECT_EQ(dialog.Caption, "Error");
  EXPECT_EQ(dialog.Details, "Cause: Connection refused.\nAddress: " + kUrl);
  EXPECT_EQ(dialog.LinkPath, sink.Path());
  EXPECT_EQ(world.Count("Head " + kUrl), 2);
  EXPECT_EQ(world.Count("Launch "), 1);
  EXPECT_EQ(ExitCodeFor(Main->Outcome), 0u);
  EXPECT_EQ(idleCloses, 0);
  EXPECT_NE(sink.Find("Trying again"), "");
}

// A download that failed for good is not offered again; closing the dialog leaves the window
// until the user closes it, and the code is the download's.
TEST_F(RunModes, AFailureThatTryingAgainCannotMendOffersOnlyClose) {
  http->OnGet = [](TStream&) { throw EIdHTTPProtocolException(404, "HTTP/1.1 404 Not Found", ""); };
  RunProgram();
  ASSERT_EQ(headless::ShownErrorDialogs(app).size(), 1u);
  EXPECT_EQ(headless::ShownErrorDialogs(app)[0].RetryLabel, "");
  EXPECT_EQ(world.Count("Head "), 1);
  EXPECT_EQ(idleCloses, 1);
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::DownloadFailed);
}

// A network's sign-in page where the archive was expected is told as such, and may be tried
// again once the user has signed in.
TEST_F(RunModes, AWebPageInsteadOfTheArchiveIsToldAsSuch) {
  http->ContentType = "text/html; charset=utf-8";
  http->OnGet = [](TStream& dest) {
    const std::string page = "<!DOCTYPE html><html><title>Sign in</title></html>";
    dest.WriteBuffer(page.data(), static_cast<int64_t>(page.size()));
  };
  RunProgram();
  ASSERT_EQ(headless::ShownErrorDialogs(app).size(), 1u);
  EXPECT_EQ(headless::ShownErrorDialogs(app)[0].Text, kWebPage);
  EXPECT_EQ(headless::ShownErrorDialogs(app)[0].RetryLabel, "Try again");
  EXPECT_EQ(world.Count("Open "), 0);
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::DownloadFailed);
}

// The log of a run tells each step, with what support staff ask for.
TEST_F(RunModes, TheLogTellsEveryStepOfTheRoad) {
  Main->InstallerArguments = {"/S", "INSTALLDIR=C:\\Program Files\\Plenwick"};
  RunProgram();
  const std::string all = sink.All();
  for (const std::string& line : {
           "Archive: " + kUrl,
           "Announced length of " + kUrl + ": 100000 bytes",
           std::string("The archive is held in memory"),
           std::string("Setup folder C:\\Work\\Plenwick Setup (64-bit) created"),
           "Received 100000 bytes of " + kUrl + " in ",
           std::string(
               "Extracted 3 entries, 184320 bytes, into C:\\Work\\Plenwick Setup (64-bit)\\"),
           std::string("Starting the installer C:\\Work\\Plenwick Setup (64-bit)\\Install.exe with "
                       "the parameters /S \"INSTALLDIR=C:\\Program Files\\Plenwick\""),
           std::string("The installer ended with exit code 0 after "),
           std::string("The setup folder C:\\Work\\Plenwick Setup (64-bit)\\ is removed"),
       })
    EXPECT_NE(sink.Find(line), "") << line << "\n--- the log:\n" << all;
  // In the order they happened.
  const auto at = [this](const std::string& prefix) {
    return std::find_if(sink.Lines.begin(), sink.Lines.end(),
                        [&](const std::string& l) { return l.starts_with(prefix); }) -
           sink.Lines.begin();
  };
  EXPECT_LT(at("Archive: "), at("Received "));
  EXPECT_LT(at("Received "), at("Extracted "));
  EXPECT_LT(at("Extracted "), at("Starting the installer"));
  EXPECT_LT(at("The installer ended"),
            at("The setup folder C:\\Work\\Plenwick Setup (64-bit)\\ is"));
  EXPECT_EQ(world.Count("Launch C:\\Work\\Plenwick Setup (64-bit)\\Install.exe [/S] "
                        "[INSTALLDIR=C:\\Program Files\\Plenwick]"),
            1);
}

TEST_F(RunModes, TheLogTellsAFailureWithItsClassAndMeaning) {
  Main->Mode = TRunMode::rmQuiet;
  platform->SetupVolume = TVolumeSpace{1000, 4096, "E:"};
  RunProgram();
  const std::string error = sink.Find("Error ");
  EXPECT_TRUE(error.starts_with("Error ENotEnoughSpace: Setup needs ")) << error;
  EXPECT_NE(error.find("free on E:"), std::string::npos) << error;
  EXPECT_TRUE(error.ends_with("(disk failure)")) << error;
}

// The whole program, from its command line to its exit code, with the log in a file.
class Program : public ::testing::Test {
 public:
  uint32_t Start(const std::vector<std::string>& AArguments) {
    TProgramStart start;
    start.ProgramFile = "C:\\Downloads\\Plenwick-setup_x64-stable.exe";
    start.Arguments = AArguments;
    // As the system holds it: each argument quoted so that it is read back as it is.
    start.CommandLine = "Plenwick-setup_x64-stable.exe";
    for (const std::string& argument : AArguments)
      start.CommandLine += " " + QuoteArgument(argument);
    start.LogFolder = dir.Path();
    return RunSetupProgram(start, [this](TMain& AMain) {
      plugged = true;
      PlugInFakeClient(AMain, world);
      AMain.CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); };
      AMain.Platform = std::make_unique<TFakePlatform>(world);
    });
  }
  std::string Log(const std::string& AName) {
    return ziptest::ReadFile(dir / AName).value_or("(no log)");
  }
  std::string OnlyDefaultLog() {
    const std::vector<std::string> names = FileNamesIn(dir.Path());
    if (names.size() != 1 || !names[0].starts_with("Plenwick-setup-")) return "(not one log)";
    return Log(names[0]);
  }

  ziptest::TTempFolder dir;
  TWorld world;
  bool plugged = false;
};

TEST_F(Program, AQuietRunInstallsAndLogsToTheFileNamed) {
  EXPECT_EQ(Start({"/quiet", "/log", dir / "setup.log", "--", "/S", "TOKEN=s3cr3t"}), 0u);
  EXPECT_EQ(world.Count("Launch C:\\Work\\Plenwick Setup (64-bit)\\Install.exe [/S] "
                        "[TOKEN=s3cr3t]"),
            1);
  const std::string log = Log("setup.log");
  for (const char* line :
       {" Plenwick Suite Setup - Web Downloader ",
        " System: ", " Command line: Plenwick-setup_x64-stable.exe /quiet /log ", " Mode: quiet",
        " The installer ended with exit code 0 ", " Exit code 0: installer ended ("})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_EQ(log.find("s3cr3t"), std::string::npos) << log;
  EXPECT_TRUE(FileNamesIn(dir.Path()) == std::vector<std::string>{"setup.log"});
}

// A secret handed to the installer reaches it whole and the log nowhere: neither in the
// command line's line nor in the installer's parameters.
TEST_F(Program, TheInstallersSecretsReachTheInstallerButNotTheLog) {
  const struct {
    std::vector<std::string> parameters;
    const char* launched;  // as the fake platform lists the arguments it was given
    const char* logged;    // the parameters in both log lines
  } cases[] = {
      {{"DBPASSWORD=correct horse battery"},
       "[DBPASSWORD=correct horse battery]",
       "DBPASSWORD=[hidden]"},
      {{"--password", "hunter2", "/S"}, "[--password] [hunter2] [/S]", "--password [hidden] /S"},
      {{"/PASSWORD:hunter2"}, "[/PASSWORD:hunter2]", "/PASSWORD:[hidden]"},
      {{"API_KEY=hunter2", "keyboard=us"},
       "[API_KEY=hunter2] [keyboard=us]",
       "API_KEY=[hidden] keyboard=us"},
  };
  for (const auto& c : cases) {
    world = TWorld();
    const std::string logName = "secret-" + std::to_string(&c - cases) + ".log";
    std::vector<std::string> arguments = {"/quiet", "/log", dir / logName, "--"};
    arguments.insert(arguments.end(), c.parameters.begin(), c.parameters.end());
    EXPECT_EQ(Start(arguments), 0u) << c.logged;
    EXPECT_EQ(world.Count(std::string("Launch C:\\Work\\Plenwick Setup (64-bit)\\Install.exe ") +
                          c.launched),
              1)
        << c.logged;
    const std::string log = Log(logName);
    EXPECT_EQ(log.find("hunter2"), std::string::npos) << log;
    EXPECT_EQ(log.find("correct horse"), std::string::npos) << log;
    EXPECT_NE(log.find(" -- " + std::string(c.logged) + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" with the parameters " + std::string(c.logged) + "\r\n"), std::string::npos)
        << log;
  }
}

TEST_F(Program, ABadCommandLineEndsWithItsCodeAndRunsNothing) {
  EXPECT_EQ(Start({"/quiet", "/silent"}), ExitCodes::BadCommandLine);
  EXPECT_FALSE(plugged);
  const std::string log = OnlyDefaultLog();
  EXPECT_NE(log.find(" The command line cannot be read: The switch \"/silent\" is not known."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" Usage: Plenwick-setup_x64-stable.exe [/quiet | /passive] "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" Exit code 87: bad command line"), std::string::npos) << log;
}

// A secret given where the downloader's own switches go is not logged either, though the
// switch is refused.
TEST_F(Program, ABadSwitchWithASecretIsLoggedWithoutIt) {
  EXPECT_EQ(Start({"/quiet", "/PASSWORD:hunter2", "--token", "hunter2"}),
            ExitCodes::BadCommandLine);
  const std::string log = OnlyDefaultLog();
  EXPECT_EQ(log.find("hunter2"), std::string::npos) << log;
  EXPECT_NE(log.find(" Command line: Plenwick-setup_x64-stable.exe /quiet /PASSWORD:[hidden] "
                     "--token [hidden]\r\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find(" The switch \"/PASSWORD:[hidden]\" is not known."), std::string::npos) << log;
}

TEST_F(Program, TheUsageEndsWithSuccessAndRunsNothing) {
  EXPECT_EQ(Start({"/?"}), 0u);
  EXPECT_FALSE(plugged);
  EXPECT_NE(OnlyDefaultLog().find(" Exit code 0: usage shown"), std::string::npos);
}

// A log that cannot be written stops nothing.
TEST_F(Program, ALogThatCannotBeWrittenStopsNothing) {
  EXPECT_EQ(Start({"/passive", "/log=" + (dir / "missing\\setup.log")}), 0u);
  EXPECT_EQ(world.Count("Launch "), 1);
  EXPECT_TRUE(FileNamesIn(dir.Path()).empty());
}

}  // namespace
