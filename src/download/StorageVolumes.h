#pragma once

#include <memory>
#include <string>

#include "base/FileSystem.h"

class TStream;

// The system calls the archive's storage makes: the temporary folder, a file in it for this run
// only, and a volume's free space. The application's platform implements them, so tests can
// play the disks.
class TStorageVolumes {
 public:
  virtual ~TStorageVolumes() = default;

  // The user's folder for temporary files.
  virtual std::string TempFolder() = 0;
  // A file in the folder for this run only, gone with the stream or the process
  // (TTemporaryFileStream); raises EFCreateError when none can be made.
  virtual std::unique_ptr<TStream> CreateTemporaryFile(const std::string& AFolder) = 0;
  // The free space, allocation unit and name of the volume that holds the path; False when the
  // system cannot tell.
  virtual bool VolumeSpace(const std::string& APath, TVolumeSpace& ASpace) = 0;
};
