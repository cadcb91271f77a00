#include "zip/ZipFile.h"

#include <algorithm>
#include <cstring>

#include "base/CodePage437.h"
#include "base/FileStream.h"
#include "base/Format.h"
#include "base/StrUtils.h"
#include "base/Texts.h"
#include "base/TryFinally.h"
#include "base/Utf.h"
#include "zip/Zip64Records.h"
#include "zip/ZipEntryNames.h"
#include "zip/ZipRecords.h"

using namespace ZipRecords;

namespace {
// The end record is searched for in windows of 1027 bytes stepping back by 1023, so that
// successive windows overlap by 4 bytes (a signature across a window border is still seen),
// no further back than 65535 bytes from the end.
constexpr int64_t kSearchWindow = 1027;
constexpr int64_t kSearchStep = 1023;
constexpr int64_t kSearchMaxBack = 65535;
}  // namespace

TZipFile::~TZipFile() {
  try {
    Close();
  } catch (const Exception&) {
    // A destructor cannot raise; writers that must know call Close themselves.
  }
}

// --- open and close ---

void TZipFile::Open(TStream& ZipFileStream, TZipMode OpenMode) {
  Close();
  if (OpenMode == TZipMode::zmClosed) throw EZipException("Invalid argument");
  if (OpenMode == TZipMode::zmRead && ZipFileStream.Size() == 0)
    throw EZipException(Text(RSStreamReadError));
  FStream = &ZipFileStream;
  FStartFileData = ZipFileStream.Position();
  if (IsReadingMode(OpenMode)) {
    try {
      ReadDirectory();
    } catch (...) {
      FStream = nullptr;
      throw;
    }
  } else {
    FEndFileData = 0;
    FComment.clear();
  }
  FMode = OpenMode;
}

void TZipFile::Open(const std::string& ZipFileName, TZipMode OpenMode) {
  Close();
  std::unique_ptr<TStream> file;
  switch (OpenMode) {
    case TZipMode::zmRead:
      file = std::make_unique<TFileStream>(ZipFileName, TFileStream::TMode::fmOpenRead);
      break;
    case TZipMode::zmReadWrite:
      file = std::make_unique<TFileStream>(ZipFileName, TFileStream::TMode::fmOpenReadWrite);
      break;
    case TZipMode::zmWrite:
      file = std::make_unique<TFileStream>(ZipFileName, TFileStream::TMode::fmCreate);
      break;
    default:
      throw EZipException("Invalid argument");
  }
  Open(*file, OpenMode);
  FFileStream = std::move(file);
}

void TZipFile::Close() {
  TryFinally(
      [this] {
        if (IsWritingMode(FMode)) WriteDirectory();
      },
      [this] {
        FMode = TZipMode::zmClosed;
        FFiles.clear();
        FStream = nullptr;
        FFileStream.reset();
        FOffsetOrder.clear();
      });
}

// --- directory ---

bool TZipFile::FindDirectoryEnd(TStream& AStream, TZipDirectoryEnd& ADirectoryEnd, TBytes& AComment,
                                int64_t* ARecordPosition) {
  const int64_t size = AStream.Size();
  const int64_t maxBack = std::min(size, kSearchMaxBack);
  uint8_t window[kSearchWindow];
  int64_t backRead = 4;
  while (backRead < maxBack) {
    backRead = backRead + kSearchStep > maxBack ? maxBack : backRead + kSearchStep;
    const int64_t windowStart = size - backRead;
    const int64_t readSize = std::min(kSearchWindow, backRead);
    AStream.SetPosition(windowStart);
    if (ReadUpTo(AStream, window, readSize) != readSize) throw EZipException(Text(RSZipReadError));
    // From the end backwards: the record nearest the end of the stream wins.
    for (int64_t i = readSize - 4; i >= 0; --i) {
      if (Signature(window + i) != kDirectoryEndSignature) continue;
      const int64_t recordPos = windowStart + i;
      uint8_t fields[kDirectoryEndFixedSize];
      if (i + kDirectoryEndSize <= readSize) {
        std::memcpy(fields, window + i + 4, kDirectoryEndFixedSize);
      } else if (size - recordPos >= kDirectoryEndSize) {
        // The record runs on past this window into bytes that the stream still holds.
        AStream.SetPosition(recordPos + 4);
        if (ReadUpTo(AStream, fields, kDirectoryEndFixedSize) != kDirectoryEndFixedSize)
          throw EZipException(Text(RSZipReadError));
      } else {
        continue;  // cut short by the end of the stream: not a record
      }
      ADirectoryEnd = ReadDirectoryEnd(fields);
      if (ARecordPosition) *ARecordPosition = recordPos;
      AComment.clear();
      if (ADirectoryEnd.CommentSize > 0) {
        // A comment that the stream cuts short keeps only the bytes that are there.
        AStream.SetPosition(recordPos + kDirectoryEndSize);
        AComment.resize(ADirectoryEnd.CommentSize);
        AComment.resize(static_cast<size_t>(ReadUpTo(AStream, AComment.data(), AComment.size())));
      }
      return true;
    }
  }
  return false;
}

void TZipFile::ReadExact(void* ABuffer, int64_t ACount) {
  if (ReadUpTo(*FStream, ABuffer, ACount) != ACount) throw EZipException(Text(RSZipReadError));
}

