#include "ui/Label.h"

#include "ui/ControlPeer.h"
#include "ui/Form.h"

TLabel::TLabel(TForm& AParent) : TControl(&AParent) {
  FFont = AParent.Font;
  FPeer.reset(uipeer::CreateLabel(*this, AParent));
  uipeer::SetFont(*FPeer, FFont, AParent.ScreenPixelsPerInch());
}

TLabel::~TLabel() = default;

void TLabel::SetCaption(const std::string& ACaption) {
  FCaption = ACaption;
  uipeer::SetText(*FPeer, ACaption);
}

void TLabel::SetFont(const TFont& AFont) {
  FFont = AFont;
  uipeer::SetFont(*FPeer, FFont, FParent->ScreenPixelsPerInch());
}

void TLabel::Repaint() {
  uipeer::Repaint(*FPeer);
}

int TLabel::TextWidth(const std::string& AText) const {
  return uipeer::TextWidth(*FPeer, AText);
}

void TLabel::DensityChanged() {
  uipeer::SetFont(*FPeer, FFont, FParent->ScreenPixelsPerInch());
}

// The height of its text, but never less than its design height: font replacements may measure
// a pixel less than the font the window was designed with.
int TLabel::AutoHeight() const {
  const int text = uipeer::TextHeight(*FPeer);
  const int design = FParent->Scale(DesignHeight);
  return text > design ? text : design;
}
