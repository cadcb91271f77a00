#include "app/SetupSequence.h"

#include <algorithm>
#include <limits>

#include "app/ArchiveSuffix.h"
#include "app/DistributionHost.h"
#include "app/SecretRedaction.h"
#include "app/SetupErrors.h"
#include "base/DateTime.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/TryFinally.h"
#include "download/WebPageCheck.h"
#include "http/IdHTTPExceptions.h"
#include "http/proxy/IdProxyServer.h"
#include "net/IdAntiFreezeBase.h"
#include "ui/Application.h"

namespace {

constexpr char kArchiveName[] = "Archive";
constexpr char kSetupFolder[] = "Plenwick Setup (64-bit)\\";
constexpr char kInstaller[] = "Install.exe";
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

TSetupSequence::TSetupSequence(TSequenceParts AParts, TSequenceView& AView)
    : FParts(std::move(AParts)), FView(AView) {}

TRunOutcome TSetupSequence::Run() {
  ReportSigner();
  while (RunOnce())
    PrepareAnotherTry();
  return FOutcome;
}

void TSetupSequence::ReportSigner() {
  // Read here rather than at the start: the window shows without waiting for it.
  TPublisherCheck* const publisher = FParts.Publisher;
  if (!publisher) return;
  switch (publisher->OwnSignature()) {
    case TPublisherCheck::TOwnSignature::osSigned:
      FParts.Report.Note("This program is signed by O=" + publisher->OwnPublisher().Organisation +
                         ", CN=" + publisher->OwnPublisher().CommonName);
      break;
    case TPublisherCheck::TOwnSignature::osUnsigned:
      FParts.Report.Note("This program carries no signature");
      break;
    case TPublisherCheck::TOwnSignature::osUnknown:
      // Told again, as the launch's refusal, once the installer is to start.
      FParts.Report.Note("This program's signature cannot be verified: " + publisher->OwnProblem());
      break;
  }
}

bool TSetupSequence::RunOnce() {
  try {
    RunSteps();
    return false;
  } catch (...) {
    return Failed(std::current_exception());
  }
}

void TSetupSequence::PrepareAnotherTry() {
  FParts.Report.Note("Trying again");
  FParts.Report.ForgetFacts();
  if (FParts.HTTP) FParts.HTTP->Disconnect();
  FView.ResetProgress();
  FAnnounced.clear();
  FAnnouncedTotal = 0;
  FOutcome = {};
}

void TSetupSequence::RunSteps() {
  FStage = TRunStage::rsStart;
  // Resolved once: a later change of the current directory cannot split the sequence.
  const std::string currentDir = FParts.Platform.CurrentDir();
  if (currentDir.empty()) throw ESetupFolderError(Text(RSNoCurrentDir));
  FSetupFolder = IncludeTrailingBackslash(currentDir) + kSetupFolder;

  const std::string suffix = ArchiveSuffix(FParts.Platform.ModuleFileName());
  // The file name the archive's signature must name: what this program asks for.
  const std::string archiveName = kArchiveName + suffix;
  TStringList urls;
  urls.Add(ArchiveUrlPrefix() + suffix);
  FView.ShowStatus(RSStatusChecking);

  // Each archive is then fetched from where its probe ended, after any redirects.
  FStage = TRunStage::rsProbe;
  TStringList downloads;
  if (!ProbeSizes(urls, downloads)) return;

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
    if (run.InstallerStarted && FView.MayGoOn() &&
        FParts.Platform.PathKind(FSetupFolder) != TPathKind::pkMissing) {
      FParts.Report.Note(FormatFor(TTextReader::trLog, RSOldFolderStays,
                                   ExcludeTrailingBackslash(FSetupFolder).c_str()));
      if (FParts.Mode == TRunMode::rmNormal)
        FView.ShowNotice(Format(RSOldFolderStays, ExcludeTrailingBackslash(FSetupFolder).c_str()));
    }
  }
  if (run.InstallerLost) {
    // Neither success nor a close: the run cannot tell what became of the installer.
    FOutcome = {TRunResult::rrLaunchFailed};
    const std::string folder = ExcludeTrailingBackslash(FSetupFolder);
    FParts.Report.Note(FormatFor(TTextReader::trLog, RSInstallerNotFollowed, folder.c_str()));
    const std::string text = Format(RSInstallerNotFollowed, folder.c_str());
    ShowLaunchDialog(text, text);
  } else if (!normalEnd || (run.InstallerStarted && !run.InstallerEnded)) {
    FOutcome = {TRunResult::rrUserClosed};
  } else if (run.LaunchError == LAUNCH_CANCELLED_ERROR) {
    // Refusing the elevation is the user's own choice: nothing is shown.
    FOutcome = {TRunResult::rrElevationRefused};
    FParts.Report.Note("The elevation was refused");
  } else if (run.LaunchError != 0) {
    FOutcome = {TRunResult::rrLaunchFailed};
    ShowLaunchFailure(run.LaunchError);
  } else {
    FOutcome = {TRunResult::rrInstallerEnded, run.ExitCode};
  }
  if (normalEnd) FView.EndRun();
}

