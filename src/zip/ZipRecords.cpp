#include "zip/ZipRecords.h"

#include "base/CodePage437.h"
#include "base/Utf.h"
#include "zip/ZipCursor.h"

namespace ZipRecords {

namespace {

// Each layout lists a record's fixed fields after its signature, in their order on disk. A
// reader cursor fills THeader from bytes; a writer cursor appends THeader's fields.

template <typename TCursor, typename THeader>
void LocalHeaderLayout(TCursor& ACursor, THeader& AHeader) {
  ACursor.Field(AHeader.RequiredVersion);
  ACursor.Field(AHeader.Flag);
  ACursor.Field(AHeader.CompressionMethod);
  ACursor.Field(AHeader.ModifiedDateTime);
  ACursor.Field(AHeader.CRC32);
  ACursor.Field32(AHeader.CompressedSize);
  ACursor.Field32(AHeader.UncompressedSize);
  ACursor.Field(AHeader.FileNameLength);
  ACursor.Field(AHeader.ExtraFieldLength);
}

template <typename TCursor, typename THeader>
void CentralHeaderLayout(TCursor& ACursor, THeader& AHeader) {
  ACursor.Field(AHeader.MadeByVersion);
  ACursor.Field(AHeader.RequiredVersion);
  ACursor.Field(AHeader.Flag);
  ACursor.Field(AHeader.CompressionMethod);
  ACursor.Field(AHeader.ModifiedDateTime);
  ACursor.Field(AHeader.CRC32);
  ACursor.Field32(AHeader.CompressedSize);
  ACursor.Field32(AHeader.UncompressedSize);
  ACursor.Field(AHeader.FileNameLength);
  ACursor.Field(AHeader.ExtraFieldLength);
  ACursor.Field(AHeader.FileCommentLength);
  ACursor.Field(AHeader.DiskNumberStart);
  ACursor.Field(AHeader.InternalAttributes);
  ACursor.Field(AHeader.ExternalAttributes);
  ACursor.Field32(AHeader.LocalHeaderOffset);
}

template <typename TCursor, typename TEnd>
void DirectoryEndLayout(TCursor& ACursor, TEnd& AEnd) {
  ACursor.Field(AEnd.ThisDisk);
  ACursor.Field(AEnd.DirectoryDisk);
  ACursor.Field(AEnd.DiskEntries);
  ACursor.Field(AEnd.TotalEntries);
  ACursor.Field(AEnd.DirectorySize);
  ACursor.Field(AEnd.DirectoryOffset);
  ACursor.Field(AEnd.CommentSize);
}

template <typename TCursor, typename TEnd>
void Zip64EndLayout(TCursor& ACursor, TEnd& AEnd) {
  ACursor.Field(AEnd.RecordSize);
  ACursor.Field(AEnd.MadeByVersion);
  ACursor.Field(AEnd.RequiredVersion);
  ACursor.Field(AEnd.ThisDisk);
  ACursor.Field(AEnd.DirectoryDisk);
  ACursor.Field(AEnd.DiskEntries);
  ACursor.Field(AEnd.TotalEntries);
  ACursor.Field(AEnd.DirectorySize);
  ACursor.Field(AEnd.DirectoryOffset);
}

template <typename TCursor, typename TLocator>
void Zip64LocatorLayout(TCursor& ACursor, TLocator& ALocator) {
  ACursor.Field(ALocator.EndRecordDisk);
  ACursor.Field(ALocator.EndRecordOffset);
  ACursor.Field(ALocator.TotalDisks);
}

// Fills ARecord from the ASize bytes at AFixed by ALayout.
template <typename TLayout, typename TRecord>
void ReadWith(TLayout ALayout, const uint8_t* AFixed, int64_t ASize, TRecord& ARecord) {
  TZipReader reader(AFixed, static_cast<size_t>(ASize));
  ALayout(reader, ARecord);
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
  TZipDirectoryEnd end;
  ReadWith(DirectoryEndLayout<TZipReader, TZipDirectoryEnd>, AFixed, kDirectoryEndFixedSize, end);
  return end;
}

TZip64DirectoryEnd ReadZip64End(const uint8_t* AFixed) {
  TZip64DirectoryEnd end;
  ReadWith(Zip64EndLayout<TZipReader, TZip64DirectoryEnd>, AFixed, kZip64EndFixedSize, end);
  return end;
}

TZip64Locator ReadZip64Locator(const uint8_t* AFixed) {
  TZip64Locator locator;
  ReadWith(Zip64LocatorLayout<TZipReader, TZip64Locator>, AFixed, kZip64LocatorFixedSize, locator);
  return locator;
}

void WriteLocalHeader(TBytes& AOut, const TZipHeader& AHeader) {
  TZipWriter writer(AOut);
  writer.Field(kLocalHeaderSignature);
  LocalHeaderLayout(writer, AHeader);
  writer.Bytes(AHeader.FileName);
  writer.Bytes(AHeader.ExtraField);
}

void WriteCentralHeader(TBytes& AOut, const TZipHeader& AHeader) {
  TZipWriter writer(AOut);
  writer.Field(kCentralHeaderSignature);
  CentralHeaderLayout(writer, AHeader);
  writer.Bytes(AHeader.FileName);
  writer.Bytes(AHeader.ExtraField);
  writer.Bytes(AHeader.FileComment);
}

void WriteDirectoryEnd(TBytes& AOut, const TZipDirectoryEnd& AEnd, const TBytes& AComment) {
  TZipWriter writer(AOut);
  writer.Field(kDirectoryEndSignature);
  DirectoryEndLayout(writer, AEnd);
  writer.Bytes(AComment);
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

}  // namespace ZipRecords
