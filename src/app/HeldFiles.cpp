#include "app/HeldFiles.h"

#include <zlib.h>

#include <algorithm>

#include "base/Format.h"
#include "base/Texts.h"
#include "zip/ZipFile.h"

namespace {

// Read back in blocks of this size.
constexpr int64_t kBlock = 64 * 1024;

constexpr const char* kRunnable[] = {".exe", ".dll", ".sys", ".msi", ".ps1",
                                     ".bat", ".cmd", ".vbs", ".js"};

}  // namespace

bool THeldFiles::IsRunnable(const std::string& APath) {
  const size_t name = APath.find_last_of("\\/");
  const size_t dot = APath.rfind('.');
  if (dot == std::string::npos || (name != std::string::npos && dot < name)) return false;
  std::string extension = APath.substr(dot);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const char* runnable : kRunnable)
    if (extension == runnable) return true;
  return false;
}

void THeldFiles::Hold(std::unique_ptr<TStream> AFile, const std::string& AName, uint64_t ASize,
                      uint32_t ACrc) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(ASize + 1, kBlock)));
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t size = 0;
  AFile->SetPosition(0);
  for (;;) {
    const int64_t n = AFile->Read(block.data(), static_cast<int64_t>(block.size()));
    if (n <= 0) break;
    crc = crc32(crc, block.data(), static_cast<uInt>(n));
    size += static_cast<uint64_t>(n);
    // Longer than it should be: no need to read the rest.
    if (size > ASize) break;
  }
  if (size != ASize || crc != ACrc) throw EZipException(Format(RSZipEntryCRC, AName.c_str()));
  FFiles.push_back(std::move(AFile));
}
