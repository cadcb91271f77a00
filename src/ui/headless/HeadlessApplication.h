#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/Application.h"

class TLabel;
class TProgressBar;

// The in-memory window services of the headless build, as tests drive and observe them.
namespace headless {

// Queues a message; dispatching it runs handler.
void PostMessage(TApplication& app, std::function<void()> handler);
// Messages waiting in the queue (the quit request included).
int PendingMessages(TApplication& app);

// What the user was shown: {caption, text}.
struct TShownBox {
  std::string Caption;
  std::string Text;
};
// Message boxes of the default exception display.
const std::vector<TShownBox>& ShownErrorBoxes(TApplication& app);
// Message dialogs (MessageDlg).
const std::vector<TShownBox>& ShownDialogs(TApplication& app);

// How often the quit request was posted (Terminate).
int QuitRequests(TApplication& app);

// Runs when the message loop waits with an empty queue and no timer running: the script of a
// user who acts while the program idles (for example closes the window).
void SetIdleHandler(TApplication& app, std::function<void()> handler);
// Delivers a tick of the first running timer now; False when none runs.
bool DeliverTimerTick(TApplication& app);
// Makes the platform refuse (or grant again) new timers.
void SetTimersAvailable(TApplication& app, bool available);
void SetScreenPixelsPerInch(TApplication& app, int pixelsPerInch);
// Moves the platform's clock on; it stands still otherwise.
void AdvanceClock(TApplication& app, unsigned milliseconds);

// The texts the label showed, one per repaint, in order.
const std::vector<std::string>& PaintedTexts(const TLabel& label);
// The positions the bar showed, one per repaint, in order.
const std::vector<int>& PaintedPositions(const TProgressBar& bar);
// The position the bar's control holds.
int ControlPosition(const TProgressBar& bar);

}  // namespace headless