bool TSetupSequence::ProbeSizes(const TStringList& AURLs, TStringList& ADownloads) {
  for (const std::string& url : AURLs) {
    FCurrentURL = url;
    if (!FView.MayGoOn()) return false;
    if (!FParts.HTTP) throw Exception(Text(RSNoHTTPClient));
    TDownloadClient& http = *FParts.HTTP;
    FParts.Report.Note("Archive: " + url);
    http.Head(url);
    const int64_t length = http.ResponseContentLength();
    FAnnouncedTotal =
        length > 0 && FAnnouncedTotal > kMaxBytes - length ? kMaxBytes : FAnnouncedTotal + length;
    FView.ShowProgressTotal(FAnnouncedTotal);
    ADownloads.Add(http.ResponseURL());
    FAnnounced[http.ResponseURL()] = http.ResponseContentLength();
    FParts.Report.Announced(http.ResponseURL(), http.ResponseContentLength());
  }
  return true;
}

bool TSetupSequence::Failed(const std::exception_ptr& AFailure) {
  // A failure that a close brought about (or that came after it) is not shown: the user asked
  // to quit.
  if (!FView.MayGoOn()) {
    FOutcome = {TRunResult::rrUserClosed};
    FParts.Report.Note("Ended by a close: " + FailureMessage(AFailure));
    return false;
  }
  const TFailureClass failure = ClassifyFailure(AFailure, FStage);
  FOutcome = {failure.Result};
  FParts.Report.Failure(AFailure, failure);
  // Unattended, nobody could answer: the run ends.
  if (FParts.Mode != TRunMode::rmNormal) {
    FView.EndRun();
    return false;
  }
  if (ShowFailure(AFailure, failure)) return true;
  // The size probe's failure ends the program; after any other the window stays until the user
  // closes it.
  if (FStage == TRunStage::rsProbe) FView.EndRun();
  return false;
}

bool TSetupSequence::ShowFailure(const std::exception_ptr& AFailure, const TFailureClass& AClass) {
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
  TFailureNotice notice;
  notice.ErrorCaption = FStage == TRunStage::rsProbe;
  notice.Text = text;
  notice.Details = FailureDetails(cause);
  notice.LogPath = FParts.Report.LogPath();
  notice.TryAgain = AClass.TryAgainMayHelp;
  const bool again = FView.ShowFailure(notice);
  FParts.Report.Note(again ? "The user asked to try again"
                           : "The user closed the failure's dialog");
  return again;
}

std::string TSetupSequence::FailureDetails(const std::string& ACause) const {
  std::string details = Format(RSDetailsCause, ACause.c_str());
  // Where the network was in the sequence: what was asked for, through which proxy, and what
  // came.
  if (FStage != TRunStage::rsProbe && FStage != TRunStage::rsSignature &&
      FStage != TRunStage::rsDownload)
    return details;
  const TRunReport& report = FParts.Report;
  if (!FCurrentURL.empty()) details += "\n" + Format(RSDetailsAddress, FCurrentURL.c_str());
  if (!report.LastProxy().empty()) {
    const std::string proxy =
        report.LastProxy() == TIdProxyServer{}.Text() ? Text(RSDetailsNoProxy) : report.LastProxy();
    details += "\n" + Format(RSDetailsProxy, proxy.c_str());
  }
  if (!report.LastStatusLine().empty())
    details += "\n" + Format(RSDetailsLastAnswer, report.LastStatusLine().c_str());
  return details;
}

