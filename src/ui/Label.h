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

 protected:
  int AutoHeight() const override;

 private:
  std::string FCaption;
  TFont FFont;
};
