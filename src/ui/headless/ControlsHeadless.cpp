#include <algorithm>
#include <cstdlib>

#include "ui/ControlPeer.h"
#include "ui/Label.h"
#include "ui/ProgressBar.h"
#include "ui/headless/HeadlessState.h"

// A control in memory: what it holds and what it last drew.
struct TControl::TPeer {
  std::string Text;
  TFont Font;
  int PixelsPerInch = 96;
  int Min = 0;
  int Max = 0;
  int Position = 0;
  bool Visible = false;
  std::vector<std::string> PaintedTexts;
  std::vector<int> PaintedPositions;
};

void TControl::TPeerDeleter::operator()(TControl::TPeer* peer) const noexcept {
  delete peer;
}

struct TTimer::TPeer {
  TTimer* Owner = nullptr;
};

void TTimer::TPeerDeleter::operator()(TTimer::TPeer* peer) const noexcept {
  delete peer;
}

namespace uipeer {

TControl::TPeer* CreateForm(TForm&) {
  return new TControl::TPeer;
}
TControl::TPeer* CreateLabel(TLabel&, TForm&) {
  return new TControl::TPeer;
}
TControl::TPeer* CreateProgressBar(TProgressBar&, TForm&) {
  return new TControl::TPeer;
}

TWinHandle Handle(const TControl::TPeer& peer) {
  return const_cast<TControl::TPeer*>(&peer);
}

void SetText(TControl::TPeer& peer, const std::string& text) {
  peer.Text = text;
}

void SetBounds(TControl::TPeer&, int, int, int, int) {}

void SetFont(TControl::TPeer& peer, const TFont& font, int pixelsPerInch) {
  peer.Font = font;
  peer.PixelsPerInch = pixelsPerInch;
}

// Tahoma's line height: 13 pixels for an 11-pixel character height; scaled in proportion.
int TextHeight(const TControl::TPeer& peer) {
  const int charHeight = std::abs(peer.Font.Height) * peer.PixelsPerInch;
  return (charHeight * 13 + 11 * 96 / 2) / (11 * 96);
}

void Repaint(TControl::TPeer& peer) {
  peer.PaintedTexts.push_back(peer.Text);
  peer.PaintedPositions.push_back(peer.Position);
}

// Nothing is marked in memory: a pending paint is recorded like any other.
void PaintPending(TControl::TPeer& peer) {
  Repaint(peer);
}

void SetRange(TControl::TPeer& peer, int min, int max) {
  peer.Min = min;
  peer.Max = max;
  peer.Position = std::clamp(peer.Position, min, std::max(min, max));
}

void SetPosition(TControl::TPeer& peer, int position) {
  peer.Position = position;
}

int ScreenPixelsPerInch() {
  return headless::State().PixelsPerInch;
}

uint64_t Milliseconds() {
  return Application ? headless::State().Milliseconds : 0;
}

void SetFrame(TControl::TPeer&, int, int, int) {}

void Show(TControl::TPeer& form) {
  form.Visible = true;
}
void Hide(TControl::TPeer& form) {
  form.Visible = false;
}
bool Visible(const TControl::TPeer& form) {
  return form.Visible;
}

TTimer::TPeer* CreateTimer(TTimer& timer) {
  return new TTimer::TPeer{&timer};
}

bool StartTimer(TTimer::TPeer& peer, unsigned) {
  auto& state = headless::State();
  if (!state.TimersAvailable) return false;
  state.ArmedTimers.push_back(peer.Owner);
  return true;
}

void StopTimer(TTimer::TPeer& peer) {
  if (!Application) return;
  auto& t = headless::State().ArmedTimers;
  t.erase(std::remove(t.begin(), t.end(), peer.Owner), t.end());
}

bool TimerArmed(const TTimer::TPeer& peer) {
  const auto& t = headless::State().ArmedTimers;
  return std::find(t.begin(), t.end(), peer.Owner) != t.end();
}

}  // namespace uipeer

namespace headless {

const std::vector<std::string>& PaintedTexts(const TLabel& label) {
  return label.Peer().PaintedTexts;
}

const std::vector<int>& PaintedPositions(const TProgressBar& bar) {
  return bar.Peer().PaintedPositions;
}

int ControlPosition(const TProgressBar& bar) {
  return bar.Peer().Position;
}

}  // namespace headless
