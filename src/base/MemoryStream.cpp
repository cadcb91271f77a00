#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/Exception.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min(count, FSize - FPosition);
  std::memcpy(buffer, Memory() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  const int64_t end = FPosition + count;
  if (end > FCapacity) Reallocate(std::max(end, FCapacity + FCapacity / 2));
  if (FPosition > FSize) std::memset(Memory() + FSize, 0, static_cast<size_t>(FPosition - FSize));
  std::memcpy(Memory() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  if (end > FSize) FSize = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning:
      FPosition = offset;
      break;
    case TSeekOrigin::soCurrent:
      FPosition += offset;
      break;
    case TSeekOrigin::soEnd:
      FPosition = FSize + offset;
      break;
  }
  return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  if (newSize > FCapacity) Reallocate(newSize);
  FSize = newSize;
  if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::SetCapacity(int64_t newCapacity) {
  Reallocate(std::max(newCapacity, FSize));
}

void TMemoryStream::Clear() {
  FMemory.reset();
  FReserved.Release();
  FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::ReserveAddressSpace(int64_t bytes) {
  if (bytes <= FCapacity || FReserved) return;
  TAddressReservation room;
  if (!room.Reserve(bytes)) return;
  room.Commit(FCapacity);
  if (FSize > 0) std::memcpy(room.Data(), FMemory.get(), static_cast<size_t>(FSize));
  FMemory.reset();
  FReserved = std::move(room);
}

void TMemoryStream::Prefault(int64_t offset, int64_t count) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  // Whole pages inside the range only, so that nothing outside the block is touched.
  offset = std::max<int64_t>(offset, 0);
  if (!Memory() || count <= 0 || offset >= FCapacity) return;
  const int64_t end = offset + std::min(count, FCapacity - offset);
  const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = (reinterpret_cast<uintptr_t>(Memory() + offset) + page - 1) & ~(page - 1);
  const auto last = reinterpret_cast<uintptr_t>(Memory() + end) & ~(page - 1);
  // Only a hint: a kernel without the advice leaves the pages to fault in on first write.
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)offset;
  (void)count;
#endif
}

void TMemoryStream::Reallocate(int64_t newCapacity) {
  if (newCapacity == FCapacity) return;
  if (newCapacity == 0) {
    FMemory.reset();
    FReserved.Release();
    FCapacity = 0;
    return;
  }
  if (FReserved) {
    if (newCapacity <= FReserved.Size()) {
      FReserved.Commit(newCapacity);
      FCapacity = newCapacity;
      return;
    }
    // Past the reserved room: into ordinary memory, which grows as usual from then on.
    std::unique_ptr<uint8_t, FreeDeleter> p(
        static_cast<uint8_t*>(std::malloc(static_cast<size_t>(newCapacity))));
    if (!p) throw std::bad_alloc();
    std::memcpy(p.get(), FReserved.Data(), static_cast<size_t>(std::min(FSize, newCapacity)));
    FReserved.Release();
    FMemory = std::move(p);
    FCapacity = newCapacity;
    return;
  }
  // realloc keeps the contents and, for large blocks, usually moves pages instead of bytes.
  void* p = std::realloc(FMemory.get(), static_cast<size_t>(newCapacity));
  if (!p) throw std::bad_alloc();
  (void)FMemory.release();
  FMemory.reset(static_cast<uint8_t*>(p));
  FCapacity = newCapacity;
}
