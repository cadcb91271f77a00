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
#include "base/Texts.h"

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
