#pragma once

#include "app/SetupArchive.h"
#include "zip/ZipFile.h"

// The sequence's archive, read by the ZIP reader.
class TZipSetupArchive : public TSetupArchive {
 public:
  void Open(TStream& AStream) override { FZip.Open(AStream, TZipMode::zmRead); }
  std::vector<uint64_t> FileSizes() override {
    std::vector<uint64_t> sizes;
    for (int i = 0, count = FZip.FileCount(); i < count; ++i)
      sizes.push_back(FZip.FileInfo(i).UncompressedSize);
    return sizes;
  }
  void ExtractAll(const std::string& APath) override {
    FZip.OnExtractProgress = OnProgress;
    FZip.OnFileExtracted = [this](const std::string& APath, const TZipHeader& AEntry) {
      if (OnFileExtracted) OnFileExtracted(APath, AEntry.UncompressedSize, AEntry.CRC32);
    };
    FZip.ExtractAll(APath);
  }
  void Close() override { FZip.Close(); }
  TTotals Totals() const override {
    TTotals totals;
    totals.Entries = FZip.FileCount();
    for (int i = 0; i < totals.Entries; ++i)
      totals.Bytes += FZip.FileInfo(i).UncompressedSize;
    return totals;
  }

 private:
  TZipFile FZip;
};
