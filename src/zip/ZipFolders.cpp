#include "zip/ZipFolders.h"

#include <vector>

#include "base/Exception.h"
#include "base/FileSystem.h"
#include "base/Texts.h"
#include "zip/ZipPaths.h"

bool TZipFolders::CreateLevel(const std::string& APath) {
  return CreateDir(APath);
}

bool TZipFolders::LevelExists(const std::string& APath) {
  return DirectoryExists(APath);
}

void TZipFolders::Force(std::string_view AFolder) {
  std::string asked(AFolder);
  if (FKnown.count(asked)) return;
  const TCheckedFolder folder = CheckFolderPath(AFolder);
  if (!folder.Drive.empty() && !FKnown.count(folder.Drive)) {
    if (!LevelExists(folder.Drive)) throw EDirectoryNotFoundException(Text(RSDriveNotFound));
    FKnown.insert(folder.Drive);
  }
  // The levels not known yet, from the deepest up to the first known one or the root.
  std::vector<std::string> levels;
  for (std::string level = folder.Full;
       level.size() > folder.RootEnd + 1 && !FKnown.count(level);) {
    levels.push_back(level);
    const size_t cut = level.rfind('\\');
    if (cut == std::string::npos) break;
    level.resize(cut);
  }
  // Made from the top down. A level that is there already makes its creation fail: only then is
  // it looked at.
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    if (!CreateLevel(*level) && !LevelExists(*level)) return;
    FKnown.insert(*level);
  }
  FKnown.insert(std::move(asked));
}
