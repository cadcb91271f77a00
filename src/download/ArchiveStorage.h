#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStorageVolumes;
class TStream;

// Where an archive is held between its download and its extraction, and whether the disks have
// room for it: an archive within MemoryLimit stays in memory; a larger one goes to a temporary
// file in the user's temporary folder, made before the download once that folder's volume has
// been found to have room; a body without a length starts in memory and moves to such a file
// when it grows past the limit. The ZIP reader reads either through the same stream interface.
class TArchiveStorage {
 public:
  // Room kept free on a volume beyond what the archive or its files take.
  static constexpr int64_t FreeSpaceMargin = int64_t{64} << 20;

  // The smaller of 1 GiB and a quarter of the physical memory (a program built with a limit of
  // its own sets that instead).
  static int64_t DefaultMemoryLimit();
  // The largest archive held in memory (tests lower it).
  int64_t MemoryLimit = DefaultMemoryLimit();

  // The stream for an archive whose size probe announced ALength bytes (0 or less: none).
  // Raises, before anything is written, when a file-backed archive would not fit on the
  // temporary folder's volume, or when the file cannot be made.
  std::unique_ptr<TStream> CreateStream(TStorageVolumes& APlatform, int64_t ALength) const;
  // The most a body without an announced length may bring: the free space of the temporary
  // folder's volume, less the margin, or the memory limit when that is more.
  int64_t UnannouncedRoom(TStorageVolumes& APlatform) const;
  // Raises, before anything is written, when files of these sizes, each taking whole clusters,
  // would not fit with the margin on the volume that holds the folder. Nothing is checked when
  // the system cannot tell a volume's space.
  void CheckRoomForFiles(TStorageVolumes& APlatform, const std::vector<uint64_t>& ASizes,
                         const std::string& AFolder) const;
};

// A size as the user reads it: in KB, MB or GB (of 1024; the units in the user's language) with
// one decimal, rounded up or down.
std::string SizeText(int64_t ABytes, bool ARoundUp);
