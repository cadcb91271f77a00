#include "app/platform/FolderHelpers.h"

std::string ExtractFilePath(const std::string& APath) {
  const size_t sep = APath.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : APath.substr(0, sep + 1);
}
