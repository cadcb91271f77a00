#include "app/Main.h"

#include <algorithm>

#include "app/ArchiveSuffix.h"
#include "app/DistributionHost.h"
#include "app/FolderHelpers.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/StringList.h"
#include "base/Texts.h"
#include "base/TryFinally.h"
#include "http/IdHTTPExceptions.h"
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
// How long the setup folder's removal is retried, in days.
constexpr double kRemovalLimit = 5.0 / 86400.0;

std::string IncludeTrailingBackslash(const std::string& APath) {
  return !APath.empty() && (APath.back() == '\\' || APath.back() == '/') ? APath : APath + '\\';
}
std::string ExcludeTrailingBackslash(const std::string& APath) {
  return APath.substr(0, APath.size() - 1);
}

// Signed 32-bit arithmetic that wraps, on the low 32 bits of each operand.
int32_t Low32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}
int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// The size probe's failure in the program's words, for the exception being handled. A proxy
// that failed is named with its answer: the user's settings, not the server, need a look.
std::string ProbeFailureMessage() {
  try {
    throw;
  } catch (const EIdHTTPProxyError& e) {
    return Format(RSProbeFailureThroughProxy, e.Message().c_str());
  } catch (...) {
    return Text(RSProbeFailure);
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
  if (HTTP) HTTP->OnWork = [this](int64_t AWorkCount) { HTTPWork(AWorkCount); };
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
  return width;
}

void TMain::SetStatus(TTextId AText) {
  Info->SetCaption(Text(AText));
  Info->Repaint();
}

void TMain::HTTPWork(int64_t AWorkCount) {
  if (Application->Terminated() && HTTP) HTTP->Disconnect();
  if (ShouldUpdateProgress) {
    const int32_t position = ProgressBar->Position();
    // One event per received block: the control is touched only when that shows.
    ProgressBar->ShowPosition(WrapAdd(position, WrapAdd(Low32(AWorkCount), -Low32(LastWorkCount))));
  }
  LastWorkCount = AWorkCount;
}

void TMain::TimerTimer(TComponent*) {
  Timer->SetEnabled(false);
  // Resolved once: a later change of the current directory cannot split the road.
  const std::string currentDir = Platform->CurrentDir();
  if (currentDir.empty()) throw Exception(Text(RSNoCurrentDir));
  FSetupFolder = IncludeTrailingBackslash(currentDir) + kSetupFolder;

  std::string current = Platform->ModuleFileName();
  current = ArchiveSuffix(current);
  // The file name the archive's signature must name: what this program asks for.
  const std::string archiveName = kArchiveName + current;
  TStringList urls;
  urls.Add(ArchiveUrlPrefix() + current);
  SetStatus(RSStatusChecking);

  // The size probe: its failure is the only one reported here, in words of our own. Each archive
  // is then fetched from where its probe ended, after any redirects.
  TStringList downloads;
  std::vector<int64_t> lengths;
  try {
    for (const std::string& url : urls) {
      current = url;
      if (Application->Terminated()) return;
      if (!HTTP) throw Exception(Text(RSNoHTTPClient));
      HTTP->Head(current);
      ProgressBar->SetMax(WrapAdd(ProgressBar->Max(), Low32(HTTP->ResponseContentLength())));
      downloads.Add(HTTP->ResponseURL());
      lengths.push_back(HTTP->ResponseContentLength());
    }
  } catch (...) {
    // A close while the probe waited ends it: the user asked to quit, not for a message.
    if (Application->Terminated()) return;
    MessageDlg(ProbeFailureMessage(), TMsgDlgType::mtError, 0);
    Application->Terminate();
    return;
  }

  if (!AcceptSignatures(downloads, lengths, archiveName)) return;
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
          Exception(Format(RSOldFolderStays, ExcludeTrailingBackslash(FSetupFolder).c_str())));
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
      throw Exception(Format(RSFolderIsLink, name.c_str()));
    case TPathKind::pkOther:
      throw Exception(Format(RSFolderIsNoFolder, name.c_str()));
    case TPathKind::pkFolder:
      // Nothing left from before (or planted) may sit beside the installer when it starts.
      RemoveSetupFolder();
      if (Platform->PathKind(FSetupFolder) != TPathKind::pkMissing) {
        if (Application->Terminated()) return false;
        throw Exception(Format(RSOldFolderStays, name.c_str()));
      }
      break;
    case TPathKind::pkMissing:
      break;
  }
  if (!Platform->CreateFolder(FSetupFolder))
    throw Exception(Format(RSFolderNotCreated, name.c_str()));
  return true;
}

bool TMain::DownloadAndInstall(const TStringList& AUrls, uint32_t& AExitCode, int& ALaunchError,
                               bool& AInstallerRan) {
  ShouldUpdateProgress = true;
  if (!CreateArchive) throw Exception(Text(RSNoArchiveReader));
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
    TMemoryStream stream;
    LastWorkCount = 0;
    SetStatus(RSStatusDownloading);
    // However the GET ends, the bar is left showing its exact position.
    TryFinally([&] { HTTP->Get(url, stream); }, [&] { ProgressBar->ShowHeldBackPosition(); });
    if (Application->Terminated()) return false;
    CheckArchive(url, stream);
    stream.SetPosition(0);
    archive->Open(stream);
    SetStatus(RSStatusExtracting);
    Application->ProcessMessages();
    archive->ExtractAll(FSetupFolder);
    archive->Close();
  }

  archive.reset();
  ShouldUpdateProgress = false;
  SetStatus(RSStatusInstalling);

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

void TMain::RemoveSetupFolder() {
  const double start = Platform->Now();
  do {
    Application->ProcessMessages();
    Platform->Sleep(10);
    Platform->DeleteFolder(FSetupFolder);
  } while (Platform->FolderExists(FSetupFolder) && !Application->Terminated() &&
           !(Platform->Now() > start + kRemovalLimit));
}

bool TMain::AcceptSignatures(const TStringList& AURLs, const std::vector<int64_t>& ALengths,
                             const std::string& AName) {
  if (!ArchiveSignatures || !ArchiveSignatures->Enabled()) return true;
  try {
    for (int i = 0; i < AURLs.Count(); ++i) {
      if (Application->Terminated()) return false;
      ArchiveSignatures->Fetch(*HTTP, AURLs[i], AName, ALengths[static_cast<size_t>(i)]);
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
  if (text.empty()) text = Format(RSLaunchFailed, AError);
  // Some of the system's texts name the file as "%1".
  const std::string installer = FSetupFolder + kInstaller;
  for (size_t at = 0; (at = text.find("%1", at)) != std::string::npos; at += installer.size())
    text.replace(at, 2, installer);
  Application->ShowException(Exception(text));
}
