// The headless window services: the first tick, the timer's exception guard, scaling, and
// when a moving bar touches its control (the clock stands still unless a test moves it).

#include <gtest/gtest.h>

#include <algorithm>

#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/Timer.h"
#include "ui/headless/HeadlessApplication.h"

namespace {

class TLayoutForm : public TForm {
 public:
  TLayoutForm() {
    BorderWidth = 8;
    ClientWidth = 313;
    ClientHeight = 41;
    Info.Align = TAlign::alTop;
    TFont bold = Font;
    bold.Bold = true;
    Info.SetFont(bold);
    Bar.Align = TAlign::alTop;
    Bar.AlignWithMargins = true;
    Bar.Margins = {0, 8, 0, 0};
    Bar.DesignHeight = 17;
    Loaded();
  }
  TLabel Info{*this};
  TProgressBar Bar{*this};
  TTimer Timer;
};

TEST(Headless, LayoutAtTheDesignDensityAndScaled) {
  struct Case {
    int ppi;
    int width, height, labelHeight, barTop, barHeight;
  } cases[] = {
      {96, 313, 41, 13, 21, 17},
      {144, 470, 62, 20, 32, 26},  // 150 %: every design value scaled and rounded
  };
  for (const Case& c : cases) {
    TApplication app("C:\\x\\Layout.exe");
    headless::SetScreenPixelsPerInch(app, c.ppi);
    TLayoutForm* f = nullptr;
    app.CreateForm(f);
    EXPECT_EQ(f->Width(), c.width) << c.ppi;
    EXPECT_EQ(f->Height(), c.height) << c.ppi;
    EXPECT_EQ(f->Info.Top(), 0);
    EXPECT_EQ(f->Info.Width(), c.width);
    EXPECT_EQ(f->Info.Height(), c.labelHeight) << c.ppi;
    EXPECT_EQ(f->Bar.Left(), 0);
    EXPECT_EQ(f->Bar.Top(), c.barTop) << c.ppi;
    EXPECT_EQ(f->Bar.Width(), c.width);
    EXPECT_EQ(f->Bar.Height(), c.barHeight) << c.ppi;
  }
}

// A form whose content asks for a width, as the downloader's status line does for the longest
// text of its language.
class TFitForm : public TLayoutForm {
 public:
  TFitForm(const std::string& ACaption, std::string AContent) : FContent(std::move(AContent)) {
    SetCaption(ACaption);
    Loaded();
  }
  int ContentWidth() const override { return Info.TextWidth(FContent); }

 private:
  std::string FContent;
};

TEST(Headless, TheClientGrowsToTheLongestTextUpToTwiceItsDesignWidth) {
  const std::string shortCaption = "Plenwick Suite Setup - Web Downloader";
  struct Case {
    std::string caption, content;
    int ppi, width;
  } cases[] = {
      // The English window keeps its design width.
      {shortCaption, "Initiating installation procedure...", 96, 313},
      {shortCaption, "Initiating installation procedure...", 144, 470},
      // 60 bold characters of 6 pixels; at 150 % the same text in proportion.
      {shortCaption, std::string(60, 'x'), 96, 360},
      {shortCaption, std::string(60, 'x'), 144, 540},
      // A caption of 60 bold characters with 44 pixels for the icon and button, less the border.
      {std::string(60, 'c'), "", 96, 360 + 44 - 16},
      // Four wide characters of 11 pixels fit the design width as they are.
      {shortCaption, "\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x87\x86\xE5\xA4\x87", 96, 313},
      // Beyond twice the design width the window stops growing.
      {shortCaption, std::string(200, 'x'), 96, 626},
      {shortCaption, std::string(200, 'x'), 144, 939},
  };
  for (const Case& c : cases) {
    TApplication app("C:\\x\\Fit.exe");
    headless::SetScreenPixelsPerInch(app, c.ppi);
    auto f = std::make_unique<TFitForm>(c.caption, c.content);
    EXPECT_EQ(f->Width(), c.width) << c.caption << " / " << c.content << " at " << c.ppi;
    EXPECT_EQ(f->Info.Width(), c.width);
    EXPECT_EQ(f->Bar.Width(), c.width);
  }
}

// A status line whose font is taller than the design's pushes the bar down; the client grows
// so the bar is not cut.
TEST(Headless, TheClientGrowsBelowAFontTallerThanTheDesigns) {
  TApplication app("C:\\x\\Tall.exe");
  TLayoutForm* f = nullptr;
  app.CreateForm(f);
  TFont tall = f->Info.Font();
  tall.Height = -20;  // a line of 24 pixels
  f->Info.SetFont(tall);
  f->Loaded();
  EXPECT_EQ(f->Info.Height(), 24);
  EXPECT_EQ(f->Bar.Top(), 32);
  EXPECT_EQ(f->Height(), 49) << "the bar's bottom";
  EXPECT_EQ(f->Width(), 313);
}

// The window moved to a screen of another density: its font, sizes and alignment follow.
TEST(Headless, ANewDensityScalesFontsAndLayoutAnew) {
  TApplication app("C:\\x\\Density.exe");
  TLayoutForm* f = nullptr;
  app.CreateForm(f);
  ASSERT_EQ(f->Info.TextWidth("xxxxxxxxxx"), 60);
  headless::SetScreenPixelsPerInch(app, 192);
  f->DensityChanged();
  EXPECT_EQ(f->Info.TextWidth("xxxxxxxxxx"), 120) << "the label's font at the new density";
  EXPECT_EQ(f->Width(), 626);
  EXPECT_EQ(f->Height(), 82);
  EXPECT_EQ(f->Info.Height(), 26);
  EXPECT_EQ(f->Bar.Top(), 42);
  EXPECT_EQ(f->Bar.Height(), 34);
  EXPECT_EQ(f->Bar.Width(), 626);
}

TEST(Headless, FirstTickOnlyWhenNothingElseWaits) {
  TApplication app("C:\\x\\Tick.exe");
  TLayoutForm* f = nullptr;
  app.CreateForm(f);
  std::vector<std::string> order;
  headless::PostMessage(app, [&] { order.push_back("paint"); });
  headless::PostMessage(app, [&] { order.push_back("input"); });
  f->Timer.SetInterval(1);
  f->Timer.SetOnTimer([&](TComponent*) {
    order.push_back(f->Visible() ? "tick, visible" : "tick, hidden");
    f->Timer.SetEnabled(false);
    app.Terminate();
  });
  app.Run();
  EXPECT_EQ(order, (std::vector<std::string>{"paint", "input", "tick, visible"}));
}

TEST(Headless, RefusedTimerRaisesOutOfResources) {
  TApplication app("C:\\x\\Timer.exe");
  headless::SetTimersAvailable(app, false);
  TTimer timer;
  try {
    timer.SetOnTimer([](TComponent*) {});
    FAIL() << "no exception";
  } catch (const EOutOfResources& e) {
    EXPECT_STREQ(e.what(), "Not enough timers available");
  }
  EXPECT_FALSE(timer.Armed());
}

TEST(Headless, ExceptionsOfOnTimerGoToTheExceptionDisplayAndTheLoopGoesOn) {
  TApplication app("C:\\Downloads\\Setup_x64-stable.exe");
  TTimer timer;
  int ticks = 0;
  timer.SetOnTimer([&](TComponent*) {
    ++ticks;
    if (ticks == 1) throw EAbort("silent");
    if (ticks == 2) throw Exception("Socket Error # 10061\r\nConnection refused");
    timer.SetEnabled(false);
    app.Terminate();
  });
  app.Run();
  EXPECT_EQ(ticks, 3);
  const auto& boxes = headless::ShownErrorBoxes(app);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Caption, "Setup_x64-stable");
  EXPECT_EQ(boxes[0].Text, "Socket Error # 10061\r\nConnection refused.");
}

