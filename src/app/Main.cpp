#include "app/Main.h"

#include <algorithm>
#include <limits>

#include "app/ArchiveSuffix.h"
#include "app/DistributionHost.h"
#include "app/FolderHelpers.h"
#include "app/HeldFiles.h"
#include "app/SecretRedaction.h"
#include "app/SetupErrors.h"
#include "app/WebPageCheck.h"
#include "base/DateTime.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/StringList.h"
#include "base/Texts.h"
#include "base/TryFinally.h"
#include "http/IdHTTPExceptions.h"
#include "http/proxy/IdProxyServer.h"
#include "ui/Dialogs.h"

TMain* Main = nullptr;
int64_t LastWorkCount = 0;

namespace {

constexpr char kArchiveName[] = "Archive";
constexpr char kSetupFolder[] = "Plenwick Setup (64-bit)\\";
constexpr char kInstaller[] = "Install.exe";
// Every text the status line shows: the window is made wide enough for the longest of them.
constexpr TTextId kStatusTexts[] = {RSStatusInitiating, RSStatusChecking, RSStatusDownloading,
                                    RSStatusExtracting, RSStatusInstalling};
constexpr int64_t kMaxBytes = std::numeric_limits<int64_t>::max();
// How every ZIP archive begins.
constexpr char kZipStart[] = "PK";
// How long the setup folder's removal is retried, in days.
constexpr double kRemovalLimit = 5.0 / 86400.0;

std::string IncludeTrailingBackslash(const std::string& APath) {
  return !APath.empty() && (APath.back() == '\\' || APath.back() == '/') ? APath : APath + '\\';
}
std::string ExcludeTrailingBackslash(const std::string& APath) {
  return APath.substr(0, APath.size() - 1);
}

// The size probe's failure in the program's words, for the exception being handled. A proxy
// that failed is named with its answer: the user's settings, not the server, need a look.
// Beside "Try again" the message does not say that the program exits: the buttons tell.
std::string ProbeFailureMessage(bool ATryAgain) {
  try {
    throw;
  } catch (const EIdHTTPProxyError& e) {
    return Format(ATryAgain ? RSProbeFailureThroughProxyTryAgain : RSProbeFailureThroughProxy,
                  e.Message().c_str());
  } catch (...) {
    return Text(ATryAgain ? RSProbeFailureTryAgain : RSProbeFailure);
  }
}

}  // namespace

std::string ArchiveUrlPrefix() {
  return std::string(DistributionScheme()) + "://" + DistributionHost() + "/periodic/" +
         kArchiveName;
}

TMain::TMain() : Platform(CreateSystemPlatform()) {
  SetName("Main");
  SetCaption(Text(RSMainCaption));
  BorderWidth = 8;
  ClientWidth = 313;
  ClientHeight = 41;
  Font.Name = "Tahoma";
  Font.Height = -11;

  Info = std::make_unique<TLabel>(*this);
  Info->Align = TAlign::alTop;
  Info->DesignHeight = 13;  // the window's text height at 96 pixels per inch
  Info->SetCaption(Text(RSStatusInitiating));
  TFont bold = Font;
  bold.Bold = true;
  Info->SetFont(bold);

  ProgressBar = std::make_unique<TProgressBar>(*this);
  ProgressBar->Align = TAlign::alTop;
  ProgressBar->AlignWithMargins = true;
  ProgressBar->Margins = {0, 8, 0, 0};
  ProgressBar->DesignHeight = 17;
  ProgressBar->SetMax(0);

  Timer = std::make_unique<TTimer>();
  Timer->SetInterval(1);
  Timer->SetOnTimer([this](TComponent* Sender) { TimerTimer(Sender); });

  AntiFreeze = std::make_unique<TIdAntiFreeze>();
  AntiFreeze->IdleTimeOut = 10;
  // Once the program has been asked to end, no wait for the server holds it: the connection is
  // closed and the wait ends at once.
  AntiFreeze->OnAbandonWait = [] { return Application && Application->Terminated(); };

  OnCreate = [this](TComponent* Sender) { FormCreate(Sender); };
  OnClose = [this](TComponent* Sender, TCloseAction& Action) { FormClose(Sender, Action); };
  Loaded();
}

