// The download-and-install sequence, run natively through the headless window services with
// the test doubles of SequenceDoubles.h: one row per way out of the run.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/Main.h"
#include "app/MemorySink.h"
#include "app/SequenceDoubles.h"
#include "app/ShownFailures.h"
#include "base/FileSystem.h"
#include "trust/PublisherCheck.h"
#include "trust/TrustError.h"
#include "ui/headless/HeadlessApplication.h"
#include "zip/ZipTestSupport.h"

namespace {

// Below the fake platform's current directory; the executable lies elsewhere.
const std::string kFolder = "C:\\Work\\Plenwick Setup (64-bit)\\";
const std::string kFolderName = "C:\\Work\\Plenwick Setup (64-bit)";
const std::string kUrl = ArchiveUrlPrefix() + "_x64-stable.zip";
// Beside "Try again", which every failed probe offers: no word of exiting.
const std::string kProbeFailure = "Could not download files from distribution server.";
const std::string kFolderStays =
    "The old setup folder \"" + kFolderName + "\" could not be removed.";
const std::string kInstallerLost =
    "The installer was started, but this program cannot tell whether it has ended. It may still "
    "be running; its files stay in \"" +
    kFolderName + "\".";
// The system's message for a launch that found no installer, as the user sees it.
const std::string kLaunchNotFound = SysErrorMessage(ENOENT) + ".";

class Sequence : public ::testing::Test {
 public:
  void SetUp() override {
    app.CreateForm(Main);
    http = PlugInFakeClient(*Main, world);
    Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, archiveScript); };
    auto p = std::make_unique<TFakePlatform>(world);
    platform = p.get();
    Main->Platform = std::move(p);
  }

  // The user closes the window: the close request is queued like the platform's.
  void UserClosesWindow() {
    headless::PostMessage(app, [this] {
      ++closes;
      Main->Close();
    });
  }
  // A close request handled by a nested message retrieval (responsive waiting, for example).
  void UserClosesWindowAndMessagesAreProcessed() {
    UserClosesWindow();
    app.ProcessMessages();
  }

  // Runs the program's message loop; when it idles with the window open and no timer, the
  // user closes the window.
  void RunProgram() {
    headless::SetIdleHandler(app, [this] {
      ++idleCloses;
      UserClosesWindow();
    });
    app.Run();
  }

  // Terminate of the application: each close calls it twice (FormClose and the close
  // processing of the main form); what remains was the sequence's own.
  int SequenceTerminates() { return headless::QuitRequests(app) - 2 * closes; }

  TApplication app{"C:\\Downloads\\Plenwick-setup_x64-stable.exe"};
  TWorld world;
  TFakeClient* http = nullptr;
  TFakePlatform* platform = nullptr;
  std::function<void(const std::string&)> archiveScript;
  int closes = 0;
  int idleCloses = 0;
};

