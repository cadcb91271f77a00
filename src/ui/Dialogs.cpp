#include "ui/Dialogs.h"

const char* MsgDlgCaption(TMsgDlgType DlgType) {
  switch (DlgType) {
    case TMsgDlgType::mtWarning:
      return "Warning";
    case TMsgDlgType::mtError:
      return "Error";
    case TMsgDlgType::mtInformation:
      return "Information";
  }
  return "";
}
