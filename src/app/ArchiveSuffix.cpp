#include "app/ArchiveSuffix.h"

namespace {

// The name without the number a browser adds to a second download of the same file, " (1)"
// (some leave out the space).
std::string WithoutCopyNumber(const std::string& AStem) {
  if (AStem.empty() || AStem.back() != ')') return AStem;
  const size_t open = AStem.rfind('(');
  if (open == std::string::npos || open + 2 >= AStem.size()) return AStem;
  for (size_t i = open + 1; i + 1 < AStem.size(); ++i)
    if (AStem[i] < '0' || AStem[i] > '9') return AStem;
  const size_t end = open > 0 && AStem[open - 1] == ' ' ? open - 1 : open;
  return AStem.substr(0, end);
}

}  // namespace

std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt) {
  const size_t i = AFileName.find_last_of(".\\:");
  if (i != std::string::npos && AFileName[i] == '.') return AFileName.substr(0, i) + AExt;
  return AFileName + AExt;
}

std::string ArchiveSuffix(const std::string& AExePath) {
  if (AExePath.find("-develop") == std::string::npos) return "_x64-stable.zip";
  // The file name alone: the folders (with the user's name in them) are no part of the URL.
  const size_t separator = AExePath.find_last_of("\\/:");
  const std::string name =
      separator == std::string::npos ? AExePath : AExePath.substr(separator + 1);
  const std::string stem = WithoutCopyNumber(ChangeFileExt(name, ""));
  const size_t x = stem.find("_x");
  return (x == std::string::npos ? stem : stem.substr(x)) + ".zip";
}
