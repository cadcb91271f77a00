#pragma once

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
// The user's folder for temporary files (GetTempPathW; natively TMPDIR, else /tmp), without a
// trailing separator; empty when it cannot be told.
std::string GetTempDir();
// The names (not the paths) of the files directly in the folder, folders left out; empty when
// it cannot be read.
std::vector<std::string> FileNamesIn(std::string_view AFolder);
// Removes one file; False when it could not be removed.
bool DeleteFileAt(std::string_view APath);
