#pragma once

#include <cstdint>

#include "base/UniqueHandle.h"

// A range of address space reserved with no memory behind it, given memory from its start as a
// block inside it grows, so the block grows in place and its bytes are never copied. Windows
// has such reservations (VirtualAlloc); where the system has none, Reserve fails and callers
// keep to ordinary allocation. Linux needs none: realloc moves big blocks by remapping pages.
class TAddressReservation {
 public:
  TAddressReservation() = default;

  // Reserves the range; False when the system cannot (or does not need to). Releases any
  // earlier range first.
  bool Reserve(int64_t ABytes);
  // Gives the first bytes of the range memory (zero-filled on first use); raises std::bad_alloc
  // when the system refuses. Asking for less than before keeps what was given.
  void Commit(int64_t ABytes);
  // Gives the range back; its memory and contents go with it.
  void Release();

  uint8_t* Data() const { return static_cast<uint8_t*>(FBase.get()); }
  int64_t Size() const { return FSize; }
  explicit operator bool() const { return FBase.valid(); }

 private:
  struct TRangeTraits {
    using Type = void*;
    static void* Invalid() { return nullptr; }
    static void Close(void* ABase);
  };
  TUniqueHandle<TRangeTraits> FBase;
  int64_t FSize = 0;
  int64_t FCommitted = 0;
};
