#pragma once

#include <string>

// The path up to and including its last "\" or "/"; empty when it has neither. The drive
// separator ":" is not a separator here.
std::string ExtractFilePath(const std::string& APath);

// Whether the folder exists, links followed. A failed query counts as missing only for errors
// that say so (not found, device not ready, bad network path or name, invalid name); any other
// failure, such as access denied, counts as existing.
bool FolderExists(const std::string& APath);

// Deletes the folder with everything in it, for good, without asking and without a progress
// display; read-only files go too. Links inside (symbolic links, junctions and other reparse
// points) are removed themselves, never followed; one that cannot be removed on its own is
// left, and the deletion then fails. False when it does not exist (nothing is done) or the
// deletion failed.
bool DeleteFolder(const std::string& APath);

// Creates one folder level that only the user, SYSTEM and the Administrators may open: an
// explicit, protected access list (nothing inherited from the folder above) that the files and
// folders made below inherit. Natively the folder's mode is 0700. False when it could not be
// created (also when something is there).
bool CreatePrivateFolder(const std::string& APath);

// What is at a path, links not followed (a trailing separator is ignored).
enum class TPathKind {
  pkMissing,
  pkFolder,
  // A symbolic link, junction or other reparse point, or a path the system resolves to
  // another place.
  pkLink,
  // A file, or something that cannot be looked at.
  pkOther,
};
TPathKind PathKind(const std::string& APath);
