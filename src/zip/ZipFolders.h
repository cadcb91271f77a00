#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

// The folders one extraction has made or found, so that each is made once: a file in a folder
// already known costs no folder call, a new folder one creation (with a check only when the
// creation fails). The paths are those the extraction composes, so the same folder always
// comes by the same text.
class TZipFolders {
 public:
  virtual ~TZipFolders() = default;

  // Makes sure the folder and its parents exist, from the top down, with the checks of
  // ForceFolders (ZipPaths.h) on a folder not yet known. A level that cannot be made is not
  // reported here: creating a file in it fails later with the system's reason.
  void Force(std::string_view AFolder);

 protected:
  // The two calls on the file system, for tests to watch.
  virtual bool CreateLevel(const std::string& APath);
  virtual bool LevelExists(const std::string& APath);

 private:
  // Folders known to exist: the texts asked for and every level made or found on their way.
  std::unordered_set<std::string> FKnown;
};
