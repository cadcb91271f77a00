#include "zip/ZipRecords.h"

#include <zlib.h>

#include "base/CodePage437.h"
#include "base/Utf.h"
#include "zip/ZipCursor.h"

namespace ZipRecords {

namespace {

// Each layout lists a record's fixed fields after its signature, in their order on disk. A
// reader cursor fills THeader from bytes; a writer cursor appends THeader's fields.

// The fields a local header and its central header share, in the same order in both.
template <typename TCursor, typename THeader>
void EntryFieldsLayout(TCursor& ACursor, THeader& AHeader) {
  ACursor.Fields(AHeader.RequiredVersion, AHeader.Flag, AHeader.CompressionMethod,
                 AHeader.ModifiedDateTime, AHeader.CRC32);
  ACursor.Field32(AHeader.CompressedSize);
  ACursor.Field32(AHeader.UncompressedSize);
  ACursor.Fields(AHeader.FileNameLength, AHeader.ExtraFieldLength);
}

template <typename TCursor, typename THeader>
void LocalHeaderLayout(TCursor& ACursor, THeader& AHeader) {
  EntryFieldsLayout(ACursor, AHeader);
}

template <typename TCursor, typename THeader>
void CentralHeaderLayout(TCursor& ACursor, THeader& AHeader) {
  ACursor.Field(AHeader.MadeByVersion);
  EntryFieldsLayout(ACursor, AHeader);
  ACursor.Fields(AHeader.FileCommentLength, AHeader.DiskNumberStart, AHeader.InternalAttributes,
                 AHeader.ExternalAttributes);
  ACursor.Field32(AHeader.LocalHeaderOffset);
}

// Where the directory stands (TZipDirectoryPlace), in the same order in the end record and the
// Zip64 end record.
template <typename TCursor, typename TEnd>
void DirectoryPlaceLayout(TCursor& ACursor, TEnd& AEnd) {
  ACursor.Fields(AEnd.ThisDisk, AEnd.DirectoryDisk, AEnd.DiskEntries, AEnd.TotalEntries,
                 AEnd.DirectorySize, AEnd.DirectoryOffset);
}

template <typename TCursor, typename TEnd>
void DirectoryEndLayout(TCursor& ACursor, TEnd& AEnd) {
  DirectoryPlaceLayout(ACursor, AEnd);
  ACursor.Field(AEnd.CommentSize);
}

template <typename TCursor, typename TEnd>
void Zip64EndLayout(TCursor& ACursor, TEnd& AEnd) {
  ACursor.Fields(AEnd.RecordSize, AEnd.MadeByVersion, AEnd.RequiredVersion);
  DirectoryPlaceLayout(ACursor, AEnd);
}

template <typename TCursor, typename TLocator>
void Zip64LocatorLayout(TCursor& ACursor, TLocator& ALocator) {
  ACursor.Fields(ALocator.EndRecordDisk, ALocator.EndRecordOffset, ALocator.TotalDisks);
}

// Fills ARecord from the ASize bytes at AFixed by ALayout.
template <typename TLayout, typename TRecord>
void ReadWith(TLayout ALayout, const uint8_t* AFixed, int64_t ASize, TRecord& ARecord) {
  TZipReader reader(AFixed, static_cast<size_t>(ASize));
  ALayout(reader, ARecord);
}

// A fresh record read from the ASize bytes at AFixed by ALayout.
template <typename TRecord, typename TLayout>
TRecord ReadRecord(TLayout ALayout, const uint8_t* AFixed, int64_t ASize) {
  TRecord record;
  ReadWith(ALayout, AFixed, ASize, record);
  return record;
}

// Appends a record's signature and its fixed part by ALayout; the writer returned goes on with
// the record's variable parts.
template <typename TLayout, typename TRecord>
TZipWriter StartRecord(TBytes& AOut, uint32_t ASignature, TLayout ALayout, const TRecord& ARecord) {
  TZipWriter writer(AOut);
  writer.Field(ASignature);
  ALayout(writer, ARecord);
  return writer;
}

}  // namespace

uint32_t Signature(const uint8_t* ABytes) {
  uint32_t value = 0;
  TZipReader(ABytes, 4).Field(value);
  return value;
}

void ReadLocalHeader(const uint8_t* AFixed, TZipHeader& AHeader) {
  ReadWith(LocalHeaderLayout<TZipReader, TZipHeader>, AFixed, kLocalFixedSize, AHeader);
}

void ReadCentralHeader(const uint8_t* AFixed, TZipHeader& AHeader) {
  ReadWith(CentralHeaderLayout<TZipReader, TZipHeader>, AFixed, kCentralFixedSize, AHeader);
}

TZipDirectoryEnd ReadDirectoryEnd(const uint8_t* AFixed) {
  return ReadRecord<TZipDirectoryEnd>(DirectoryEndLayout<TZipReader, TZipDirectoryEnd>, AFixed,
                                      kDirectoryEndFixedSize);
}

TZip64DirectoryEnd ReadZip64End(const uint8_t* AFixed) {
  return ReadRecord<TZip64DirectoryEnd>(Zip64EndLayout<TZipReader, TZip64DirectoryEnd>, AFixed,
                                        kZip64EndFixedSize);
}

TZip64Locator ReadZip64Locator(const uint8_t* AFixed) {
  return ReadRecord<TZip64Locator>(Zip64LocatorLayout<TZipReader, TZip64Locator>, AFixed,
                                   kZip64LocatorFixedSize);
}

void WriteLocalHeader(TBytes& AOut, const TZipHeader& AHeader) {
  TZipWriter writer = StartRecord(AOut, kLocalHeaderSignature,
                                  LocalHeaderLayout<TZipWriter, const TZipHeader>, AHeader);
  writer.Bytes(AHeader.FileName);
  writer.Bytes(AHeader.ExtraField);
}

void WriteCentralHeader(TBytes& AOut, const TZipHeader& AHeader) {
  TZipWriter writer = StartRecord(AOut, kCentralHeaderSignature,
                                  CentralHeaderLayout<TZipWriter, const TZipHeader>, AHeader);
  writer.Bytes(AHeader.FileName);
  writer.Bytes(AHeader.ExtraField);
  writer.Bytes(AHeader.FileComment);
}

void WriteDirectoryEnd(TBytes& AOut, const TZipDirectoryEnd& AEnd, const TBytes& AComment) {
  StartRecord(AOut, kDirectoryEndSignature, DirectoryEndLayout<TZipWriter, const TZipDirectoryEnd>,
              AEnd)
      .Bytes(AComment);
}

int64_t ReadUpTo(TStream& AStream, void* ABuffer, int64_t ACount) {
  auto* p = static_cast<uint8_t*>(ABuffer);
  int64_t done = 0;
  while (done < ACount) {
    const int64_t n = AStream.Read(p + done, ACount - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

void ReadUpTo(TStream& AStream, TBytes& ABytes, uint16_t ALength) {
  ABytes.assign(ALength, 0);
  if (ALength > 0) ReadUpTo(AStream, ABytes.data(), ALength);
}

std::string DecodeName(const TBytes& ARaw, bool AUtf8) {
  const std::string_view bytes = AsText(ARaw);
  if (AUtf8) return IsValidUtf8(bytes) ? std::string(bytes) : std::string();
  return CodePage437ToUtf8(bytes);
}

std::optional<std::string_view> ExtraBlock(const TBytes& AExtraField, uint16_t AId) {
  TZipReader blocks(AExtraField.data(), AExtraField.size());
  while (blocks.Left() >= 4) {
    uint16_t id = 0;
    uint16_t length = 0;
    blocks.Fields(id, length);
    if (blocks.Left() < length) return std::nullopt;
    if (id == AId) return AsText(AExtraField).substr(blocks.Position(), length);
    blocks.Skip(length);
  }
  return std::nullopt;
}

std::string EntryName(const TZipHeader& AHeader) {
  const std::string_view raw = AsText(AHeader.FileName);
  if (AHeader.Flag & kZipFlagUtf8) return IsValidUtf8(raw) ? std::string(raw) : std::string();
  // The field names the header's name by its CRC-32, so a tool that renamed the entry without
  // knowing the field leaves one that no longer counts.
  if (const auto unicode = ExtraBlock(AHeader.ExtraField, kUnicodePathExtraId);
      unicode && unicode->size() > 5 && unicode->front() == 1) {
    TZipReader fields(reinterpret_cast<const uint8_t*>(unicode->data()) + 1, 4);
    uint32_t nameCrc = 0;
    fields.Field(nameCrc);
    const std::string_view name = unicode->substr(5);
    const auto crc =
        crc32(0L, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size()));
    if (crc == nameCrc && IsValidUtf8(name)) return std::string(name);
  }
  const auto host = static_cast<uint8_t>(AHeader.MadeByVersion >> 8);
  if ((host == kHostUnix || host == kHostOsX) && IsValidUtf8(raw)) return std::string(raw);
  return CodePage437ToUtf8(raw);
}

}  // namespace ZipRecords
