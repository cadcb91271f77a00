#include <windows.h>

#include <string>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/TemporaryFileStream.h"
#include "base/Texts.h"
#include "base/Utf.h"

std::pair<std::string, TFileStream::THandle> TTemporaryFileStream::CreateIn(
    const std::string& AFolder) {
  const std::wstring folder = ToWide(AFolder);
  // A fresh name each attempt; CREATE_NEW never takes over a file that is there.
  const UINT seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
  DWORD error = ERROR_FILE_EXISTS;
  for (UINT attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
    wchar_t name[MAX_PATH];
    // Only builds the name "<folder>\plw<hex>.tmp" when given a number of its own.
    const UINT unique = (seed + attempt * 7919) & 0xFFFF;
    if (!::GetTempFileNameW(folder.c_str(), L"plw", unique ? unique : 1, name)) {
      error = ::GetLastError();
      break;
    }
    const HANDLE file =
        ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) return {FromWide(name), file};
    error = ::GetLastError();
  }
  throw EFCreateError(
      Format(RSFileCreateError, AFolder.c_str(), SysErrorMessage(static_cast<int>(error)).c_str()));
}
