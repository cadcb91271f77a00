#include "net/IdBuffer.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "net/IdExceptionCore.h"
#include "net/IdResourceStrings.h"
#include "net/IdStack.h"

TIdBuffer::TIdBuffer() : TIdBuffer(nullptr) {}

TIdBuffer::TIdBuffer(TIdBufferBytesRemoved AOnBytesRemoved)
    : FByteEncoding(&TextEncodingASCII()), FOnBytesRemoved(std::move(AOnBytesRemoved)) {
  TIdStack::IncUsage();
}

TIdBuffer::~TIdBuffer() {
  Clear();
  TIdStack::DecUsage();
}

void TIdBuffer::CheckRoom(int ACount) const {
  if (ACount > INT_MAX - FSize) throw EIdTooMuchDataInBuffer(RSTooMuchDataInBuffer);
}

// New storage of exactly `capacity` bytes holding the unconsumed bytes at its start.
void TIdBuffer::Reallocate(int ACapacity) {
  std::unique_ptr<uint8_t[]> storage;
  if (ACapacity > 0) {
    storage = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(ACapacity));
    if (FSize > 0)
      std::memcpy(storage.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
  }
  FBytes = std::move(storage);
  FCapacity = ACapacity;
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

void TIdBuffer::Write(const TIdBytes& ABytes, int ALength, int AOffset) {
  if (const auto range = ClampByteRange(static_cast<int>(ABytes.size()), AOffset, ALength))
    Write(ABytes.data() + range->Offset, range->Length);
}

void TIdBuffer::Write(const uint8_t* AData, int ACount) {
  if (ACount <= 0) return;
  CheckRoom(ACount);
  if (FSize == 0) {
    // The new bytes become the storage, exactly as long as they are.
    FBytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(ACount));
    FCapacity = ACount;
    FHeadIndex = 0;
    std::memcpy(FBytes.get(), AData, static_cast<size_t>(ACount));
    FSize = ACount;
    return;
  }
  if (FCapacity - FSize < ACount) {
    Reallocate(FSize + ACount + FGrowthFactor);
  } else if (FHeadIndex > 0) {
    std::memmove(FBytes.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
    FHeadIndex = 0;
  }
  std::memcpy(FBytes.get() + FSize, AData, static_cast<size_t>(ACount));
  FSize += ACount;
}

uint8_t* TIdBuffer::Reserve(int ARoom) {
  CheckRoom(ARoom);
  if (FSize == 0) {
    if (FCapacity < ARoom || !FBytes) {
      FBytes = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(ARoom));
      FCapacity = ARoom;
    }
    FHeadIndex = 0;
  } else if (FCapacity - FHeadIndex - FSize < ARoom) {
    if (FCapacity - FSize < ARoom) {
      const int64_t doubled = std::min<int64_t>(int64_t(FCapacity) * 2, INT_MAX);
      Reallocate(
          static_cast<int>(std::max<int64_t>(int64_t(FSize) + ARoom + FGrowthFactor, doubled)));
    } else {
      std::memmove(FBytes.get(), FBytes.get() + FHeadIndex, static_cast<size_t>(FSize));
      FHeadIndex = 0;
    }
  }
  return FBytes.get() + FHeadIndex + FSize;
}

void TIdBuffer::Commit(int ACount) {
  if (ACount > 0) FSize += ACount;
  if (FSize == 0) Clear();
}

void TIdBuffer::Remove(int ACount) {
  if (ACount < 0) return;
  Drop(ACount);
  if (FOnBytesRemoved) FOnBytesRemoved(*this, ACount);
}

void TIdBuffer::Drop(int ACount) {
  if (ACount < FSize) {
    FHeadIndex += ACount;
    FSize -= ACount;
    if (FHeadIndex > FGrowthFactor) CompactAndShrink();
  } else {
    Clear();
  }
}

void TIdBuffer::RemoveUnreported(int ACount) {
  if (ACount >= 0) Drop(ACount);
}

void TIdBuffer::ExtractToBytes(TIdBytes& ADestination, int ACount, bool AAppend) {
  if (ACount < 0) ACount = FSize;
  if (ACount == 0) return;
  if (ACount > FSize) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
  size_t at = 0;
  if (AAppend) {
    at = ADestination.size();
    ADestination.resize(at + static_cast<size_t>(ACount));
  } else if (ADestination.size() < static_cast<size_t>(ACount)) {
    ADestination.resize(static_cast<size_t>(ACount));
  }
  std::memcpy(ADestination.data() + at, Data(), static_cast<size_t>(ACount));
  Remove(ACount);
}

void TIdBuffer::ExtractToStream(TStream& AStream, int ACount) {
  if (ACount < 0) ACount = FSize;
  if (ACount > FSize) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
  CompactAndShrink();
  if (ACount == 0) return;
  AStream.WriteBuffer(Data(), ACount);
  Remove(ACount);
}

std::string TIdBuffer::ExtractToString(int ACount, const TIdTextEncoding* AEncoding) {
  if (ACount < 0) ACount = FSize;
  if (ACount == 0) return {};
  if (ACount > FSize) throw EIdNotEnoughDataInBuffer(RSNotEnoughDataInBuffer);
  const TIdTextEncoding& enc = AEncoding ? *AEncoding : *FByteEncoding;
  std::string text = enc.GetString(Data(), static_cast<size_t>(ACount));
  Remove(ACount);
  return text;
}

int TIdBuffer::IndexOf(const TIdBytes& APattern, int AStart) const {
  if (FSize == 0) return -1;
  if (APattern.empty()) throw EIdException(RSBufferMissingTerminator);
  if (AStart < 0 || AStart >= FSize) throw EIdException(RSBufferInvalidStartPos);
  const int length = static_cast<int>(APattern.size());
  const uint8_t* data = Data();
  for (int p = AStart; p + length <= FSize;) {
    const void* hit =
        std::memchr(data + p, APattern[0], static_cast<size_t>(FSize - length + 1 - p));
    if (!hit) return -1;
    p = static_cast<int>(static_cast<const uint8_t*>(hit) - data);
    if (std::memcmp(data + p, APattern.data(), static_cast<size_t>(length)) == 0) return p;
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
