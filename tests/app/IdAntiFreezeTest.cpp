// The responsive-waiting component of the program, joined to the application object.

#include <gtest/gtest.h>

#include "app/IdAntiFreeze.h"
#include "ui/Application.h"
#ifdef _WIN32
#include <windows.h>
#else
#include "ui/headless/HeadlessApplication.h"
#endif

TEST(IdAntiFreeze, ProcessRunsTheApplicationsMessages) {
  TApplication app("Test.exe");
  TIdAntiFreeze af;
  int handled = 0;
#ifdef _WIN32
  // Thread messages: dispatching them does nothing, retrieving them empties the queue.
  auto post = [&] { ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER + 7, 0, 0); };
  auto pending = [] {
    MSG msg;
    int n = 0;
    while (::PeekMessageW(&msg, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE))
      ++n;
    return n;
  };
  (void)handled;
#else
  auto post = [&] { headless::PostMessage(app, [&] { ++handled; }); };
  auto pending = [&] {
    const int n = headless::PendingMessages(app);
    app.ProcessMessages();
    return n;
  };
#endif
  for (int i = 0; i < 3; ++i)
    post();
  af.Process();
  EXPECT_EQ(pending(), 0);
  af.ApplicationHasPriority = false;
  for (int i = 0; i < 3; ++i)
    post();
  af.Process();  // one message only
  EXPECT_EQ(pending(), 2);
  af.Process();  // nothing waiting: returns at once
}
