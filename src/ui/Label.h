#pragma once

#include <string>

#include "ui/Control.h"

// A line of static text; it sizes its height to its font (at least its DesignHeight).
class TLabel : public TControl {
 public:
  explicit TLabel(TForm& AParent);
  ~TLabel() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& ACaption);
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& AFont);
  // Redraws the text at once, without waiting for the message loop.
  void Repaint();
  // The width of the text as one line in the label's font, in screen pixels.
  int TextWidth(const std::string& AText) const;

 protected:
  int AutoHeight() const override;
  void DensityChanged() override;

 private:
  std::string FCaption;
  TFont FFont;
};
