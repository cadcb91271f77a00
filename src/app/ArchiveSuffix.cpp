#include "app/ArchiveSuffix.h"

std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt) {
  const size_t i = AFileName.find_last_of(".\\:");
  if (i != std::string::npos && AFileName[i] == '.') return AFileName.substr(0, i) + AExt;
  return AFileName + AExt;
}

std::string ArchiveSuffix(const std::string& AExePath) {
  if (AExePath.find("-develop") == std::string::npos) return "_x64-stable.zip";
  const size_t x = AExePath.find("_x");
  return ChangeFileExt(x == std::string::npos ? AExePath : AExePath.substr(x), ".zip");
}
