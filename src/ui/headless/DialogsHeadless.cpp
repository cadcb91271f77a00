#include "ui/Dialogs.h"
#include "ui/headless/HeadlessState.h"

// Headless, the user closes the dialog at once; it is recorded for the tests.
void MessageDlg(const std::string& AMsg, TMsgDlgType ADlgType, int) {
  headless::State().Dialogs.push_back({MsgDlgCaption(ADlgType), AMsg});
}
