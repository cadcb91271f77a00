#pragma once

#include <string>

enum class TMsgDlgType { mtWarning, mtError, mtInformation };

// A modal message dialog with one "OK" button (the default), captioned after its type
// ("Warning", "Error", "Information") with the matching icon and no main instruction. With
// the platform's visual styles active it is a task dialog, otherwise a message box with the
// same caption, icon, text and button. Returns when the user has closed it.
void MessageDlg(const std::string& AMsg, TMsgDlgType ADlgType, int AHelpCtx);

// The caption of a dialog of that type, in the user's language.
std::string MsgDlgCaption(TMsgDlgType ADlgType);
