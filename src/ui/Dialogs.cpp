#include "ui/Dialogs.h"

#include "base/Texts.h"

std::string MsgDlgCaption(TMsgDlgType ADlgType) {
  switch (ADlgType) {
    case TMsgDlgType::mtWarning:
      return Text(RSCaptionWarning);
    case TMsgDlgType::mtError:
      return Text(RSCaptionError);
    case TMsgDlgType::mtInformation:
      return Text(RSCaptionInformation);
  }
  return "";
}
