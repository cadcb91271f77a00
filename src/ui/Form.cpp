#include "ui/Form.h"

#include <algorithm>

#include "ui/ControlPeer.h"

TForm::TForm() : TControl(nullptr) {
  FPeer.reset(uipeer::CreateForm(*this));
}

TForm::~TForm() {
  // Children are members of the derived form and are gone by now; forget any left.
  FChildren.clear();
}

void TForm::SetCaption(const std::string& ACaption) {
  FCaption = ACaption;
  uipeer::SetText(*FPeer, ACaption);
}

int TForm::ScreenPixelsPerInch() const {
  return uipeer::PixelsPerInch(*FPeer);
}

int TForm::Scale(int ADesignValue) const {
  // Rounded like MulDiv: the window was designed at 96 pixels per inch.
  const long long ppi = ScreenPixelsPerInch();
  const long long v = static_cast<long long>(ADesignValue) * ppi;
  return static_cast<int>(v >= 0 ? (v + 48) / 96 : -((-v + 48) / 96));
}

void TForm::Loaded() {
  uipeer::SetText(*FPeer, FCaption);
  ApplyFrame();
}

void TForm::DensityChanged() {
  for (TControl* c : FChildren)
    c->DensityChanged();
  ApplyFrame();
}

void TForm::ContentGrew() {
  ApplyFrame(false);
}

void TForm::ApplyFrame(bool ACentre) {
  const int border = Scale(BorderWidth);
  const int design = Scale(ClientWidth);
  // A translation may need more room than the English the window was designed with; beyond
  // twice the design width it is cut rather than the window made unwieldy.
  const int needed = std::max(ContentWidth(), uipeer::CaptionClientWidth(*FPeer, FCaption, border));
  const int w = std::max(design, std::min(needed, Scale(2 * ClientWidth)));
  SetBounds(0, 0, w, Scale(ClientHeight));
  // A font whose line is taller than the design's (a script's own font at a high density)
  // pushes the controls below it down: the client grows so none of them is cut.
  const int h = std::max(Scale(ClientHeight), Realign());
  SetBounds(0, 0, w, h);
  uipeer::SetFrame(*FPeer, w, h, border, ACentre);
}

int TForm::Realign() {
  // Controls aligned to the top are stacked in creation order across the full client width.
  int top = 0;
  const int width = Width();
  for (TControl* c : FChildren) {
    if (c->Align != TAlign::alTop) continue;
    const bool m = c->AlignWithMargins;
    const int left = m ? Scale(c->Margins.Left) : 0;
    const int right = m ? Scale(c->Margins.Right) : 0;
    top += m ? Scale(c->Margins.Top) : 0;
    const int height = c->AutoHeight();
    c->SetBounds(left, top, std::max(0, width - left - right), height);
    top += height + (m ? Scale(c->Margins.Bottom) : 0);
  }
  return top;
}

void TForm::Show() {
  uipeer::Show(*FPeer);
}

void TForm::Hide() {
  uipeer::Hide(*FPeer);
}

bool TForm::Visible() const {
  return uipeer::Visible(*FPeer);
}

void TForm::Close() {
  TCloseAction action = TCloseAction::caHide;
  if (OnClose) OnClose(this, action);
  if (action == TCloseAction::caNone) return;
  // Closing the main form ends the program; the window stays as it is until then.
  if (Application && Application->MainForm == this) {
    Application->Terminate();
    return;
  }
  if (action == TCloseAction::caHide || action == TCloseAction::caFree) Hide();
}

void TForm::AddChild(TControl* AChild) {
  FChildren.push_back(AChild);
}

void TForm::RemoveChild(TControl* AChild) {
  FChildren.erase(std::remove(FChildren.begin(), FChildren.end(), AChild), FChildren.end());
}
