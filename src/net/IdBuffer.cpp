#include "net/IdBuffer.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"
#include "net/IdStack.h"

TIdBuffer::TIdBuffer() : TIdBuffer(nullptr) {}

TIdBuffer::TIdBuffer(TIdBufferBytesRemoved onBytesRemoved)
    : FByteEncoding(&TextEncodingASCII()), FOnBytesRemoved(std::move(onBytesRemoved)) {
  TIdStack::IncUsage();
}

TIdBuffer::~TIdBuffer() {
  Clear();
  TIdStack::DecUsage();
}

void TIdBuffer::CheckRoom(int count) const {
  if (count > INT_MAX - FSize) throw EIdTooMuchDataInBuffer(RSTooMuchDataInBuffer);
}

// New storage of exactly `capacity` bytes holding the unconsumed bytes at its start.
void TIdBuffer::Reallocate(int capacity) {
  std::unique_ptr<uint8_t[]> storage;
  if (capacity > 0) {
    storage = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(capacity));
    if (FSize > 0)
      std::memcpy(storage.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
  }
  FBytes = std::move(storage);
  FCapacity = capacity;
  FHeadIndex = 0;
}

void TIdBuffer::CompactAndShrink() {
  if (FCapacity - FSize > FGrowthFactor) {
    Reallocate(FSize + FGrowthFactor);
    return;
  }
  if (FHeadIndex > 0) {
    std::memmove(FBytes.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
    FHeadIndex = 0;
  }
}

void TIdBuffer::Write(const TIdBytes& bytes, int length, int offset) {
  if (const auto range = ClampByteRange(static_cast<int>(bytes.size()), offset, length))
    Write(bytes.data() + range->Offset, range->Length);
}

void TIdBuffer::Write(const uint8_t* data, int count) {
  if (count <= 0) return;
  CheckRoom(count);
  if (FSize == 0) {
    // The new bytes become the storage, exactly as long as they are.
    FBytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(count));
    FCapacity = count;
    FHeadIndex = 0;
    std::memcpy(FBytes.get(), data, static_cast<size_t>(count));
    FSize = count;
    return;
  }
  if (FCapacity - FSize < count) {
    Reallocate(FSize + count + FGrowthFactor);
  } else if (FHeadIndex > 0) {
    std::memmove(FBytes.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
    FHeadIndex = 0;
  }
  std::memcpy(FBytes.get() + FSize, data, static_cast<size_t>(count));
  FSize += count;
}

uint8_t* TIdBuffer::Reserve(int room) {
  CheckRoom(room);
  if (FSize == 0) {
    if (FCapacity < room || !FBytes) {
      FBytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(room));
      FCapacity = room;
    }
    FHeadIndex = 0;
  } else if (FCapacity - FHeadIndex - FSize < room) {
    if (FCapacity - FSize < room) {
      const int64_t doubled = std::min<int64_t>(int64_t(FCapacity) * 2, INT_MAX);
      Reallocate(
          static_cast<int>(std::max<int64_t>(int64_t(FSize) + room + FGrowthFactor, doubled)));
    } else {
      std::memmove(FBytes.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
      FHeadIndex = 0;
    }
  }
  return FBytes.get() + FHeadIndex + FSize;
}

void TIdBuffer::Commit(int count) {
  if (count > 0) FSize += count;
  if (FSize == 0) Clear();
}

void TIdBuffer::Remove(int count) {
  if (count < 0) return;
  Drop(count);
  if (FOnBytesRemoved) FOnBytesRemoved(*this, count);
}

void TIdBuffer::Drop(int count) {
  if (count < FSize) {
    FHeadIndex += count;
    FSize -= count;
    if (FHeadIndex > FGrowthFactor) CompactAndShrink();
  } else {
    Clear();
  }
}

void TIdBuffer::RemoveUnreported(int count) {
  if (count >= 0) Drop(count);
}

void TIdBuffer::ExtractToBytes(TIdBytes& destination, int count, bool append) {
  if (count < 0) count = FSize;
  if (count == 0) return;
  if (count > FSize) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
  size_t at = 0;
  if (append) {
    at = destination.size();
    destination.resize(at + static_cast<size_t>(count));
  } else if (destination.size() < static_cast<size_t>(count)) {
    destination.resize(static_cast<size_t>(count));
  }
  std::memcpy(destination.data() + at, Data(), static_cast<size_t>(count));
  Remove(count);
}

void TIdBuffer::ExtractToStream(TStream& stream, int count) {
  if (count < 0) count = FSize;
  if (count > FSize) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
  CompactAndShrink();
  if (count == 0) return;
  stream.WriteBuffer(Data(), count);
  Remove(count);
}

std::string TIdBuffer::ExtractToString(int count, const TIdTextEncoding* encoding) {
  if (count < 0) count = FSize;
  if (count == 0) return {};
  if (count > FSize) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
  const TIdTextEncoding& enc = encoding ? *encoding : *FByteEncoding;
  std::string text = enc.GetString(Data(), static_cast<size_t>(count));
  Remove(count);
  return text;
}

int TIdBuffer::IndexOf(const TIdBytes& pattern, int start) const {
  if (FSize == 0) return -1;
  if (pattern.empty()) throw EIdException(RSBufferMissingTerminator);
  if (start < 0 || start >= FSize) throw EIdException(RSBufferInvalidStartPos);
  const int length = static_cast<int>(pattern.size());
  const uint8_t* data = Data();
  for (int p = start; p + length <= FSize;) {
    const void* hit =
        std::memchr(data + p, pattern[0], static_cast<size_t>(FSize - length + 1 - p));
    if (!hit) return -1;
    p = static_cast<int>(static_cast<const uint8_t*>(hit) - data);
    if (std::memcmp(data + p, pattern.data(), static_cast<size_t>(length)) == 0) return p;
    ++p;
  }
  return -1;
}

void TIdBuffer::Clear() {
  FBytes.reset();
  FCapacity = 0;
  FHeadIndex = 0;
  FSize = 0;
}
