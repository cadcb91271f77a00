#include <algorithm>
#include <cstdlib>

#include "base/Utf.h"
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

void TControl::TPeerDeleter::operator()(TControl::TPeer* APeer) const noexcept {
  delete APeer;
}

struct TTimer::TPeer {
  TTimer* Owner = nullptr;
};

void TTimer::TPeerDeleter::operator()(TTimer::TPeer* APeer) const noexcept {
  delete APeer;
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

TWinHandle Handle(const TControl::TPeer& APeer) {
  return const_cast<TControl::TPeer*>(&APeer);
}

void SetText(TControl::TPeer& APeer, const std::string& AText) {
  APeer.Text = AText;
}

void SetBounds(TControl::TPeer&, int, int, int, int) {}

void SetFont(TControl::TPeer& APeer, const TFont& AFont, int APixelsPerInch) {
  APeer.Font = AFont;
  APeer.PixelsPerInch = APixelsPerInch;
}

// Tahoma's line height: 13 pixels for an 11-pixel character height; scaled in proportion.
int TextHeight(const TControl::TPeer& APeer) {
  const int charHeight = std::abs(APeer.Font.Height) * APeer.PixelsPerInch;
  return (charHeight * 13 + 11 * 96 / 2) / (11 * 96);
}

namespace {

// A line's width in a model of Tahoma at 96 pixels per inch for an 11-pixel character height:
// 5 pixels a character (6 in bold), 11 for the wide characters of Chinese, Japanese and Korean.
int ModelWidth(const std::string& AText, const TFont& AFont, int APixelsPerInch) {
  long long width = 0;
  for (char16_t c : Utf8ToUtf16(AText))
    width += c >= 0x2E80 ? 11 : (AFont.Bold ? 6 : 5);
  const long long scale = static_cast<long long>(std::abs(AFont.Height)) * APixelsPerInch;
  return static_cast<int>((width * scale + 11 * 96 / 2) / (11 * 96));
}

}  // namespace

int TextWidth(const TControl::TPeer& APeer, const std::string& AText) {
  return ModelWidth(AText, APeer.Font, APeer.PixelsPerInch);
}

// The title bar in the same model: the caption in bold, with 40 design pixels for the icon and
// the close button and 2 for the frame on each side.
int CaptionClientWidth(const TControl::TPeer&, const std::string& ACaption, int ABorderWidth) {
  const int ppi = headless::State().PixelsPerInch;
  TFont caption;
  caption.Bold = true;
  return ModelWidth(ACaption, caption, ppi) + (44 * ppi + 48) / 96 - 2 * ABorderWidth;
}

void Repaint(TControl::TPeer& APeer) {
  APeer.PaintedTexts.push_back(APeer.Text);
  APeer.PaintedPositions.push_back(APeer.Position);
}

// Nothing is marked in memory: a pending paint is recorded like any other.
void PaintPending(TControl::TPeer& APeer) {
  Repaint(APeer);
}

void SetRange(TControl::TPeer& APeer, int AMin, int AMax) {
  APeer.Min = AMin;
  APeer.Max = AMax;
  APeer.Position = std::clamp(APeer.Position, AMin, std::max(AMin, AMax));
}

void SetPosition(TControl::TPeer& APeer, int APosition) {
  APeer.Position = APosition;
}

int PixelsPerInch(const TControl::TPeer&) {
  return headless::State().PixelsPerInch;
}

uint64_t Milliseconds() {
  return Application ? headless::State().Milliseconds : 0;
}

void SetFrame(TControl::TPeer&, int, int, int, bool) {}

void Show(TControl::TPeer& AForm) {
  AForm.Visible = true;
}
void Hide(TControl::TPeer& AForm) {
  AForm.Visible = false;
}
bool Visible(const TControl::TPeer& AForm) {
  return AForm.Visible;
}

TTimer::TPeer* CreateTimer(TTimer& ATimer) {
  return new TTimer::TPeer{&ATimer};
}

bool StartTimer(TTimer::TPeer& APeer, unsigned) {
  auto& state = headless::State();
  if (!state.TimersAvailable) return false;
  state.ArmedTimers.push_back(APeer.Owner);
  return true;
}

void StopTimer(TTimer::TPeer& APeer) {
  if (!Application) return;
  auto& t = headless::State().ArmedTimers;
  t.erase(std::remove(t.begin(), t.end(), APeer.Owner), t.end());
}

bool TimerArmed(const TTimer::TPeer& APeer) {
  const auto& t = headless::State().ArmedTimers;
  return std::find(t.begin(), t.end(), APeer.Owner) != t.end();
}

}  // namespace uipeer

namespace headless {

const std::vector<std::string>& PaintedTexts(const TLabel& ALabel) {
  return ALabel.Peer().PaintedTexts;
}

const std::vector<int>& PaintedPositions(const TProgressBar& ABar) {
  return ABar.Peer().PaintedPositions;
}

int ControlPosition(const TProgressBar& ABar) {
  return ABar.Peer().Position;
}

}  // namespace headless
