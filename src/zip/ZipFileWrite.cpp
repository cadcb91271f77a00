// TZipFile: writing entries, comments and the central directory.
#include <zlib.h>

#include <algorithm>

#include "base/CodePage437.h"
#include "base/DateTime.h"
#include "base/Format.h"
#include "base/MemoryStream.h"
#include "zip/ZStream.h"
#include "zip/ZipFile.h"
#include "zip/ZipRecords.h"

using namespace ZipRecords;

namespace {
// Version 2.0: deflate and folders.
constexpr uint16_t kZipVersion = 20;

uint32_t DosDateTimeNow() {
  const TDateTimeParts t = DecodeDateTime(Now());
  const int year = std::max(t.Year, 1980);
  return static_cast<uint32_t>((year - 1980) << 25 | t.Month << 21 | t.Day << 16 | t.Hour << 11 |
                               t.Minute << 5 | t.Second / 2);
}

uint16_t CheckedLength(size_t length, const char* what) {
  if (length > 0xFFFF) throw EZipException(Format("%s is too long", what));
  return static_cast<uint16_t>(length);
}

uint32_t CheckedSize(int64_t size) {
  if (size < 0 || size > 0xFFFFFFFFLL) throw EZipException("Zip file too large");
  return static_cast<uint32_t>(size);
}

// The writer makes no Zip64 records: an entry read from a Zip64 archive must fit 32 bits.
uint32_t CheckedSize(uint64_t size) {
  if (size > 0xFFFFFFFFULL) throw EZipException("Zip file too large");
  return static_cast<uint32_t>(size);
}
}  // namespace

void TZipFile::WriteDirectory() {
  if (FFiles.size() > 0xFFFF) throw EZipException("Too many files in the zip file");
  TIdBytes out;
  for (const TZipHeader& h : FFiles) {
    Put32(out, kCentralHeaderSignature);
    Put16(out, h.MadeByVersion);
    Put16(out, h.RequiredVersion);
    Put16(out, h.Flag);
    Put16(out, h.CompressionMethod);
    Put32(out, h.ModifiedDateTime);
    Put32(out, h.CRC32);
    Put32(out, CheckedSize(h.CompressedSize));
    Put32(out, CheckedSize(h.UncompressedSize));
    Put16(out, h.FileNameLength);
    Put16(out, h.ExtraFieldLength);
    Put16(out, h.FileCommentLength);
    Put16(out, h.DiskNumberStart);
    Put16(out, h.InternalAttributes);
    Put32(out, h.ExternalAttributes);
    Put32(out, CheckedSize(h.LocalHeaderOffset));
    PutBytes(out, h.FileName);
    PutBytes(out, h.ExtraField);
    PutBytes(out, h.FileComment);
  }
  const uint32_t directorySize = CheckedSize(static_cast<int64_t>(out.size()));
  const auto count = static_cast<uint16_t>(FFiles.size());
  Put32(out, kDirectoryEndSignature);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, count);
  Put16(out, count);
  Put32(out, directorySize);
  Put32(out, CheckedSize(FEndFileData));
  Put16(out, CheckedLength(FComment.size(), "Comment"));
  PutBytes(out, FComment);
  FStream->SetPosition(FStartFileData + FEndFileData);
  FStream->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  // An archive rewritten shorter ends at its new end record.
  const int64_t end = FStream->Position();
  if (FStream->Size() > end) FStream->SetSize(end);
}

TIdBytes TZipFile::EncodeText(const std::string& Text, bool Utf8) const {
  const std::string bytes = Utf8 ? Text : Utf8ToCodePage437(Text);
  return TIdBytes(bytes.begin(), bytes.end());
}

void TZipFile::SetUTF8Support(bool Value) {
  if (Value == FUTF8Support) return;
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  if (!FFiles.empty()) throw EZipException("Zip file must be empty");
  FUTF8Support = Value;
}

