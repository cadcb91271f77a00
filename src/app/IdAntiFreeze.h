#pragma once

#include "net/IdAntiFreezeBase.h"

// Responsive waiting through the application object's message processing: the component that
// joins the connection layer's waits (TIdAntiFreezeBase) to the window framework, so that the
// connection layer itself knows nothing of windows.
class TIdAntiFreeze : public TIdAntiFreezeBase {
 public:
  TIdAntiFreeze() = default;

  // With ApplicationHasPriority all pending messages are processed; otherwise one message is
  // handled, and only when one is waiting.
  void Process() override;
};
