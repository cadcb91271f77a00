#pragma once

// For the tests of libraries loaded at run time (Windows): where a module was loaded from, and
// decoys beside the test program, where a planted library could wait. Such a test runs in a
// program and a folder of its own, so the decoys bother no other program.

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

inline std::wstring FolderOf(const std::wstring& APath) {
  return APath.substr(0, APath.find_last_of(L"\\/"));
}

// The module's file; the program's own for null.
inline std::wstring ModulePath(HMODULE AModule) {
  wchar_t buf[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(AModule, buf, MAX_PATH);
  return std::wstring(buf, n);
}

inline std::wstring SystemFolder() {
  wchar_t buf[MAX_PATH];
  const UINT n = ::GetSystemDirectoryW(buf, MAX_PATH);
  return std::wstring(buf, n);
}

// Files that are no libraries, under the given libraries' names, in the program's folder for the
// object's lifetime: a library loaded from there would fail to load.
class TPlantedDecoys {
 public:
  explicit TPlantedDecoys(std::initializer_list<const wchar_t*> ANames) {
    const std::wstring own = FolderOf(ModulePath(nullptr));
    for (const wchar_t* name : ANames) {
      const std::wstring path = own + L"\\" + name;
      HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
      if (f == INVALID_HANDLE_VALUE) continue;
      DWORD written = 0;
      ::WriteFile(f, "not a library", 13, &written, nullptr);
      ::CloseHandle(f);
      FPaths.push_back(path);
    }
  }
  ~TPlantedDecoys() {
    for (const std::wstring& path : FPaths)
      ::DeleteFileW(path.c_str());
  }
  TPlantedDecoys(const TPlantedDecoys&) = delete;
  TPlantedDecoys& operator=(const TPlantedDecoys&) = delete;

  // How many were planted.
  size_t Count() const { return FPaths.size(); }

 private:
  std::vector<std::wstring> FPaths;
};
