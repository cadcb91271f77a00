#pragma once

#include <cstdint>
#include <memory>

#include "base/Stream.h"
#include "zip/ZipCompression.h"
#include "zip/ZipDataStream.h"

// What TZipFile::Read hands out for one entry: the handler's stream over the window on the
// entry's data, owning both, so that the window lives exactly as long as the stream that reads
// through it.
class TZipEntryStream : public TStream {
 public:
  TZipEntryStream(TStream& archive, int64_t dataStart, int64_t dataSize,
                  const TStreamConstructor& decompress, TZipFile& zip, const TZipHeader& local)
      : FData(archive, dataStart, dataSize), FDecoded(decompress(FData, zip, local)) {}

  int64_t Read(void* buffer, int64_t count) override { return FDecoded->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override {
    return FDecoded->Write(buffer, count);
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    return FDecoded->Seek(offset, origin);
  }
  int64_t Size() override { return FDecoded->Size(); }

 private:
  TZipDataStream FData;
  std::unique_ptr<TStream> FDecoded;
};
