#pragma once

#include <cstdint>
#include <vector>

#include "base/Bytes.h"

// What an archive object is open for; the reading modes are zmRead and zmReadWrite, the
// writing modes zmReadWrite and zmWrite.
enum class TZipMode : uint8_t { zmClosed = 0, zmRead = 1, zmReadWrite = 2, zmWrite = 3 };

// ZIP compression method numbers (the low 8 bits of a header's CompressionMethod).
enum class TZipCompression : uint8_t {
  zcStored = 0,
  zcShrunk = 1,
  zcReduce1 = 2,
  zcReduce2 = 3,
  zcReduce3 = 4,
  zcReduce4 = 5,
  zcImplode = 6,
  zcTokenize = 7,
  zcDeflate = 8,
  zcDeflate64 = 9,
  zcPKImplode = 10,
  zcPKReserved11 = 11,
  zcBZIP2 = 12,
  zcPKReserved13 = 13,
  zcLZMA = 14,
  zcPKReserved15 = 15,
  zcPKReserved16 = 16,
  zcPKReserved17 = 17,
  zcTERSE = 18,
  zcLZ77 = 19,
  zcWavePack = 97,
  zcPPMdI1 = 98,
};

// Bits of Flag: bit 0, the entry is encrypted; bit 6, with strong encryption; bit 11, the
// entry's name and comment are UTF-8.
constexpr uint16_t kZipFlagEncrypted = 0x0001;
constexpr uint16_t kZipFlagStrongEncryption = 0x0040;
constexpr uint16_t kZipFlagUtf8 = 0x0800;

// One entry of an archive. The fixed fields follow the central directory header; the same
// record carries a local header, in which the fields that a local header lacks are 0.
struct TZipHeader {
  uint16_t MadeByVersion = 0;
  uint16_t RequiredVersion = 0;
  uint16_t Flag = 0;
  uint16_t CompressionMethod = 0;
  uint32_t ModifiedDateTime = 0;
  uint32_t CRC32 = 0;
  // 64 bits wide: an archive read with Zip64 records carries its true sizes and offset here,
  // taken from the entry's Zip64 extra field where the 32-bit field holds 0xFFFFFFFF.
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint64_t LocalHeaderOffset = 0;
  // Raw bytes, each exactly as long as its length field says.
  TBytes FileName;
  TBytes ExtraField;
  TBytes FileComment;
};

// Where the central directory stands, as the end record and the Zip64 end record both tell it,
// each in fields of its own widths.
template <typename TDisk, typename TCount, typename TSize>
struct TZipDirectoryPlace {
  TDisk ThisDisk = 0;
  TDisk DirectoryDisk = 0;
  TCount DiskEntries = 0;
  TCount TotalEntries = 0;
  TSize DirectorySize = 0;
  TSize DirectoryOffset = 0;
};

// The fields of the end of central directory record that follow its signature.
struct TZipDirectoryEnd : TZipDirectoryPlace<uint16_t, uint16_t, uint32_t> {
  uint16_t CommentSize = 0;
};

// The Zip64 end of central directory record, for archives that outgrow the 16- and 32-bit
// fields of the end record (its extensible data is not used).
struct TZip64DirectoryEnd : TZipDirectoryPlace<uint32_t, uint64_t, uint64_t> {
  uint64_t RecordSize = 0;  // of the record after this field
  uint16_t MadeByVersion = 0;
  uint16_t RequiredVersion = 0;
};

// The Zip64 end of central directory locator, right before the end record.
struct TZip64Locator {
  uint32_t EndRecordDisk = 0;
  uint64_t EndRecordOffset = 0;  // from the start of the archive
  uint32_t TotalDisks = 0;
};
