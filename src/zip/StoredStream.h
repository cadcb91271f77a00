#pragma once

#include <cstdint>

#include "base/Stream.h"

// The bytes of a stored (uncompressed) entry: every call goes straight to the stream of the
// entry's data, so reading takes bytes from wherever that stream stands.
class TStoredStream : public TStream {
 public:
  explicit TStoredStream(TStream& AStream) : FStream(&AStream) {}

  int64_t Read(void* ABuffer, int64_t ACount) override { return FStream->Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override {
    return FStream->Write(ABuffer, ACount);
  }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    return FStream->Seek(AOffset, AOrigin);
  }
  int64_t Size() override { return FStream->Size(); }
  void SetSize(int64_t ANewSize) override { FStream->SetSize(ANewSize); }

 private:
  TStream* FStream;
};
