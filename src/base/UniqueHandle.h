#pragma once

#include <utility>

// Owns one operating-system handle and closes it exactly once. Traits give the handle type,
// its invalid value and how to close it:
//   struct Traits { using Type = ...; static Type Invalid(); static void Close(Type); };
// Close may instead be a member of a traits object given with the handle, for a handle that
// must be closed through the object it came from.
template <typename Traits>
class TUniqueHandle {
 public:
  using Type = typename Traits::Type;

  TUniqueHandle() noexcept : FHandle(Traits::Invalid()) {}
  explicit TUniqueHandle(Type h, Traits traits = {}) noexcept : FHandle(h), FTraits(traits) {}
  TUniqueHandle(TUniqueHandle&& other) noexcept
      : FHandle(other.release()), FTraits(other.FTraits) {}
  TUniqueHandle& operator=(TUniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      FTraits = other.FTraits;
      FHandle = other.release();
    }
    return *this;
  }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  ~TUniqueHandle() { reset(); }

  Type get() const noexcept { return FHandle; }
  bool valid() const noexcept { return FHandle != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  Type release() noexcept { return std::exchange(FHandle, Traits::Invalid()); }
  void reset(Type h = Traits::Invalid()) noexcept {
    const Type old = std::exchange(FHandle, h);
    if (old != Traits::Invalid()) FTraits.Close(old);
  }

 private:
  Type FHandle;
  [[no_unique_address]] Traits FTraits;
};
