#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Stream.h"
#include "net/IdGlobal.h"
#include "net/IdTextEncoding.h"

// A growable first-in, first-out byte store. Consuming bytes moves a head index; the storage
// is compacted only once more than FGrowthFactor bytes have been consumed from its front,
// before a stream extraction and before an append to a non-empty queue. Every removal is
// reported to the owner's notification. A queue is used by one thread at a time.
class TIdBuffer {
 public:
  using TIdBufferBytesRemoved = std::function<void(TIdBuffer& ASender, int ACount)>;

  TIdBuffer();
  explicit TIdBuffer(TIdBufferBytesRemoved AOnBytesRemoved);
  ~TIdBuffer();
  TIdBuffer(const TIdBuffer&) = delete;
  TIdBuffer& operator=(const TIdBuffer&) = delete;

  int Size() const { return FSize; }
  int Capacity() const { return FCapacity; }
  int GrowthFactor() const { return FGrowthFactor; }

  // Appends length bytes of bytes from offset (length -1: to the end).
  void Write(const TIdBytes& ABytes, int ALength = -1, int AOffset = 0);
  void Write(const uint8_t* AData, int ACount);
  // Removes count bytes from the head (all of them when count >= Size) and reports count.
  void Remove(int ACount);
  // Removes count bytes without reporting them: their owner counts them elsewhere.
  void RemoveUnreported(int ACount);
  // Takes count bytes (all for -1) from the head. append: after the end of destination;
  // otherwise at its start, enlarging it when needed but never shrinking it.
  void ExtractToBytes(TIdBytes& ADestination, int ACount = -1, bool AAppend = true);
  void ExtractToStream(TStream& AStream, int ACount = -1);
  // Decodes with the encoding passed, else the queue's own (ASCII).
  std::string ExtractToString(int ACount = -1, const TIdTextEncoding* AEncoding = nullptr);
  // The first position from start (counted from the head) where the whole pattern lies, or -1.
  int IndexOf(const TIdBytes& APattern, int AStart = 0) const;
  // Releases the storage without reporting a removal.
  void Clear();

  // The bytes not yet consumed, Size of them.
  const uint8_t* Data() const { return FBytes.get() + FHeadIndex; }

  // A receive straight into the queue: room for up to `room` more bytes after the others,
  // then Commit with the count that arrived. Growth here is geometric, so a line that keeps
  // arriving is not copied over and over.
  uint8_t* Reserve(int ARoom);
  void Commit(int ACount);

 private:
  void Drop(int ACount);
  void CheckRoom(int ACount) const;
  void Reallocate(int ACapacity);
  void CompactAndShrink();

  std::unique_ptr<uint8_t[]> FBytes;
  int FCapacity = 0;
  const TIdTextEncoding* FByteEncoding;
  int FGrowthFactor = 2048;
  int FHeadIndex = 0;
  TIdBufferBytesRemoved FOnBytesRemoved;
  int FSize = 0;
};
