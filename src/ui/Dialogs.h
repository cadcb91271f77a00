#pragma once

#include <string>

enum class TMsgDlgType { mtWarning, mtError, mtInformation };

// A modal message dialog with one "OK" button (the default), captioned after its type
// ("Warning", "Error", "Information") with the matching icon and no main instruction. With
// the platform's visual styles active it is a task dialog, otherwise a message box with the
// same caption, icon, text and button. Returns when the user has closed it.
void MessageDlg(const std::string& AMsg, TMsgDlgType ADlgType, int AHelpCtx);

// A plain message box of the platform's with the caption, the type's icon and one "OK" button
// (texts laid out with tabs keep their columns). Returns when the user has closed it.
void ShowMessageBox(const std::string& AText, const std::string& ACaption, TMsgDlgType AType);

// The caption of a dialog of that type, in the user's language.
std::string MsgDlgCaption(TMsgDlgType ADlgType);

// A failure told so that the user can act on it: a task dialog (common controls 6) with the text
// as its main content, an expandable part with the details, a file the details name shown as a
// link that opens it, and, where trying again can help, a button for that beside "Close" (else
// one "OK" button). The labels come from the program, in its words. Without task dialogs, a
// message box with the details below the text ("Retry" and "Cancel", or "OK"). Returns when the
// user has closed it.
struct TErrorDialog {
  std::string Caption;
  std::string Text;
  std::string Details;       // plain text; empty: no expandable part
  std::string DetailsLabel;  // the expander's label
  std::string LinkPath;      // a file the details end with, as a link that opens it; empty: none
  std::string LinkLine;      // the line that shows it, "%s" standing for the link
  std::string RetryLabel;    // the label of the button that asks to try again; empty: none
};
enum class TErrorDialogAnswer { eaClose, eaRetry };
TErrorDialogAnswer ShowErrorDialog(const TErrorDialog& ADialog);
