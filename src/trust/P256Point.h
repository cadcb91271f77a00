#pragma once

#include <array>
#include <cstdint>

// A point of the NIST P-256 curve as public keys carry it: X and Y, 32 bytes each, big-endian.
struct TP256Point {
  std::array<uint8_t, 32> X{};
  std::array<uint8_t, 32> Y{};
};

// True when both coordinates lie below the field's prime and the point satisfies the curve's
// equation y^2 = x^3 - 3x + b. The platforms' libraries do not all check this on import (CNG
// takes a point off the curve without complaint), and a key off the curve must never be used.
bool IsOnP256Curve(const TP256Point& APoint);
