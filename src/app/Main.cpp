#include "app/Main.h"

#include <algorithm>
#include <limits>

#include "app/ArchiveSuffix.h"
#include "app/DistributionHost.h"
#include "app/DownloadTexts.h"
#include "app/FolderHelpers.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/StringList.h"
#include "base/TryFinally.h"
#include "http/IdHTTPExceptions.h"
#include "ui/Dialogs.h"

TMain* Main = nullptr;
int64_t LastWorkCount = 0;

namespace {

constexpr char kArchiveName[] = "Archive";
constexpr char kSetupFolder[] = "Plenwick Setup (64-bit)\\";
constexpr char kInstaller[] = "Install.exe";
constexpr char kProbeFailure[] =
    "Could not download files from distribution server.\r\n\r\nDownloader will now exit.";
constexpr char kProbeFailureThroughProxy[] =
    "Could not download files from distribution server.\r\n\r\n%s\r\n\r\n"
    "Downloader will now exit.";
constexpr char kNoCurrentDir[] = "The current folder could not be determined.";
constexpr char kFolderIsLink[] = "The setup folder \"%s\" is a link; it was left untouched.";
constexpr char kFolderIsNoFolder[] =
    "The setup folder \"%s\" is not a folder; it was left untouched.";
constexpr char kOldFolderStays[] = "The old setup folder \"%s\" could not be removed.";
constexpr char kFolderNotCreated[] = "The setup folder \"%s\" could not be created.";
constexpr char kLaunchFailed[] = "The installer could not be started (system error %d).";
constexpr int64_t kMaxBytes = std::numeric_limits<int64_t>::max();
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
std::string ProbeFailureMessage() {
  try {
    throw;
  } catch (const EIdHTTPProxyError& e) {
    return Format(kProbeFailureThroughProxy, e.Message().c_str());
  } catch (...) {
    return kProbeFailure;
  }
}

}  // namespace

std::string ArchiveUrlPrefix() {
  return std::string(DistributionScheme()) + "://" + DistributionHost() + "/periodic/" +
         kArchiveName;
}

TMain::TMain() : Platform(CreateSystemPlatform()) {
  SetName("Main");
  SetCaption("Plenwick Suite Setup - Web Downloader");
  BorderWidth = 8;
  ClientWidth = 313;
  ClientHeight = 41;
  Font.Name = "Tahoma";
  Font.Height = -11;

  Info = std::make_unique<TLabel>(*this);
  Info->Align = TAlign::alTop;
  Info->DesignHeight = 13;  // the window's text height at 96 pixels per inch
  Info->SetCaption("Initiating download...");
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
  HTTP->OnRetryWait = [this](const TRetryNotice& ANotice) { return CountDownToRetry(ANotice); };
}

void TMain::FormCreate(TComponent*) {
  ShouldUpdateProgress = false;
}

void TMain::FormClose(TComponent*, TCloseAction&) {
  Application->Terminate();
}

