#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/Exception.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

int64_t TMemoryStream::Read(void* ABuffer, int64_t ACount) {
  const int64_t n = ReadableCount(FPosition, FSize, ACount);
  if (n == 0) return 0;
  std::memcpy(ABuffer, Memory() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0 || FPosition < 0) return 0;
  const int64_t end = FPosition + ACount;
  if (end > FCapacity) Reallocate(std::max(end, FCapacity + FCapacity / 2));
  if (FPosition > FSize) std::memset(Memory() + FSize, 0, static_cast<size_t>(FPosition - FSize));
  std::memcpy(Memory() + FPosition, ABuffer, static_cast<size_t>(ACount));
  FPosition = end;
  if (end > FSize) FSize = end;
  return ACount;
}

int64_t TMemoryStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  FPosition = SeekTarget(FPosition, FSize, AOffset, AOrigin);
  return FPosition;
}

void TMemoryStream::SetSize(int64_t ANewSize) {
  if (ANewSize < 0) throw EStreamError("Invalid stream size");
  if (ANewSize > FCapacity) Reallocate(ANewSize);
  FSize = ANewSize;
  if (FPosition > ANewSize) FPosition = ANewSize;
}

void TMemoryStream::SetCapacity(int64_t ANewCapacity) {
  Reallocate(std::max(ANewCapacity, FSize));
}

void TMemoryStream::Clear() {
  FMemory.reset();
  FReserved.Release();
  FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::ReserveAddressSpace(int64_t ABytes) {
  if (ABytes <= FCapacity || FReserved) return;
  TAddressReservation room;
  if (!room.Reserve(ABytes)) return;
  room.Commit(FCapacity);
  if (FSize > 0) std::memcpy(room.Data(), FMemory.get(), static_cast<size_t>(FSize));
  FMemory.reset();
  FReserved = std::move(room);
}

void TMemoryStream::Prefault(int64_t AOffset, int64_t ACount) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Whole pages inside the range only, so that nothing outside the block is touched.
  AOffset = std::max<int64_t>(AOffset, 0);
  if (!Memory() || ACount <= 0 || AOffset >= FCapacity) return;
  const int64_t end = AOffset + std::min(ACount, FCapacity - AOffset);
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = (reinterpret_cast<uintptr_t>(Memory() + AOffset) + page - 1) & ~(page - 1);
  const auto last = reinterpret_cast<uintptr_t>(Memory() + end) & ~(page - 1);
  // Only a hint: a kernel without the advice leaves the pages to fault in on first write.
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)AOffset;
  (void)ACount;
#endif
}

void TMemoryStream::Reallocate(int64_t ANewCapacity) {
  if (ANewCapacity == FCapacity) return;
  if (ANewCapacity == 0) {
    FMemory.reset();
    FReserved.Release();
    FCapacity = 0;
    return;
  }
  if (FReserved) {
    if (ANewCapacity <= FReserved.Size()) {
      FReserved.Commit(ANewCapacity);
      FCapacity = ANewCapacity;
      return;
    }
    // Past the reserved room: into ordinary memory, which grows as usual from then on.
    std::unique_ptr<uint8_t, FreeDeleter> p(
        static_cast<uint8_t*>(std::malloc(static_cast<size_t>(ANewCapacity))));
    if (!p) throw std::bad_alloc();
    std::memcpy(p.get(), FReserved.Data(), static_cast<size_t>(std::min(FSize, ANewCapacity)));
    FReserved.Release();
    FMemory = std::move(p);
    FCapacity = ANewCapacity;
    return;
  }
  // realloc keeps the contents and, for large blocks, usually moves pages instead of bytes.
  void* p = std::realloc(FMemory.get(), static_cast<size_t>(ANewCapacity));
  if (!p) throw std::bad_alloc();
  (void)FMemory.release();
  FMemory.reset(static_cast<uint8_t*>(p));
  FCapacity = ANewCapacity;
}
