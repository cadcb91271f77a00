#include <string>

#include "ui/win32/Win32Handles.h"

TUniqueModule LoadSystemLibrary(const wchar_t* name) {
  HMODULE h = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!h && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    // A system without the search flags: name the file in the system folder in full.
    wchar_t dir[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
    if (n > 0 && n < MAX_PATH) h = ::LoadLibraryW((std::wstring(dir, n) + L"\\" + name).c_str());
  }
  return TUniqueModule(h);
}
