#include "ui/Timer.h"

#include "base/Exception.h"
#include "base/Texts.h"
#include "ui/ControlPeer.h"

TTimer::TTimer() : FPeer(uipeer::CreateTimer(*this)) {}

TTimer::~TTimer() {
  uipeer::StopTimer(*FPeer);
}

void TTimer::SetInterval(unsigned AMilliseconds) {
  if (AMilliseconds == FInterval) return;
  FInterval = AMilliseconds;
  UpdateTimer();
}

void TTimer::SetEnabled(bool AEnabled) {
  if (AEnabled == FEnabled) return;
  FEnabled = AEnabled;
  UpdateTimer();
}

void TTimer::SetOnTimer(std::function<void(TComponent* Sender)> AHandler) {
  FOnTimer = std::move(AHandler);
  UpdateTimer();
}

bool TTimer::Armed() const {
  return uipeer::TimerArmed(*FPeer);
}

void TTimer::UpdateTimer() {
  uipeer::StopTimer(*FPeer);
  if (FInterval != 0 && FEnabled && FOnTimer && !uipeer::StartTimer(*FPeer, FInterval))
    throw EOutOfResources(Text(RSNoTimers));
}

void TTimer::Tick() noexcept {
  try {
    if (FOnTimer) FOnTimer(this);
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
  }
}
