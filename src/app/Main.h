#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ArchiveSignatures.h"
#include "app/DownloadClient.h"
#include "app/IdAntiFreeze.h"
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
  // The trust checks, plugged in with the real components: each archive against its signature
  // by the built-in keys, and the installer's publisher against the program's own. Without
  // them nothing is checked.
  std::unique_ptr<TArchiveSignatures> ArchiveSignatures;
  std::unique_ptr<TPublisherCheck> PublisherCheck;

  // OnWork of HTTP: moves the bar with the bytes received and disconnects once the program
  // has been asked to end. Sender and work mode are not looked at, so they are not passed.
  void HTTPWork(int64_t AWorkCount);
  // OnTimer of Timer: the download-and-install sequence.
  void TimerTimer(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void FormCreate(TComponent* Sender);

  // Connects HTTP's work events to HTTPWork; call after replacing HTTP.
  void ConnectHTTP();

 protected:
  // Wide enough for the longest text the status line shows in the user's language.
  int ContentWidth() const override;

 private:
  void SetStatus(TTextId AText);
  // Makes the setup folder afresh, removing one left from before; raises, touching nothing,
  // when a link or a file stands in its place. False when the program was asked to end
  // meanwhile.
  bool PrepareSetupFolder();
  // Steps from the creation of the archive object to the installer wait. False when the run
  // ended early; exitCode is the installer's once it has ended (259 while it runs); launchError
  // is the system's error of a launch that failed, else 0; installerRan tells whether the
  // installer was started.
  bool DownloadAndInstall(const TStringList& AUrls, uint32_t& AExitCode, int& ALaunchError,
                          bool& AInstallerRan);
  void RemoveSetupFolder();
  // After the size probe, before anything is written: the signature of each archive (AURLs,
  // with the lengths their probes announced), fetched from beside it and accepted. False when
  // the program was asked to end meanwhile.
  bool AcceptSignatures(const TStringList& AURLs, const std::vector<int64_t>& ALengths,
                        const std::string& AName);
  // Before an archive is opened: raises unless it matches its signature.
  void CheckArchive(const std::string& AURL, TStream& AArchive);
  // Before the installer's launch: the installer held open, nobody able to change it, and its
  // publisher checked. To be kept until the installer has ended.
  std::unique_ptr<TFileStream> CheckInstaller(const std::string& AInstaller);
  // Tells the user why the installer could not be started, in the system's words.
  void ShowLaunchFailure(int AError);

  bool ShouldUpdateProgress = false;
  // The one setup folder of the run, absolute, with a trailing "\": resolved at its start,
  // below the current directory, and used for creation, extraction, launch and removal.
  std::string FSetupFolder;
};

extern TMain* Main;
// The work count of the last work event received.
extern int64_t LastWorkCount;

// The URL every archive suffix is appended to.
std::string ArchiveUrlPrefix();
