#include <windows.h>

#include "base/AppendFile.h"
#include "base/Utf.h"

void TAppendFile::TTraits::Close(Type AHandle) {
  ::CloseHandle(AHandle);
}

TAppendFile::TAppendFile(const std::string& APath, TOpen AOpen) {
  // Appending only: every write lands at the end, whoever else writes there.
  const HANDLE file = ::CreateFileW(ToWide(APath).c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    AOpen == TOpen::ofCreateNew ? CREATE_NEW : OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    FOpenError = static_cast<int>(::GetLastError());
  else
    FHandle.reset(file);
}

bool TAppendFile::Append(std::string_view ABytes) {
  if (!FHandle) return false;
  while (!ABytes.empty()) {
    DWORD written = 0;
    const DWORD want = ABytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(ABytes.size());
    if (!::WriteFile(FHandle.get(), ABytes.data(), want, &written, nullptr) || written == 0)
      return false;
    ABytes.remove_prefix(written);
  }
  return true;
}
