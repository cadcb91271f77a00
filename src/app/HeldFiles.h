#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Stream.h"

// The files extracted for the installer, each held open from the end of its extraction until
// the installer has ended (the platform's hold: on Windows nobody may write, rename or delete a
// held file, while reading and starting it still work). Released when the holder goes.
class THeldFiles {
 public:
  // Takes over the hold of a file just extracted (AFile, opened by the platform's HoldFile) and
  // reads it through the hold: it must still be what the archive said, ASize bytes with the
  // CRC-32 ACrc. That closes the moment between the writer's close and the hold, in which
  // another process of the user could have changed it. Raises EZipException "Entry ... does
  // not match its CRC-32" (with AName) when it is not.
  void Hold(std::unique_ptr<TStream> AFile, const std::string& AName, uint64_t ASize,
            uint32_t ACrc);
  size_t Count() const { return FFiles.size(); }
  // Lets every file go.
  void Release() { FFiles.clear(); }

 private:
  std::vector<std::unique_ptr<TStream>> FFiles;
};
