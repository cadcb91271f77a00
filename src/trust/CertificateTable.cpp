#include "trust/CertificateTable.h"

#include <cstdint>

namespace {

// The security directory is the fifth of the optional header's data directories.
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kDirectorySize = 8;

bool ReadAt(TStream& AFile, int64_t AOffset, void* ABuffer, int64_t ACount) {
  if (AFile.Seek(AOffset, TSeekOrigin::soBeginning) != AOffset) return false;
  auto* at = static_cast<uint8_t*>(ABuffer);
  while (ACount > 0) {
    const int64_t n = AFile.Read(at, ACount);
    if (n <= 0) return false;
    at += n;
    ACount -= n;
  }
  return true;
}

uint32_t Le(const uint8_t* AAt, int ABytes) {
  uint32_t value = 0;
  for (int i = ABytes - 1; i >= 0; --i)
    value = value << 8 | AAt[i];
  return value;
}

}  // namespace

std::optional<bool> HasCertificateTable(TStream& AFile) {
  uint8_t dos[64];
  if (!ReadAt(AFile, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const int64_t pe = Le(dos + 0x3C, 4);
  // The signature, the file header and the optional header's magic.
  uint8_t head[26];
  if (!ReadAt(AFile, pe, head, sizeof head) || Le(head, 4) != 0x00004550) return std::nullopt;
  const uint32_t optionalSize = Le(head + 20, 2);
  const uint32_t magic = Le(head + 24, 2);
  // Where the count of directories and the directories lie in the optional header.
  uint32_t countAt = 0;
  if (magic == 0x10B)
    countAt = 92;
  else if (magic == 0x20B)
    countAt = 108;
  else
    return std::nullopt;
  const int64_t optional = pe + 24;
  if (optionalSize < countAt + 4) return std::nullopt;
  uint8_t count[4];
  if (!ReadAt(AFile, optional + countAt, count, sizeof count)) return std::nullopt;
  const uint32_t directories = Le(count, 4);
  const uint32_t entryAt = countAt + 4 + kSecurityDirectory * kDirectorySize;
  // A header too short for the directory has none.
  if (directories <= kSecurityDirectory) return false;
  if (optionalSize < entryAt + kDirectorySize) return std::nullopt;
  uint8_t entry[kDirectorySize];
  if (!ReadAt(AFile, optional + entryAt, entry, sizeof entry)) return std::nullopt;
  return Le(entry, 4) != 0 || Le(entry + 4, 4) != 0;
}
