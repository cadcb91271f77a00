#pragma once

// What the user was told of failures, in the form the sequence's tests compare: {caption, text}.

#include <string>
#include <vector>

#include "ui/Dialogs.h"
#include "ui/headless/HeadlessApplication.h"

// The size probe's dialogs: error dialogs captioned "Error" (and message dialogs, had there
// been any).
inline std::vector<headless::TShownBox> ProbeDialogs(TApplication& AApp) {
  std::vector<headless::TShownBox> shown = headless::ShownDialogs(AApp);
  for (const TErrorDialog& dialog : headless::ShownErrorDialogs(AApp))
    if (dialog.Caption == MsgDlgCaption(TMsgDlgType::mtError))
      shown.push_back({dialog.Caption, dialog.Text});
  return shown;
}

// The other failures: error dialogs under the application's title, and the boxes of the default
// exception display.
inline std::vector<headless::TShownBox> FailureBoxes(TApplication& AApp) {
  std::vector<headless::TShownBox> shown;
  for (const TErrorDialog& dialog : headless::ShownErrorDialogs(AApp))
    if (dialog.Caption != MsgDlgCaption(TMsgDlgType::mtError))
      shown.push_back({dialog.Caption, dialog.Text});
  for (const headless::TShownBox& box : headless::ShownErrorBoxes(AApp))
    shown.push_back(box);
  return shown;
}
