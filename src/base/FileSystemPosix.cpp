#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/Texts.h"
#include "base/UniqueHandle.h"

std::string SysErrorMessage(int ACode) {
  std::string text = std::strerror(ACode);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int GetLastOSError() {
  return errno;
}

std::string ToNativePath(std::string_view APath) {
  std::string out(APath);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string FromNativePath(std::string_view APath) {
  std::string out(APath);
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::string GetCurrentDir() {
  std::string buf(4096, '\0');
  if (!::getcwd(buf.data(), buf.size())) return {};
  buf.resize(std::strlen(buf.c_str()));
  return FromNativePath(buf);
}

bool CreateDir(std::string_view APath) {
  return ::mkdir(ToNativePath(APath).c_str(), 0777) == 0;
}

bool DirectoryExists(std::string_view APath) {
  struct stat st;
  return ::stat(ToNativePath(APath).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(std::string_view APath) {
  struct stat st;
  return ::stat(ToNativePath(APath).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string GetModuleFileName() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  buf.resize(static_cast<size_t>(n));
  return FromNativePath(buf);
}

std::string GetTempFolder() {
  const char* dir = std::getenv("TMPDIR");
  std::string folder = dir && *dir ? dir : "/tmp";
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return FromNativePath(folder);
}

bool GetVolumeSpace(std::string_view APath, TVolumeSpace& ASpace) {
  const std::string native = ToNativePath(APath);
  struct statvfs vfs;
  if (::statvfs(native.c_str(), &vfs) != 0) return false;
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(native.c_str(), nullptr),
                                                         &std::free);
  struct stat st;
  if (!real || ::stat(real.get(), &st) != 0) return false;
  // The mount point: the highest folder above the path on the same device.
  std::string at = real.get();
  while (at != "/") {
    const size_t cut = at.rfind('/');
    const std::string parent = cut == 0 ? "/" : at.substr(0, cut);
    struct stat up;
    if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
    at = parent;
  }
  ASpace.Free = static_cast<int64_t>(vfs.f_bavail) * static_cast<int64_t>(vfs.f_frsize);
  ASpace.ClusterSize = static_cast<int64_t>(vfs.f_frsize);
  ASpace.Name = at;
  return true;
}

TFileStream::TFileStream(const std::string& AFileName, TMode AMode) : FFileName(AFileName) {
  const std::string native = ToNativePath(AFileName);
  if (AMode == TMode::fmCreate) {
    FHandle = ::open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError(
          Format(RSFileCreateError, AFileName.c_str(), SysErrorMessage(errno).c_str()));
  } else {
    const int access = AMode == TMode::fmOpenReadWrite ? O_RDWR : O_RDONLY;
    FHandle = ::open(native.c_str(), access | O_CLOEXEC);
    if (FHandle < 0)
      throw EFOpenError(Format(RSFileOpenError, AFileName.c_str(), SysErrorMessage(errno).c_str()));
  }
}

TFileStream::~TFileStream() {
  ::close(FHandle);
}

int64_t TFileStream::Read(void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return 0;
  ssize_t n;
  do
    n = ::read(FHandle, ABuffer, static_cast<size_t>(ACount));
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return 0;
  ssize_t n;
  do
    n = ::write(FHandle, ABuffer, static_cast<size_t>(ACount));
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  const int whence = AOrigin == TSeekOrigin::soBeginning ? SEEK_SET
                     : AOrigin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                         : SEEK_END;
  return ::lseek(FHandle, AOffset, whence);
}

void TFileStream::SetSize(int64_t ANewSize) {
  if (::ftruncate(FHandle, ANewSize) != 0) throw EStreamError("Stream size cannot be changed");
  if (Position() > ANewSize) SetPosition(ANewSize);
}

std::vector<std::string> FileNamesIn(std::string_view AFolder) {
  std::vector<std::string> names;
  const std::string folder = ToNativePath(AFolder);
  const TUniqueHandle<TNullHandleTraits<DIR*, ::closedir>> dir(::opendir(folder.c_str()));
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    struct stat st;
    const std::string path = folder + "/" + entry->d_name;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) names.push_back(entry->d_name);
  }
  return names;
}

bool DeleteFileAt(std::string_view APath) {
  return ::unlink(ToNativePath(APath).c_str()) == 0;
}
