#pragma once

#include <cstdint>
#include <initializer_list>

// A set of values of a small enumeration (at most 64 values, numbered from 0).
template <typename E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> AValues) {
    for (E v : AValues)
      FBits |= Bit(v);
  }

  constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool operator==(const TEnumSet&) const = default;

 private:
  static constexpr uint64_t Bit(E v) { return uint64_t{1} << static_cast<unsigned>(v); }
  uint64_t FBits = 0;
};
