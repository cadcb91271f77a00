#pragma once

// The archive records, each with one layout that both reads and writes it (ZipRecords.cpp), and
// the byte-level helpers shared by the parts of TZipFile.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Stream.h"
#include "zip/ZipHeader.h"

namespace ZipRecords {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kDirectoryEndSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
// The fixed parts of the records after their 4-byte signatures, as their layouts read them.
constexpr int64_t kLocalFixedSize = 26;
constexpr int64_t kCentralFixedSize = 42;
constexpr int64_t kDirectoryEndFixedSize = 18;
constexpr int64_t kZip64EndFixedSize = 52;
constexpr int64_t kZip64LocatorFixedSize = 16;
// Whole records, signature included.
constexpr int64_t kDirectoryEndSize = 4 + kDirectoryEndFixedSize;
constexpr int64_t kZip64EndSize = 4 + kZip64EndFixedSize;
constexpr int64_t kZip64LocatorSize = 4 + kZip64LocatorFixedSize;
// Extraction copies an entry in blocks of this size (and Add reads its data in them).
constexpr int64_t kCopyBlockSize = 61440;

// The signature at the start of four bytes.
uint32_t Signature(const uint8_t* ABytes);

// The fixed part of a record, read from exactly its fixed size of bytes after the signature.
// A local header leaves the fields it lacks as they are; the variable parts are not read.
void ReadLocalHeader(const uint8_t* AFixed, TZipHeader& AHeader);
void ReadCentralHeader(const uint8_t* AFixed, TZipHeader& AHeader);
TZipDirectoryEnd ReadDirectoryEnd(const uint8_t* AFixed);
TZip64DirectoryEnd ReadZip64End(const uint8_t* AFixed);
TZip64Locator ReadZip64Locator(const uint8_t* AFixed);

// The whole record appended to AOut: signature, fixed part, then its variable parts (a local
// header's name and extra field; a central header's name, extra field and comment; the end
// record's comment). A size or offset beyond 32 bits fails with "Zip file too large".
void WriteLocalHeader(TBytes& AOut, const TZipHeader& AHeader);
void WriteCentralHeader(TBytes& AOut, const TZipHeader& AHeader);
void WriteDirectoryEnd(TBytes& AOut, const TZipDirectoryEnd& AEnd, const TBytes& AComment);

// Reads until ACount bytes arrived or the stream yields nothing; the count that arrived.
int64_t ReadUpTo(TStream& AStream, void* ABuffer, int64_t ACount);
// ALength bytes into a fresh array; bytes that do not arrive stay 0.
void ReadUpTo(TStream& AStream, TBytes& ABytes, uint16_t ALength);

inline bool IsReadingMode(TZipMode AMode) {
  return AMode == TZipMode::zmRead || AMode == TZipMode::zmReadWrite;
}
inline bool IsWritingMode(TZipMode AMode) {
  return AMode == TZipMode::zmReadWrite || AMode == TZipMode::zmWrite;
}

inline std::string_view AsText(const TBytes& ABytes) {
  return {reinterpret_cast<const char*>(ABytes.data()), ABytes.size()};
}

// An entry's name or comment: UTF-8 when its header carries bit 11 (invalid UTF-8 then gives an
// empty string), code page 437 when it does not.
std::string DecodeName(const TBytes& ARaw, bool AUtf8);

// The data of the first block with the id AId in an extra field (a run of blocks, each a 2-byte
// id, a 2-byte length and that many bytes); std::nullopt when there is none, or when a block
// before it runs past the field's end.
std::optional<std::string_view> ExtraBlock(const TBytes& AExtraField, uint16_t AId);

// Info-ZIP's Unicode Path extra field: a version (1), the CRC-32 of the header's name, and the
// name in UTF-8.
constexpr uint16_t kUnicodePathExtraId = 0x7075;

// Hosts of "version made by" (its high byte) whose file names are UTF-8 bytes.
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostOsX = 19;

// The entry's name as every other extractor reads it. With bit 11, UTF-8 (invalid UTF-8 then
// gives an empty string). Without it: the name of a Unicode Path extra field whose CRC-32 matches
// the header's name; else, for an archive made on Unix or OS X, the name as UTF-8 when it is
// valid UTF-8 (Info-ZIP's zip stores those systems' UTF-8 names without the flag); else code
// page 437, which is what MS-DOS and Windows writers without the flag mean.
std::string EntryName(const TZipHeader& AHeader);

}  // namespace ZipRecords
