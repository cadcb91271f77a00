#include "ui/Control.h"

#include "ui/ControlPeer.h"

TControl::TControl(TForm* parent) : FParent(parent) {
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

void TControl::SetBounds(int left, int top, int width, int height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  uipeer::SetBounds(*FPeer, left, top, width, height);
}