bool TSetupSequence::PrepareSetupFolder() {
  const std::string name = ExcludeTrailingBackslash(FSetupFolder);
  switch (FParts.Platform.PathKind(FSetupFolder)) {
    case TPathKind::pkLink:
      throw ESetupFolderError(Format(RSFolderIsLink, name.c_str()));
    case TPathKind::pkOther:
      throw ESetupFolderError(Format(RSFolderIsNoFolder, name.c_str()));
    case TPathKind::pkFolder:
      // Nothing left from before (or planted) may sit beside the installer when it starts.
      FParts.Report.Note("Removing the old setup folder " + name);
      RemoveSetupFolder();
      if (FParts.Platform.PathKind(FSetupFolder) != TPathKind::pkMissing) {
        if (!FView.MayGoOn()) return false;
        throw ESetupFolderError(Format(RSOldFolderStays, name.c_str()));
      }
      break;
    case TPathKind::pkMissing:
      break;
  }
  if (!FParts.Platform.CreateFolder(FSetupFolder))
    throw ESetupFolderError(Format(RSFolderNotCreated, name.c_str()));
  FParts.Report.Note("Setup folder " + name + " created");
  return true;
}

bool TSetupSequence::DownloadAndInstall(const TStringList& AURLs, TInstallRun& ARun) {
  if (!FParts.CreateArchive) throw Exception(Text(RSNoArchiveReader));
  // Every extracted program, library and script, held from the end of its extraction until the
  // installer has ended (or the run has failed): the elevated installer loads what was checked,
  // not what another process put in its place meanwhile. Released before the folder can go.
  THeldFiles held;
  std::unique_ptr<TSetupArchive> reader = FParts.CreateArchive();
  reader->OnFileExtracted = [this, &held](const std::string& APath, uint64_t ASize, uint32_t ACrc) {
    if (!THeldFiles::IsRunnable(APath)) return;
    const std::string name = APath.compare(0, FSetupFolder.size(), FSetupFolder) == 0
                                 ? APath.substr(FSetupFolder.size())
                                 : APath;
    held.Hold(FParts.Platform.HoldFile(APath), name, ASize, ACrc);
  };
  // A large archive takes a while to write: the window answers meanwhile, as it does while the
  // body arrives (messages once IdleTimeOut has passed without them), and a close stops the
  // extraction; the folder then goes as after any failure, and nothing is shown.
  reader->OnProgress = [this] {
    TIdAntiFreezeBase::DoProcessAfterWait(true);
    return !FView.MayGoOn();
  };

  for (const std::string& url : AURLs) {
    const std::unique_ptr<TStream> archive = Download(url);
    if (!archive) return false;
    Extract(url, *archive, *reader, held);
  }

  reader.reset();
  FView.ShowStatus(RSStatusInstalling);
  return LaunchAndWait(ARun);
}

std::unique_ptr<TStream> TSetupSequence::Download(const std::string& AURL) {
  FStage = TRunStage::rsDownload;
  FCurrentURL = AURL;
  if (!FView.MayGoOn()) return nullptr;
  std::unique_ptr<TStream> stream = CreateArchiveStream(AURL);
  FView.FollowDownload(true);
  FView.ShowStatus(RSStatusDownloading);
  const double started = FParts.Platform.Now();
  // However the GET ends, the bar is left showing its exact position.
  TryFinally([&] { FParts.HTTP->Get(AURL, *stream, kZipStart); },
             [&] { FView.FollowDownload(false); });
  FParts.Report.Received(AURL, stream->Size(), MilliSecondSpan(started, FParts.Platform.Now()));
  if (!FView.MayGoOn()) return nullptr;
  // A network's sign-in page is told as such, not as a damaged archive (the client tells it
  // from the first bytes; this holds for any client).
  RefuseWebPage(FParts.HTTP->ResponseContentType(), *stream, kZipStart);
  return stream;
}

