#include "ui/Dialogs.h"

const char* MsgDlgCaption(TMsgDlgType ADlgType) {
  switch (ADlgType) {
    case TMsgDlgType::mtWarning:
      return "Warning";
    case TMsgDlgType::mtError:
      return "Error";
    case TMsgDlgType::mtInformation:
      return "Information";
  }
  return "";
}
