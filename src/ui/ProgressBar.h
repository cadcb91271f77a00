#pragma once

#include <cstdint>

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
  // The position as last set, exact even while ShowPosition holds it back from the screen.
  int Position() const { return FPosition; }
  // The position is kept within Min to Max.
  void SetPosition(int AValue);
  // Redraws the bar at once.
  void Repaint();

  // SetPosition with the bar shown at once, for a bar that moves many times a second: the
  // position is kept exactly, but the control is set and painted only when that shows: when
  // the drawn length of the bar changes, when the control was last brought up to date
  // HoldBackMilliseconds ago or more, or when the position reaches Max. Each touch of the
  // control costs round trips to the window system.
  void ShowPosition(int AValue);
  // Sets and paints the control when ShowPosition held a position back: the end of a run of
  // moves.
  void ShowHeldBackPosition();
  static constexpr uint64_t HoldBackMilliseconds = 30;

 private:
  int Clamped(int AValue) const;
  // Pixels of the bar's filled part at that position, over the length inside its frame.
  int DrawnLength(int APosition) const;
  void UpdateControl(uint64_t ANow);

  int FMin = 0;
  int FMax = 100;
  int FPosition = 0;
  // What the control was last given, and when (uipeer::Milliseconds).
  int FControlPosition = 0;
  uint64_t FControlUpdated = 0;
};
