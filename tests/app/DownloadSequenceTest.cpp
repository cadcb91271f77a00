// The whole sequence natively with the real HTTP client against the scripted loopback server
// and the real ZIP reader: the archive is downloaded, extracted below the current directory,
// "launched" (the launch is played) and the folder removed.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/ComponentWiring.h"
#include "app/Main.h"
#include "http/HTTPTestSupport.h"
#include "ui/headless/HeadlessApplication.h"
#include "zip/ZipTestSupport.h"

namespace {

const std::string kFolder = "Plenwick Setup (64-bit)\\";

// The real client, with the distribution server's URLs sent to the loopback server instead.
class TLoopbackRoute : public TDownloadClient {
 public:
  TLoopbackRoute(std::unique_ptr<TDownloadClient> real, uint16_t port)
      : FReal(std::move(real)),
        FPrefix("http://127.0.0.1:" + std::to_string(port) + "/periodic/Archive") {
    FReal->OnWork = [this](int64_t count) {
      if (OnEachWork) OnEachWork(count);
      if (OnWork) OnWork(count);
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
  void Get(const std::string& url, TStream& dest) override { FReal->Get(Route(url), dest); }
  void Disconnect() override {
    ++Disconnects;
    FReal->Disconnect();
  }

  std::function<void(int64_t)> OnEachWork;
  int Disconnects = 0;

 private:
  std::string Route(const std::string& url) {
    const std::string prefix = ArchiveUrlPrefix();
    EXPECT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
    return FPrefix + url.substr(prefix.size());
  }
  std::unique_ptr<TDownloadClient> FReal;
  std::string FPrefix;
};

// The system's folder operations and clock; the installer launch is played: it finds the
// extracted installer and ends with exit code 0.
class TPlayedLaunchPlatform : public TSetupPlatform {
 public:
  std::string ModuleFileName() override { return "C:\\Downloads\\Plenwick-setup_x64-stable.exe"; }
  void CreateFolder(const std::string& path) override { FReal->CreateFolder(path); }
  void Sleep(unsigned ms) override { FReal->Sleep(ms); }
  double Now() override { return FReal->Now(); }
  bool LaunchElevated(TWinHandle, const std::string&, TProcessHandle& process) override {
    Installer = ziptest::ReadFile(kFolder + "Install.exe").value_or("(missing)");
    process = 1;
    return true;
  }
  bool GetProcessExitCode(TProcessHandle, uint32_t& exitCode) override {
    exitCode = 0;
    return true;
  }
  void CloseProcessHandle(TProcessHandle) override {}
  bool FolderExists(const std::string& path) override { return FReal->FolderExists(path); }
  bool DeleteFolder(const std::string& path) override {
    ++Deletes;
    return FReal->DeleteFolder(path);
  }

  std::string Installer;
  int Deletes = 0;

 private:
  std::unique_ptr<TSetupPlatform> FReal = CreateSystemPlatform();
};

std::string Installer() {
  std::string data;
  for (int i = 0; data.size() < 150000; ++i)
    data += "installer line " + std::to_string(i * 7919 % 1000003) + "\n";
  return data;
}

class DownloadSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    // Extraction and removal act below the current directory: a fresh one per test.
    home = std::filesystem::current_path();
    const std::filesystem::path dir =
        home /
        ("seq_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    ziptest::TTestArchive zip;
    zip.Entries = {{"Install.exe", Installer(), 0}, {"readme.txt", "hello", 8}};
    archive = ziptest::BuildZip(zip);
  }
  void TearDown() override {
    std::filesystem::current_path(home);
    std::filesystem::remove_all(
        home /
        ("seq_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())));
  }

  // Plugs the real components in, routes the client to the server, and runs the program.
  void Run(TLoopbackServer::TScript script, bool closeDuringDownload = false) {
    server = std::make_unique<TLoopbackServer>(std::move(script));
    app.CreateForm(Main);
    PlugInComponents(*Main);
    auto routed = std::make_unique<TLoopbackRoute>(std::move(Main->HTTP), server->Port());
    route = routed.get();
    Main->HTTP = std::move(routed);
    Main->ConnectHTTP();
    if (closeDuringDownload) CloseAtTheFirstWorkEvent();
    auto p = std::make_unique<TPlayedLaunchPlatform>();
    platform = p.get();
    Main->Platform = std::move(p);
    headless::SetIdleHandler(app, [] { Main->Close(); });
    app.Run();
  }
  // A close request taken by the next message processing (responsive waiting, here).
  void CloseAtTheFirstWorkEvent() {
    route->OnEachWork = [this](int64_t) {
      if (!closePosted) headless::PostMessage(app, [] { Main->Close(); });
      closePosted = true;
    };
  }
  // Sends the head's answer and the body in blocks with pauses, so the download takes a while.
  void SendSlowly(TLoopbackPeer& peer, const std::string& head, const std::string& body) {
    peer.Send(head);
    for (size_t at = 0; at < body.size(); at += 16384) {
      peer.Send(body.substr(at, 16384));
      peer.Pause(15);
    }
  }

  std::filesystem::path home;
  std::string archive;
  // What the server's scripts read and write lives as long as the server: scripts may still
  // be sending after the test body has returned. Scripts capture the body's locals by value.
  THeadLog heads;
  // The server outlives the window and its client, so its scripts see the client's close.
  std::unique_ptr<TLoopbackServer> server;
  TApplication app{"C:\\Downloads\\Plenwick-setup_x64-stable.exe"};
  TLoopbackRoute* route = nullptr;
  TPlayedLaunchPlatform* platform = nullptr;
  bool closePosted = false;
};

TEST_F(DownloadSequence, TheArchiveIsFetchedExtractedLaunchedAndTheBarEndsFull) {
  const std::string length = std::to_string(archive.size());
  Run([this, length](TLoopbackPeer& peer, int) {
    heads.Add(ReadRequestHead(peer));
    peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
    heads.Add(ReadRequestHead(peer));
    SendSlowly(peer, "HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n", archive);
    peer.ReceiveUntilClosed();
  });
  const std::string target = "/periodic/Archive_x64-stable.zip";
  const std::string host = "127.0.0.1:" + std::to_string(server->Port());
  EXPECT_EQ(heads.Heads(), (std::vector<std::string>{DownloaderHead("HEAD", target, host),
                                                     DownloaderHead("GET", target, host)}));
  EXPECT_EQ(Main->ProgressBar->Max(), static_cast<int>(archive.size()));
  EXPECT_EQ(Main->ProgressBar->Position(), static_cast<int>(archive.size()));
  EXPECT_GT(headless::PaintedPositions(*Main->ProgressBar).size(), 1u);
  EXPECT_EQ(platform->Installer, Installer());
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(headless::ShownErrorBoxes(app).empty());
  EXPECT_TRUE(headless::ShownDialogs(app).empty());
  EXPECT_EQ(server->Accepted(), 1);
}

TEST_F(DownloadSequence, ACloseDuringAKnownLengthDownloadEndsQuietly) {
  const std::string length = std::to_string(archive.size());
  Run(
      [this, length](TLoopbackPeer& peer, int) {
        ReadRequestHead(peer);
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
        ReadRequestHead(peer);
        SendSlowly(peer, "HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n", archive);
      },
      true);
  EXPECT_TRUE(closePosted);
  EXPECT_GE(route->Disconnects, 1);
  EXPECT_LT(Main->ProgressBar->Position(), static_cast<int>(archive.size()));
  EXPECT_EQ(platform->Installer, "");  // never launched
  EXPECT_EQ(platform->Deletes, 1);
  EXPECT_FALSE(std::filesystem::exists("Plenwick Setup (64-bit)"));
  EXPECT_TRUE(headless::ShownErrorBoxes(app).empty());
  EXPECT_TRUE(headless::ShownDialogs(app).empty());
}

TEST_F(DownloadSequence, ACloseDuringAChunkedDownloadShowsTheClose) {
  const std::string length = std::to_string(archive.size());
  std::string chunked;
  for (size_t at = 0; at < archive.size(); at += 10000) {
    const std::string piece = archive.substr(at, 10000);
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    chunked += size + piece + "\r\n";
  }
  chunked += "0\r\n\r\n";
  Run(
      [this, length, chunked](TLoopbackPeer& peer, int) {
        ReadRequestHead(peer);
        peer.Send("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\n");
        ReadRequestHead(peer);
        SendSlowly(peer, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunked);
      },
      true);
  EXPECT_GE(route->Disconnects, 1);
  EXPECT_EQ(platform->Installer, "");
  EXPECT_EQ(platform->Deletes, 1);
  ASSERT_EQ(headless::ShownErrorBoxes(app).size(), 1u);
  EXPECT_EQ(headless::ShownErrorBoxes(app)[0].Text, "Connection Closed Gracefully.");
}

}  // namespace
