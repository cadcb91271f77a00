#include "ui/Control.h"

#include "ui/ControlPeer.h"

TControl::TControl(TForm* AParent) : FParent(AParent) {
  if (FParent) FParent->AddChild(this);
}

TControl::~TControl() {
  if (FParent) FParent->RemoveChild(this);
}

TWinHandle TControl::Handle() const {
  return uipeer::Handle(*FPeer);
}

int TControl::AutoHeight() const {
  return FParent ? FParent->Scale(DesignHeight) : DesignHeight;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  uipeer::SetBounds(*FPeer, ALeft, ATop, AWidth, AHeight);
}