void TMain::SetStatus(const std::string& AText) {
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
  // Resolved once: a later change of the current directory cannot split the road.
  const std::string currentDir = Platform->CurrentDir();
  if (currentDir.empty()) throw Exception(kNoCurrentDir);
  FSetupFolder = IncludeTrailingBackslash(currentDir) + kSetupFolder;

  std::string current = Platform->ModuleFileName();
  current = ArchiveSuffix(current);
  // The file name the archive's signature must name: what this program asks for.
  const std::string archiveName = kArchiveName + current;
  TStringList urls;
  urls.Add(ArchiveUrlPrefix() + current);
  SetStatus("Checking files to download...");

  // The size probe: its failure is the only one reported here, in words of our own. Each archive
  // is then fetched from where its probe ended, after any redirects.
  TStringList downloads;
  try {
    for (const std::string& url : urls) {
      current = url;
      if (Application->Terminated()) return;
      if (!HTTP) throw Exception("No HTTP client is built into this program");
      HTTP->Head(current);
      const int64_t length = HTTP->ResponseContentLength();
      FBarScale.SetTotal(length > 0 && FBarScale.Total() > kMaxBytes - length
                             ? kMaxBytes
                             : FBarScale.Total() + length);
      ProgressBar->SetMax(FBarScale.Max());
      downloads.Add(HTTP->ResponseURL());
      FAnnounced[HTTP->ResponseURL()] = HTTP->ResponseContentLength();
    }
  } catch (...) {
    // A close while the probe waited ends it: the user asked to quit, not for a message.
    if (Application->Terminated()) return;
    MessageDlg(ProbeFailureMessage(), TMsgDlgType::mtError, 0);
    Application->Terminate();
    return;
  }

  if (!AcceptSignatures(downloads, archiveName)) return;
  if (!PrepareSetupFolder()) return;
  uint32_t exitCode = 0;
  int launchError = 0;
  bool installerRan = false;
  bool normalEnd = false;
  try {
    normalEnd = DownloadAndInstall(downloads, exitCode, launchError, installerRan);
  } catch (...) {
    // The folder goes before the failure is shown; an exception of the removal replaces it.
    if (exitCode == 0) RemoveSetupFolder();
    // A failure that a close brought about (or that came after it) is not shown: the user
    // asked to quit.
    if (Application->Terminated()) return;
    throw;
  }
  if (exitCode == 0) {
    RemoveSetupFolder();
    // What the installer left and could not be removed would stop the next run: the user is
    // told, unless the program was asked to end meanwhile.
    if (installerRan && !Application->Terminated() &&
        Platform->PathKind(FSetupFolder) != TPathKind::pkMissing) {
      Application->ShowException(
          Exception(Format(kOldFolderStays, ExcludeTrailingBackslash(FSetupFolder).c_str())));
    }
  }
  // Refusing the elevation is the user's own choice; any other failure is told.
  if (launchError != 0 && launchError != LAUNCH_CANCELLED_ERROR) ShowLaunchFailure(launchError);
  if (normalEnd) Application->Terminate();
}

bool TMain::PrepareSetupFolder() {
  const std::string name = ExcludeTrailingBackslash(FSetupFolder);
  switch (Platform->PathKind(FSetupFolder)) {
    case TPathKind::pkLink:
      throw Exception(Format(kFolderIsLink, name.c_str()));
    case TPathKind::pkOther:
      throw Exception(Format(kFolderIsNoFolder, name.c_str()));
    case TPathKind::pkFolder:
      // Nothing left from before (or planted) may sit beside the installer when it starts.
      RemoveSetupFolder();
      if (Platform->PathKind(FSetupFolder) != TPathKind::pkMissing) {
        if (Application->Terminated()) return false;
        throw Exception(Format(kOldFolderStays, name.c_str()));
      }
      break;
    case TPathKind::pkMissing:
      break;
  }
  if (!Platform->CreateFolder(FSetupFolder))
    throw Exception(Format(kFolderNotCreated, name.c_str()));
  return true;
}