TEST(Headless, RepaintShowsTheCurrentTextAtOnce) {
  TApplication app("C:\\x\\Paint.exe");
  TLayoutForm* f = nullptr;
  app.CreateForm(f);
  f->Info.SetCaption("one");
  f->Info.SetCaption("two");
  f->Info.Repaint();
  EXPECT_EQ(headless::PaintedTexts(f->Info), (std::vector<std::string>{"two"}));
}

TEST(Headless, MovingBarTouchesItsControlOnlyWhenTheMoveShows) {
  TApplication app("C:\\x\\Bar.exe");
  TLayoutForm* f = nullptr;
  app.CreateForm(f);
  TProgressBar& bar = f->Bar;
  ASSERT_EQ(bar.Width(), 313);  // 311 pixels inside the frame
  bar.SetMax(311000);           // 1000 units per pixel
  struct Step {
    unsigned wait;  // ms since the step before
    int value;
    bool touched;
    const char* why;
  } steps[] = {
      {0, 500, false, "same pixel, no time passed"},
      {0, 999, false, "still the same pixel"},
      {0, 1000, true, "the next pixel"},
      {10, 1500, false, "10 ms later"},
      {19, 1700, false, "29 ms after the last touch"},
      {1, 1800, true, "30 ms after the last touch"},
      {100, 1800, false, "no move at all"},
      {0, 310999, true, "310 pixels"},
      {0, 311000, true, "the end"},
      {0, 400000, false, "clamped to the end already shown"},
      {0, 1000, true, "back by 310 pixels"},
      {0, -5, true, "clamped to the start"},
      {0, 700, false, "same pixel as the start"},
  };
  std::vector<int> painted;
  for (const Step& s : steps) {
    headless::AdvanceClock(app, s.wait);
    bar.ShowPosition(s.value);
    if (s.touched) painted.push_back(bar.Position());
    EXPECT_EQ(bar.Position(), std::clamp(s.value, 0, 311000)) << s.why;
    EXPECT_EQ(headless::PaintedPositions(bar), painted) << s.why;
    EXPECT_EQ(headless::ControlPosition(bar), painted.empty() ? 0 : painted.back()) << s.why;
  }
  // The end of the moves: the held-back 700 goes to the control, once.
  bar.ShowHeldBackPosition();
  bar.ShowHeldBackPosition();
  painted.push_back(700);
  EXPECT_EQ(headless::PaintedPositions(bar), painted);
  EXPECT_EQ(headless::ControlPosition(bar), 700);
}

}  // namespace
