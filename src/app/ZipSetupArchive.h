#pragma once

#include "app/SetupArchive.h"
#include "zip/ZipFile.h"

// The sequence's archive, read by the ZIP reader.
class TZipSetupArchive : public TSetupArchive {
 public:
  void Open(TStream& AStream) override { FZip.Open(AStream, TZipMode::zmRead); }
  void ExtractAll(const std::string& APath) override {
    FZip.OnExtractProgress = OnProgress;
    FZip.ExtractAll(APath);
  }
  void Close() override { FZip.Close(); }

 private:
  TZipFile FZip;
};