void TSetupSequence::Extract(const std::string& AURL, TStream& AArchive, TSetupArchive& AReader,
                             const THeldFiles& AHeld) {
  FStage = TRunStage::rsExtraction;
  CheckArchive(AURL, AArchive);
  AArchive.SetPosition(0);
  AReader.Open(AArchive);
  // A disk that cannot take the files is told before the first is written.
  FParts.Storage.CheckRoomForFiles(FParts.Platform, AReader.FileSizes(), FSetupFolder);
  FView.ShowStatus(RSStatusExtracting);
  FView.Answer();
  AReader.ExtractAll(FSetupFolder);
  const TSetupArchive::TTotals totals = AReader.Totals();
  FParts.Report.Note(Format("Extracted %d entries, %llu bytes, into %s; %d of them held",
                            totals.Entries, static_cast<unsigned long long>(totals.Bytes),
                            FSetupFolder.c_str(), static_cast<int>(AHeld.Count())));
  AReader.Close();
}

bool TSetupSequence::LaunchAndWait(TInstallRun& ARun) {
  FStage = TRunStage::rsLaunch;
  // The installer just extracted, whatever the executable's own folder holds.
  const std::string installer = FSetupFolder + kInstaller;
  // Held from the check until the installer has ended: the file started is the file checked.
  const std::unique_ptr<TFileStream> heldInstaller = CheckInstaller(installer);
  FParts.Report.Note(
      "Starting the installer " + installer +
      (FParts.InstallerArguments.empty()
           ? std::string(" without parameters")
           : " with the parameters " + JoinArguments(RedactArguments(FParts.InstallerArguments))));
  // Owned here, so that every way out closes it.
  TProcess process;
  const double launched = FParts.Platform.Now();
  if (!FParts.Platform.LaunchElevated(FView.OwnerWindow(), installer, FParts.InstallerArguments,
                                      process, ARun.LaunchError)) {
    FParts.Report.Note(Format("The installer could not be started: system error %d (%s)",
                              ARun.LaunchError, LaunchFailureText(ARun.LaunchError).c_str()));
  } else if (!WaitForInstaller(process, launched, ARun)) {
    return false;
  }
  process.reset();
  FView.StepAside();
  return true;
}

bool TSetupSequence::WaitForInstaller(TProcess& AProcess, double ALaunched, TInstallRun& ARun) {
  ARun.InstallerStarted = true;
  // It may run from now on: not 0, so that its folder stays however the run ends.
  ARun.ExitCode = STILL_ACTIVE_EXIT_CODE;
  FView.StepAside();
  bool running;
  do {
    // Only the first pass can end here: later passes are entered only while the program may go
    // on.
    if (!FView.MayGoOn()) {
      FParts.Report.Note("Closed while the installer runs; it is left running");
      return false;
    }
    FView.Answer();
    FParts.Platform.Sleep(10);
    // The handle says whether it has ended: an installer may end with the code a running
    // process reports (259), and must not leave us waiting for ever.
    uint32_t code = 0;
    const TProcessPoll poll = FParts.Platform.PollProcess(AProcess.get(), code);
    // A handle that cannot be asked tells nothing: the installer may still run, so its
    // folder stays and the run ends as a failed launch, never as a success.
    ARun.InstallerLost = poll == TProcessPoll::ppFailed;
    running = poll == TProcessPoll::ppRunning;
    // Not 0 while it runs, so that the folder it runs from stays should the program be
    // ended now.
    ARun.ExitCode = poll == TProcessPoll::ppEnded ? code : STILL_ACTIVE_EXIT_CODE;
  } while (running && FView.MayGoOn());
  ARun.InstallerEnded = !running && !ARun.InstallerLost;
  const int64_t ran = MilliSecondSpan(ALaunched, FParts.Platform.Now());
  const double seconds = static_cast<double>(ran) / 1000.0;
  FParts.Report.Note(
      ARun.InstallerLost
          ? Format("The installer could not be asked whether it runs (after %.3f s)", seconds)
      : running
          ? Format("Closed while the installer runs (after %.3f s); it is left running", seconds)
          : Format("The installer ended with exit code %lu after %.3f s",
                   static_cast<unsigned long>(ARun.ExitCode), seconds));
  return true;
}

int64_t TSetupSequence::AnnouncedLength(const std::string& AURL) const {
  const auto announced = FAnnounced.find(AURL);
  return announced != FAnnounced.end() ? announced->second : -1;
}

