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
  TZipEntryStream(TStream& AArchive, int64_t ADataStart, int64_t ADataSize,
                  const TStreamConstructor& ADecompress, TZipFile& AZip, const TZipHeader& ALocal)
      : FData(AArchive, ADataStart, ADataSize), FDecoded(ADecompress(FData, AZip, ALocal)) {}

  int64_t Read(void* ABuffer, int64_t ACount) override { return FDecoded->Read(ABuffer, ACount); }
  int64_t Write(const void* ABuffer, int64_t ACount) override {
    return FDecoded->Write(ABuffer, ACount);
  }
  int64_t Seek(int64_t AOffset, TSeekOrigin AOrigin) override {
    return FDecoded->Seek(AOffset, AOrigin);
  }
  int64_t Size() override { return FDecoded->Size(); }

 private:
  TZipDataStream FData;
  std::unique_ptr<TStream> FDecoded;
};
