#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TStream;

// What the sequence needs of the ZIP reader: one object opened and closed once per archive.
// The product plugs the real reader in through an adapter (ComponentWiring.cpp).
class TSetupArchive {
 public:
  virtual ~TSetupArchive() = default;

  // Reads the archive from the stream, starting at its current position (read mode).
  virtual void Open(TStream& AStream) = 0;
  // The size of every entry's file once extracted, as the open archive announces them.
  virtual std::vector<uint64_t> FileSizes() = 0;
  // Writes every entry below path, creating sub-folders. Asks OnProgress before each entry and
  // after each block it writes, and stops with EAbort when that says True.
  virtual void ExtractAll(const std::string& APath) = 0;
  virtual void Close() = 0;
  // The open archive's entries and the bytes they hold, for the log.
  struct TTotals {
    int Entries = 0;
    uint64_t Bytes = 0;
  };
  virtual TTotals Totals() const = 0;

  // The sequence's hook into a long extraction: processes the window's messages now and then,
  // and answers whether the extraction is still wanted (False) or to be abandoned (True).
  std::function<bool()> OnProgress;
  // Told by ExtractAll of each file once it is written whole and closed: its path, and the size
  // and CRC-32 the archive gives it. The sequence holds the file from then on.
  std::function<void(const std::string& APath, uint64_t ASize, uint32_t ACrc)> OnFileExtracted;
};