TMain::~TMain() {
  if (Main == this) Main = nullptr;
}

void TMain::ConnectHTTP() {
  if (!HTTP) return;
  HTTP->OnWork = [this](int64_t AWorkCount) { HTTPWork(AWorkCount); };
  // Each retry is logged with its cause before its wait is counted down.
  HTTP->OnRetry = [this](const TRetryNotice& ANotice) {
    Report.Retry(ANotice.Attempt, ANotice.MaxAttempts, ANotice.Cause, ANotice.Wait);
  };
  HTTP->OnRetryWait = [this](const TRetryNotice& ANotice) { return CountDownToRetry(ANotice); };
}

void TMain::FormCreate(TComponent*) {
  ShouldUpdateProgress = false;
}

void TMain::FormClose(TComponent*, TCloseAction&) {
  Application->Terminate();
}

int TMain::ContentWidth() const {
  int width = 0;
  for (const TTextId id : kStatusTexts)
    width = std::max(width, Info->TextWidth(Text(id)));
  return std::max(width, Info->TextWidth(FWidestStatus));
}

void TMain::SetStatus(TTextId AText) {
  SetStatus(Text(AText));
}

void TMain::SetStatus(const std::string& AText) {
  // A text wider than the line (a countdown of many seconds in some languages) widens the
  // window rather than being cut.
  if (Info->TextWidth(AText) > Info->Width()) {
    FWidestStatus = AText;
    ContentGrew();
  }
  Info->SetCaption(AText);
  Info->Repaint();
}

bool TMain::CountDownToRetry(const TRetryNotice& ANotice) {
  const std::string resumed = Info->Caption();
  // Measured on a clock that only goes forward: a change of the time of day neither stretches
  // nor cuts the wait.
  const uint64_t end = Platform->TickCount() + static_cast<uint64_t>(std::max(ANotice.Wait, 0));
  int shown = 0;
  for (;;) {
    // The window answers throughout, and a close ends the wait at once.
    Application->ProcessMessages();
    if (Application->Terminated()) return false;
    const uint64_t now = Platform->TickCount();
    if (now >= end) break;
    // The whole seconds left, rounded up: "1 s" until the wait is over.
    const int seconds = static_cast<int>((end - now + 999) / 1000);
    if (seconds != shown) {
      SetStatus(Format(ANotice.ServerBusy ? RSRetryServerBusy : RSRetryConnectionLost, seconds,
                       ANotice.Attempt, ANotice.MaxAttempts));
      shown = seconds;
    }
    Platform->Sleep(static_cast<unsigned>(std::min<uint64_t>(10, end - now)));
  }
  SetStatus(resumed);
  return true;
}

void TMain::HTTPWork(int64_t AWorkCount) {
  if (Application->Terminated() && HTTP) HTTP->Disconnect();
  if (ShouldUpdateProgress) {
    // Counted in bytes on 64 bits and scaled for the bar, so archives of any size show
    // (a count that goes back, bytes thrown away, moves the bar back as far).
    FBarBytes += AWorkCount - LastWorkCount;
    // One event per received block: the control is touched only when that shows.
    ProgressBar->ShowPosition(FBarScale.PositionOf(FBarBytes));
  }
  LastWorkCount = AWorkCount;
}

void TMain::TimerTimer(TComponent*) {
  Timer->SetEnabled(false);
  ReportSigner();
  while (RunRoad())
    PrepareAnotherTry();
}

