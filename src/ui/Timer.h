#pragma once

#include <functional>
#include <memory>

#include "base/Component.h"
#include "ui/Application.h"

// A platform timer on a hidden window of its own. Every change of Interval, Enabled or
// OnTimer re-arms it; it runs while Interval is not 0, Enabled is set and OnTimer assigned.
// A tick runs OnTimer; an exception escaping it goes to the application's exception display.
class TTimer : public TComponent {
 public:
  TTimer();
  ~TTimer() override;

  unsigned Interval() const { return FInterval; }
  // Each setter raises EOutOfResources "Not enough timers available" when the platform
  // refuses to start the timer.
  void SetInterval(unsigned AMilliseconds);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool AEnabled);
  const std::function<void(TComponent* Sender)>& OnTimer() const { return FOnTimer; }
  void SetOnTimer(std::function<void(TComponent* Sender)> AHandler);

  // True while the platform timer runs.
  bool Armed() const;
  // Delivers one tick (called by the platform's timer message); a failure of the handler goes
  // to the application's exception display.
  void Tick() noexcept;

  struct TPeer;
  struct TPeerDeleter {
    void operator()(TPeer* APeer) const noexcept;
  };

 private:
  void UpdateTimer();

  unsigned FInterval = 1000;
  bool FEnabled = true;
  std::function<void(TComponent* Sender)> FOnTimer;
  std::unique_ptr<TPeer, TPeerDeleter> FPeer;
};
