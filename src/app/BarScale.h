#pragma once

#include <cstdint>

// Byte counts of any 64-bit size on a progress bar whose range is an int: the bar stands for
// the total in units of 2^Shift bytes, the smallest unit that brings the total within the
// bar's range. Totals within it are shown in bytes, exactly.
class TBarScale {
 public:
  // The bytes the bar stands for. A negative total is kept as it is: the bar refuses it.
  void SetTotal(int64_t ABytes);
  int64_t Total() const { return FTotal; }
  int Shift() const { return FShift; }

  // The bar's maximum for the total.
  int Max() const;
  // The bar's position for a count of bytes, on the same scale; never past the int range
  // (the bar keeps it within its own).
  int PositionOf(int64_t ABytes) const;

 private:
  int64_t FTotal = 0;
  int FShift = 0;
};