void TMain::ReportSigner() {
  // Read here rather than at the start: the window shows without waiting for it.
  if (!PublisherCheck) return;
  switch (PublisherCheck->OwnSignature()) {
    case TPublisherCheck::TOwnSignature::osSigned:
      Report.Note("This program is signed by O=" + PublisherCheck->OwnPublisher().Organisation +
                  ", CN=" + PublisherCheck->OwnPublisher().CommonName);
      break;
    case TPublisherCheck::TOwnSignature::osUnsigned:
      Report.Note("This program carries no signature");
      break;
    case TPublisherCheck::TOwnSignature::osUnknown:
      // Told again, as the launch's refusal, once the installer is to start.
      Report.Note("This program's signature cannot be verified: " + PublisherCheck->OwnProblem());
      break;
  }
}

bool TMain::RunRoad() {
  try {
    FollowRoad();
    return false;
  } catch (...) {
    return Failed(std::current_exception());
  }
}

void TMain::PrepareAnotherTry() {
  Report.Note("Trying again");
  Report.ForgetFacts();
  if (HTTP) HTTP->Disconnect();
  ShouldUpdateProgress = false;
  LastWorkCount = 0;
  FBarScale.SetTotal(0);
  FBarBytes = 0;
  ProgressBar->SetMax(0);
  ProgressBar->ShowPosition(0);
  FAnnounced.clear();
  Outcome = {};
}

void TMain::FollowRoad() {
  FStage = TRunStage::rsStart;
  // Resolved once: a later change of the current directory cannot split the road.
  const std::string currentDir = Platform->CurrentDir();
  if (currentDir.empty()) throw ESetupFolderError(Text(RSNoCurrentDir));
  FSetupFolder = IncludeTrailingBackslash(currentDir) + kSetupFolder;

  std::string current = Platform->ModuleFileName();
  current = ArchiveSuffix(current);
  // The file name the archive's signature must name: what this program asks for.
  const std::string archiveName = kArchiveName + current;
  TStringList urls;
  urls.Add(ArchiveUrlPrefix() + current);
  SetStatus(RSStatusChecking);

  // The size probe. Each archive is then fetched from where its probe ended, after any
  // redirects.
  FStage = TRunStage::rsProbe;
  TStringList downloads;
  for (const std::string& url : urls) {
    current = FCurrentURL = url;
    if (Application->Terminated()) return;
    if (!HTTP) throw Exception(Text(RSNoHTTPClient));
    Report.Note("Archive: " + url);
    HTTP->Head(current);
    const int64_t length = HTTP->ResponseContentLength();
    FBarScale.SetTotal(length > 0 && FBarScale.Total() > kMaxBytes - length
                           ? kMaxBytes
                           : FBarScale.Total() + length);
    ProgressBar->SetMax(FBarScale.Max());
    downloads.Add(HTTP->ResponseURL());
    FAnnounced[HTTP->ResponseURL()] = HTTP->ResponseContentLength();
    Report.Announced(HTTP->ResponseURL(), HTTP->ResponseContentLength());
  }

  FStage = TRunStage::rsSignature;
  if (!AcceptSignatures(downloads, archiveName)) return;
  FStage = TRunStage::rsFolder;
  if (!PrepareSetupFolder()) return;
  TInstallRun run;
  bool normalEnd = false;
  try {
    normalEnd = DownloadAndInstall(downloads, run);
  } catch (...) {
    // The folder goes before the failure is told; an exception of the removal replaces it.
    if (run.FolderMayGo()) RemoveSetupFolder();
    throw;
  }
  if (run.FolderMayGo()) {
    RemoveSetupFolder();
    // What the installer left and could not be removed would stop the next run: the user is
    // told, unless the program was asked to end meanwhile.
    if (run.InstallerStarted && !Application->Terminated() &&
        Platform->PathKind(FSetupFolder) != TPathKind::pkMissing) {
      Report.Note(FormatFor(TTextReader::trLog, RSOldFolderStays,
                            ExcludeTrailingBackslash(FSetupFolder).c_str()));
      if (Mode == TRunMode::rmNormal)
        Application->ShowException(
            Exception(Format(RSOldFolderStays, ExcludeTrailingBackslash(FSetupFolder).c_str())));
    }
  }
  if (run.InstallerLost) {
    // Neither success nor a close: the run cannot tell what became of the installer.
    Outcome = {TRunResult::rrLaunchFailed};
    const std::string folder = ExcludeTrailingBackslash(FSetupFolder);
    Report.Note(FormatFor(TTextReader::trLog, RSInstallerNotFollowed, folder.c_str()));
    const std::string text = Format(RSInstallerNotFollowed, folder.c_str());
    ShowLaunchDialog(text, text);
  } else if (!normalEnd || (run.InstallerStarted && !run.InstallerEnded)) {
    Outcome = {TRunResult::rrUserClosed};
  } else if (run.LaunchError == LAUNCH_CANCELLED_ERROR) {
    // Refusing the elevation is the user's own choice: nothing is shown.
    Outcome = {TRunResult::rrElevationRefused};
    Report.Note("The elevation was refused");
  } else if (run.LaunchError != 0) {
    Outcome = {TRunResult::rrLaunchFailed};
    ShowLaunchFailure(run.LaunchError);
  } else {
    Outcome = {TRunResult::rrInstallerEnded, run.ExitCode};
  }
  if (normalEnd) Application->Terminate();
}

