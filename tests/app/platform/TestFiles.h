#pragma once

// Small file-system helpers for tests that touch real folders (both targets).

#ifdef _WIN32
#include <windows.h>  // before base/FileSystem.h, which takes back GetModuleFileName
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>

#include "app/platform/FolderHelpers.h"
#include "base/FileStream.h"
#include "base/FileSystem.h"

inline void WriteTextFile(const std::string& path, const std::string& text) {
  TFileStream f(path, TFileStream::TMode::fmCreate);
  f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

inline void MakeReadOnly(const std::string& path) {
#ifdef _WIN32
  ::SetFileAttributesW(std::wstring(path.begin(), path.end()).c_str(), FILE_ATTRIBUTE_READONLY);
#else
  ::chmod(ToNativePath(path).c_str(), 0444);
#endif
}

// A fresh, empty folder for one test, in the program's path form with a trailing "\".
inline std::string FreshTestFolder(const std::string& name) {
  const std::string dir = GetCurrentDir() + "\\" + name + "\\";
  if (DirectoryExists(dir)) DeleteFolder(dir);  // left over from an interrupted run
  CreateDir(dir);
  return dir;
}
