#pragma once

#include <string>
#include <string_view>

// Path handling of the extractor. Paths are in the program's own form, with "\" as the
// separator on both targets.

// True when text holds a character that no path may hold: U+0000 to U+001F, '"', '<', '>', '|'.
bool HasInvalidPathChars(std::string_view AText);

// Path and name joined with one "\" between them (none when Path already ends with "\", "/" or
// ":"); either part alone when the other is empty. EArgumentException "Invalid characters in
// path" when a part holds a character that no path may hold.
std::string CombinePath(std::string_view APath, std::string_view AName);

// True when an entry name (with "\" separators) would leave the folder it is extracted into:
// rooted ("\x", "\\server\share", "\\?\..."), on a drive ("C:\x", "C:x"), or with a ".." segment
// (also in the forms that Windows trims to "..", such as ".. " or "...").
bool IsEscapingEntryName(std::string_view AName);

// The absolute form of a path: relative paths are taken against the current directory, and
// "." and ".." segments are resolved. Extended-length paths ("\\?\") are returned unchanged.
std::string ExpandPath(std::string_view APath);

// Creates a folder and every missing parent, from the top down. The folder, made absolute, must
// be shorter than 260 characters unless it has an extended-length prefix (EPathTooLongException
// "The specified path is too long"), may hold ":" only after a leading drive letter
// (ENotSupportedException "The path format is not supported"), must not be blank or hold
// invalid characters (EArgumentException "Invalid characters in path"), and its drive must exist
// (EDirectoryNotFoundException "The drive cannot be found"). A level that cannot be created is
// not reported here: creating a file in it fails later with the system's reason.
void ForceFolders(std::string_view AFolder);

// A folder that ForceFolders may make: its absolute form without a trailing separator, where
// its root ends there, and its drive's root ("C:\\"; empty without a drive letter).
struct TCheckedFolder {
  std::string Full;
  size_t RootEnd = 0;
  std::string Drive;
};
// The checks of ForceFolders that need no file system (all but the drive's existence), raising
// as it does.
TCheckedFolder CheckFolderPath(std::string_view AFolder);
