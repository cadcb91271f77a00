// The curve check of public keys, against the curve's own generator and points just off it.
#include <gtest/gtest.h>

#include <string>

#include "trust/P256Point.h"

namespace {

std::array<uint8_t, 32> FromHex(const std::string& AHex) {
  std::array<uint8_t, 32> bytes{};
  for (size_t i = 0; i < 32; ++i)
    bytes[i] = static_cast<uint8_t>(std::stoi(AHex.substr(2 * i, 2), nullptr, 16));
  return bytes;
}

const std::string kGx = "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296";
const std::string kGy = "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5";
const std::string kPrime = "ffffffff00000001000000000000000000000000ffffffffffffffffffffffff";

TP256Point Point(const std::string& AX, const std::string& AY) {
  return {FromHex(AX), FromHex(AY)};
}

TEST(P256Point, TheGeneratorAndItsMirrorLieOnTheCurve) {
  EXPECT_TRUE(IsOnP256Curve(Point(kGx, kGy)));
  // (x, p - y) is the negated point, on the curve as well.
  const std::string negGy = "b01cbd1c01e58065711814b583f061e9d431cca994cea1313449bf97c840ae0a";
  EXPECT_TRUE(IsOnP256Curve(Point(kGx, negGy)));
}

TEST(P256Point, PointsOffTheCurveOrOutsideTheFieldAreRefused) {
  struct Case {
    const char* name;
    std::string x, y;
  } cases[] = {
      {"y one more", kGx, "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f6"},
      {"x one more", "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c297", kGy},
      {"the origin", std::string(64, '0'), std::string(64, '0')},
      {"x is the prime", kPrime, kGy},
      {"y is the prime", kGx, kPrime},
      {"all ones", std::string(64, 'f'), std::string(64, 'f')},
  };
  for (const Case& c : cases)
    EXPECT_FALSE(IsOnP256Curve(Point(c.x, c.y))) << c.name;
}

}  // namespace
