#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/ArchiveSignatures.h"
#include "app/BarScale.h"
#include "app/CommandLine.h"
#include "app/IdAntiFreeze.h"
#include "app/RunOutcome.h"
#include "app/RunReport.h"
#include "app/SequenceView.h"
#include "app/SetupArchive.h"
#include "app/SetupSequence.h"
#include "app/platform/SetupPlatform.h"
#include "base/Texts.h"
#include "download/ArchiveStorage.h"
#include "download/DownloadClient.h"
#include "trust/PublisherCheck.h"
#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/Timer.h"

// The downloader's window: a status line and a progress bar; its one-shot timer runs the setup
// sequence (TimerTimer) once the window has been painted. It holds what the sequence works with
// and is the sequence's view.
class TMain : public TForm, private TSequenceView {
 public:
  TMain();
  ~TMain() override;

  std::unique_ptr<TProgressBar> ProgressBar;
  std::unique_ptr<TLabel> Info;
  // The HTTP client, plugged in by PlugInComponents (ComponentWiring.cpp). Without one the
  // size probe fails with its error dialog.
  std::unique_ptr<TDownloadClient> HTTP;
  std::unique_ptr<TTimer> Timer;
  // Keeps the window responsive while a socket call blocks.
  std::unique_ptr<TIdAntiFreeze> AntiFreeze;

  // Makes the archive reader for one run. Empty until a real reader is plugged in.
  std::function<std::unique_ptr<TSetupArchive>()> CreateArchive;
  // The platform the sequence runs on; tests put their own in place before the first tick.
  std::unique_ptr<TSetupPlatform> Platform;
  // Memory or a temporary file for each archive, and the disks' room (tests lower its limit).
  TArchiveStorage ArchiveStorage;
  // The trust checks, plugged in with the real components: each archive against its signature
  // by the built-in keys, and the installer's publisher against the program's own. Without
  // them nothing is checked.
  std::unique_ptr<TArchiveSignatures> ArchiveSignatures;
  std::unique_ptr<TPublisherCheck> PublisherCheck;

  // How much of itself the run shows (the command line's /quiet and /passive). Unattended, no
  // dialog is shown and the run ends by itself, a failure too.
  TRunMode Mode = TRunMode::rmNormal;
  // The installer's parameters (the command line's, after "--").
  std::vector<std::string> InstallerArguments;
  // What happens, told to the program's log (its sink is set by the program); the HTTP client's
  // adapter reports here too.
  TRunReport Report;
  // What the run came to, for the program's exit code.
  TRunOutcome Outcome;

  // OnWork of HTTP: moves the bar with the bytes received and disconnects once the program
  // has been asked to end. Sender and work mode are not looked at, so they are not passed.
  void HTTPWork(int64_t AWorkCount);
  // OnTimer of Timer: the setup sequence, with this window as its view.
  void TimerTimer(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormCreate(TComponent* Sender);

  // Connects HTTP's work events to HTTPWork and its waits before a retry to the status line's
  // countdown; call after replacing HTTP.
  void ConnectHTTP();
  // The work count of the last work event received.
  int64_t LastWorkCount() const { return FLastWorkCount; }

 protected:
  // Wide enough for the longest text the status line shows in the user's language, and for
  // any longer one it has shown (a countdown's).
  int ContentWidth() const override;

 private:
  // The sequence's view.
  void ShowStatus(TTextId AText) override;
  void ShowProgressTotal(int64_t ABytes) override;
  void FollowDownload(bool AFollow) override;
  void ResetProgress() override;
  bool MayGoOn() override;
  void Answer() override;
  void EndRun() override;
  bool ShowFailure(const TFailureNotice& ANotice) override;
  void ShowNotice(const std::string& AText) override;
  TWinHandle OwnerWindow() override;
  void StepAside() override;

  void SetStatus(const std::string& AText);
  // OnRetryWait of HTTP: counts the wait down on the status line, a second at a time, while the
  // window answers; the status line then shows what it showed before. False when the window was
  // closed meanwhile: the wait ends at once.
  bool CountDownToRetry(const TRetryNotice& ANotice);

  // Whether work events move the bar: during a download only.
  bool ShouldUpdateProgress = false;
  int64_t FLastWorkCount = 0;
  // The bar's range for the lengths the size probes announced, and the bytes it shows.
  TBarScale FBarScale;
  int64_t FBarBytes = 0;
  // The widest status text shown that the window was not made for; measured anew at each
  // layout, as the density may have changed.
  std::string FWidestStatus;
};

extern TMain* Main;
