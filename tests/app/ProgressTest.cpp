// HTTPWork: the bar follows the work counts of a GET, and a close request disconnects.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "app/Main.h"
#include "app/SequenceDoubles.h"
#include "app/ShownFailures.h"
#include "ui/headless/HeadlessApplication.h"

namespace {

class Progress : public ::testing::Test {
 protected:
  void SetUp() override {
    app.CreateForm(Main);
    http = PlugInFakeClient(*Main, world);
  }
  // The state during the download loop: the probe has set the maximum, a GET starts.
  void StartGet(int max) {
    Main->ProgressBar->SetMax(max);
    Main->FormCreate(Main);
  }

  TApplication app{"C:\\Downloads\\Setup.exe"};
  TWorld world;
  TFakeClient* http = nullptr;
};

// Work events arrive only while ShouldUpdateProgress is set, which is private: drive them
// through a GET of the sequence's download loop.
class ProgressDuringDownload : public Progress {
 protected:
  std::vector<int> Run(int max, std::vector<int64_t> counts) {
    http->ContentLength = max;
    http->OnGet = [this, counts](TStream&) {
      for (int64_t c : counts)
        http->OnWork(c);
    };
    Main->Platform = std::make_unique<TFakePlatform>(world);
    Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); };
    headless::DeliverTimerTick(app);
    return headless::PaintedPositions(*Main->ProgressBar);
  }
};

TEST_F(ProgressDuringDownload, PositionFollowsTheCountsAndIsClamped) {
  EXPECT_EQ(Run(100000, {32768, 65536, 98304, 100000}),
            (std::vector<int>{32768, 65536, 98304, 100000}));
}

TEST_F(ProgressDuringDownload, ABodyLongerThanAnnouncedFillsTheBar) {
  EXPECT_EQ(Run(1000, {5000}), (std::vector<int>{1000}));
}

TEST_F(ProgressDuringDownload, ASecondBodyInOneGetMovesTheBarBackByTheDifference) {
  EXPECT_EQ(Run(100000, {40000, 60000, 10000}), (std::vector<int>{40000, 60000, 10000}));
}

TEST_F(ProgressDuringDownload, MaximumZeroKeepsTheBarEmpty) {
  EXPECT_EQ(Run(0, {100, 200}), (std::vector<int>{}));  // nothing to draw
  EXPECT_EQ(Main->ProgressBar->Position(), 0);
}

// A large archive in blocks: the bar's control is touched when its drawn length changes (the
// clock of the headless platform stands still), and it ends at the exact position of the last
// event, also when the last blocks moved it by less than a pixel.
TEST_F(ProgressDuringDownload, ManyBlocksTouchTheControlOncePerPixelAndEndExactly) {
  const int max = 300 * 1048576;
  std::vector<int64_t> counts;
  for (int64_t c = 32768; c < 100 * 1048576; c += 32768)
    counts.push_back(c);
  counts.push_back(100 * 1048576 + 1000);  // a body cut short, a fraction of a pixel on
  const std::vector<int> painted = Run(max, counts);
  // 311 pixels inside the frame: a third of the archive fills 103 of them.
  EXPECT_GE(painted.size(), 103u);
  EXPECT_LE(painted.size(), 105u);
  EXPECT_EQ(painted.back(), 100 * 1048576 + 1000);
  EXPECT_EQ(headless::ControlPosition(*Main->ProgressBar), 100 * 1048576 + 1000);
  EXPECT_EQ(Main->ProgressBar->Position(), 100 * 1048576 + 1000);
}

TEST_F(ProgressDuringDownload, AFailedGetStillLeavesTheControlAtTheExactPosition) {
  http->ContentLength = 311000;
  http->OnGet = [this](TStream&) {
    http->OnWork(1000);
    http->OnWork(1500);  // the same pixel: held back
    throw Exception("Connection Closed Gracefully.");
  };
  Main->Platform = std::make_unique<TFakePlatform>(world);
  Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); };
  headless::DeliverTimerTick(app);

  EXPECT_EQ(headless::PaintedPositions(*Main->ProgressBar), (std::vector<int>{1000, 1500}));
  EXPECT_EQ(headless::ControlPosition(*Main->ProgressBar), 1500);
  ASSERT_EQ(FailureBoxes(app).size(), 1u);
}

