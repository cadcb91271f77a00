#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/TemporaryFileStream.h"
#include "base/Texts.h"

std::pair<std::string, TFileStream::THandle> TTemporaryFileStream::CreateIn(
    const std::string& AFolder) {
  const std::string native = ToNativePath(AFolder);
  // Without a name, nothing is ever left behind, whatever ends the process.
  int fd = ::open(native.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) return {AFolder, fd};
  // File systems without unnamed files: the name goes the moment the file is made.
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    std::string name = native + "/plenwick-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::unlink(name.c_str());
      return {AFolder, fd};
    }
  }
  throw EFCreateError(Format(RSFileCreateError, AFolder.c_str(), SysErrorMessage(errno).c_str()));
}
