// Rules of the window services that hold on both targets (Win32 under Wine, headless).

#include <gtest/gtest.h>

#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/Timer.h"

namespace {

class TTestForm : public TForm {
 public:
  TTestForm() {
    SetCaption("Test");
    ClientWidth = 200;
    ClientHeight = 60;
    Bar.Align = TAlign::alTop;
    Bar.DesignHeight = 17;
    Loaded();
  }
  TProgressBar Bar{*this};
};

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    app.Initialize();
    app.CreateForm(form);
  }
  TApplication app{"C:\\x\\Controls.exe"};
  TTestForm* form = nullptr;
};

TEST_F(Controls, ProgressBarMaxBelowMinIsRefusedAndLeavesTheRange) {
  TProgressBar& bar = form->Bar;
  bar.SetMax(0);
  try {
    bar.SetMax(-1);
    FAIL() << "no exception";
  } catch (const EInvalidOperation& e) {
    EXPECT_STREQ(e.what(), "TProgressBar property out of range");
  }
  EXPECT_EQ(bar.Max(), 0);
  EXPECT_EQ(bar.Min(), 0);
}

TEST_F(Controls, ProgressBarKeepsItsPositionInRange) {
  TProgressBar& bar = form->Bar;
  bar.SetMax(1000);
  struct Case {
    int write;
    int read;
  } cases[] = {{500, 500}, {1000, 1000}, {1001, 1000}, {2147483647, 1000}, {-1, 0}, {0, 0}};
  for (const Case& c : cases) {
    bar.SetPosition(c.write);
    EXPECT_EQ(bar.Position(), c.read) << c.write;
  }
  bar.SetPosition(800);
  bar.SetMax(300);  // a smaller range takes the position with it
  EXPECT_EQ(bar.Position(), 300);
}

TEST_F(Controls, TimerRunsOnlyWithIntervalEnabledAndHandler) {
  TTimer timer;
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_FALSE(timer.Armed());  // no OnTimer yet
  timer.SetInterval(1);
  EXPECT_FALSE(timer.Armed());
  timer.SetOnTimer([](TComponent*) {});
  EXPECT_TRUE(timer.Armed());
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Armed());
  timer.SetInterval(5);
  EXPECT_TRUE(timer.Armed());
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Armed());
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Armed());
  timer.SetOnTimer(nullptr);
  EXPECT_FALSE(timer.Armed());
}

TEST_F(Controls, ClosingTheMainFormTerminatesAndKeepsItVisible) {
  int closes = 0;
  form->OnClose = [&](TComponent* sender, TCloseAction& action) {
    EXPECT_EQ(sender, form);
    EXPECT_EQ(action, TCloseAction::caHide);
    ++closes;
  };
  form->Show();
  form->Close();
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(app.Terminated());  // only a request, taken by a later retrieval
  app.ProcessMessages();
  EXPECT_TRUE(app.Terminated());
  EXPECT_TRUE(form->Visible());
}

TEST_F(Controls, ARefusedCloseDoesNothing) {
  form->OnClose = [](TComponent*, TCloseAction& action) { action = TCloseAction::caNone; };
  form->Close();
  app.ProcessMessages();
  EXPECT_FALSE(app.Terminated());
}

}  // namespace
