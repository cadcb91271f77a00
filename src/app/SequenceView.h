#pragma once

#include <cstdint>
#include <string>

#include "base/Texts.h"
#include "ui/Control.h"

// A failure as the user is told it: the dialog's text, its expandable details and whether
// "Try again" is offered.
struct TFailureNotice {
  // The size probe's failure keeps the caption of an error message; the others take the
  // program's title, as the default display does.
  bool ErrorCaption = false;
  std::string Text;
  std::string Details;
  // The run's log, linked from the details; empty when there is none.
  std::string LogPath;
  bool TryAgain = false;
};

// What the setup sequence needs of its window, and no more: the status line, the bar, whether it
// may go on, the failure's dialog, and the window's place around the installer. The window
// (TMain) implements it; its HTTP component's work events and retry waits reach it directly.
class TSequenceView {
 public:
  virtual ~TSequenceView() = default;

  // The status line shows AText.
  virtual void ShowStatus(TTextId AText) = 0;
  // The size probes announced ABytes in all: the bar's range.
  virtual void ShowProgressTotal(int64_t ABytes) = 0;
  // From a download's start the bar follows the client's work counts, which begin at 0; at its
  // end, however it ended, the bar shows its exact position and stops following.
  virtual void FollowDownload(bool AFollow) = 0;
  // Before the sequence runs again: the bar as it was before the size probe.
  virtual void ResetProgress() = 0;

  // False once the program has been asked to end: the sequence stops where it is.
  virtual bool MayGoOn() = 0;
  // Lets the window answer its messages during a long step.
  virtual void Answer() = 0;
  // The run is over: the program ends once the window's events are handled.
  virtual void EndRun() = 0;

  // Shows a failure; true when the user asked to try again.
  virtual bool ShowFailure(const TFailureNotice& ANotice) = 0;
  // Tells the user something that went wrong after the installer ended, in the default display.
  virtual void ShowNotice(const std::string& AText) = 0;

  // The installer's elevation prompt belongs to this window; the window steps aside while the
  // installer runs.
  virtual TWinHandle OwnerWindow() = 0;
  virtual void StepAside() = 0;
};
