#pragma once

#include <string>
#include <utility>

#include "base/FileStream.h"

// A file that holds data for this process only: made in a folder (the user's temporary folder),
// open to this process alone, and gone with the stream or with the process, however that ends
// (a kill included), since the system removes it when its last handle closes. On Windows a
// file with FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE and no sharing; elsewhere a
// file without a name (O_TMPFILE; on file systems without those, one whose name is removed as
// soon as it is made).
class TTemporaryFileStream : public TFileStream {
 public:
  // EFCreateError "Cannot create file "%s". %s" with the folder and the system's reason when no
  // file can be made there.
  explicit TTemporaryFileStream(const std::string& AFolder)
      : TTemporaryFileStream(CreateIn(AFolder)) {}

 private:
  explicit TTemporaryFileStream(std::pair<std::string, THandle> AOpened)
      : TFileStream(std::move(AOpened.first), AOpened.second) {}
  // The file's name (the folder itself where the file has none) and its open handle.
  static std::pair<std::string, THandle> CreateIn(const std::string& AFolder);
};
