#include "ui/ProgressBar.h"

#include "base/Exception.h"
#include "ui/ControlPeer.h"

TProgressBar::TProgressBar(TForm& parent) : TControl(&parent) {
  FPeer.reset(uipeer::CreateProgressBar(*this, parent));
  uipeer::SetRange(*FPeer, FMin, FMax);
  uipeer::SetPosition(*FPeer, FPosition);
}

TProgressBar::~TProgressBar() = default;

void TProgressBar::SetMax(int value) {
  if (value < FMin) throw EInvalidOperation("TProgressBar property out of range");
  FMax = value;
  uipeer::SetRange(*FPeer, FMin, FMax);
  // The control keeps its position inside the new range.
  if (FPosition > FMax) SetPosition(FMax);
}

void TProgressBar::SetPosition(int value) {
  if (value < FMin) value = FMin;
  if (value > FMax) value = FMax;
  FPosition = value;
  uipeer::SetPosition(*FPeer, FPosition);
}

void TProgressBar::Repaint() {
  uipeer::Repaint(*FPeer);
}
