#include <windows.h>

#include "app/platform/DllSearchPath.h"
#include "base/SystemLibrary.h"

bool RestrictDllSearchPath() {
  // Leave the current directory out of the search in any case.
  ::SetDllDirectoryW(L"");
  // Present from Windows 8 on (and on Windows 7 with its security update): looked up at run
  // time so that the program still starts without it.
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  auto setDefault = GetProcedure<TSetDefaultDllDirectories>(::GetModuleHandleW(L"kernel32.dll"),
                                                            "SetDefaultDllDirectories");
  return setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}