bool TMain::Failed(const std::exception_ptr& AFailure) {
  // A failure that a close brought about (or that came after it) is not shown: the user asked
  // to quit.
  if (Application->Terminated()) {
    Outcome = {TRunResult::rrUserClosed};
    Report.Note("Ended by a close: " + FailureMessage(AFailure));
    return false;
  }
  const TFailureClass failure = ClassifyFailure(AFailure, FStage);
  Outcome = {failure.Result};
  Report.Failure(AFailure, failure);
  // Unattended, nobody could answer: the run ends.
  if (Mode != TRunMode::rmNormal) {
    Application->Terminate();
    return false;
  }
  if (ShowFailure(AFailure, failure)) return true;
  // The size probe's failure ends the program; after any other the window stays until the user
  // closes it.
  if (FStage == TRunStage::rsProbe) Application->Terminate();
  return false;
}

bool TMain::ShowFailure(const std::exception_ptr& AFailure, const TFailureClass& AClass) {
  std::string cause;
  std::string text;
  try {
    std::rethrow_exception(AFailure);
  } catch (const EAbort&) {
    // Silent by design, as the default display keeps it.
    return false;
  } catch (const Exception& e) {
    cause = ExceptionDisplayText(e);
    text = FStage == TRunStage::rsProbe ? ProbeFailureMessage(AClass.TryAgainMayHelp) : cause;
  } catch (const std::exception& e) {
    cause = ExceptionDisplayText(Exception(e.what()));
    text = FStage == TRunStage::rsProbe ? ProbeFailureMessage(AClass.TryAgainMayHelp) : cause;
  } catch (...) {
    return false;
  }
  TErrorDialog dialog;
  // The probe's dialog keeps its caption; the others are the default display's.
  dialog.Caption =
      FStage == TRunStage::rsProbe ? MsgDlgCaption(TMsgDlgType::mtError) : Application->Title();
  dialog.Text = text;
  dialog.Details = FailureDetails(cause);
  dialog.DetailsLabel = Text(RSDetails);
  dialog.LinkPath = Report.LogPath();
  dialog.LinkLine = Text(dialog.LinkPath.empty() ? RSDetailsNoLog : RSDetailsLog);
  if (AClass.TryAgainMayHelp) dialog.RetryLabel = Text(RSTryAgain);
  const bool again = ShowErrorDialog(dialog) == TErrorDialogAnswer::eaRetry;
  Report.Note(again ? "The user asked to try again" : "The user closed the failure's dialog");
  return again;
}

