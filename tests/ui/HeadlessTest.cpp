// The headless window services: the first tick, the timer's exception guard, scaling.

#include <gtest/gtest.h>

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

}  // namespace
