#pragma once

// The platform half of the window services. Each platform (win32/, headless/) defines these;
// the common half (Form.cpp, Label.cpp, ProgressBar.cpp, Timer.cpp) holds the rules.

#include <cstdint>
#include <string>

#include "ui/Control.h"
#include "ui/Form.h"
#include "ui/Timer.h"

class TLabel;
class TProgressBar;

namespace uipeer {

TControl::TPeer* CreateForm(TForm& form);
TControl::TPeer* CreateLabel(TLabel& label, TForm& parent);
TControl::TPeer* CreateProgressBar(TProgressBar& bar, TForm& parent);

TWinHandle Handle(const TControl::TPeer& peer);
void SetText(TControl::TPeer& peer, const std::string& text);
void SetBounds(TControl::TPeer& peer, int left, int top, int width, int height);
void SetFont(TControl::TPeer& peer, const TFont& font, int pixelsPerInch);
// The height of one line of text in the control's font, in screen pixels.
int TextHeight(const TControl::TPeer& peer);
void Repaint(TControl::TPeer& peer);
// Paints at once the parts of the control marked for painting (by its own changes), no more.
void PaintPending(TControl::TPeer& peer);
void SetRange(TControl::TPeer& peer, int min, int max);
void SetPosition(TControl::TPeer& peer, int position);

int ScreenPixelsPerInch();
// Milliseconds of a steady clock (the headless platform's clock moves only when a test moves it).
uint64_t Milliseconds();
// Gives the form a client area of that size inside a border of that width (screen pixels)
// and centres it on the screen.
void SetFrame(TControl::TPeer& form, int clientWidth, int clientHeight, int borderWidth);
void Show(TControl::TPeer& form);
void Hide(TControl::TPeer& form);
bool Visible(const TControl::TPeer& form);

TTimer::TPeer* CreateTimer(TTimer& timer);
// False when the platform refuses the timer.
bool StartTimer(TTimer::TPeer& peer, unsigned interval);
void StopTimer(TTimer::TPeer& peer);
bool TimerArmed(const TTimer::TPeer& peer);

}  // namespace uipeer
