#pragma once

#include <string>

// The path up to and including its last "\" or "/"; empty when it has neither. The drive
// separator ":" is not a separator here.
std::string ExtractFilePath(const std::string& path);

// Whether the folder exists, links followed. A failed query counts as missing only for errors
// that say so (not found, device not ready, bad network path or name, invalid name); any other
// failure, such as access denied, counts as existing.
bool FolderExists(const std::string& path);

// Deletes the folder with everything in it, for good, without asking and without a progress
// display. False when it does not exist (nothing is done) or the deletion failed.
bool DeleteFolder(const std::string& path);
