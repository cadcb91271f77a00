#include "base/Stream.h"

#include <algorithm>
#include <memory>

#include "base/Exception.h"
#include "base/Texts.h"

int64_t SeekTarget(int64_t APosition, int64_t ASize, int64_t AOffset, TSeekOrigin AOrigin) {
  switch (AOrigin) {
    case TSeekOrigin::soBeginning:
      return AOffset;
    case TSeekOrigin::soCurrent:
      return APosition + AOffset;
    case TSeekOrigin::soEnd:
      return ASize + AOffset;
  }
  return APosition;
}

int64_t ReadableCount(int64_t APosition, int64_t ASize, int64_t ACount) {
  if (ACount <= 0 || APosition < 0 || APosition >= ASize) return 0;
  return std::min(ACount, ASize - APosition);
}

int64_t TStream::Size() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* ABuffer, int64_t ACount) {
  auto* p = static_cast<uint8_t*>(ABuffer);
  while (ACount > 0) {
    const int64_t n = Read(p, ACount);
    if (n <= 0) throw EReadError(Text(RSStreamReadError));
    p += n;
    ACount -= n;
  }
}

void TStream::WriteBuffer(const void* ABuffer, int64_t ACount) {
  const auto* p = static_cast<const uint8_t*>(ABuffer);
  while (ACount > 0) {
    const int64_t n = Write(p, ACount);
    if (n <= 0) throw EWriteError(Text(RSStreamWriteError));
    p += n;
    ACount -= n;
  }
}

int64_t TStream::CopyFrom(TStream& ASource, int64_t ACount) {
  if (ACount == 0) {
    ASource.SetPosition(0);
    ACount = ASource.Size();
  }
  constexpr int64_t kBlock = 61440;
  // Not zeroed: every byte is read before it is written.
  const auto block =
      std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(std::min(ACount, kBlock)));
  const int64_t total = ACount;
  while (ACount > 0) {
    const int64_t n = std::min(ACount, kBlock);
    ASource.ReadBuffer(block.get(), n);
    WriteBuffer(block.get(), n);
    ACount -= n;
  }
  return total;
}
