#include "ui/Dialogs.h"
#include "ui/headless/HeadlessState.h"

// Headless, the user closes the dialog at once; it is recorded for the tests.
void MessageDlg(const std::string& AMsg, TMsgDlgType ADlgType, int) {
  headless::State().Dialogs.push_back({MsgDlgCaption(ADlgType), AMsg});
}

// Headless, the test's script answers (closing the dialog when there is none).
TErrorDialogAnswer ShowErrorDialog(const TErrorDialog& ADialog) {
  headless::State().ErrorDialogs.push_back(ADialog);
  auto& answer = headless::State().ErrorDialogAnswer;
  return answer ? answer(ADialog) : TErrorDialogAnswer::eaClose;
}

void ShowMessageBox(const std::string& AText, const std::string& ACaption, TMsgDlgType) {
  headless::State().Dialogs.push_back({ACaption, AText});
}
