#include <windows.h>

#include <string>

#include "base/Exception.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"
#include "base/Format.h"
#include "base/Texts.h"
#include "base/UniqueHandle.h"
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

std::string GetTempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return {};
  std::wstring folder(buffer, n);
  // "C:\" keeps its separator; any other folder loses the trailing one.
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return FromWide(folder);
}

bool GetVolumeSpace(std::string_view APath, TVolumeSpace& ASpace) {
  const std::wstring path = ToWide(APath);
  ULARGE_INTEGER freeToCaller, total, totalFree;
  if (!::GetDiskFreeSpaceExW(path.c_str(), &freeToCaller, &total, &totalFree)) return false;
  std::wstring volume(path.size() + MAX_PATH + 1, L'\0');
  if (!::GetVolumePathNameW(path.c_str(), volume.data(), static_cast<DWORD>(volume.size())))
    return false;
  volume.resize(std::char_traits<wchar_t>::length(volume.c_str()));
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  // Without an answer, NTFS's usual cluster.
  ASpace.ClusterSize = ::GetDiskFreeSpaceW(volume.c_str(), &sectorsPerCluster, &bytesPerSector,
                                           &freeClusters, &clusters)
                           ? static_cast<int64_t>(sectorsPerCluster) * bytesPerSector
                           : 4096;
  ASpace.Free = static_cast<int64_t>(freeToCaller.QuadPart);
  // "C:\" is shown as "C:", a folder that a volume is mounted on without its last separator.
  if (volume.size() > 1 && volume.back() == L'\\') volume.pop_back();
  ASpace.Name = FromWide(volume);
  return true;
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

namespace {
struct TFindHandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE AFind) { ::FindClose(AFind); }
};
}  // namespace

std::vector<std::string> FileNamesIn(std::string_view AFolder) {
  std::vector<std::string> names;
  std::wstring pattern = ToWide(AFolder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW data;
  const TUniqueHandle<TFindHandleTraits> find(::FindFirstFileExW(
      pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
  if (!find) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      names.push_back(FromWide(data.cFileName));
  } while (::FindNextFileW(find.get(), &data));
  return names;
}

bool DeleteFileAt(std::string_view APath) {
  return ::DeleteFileW(ToWide(APath).c_str()) != FALSE;
}
