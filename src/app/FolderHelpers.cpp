#include "app/FolderHelpers.h"

std::string ExtractFilePath(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}
