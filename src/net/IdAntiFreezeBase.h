#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "net/IdBaseComponent.h"

// Responsive waiting: blocking socket waits on the main thread are cut into slices of
// IdleTimeOut ms, and between slices (and after each received body block) the application's
// pending messages are processed. The layer asks the class, which forwards to the one
// registered instance.
class TIdAntiFreezeBase : public TIdBaseComponent {
 public:
  ~TIdAntiFreezeBase() override;

  // True when an instance is registered and active and the caller is the main thread.
  static bool ShouldUse();
  // Calls Process of the registered instance when ShouldUse and (not OnlyWhenIdle, or idle,
  // or override).
  static void DoProcess(bool AIdle = true, bool AOverride = false);
  // After a wait slice: processes as DoProcess does when the slice found nothing, and also when
  // slices have kept finding data for longer than IdleTimeOut without messages being processed.
  // A slow peer that sends a byte every few milliseconds otherwise freezes the window until a
  // whole block has arrived, which can take minutes.
  static void DoProcessAfterWait(bool AReadable);
  // A sleep cut into slices the same way, processing messages between them.
  static void Sleep(int ATimeout);
  // The registered instance's OnAbandonWait, asked while ShouldUse; False otherwise.
  static bool WaitAbandoned();
  // The registered instance, or null.
  static TIdAntiFreezeBase* Instance();

  virtual void Process() = 0;

  bool Active = true;
  bool ApplicationHasPriority = true;
  int IdleTimeOut = 250;
  bool OnlyWhenIdle = true;
  // Asked after every slice of a responsive wait and every poll of a connect: True when the
  // program no longer wants what is waited for (it has been asked to end). The wait then closes
  // the connection, as a handler closing it would, and ends at once. Unset: never.
  std::function<bool()> OnAbandonWait;

 protected:
  // EIdException "Only one TIdAntiFreeze can exist per application." while another instance
  // is registered.
  TIdAntiFreezeBase();

 private:
  // Since when waits have found data without messages being processed; unset when they last ran.
  std::optional<std::chrono::steady_clock::time_point> FBusySince;
};
