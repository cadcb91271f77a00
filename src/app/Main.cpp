#include "app/Main.h"

#include <algorithm>

#include "app/BuildMemoryLimit.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Texts.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

TMain* Main = nullptr;

namespace {

// Every text the status line shows: the window is made wide enough for the longest of them.
constexpr TTextId kStatusTexts[] = {RSStatusInitiating, RSStatusChecking, RSStatusDownloading,
                                    RSStatusExtracting, RSStatusInstalling};

}  // namespace

TMain::TMain() : Platform(CreateSystemPlatform()) {
  // A program built with a memory limit of its own (the end-to-end runs') holds archives so.
  if (const int64_t built = BuildArchiveMemoryLimit(); built > 0)
    ArchiveStorage.MemoryLimit = built;
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

void TMain::ShowStatus(TTextId AText) {
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
    FBarBytes += AWorkCount - FLastWorkCount;
    // One event per received block: the control is touched only when that shows.
    ProgressBar->ShowPosition(FBarScale.PositionOf(FBarBytes));
  }
  FLastWorkCount = AWorkCount;
}

void TMain::TimerTimer(TComponent*) {
  Timer->SetEnabled(false);
  TSetupSequence sequence({.HTTP = HTTP.get(),
                           .CreateArchive = CreateArchive,
                           .Platform = *Platform,
                           .Storage = ArchiveStorage,
                           .Signatures = ArchiveSignatures.get(),
                           .Publisher = PublisherCheck.get(),
                           .Report = Report,
                           .Mode = Mode,
                           .InstallerArguments = InstallerArguments},
                          *this);
  Outcome = sequence.Run();
}

void TMain::ShowProgressTotal(int64_t ABytes) {
  FBarScale.SetTotal(ABytes);
  ProgressBar->SetMax(FBarScale.Max());
}

void TMain::FollowDownload(bool AFollow) {
  if (AFollow) {
    ShouldUpdateProgress = true;
    FLastWorkCount = 0;
    return;
  }
  ProgressBar->ShowHeldBackPosition();
  ShouldUpdateProgress = false;
}

void TMain::ResetProgress() {
  ShouldUpdateProgress = false;
  FLastWorkCount = 0;
  FBarScale.SetTotal(0);
  FBarBytes = 0;
  ProgressBar->SetMax(0);
  ProgressBar->ShowPosition(0);
}

bool TMain::MayGoOn() {
  return !Application->Terminated();
}

void TMain::Answer() {
  Application->ProcessMessages();
}

void TMain::EndRun() {
  Application->Terminate();
}

bool TMain::ShowFailure(const TFailureNotice& ANotice) {
  TErrorDialog dialog;
  dialog.Caption =
      ANotice.ErrorCaption ? MsgDlgCaption(TMsgDlgType::mtError) : Application->Title();
  dialog.Text = ANotice.Text;
  dialog.Details = ANotice.Details;
  dialog.DetailsLabel = Text(RSDetails);
  dialog.LinkPath = ANotice.LogPath;
  dialog.LinkLine = Text(dialog.LinkPath.empty() ? RSDetailsNoLog : RSDetailsLog);
  if (ANotice.TryAgain) dialog.RetryLabel = Text(RSTryAgain);
  return ShowErrorDialog(dialog) == TErrorDialogAnswer::eaRetry;
}

void TMain::ShowNotice(const std::string& AText) {
  Application->ShowException(Exception(AText));
}

TWinHandle TMain::OwnerWindow() {
  return Handle();
}

void TMain::StepAside() {
  Hide();
}
