#pragma once

// The Zip64 records: the end of central directory record with its locator, and the extra field
// that carries an entry's sizes and offset once they outgrow 32 bits. A field of the classic
// records that holds all ones (0xFFFF, 0xFFFFFFFF) says that its value is found there. Their
// layouts are in ZipRecords.

#include <cstdint>

#include "base/Stream.h"
#include "zip/ZipHeader.h"

namespace ZipRecords {

constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kZip64Marker16 = 0xFFFF;
constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;

constexpr const char* kZip64EndMissing =
    "Zip64 end of central directory record is missing or damaged";

// Reads the Zip64 locator before the end record that starts at AEndRecordPosition, and the Zip64
// end record it points to (an offset from AArchiveStart). False when there is no locator;
// EZipException kZip64EndMissing when there is one and its record is not there.
bool ReadZip64DirectoryEnd(TStream& AStream, int64_t AArchiveStart, int64_t AEndRecordPosition,
                           TZip64DirectoryEnd& ADirectoryEnd);

// Replaces the sizes and the local header offset of a central header that hold 0xFFFFFFFF with
// the 64-bit values of its Zip64 extra field, which lists them in that order and only those.
// False when the extra field does not carry every value needed.
bool ApplyZip64Extra(TZipHeader& AHeader);

}  // namespace ZipRecords
