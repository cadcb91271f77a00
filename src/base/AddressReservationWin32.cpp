#include <windows.h>

#include <cstdint>
#include <new>

#include "base/AddressReservation.h"

void TAddressReservation::TRangeTraits::Close(void* ABase) {
  ::VirtualFree(ABase, 0, MEM_RELEASE);
}

bool TAddressReservation::Reserve(int64_t ABytes) {
  Release();
  if (ABytes <= 0 || static_cast<uint64_t>(ABytes) > SIZE_MAX) return false;
  void* base = ::VirtualAlloc(nullptr, static_cast<SIZE_T>(ABytes), MEM_RESERVE, PAGE_NOACCESS);
  if (!base) return false;
  FBase.reset(base);
  FSize = ABytes;
  return true;
}

void TAddressReservation::Commit(int64_t ABytes) {
  if (ABytes <= FCommitted) return;
  if (!FBase || ABytes > FSize) throw std::bad_alloc();
  // Only the part not yet given memory; the system rounds it out to whole pages.
  if (!::VirtualAlloc(Data() + FCommitted, static_cast<SIZE_T>(ABytes - FCommitted), MEM_COMMIT,
                      PAGE_READWRITE))
    throw std::bad_alloc();
  FCommitted = ABytes;
}

void TAddressReservation::Release() {
  FBase.reset();
  FSize = FCommitted = 0;
}
