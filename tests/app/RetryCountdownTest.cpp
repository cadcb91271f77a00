// The window while the client waits before a retry: the status line counts the wait down a
// second at a time on the platform's clock (a fake one here), the window answers, and a close
// ends the wait at once.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/SequenceDoubles.h"
#include "app/ShownFailures.h"
#include "net/IdExceptionCore.h"
#include "ui/headless/HeadlessApplication.h"

namespace {

const std::string kFolder = "C:\\Work\\Plenwick Setup (64-bit)\\";

class RetryCountdown : public ::testing::Test {
 protected:
  void SetUp() override {
    app.CreateForm(Main);
    http = PlugInFakeClient(*Main, world);
    Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); };
    auto p = std::make_unique<TFakePlatform>(world);
    platform = p.get();
    Main->Platform = std::move(p);
  }

  // The client's side of a retry, as the real one plays it: the wait is asked for, and a wait
  // given up leaves the failure standing.
  void Retry(TRetryNotice notice) {
    const uint64_t before = platform->Ticks;
    const bool waited = http->OnRetryWait(notice);
    waitedFor.push_back(static_cast<int>(platform->Ticks - before));
    if (!waited) throw EIdConnClosedGracefully("Connection Closed Gracefully.");
  }
  static TRetryNotice Notice(int wait, int attempt, bool busy = false) {
    TRetryNotice notice;
    notice.Attempt = attempt;
    notice.MaxAttempts = 5;
    notice.Wait = wait;
    notice.ServerBusy = busy;
    return notice;
  }
  void RunProgram() {
    headless::SetIdleHandler(app, [] { Main->Close(); });
    app.Run();
  }

  TApplication app{"C:\\Downloads\\Plenwick-setup_x64-stable.exe"};
  TWorld world;
  TFakeClient* http = nullptr;
  TFakePlatform* platform = nullptr;
  std::vector<int> waitedFor;
};

TEST_F(RetryCountdown, CountsTheWaitDownAndThenDownloadsOn) {
  http->ContentLength = 100000;
  http->OnGet = [this](TStream& dest) {
    const std::string half(50000, 'Z');
    dest.WriteBuffer(half.data(), 50000);
    http->OnWork(50000);
    Retry(Notice(3500, 2));
    Retry(Notice(800, 3));
    dest.WriteBuffer(half.data(), 50000);
    http->OnWork(100000);
  };
  RunProgram();

  const std::vector<std::string>& texts = headless::PaintedTexts(*Main->Info);
  const std::vector<std::string> expected{"Checking files to download...",
                                          "Downloading...",
                                          "Connection lost. Retrying in 4 s (attempt 2 of 5)...",
                                          "Connection lost. Retrying in 3 s (attempt 2 of 5)...",
                                          "Connection lost. Retrying in 2 s (attempt 2 of 5)...",
                                          "Connection lost. Retrying in 1 s (attempt 2 of 5)...",
                                          "Downloading...",
                                          "Connection lost. Retrying in 1 s (attempt 3 of 5)...",
                                          "Downloading...",
                                          "Extracting...",
                                          "Initiating installation procedure..."};
  EXPECT_EQ(texts, expected);
  // Exactly as long as asked, on the platform's clock.
  EXPECT_EQ(waitedFor, (std::vector<int>{3500, 800}));
  // The bar kept its place across the waits.
  EXPECT_EQ(headless::PaintedPositions(*Main->ProgressBar), (std::vector<int>{50000, 100000}));
  EXPECT_EQ(world.Count("Launch "), 1);
  EXPECT_TRUE(FailureBoxes(app).empty());
}

// A countdown wider than the line the window was made for (two-digit seconds, here in
// English) widens the window instead of being cut; the window stays that wide afterwards.
TEST_F(RetryCountdown, ACountdownWiderThanTheLineWidensTheWindow) {
  int before = 0;
  http->OnGet = [this, &before](TStream& dest) {
    before = Main->Width();
    Retry(Notice(10000, 5));
    const std::string all(1000, 'Z');
    dest.WriteBuffer(all.data(), 1000);
    http->OnWork(1000);
  };
  http->ContentLength = 1000;
  RunProgram();

  EXPECT_EQ(before, 313) << "the English window as designed";
  const std::string widest = "Connection lost. Retrying in 10 s (attempt 5 of 5)...";
  const std::vector<std::string>& texts = headless::PaintedTexts(*Main->Info);
  ASSERT_NE(std::find(texts.begin(), texts.end(), widest), texts.end());
  ASSERT_GT(Main->Info->TextWidth(widest), 313);
  EXPECT_EQ(Main->Width(), Main->Info->TextWidth(widest));
  EXPECT_EQ(Main->Info->Width(), Main->Width());
  EXPECT_EQ(Main->ProgressBar->Width(), Main->Width());
  EXPECT_EQ(world.Count("Launch "), 1);
}

// An answer that asked to come back is told as such; during the probe the status line then
// says again what the probe does.
TEST_F(RetryCountdown, ABusyServerDuringTheProbeIsToldAsSuch) {
  http->OnHead = [this] { Retry(Notice(1200, 2, true)); };
  RunProgram();

  const std::vector<std::string>& texts = headless::PaintedTexts(*Main->Info);
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[0], "Checking files to download...");
  EXPECT_EQ(texts[1], "Server busy. Retrying in 2 s (attempt 2 of 5)...");
  EXPECT_EQ(texts[2], "Server busy. Retrying in 1 s (attempt 2 of 5)...");
  EXPECT_EQ(texts[3], "Checking files to download...");
  EXPECT_EQ(world.Count("Launch "), 1);
}

// The window answers during the wait: a close is taken at once, the wait ends, and the run
// ends as after any close, quietly and with nothing left.
TEST_F(RetryCountdown, ACloseDuringTheWaitEndsTheRunAtOnce) {
  http->OnGet = [this](TStream& dest) {
    const std::string part(40000, 'Z');
    dest.WriteBuffer(part.data(), 40000);
    http->OnWork(40000);
    headless::PostMessage(app, [] { Main->Close(); });
    Retry(Notice(8000, 2));
  };
  RunProgram();

  EXPECT_EQ(waitedFor, (std::vector<int>{0}));
  EXPECT_EQ(world.Count("Launch "), 0);
  EXPECT_EQ(world.Count("Open at"), 0);
  EXPECT_EQ(world.Count("Delete " + kFolder), 1);
  EXPECT_TRUE(world.Folders.empty());
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

TEST_F(RetryCountdown, ACloseDuringTheProbesWaitEndsTheRunWithoutTheDialog) {
  http->OnHead = [this] {
    headless::PostMessage(app, [] { Main->Close(); });
    Retry(Notice(2000, 3));
  };
  RunProgram();

  EXPECT_EQ(waitedFor, (std::vector<int>{0}));
  EXPECT_EQ(world.Count("CreateFolder "), 0);
  EXPECT_TRUE(ProbeDialogs(app).empty());
}

}  // namespace
