#pragma once

#include "net/IdAntiFreezeBase.h"

// Responsive waiting through the application object's message processing.
class TIdAntiFreeze : public TIdAntiFreezeBase {
 public:
  TIdAntiFreeze() = default;

  // With ApplicationHasPriority all pending messages are processed; otherwise one message is
  // handled, and only when one is waiting.
  void Process() override;
};
