#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// windows.h makes GetModuleFileName a macro; the function declared below is ours, under the
// same name in every translation unit.
#ifdef GetModuleFileName
#undef GetModuleFileName
#endif

// The few file-system calls the program makes, with "\" as the path separator on both
// targets: on the native build "\" is turned into "/" at the system call.

// The system's text for an error code, without trailing spaces, line breaks or full stop.
std::string SysErrorMessage(int ACode);
// The calling thread's last system error code (GetLastError / errno).
int GetLastOSError();

// The path as the system takes it (identity on Windows; "\" becomes "/" natively).
std::string ToNativePath(std::string_view APath);
// A native path in the program's own form (identity on Windows; "/" becomes "\" natively).
std::string FromNativePath(std::string_view APath);

// The process's current directory, without a trailing separator.
std::string GetCurrentDir();
// Creates one folder level; False when it could not be created (also when it exists).
bool CreateDir(std::string_view APath);
bool DirectoryExists(std::string_view APath);
bool FileExists(std::string_view APath);
// The full path of the running executable.
std::string GetModuleFileName();

// The user's folder for temporary files, without a trailing separator (Windows: the folder
// GetTempPathW names; natively TMPDIR, else /tmp).
std::string GetTempFolder();

// What the volume that holds a path offers.
struct TVolumeSpace {
  // Bytes this user may still write there (quotas included where the system has them).
  int64_t Free = 0;
  // The unit in which the volume hands out space: every file takes a whole number of them.
  int64_t ClusterSize = 0;
  // The volume as the user knows it: a drive ("C:") or a mount point ("/mnt/data",
  // "C:\Mount\Data").
  std::string Name;
};
// The space of the volume that holds the path (which must exist); False when the system cannot
// tell.
bool GetVolumeSpace(std::string_view APath, TVolumeSpace& ASpace);

// The names (not the paths) of the files directly in the folder, folders left out; empty when
// it cannot be read.
std::vector<std::string> FileNamesIn(std::string_view AFolder);
// Removes one file; False when it could not be removed.
bool DeleteFileAt(std::string_view APath);
