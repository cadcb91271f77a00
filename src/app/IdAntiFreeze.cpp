#include "app/IdAntiFreeze.h"

#include "ui/Application.h"

void TIdAntiFreeze::Process() {
  if (!Application) return;
  if (ApplicationHasPriority) {
    Application->ProcessMessages();
  } else if (Application->MessagePending()) {
    Application->HandleMessage();
  }
}
