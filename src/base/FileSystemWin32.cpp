#include <windows.h>

#include <string>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/Texts.h"
#include "base/Utf.h"

std::string SysErrorMessage(int ACode) {
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, static_cast<DWORD>(ACode), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n ? FromWide(std::wstring_view(buffer, n)) : std::string();
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
    text.pop_back();
  return text;
}

int GetLastOSError() {
  return static_cast<int>(::GetLastError());
}

std::string ToNativePath(std::string_view APath) {
  return std::string(APath);
}
std::string FromNativePath(std::string_view APath) {
  return std::string(APath);
}

std::string GetCurrentDir() {
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
  if (n >= buf.size()) {
    buf.resize(n);
    n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
  }
  buf.resize(n);
  return FromWide(buf);
}

bool CreateDir(std::string_view APath) {
  return ::CreateDirectoryW(ToWide(APath).c_str(), nullptr);
}

bool DirectoryExists(std::string_view APath) {
  const DWORD attr = ::GetFileAttributesW(ToWide(APath).c_str());
  return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(std::string_view APath) {
  const DWORD attr = ::GetFileAttributesW(ToWide(APath).c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::string GetModuleFileName() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n < buf.size()) {
      buf.resize(n);
      return FromWide(buf);
    }
    buf.resize(buf.size() * 2);
  }
}

TFileStream::TFileStream(const std::string& AFileName, TMode AMode) : FFileName(AFileName) {
  const std::wstring wide = ToWide(AFileName);
  if (AMode == TMode::fmCreate) {
    FHandle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE)
      throw EFCreateError(
          Format(RSFileCreateError, AFileName.c_str(), SysErrorMessage(GetLastOSError()).c_str()));
  } else {
    const bool write = AMode == TMode::fmOpenReadWrite;
    FHandle = ::CreateFileW(wide.c_str(), write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                            write ? 0 : FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (FHandle == INVALID_HANDLE_VALUE)
      throw EFOpenError(
          Format(RSFileOpenError, AFileName.c_str(), SysErrorMessage(GetLastOSError()).c_str()));
  }
}

TFileStream::~TFileStream() {
  ::CloseHandle(FHandle);
}

int64_t TFileStream::Read(void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return 0;
  DWORD n = 0;
  const DWORD want = ACount > 0x40000000 ? 0x40000000 : static_cast<DWORD>(ACount);
  if (!::ReadFile(FHandle, ABuffer, want, &n, nullptr)) return 0;
  return n;
}

int64_t TFileStream::Write(const void* ABuffer, int64_t ACount) {
  if (ACount <= 0) return 0;
  DWORD n = 0;
  const DWORD want = ACount > 0x40000000 ? 0x40000000 : static_cast<DWORD>(ACount);
  if (!::WriteFile(FHandle, ABuffer, want, &n, nullptr)) return 0;
  return n;
}

int64_t TFileStream::Seek(int64_t AOffset, TSeekOrigin AOrigin) {
  LARGE_INTEGER dist, pos;
  dist.QuadPart = AOffset;
  const DWORD method = AOrigin == TSeekOrigin::soBeginning ? FILE_BEGIN
                       : AOrigin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                           : FILE_END;
  if (!::SetFilePointerEx(FHandle, dist, &pos, method)) return -1;
  return pos.QuadPart;
}

void TFileStream::SetSize(int64_t ANewSize) {
  const int64_t pos = Position();
  SetPosition(ANewSize);
  if (!::SetEndOfFile(FHandle)) throw EStreamError("Stream size cannot be changed");
  if (pos < ANewSize) SetPosition(pos);
}
