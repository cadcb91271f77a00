#pragma once

// The whole sequence natively with the real HTTP client against the scripted loopback server
// and the real ZIP reader: the archive is downloaded, extracted below the current directory,
// "launched" (the launch is played) and the folder removed. The fixture of the sequence's tests
// by concern (the whole run and its closes, the server's faults, resumes, storage, proxies,
// signatures, portals).

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/ComponentWiring.h"
#include "app/LoopbackSequence.h"
#include "app/Main.h"
#include "app/MemorySink.h"
#include "app/ShownFailures.h"
#include "base/FileSystem.h"
#include "download/HTTPDownloadClient.h"
#include "download/ResumableServer.h"
#include "http/HTTPTestSupport.h"
#include "ui/headless/HeadlessApplication.h"
#include "zip/ZipFile.h"
#include "zip/ZipTestSupport.h"

inline const std::string kFolder = "Plenwick Setup (64-bit)\\";

inline std::string Installer() {
  std::string data;
  for (int i = 0; data.size() < 150000; ++i)
    data += "installer line " + std::to_string(i * 7919 % 1000003) + "\n";
  return data;
}

// The proxy variables of the environment, emptied for a test and put back after it: the runs
// go where the test says, whatever the machine's settings.
class TProxyVariables {
 public:
  TProxyVariables() {
    for (const char* name : kNames) {
      if (const char* value = std::getenv(name)) FSaved.emplace_back(name, value);
      ::unsetenv(name);
    }
  }
  ~TProxyVariables() {
    for (const char* name : kNames)
      ::unsetenv(name);
    for (const auto& [name, value] : FSaved)
      ::setenv(name.c_str(), value.c_str(), 1);
  }
  void Set(const char* AName, const std::string& AValue) { ::setenv(AName, AValue.c_str(), 1); }

 private:
  static constexpr const char* kNames[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                           "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
  std::vector<std::pair<std::string, std::string>> FSaved;
};

class DownloadSequence : public ::testing::Test {
 protected:
  // The test's own folder: one level, also for a parametrised test, whose name holds a "/".
  static std::filesystem::path TestFolder() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    return "seq_" + name;
  }
  void SetUp() override {
    // Extraction and removal act below the current directory: a fresh one per test.
    home = std::filesystem::current_path();
    const std::filesystem::path dir = home / TestFolder();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    ziptest::TTestArchive zip;
    zip.Entries = {{"Install.exe", Installer(), 0}, {"readme.txt", "hello", 8}};
    archive = ziptest::BuildZip(zip);
  }
  void TearDown() override {
    std::filesystem::current_path(home);
    std::filesystem::remove_all(home / TestFolder());
  }

  // When the user closes the window, if at all.
  enum class TClose { Never, AtTheFirstWorkEvent, OnceConnected };

  // Plugs the real components in, routes the client to the server, and runs the program; the
  // client's settings may be changed first.
  void Run(TLoopbackServer::TScript script, TClose close = TClose::Never,
           std::function<void(THTTPDownloadClient&)> configure = nullptr) {
    server = std::make_unique<TLoopbackServer>(std::move(script));
    app.CreateForm(Main);
    Main->Mode = mode;
    Main->Report.SetSink(&log);
    PlugInComponents(*Main);
    if (plugIn) plugIn(*Main);
    client = dynamic_cast<THTTPDownloadClient*>(Main->HTTP.get());
    ASSERT_NE(client, nullptr);
    // The window is connected to the route below, not to the client itself.
    client->OnRetry = nullptr;
    if (configure) configure(*client);
    auto routed =
        std::make_unique<TLoopbackRoute>(std::move(Main->HTTP), server->Port(), routeScheme);
    route = routed.get();
    Main->HTTP = std::move(routed);
    Main->ConnectHTTP();
    if (close == TClose::AtTheFirstWorkEvent) {
      route->OnEachWork = [this](int64_t) { PostClose(); };
    } else if (close == TClose::OnceConnected) {
      // The request is sent next; the close is taken while the answer is waited for.
      client->HTTP().OnStatus = [this](TIdComponent*, TIdStatus status, const std::string&) {
        if (status == hsConnected) PostClose();
      };
    }
    auto p = std::make_unique<TPlayedLaunchPlatform>();
    platform = p.get();
    Main->Platform = std::move(p);
    Main->CreateArchive = [this, real = Main->CreateArchive] {
      auto archive = std::make_unique<TWatchedArchive>(real());
      // Counted here: the archive is gone when the run is over.
      archive->OnAsked = [this](int asked) {
        extractionAsked = asked;
        if (onExtractionAsked) onExtractionAsked(asked);
      };
      return archive;
    };
    if (beforeRun) beforeRun();
    headless::SetIdleHandler(app, [] { Main->Close(); });
    app.Run();
  }
  // A close request taken by the next message processing (responsive waiting, here).
  void PostClose() {
    if (!closePosted) headless::PostMessage(app, [] { Main->Close(); });
    closePosted = true;
  }
  // Sends the head's answer and the body in blocks with pauses, so the download takes a while.
  void SendSlowly(TLoopbackPeer& peer, const std::string& head, const std::string& body) {
    peer.Send(head);
    for (size_t at = 0; at < body.size(); at += 16384) {
      peer.Send(body.substr(at, 16384));
      peer.Pause(15);
    }
  }

  TProxyVariables proxyVariables;
  // Changes to the real components, after they have been plugged in.
  std::function<void(TMain&)> plugIn;
  // The scheme the distribution server's URLs take on their way to the loopback server.
  std::string routeScheme = "http";
  std::filesystem::path home;
  std::string archive;
  // What the server's scripts read and write lives as long as the server: scripts may still
  // be sending after the test body has returned. Scripts capture the body's locals by value.
  THeadLog heads;
  // The server outlives the window and its client, so its scripts see the client's close.
  std::unique_ptr<TLoopbackServer> server;
  std::unique_ptr<TLoopbackServer> proxy;
  // The run's mode, and its log.
  TRunMode mode = TRunMode::rmNormal;
  TMemorySink log;
  TApplication app{"C:\\Downloads\\Plenwick-setup_x64-stable.exe"};
  THTTPDownloadClient* client = nullptr;
  TLoopbackRoute* route = nullptr;
  TPlayedLaunchPlatform* platform = nullptr;
  // How often the last archive's extraction asked its hook.
  int extractionAsked = 0;
  std::function<void(int asked)> onExtractionAsked;
  // Last changes to the window and the platform before the program runs.
  std::function<void()> beforeRun;
  // The most files open below the temporary folder at a work event.
  int openWhileDownloading = 0;
  bool closePosted = false;
};

inline TConnectionPlan CutAfter(int64_t bytes) {
  TConnectionPlan plan;
  plan.CutAfter = bytes;
  return plan;
}

// The installer inside an archive, as the run should have started it.
inline std::string InstallerIn(const std::string& AArchive) {
  const std::unique_ptr<TMemoryStream> stream = ziptest::MemoryStreamOf(AArchive);
  TZipFile zip;
  zip.Open(*stream, TZipMode::zmRead);
  TBytes installer;
  zip.Read("Install.exe", installer);
  return std::string(installer.begin(), installer.end());
}

// A server that ignores ranges and sends the whole.
inline TConnectionPlan RangeIgnored() {
  TConnectionPlan plan;
  plan.IgnoreRange = true;
  return plan;
}

// A server that continues any range from its copy under another tag.
inline TConnectionPlan ChangedCopy() {
  TConnectionPlan plan;
  plan.IgnoreIfRange = true;
  plan.Copy = 1;
  return plan;
}
