#pragma once

#include <algorithm>
#include <cstdint>

#include "base/Stream.h"

// The stored bytes of one entry: a read-only window on the archive stream from the entry's first
// data byte to the end of its compressed data. Positions count from the window's start. However
// a handler reads, it cannot reach the next entry's header or the central directory; reading
// past the end yields nothing.
class TZipDataStream : public TStream {
 public:
  TZipDataStream(TStream& archive, int64_t start, int64_t size)
      : FArchive(&archive), FStart(start), FSize(size) {}

  int64_t Read(void* buffer, int64_t count) override {
    if (count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
    // Others may have moved the archive stream since the last read.
    FArchive->SetPosition(FStart + FPosition);
    const int64_t n = FArchive->Read(buffer, std::min(count, FSize - FPosition));
    if (n > 0) FPosition += n;
    return n;
  }
  // Read-only: WriteBuffer fails with "Stream write error".
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
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
  int64_t Size() override { return FSize; }

 private:
  TStream* FArchive;
  int64_t FStart;
  int64_t FSize;
  int64_t FPosition = 0;
};