std::unique_ptr<TStream> TSetupSequence::CreateArchiveStream(const std::string& AURL) {
  const TArchiveStorage& storage = FParts.Storage;
  const int64_t length = AnnouncedLength(AURL);
  if (length <= 0) FParts.HTTP->UnannouncedBodyLimit = storage.UnannouncedRoom(FParts.Platform);
  std::unique_ptr<TStream> stream = storage.CreateStream(FParts.Platform, length);
  FParts.Report.Note(length > storage.MemoryLimit ? "The archive is held in a temporary file in " +
                                                        FParts.Platform.TempFolder()
                     : length > 0
                         ? std::string("The archive is held in memory")
                         : Format("The archive is held in memory, in a temporary file in %s "
                                  "once it passes %lld bytes",
                                  FParts.Platform.TempFolder().c_str(),
                                  static_cast<long long>(storage.MemoryLimit)));
  return stream;
}

void TSetupSequence::RemoveSetupFolder() {
  TSetupPlatform& platform = FParts.Platform;
  const double start = platform.Now();
  do {
    FView.Answer();
    platform.Sleep(10);
    platform.DeleteFolder(FSetupFolder);
  } while (platform.FolderExists(FSetupFolder) && FView.MayGoOn() &&
           !(platform.Now() > start + kRemovalLimit));
  FParts.Report.Note(platform.FolderExists(FSetupFolder)
                         ? "The setup folder " + FSetupFolder + " could not be removed"
                         : "The setup folder " + FSetupFolder + " is removed");
}

bool TSetupSequence::AcceptSignatures(const TStringList& AURLs, const std::string& AName) {
  TArchiveSignatures* const signatures = FParts.Signatures;
  if (!signatures || !signatures->Enabled()) {
    FParts.Report.Note("No archive signatures are checked: no keys are built in");
    return true;
  }
  try {
    for (const std::string& url : AURLs) {
      FCurrentURL = TArchiveSignatures::SignatureURL(url);
      if (!FView.MayGoOn()) return false;
      signatures->Fetch(*FParts.HTTP, url, AName, AnnouncedLength(url));
      if (const TArchiveSignature* accepted = signatures->Accepted(url))
        FParts.Report.Note("Signature accepted: " + accepted->Statement());
    }
  } catch (...) {
    // A failure that a close brought about is not shown: the user asked to quit.
    if (!FView.MayGoOn()) return false;
    throw;
  }
  return true;
}

void TSetupSequence::CheckArchive(const std::string& AURL, TStream& AArchive) {
  if (!FParts.Signatures || !FParts.Signatures->Enabled()) return;
  FParts.Signatures->Check(AURL, AArchive);
  FParts.Report.Note("The archive matches its signature");
}

std::unique_ptr<TFileStream> TSetupSequence::CheckInstaller(const std::string& AInstaller) {
  TPublisherCheck* const publisher = FParts.Publisher;
  if (!publisher) return nullptr;
  std::unique_ptr<TFileStream> held = publisher->Check(AInstaller);
  if (publisher->OwnSignature() == TPublisherCheck::TOwnSignature::osSigned)
    FParts.Report.Note("The installer is signed by this program's publisher");
  return held;
}

std::string TSetupSequence::LaunchFailureText(int AError) const {
  std::string text = SysErrorMessage(AError);
  if (text.empty()) text = Format(RSLaunchFailed, AError);
  // Some of the system's texts name the file as "%1".
  const std::string installer = FSetupFolder + kInstaller;
  for (size_t at = 0; (at = text.find("%1", at)) != std::string::npos; at += installer.size())
    text.replace(at, 2, installer);
  return text;
}

void TSetupSequence::ShowLaunchFailure(int AError) {
  ShowLaunchDialog(LaunchFailureText(AError), Format(RSLaunchFailed, AError));
}

void TSetupSequence::ShowLaunchDialog(const std::string& AText, const std::string& ACause) {
  if (FParts.Mode != TRunMode::rmNormal) return;
  TFailureNotice notice;
  notice.Text = ExceptionDisplayText(Exception(AText));
  notice.Details = FailureDetails(ACause);
  notice.LogPath = FParts.Report.LogPath();
  FView.ShowFailure(notice);
}
