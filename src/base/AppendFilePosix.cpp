#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/AppendFile.h"
#include "base/FileSystem.h"

void TAppendFile::TTraits::Close(Type AHandle) {
  ::close(AHandle);
}

TAppendFile::TAppendFile(const std::string& APath, TOpen AOpen) {
  const int flags =
      O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (AOpen == TOpen::ofCreateNew ? O_EXCL : 0);
  const int file = ::open(ToNativePath(APath).c_str(), flags, 0644);
  if (file < 0)
    FOpenError = errno;
  else
    FHandle.reset(file);
}

bool TAppendFile::Append(std::string_view ABytes) {
  if (!FHandle) return false;
  while (!ABytes.empty()) {
    const ssize_t n = ::write(FHandle.get(), ABytes.data(), ABytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    ABytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}
