#include "base/SystemLibrary.h"

#include <string>

TUniqueModule LoadSystemLibrary(const wchar_t* AName) {
  DWORD oldMode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = ::LoadLibraryExW(AName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    // Systems without the restricted search flag: name the system folder explicitly.
    wchar_t folder[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      const std::wstring path = std::wstring(folder, n) + L'\\' + AName;
      module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
  }
  const DWORD error = ::GetLastError();
  ::SetThreadErrorMode(oldMode, nullptr);
  ::SetLastError(error);
  return TUniqueModule(module);
}