TEST_F(Sequence, SuccessfulRunDownloadsExtractsLaunchesAndRemovesTheFolder) {
  RunProgram();

  EXPECT_EQ(world.Log, (std::vector<std::string>{
                           "Head " + kUrl,
                           "CreateFolder " + kFolder,
                           "Archive created",
                           "Get " + kUrl,
                           "Open at 0 of 100000",
                           "FileSizes",
                           "VolumeSpace " + kFolder,
                           "ExtractAll " + kFolder,
                           "Hold " + kFolder + "Install.exe",
                           "Hold " + kFolder + "Data\\app.dll",
                           "Close",
                           "Archive freed",
                           "Launch " + kFolder + "Install.exe",
                           "Poll 77",
                           "Poll 77",
                           "Poll 77",
                           "CloseHandle 77",
                           "Release " + kFolder + "Install.exe",
                           "Release " + kFolder + "Data\\app.dll",
                           "Delete " + kFolder,
                       }));
  EXPECT_EQ(headless::PaintedTexts(*Main->Info),
            (std::vector<std::string>{"Checking files to download...", "Downloading...",
                                      "Extracting...", "Initiating installation procedure..."}));
  EXPECT_EQ(platform->LaunchParent, Main->Handle());
  EXPECT_EQ(Main->ProgressBar->Max(), 100000);
  EXPECT_EQ(headless::PaintedPositions(*Main->ProgressBar),
            (std::vector<int>{32768, 65536, 98304, 100000}));
  EXPECT_FALSE(Main->Timer->Enabled());
  EXPECT_FALSE(Main->Visible());
  EXPECT_EQ(SequenceTerminates(), 1);
  EXPECT_EQ(closes, 0);
  EXPECT_TRUE(world.Folders.empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_TRUE(FailureBoxes(app).empty());
}

// One row per way out: what was released, the folder removal, Terminate, what the user saw.
struct WayOut {
  const char* name;
  std::function<void(Sequence&, TFakeClient&, TFakePlatform&,
                     std::function<void(const std::string&)>&)>
      script;
  int deleteAttempts;  // -1: retried until the 5-second limit
  bool folderLeft;
  bool processHandleClosed;
  bool windowHidden;
  int sequenceTerminates;
  const char* dialog;    // message dialog text, or nullptr
  const char* errorBox;  // default exception display text, or nullptr
  const char* status;    // the status line at the end
  bool userHadToClose;   // the window stayed open until the user closed it
};

const WayOut kWaysOut[] = {
    {.name = "ExceptionInSizeProbe",
     .script =
         [](Sequence&, TFakeClient& h, TFakePlatform&, auto&) {
           h.OnHead = [] { throw Exception("Socket Error # 11001\r\nHost not found."); };
         },
     .deleteAttempts = 0,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 1,
     .dialog = kProbeFailure.c_str(),
     .errorBox = nullptr,
     .status = "Checking files to download...",
     .userHadToClose = false},
    {.name = "TerminatedBeforeGet",
     .script = [](Sequence& s, TFakeClient& h, TFakePlatform&,
                  auto&) { h.OnHead = [&s] { s.UserClosesWindowAndMessagesAreProcessed(); }; },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Checking files to download...",
     .userHadToClose = false},
    {.name = "TerminatedAfterGet",
     .script =
         [](Sequence& s, TFakeClient& h, TFakePlatform&, auto&) {
           h.OnGet = [&s, &h](TStream& dest) {
             const char part[] = "PK";
             dest.WriteBuffer(part, 2);
             s.UserClosesWindowAndMessagesAreProcessed();
             h.OnWork(2);  // the next work event disconnects; Get returns the partial body
           };
         },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Downloading...",
     .userHadToClose = false},
    {.name = "ExceptionInGet",
     .script = [](Sequence&, TFakeClient& h, TFakePlatform&,
                  auto&) { h.OnGet = [](TStream&) { throw Exception("HTTP/1.1 404 Not Found"); }; },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = "HTTP/1.1 404 Not Found.",
     .status = "Downloading...",
     .userHadToClose = true},
    {.name = "ExceptionInExtractionWhileTheFolderCannotBeDeleted",
     .script =
         [](Sequence&, TFakeClient&, TFakePlatform& p, auto& archive) {
           p.DeleteFails = true;
           archive = [](const std::string& step) {
             if (step == "ExtractAll") throw Exception("Error writing file");
           };
         },
     .deleteAttempts = -1,
     .folderLeft = true,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = "Error writing file.",
     .status = "Extracting...",
     .userHadToClose = true},
    // The user closed the window while the client waited (the wait ended by closing the
    // connection): asked to quit, the user gets no message.
    {.name = "ExceptionAfterTerminated",
     .script =
         [](Sequence& s, TFakeClient& h, TFakePlatform& p, auto&) {
           p.DeleteFails = true;
           h.OnGet = [&s](TStream&) {
             s.UserClosesWindowAndMessagesAreProcessed();
             throw Exception("Connection Closed Gracefully.");
           };
         },
     .deleteAttempts = 1,
     .folderLeft = true,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Downloading...",
     .userHadToClose = false},
    {.name = "ExceptionInSizeProbeAfterTerminated",
     .script =
         [](Sequence& s, TFakeClient& h, TFakePlatform&, auto&) {
           h.OnHead = [&s] {
             s.UserClosesWindowAndMessagesAreProcessed();
             throw Exception("Connection Closed Gracefully.");
           };
         },
     .deleteAttempts = 0,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Checking files to download...",
     .userHadToClose = false},
    // Closed while "Extracting..." shows: the message processing before the extraction takes
    // it, and the extraction stops before its first entry. Nothing is launched; the user asked
    // to quit, so nothing is shown.
    {.name = "ClosedWhileExtractingIsShown",
     .script =
         [](Sequence& s, TFakeClient&, TFakePlatform&, auto& archive) {
           archive = [&s](const std::string& step) {
             if (step == "Open") s.UserClosesWindow();
           };
         },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Extracting...",
     .userHadToClose = false},
    // Closed while a block is written: the extraction's hook takes the close (once the
    // messages are due) and stops it at the next block.
    {.name = "ClosedDuringTheExtraction",
     .script =
         [](Sequence& s, TFakeClient&, TFakePlatform&, auto& archive) {
           archive = [&s](const std::string& step) {
             if (step != "Block 1") return;
             s.UserClosesWindow();
             std::this_thread::sleep_for(std::chrono::milliseconds(15));  // a slow block
           };
         },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = false,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Extracting...",
     .userHadToClose = false},
    // The elevation prompt's own message processing took the close. The installer was started
    // and may run from the folder: the folder stays, as after any close during the wait.
    {.name = "TerminatedInFirstPassOfInstallerWait",
     .script = [](Sequence& s, TFakeClient&, TFakePlatform& p,
                  auto&) { p.OnLaunch = [&s] { s.UserClosesWindowAndMessagesAreProcessed(); }; },
     .deleteAttempts = 0,
     .folderLeft = true,
     // The installer keeps running; its handle is closed all the same.
     .processHandleClosed = true,
     .windowHidden = true,
     .sequenceTerminates = 0,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    {.name = "TerminatedDuringInstallerWaitAfterAPoll",
     .script =
         [](Sequence& s, TFakeClient&, TFakePlatform& p, auto&) {
           p.Results = {kRunning};
           p.OnPoll = [&s](int poll) {
             if (poll == 3) s.UserClosesWindow();
           };
         },
     .deleteAttempts = 0,
     .folderLeft = true,
     .processHandleClosed = true,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    {.name = "InstallerEndedWithExitCode0",
     .script =
         [](Sequence&, TFakeClient&, TFakePlatform& p, auto&) {
           p.Results = {kRunning, 0};
         },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = true,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    // What the installer left cannot be removed: the next run would stop at it, so the user is
    // told once the 5 seconds are over.
    {.name = "InstallerEndedWithExitCode0AndTheFolderStays",
     .script =
         [](Sequence&, TFakeClient&, TFakePlatform& p, auto&) {
           p.Results = {kRunning, 0};
           p.DeleteFails = true;
         },
     .deleteAttempts = -1,
     .folderLeft = true,
     .processHandleClosed = true,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = kFolderStays.c_str(),
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    // 259 is also the code a running process reports: the handle, not the code, says that the
    // installer has ended.
    {.name = "InstallerEndedWithExitCode259",
     .script =
         [](Sequence&, TFakeClient&, TFakePlatform& p, auto&) {
           p.Results = {kRunning, STILL_ACTIVE_EXIT_CODE};
         },
     .deleteAttempts = 0,
     .folderLeft = true,
     .processHandleClosed = true,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    {.name = "InstallerEndedWithAnotherExitCode",
     .script =
         [](Sequence&, TFakeClient&, TFakePlatform& p, auto&) {
           p.Results = {kRunning, 1603};
         },
     .deleteAttempts = 0,
     .folderLeft = true,
     .processHandleClosed = true,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    // Refused at the elevation prompt: the user's own choice needs no message. No handle came,
    // so none is closed.
    {.name = "LaunchCancelled",
     .script = [](Sequence&, TFakeClient&, TFakePlatform& p,
                  auto&) { p.LaunchError = LAUNCH_CANCELLED_ERROR; },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = nullptr,
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    {.name = "LaunchFailed",
     .script = [](Sequence&, TFakeClient&, TFakePlatform& p, auto&) { p.LaunchError = ENOENT; },
     .deleteAttempts = 1,
     .folderLeft = false,
     .processHandleClosed = false,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = kLaunchNotFound.c_str(),
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
    // The empty handle needs no closing. Started, but never seen to end: the installer may
    // still run from the folder, so the folder stays and the user is told.
    {.name = "LaunchWithoutAUsableProcessHandle",
     .script = [](Sequence&, TFakeClient&, TFakePlatform& p, auto&) { p.ProcessHandle = 0; },
     .deleteAttempts = 0,
     .folderLeft = true,
     .processHandleClosed = false,
     .windowHidden = true,
     .sequenceTerminates = 1,
     .dialog = nullptr,
     .errorBox = kInstallerLost.c_str(),
     .status = "Initiating installation procedure...",
     .userHadToClose = false},
};

void PrintTo(const WayOut& row, std::ostream* os) {
  *os << row.name;
}

class SequenceWayOutTable : public Sequence, public ::testing::WithParamInterface<WayOut> {};

TEST_P(SequenceWayOutTable, CleansUpAsItsRowSays) {
  const WayOut& row = GetParam();
  row.script(*this, *http, *platform, archiveScript);
  RunProgram();

  // Released: the archive object always, before any removal of the folder.
  EXPECT_EQ(world.ArchivesAlive, 0);
  if (world.Count("Archive created") && world.Count("Delete ")) {
    EXPECT_LT(world.IndexOf("Archive freed"), world.IndexOf("Delete "));
  }

  const int attempts = world.Count("Delete " + kFolder);
  if (row.deleteAttempts >= 0) {
    EXPECT_EQ(attempts, row.deleteAttempts);
  } else {
    // Every attempt sleeps 10 ms: the 5-second limit allows about 500 of them.
    EXPECT_GE(attempts, 499);
    EXPECT_LE(attempts, 502);
  }
  EXPECT_EQ(world.Folders.count(kFolder) != 0, row.folderLeft);
  if (world.Count("Launch ")) {
    EXPECT_EQ(world.Count("CloseHandle "), row.processHandleClosed ? 1 : 0);
  }
  EXPECT_EQ(!Main->Visible(), row.windowHidden);
  EXPECT_EQ(SequenceTerminates(), row.sequenceTerminates);

  const auto& dialogs = ProbeDialogs(app);
  if (row.dialog) {
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].Caption, "Error");
    EXPECT_EQ(dialogs[0].Text, row.dialog);
  } else {
    EXPECT_TRUE(dialogs.empty());
  }
  const auto& boxes = FailureBoxes(app);
  if (row.errorBox) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, "Plenwick-setup_x64-stable");
    EXPECT_EQ(boxes[0].Text, row.errorBox);
  } else {
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(Main->Info->Caption(), row.status);
  EXPECT_EQ(idleCloses, row.userHadToClose ? 1 : 0);
  EXPECT_FALSE(Main->Timer->Enabled());
}

INSTANTIATE_TEST_SUITE_P(Rows, SequenceWayOutTable, ::testing::ValuesIn(kWaysOut),
                         [](const auto& info) { return std::string(info.param.name); });

// What stands where the setup folder goes, and what the run makes of it: one row each. The
// folder is resolved once, below the current directory, whatever the executable's folder.
struct FolderCase {
  const char* name;
  std::function<void(TWorld&, TFakePlatform&)> arrange;
  std::string errorBox;  // empty: the run goes on
  int creates;           // attempts to create the folder
};

const FolderCase kFolderCases[] = {
    // Left from before (or planted): removed first, so nothing of it sits beside the installer.
    {"OldFolderIsRemovedBeforeTheNewOneIsMade",
     [](TWorld& w, TFakePlatform&) { w.Folders.insert(kFolder); }, "", 1},
    {"LinkInItsPlaceIsLeftUntouched", [](TWorld& w, TFakePlatform&) { w.Links.insert(kFolder); },
     "The setup folder \"" + kFolderName + "\" is a link; it was left untouched.", 0},
    {"FileInItsPlaceIsLeftUntouched", [](TWorld& w, TFakePlatform&) { w.Files.insert(kFolder); },
     "The setup folder \"" + kFolderName + "\" is not a folder; it was left untouched.", 0},
    {"OldFolderThatCannotBeRemoved",
     [](TWorld& w, TFakePlatform& p) {
       w.Folders.insert(kFolder);
       p.DeleteFails = true;
     },
     "The old setup folder \"" + kFolderName + "\" could not be removed.", 0},
    {"FolderThatCannotBeCreated", [](TWorld&, TFakePlatform& p) { p.CreateFails = true; },
     "The setup folder \"" + kFolderName + "\" could not be created.", 1},
    {"CurrentDirectoryUnknown", [](TWorld&, TFakePlatform& p) { p.CurrentDirectory.clear(); },
     "The current folder could not be determined.", 0},
};

void PrintTo(const FolderCase& row, std::ostream* os) {
  *os << row.name;
}

class SetupFolderTable : public Sequence, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(SetupFolderTable, IsMadeAfreshOrTheRunStops) {
  const FolderCase& row = GetParam();
  row.arrange(world, *platform);
  const std::set<std::string> linksBefore = world.Links, filesBefore = world.Files;
  RunProgram();

  EXPECT_EQ(world.Count("Get "), row.errorBox.empty() ? 1 : 0);
  EXPECT_EQ(world.Count("CreateFolder "), row.creates);
  EXPECT_EQ(world.Links, linksBefore);
  EXPECT_EQ(world.Files, filesBefore);
  const auto& boxes = FailureBoxes(app);
  if (row.errorBox.empty()) {
    EXPECT_TRUE(boxes.empty());
    EXPECT_LT(world.IndexOf("Delete " + kFolder), world.IndexOf("CreateFolder " + kFolder));
    EXPECT_TRUE(world.Folders.empty());
  } else {
    // The window stays with the failure until the user closes it; nothing more is done.
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, row.errorBox);
    EXPECT_EQ(idleCloses, 1);
    EXPECT_EQ(SequenceTerminates(), 0);
    EXPECT_EQ(world.Count("Launch "), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, SetupFolderTable, ::testing::ValuesIn(kFolderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Sequence, TheSetupFolderLiesBelowACurrentDirectoryThatIsARoot) {
  platform->CurrentDirectory = "D:\\";
  RunProgram();
  EXPECT_EQ(world.Count("CreateFolder D:\\Plenwick Setup (64-bit)\\"), 1);
  EXPECT_EQ(world.Count("Launch D:\\Plenwick Setup (64-bit)\\Install.exe"), 1);
}

TEST_F(Sequence, AFailedLaunchIsToldAfterTheFolderIsRemoved) {
  platform->LaunchError = ENOENT;
  const auto& boxes = headless::ShownErrorDialogs(app);
  size_t boxesWhenRemoved = 99;
  platform->OnDelete = [&] { boxesWhenRemoved = boxes.size(); };
  RunProgram();
  EXPECT_EQ(boxesWhenRemoved, 0u);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, "Plenwick-setup_x64-stable");
  EXPECT_EQ(boxes[0].Text, kLaunchNotFound);
  EXPECT_TRUE(world.Folders.empty());
  EXPECT_EQ(SequenceTerminates(), 1);
}

TEST_F(Sequence, TerminatedSeenInTheSizeProbe) {
  // The quit request was taken before the tick was handled.
  UserClosesWindowAndMessagesAreProcessed();
  ASSERT_TRUE(app.Terminated());
  ASSERT_TRUE(headless::DeliverTimerTick(app));

  EXPECT_TRUE(world.Log.empty());  // no request, no folder
  EXPECT_EQ(SequenceTerminates(), 0);
  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_EQ(Main->Info->Caption(), "Checking files to download...");
}

TEST_F(Sequence, ClosingBeforeTheFirstTickEndsWithoutNetworkActivity) {
  UserClosesWindow();
  app.Run();
  EXPECT_TRUE(world.Log.empty());
  EXPECT_EQ(Main->Info->Caption(), "Initiating download...");
}

TEST_F(Sequence, SizeProbeLengths) {
  struct Case {
    int64_t length;
    bool probeFails;
    int max;
  } cases[] = {
      {-1, true, 0},                      // no Content-Length
      {0, false, 0},                      // the bar never moves, the download goes on
      {3221225472LL, false, 1610612736},  // 3 GiB: the bar counts in units of 2 bytes
      {4294967396LL, false, 1073741849},  // 4 GiB + 100: in units of 4 bytes
  };
  // Each case makes a window of its own; a program has one responsive-waiting component.
  Main->AntiFreeze.reset();
  for (const Case& c : cases) {
    TWorld w;
    TApplication a("C:\\Downloads\\Plenwick-setup_x64-stable.exe");
    TMain* m = nullptr;
    a.CreateForm(m);
    auto client = std::make_unique<TFakeClient>(w);
    client->ContentLength = c.length;
    client->OnGet = [](TStream&) {};
    m->HTTP = std::move(client);
    m->CreateArchive = [&w] { return std::make_unique<TFakeArchive>(w, nullptr); };
    m->Platform = std::make_unique<TFakePlatform>(w);
    ASSERT_TRUE(headless::DeliverTimerTick(a));
    EXPECT_EQ(ProbeDialogs(a).size(), c.probeFails ? 1u : 0u) << c.length;
    EXPECT_EQ(w.Count("Get "), c.probeFails ? 0 : 1) << c.length;
    EXPECT_EQ(m->ProgressBar->Max(), c.max) << c.length;
    EXPECT_EQ(m->ProgressBar->Position(), 0) << c.length;
  }
}

TEST_F(Sequence, WithoutAnHttpClientTheSizeProbeFailsWithItsDialog) {
  Main->HTTP.reset();
  RunProgram();
  ASSERT_EQ(ProbeDialogs(app).size(), 1u);
  EXPECT_EQ(ProbeDialogs(app)[0].Text, kProbeFailure);
  EXPECT_EQ(SequenceTerminates(), 1);
  EXPECT_TRUE(world.Log.empty());
}

TEST_F(Sequence, TheDownloadGoesWhereTheSizeProbeWasRedirected) {
  const std::string mirror = "https://mirror.example/periodic/Archive_x64-stable.zip";
  http->RedirectedTo = mirror;
  RunProgram();
  EXPECT_EQ(world.Log.at(0), "Head " + kUrl);
  EXPECT_EQ(world.Count("Get "), 1);
  EXPECT_EQ(world.Count("Get " + mirror), 1);
}

TEST_F(Sequence, DevelopmentBuildFetchesItsOwnArchive) {
  platform->ExePath = "C:\\Downloads\\Plenwick-develop_x64-nightly.exe";
  RunProgram();
  EXPECT_EQ(world.Log.at(0), "Head " + ArchiveUrlPrefix() + "_x64-nightly.zip");
}

}  // namespace

namespace {

// A poll that fails, on the first pass or a later one: the installer may still run, so it is no
// success. The run ends as a failed launch, keeps the folder, and says so in the log and (unless
// unattended) to the user.
struct PollFailure {
  const char* name;
  int failFromPoll;
  TRunMode mode;
};

class PollFailures : public Sequence, public ::testing::WithParamInterface<PollFailure> {};

TEST_P(PollFailures, AreAFailedLaunchThatKeepsTheFolder) {
  const PollFailure& c = GetParam();
  TMemorySink sink;
  Main->Report.SetSink(&sink);
  Main->Mode = c.mode;
  platform->Results = {kRunning};
  platform->FailFromPoll = c.failFromPoll;
  RunProgram();
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::LaunchFailed);
  EXPECT_EQ(world.Count("Delete "), 0);
  EXPECT_EQ(world.Folders.count(kFolder), 1u);
  EXPECT_EQ(world.Count("Poll "), c.failFromPoll);
  EXPECT_NE(sink.Find("The installer could not be asked whether it runs"), "") << sink.All();
  EXPECT_NE(sink.Find("The installer was started, but this program cannot tell"), "");
  const auto& boxes = FailureBoxes(app);
  if (c.mode == TRunMode::rmNormal) {
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, kInstallerLost);
  } else {
    EXPECT_TRUE(boxes.empty());
  }
  EXPECT_EQ(SequenceTerminates(), 1);
  EXPECT_EQ(idleCloses, 0);
  Main->Report.SetSink(nullptr);
}

const PollFailure kPollFailures[] = {
    {"FirstPoll", 1, TRunMode::rmNormal},
    {"LaterPoll", 3, TRunMode::rmNormal},
    {"FirstPollOfAQuietRun", 1, TRunMode::rmQuiet},
};

INSTANTIATE_TEST_SUITE_P(Rows, PollFailures, ::testing::ValuesIn(kPollFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// Every program and library extracted is held from the end of its extraction until the
// installer has ended, and let go before the folder is removed; data files are not held.
TEST_F(Sequence, EveryExtractedProgramIsHeldUntilTheInstallerHasEnded) {
  RunProgram();
  EXPECT_EQ(world.Count("Hold " + kFolder + "Data\\readme.txt"), 0);
  int lastPoll = -1;
  for (size_t i = 0; i < world.Log.size(); ++i)
    if (world.Log[i].starts_with("Poll ")) lastPoll = static_cast<int>(i);
  for (const std::string name : {"Install.exe", "Data\\app.dll"}) {
    SCOPED_TRACE(name);
    const int held = world.IndexOf("Hold " + kFolder + name);
    const int released = world.IndexOf("Release " + kFolder + name);
    ASSERT_GE(held, 0);
    EXPECT_LT(world.IndexOf("ExtractAll "), held);
    EXPECT_LT(held, world.IndexOf("Launch "));
    EXPECT_GT(released, lastPoll);
    EXPECT_LT(released, world.IndexOf("Delete "));
  }
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::Success);
}

// A file that another process changed or removed between its extraction and its hold is never
// started from: the run fails before the launch, the holds go before the folder does.
struct Meddling {
  const char* name;
  std::function<void(TWorld&, const std::string&)> meddle;
  std::string error;
  uint32_t exitCode;
};

class MeddledFiles : public Sequence, public ::testing::WithParamInterface<Meddling> {};

TEST_P(MeddledFiles, StopTheRunBeforeTheLaunch) {
  const Meddling& c = GetParam();
  const std::string library = kFolder + "Data\\app.dll";
  platform->OnHold = [&](const std::string& path) {
    if (path == library) c.meddle(world, path);
  };
  RunProgram();
  EXPECT_EQ(world.Count("Launch "), 0);
  EXPECT_EQ(ExitCodeFor(Main->Outcome), c.exitCode);
  const auto& boxes = FailureBoxes(app);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, c.error);
  EXPECT_GE(world.IndexOf("Release " + kFolder + "Install.exe"), 0);
  EXPECT_LT(world.IndexOf("Release " + kFolder + "Install.exe"), world.IndexOf("Delete "));
  EXPECT_EQ(world.Folders.count(kFolder), 0u);
}

const Meddling kMeddlings[] = {
    {"Changed", [](TWorld& w, const std::string& path) { w.Contents[path] = "MZ planted"; },
     "Entry \"Data\\app.dll\" does not match its CRC-32.", ExitCodes::ArchiveRefused},
    {"Lengthened", [](TWorld& w, const std::string& path) { w.Contents[path] += "!"; },
     "Entry \"Data\\app.dll\" does not match its CRC-32.", ExitCodes::ArchiveRefused},
    {"Gone", [](TWorld& w, const std::string& path) { w.Contents.erase(path); },
     "Cannot open file \"" + kFolder + "Data\\app.dll\".", ExitCodes::DiskFailure},
};

INSTANTIATE_TEST_SUITE_P(Rows, MeddledFiles, ::testing::ValuesIn(kMeddlings),
                         [](const auto& info) { return std::string(info.param.name); });

// Reading this program's own signature fails (the system's libraries cannot be loaded): the
// log says why, the launch is refused as one that cannot tell the publisher, and a quiet run
// ends by itself with its code and shows nothing.
TEST_F(Sequence, AnOwnSignatureThatCannotBeReadEndsAQuietRunWithItsCode) {
  class TNoLibrary : public TSignerReader {
   public:
    TSigner Signer(TFileStream&) override {
      throw ETrustError("Error on loading the system library wintrust.dll");
    }
  };
  const std::string own = GetCurrentDir() + "\\own-signature-unread.exe";
  ziptest::WriteFile(own, "MZ signed");
  TMemorySink sink;
  Main->Report.SetSink(&sink);
  Main->Mode = TRunMode::rmQuiet;
  Main->PublisherCheck = std::make_unique<TPublisherCheck>(own, std::make_unique<TNoLibrary>());
  RunProgram();
  std::filesystem::remove(ziptest::FsPath(own));
  EXPECT_EQ(ExitCodeFor(Main->Outcome), ExitCodes::LaunchFailed);
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(headless::ShownErrorBoxes(app).empty());
  EXPECT_EQ(SequenceTerminates(), 1);
  EXPECT_EQ(idleCloses, 0);
  EXPECT_EQ(world.Count("Launch "), 0);
  EXPECT_NE(sink.Find("This program's signature cannot be verified: Error on loading the system "
                      "library wintrust.dll"),
            "")
      << sink.All();
  Main->Report.SetSink(nullptr);
}

}  // namespace
