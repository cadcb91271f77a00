#include "ui/ProgressBar.h"

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
  if (FPosition > FMax) SetPosition(FMax);
}

void TProgressBar::SetPosition(int AValue) {
  if (AValue < FMin) AValue = FMin;
  if (AValue > FMax) AValue = FMax;
  FPosition = AValue;
  uipeer::SetPosition(*FPeer, FPosition);
}

void TProgressBar::Repaint() {
  uipeer::Repaint(*FPeer);
}