std::string TMain::FailureDetails(const std::string& ACause) const {
  std::string details = Format(RSDetailsCause, ACause.c_str());
  // Where the network was on the road: what was asked for, through which proxy, and what came.
  if (FStage != TRunStage::rsProbe && FStage != TRunStage::rsSignature &&
      FStage != TRunStage::rsDownload)
    return details;
  if (!FCurrentURL.empty()) details += "\n" + Format(RSDetailsAddress, FCurrentURL.c_str());
  if (!Report.LastProxy().empty()) {
    const std::string proxy =
        Report.LastProxy() == TIdProxyServer{}.Text() ? Text(RSDetailsNoProxy) : Report.LastProxy();
    details += "\n" + Format(RSDetailsProxy, proxy.c_str());
  }
  if (!Report.LastStatusLine().empty())
    details += "\n" + Format(RSDetailsLastAnswer, Report.LastStatusLine().c_str());
  return details;
}

bool TMain::PrepareSetupFolder() {
  const std::string name = ExcludeTrailingBackslash(FSetupFolder);
  switch (Platform->PathKind(FSetupFolder)) {
    case TPathKind::pkLink:
      throw ESetupFolderError(Format(RSFolderIsLink, name.c_str()));
    case TPathKind::pkOther:
      throw ESetupFolderError(Format(RSFolderIsNoFolder, name.c_str()));
    case TPathKind::pkFolder:
      // Nothing left from before (or planted) may sit beside the installer when it starts.
      Report.Note("Removing the old setup folder " + name);
      RemoveSetupFolder();
      if (Platform->PathKind(FSetupFolder) != TPathKind::pkMissing) {
        if (Application->Terminated()) return false;
        throw ESetupFolderError(Format(RSOldFolderStays, name.c_str()));
      }
      break;
    case TPathKind::pkMissing:
      break;
  }
  if (!Platform->CreateFolder(FSetupFolder))
    throw ESetupFolderError(Format(RSFolderNotCreated, name.c_str()));
  Report.Note("Setup folder " + name + " created");
  return true;
}

