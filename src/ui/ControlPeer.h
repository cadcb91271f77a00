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

TControl::TPeer* CreateForm(TForm& AForm);
TControl::TPeer* CreateLabel(TLabel& ALabel, TForm& AParent);
TControl::TPeer* CreateProgressBar(TProgressBar& ABar, TForm& AParent);

TWinHandle Handle(const TControl::TPeer& APeer);
void SetText(TControl::TPeer& APeer, const std::string& AText);
void SetBounds(TControl::TPeer& APeer, int ALeft, int ATop, int AWidth, int AHeight);
void SetFont(TControl::TPeer& APeer, const TFont& AFont, int APixelsPerInch);
// The height of one line of text in the control's font, in screen pixels.
int TextHeight(const TControl::TPeer& APeer);
// The width of the text as one line in the control's font, in screen pixels.
int TextWidth(const TControl::TPeer& APeer, const std::string& AText);
void Repaint(TControl::TPeer& APeer);
// Paints at once the parts of the control marked for painting (by its own changes), no more.
void PaintPending(TControl::TPeer& APeer);
void SetRange(TControl::TPeer& APeer, int AMin, int AMax);
void SetPosition(TControl::TPeer& APeer, int APosition);

// The density of the screen the form is on (it follows the form to another screen).
int PixelsPerInch(const TControl::TPeer& AForm);
// The client width a form with a border of that width (screen pixels) needs for its title bar
// to show the caption whole beside its icon and close button.
int CaptionClientWidth(const TControl::TPeer& AForm, const std::string& ACaption, int ABorderWidth);
// Milliseconds of a steady clock (the headless platform's clock moves only when a test moves it).
uint64_t Milliseconds();
// Gives the form a client area of that size inside a border of that width (screen pixels),
// centred on the screen (ACentre) or where the form is.
void SetFrame(TControl::TPeer& AForm, int AClientWidth, int AClientHeight, int ABorderWidth,
              bool ACentre);
void Show(TControl::TPeer& AForm);
void Hide(TControl::TPeer& AForm);
bool Visible(const TControl::TPeer& AForm);

TTimer::TPeer* CreateTimer(TTimer& ATimer);
// False when the platform refuses the timer.
bool StartTimer(TTimer::TPeer& APeer, unsigned AInterval);
void StopTimer(TTimer::TPeer& APeer);
bool TimerArmed(const TTimer::TPeer& APeer);

}  // namespace uipeer
