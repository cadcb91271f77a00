#include "ui/Label.h"

#include "ui/ControlPeer.h"

TLabel::TLabel(TForm& parent) : TControl(&parent) {
  FFont = parent.Font;
  FPeer.reset(uipeer::CreateLabel(*this, parent));
  uipeer::SetFont(*FPeer, FFont, parent.ScreenPixelsPerInch());
}

TLabel::~TLabel() = default;

void TLabel::SetCaption(const std::string& caption) {
  FCaption = caption;
  uipeer::SetText(*FPeer, caption);
}

void TLabel::SetFont(const TFont& font) {
  FFont = font;
  uipeer::SetFont(*FPeer, FFont, FParent->ScreenPixelsPerInch());
}

void TLabel::Repaint() {
  uipeer::Repaint(*FPeer);
}

int TLabel::AutoHeight() const {
  return uipeer::TextHeight(*FPeer);
}