bool TMain::DownloadAndInstall(const TStringList& AUrls, TInstallRun& ARun) {
  ShouldUpdateProgress = true;
  if (!CreateArchive) throw Exception(Text(RSNoArchiveReader));
  // Every extracted program, library and script, held from the end of its extraction until the
  // installer has ended (or the run has failed): the elevated installer loads what was checked,
  // not what another process put in its place meanwhile. Released before the folder can go.
  THeldFiles held;
  std::unique_ptr<TSetupArchive> archive = CreateArchive();
  archive->OnFileExtracted = [this, &held](const std::string& APath, uint64_t ASize,
                                           uint32_t ACrc) {
    if (!THeldFiles::IsRunnable(APath)) return;
    const std::string name = APath.compare(0, FSetupFolder.size(), FSetupFolder) == 0
                                 ? APath.substr(FSetupFolder.size())
                                 : APath;
    held.Hold(Platform->HoldFile(APath), name, ASize, ACrc);
  };
  // A large archive takes a while to write: the window answers meanwhile, as it does while the
  // body arrives (messages once IdleTimeOut has passed without them), and a close stops the
  // extraction; the folder then goes as after any failure, and nothing is shown.
  archive->OnProgress = [] {
    TIdAntiFreezeBase::DoProcessAfterWait(true);
    return Application->Terminated();
  };

  for (const std::string& url : AUrls) {
    FStage = TRunStage::rsDownload;
    FCurrentURL = url;
    if (Application->Terminated()) return false;
    const std::unique_ptr<TStream> stream = CreateArchiveStream(url);
    LastWorkCount = 0;
    SetStatus(RSStatusDownloading);
    const double started = Platform->Now();
    // However the GET ends, the bar is left showing its exact position.
    TryFinally([&] { HTTP->Get(url, *stream, kZipStart); },
               [&] { ProgressBar->ShowHeldBackPosition(); });
    Report.Received(url, stream->Size(), MilliSecondSpan(started, Platform->Now()));
    if (Application->Terminated()) return false;
    // A network's sign-in page is told as such, not as a damaged archive (the client tells it
    // from the first bytes; this holds for any client).
    RefuseWebPage(HTTP->ResponseContentType(), *stream, kZipStart);
    FStage = TRunStage::rsExtraction;
    CheckArchive(url, *stream);
    stream->SetPosition(0);
    archive->Open(*stream);
    // A disk that cannot take the files is told before the first is written.
    ArchiveStorage.CheckRoomForFiles(*Platform, archive->FileSizes(), FSetupFolder);
    SetStatus(RSStatusExtracting);
    Application->ProcessMessages();
    archive->ExtractAll(FSetupFolder);
    const TSetupArchive::TTotals totals = archive->Totals();
    Report.Note(Format("Extracted %d entries, %llu bytes, into %s; %d of them held", totals.Entries,
                       static_cast<unsigned long long>(totals.Bytes), FSetupFolder.c_str(),
                       static_cast<int>(held.Count())));
    archive->Close();
  }

  archive.reset();
  ShouldUpdateProgress = false;
  SetStatus(RSStatusInstalling);

  FStage = TRunStage::rsLaunch;
  // The installer just extracted, whatever the executable's own folder holds.
  const std::string installer = FSetupFolder + kInstaller;
  // Held from the check until the installer has ended: the file started is the file checked.
  const std::unique_ptr<TFileStream> heldInstaller = CheckInstaller(installer);
  Report.Note("Starting the installer " + installer +
              (InstallerArguments.empty()
                   ? std::string(" without parameters")
                   : " with the parameters " + JoinArguments(RedactArguments(InstallerArguments))));
  // Owned here, so that every way out closes it.
  TProcess process;
  const double launched = Platform->Now();
  if (Platform->LaunchElevated(Handle(), installer, InstallerArguments, process,
                               ARun.LaunchError)) {
    ARun.InstallerStarted = true;
    // It may run from now on: not 0, so that its folder stays however the run ends.
    ARun.ExitCode = STILL_ACTIVE_EXIT_CODE;
    Hide();
    bool running;
    do {
      // Only the first pass can end here: later passes are entered only while not Terminated.
      if (Application->Terminated()) {
        Report.Note("Closed while the installer runs; it is left running");
        return false;
      }
      Application->ProcessMessages();
      Platform->Sleep(10);
      // The handle says whether it has ended: an installer may end with the code a running
      // process reports (259), and must not leave us waiting for ever.
      uint32_t code = 0;
      const TProcessPoll poll = Platform->PollProcess(process.get(), code);
      // A handle that cannot be asked tells nothing: the installer may still run, so its
      // folder stays and the run ends as a failed launch, never as a success.
      ARun.InstallerLost = poll == TProcessPoll::ppFailed;
      running = poll == TProcessPoll::ppRunning;
      // Not 0 while it runs, so that the folder it runs from stays should the program be
      // ended now.
      ARun.ExitCode = poll == TProcessPoll::ppEnded ? code : STILL_ACTIVE_EXIT_CODE;
    } while (running && !Application->Terminated());
    ARun.InstallerEnded = !running && !ARun.InstallerLost;
    const int64_t ran = MilliSecondSpan(launched, Platform->Now());
    Report.Note(ARun.InstallerLost
                    ? Format("The installer could not be asked whether it runs (after %.3f s)",
                             static_cast<double>(ran) / 1000.0)
                : running
                    ? Format("Closed while the installer runs (after %.3f s); it is left running",
                             static_cast<double>(ran) / 1000.0)
                    : Format("The installer ended with exit code %lu after %.3f s",
                             static_cast<unsigned long>(ARun.ExitCode),
                             static_cast<double>(ran) / 1000.0));
  } else {
    Report.Note(Format("The installer could not be started: system error %d (%s)", ARun.LaunchError,
                       LaunchFailureText(ARun.LaunchError).c_str()));
  }
  process.reset();
  Hide();
  return true;
}

int64_t TMain::AnnouncedLength(const std::string& AURL) const {
  const auto announced = FAnnounced.find(AURL);
  return announced != FAnnounced.end() ? announced->second : -1;
}

