#include "download/ArchiveStorage.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/SpillingStream.h"
#include "base/SystemMemory.h"
#include "base/Texts.h"
#include "download/DownloadClient.h"
#include "download/DownloadErrors.h"
#include "download/StorageVolumes.h"

namespace {

constexpr int64_t kMemoryLimitCeiling = int64_t{1} << 30;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

int64_t SaturatingAdd(int64_t a, int64_t b) {
  return a > kMax - b ? kMax : a + b;
}

// Raises when the volume has less than ANeeded bytes free. The need is rounded up and the free
// space down, so that the two never read the same.
void CheckFreeSpace(const TVolumeSpace& ASpace, int64_t ANeeded) {
  if (ASpace.Free >= ANeeded) return;
  throw ENotEnoughSpace(Format(RSDiskSpaceShort, SizeText(ANeeded, true).c_str(),
                               ASpace.Name.c_str(),
                               SizeText(std::max<int64_t>(ASpace.Free, 0), false).c_str()));
}

}  // namespace

std::string SizeText(int64_t ABytes, bool ARoundUp) {
  static constexpr TTextId kUnits[] = {RSSizeKB, RSSizeMB, RSSizeGB};
  double value = static_cast<double>(ABytes) / 1024;
  for (size_t unit = 0;; ++unit) {
    const double tenths = ARoundUp ? std::ceil(value * 10) : std::floor(value * 10);
    // Rounded, 1023.95 KB would read "1024.0 KB": the next unit says it better.
    if (tenths < 10240 || unit + 1 == std::size(kUnits))
      return Format("%.1f %s", tenths / 10, Text(kUnits[unit]).c_str());
    value /= 1024;
  }
}

int64_t TArchiveStorage::DefaultMemoryLimit() {
  const int64_t memory = PhysicalMemorySize();
  return memory > 0 ? std::min(kMemoryLimitCeiling, memory / 4) : kMemoryLimitCeiling;
}

std::unique_ptr<TStream> TArchiveStorage::CreateStream(TStorageVolumes& APlatform,
                                                       int64_t ALength) const {
  if (ALength <= 0) {
    // The file is made only if the body grows past the limit.
    return std::make_unique<TSpillingStream>(MemoryLimit, [&APlatform] {
      return APlatform.CreateTemporaryFile(APlatform.TempFolder());
    });
  }
  if (ALength <= MemoryLimit) return std::make_unique<TMemoryStream>();
  const std::string folder = APlatform.TempFolder();
  // A volume whose space cannot be told is tried all the same.
  if (TVolumeSpace space; APlatform.VolumeSpace(folder, space))
    CheckFreeSpace(space, SaturatingAdd(ALength, FreeSpaceMargin));
  return APlatform.CreateTemporaryFile(folder);
}

int64_t TArchiveStorage::UnannouncedRoom(TStorageVolumes& APlatform) const {
  TVolumeSpace space;
  if (!APlatform.VolumeSpace(APlatform.TempFolder(), space))
    return std::max(MemoryLimit, TDownloadClient::DefaultUnannouncedBodyLimit);
  return std::max(MemoryLimit, space.Free - FreeSpaceMargin);
}

void TArchiveStorage::CheckRoomForFiles(TStorageVolumes& APlatform,
                                        const std::vector<uint64_t>& ASizes,
                                        const std::string& AFolder) const {
  TVolumeSpace space;
  if (!APlatform.VolumeSpace(AFolder, space)) return;
  const uint64_t cluster = space.ClusterSize > 0 ? static_cast<uint64_t>(space.ClusterSize) : 1;
  int64_t needed = FreeSpaceMargin;
  for (const uint64_t size : ASizes) {
    // Whole clusters, and no more than the largest count there is.
    const uint64_t clusters = size / cluster + (size % cluster != 0);
    const uint64_t taken = clusters > static_cast<uint64_t>(kMax) / cluster
                               ? static_cast<uint64_t>(kMax)
                               : clusters * cluster;
    needed = SaturatingAdd(needed, static_cast<int64_t>(std::min<uint64_t>(taken, kMax)));
  }
  CheckFreeSpace(space, needed);
}
