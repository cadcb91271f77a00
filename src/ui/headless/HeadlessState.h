#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/ApplicationPlatform.h"
#include "ui/Dialogs.h"
#include "ui/Timer.h"
#include "ui/headless/HeadlessApplication.h"

// The in-memory platform of the headless build: one message queue, the timers armed on it and
// what the user was shown.
struct TApplication::TPlatform::TState {
  struct TMessage {
    bool Quit = false;
    std::function<void()> Handler;
  };
  std::deque<TMessage> Queue;
  std::vector<headless::TShownBox> Boxes;
  std::vector<headless::TShownBox> Dialogs;
  std::vector<TErrorDialog> ErrorDialogs;
  std::function<TErrorDialogAnswer(const TErrorDialog&)> ErrorDialogAnswer;
  std::vector<TTimer*> ArmedTimers;  // in arming order
  std::function<void()> IdleHandler;
  int QuitRequests = 0;
  uint64_t Milliseconds = 0;  // the platform's clock
  int PixelsPerInch = 96;
  bool TimersAvailable = true;
};

namespace headless {
// The state of the running application's headless platform.
TApplication::TPlatform::TState& State();
}  // namespace headless