std::unique_ptr<TStream> TMain::CreateArchiveStream(const std::string& AURL) {
  const int64_t length = AnnouncedLength(AURL);
  if (length <= 0) HTTP->UnannouncedBodyLimit = ArchiveStorage.UnannouncedRoom(*Platform);
  std::unique_ptr<TStream> stream = ArchiveStorage.CreateStream(*Platform, length);
  Report.Note(length > ArchiveStorage.MemoryLimit
                  ? "The archive is held in a temporary file in " + Platform->TempFolder()
              : length > 0 ? std::string("The archive is held in memory")
                           : Format("The archive is held in memory, in a temporary file in %s "
                                    "once it passes %lld bytes",
                                    Platform->TempFolder().c_str(),
                                    static_cast<long long>(ArchiveStorage.MemoryLimit)));
  return stream;
}

void TMain::RemoveSetupFolder() {
  const double start = Platform->Now();
  do {
    Application->ProcessMessages();
    Platform->Sleep(10);
    Platform->DeleteFolder(FSetupFolder);
  } while (Platform->FolderExists(FSetupFolder) && !Application->Terminated() &&
           !(Platform->Now() > start + kRemovalLimit));
  Report.Note(Platform->FolderExists(FSetupFolder)
                  ? "The setup folder " + FSetupFolder + " could not be removed"
                  : "The setup folder " + FSetupFolder + " is removed");
}

bool TMain::AcceptSignatures(const TStringList& AURLs, const std::string& AName) {
  if (!ArchiveSignatures || !ArchiveSignatures->Enabled()) {
    Report.Note("No archive signatures are checked: no keys are built in");
    return true;
  }
  try {
    for (const std::string& url : AURLs) {
      FCurrentURL = TArchiveSignatures::SignatureURL(url);
      if (Application->Terminated()) return false;
      ArchiveSignatures->Fetch(*HTTP, url, AName, AnnouncedLength(url));
      if (const TArchiveSignature* accepted = ArchiveSignatures->Accepted(url))
        Report.Note("Signature accepted: " + accepted->Statement());
    }
  } catch (...) {
    // A failure that a close brought about is not shown: the user asked to quit.
    if (Application->Terminated()) return false;
    throw;
  }
  return true;
}

void TMain::CheckArchive(const std::string& AURL, TStream& AArchive) {
  if (!ArchiveSignatures || !ArchiveSignatures->Enabled()) return;
  ArchiveSignatures->Check(AURL, AArchive);
  Report.Note("The archive matches its signature");
}

std::unique_ptr<TFileStream> TMain::CheckInstaller(const std::string& AInstaller) {
  if (!PublisherCheck) return nullptr;
  std::unique_ptr<TFileStream> held = PublisherCheck->Check(AInstaller);
  if (PublisherCheck->OwnSignature() == TPublisherCheck::TOwnSignature::osSigned)
    Report.Note("The installer is signed by this program's publisher");
  return held;
}

std::string TMain::LaunchFailureText(int AError) const {
  std::string text = SysErrorMessage(AError);
  if (text.empty()) text = Format(RSLaunchFailed, AError);
  // Some of the system's texts name the file as "%1".
  const std::string installer = FSetupFolder + kInstaller;
  for (size_t at = 0; (at = text.find("%1", at)) != std::string::npos; at += installer.size())
    text.replace(at, 2, installer);
  return text;
}

void TMain::ShowLaunchFailure(int AError) {
  ShowLaunchDialog(LaunchFailureText(AError), Format(RSLaunchFailed, AError));
}

void TMain::ShowLaunchDialog(const std::string& AText, const std::string& ACause) {
  if (Mode != TRunMode::rmNormal) return;
  TErrorDialog dialog;
  dialog.Caption = Application->Title();
  dialog.Text = ExceptionDisplayText(Exception(AText));
  dialog.Details = FailureDetails(ACause);
  dialog.DetailsLabel = Text(RSDetails);
  dialog.LinkPath = Report.LogPath();
  dialog.LinkLine = Text(dialog.LinkPath.empty() ? RSDetailsNoLog : RSDetailsLog);
  ShowErrorDialog(dialog);
}
