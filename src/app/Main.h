#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/ArchiveSignatures.h"
#include "app/ArchiveStorage.h"
#include "app/BarScale.h"
#include "app/CommandLine.h"
#include "app/DownloadClient.h"
#include "app/FailureClass.h"
#include "app/IdAntiFreeze.h"
#include "app/RunOutcome.h"
#include "app/RunReport.h"
#include "app/SetupArchive.h"
#include "app/SetupPlatform.h"
#include "base/FileStream.h"
#include "base/StringList.h"
#include "base/Texts.h"
#include "trust/PublisherCheck.h"
#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/Timer.h"

// The downloader's window: a status line and a progress bar; its one-shot timer runs the
// whole download-and-install sequence (TimerTimer) once the window has been painted.
class TMain : public TForm {
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
  // OnTimer of Timer: the download-and-install sequence.
  void TimerTimer(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormCreate(TComponent* Sender);

  // Connects HTTP's work events to HTTPWork and its waits before a retry to the status line's
  // countdown; call after replacing HTTP.
  void ConnectHTTP();

 protected:
  // Wide enough for the longest text the status line shows in the user's language, and for
  // any longer one it has shown (a countdown's).
  int ContentWidth() const override;

 private:
  // What DownloadAndInstall came to.
  struct TInstallRun {
    // The installer's exit code once it has ended (259 while it runs); 0 before.
    uint32_t ExitCode = 0;
    // The system's error of a launch that failed, else 0.
    int LaunchError = 0;
    bool InstallerStarted = false;
    // The wait saw the installer end, rather than a close.
    bool InstallerEnded = false;
    // The installer could not be asked whether it runs: it may still run.
    bool InstallerLost = false;
    // Whether the setup folder may go: nothing started from it may still run, and the
    // installer, if any, ended with success.
    bool FolderMayGo() const { return !InstallerLost && ExitCode == 0; }
  };

  void SetStatus(TTextId AText);
  void SetStatus(const std::string& AText);
  // OnRetryWait of HTTP: counts the wait down on the status line, a second at a time, while the
  // window answers; the status line then shows what it showed before. False when the window was
  // closed meanwhile: the wait ends at once.
  bool CountDownToRetry(const TRetryNotice& ANotice);
  // Tells the log who signed this program.
  void ReportSigner();
  // The road from the size probe to the installer's end, once. True when the user asked to try
  // again after a failure.
  bool RunRoad();
  // The road itself; raises what fails. Sets Outcome on the ways it ends without a failure.
  void FollowRoad();
  // Before the road is run again: the window as it was before the size probe.
  void PrepareAnotherTry();
  // A failure of the road (AFailure, being handled): its outcome, its line in the log and, unless
  // the run is unattended, its dialog. True when the user asked to try again.
  bool Failed(const std::exception_ptr& AFailure);
  // The failure's dialog; returns the user's answer.
  bool ShowFailure(const std::exception_ptr& AFailure, const TFailureClass& AClass);
  // The dialog's expandable details: the cause in plain words, the URL, the proxy, the server's
  // last answer.
  std::string FailureDetails(const std::string& ACause) const;
  // Makes the setup folder afresh, removing one left from before; raises, touching nothing,
  // when a link or a file stands in its place. False when the program was asked to end
  // meanwhile.
  bool PrepareSetupFolder();
  // Steps from the creation of the archive object to the installer wait. False when the run
  // ended early; ARun says how far the installer got.
  bool DownloadAndInstall(const TStringList& AUrls, TInstallRun& ARun);
  void RemoveSetupFolder();
  // The length the size probe announced for a download (by the URL the probe ended at); -1 when
  // it announced none.
  int64_t AnnouncedLength(const std::string& AURL) const;
  // After the size probe, before anything is written: the signature of each archive (AURLs),
  // fetched from beside it and accepted for the length its probe announced. False when the
  // program was asked to end meanwhile.
  bool AcceptSignatures(const TStringList& AURLs, const std::string& AName);
  // The stream the archive at the URL is downloaded into, chosen by the length its probe
  // announced; tells the client how much a body without a length may bring.
  std::unique_ptr<TStream> CreateArchiveStream(const std::string& AURL);
  // Before an archive is opened: raises unless it matches its signature.
  void CheckArchive(const std::string& AURL, TStream& AArchive);
  // Before the installer's launch: the installer held open, nobody able to change it, and its
  // publisher checked. To be kept until the installer has ended.
  std::unique_ptr<TFileStream> CheckInstaller(const std::string& AInstaller);
  // The system's words for a launch that failed with AError.
  std::string LaunchFailureText(int AError) const;
  // Tells the user (unless the run is unattended) why the installer could not be started.
  void ShowLaunchFailure(int AError);
  // Tells the user (unless the run is unattended) a failure of the launch: AText, with ACause
  // in the details.
  void ShowLaunchDialog(const std::string& AText, const std::string& ACause);

  bool ShouldUpdateProgress = false;
  // The bar's range for the lengths the size probes announced, and the bytes it shows.
  TBarScale FBarScale;
  int64_t FBarBytes = 0;
  // The one setup folder of the run, absolute, with a trailing "\": resolved at its start,
  // below the current directory, and used for creation, extraction, launch and removal.
  std::string FSetupFolder;
  // The widest status text shown that the window was not made for; measured anew at each
  // layout, as the density may have changed.
  std::string FWidestStatus;
  // Where the road is, and the URL it works on, for a failure's outcome and details.
  TRunStage FStage = TRunStage::rsStart;
  std::string FCurrentURL;
  // The length each download's size probe announced, by the URL the probe ended at.
  std::map<std::string, int64_t> FAnnounced;
};

extern TMain* Main;
// The work count of the last work event received.
extern int64_t LastWorkCount;

// The URL every archive suffix is appended to.
std::string ArchiveUrlPrefix();
