#include "zip/Zip64Records.h"

#include "zip/ZipFile.h"
#include "zip/ZipRecords.h"

namespace ZipRecords {

bool ReadZip64DirectoryEnd(TStream& Stream, int64_t ArchiveStart, int64_t EndRecordPosition,
                           TZip64DirectoryEnd& DirectoryEnd) {
  if (EndRecordPosition < kZip64LocatorSize) return false;
  uint8_t locator[kZip64LocatorSize];
  Stream.SetPosition(EndRecordPosition - kZip64LocatorSize);
  if (ReadUpTo(Stream, locator, kZip64LocatorSize) != kZip64LocatorSize ||
      Get32(locator) != kZip64LocatorSignature)
    return false;
  // Offsets count from the start of the archive, as the directory's do.
  const uint64_t offset = Get64(locator + 8);
  const int64_t size = Stream.Size();
  if (ArchiveStart > size - kZip64EndSize ||
      offset > static_cast<uint64_t>(size - kZip64EndSize - ArchiveStart))
    throw EZipException(kZip64EndMissing);
  uint8_t record[kZip64EndSize];
  Stream.SetPosition(ArchiveStart + static_cast<int64_t>(offset));
  if (ReadUpTo(Stream, record, kZip64EndSize) != kZip64EndSize ||
      Get32(record) != kZip64EndSignature)
    throw EZipException(kZip64EndMissing);
  DirectoryEnd.TotalEntries = Get64(record + 32);
  DirectoryEnd.DirectorySize = Get64(record + 40);
  DirectoryEnd.DirectoryOffset = Get64(record + 48);
  return true;
}

bool ApplyZip64Extra(TZipHeader& Header) {
  uint64_t* const fields[] = {&Header.UncompressedSize, &Header.CompressedSize,
                              &Header.LocalHeaderOffset};
  bool needed = false;
  for (const uint64_t* f : fields)
    needed = needed || *f == kZip64Marker32;
  if (!needed) return true;
  // The extra field is a sequence of blocks: a 2-byte id, a 2-byte length, then the data.
  const TIdBytes& extra = Header.ExtraField;
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const uint16_t id = Get16(&extra[at]);
    const size_t length = Get16(&extra[at + 2]);
    const size_t data = at + 4;
    if (extra.size() - data < length) return false;
    if (id == kZip64ExtraId) {
      size_t used = 0;
      for (uint64_t* f : fields) {
        if (*f != kZip64Marker32) continue;
        if (length - used < 8) return false;
        *f = Get64(&extra[data + used]);
        used += 8;
      }
      return true;
    }
    at = data + length;
  }
  return false;
}

}  // namespace ZipRecords
