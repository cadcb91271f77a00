#include "app/ArchiveSuffix.h"

std::string ChangeFileExt(const std::string& fileName, const std::string& ext) {
  const size_t i = fileName.find_last_of(".\\:");
  if (i != std::string::npos && fileName[i] == '.') return fileName.substr(0, i) + ext;
  return fileName + ext;
}

std::string ArchiveSuffix(const std::string& exePath) {
  if (exePath.find("-develop") == std::string::npos) return "_x64-stable.zip";
  const size_t x = exePath.find("_x");
  return ChangeFileExt(x == std::string::npos ? exePath : exePath.substr(x), ".zip");
}
