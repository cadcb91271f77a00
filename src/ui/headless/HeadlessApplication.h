#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Dialogs.h"

class TLabel;
class TProgressBar;

// The in-memory window services of the headless build, as tests drive and observe them.
namespace headless {

// Queues a message; dispatching it runs handler.
void PostMessage(TApplication& AApp, std::function<void()> AHandler);
// Messages waiting in the queue (the quit request included).
int PendingMessages(TApplication& AApp);

// What the user was shown: {caption, text}.
struct TShownBox {
  std::string Caption;
  std::string Text;
};
// Message boxes of the default exception display.
const std::vector<TShownBox>& ShownErrorBoxes(TApplication& AApp);
// Message dialogs (MessageDlg).
const std::vector<TShownBox>& ShownDialogs(TApplication& AApp);
// Error dialogs (ShowErrorDialog), and the user's answer to each (closing it, unless set).
const std::vector<TErrorDialog>& ShownErrorDialogs(TApplication& AApp);
void SetErrorDialogAnswer(TApplication& AApp,
                          std::function<TErrorDialogAnswer(const TErrorDialog&)> AAnswer);

// How often the quit request was posted (Terminate).
int QuitRequests(TApplication& AApp);

// Runs when the message loop waits with an empty queue and no timer running: the script of a
// user who acts while the program idles (for example closes the window).
void SetIdleHandler(TApplication& AApp, std::function<void()> AHandler);
// Delivers a tick of the first running timer now; False when none runs.
bool DeliverTimerTick(TApplication& AApp);
// Makes the platform refuse (or grant again) new timers.
void SetTimersAvailable(TApplication& AApp, bool AAvailable);
void SetScreenPixelsPerInch(TApplication& AApp, int APixelsPerInch);
// Moves the platform's clock on; it stands still otherwise.
void AdvanceClock(TApplication& AApp, unsigned AMilliseconds);

// The texts the label showed, one per repaint, in order.
const std::vector<std::string>& PaintedTexts(const TLabel& ALabel);
// The positions the bar showed, one per repaint, in order.
const std::vector<int>& PaintedPositions(const TProgressBar& ABar);
// The position the bar's control holds.
int ControlPosition(const TProgressBar& ABar);

}  // namespace headless