bool TMain::DownloadAndInstall(const TStringList& AUrls, uint32_t& AExitCode, int& ALaunchError,
                               bool& AInstallerRan) {
  ShouldUpdateProgress = true;
  if (!CreateArchive) throw Exception("No archive reader is built into this program");
  std::unique_ptr<TSetupArchive> archive = CreateArchive();
  // A large archive takes a while to write: the window answers meanwhile, as it does while the
  // body arrives (messages once IdleTimeOut has passed without them), and a close stops the
  // extraction; the folder then goes as after any failure, and nothing is shown.
  archive->OnProgress = [] {
    TIdAntiFreezeBase::DoProcessAfterWait(true);
    return Application->Terminated();
  };

  for (const std::string& url : AUrls) {
    if (Application->Terminated()) return false;
    const std::unique_ptr<TStream> stream = CreateArchiveStream(url);
    LastWorkCount = 0;
    SetStatus("Downloading...");
    // However the GET ends, the bar is left showing its exact position.
    TryFinally([&] { HTTP->Get(url, *stream); }, [&] { ProgressBar->ShowHeldBackPosition(); });
    if (Application->Terminated()) return false;
    CheckArchive(url, *stream);
    stream->SetPosition(0);
    archive->Open(*stream);
    // A disk that cannot take the files is told before the first is written.
    ArchiveStorage.CheckRoomForFiles(*Platform, archive->FileSizes(), FSetupFolder);
    SetStatus("Extracting...");
    Application->ProcessMessages();
    archive->ExtractAll(FSetupFolder);
    archive->Close();
  }

  archive.reset();
  ShouldUpdateProgress = false;
  SetStatus("Initiating installation procedure...");

  // The installer just extracted, whatever the executable's own folder holds.
  const std::string installer = FSetupFolder + kInstaller;
  // Held from the check until the installer has ended: the file started is the file checked.
  const std::unique_ptr<TFileStream> heldInstaller = CheckInstaller(installer);
  // Owned here, so that every way out closes it.
  TProcess process;
  if (Platform->LaunchElevated(Handle(), installer, process, ALaunchError)) {
    AInstallerRan = true;
    Hide();
    bool running;
    do {
      // Only the first pass can end here: later passes are entered only while not Terminated.
      if (Application->Terminated()) return false;
      Application->ProcessMessages();
      Platform->Sleep(10);
      // The handle says whether it has ended: an installer may end with the code a running
      // process reports (259), and must not leave us waiting for ever. A handle that cannot
      // be asked ends the wait with the exit code as it stands.
      running = Platform->PollProcess(process.get(), AExitCode) == TProcessPoll::ppRunning;
      // Not 0, so that the folder it runs from stays should the program be ended now.
      if (running) AExitCode = STILL_ACTIVE_EXIT_CODE;
    } while (running && !Application->Terminated());
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
  return ArchiveStorage.CreateStream(*Platform, length);
}

void TMain::RemoveSetupFolder() {
  const double start = Platform->Now();
  do {
    Application->ProcessMessages();
    Platform->Sleep(10);
    Platform->DeleteFolder(FSetupFolder);
  } while (Platform->FolderExists(FSetupFolder) && !Application->Terminated() &&
           !(Platform->Now() > start + kRemovalLimit));
}

bool TMain::AcceptSignatures(const TStringList& AURLs, const std::string& AName) {
  if (!ArchiveSignatures || !ArchiveSignatures->Enabled()) return true;
  try {
    for (const std::string& url : AURLs) {
      if (Application->Terminated()) return false;
      ArchiveSignatures->Fetch(*HTTP, url, AName, AnnouncedLength(url));
    }
  } catch (...) {
    // A failure that a close brought about is not shown: the user asked to quit.
    if (Application->Terminated()) return false;
    throw;
  }
  return true;
}

void TMain::CheckArchive(const std::string& AURL, TStream& AArchive) {
  if (ArchiveSignatures && ArchiveSignatures->Enabled()) ArchiveSignatures->Check(AURL, AArchive);
}

std::unique_ptr<TFileStream> TMain::CheckInstaller(const std::string& AInstaller) {
  return PublisherCheck ? PublisherCheck->Check(AInstaller) : nullptr;
}

void TMain::ShowLaunchFailure(int AError) {
  std::string text = SysErrorMessage(AError);
  if (text.empty()) text = Format(kLaunchFailed, AError);
  // Some of the system's texts name the file as "%1".
  const std::string installer = FSetupFolder + kInstaller;
  for (size_t at = 0; (at = text.find("%1", at)) != std::string::npos; at += installer.size())
    text.replace(at, 2, installer);
  Application->ShowException(Exception(text));
}
