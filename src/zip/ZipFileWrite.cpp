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

uint16_t CheckedLength(size_t ALength, const char* AWhat) {
  if (ALength > 0xFFFF) throw EZipException(Format("%s is too long", AWhat));
  return static_cast<uint16_t>(ALength);
}

uint32_t CheckedSize(int64_t ASize) {
  if (ASize < 0 || ASize > 0xFFFFFFFFLL) throw EZipException("Zip file too large");
  return static_cast<uint32_t>(ASize);
}
}  // namespace

void TZipFile::WriteDirectory() {
  if (FFiles.size() > 0xFFFF) throw EZipException("Too many files in the zip file");
  TBytes out;
  for (const TZipHeader& h : FFiles)
    WriteCentralHeader(out, h);
  TZipDirectoryEnd record;
  record.TotalEntries = record.DiskEntries = static_cast<uint16_t>(FFiles.size());
  record.DirectorySize = CheckedSize(static_cast<int64_t>(out.size()));
  record.DirectoryOffset = CheckedSize(FEndFileData);
  record.CommentSize = CheckedLength(FComment.size(), "Comment");
  WriteDirectoryEnd(out, record, FComment);
  FStream->SetPosition(FStartFileData + FEndFileData);
  FStream->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  // An archive rewritten shorter ends at its new end record.
  const int64_t end = FStream->Position();
  if (FStream->Size() > end) FStream->SetSize(end);
}

TBytes TZipFile::EncodeText(const std::string& AText, bool AUtf8) const {
  const std::string bytes = AUtf8 ? AText : Utf8ToCodePage437(AText);
  return TBytes(bytes.begin(), bytes.end());
}

void TZipFile::SetUTF8Support(bool AValue) {
  if (AValue == FUTF8Support) return;
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  if (!FFiles.empty()) throw EZipException("Zip file must be empty");
  FUTF8Support = AValue;
}

void TZipFile::SetComment(const std::string& AValue) {
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  TBytes bytes = EncodeText(AValue, FUTF8Support);
  CheckedLength(bytes.size(), "Comment");
  FComment = std::move(bytes);
}

void TZipFile::SetFileComment(int Index, const std::string& AValue) {
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  CheckIndex(Index);
  TZipHeader& h = FFiles[Index];
  TBytes bytes = EncodeText(AValue, h.Flag & kZipFlagUtf8);
  h.FileCommentLength = CheckedLength(bytes.size(), "Comment");
  h.FileComment = std::move(bytes);
}

void TZipFile::Add(TStream& AData, const std::string& ARchiveFileName,
                   TZipCompression ACompression) {
  if (!IsWritingMode(FMode)) throw EZipException("File must be open for writing");
  const TZipCompressionHandler& handler = FindZipCompressionHandler(ACompression);
  std::string name = ARchiveFileName;
  std::replace(name.begin(), name.end(), '\\', '/');  // ZIP names use "/"

  TZipHeader h;
  h.MadeByVersion = kZipVersion;
  h.RequiredVersion = kZipVersion;
  h.Flag = FUTF8Support ? kZipFlagUtf8 : 0;
  h.CompressionMethod = static_cast<uint16_t>(ACompression);
  h.ModifiedDateTime = DosDateTimeNow();
  h.FileName = EncodeText(name, FUTF8Support);
  h.FileNameLength = CheckedLength(h.FileName.size(), "File name");
  h.LocalHeaderOffset = CheckedSize(FEndFileData);

  // The local header goes out with CRC and sizes 0 and is written again, complete, once the
  // data is written.
  TBytes local;
  WriteLocalHeader(local, h);
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
      const int64_t n = AData.Read(block.data(), kCopyBlockSize);
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

  local.clear();
  WriteLocalHeader(local, h);
  FStream->SetPosition(headerPos);
  FStream->WriteBuffer(local.data(), static_cast<int64_t>(local.size()));
  FStream->SetPosition(dataEnd);
  FEndFileData = dataEnd - FStartFileData;
  // Each new entry lies after every other one.
  FOffsetOrder.push_back(static_cast<int>(FFiles.size()));
  FFiles.push_back(std::move(h));
}

void TZipFile::Add(const TBytes& AData, const std::string& ARchiveFileName,
                   TZipCompression ACompression) {
  TMemoryStream data;
  if (!AData.empty()) data.WriteBuffer(AData.data(), static_cast<int64_t>(AData.size()));
  data.SetPosition(0);
  Add(data, ARchiveFileName, ACompression);
}
