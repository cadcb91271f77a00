// The setup sequence on its own, with no window: what it tells its view (TSequenceView) and
// when, on the test doubles of SequenceDoubles.h. The window's side of the same calls is shown
// through TMain in SequenceTest.cpp and ProgressTest.cpp.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/SequenceDoubles.h"
#include "app/SetupSequence.h"
#include "base/Format.h"
#include "http/IdHTTPExceptions.h"
#include "net/IdExceptionCore.h"

namespace {

// Writes down every call in the world's log, beside what the doubles write; answers as told.
class TRecordingView : public TSequenceView {
 public:
  explicit TRecordingView(TWorld& w) : W(w) {}

  void ShowStatus(TTextId AText) override { W.Log.push_back("Status " + Text(AText)); }
  void ShowProgressTotal(int64_t ABytes) override {
    W.Log.push_back("Total " + std::to_string(ABytes));
  }
  void FollowDownload(bool AFollow) override { W.Log.push_back(AFollow ? "Follow" : "Unfollow"); }
  void ResetProgress() override { W.Log.push_back("Reset"); }
  bool MayGoOn() override { return !Ended && !(StopAt && StopAt()); }
  void Answer() override {}
  void EndRun() override {
    W.Log.push_back("EndRun");
    Ended = true;
  }
  bool ShowFailure(const TFailureNotice& ANotice) override {
    W.Log.push_back("Failure");
    Notices.push_back(ANotice);
    return TryAgainAnswers-- > 0;
  }
  void ShowNotice(const std::string& AText) override { W.Log.push_back("Notice " + AText); }
  TWinHandle OwnerWindow() override { return this; }
  void StepAside() override { W.Log.push_back("StepAside"); }

  TWorld& W;
  bool Ended = false;
  // Asked before each step: true once the program is to end.
  std::function<bool()> StopAt;
  // How many failures the user answers with "Try again".
  int TryAgainAnswers = 0;
  std::vector<TFailureNotice> Notices;
};

class SetupSequence : public ::testing::Test {
 protected:
  TRunOutcome Run() {
    TSetupSequence sequence(
        {.HTTP = &client,
         .CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); },
         .Platform = platform,
         .Storage = storage,
         .Report = report,
         .Mode = mode,
         .InstallerArguments = {}},
        view);
    return sequence.Run();
  }
  // The view's calls only, in order.
  std::vector<std::string> ViewCalls() const {
    std::vector<std::string> calls;
    for (const std::string& line : world.Log)
      for (const char* prefix : {"Status ", "Total ", "Follow", "Unfollow", "Reset", "EndRun",
                                 "Failure", "Notice ", "StepAside"})
        if (line.rfind(prefix, 0) == 0) calls.push_back(line);
    return calls;
  }

  TWorld world;
  TFakeClient client{world};
  TFakePlatform platform{world};
  TArchiveStorage storage;
  TRunReport report;
  TRecordingView view{world};
  TRunMode mode = TRunMode::rmNormal;
};

TEST_F(SetupSequence, TellsItsViewEachStepOfAWholeRun) {
  const TRunOutcome outcome = Run();
  EXPECT_EQ(outcome.Result, TRunResult::rrInstallerEnded);
  EXPECT_EQ(outcome.InstallerExitCode, 0u);
  const auto status = [](TTextId id) { return "Status " + Text(id); };
  EXPECT_EQ(ViewCalls(), (std::vector<std::string>{
                             status(RSStatusChecking), "Total 100000", "Follow",
                             status(RSStatusDownloading), "Unfollow", status(RSStatusExtracting),
                             status(RSStatusInstalling), "StepAside", "StepAside", "EndRun"}));
  // The elevation prompt belongs to the view's window.
  EXPECT_EQ(platform.LaunchParent, &view);
  EXPECT_TRUE(view.Notices.empty());
}

