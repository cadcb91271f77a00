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
  TZipDataStream(TStream& AArchive, int64_t AStart, int64_t ASize)
      : FArchive(&AArchive), FStart(AStart), FSize(ASize) {}

  int64_t Read(void* ABuffer, int64_t ACount) override {
    const int64_t readable = ReadableCount(FPosition, FSize, ACount);
    if (readable == 0) return 0;
    // Others may have moved the archive stream since the last read.
    FArchive->SetPosition(FStart + FPosition);
    const int64_t n = FArchive->Read(ABuffer, readable);
    if (n > 0) FPosition += n;
    return n;
  }
  // Read-only: WriteBuffer fails with "Stream write error".
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    FPosition = SeekTarget(FPosition, FSize, AOffset, AOrigin);
    return FPosition;
  }
  int64_t Size() override { return FSize; }

 private:
  TStream* FArchive;
  int64_t FStart;
  int64_t FSize;
  int64_t FPosition = 0;
};
