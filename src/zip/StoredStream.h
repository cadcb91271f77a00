#pragma once

#include <cstdint>

#include "base/Stream.h"

// The bytes of a stored (uncompressed) entry: every call goes straight to the stream of the
// entry's data, so reading takes bytes from wherever that stream stands.
class TStoredStream : public TStream {
 public:
  explicit TStoredStream(TStream& stream) : FStream(&stream), FPos(stream.Position()) {}

  int64_t Read(void* buffer, int64_t count) override { return FStream->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    return FStream->Write(buffer, count);
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    return FStream->Seek(offset, origin);
  }
  int64_t Size() override { return FStream->Size(); }
  void SetSize(int64_t newSize) override { FStream->SetSize(newSize); }

  // Where the data stream stood when this stream was made: the entry's first data byte.
  int64_t StartPosition() const { return FPos; }

 private:
  TStream* FStream;
  int64_t FPos;
};