// Every failure reaches the view as one notice: the probe's with the error caption and the
// probe's words, the others with their own message and the address; "Try again" only where it
// may help. However the download fails, the bar stops following it.
TEST_F(SetupSequence, TellsAFailureAsOneNotice) {
  const struct {
    const char* name;
    std::function<void(TFakeClient&, TFakePlatform&)> arrange;
    TRunResult result;
    bool errorCaption;
    std::string text;
    bool tryAgain;
    bool followEnded;
  } cases[] = {
      {"probe refused",
       [](TFakeClient& c, TFakePlatform&) {
         c.OnHead = [] { throw EIdSocketError(10061, "Connection refused."); };
       },
       TRunResult::rrProbeFailed, true, Text(RSProbeFailureTryAgain), true, false},
      {"download cut",
       [](TFakeClient& c, TFakePlatform&) {
         c.OnGet = [](TStream&) { throw EIdSocketError(10054, "Connection reset by peer."); };
       },
       TRunResult::rrDownloadFailed, false, "Connection reset by peer.", true, true},
      {"download refused",
       [](TFakeClient& c, TFakePlatform&) {
         c.OnGet = [](TStream&) {
           throw EIdHTTPProtocolException(404, "HTTP/1.1 404 Not Found", "");
         };
       },
       TRunResult::rrDownloadFailed, false, "HTTP/1.1 404 Not Found.", false, true},
      {"launch failed", [](TFakeClient&, TFakePlatform& p) { p.LaunchError = 2; },
       TRunResult::rrLaunchFailed, false, "", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    world = {};
    client.OnHead = nullptr;
    client.OnGet = nullptr;
    platform.LaunchError = 0;
    view.Ended = false;
    view.Notices.clear();
    c.arrange(client, platform);

    EXPECT_EQ(Run().Result, c.result);
    ASSERT_EQ(view.Notices.size(), 1u);
    const TFailureNotice& notice = view.Notices[0];
    EXPECT_EQ(notice.ErrorCaption, c.errorCaption);
    if (!c.text.empty()) {
      EXPECT_EQ(notice.Text, c.text);
    }
    EXPECT_FALSE(notice.Text.empty());
    EXPECT_EQ(notice.TryAgain, c.tryAgain);
    EXPECT_EQ(notice.Details.rfind(Format(RSDetailsCause, ""), 0), 0u) << notice.Details;
    if (c.result == TRunResult::rrDownloadFailed) {
      EXPECT_NE(notice.Details.find(ArchiveUrlPrefix()), std::string::npos) << notice.Details;
    }
    // Following began with the download and ended with it, whatever came of it.
    EXPECT_EQ(world.Count("Follow"), c.followEnded ? 1 : 0);
    EXPECT_EQ(world.Count("Unfollow"), world.Count("Follow"));
  }
}

// Unattended, a failure is told to nobody: the run ends with its outcome.
TEST_F(SetupSequence, UnattendedAFailureEndsTheRunWithoutANotice) {
  for (const TRunMode m : {TRunMode::rmQuiet, TRunMode::rmPassive}) {
    world = {};
    view.Ended = false;
    mode = m;
    client.OnGet = [](TStream&) { throw EIdSocketError(10054, "Connection reset by peer."); };
    EXPECT_EQ(Run().Result, TRunResult::rrDownloadFailed);
    EXPECT_TRUE(view.Notices.empty());
    EXPECT_EQ(world.Count("EndRun"), 1);
  }
}

// "Try again" runs the sequence afresh from the probe: the view's bar is reset first, and the
// outcome is the second run's.
TEST_F(SetupSequence, TryAgainResetsTheViewAndRunsFromTheProbe) {
  int gets = 0;
  client.OnGet = [&gets](TStream&) {
    if (++gets == 1) throw EIdSocketError(10054, "Connection reset by peer.");
  };
  view.TryAgainAnswers = 1;
  EXPECT_EQ(Run().Result, TRunResult::rrInstallerEnded);
  EXPECT_EQ(world.Count("Head "), 2);
  const int reset = world.IndexOf("Reset");
  ASSERT_GE(reset, 0);
  EXPECT_LT(world.IndexOf("Failure"), reset);
  EXPECT_LT(reset, static_cast<int>(world.Log.size()) - 1);
  EXPECT_EQ(world.Log[static_cast<size_t>(reset) + 1], "Status " + Text(RSStatusChecking));
}

// Once the view says no more, the sequence stops where it is: no download, no launch, the
// folder gone, and the outcome is the user's close.
TEST_F(SetupSequence, StopsWhereTheViewSaysNoMore) {
  view.StopAt = [this] { return world.IndexOf("CreateFolder") >= 0; };
  EXPECT_EQ(Run().Result, TRunResult::rrUserClosed);
  EXPECT_EQ(world.Count("Get "), 0);
  EXPECT_EQ(world.Count("Launch "), 0);
  EXPECT_TRUE(world.Folders.empty());
  EXPECT_TRUE(view.Notices.empty());
}

}  // namespace
