#pragma once

#include <string>

// The text with its extension replaced by ext: the part after the last ".", unless a "\" or
// ":" comes after it; ext is appended when there is no extension.
std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt);

// The archive suffix for the running executable's full path. A path containing "-develop"
// (case-sensitive, folders included) is a development build: the suffix is taken from the file
// name alone, without its extension and without the " (1)" a browser adds to a second download,
// from its first "_x" (the whole name when there is none), with the extension ".zip". Every
// other build gets "_x64-stable.zip".
std::string ArchiveSuffix(const std::string& AExePath);
