#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "base/AddressReservation.h"
#include "base/Stream.h"

// A stream held in one contiguous block of memory. SetSize and SetCapacity allocate exactly,
// so a caller that knows the final size up front gets one allocation and no copy; writes past
// the capacity grow it geometrically.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;

  int64_t Read(void* ABuffer, int64_t ACount) override;
  int64_t Write(const void* ABuffer, int64_t ACount) override;
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override;
  int64_t Size() override { return FSize; }
  void SetSize(int64_t ANewSize) override;

  int64_t Capacity() const { return FCapacity; }
  // Never shrinks below the current size.
  void SetCapacity(int64_t ANewCapacity);
  void Clear();
  // Room for the block to grow up to that many bytes without moving, taken as address space
  // only where the system reserves it without memory behind it (Windows); there, growing past
  // a first part copies nothing. A hint: nothing happens where no room can be had.
  void ReserveAddressSpace(int64_t ABytes);
  // Has the pages of [offset, offset + count) of the block made present and writable now, so
  // that the writes to come take no page faults; a hint that does nothing where the system
  // offers no such call. Reading or writing the range is not affected.
  void Prefault(int64_t AOffset, int64_t ACount);

  uint8_t* Memory() { return FReserved ? FReserved.Data() : FMemory.get(); }
  const uint8_t* Memory() const { return FReserved ? FReserved.Data() : FMemory.get(); }

 private:
  struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  void Reallocate(int64_t ANewCapacity);

  // The block: in FMemory, or at the start of FReserved once address space has been reserved.
  std::unique_ptr<uint8_t, FreeDeleter> FMemory;
  TAddressReservation FReserved;
  int64_t FSize = 0;
  int64_t FCapacity = 0;
  int64_t FPosition = 0;
};
