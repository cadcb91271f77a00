#include <windows.h>

#include <cstdint>
#include <new>

#include "base/AddressReservation.h"

void TAddressReservation::TRangeTraits::Close(void* base) {
  ::VirtualFree(base, 0, MEM_RELEASE);
}

bool TAddressReservation::Reserve(int64_t bytes) {
  Release();
  if (bytes <= 0 || static_cast<uint64_t>(bytes) > SIZE_MAX) return false;
  void* base = ::VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE, PAGE_NOACCESS);
  if (!base) return false;
  FBase.reset(base);
  FSize = bytes;
  return true;
}

void TAddressReservation::Commit(int64_t bytes) {
  if (bytes <= FCommitted) return;
  if (!FBase || bytes > FSize) throw std::bad_alloc();
  // Only the part not yet given memory; the system rounds it out to whole pages.
  if (!::VirtualAlloc(Data() + FCommitted, static_cast<SIZE_T>(bytes - FCommitted), MEM_COMMIT,
                      PAGE_READWRITE))
    throw std::bad_alloc();
  FCommitted = bytes;
}

void TAddressReservation::Release() {
  FBase.reset();
  FSize = FCommitted = 0;
}
