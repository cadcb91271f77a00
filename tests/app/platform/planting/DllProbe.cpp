// Loads two libraries by their bare names, the way any library code does, and reports in its
// exit code which of them came from its own folder: 1 uxtheme.dll, 2 version.dll; 4 when a
// library could not be loaded at all. With the argument "restrict" it first restricts the
// search path as the downloader does at its start.
#include <windows.h>

#include <cwchar>
#include <string>

#include "app/platform/DllSearchPath.h"

namespace {

std::wstring FolderOf(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring s(path, n);
  s.resize(s.find_last_of(L'\\') + 1);
  return s;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcscmp(argv[1], L"restrict") == 0) RestrictDllSearchPath();
  const std::wstring own = FolderOf(nullptr);
  int result = 0;
  const wchar_t* names[] = {L"uxtheme.dll", L"version.dll"};
  for (int i = 0; i < 2; ++i) {
    HMODULE h = ::LoadLibraryW(names[i]);
    if (!h) {
      result |= 4;
      continue;
    }
    if (_wcsicmp(FolderOf(h).c_str(), own.c_str()) == 0) result |= 1 << i;
  }
  return result;
}