TEST_F(Progress, WithoutShouldUpdateProgressOnlyTheCountIsKept) {
  StartGet(1000);
  Main->HTTPWork(700);
  EXPECT_EQ(Main->ProgressBar->Position(), 0);
  EXPECT_EQ(Main->LastWorkCount(), 700);
  EXPECT_TRUE(headless::PaintedPositions(*Main->ProgressBar).empty());
}

// Archives past the bar's int range (2 GiB and more): the probe takes the length, the bar's
// range is scaled to hold it, and each position stands for the same share of the bar as the
// count does of the length, ending full.
class LargeLengths : public ProgressDuringDownload, public ::testing::WithParamInterface<int64_t> {
 protected:
  std::vector<int> RunLarge(int64_t length, const std::vector<int64_t>& counts) {
    http->ContentLength = length;
    http->OnGet = [this, counts](TStream&) {
      for (int64_t c : counts)
        http->OnWork(c);
    };
    Main->Platform = std::make_unique<TFakePlatform>(world);
    Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); };
    headless::DeliverTimerTick(app);
    return headless::PaintedPositions(*Main->ProgressBar);
  }
};

TEST_P(LargeLengths, AreScaledToTheBarAndEndFull) {
  const int64_t length = GetParam();
  std::vector<int64_t> counts;
  for (int64_t part = 1; part <= 8; ++part)
    counts.push_back(length / 8 * part);
  counts.back() = length;
  const std::vector<int> painted = RunLarge(length, counts);

  EXPECT_TRUE(ProbeDialogs(app).empty());
  EXPECT_TRUE(FailureBoxes(app).empty());
  EXPECT_EQ(world.Count("Open"), 1);  // past the probe and the download
  const int max = Main->ProgressBar->Max();
  EXPECT_GT(max, std::numeric_limits<int>::max() / 2);  // most of the range: fine steps
  ASSERT_EQ(painted.size(), counts.size());
  for (size_t i = 0; i < counts.size(); ++i)
    EXPECT_NEAR(static_cast<double>(painted[i]) / max,
                static_cast<double>(counts[i]) / static_cast<double>(length), 1e-6)
        << "at " << counts[i];
  EXPECT_EQ(painted.back(), max);
}

INSTANTIATE_TEST_SUITE_P(Progress, LargeLengths,
                         ::testing::Values(int64_t{3} << 30,  // refused at the probe as an int
                                           (int64_t{5} << 30) + 123,  // wrapped to 123
                                           int64_t{100} << 30));

// A download of more than 4 GiB whose bytes are thrown away (a restart from 0): the bar goes
// back to the start then, and only then.
TEST_F(LargeLengths, GoBackOnlyOnARestartFromZero) {
  const int64_t gib = int64_t{1} << 30;
  const std::vector<int> painted =
      RunLarge(6 * gib, {gib, 3 * gib, 4 * gib + 5, 0, 2 * gib, 5 * gib, 6 * gib});
  ASSERT_EQ(painted.size(), 7u);
  EXPECT_TRUE(std::is_sorted(painted.begin(), painted.begin() + 3));
  EXPECT_EQ(painted[3], 0);
  EXPECT_TRUE(std::is_sorted(painted.begin() + 3, painted.end()));
  EXPECT_EQ(painted.back(), Main->ProgressBar->Max());
}

TEST_F(ProgressDuringDownload, ACloseRequestDisconnectsThenStillMovesTheBar) {
  http->ContentLength = 100000;
  http->OnGet = [this](TStream&) {
    http->OnWork(32768);
    headless::PostMessage(app, [] { Main->Close(); });
    app.ProcessMessages();  // responsive waiting takes the close and the quit request
    http->OnWork(65536);
    http->OnWork(70000);
  };
  Main->Platform = std::make_unique<TFakePlatform>(world);
  Main->CreateArchive = [this] { return std::make_unique<TFakeArchive>(world, nullptr); };
  headless::DeliverTimerTick(app);

  EXPECT_EQ(headless::PaintedPositions(*Main->ProgressBar),
            (std::vector<int>{32768, 65536, 70000}));
  EXPECT_EQ(world.Count("Disconnect"), 2);  // at every event after the quit was taken
  EXPECT_EQ(world.Count("Open"), 0);        // the run ends at the check after the GET
}

}  // namespace
