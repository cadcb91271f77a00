#include "ui/ProgressBar.h"

#include <algorithm>

#include "base/Exception.h"
#include "ui/ControlPeer.h"

TProgressBar::TProgressBar(TForm& AParent) : TControl(&AParent) {
  FPeer.reset(uipeer::CreateProgressBar(*this, AParent));
  uipeer::SetRange(*FPeer, FMin, FMax);
  uipeer::SetPosition(*FPeer, FPosition);
}

TProgressBar::~TProgressBar() = default;

void TProgressBar::SetMax(int AValue) {
  if (AValue < FMin) throw EInvalidOperation("TProgressBar property out of range");
  FMax = AValue;
  uipeer::SetRange(*FPeer, FMin, FMax);
  // The control keeps its position inside the new range.
  FControlPosition = Clamped(FControlPosition);
  if (FPosition > FMax) SetPosition(FMax);
}

int TProgressBar::Clamped(int AValue) const {
  return std::clamp(AValue, FMin, std::max(FMin, FMax));
}

void TProgressBar::SetPosition(int AValue) {
  FPosition = Clamped(AValue);
  FControlPosition = FPosition;
  uipeer::SetPosition(*FPeer, FPosition);
}

void TProgressBar::Repaint() {
  uipeer::Repaint(*FPeer);
}

int TProgressBar::DrawnLength(int APosition) const {
  const int64_t range = int64_t{FMax} - FMin;
  if (range <= 0) return 0;
  // The platform's bar draws inside a one-pixel frame.
  const int64_t inner = std::max(Width() - 2, 1);
  return static_cast<int>((int64_t{APosition} - FMin) * inner / range);
}

void TProgressBar::UpdateControl(uint64_t ANow) {
  FControlPosition = FPosition;
  FControlUpdated = ANow;
  uipeer::SetPosition(*FPeer, FPosition);
  // The control marks the stretch that changed; painting just that is enough and, under
  // Wine, half the work of repainting the whole bar.
  uipeer::PaintPending(*FPeer);
}

void TProgressBar::ShowPosition(int AValue) {
  FPosition = Clamped(AValue);
  if (FPosition == FControlPosition) return;
  const uint64_t now = uipeer::Milliseconds();
  if (DrawnLength(FPosition) != DrawnLength(FControlPosition) || FPosition == FMax ||
      now - FControlUpdated >= HoldBackMilliseconds)
    UpdateControl(now);
}

void TProgressBar::ShowHeldBackPosition() {
  if (FPosition != FControlPosition) UpdateControl(uipeer::Milliseconds());
}
