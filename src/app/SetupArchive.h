#pragma once

#include <string>

class TStream;

// What the sequence needs of the ZIP reader: one object opened and closed once per archive.
// The product plugs the real reader in through an adapter (ComponentWiring.cpp).
class TSetupArchive {
 public:
  virtual ~TSetupArchive() = default;

  // Reads the archive from the stream, starting at its current position (read mode).
  virtual void Open(TStream& AStream) = 0;
  // Writes every entry below path, creating sub-folders.
  virtual void ExtractAll(const std::string& APath) = 0;
  virtual void Close() = 0;
};