void TZipFile::ReadDirectory() {
  FFiles.clear();
  FOffsetOrder.clear();
  if (FStream->Size() == 0) {
    FEndFileData = 0;
    FComment.clear();
    return;
  }
  TZipDirectoryEnd end;
  int64_t endPosition = 0;
  if (!FindDirectoryEnd(*FStream, end, FComment, &endPosition))
    throw EZipException(Text(RSZipReadError));
  // An archive too large for the end record's fields says so with all ones in them and gives
  // the true values in its Zip64 end record. Taking the ones at face value would read a
  // directory cut short, so without a Zip64 record they are an error.
  TZip64DirectoryEnd directory;
  directory.TotalEntries = end.TotalEntries;
  directory.DirectorySize = end.DirectorySize;
  directory.DirectoryOffset = end.DirectoryOffset;
  const bool zip64 = ReadZip64DirectoryEnd(*FStream, FStartFileData, endPosition, directory);
  if (!zip64 && end.DirectoryOffset == kZip64Marker32) throw EZipException(kZip64EndMissing);
  // Offsets in the archive count from where it starts in the stream, for the directory as for
  // the local headers.
  const int64_t size = FStream->Size();
  if (directory.DirectoryOffset > static_cast<uint64_t>(size - FStartFileData))
    throw EZipException(Text(RSZipCentralHeaderInvalid));
  FStream->SetPosition(FStartFileData + static_cast<int64_t>(directory.DirectoryOffset));
  FEndFileData = static_cast<int64_t>(directory.DirectoryOffset);
  for (uint64_t n = 0; n < directory.TotalEntries; ++n) {
    uint8_t signature[4];
    if (ReadUpTo(*FStream, signature, 4) != 4 || Signature(signature) != kCentralHeaderSignature)
      throw EZipException(Text(RSZipCentralHeaderInvalid));
    FFiles.push_back(ReadCentralHeader());
  }
  if (!zip64 && end.TotalEntries == kZip64Marker16) {
    // 65535 entries fit the field exactly; a directory that goes on after them does not.
    uint8_t signature[4];
    if (ReadUpTo(*FStream, signature, 4) == 4 && Signature(signature) == kCentralHeaderSignature)
      throw EZipException(kZip64EndMissing);
  }
  FOffsetOrder.resize(FFiles.size());
  for (size_t i = 0; i < FFiles.size(); ++i)
    FOffsetOrder[i] = static_cast<int>(i);
  std::stable_sort(FOffsetOrder.begin(), FOffsetOrder.end(), [this](int a, int b) {
    return FFiles[a].LocalHeaderOffset < FFiles[b].LocalHeaderOffset;
  });
}

TZipHeader TZipFile::ReadCentralHeader() {
  uint8_t f[kCentralFixedSize];
  ReadExact(f, kCentralFixedSize);
  TZipHeader h;
  ZipRecords::ReadCentralHeader(f, h);
  for (auto [bytes, length] :
       {std::pair{&h.FileName, h.FileNameLength}, std::pair{&h.ExtraField, h.ExtraFieldLength},
        std::pair{&h.FileComment, h.FileCommentLength}}) {
    bytes->resize(length);
    if (length > 0) ReadExact(bytes->data(), length);
  }
  if (!ApplyZip64Extra(h))
    throw EZipException(Format(RSZipEntryNoZip64, PrintableEntryName(h).c_str()));
  return h;
}

// --- queries ---

void TZipFile::CheckOpen() const {
  if (FMode == TZipMode::zmClosed) throw EZipException("File must be open");
}

void TZipFile::CheckIndex(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FFiles.size()))
    throw EListError("Argument out of range");
}

int TZipFile::FileCount() const {
  CheckOpen();
  return static_cast<int>(FFiles.size());
}

std::vector<std::string> TZipFile::FileNames() const {
  CheckOpen();
  std::vector<std::string> names;
  names.reserve(FFiles.size());
  for (const TZipHeader& h : FFiles)
    names.push_back(EntryName(h));
  return names;
}

std::string TZipFile::FileName(int Index) const {
  CheckOpen();
  CheckIndex(Index);
  const TZipHeader& h = FFiles[Index];
  return EntryName(h);
}

TZipHeader TZipFile::FileInfo(int Index) const {
  CheckOpen();
  CheckIndex(Index);
  return FFiles[Index];
}

std::string TZipFile::FileComment(int Index) const {
  CheckOpen();
  CheckIndex(Index);
  const TZipHeader& h = FFiles[Index];
  return DecodeName(h.FileComment, h.Flag & kZipFlagUtf8);
}

std::string TZipFile::Comment() const {
  CheckOpen();
  // The archive comment has no flag of its own: text that is valid UTF-8 is taken as such
  // (ASCII reads the same either way), anything else as code page 437.
  const std::string_view bytes = AsText(FComment);
  return IsValidUtf8(bytes) ? std::string(bytes) : CodePage437ToUtf8(bytes);
}

int TZipFile::IndexOf(const std::string& FileName) const {
  for (size_t i = 0; i < FFiles.size(); ++i)
    if (SameText(EntryName(FFiles[i]), FileName)) return static_cast<int>(i);
  return -1;
}

// --- class-wide ---

void TZipFile::RegisterCompressionHandler(TZipCompression ACompression,
                                          TStreamConstructor ACompressStream,
                                          TStreamConstructor ADecompressStream) {
  RegisterZipCompressionHandler(ACompression, std::move(ACompressStream),
                                std::move(ADecompressStream));
}

bool TZipFile::IsValid(const std::string& ZipFileName) {
  try {
    TFileStream file(ZipFileName, TFileStream::TMode::fmOpenRead);
    TZipDirectoryEnd end;
    TBytes comment;
    return FindDirectoryEnd(file, end, comment);
  } catch (const EFOpenError&) {
    return false;
  }
}

void TZipFile::ExtractZipFile(const std::string& ZipFileName, const std::string& Path) {
  TZipFile zip;
  zip.Open(ZipFileName, TZipMode::zmRead);
  zip.ExtractAll(Path);
  zip.Close();
}