void TZipFile::SetComment(const std::string& Value) {
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  TIdBytes bytes = EncodeText(Value, FUTF8Support);
  CheckedLength(bytes.size(), "Comment");
  FComment = std::move(bytes);
}

void TZipFile::SetFileComment(int Index, const std::string& Value) {
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  CheckIndex(Index);
  TZipHeader& h = FFiles[Index];
  TIdBytes bytes = EncodeText(Value, h.Flag & kZipFlagUtf8);
  h.FileCommentLength = CheckedLength(bytes.size(), "Comment");
  h.FileComment = std::move(bytes);
}

void TZipFile::Add(TStream& Data, const std::string& ArchiveFileName, TZipCompression Compression) {
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  const TZipCompressionHandler& handler = FindZipCompressionHandler(Compression);
  std::string name = ArchiveFileName;
  std::replace(name.begin(), name.end(), '\\', '/');  // ZIP names use "/"

  TZipHeader h;
  h.MadeByVersion = kZipVersion;
  h.RequiredVersion = kZipVersion;
  h.Flag = FUTF8Support ? kZipFlagUtf8 : 0;
  h.CompressionMethod = static_cast<uint16_t>(Compression);
  h.ModifiedDateTime = DosDateTimeNow();
  h.FileName = EncodeText(name, FUTF8Support);
  h.FileNameLength = CheckedLength(h.FileName.size(), "File name");
  h.LocalHeaderOffset = CheckedSize(FEndFileData);

  // The local header goes out with CRC and sizes 0 and is completed once the data is written.
  TIdBytes local;
  Put32(local, kLocalHeaderSignature);
  Put16(local, h.RequiredVersion);
  Put16(local, h.Flag);
  Put16(local, h.CompressionMethod);
  Put32(local, h.ModifiedDateTime);
  Put32(local, 0);
  Put32(local, 0);
  Put32(local, 0);
  Put16(local, h.FileNameLength);
  Put16(local, 0);
  PutBytes(local, h.FileName);
  const int64_t headerPos = FStartFileData + FEndFileData;
  FStream->SetPosition(headerPos);
  FStream->WriteBuffer(local.data(), static_cast<int64_t>(local.size()));

  const int64_t dataStart = FStream->Position();
  uLong crc = crc32(0, nullptr, 0);
  int64_t total = 0;
  {
    std::unique_ptr<TStream> out = handler.Compress(*FStream, *this, h);
    std::vector<uint8_t> block(kCopyBlockSize);
    for (;;) {
      const int64_t n = Data.Read(block.data(), kCopyBlockSize);
      if (n <= 0) break;
      crc = crc32(crc, block.data(), static_cast<uInt>(n));
      out->WriteBuffer(block.data(), n);
      total += n;
    }
    if (auto* z = dynamic_cast<TZCompressionStream*>(out.get())) z->Finish();
  }
  const int64_t dataEnd = FStream->Position();
  h.CRC32 = static_cast<uint32_t>(crc);
  h.CompressedSize = CheckedSize(dataEnd - dataStart);
  h.UncompressedSize = CheckedSize(total);

  TIdBytes sizes;
  Put32(sizes, h.CRC32);
  Put32(sizes, CheckedSize(h.CompressedSize));
  Put32(sizes, CheckedSize(h.UncompressedSize));
  FStream->SetPosition(headerPos + 14);
  FStream->WriteBuffer(sizes.data(), static_cast<int64_t>(sizes.size()));
  FStream->SetPosition(dataEnd);
  FEndFileData = dataEnd - FStartFileData;
  // Each new entry lies after every other one.
  FOffsetOrder.push_back(static_cast<int>(FFiles.size()));
  FFiles.push_back(std::move(h));
}

void TZipFile::Add(const TIdBytes& Data, const std::string& ArchiveFileName,
                   TZipCompression Compression) {
  TMemoryStream data;
  if (!Data.empty()) data.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  data.SetPosition(0);
  Add(data, ArchiveFileName, Compression);
}
