#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "ui/headless/HeadlessState.h"

TApplication::TPlatform::TPlatform() : FState(std::make_unique<TState>()) {}
TApplication::TPlatform::~TPlatform() = default;

void TApplication::TPlatform::Initialize() {}

bool TApplication::TPlatform::DispatchOne(bool& AQuit) {
  if (FState->Queue.empty()) return false;
  TState::TMessage m = std::move(FState->Queue.front());
  FState->Queue.pop_front();
  AQuit = m.Quit;
  if (m.Handler) m.Handler();
  return true;
}

bool TApplication::TPlatform::MessagePending() {
  return !FState->Queue.empty();
}

// Like the platform, a timer's tick is generated only when nothing else waits. When no timer
// runs, the test's idle script plays the user; with neither, nothing could ever arrive and the
// loop would wait for ever, so the program stops loudly instead.
void TApplication::TPlatform::WaitMessage() {
  if (!FState->Queue.empty()) return;
  if (!FState->ArmedTimers.empty()) {
    TTimer* timer = FState->ArmedTimers.front();
    TState* state = FState.get();
    FState->Queue.push_back({false, [state, timer] {
                               // A timer stopped (or destroyed) after the tick was queued
                               // gets no tick, as with the platform's own timers.
                               auto& t = state->ArmedTimers;
                               if (std::find(t.begin(), t.end(), timer) != t.end()) timer->Tick();
                             }});
    return;
  }
  if (FState->IdleHandler) FState->IdleHandler();
  if (FState->Queue.empty()) {
    std::fputs("headless application: waiting for a message that can never arrive\n", stderr);
    std::abort();
  }
}

void TApplication::TPlatform::PostQuit() {
  ++FState->QuitRequests;
  FState->Queue.push_back({true, nullptr});
}

void TApplication::TPlatform::ShowErrorBox(const std::string& AText, const std::string& ACaption) {
  FState->Boxes.push_back({ACaption, AText});
}

namespace headless {

TApplication::TPlatform::TState& State() {
  return *Application->Platform().FState;
}

void PostMessage(TApplication& AApp, std::function<void()> AHandler) {
  AApp.Platform().FState->Queue.push_back({false, std::move(AHandler)});
}

int PendingMessages(TApplication& AApp) {
  return static_cast<int>(AApp.Platform().FState->Queue.size());
}

const std::vector<TShownBox>& ShownErrorBoxes(TApplication& AApp) {
  return AApp.Platform().FState->Boxes;
}

const std::vector<TShownBox>& ShownDialogs(TApplication& AApp) {
  return AApp.Platform().FState->Dialogs;
}

const std::vector<TErrorDialog>& ShownErrorDialogs(TApplication& AApp) {
  return AApp.Platform().FState->ErrorDialogs;
}

void SetErrorDialogAnswer(TApplication& AApp,
                          std::function<TErrorDialogAnswer(const TErrorDialog&)> AAnswer) {
  AApp.Platform().FState->ErrorDialogAnswer = std::move(AAnswer);
}

int QuitRequests(TApplication& AApp) {
  return AApp.Platform().FState->QuitRequests;
}

void SetIdleHandler(TApplication& AApp, std::function<void()> AHandler) {
  AApp.Platform().FState->IdleHandler = std::move(AHandler);
}

bool DeliverTimerTick(TApplication& AApp) {
  auto& timers = AApp.Platform().FState->ArmedTimers;
  if (timers.empty()) return false;
  timers.front()->Tick();
  return true;
}

void SetTimersAvailable(TApplication& AApp, bool AAvailable) {
  AApp.Platform().FState->TimersAvailable = AAvailable;
}

void SetScreenPixelsPerInch(TApplication& AApp, int APixelsPerInch) {
  AApp.Platform().FState->PixelsPerInch = APixelsPerInch;
}

void AdvanceClock(TApplication& AApp, unsigned AMilliseconds) {
  AApp.Platform().FState->Milliseconds += AMilliseconds;
}

}  // namespace headless
