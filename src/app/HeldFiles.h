#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Stream.h"

// The files extracted for the installer, each held open from the end of its extraction until
// the installer has ended (the platform's hold: on Windows nobody may write, rename or delete a
// held file, while reading and starting it still work). Released when the holder goes.
//
// Only what the installer may run or load is held (IsRunnable): a hold costs a handle and a
// read back, about 0.1 ms a file natively and more under Wine, so an archive of 20,000 files
// would take seconds, and natively more descriptors than a process may have. Data files rely on
// the private folder alone.
class THeldFiles {
 public:
  // Whether a file of this name is held: programs, libraries, drivers, packages and scripts
  // (.exe .dll .sys .msi .ps1 .bat .cmd .vbs .js, in any case).
  static bool IsRunnable(const std::string& APath);

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
