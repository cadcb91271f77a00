// The curve check of P-256 points in plain integer arithmetic: a public key is checked once,
// when it is read, so a few hundred additions per multiplication cost nothing worth a faster
// reduction.

#include "trust/P256Point.h"

namespace {

// A number below 2^256 in four 64-bit limbs, least significant first.
using TNumber = std::array<uint64_t, 4>;

// The field's prime 2^256 - 2^224 + 2^192 + 2^96 - 1 and the curve's constant b.
constexpr TNumber kPrime = {0xFFFFFFFFFFFFFFFFull, 0x00000000FFFFFFFFull, 0x0000000000000000ull,
                            0xFFFFFFFF00000001ull};
constexpr TNumber kB = {0x3BCE3C3E27D2604Bull, 0x651D06B0CC53B0F6ull, 0xB3EBBD55769886BCull,
                        0x5AC635D8AA3A93E7ull};

TNumber FromBigEndian(const std::array<uint8_t, 32>& ABytes) {
  TNumber n{};
  for (int limb = 0; limb < 4; ++limb)
    for (int i = 0; i < 8; ++i)
      n[limb] |= static_cast<uint64_t>(ABytes[31 - (limb * 8 + i)]) << (8 * i);
  return n;
}

bool Less(const TNumber& a, const TNumber& b) {
  for (int i = 3; i >= 0; --i)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

// a - b over the limbs, wrapping; the borrow out is returned.
uint64_t SubtractInPlace(TNumber& a, const TNumber& b) {
  uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const uint64_t d = a[i] - b[i];
    const uint64_t out = d - borrow;
    borrow = (a[i] < b[i]) || (d < borrow) ? 1 : 0;
    a[i] = out;
  }
  return borrow;
}

// a + b over the limbs, wrapping; the carry out is returned.
uint64_t AddInPlace(TNumber& a, const TNumber& b) {
  uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    const uint64_t s = a[i] + b[i];
    const uint64_t out = s + carry;
    carry = (s < a[i]) || (out < s) ? 1 : 0;
    a[i] = out;
  }
  return carry;
}

// (a + b) mod p for a, b below p.
TNumber AddMod(const TNumber& a, const TNumber& b) {
  TNumber sum = a;
  const uint64_t carry = AddInPlace(sum, b);
  // The true sum is below 2p: one subtraction brings it below p.
  if (carry || !Less(sum, kPrime)) SubtractInPlace(sum, kPrime);
  return sum;
}

TNumber SubMod(const TNumber& a, const TNumber& b) {
  TNumber d = a;
  // Below zero: p added back, wrapping past 2^256 as the borrow did.
  if (SubtractInPlace(d, b)) AddInPlace(d, kPrime);
  return d;
}

// (a * b) mod p by doubling and adding over b's bits, from the most significant.
TNumber MulMod(const TNumber& a, const TNumber& b) {
  TNumber r{};
  for (int bit = 255; bit >= 0; --bit) {
    r = AddMod(r, r);
    if ((b[bit / 64] >> (bit % 64)) & 1) r = AddMod(r, a);
  }
  return r;
}

}  // namespace

bool IsOnP256Curve(const TP256Point& APoint) {
  const TNumber x = FromBigEndian(APoint.X);
  const TNumber y = FromBigEndian(APoint.Y);
  if (!Less(x, kPrime) || !Less(y, kPrime)) return false;
  const TNumber left = MulMod(y, y);
  const TNumber threeX = AddMod(AddMod(x, x), x);
  const TNumber right = AddMod(SubMod(MulMod(MulMod(x, x), x), threeX), kB);
  return left == right;
}
