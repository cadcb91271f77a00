#pragma once

// The whole sequence natively with the real components, pointed at the scripted loopback
// server: the client's route there, the watched archive reader, and the played installer launch.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/SetupArchive.h"
#include "app/platform/SetupPlatform.h"
#include "base/Stream.h"
#include "download/DownloadClient.h"
#include "zip/ZipTestSupport.h"

// The real client, with the distribution server's URLs sent to the loopback server instead.
class TLoopbackRoute : public TDownloadClient {
 public:
  TLoopbackRoute(std::unique_ptr<TDownloadClient> real, uint16_t port,
                 const std::string& scheme = "http")
      : FReal(std::move(real)),
        FPrefix(scheme + "://127.0.0.1:" + std::to_string(port) + "/periodic/Archive") {
    FReal->OnWork = [this](int64_t count) {
      if (OnEachWork) OnEachWork(count);
      if (OnWork) OnWork(count);
    };
    // The window's log of each retry, after what the test set on the client itself.
    FReal->OnRetry = [this, own = std::move(FReal->OnRetry)](const TRetryNotice& notice) {
      if (own) own(notice);
      if (OnRetry) OnRetry(notice);
    };
    // The window's countdown, connected to the route.
    FReal->OnRetryWait = [this](const TRetryNotice& notice) {
      return !OnRetryWait || OnRetryWait(notice);
    };
  }
  void Head(const std::string& url) override { FReal->Head(Route(url)); }
  int64_t ResponseContentLength() override { return FReal->ResponseContentLength(); }
  // Back in the distribution server's terms, as the sequence knows it.
  std::string ResponseURL() override {
    const std::string url = FReal->ResponseURL();
    if (url.compare(0, FPrefix.size(), FPrefix) != 0) return url;
    return ArchiveUrlPrefix() + url.substr(FPrefix.size());
  }
  std::string ResponseContentType() override { return FReal->ResponseContentType(); }
  void Get(const std::string& url, TStream& dest, std::string_view expectedStart) override {
    FReal->UnannouncedBodyLimit = UnannouncedBodyLimit;
    FReal->Get(Route(url), dest, expectedStart);
  }
  void Disconnect() override { FReal->Disconnect(); }

  std::function<void(int64_t)> OnEachWork;

 private:
  std::string Route(const std::string& url) {
    const std::string prefix = ArchiveUrlPrefix();
    EXPECT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
    return FPrefix + url.substr(prefix.size());
  }
  std::unique_ptr<TDownloadClient> FReal;
  std::string FPrefix;
};

// The real archive reader, watched: its extraction hook counts how often it is asked, and a
// script may act at each ask (before each entry and after each block written).
class TWatchedArchive : public TSetupArchive {
 public:
  explicit TWatchedArchive(std::unique_ptr<TSetupArchive> real) : FReal(std::move(real)) {}
  void Open(TStream& stream) override { FReal->Open(stream); }
  std::vector<uint64_t> FileSizes() override { return FReal->FileSizes(); }
  void ExtractAll(const std::string& path) override {
    FReal->OnProgress = [this] {
      ++Asked;
      if (OnAsked) OnAsked(Asked);
      return OnProgress && OnProgress();
    };
    FReal->ExtractAll(path);
  }
  void Close() override { FReal->Close(); }
  TTotals Totals() const override { return FReal->Totals(); }

  int Asked = 0;
  std::function<void(int asked)> OnAsked;

 private:
  std::unique_ptr<TSetupArchive> FReal;
};

// The system's folder operations and clock; the installer launch is played: it finds the
// extracted installer and ends with exit code 0.
class TPlayedLaunchPlatform : public TSetupPlatform {
 public:
  std::string ModuleFileName() override { return "C:\\Downloads\\Plenwick-setup_x64-stable.exe"; }
  std::string CurrentDir() override { return FReal->CurrentDir(); }
  bool CreateFolder(const std::string& path) override { return FReal->CreateFolder(path); }
  void Sleep(unsigned ms) override {
    Slept += ms;
    FReal->Sleep(ms);
  }
  uint64_t TickCount() override { return FReal->TickCount(); }
  double Now() override { return FReal->Now(); }
  bool LaunchElevated(TWinHandle, const std::string& file, const std::vector<std::string>&,
                      TProcess& process, int&) override {
    Launched = file;
    Installer = ziptest::ReadFile(file).value_or("(missing)");
    if (OnLaunch) OnLaunch(file);
    process = OwnProcess(1);
    return true;
  }
  TProcessPoll PollProcess(TProcessHandle, uint32_t& exitCode) override {
    exitCode = 0;
    return TProcessPoll::ppEnded;
  }
  void CloseProcessHandle(TProcessHandle) override {}
  bool FolderExists(const std::string& path) override { return FReal->FolderExists(path); }
  bool DeleteFolder(const std::string& path) override {
    ++Deletes;
    return FReal->DeleteFolder(path);
  }
  TPathKind PathKind(const std::string& path) override { return FReal->PathKind(path); }
  std::unique_ptr<TStream> HoldFile(const std::string& path) override {
    return FReal->HoldFile(path);
  }
  std::string TempFolder() override {
    return TempDirectory.empty() ? FReal->TempFolder() : TempDirectory;
  }
  std::unique_ptr<TStream> CreateTemporaryFile(const std::string& folder) override {
    ++TempFilesMade;
    return FReal->CreateTemporaryFile(folder);
  }
  bool VolumeSpace(const std::string& path, TVolumeSpace& space) override {
    if (!FReal->VolumeSpace(path, space)) return false;
    if (path == TempFolder() && TempFree) space.Free = *TempFree;
    return true;
  }

  std::string Launched;
  std::string Installer;
  int Deletes = 0;
  int TempFilesMade = 0;
  uint64_t Slept = 0;               // ms
  std::string TempDirectory;        // empty: the system's
  std::optional<int64_t> TempFree;  // the temporary folder's free space, when played
  // At the launch, while the extracted folder is there.
  std::function<void(const std::string& installer)> OnLaunch;

 private:
  std::unique_ptr<TSetupPlatform> FReal = CreateSystemPlatform();
};
