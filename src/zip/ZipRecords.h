#pragma once

// The byte-level side of the archive records, shared by the parts of TZipFile.

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Stream.h"
#include "zip/ZipHeader.h"

namespace ZipRecords {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kDirectoryEndSignature = 0x06054B50;
// Fixed parts of the records after their 4-byte signatures.
constexpr int64_t kCentralFixedSize = 42;
constexpr int64_t kLocalFixedSize = 26;
constexpr int64_t kDirectoryEndFixedSize = 18;
constexpr int64_t kDirectoryEndSize = 4 + kDirectoryEndFixedSize;
// Extraction copies an entry in blocks of this size (and Add reads its data in them).
constexpr int64_t kCopyBlockSize = 61440;

// Little-endian values.
inline uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}
void Put16(TIdBytes& out, uint16_t v);
void Put32(TIdBytes& out, uint32_t v);
void PutBytes(TIdBytes& out, const TIdBytes& bytes);

// Reads until Count bytes arrived or the stream yields nothing; the count that arrived.
int64_t ReadUpTo(TStream& stream, void* buffer, int64_t count);
// Length bytes into a fresh array; bytes that do not arrive stay 0.
void ReadUpTo(TStream& stream, TIdBytes& bytes, uint16_t length);

inline bool IsReadingMode(TZipMode mode) {
  return mode == TZipMode::zmRead || mode == TZipMode::zmReadWrite;
}
inline bool IsWritingMode(TZipMode mode) {
  return mode == TZipMode::zmReadWrite || mode == TZipMode::zmWrite;
}

inline std::string_view AsText(const TIdBytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// An entry's name or comment: UTF-8 when its header carries bit 11 (invalid UTF-8 then gives an
// empty string), code page 437 when it does not.
std::string DecodeName(const TIdBytes& raw, bool utf8);

// The entry's name as its header says it is encoded.
inline std::string EntryName(const TZipHeader& header) {
  return DecodeName(header.FileName, header.Flag & kZipFlagUtf8);
}

}  // namespace ZipRecords
