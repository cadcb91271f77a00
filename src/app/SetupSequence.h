#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/ArchiveSignatures.h"
#include "app/CommandLine.h"
#include "app/FailureClass.h"
#include "app/HeldFiles.h"
#include "app/RunOutcome.h"
#include "app/RunReport.h"
#include "app/SequenceView.h"
#include "app/SetupArchive.h"
#include "app/platform/SetupPlatform.h"
#include "base/FileStream.h"
#include "base/StringList.h"
#include "download/ArchiveStorage.h"
#include "download/DownloadClient.h"
#include "trust/PublisherCheck.h"

// What the sequence works with, made and owned by the program (the window holds them).
struct TSequenceParts {
  // The HTTP client; without one the size probe fails with its error dialog.
  TDownloadClient* HTTP = nullptr;
  // Makes the archive reader for one run; empty: the download fails before it begins.
  std::function<std::unique_ptr<TSetupArchive>()> CreateArchive;
  TSetupPlatform& Platform;
  // Memory or a temporary file for each archive, and the disks' room.
  const TArchiveStorage& Storage;
  // Each archive against its signature by the built-in keys, and the installer's publisher
  // against the program's own; without them nothing is checked.
  TArchiveSignatures* Signatures = nullptr;
  TPublisherCheck* Publisher = nullptr;
  TRunReport& Report;
  // Unattended (/quiet, /passive), no dialog is shown and the run ends by itself.
  TRunMode Mode = TRunMode::rmNormal;
  // The installer's parameters (the command line's, after "--").
  std::vector<std::string> InstallerArguments;
};

// The setup sequence: from the size probe through the signatures, the setup folder, each
// archive's download, check and extraction to the installer's launch, its end and the folder's
// removal; a failure is classified, logged and, in a normal run, shown with "Try again" where
// that may help. It reaches the window only through TSequenceView.
class TSetupSequence {
 public:
  TSetupSequence(TSequenceParts AParts, TSequenceView& AView);

  // The whole run, tries again included; returns what it came to.
  TRunOutcome Run();

 private:
  // What the installer's part of the sequence came to.
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

  // Tells the log who signed this program.
  void ReportSigner();
  // The sequence from the size probe to the installer's end, once. True when the user asked to
  // try again after a failure.
  bool RunOnce();
  // The steps themselves; raise what fails. Set FOutcome on the ways they end without a failure.
  void RunSteps();
  // Before the sequence runs again: the window and the report as they were before the size
  // probe.
  void PrepareAnotherTry();
  // Asks each archive's size; fills FAnnounced, the bar's range and ADownloads with the URLs the
  // probes ended at. False when the program was asked to end before a probe.
  bool ProbeSizes(const TStringList& AURLs, TStringList& ADownloads);
  // A failure of the sequence (AFailure, being handled): its outcome, its line in the log and,
  // unless the run is unattended, its dialog. True when the user asked to try again.
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
  // Every archive downloaded, checked and extracted, then the installer launched and waited
  // for. False when the run ended early; ARun says how far the installer got.
  bool DownloadAndInstall(const TStringList& AURLs, TInstallRun& ARun);
  // The archive at AURL into a stream of its own; null when the program was asked to end.
  std::unique_ptr<TStream> Download(const std::string& AURL);
  // The downloaded archive checked against its signature and extracted into the setup folder;
  // what it brings to run is held in AHeld.
  void Extract(const std::string& AURL, TStream& AArchive, TSetupArchive& AReader,
               const THeldFiles& AHeld);
  // The installer checked, started elevated and waited for. False when the run ended while it
  // ran.
  bool LaunchAndWait(TInstallRun& ARun);
  // Waits until the installer launched at ALaunched has ended or the program is asked to end.
  // False when it was asked to end before the wait began.
  bool WaitForInstaller(TProcess& AProcess, double ALaunched, TInstallRun& ARun);
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

  TSequenceParts FParts;
  TSequenceView& FView;
  TRunOutcome FOutcome;
  // The one setup folder of the run, absolute, with a trailing "\": resolved at its start,
  // below the current directory, and used for creation, extraction, launch and removal.
  std::string FSetupFolder;
  // Where the sequence is, and the URL it works on, for a failure's outcome and details.
  TRunStage FStage = TRunStage::rsStart;
  std::string FCurrentURL;
  // The length each download's size probe announced, by the URL the probe ended at, and their
  // sum (saturated), the bar's range.
  std::map<std::string, int64_t> FAnnounced;
  int64_t FAnnouncedTotal = 0;
};

// The URL every archive suffix is appended to.
std::string ArchiveUrlPrefix();
