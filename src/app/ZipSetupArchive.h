#pragma once

#include "app/SetupArchive.h"
#include "zip/ZipFile.h"

// The sequence's archive, read by the ZIP reader.
class TZipSetupArchive : public TSetupArchive {
 public:
  void Open(TStream& stream) override { FZip.Open(stream, TZipMode::zmRead); }
  void ExtractAll(const std::string& path) override { FZip.ExtractAll(path); }
  void Close() override { FZip.Close(); }

 private:
  TZipFile FZip;
};
