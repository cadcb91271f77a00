#include <new>

#include "base/AddressReservation.h"

// Nothing is ever reserved here: realloc already grows big blocks without copying them.

void TAddressReservation::TRangeTraits::Close(void*) {}

bool TAddressReservation::Reserve(int64_t) {
  Release();
  return false;
}

void TAddressReservation::Commit(int64_t ABytes) {
  if (ABytes > 0) throw std::bad_alloc();
}

void TAddressReservation::Release() {
  FBase.reset();
  FSize = FCommitted = 0;
}
