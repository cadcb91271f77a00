#pragma once

#include <string>

// Leaves in the installer's folder what "leave-behind.txt" beside it lists, as a real installer
// may leave logs and caches the downloader must remove after it. One line per item:
//
//   file <path>  |  folder <path>  |  read-only-file <path>  |  read-only-folder <path>
//
// The path is relative to the folder, "\" between names, and taken to the end of the line as
// it stands, so names may end in spaces or dots; folders on the way are made as needed, and
// the read-only attributes are set once everything exists. Nothing happens without the file.
void LeaveBehind(const std::wstring& AFolder);
