#pragma once

#include "ui/Control.h"

// A continuous (smooth) progress bar with the range Min to Max.
class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TForm& AParent);
  ~TProgressBar() override;

  int Min() const { return FMin; }
  int Max() const { return FMax; }
  // A maximum below Min raises EInvalidOperation "TProgressBar property out of range" and
  // leaves the range unchanged.
  void SetMax(int AValue);
  int Position() const { return FPosition; }
  // The position is kept within Min to Max.
  void SetPosition(int AValue);
  // Redraws the bar at once.
  void Repaint();

 private:
  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
};
