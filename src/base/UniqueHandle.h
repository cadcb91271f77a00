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
  explicit TUniqueHandle(Type h, Traits ATraits = {}) noexcept : FHandle(h), FTraits(ATraits) {}
  TUniqueHandle(TUniqueHandle&& AOther) noexcept
      : FHandle(AOther.release()), FTraits(AOther.FTraits) {}
  TUniqueHandle& operator=(TUniqueHandle&& AOther) noexcept {
    if (this != &AOther) {
      reset();
      FTraits = AOther.FTraits;
      FHandle = AOther.release();
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

// The traits of the common kind: a handle that is null when there is none and that one
// function of the system closes.
template <typename T, auto ACloseFunction>
struct TNullHandleTraits {
  using Type = T;
  static T Invalid() { return nullptr; }
  static void Close(T AHandle) { ACloseFunction(AHandle); }
};
