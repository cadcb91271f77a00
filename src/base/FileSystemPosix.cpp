#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/Format.h"

std::string SysErrorMessage(int code) {
  std::string text = std::strerror(code);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int GetLastOSError() {
  return errno;
}

std::string ToNativePath(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

std::string FromNativePath(std::string_view path) {
  std::string out(path);
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

bool CreateDir(std::string_view path) {
  return ::mkdir(ToNativePath(path).c_str(), 0777) == 0;
}

bool DirectoryExists(std::string_view path) {
  struct stat st;
  return ::stat(ToNativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(std::string_view path) {
  struct stat st;
  return ::stat(ToNativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string GetModuleFileName() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  buf.resize(static_cast<size_t>(n));
  return FromNativePath(buf);
}

TFileStream::TFileStream(const std::string& fileName, TMode mode) : FFileName(fileName) {
  const std::string native = ToNativePath(fileName);
  if (mode == TMode::fmCreate) {
    FHandle = ::open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName.c_str(),
                                 SysErrorMessage(errno).c_str()));
  } else {
    const int access = mode == TMode::fmOpenReadWrite ? O_RDWR : O_RDONLY;
    FHandle = ::open(native.c_str(), access | O_CLOEXEC);
    if (FHandle < 0)
      throw EFOpenError(
          Format("Cannot open file \"%s\". %s", fileName.c_str(), SysErrorMessage(errno).c_str()));
  }
}

TFileStream::~TFileStream() {
  ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  ssize_t n;
  do
    n = ::read(FHandle, buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  ssize_t n;
  do
    n = ::write(FHandle, buffer, static_cast<size_t>(count));
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  return ::lseek(FHandle, offset, whence);
}

void TFileStream::SetSize(int64_t newSize) {
  if (::ftruncate(FHandle, newSize) != 0) throw EStreamError("Stream size cannot be changed");
  if (Position() > newSize) SetPosition(newSize);
}
