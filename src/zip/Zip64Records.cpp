#include "zip/Zip64Records.h"

#include "zip/ZipCursor.h"
#include "zip/ZipFile.h"
#include "zip/ZipRecords.h"

namespace ZipRecords {

bool ReadZip64DirectoryEnd(TStream& AStream, int64_t AArchiveStart, int64_t AEndRecordPosition,
                           TZip64DirectoryEnd& ADirectoryEnd) {
  if (AEndRecordPosition < kZip64LocatorSize) return false;
  uint8_t locator[kZip64LocatorSize];
  AStream.SetPosition(AEndRecordPosition - kZip64LocatorSize);
  if (ReadUpTo(AStream, locator, kZip64LocatorSize) != kZip64LocatorSize ||
      Signature(locator) != kZip64LocatorSignature)
    return false;
  // Offsets count from the start of the archive, as the directory's do.
  const uint64_t offset = ReadZip64Locator(locator + 4).EndRecordOffset;
  const int64_t size = AStream.Size();
  if (AArchiveStart > size - kZip64EndSize ||
      offset > static_cast<uint64_t>(size - kZip64EndSize - AArchiveStart))
    throw EZipException(kZip64EndMissing);
  uint8_t record[kZip64EndSize];
  AStream.SetPosition(AArchiveStart + static_cast<int64_t>(offset));
  if (ReadUpTo(AStream, record, kZip64EndSize) != kZip64EndSize ||
      Signature(record) != kZip64EndSignature)
    throw EZipException(kZip64EndMissing);
  ADirectoryEnd = ReadZip64End(record + 4);
  return true;
}

bool ApplyZip64Extra(TZipHeader& AHeader) {
  uint64_t* const fields[] = {&AHeader.UncompressedSize, &AHeader.CompressedSize,
                              &AHeader.LocalHeaderOffset};
  bool needed = false;
  for (const uint64_t* f : fields)
    needed = needed || *f == kZip64Marker32;
  if (!needed) return true;
  const auto block = ExtraBlock(AHeader.ExtraField, kZip64ExtraId);
  if (!block) return false;
  TZipReader values(reinterpret_cast<const uint8_t*>(block->data()), block->size());
  for (uint64_t* f : fields)
    if (*f == kZip64Marker32) values.Field(*f);
  return values.Ok();
}

}  // namespace ZipRecords
