#include "zip/ZipFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>

#include "base/CodePage437.h"
#include "base/FileStream.h"
#include "base/Format.h"
#include "base/MemoryStream.h"
#include "base/StrUtils.h"
#include "base/Utf.h"
#include "zip/ZStream.h"
#include "zip/ZipPaths.h"

namespace {
constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kDirectoryEndSignature = 0x06054B50;
// Fixed parts of the records after their 4-byte signatures.
constexpr int64_t kCentralFixedSize = 42;
constexpr int64_t kLocalFixedSize = 26;
constexpr int64_t kDirectoryEndFixedSize = 18;
constexpr int64_t kDirectoryEndSize = 4 + kDirectoryEndFixedSize;
// The end record is searched for in windows of 1027 bytes stepping back by 1023, so that
// successive windows overlap by 4 bytes (a signature across a window border is still seen),
// no further back than 65535 bytes from the end.
constexpr int64_t kSearchWindow = 1027;
constexpr int64_t kSearchStep = 1023;
constexpr int64_t kSearchMaxBack = 65535;
// Extraction copies an entry in blocks of this size.
constexpr int64_t kCopyBlockSize = 61440;
// Version 2.0: deflate and folders.
constexpr uint16_t kZipVersion = 20;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void Put16(TIdBytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(TIdBytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutBytes(TIdBytes& out, const TIdBytes& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Reads until Count bytes arrived or the stream yields nothing; the count that arrived.
int64_t ReadUpTo(TStream& stream, void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t n = stream.Read(p + done, count - done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

void ReadUpTo(TStream& stream, TIdBytes& bytes, uint16_t length) {
  bytes.assign(length, 0);
  if (length > 0) ReadUpTo(stream, bytes.data(), length);
}

bool IsReadingMode(TZipMode mode) {
  return mode == TZipMode::zmRead || mode == TZipMode::zmReadWrite;
}
bool IsWritingMode(TZipMode mode) {
  return mode == TZipMode::zmReadWrite || mode == TZipMode::zmWrite;
}

std::string_view AsText(const TIdBytes& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// An entry's name or comment: UTF-8 when its header carries bit 11 (invalid UTF-8 then gives an
// empty string), code page 437 when it does not.
std::string DecodeName(const TIdBytes& raw, bool utf8) {
  const std::string_view bytes = AsText(raw);
  if (utf8) return IsValidUtf8(bytes) ? std::string(bytes) : std::string();
  return CodePage437ToUtf8(bytes);
}

TZipDirectoryEnd ParseDirectoryEnd(const uint8_t* p) {
  TZipDirectoryEnd end;
  end.ThisDisk = Get16(p);
  end.DirectoryDisk = Get16(p + 2);
  end.DiskEntries = Get16(p + 4);
  end.TotalEntries = Get16(p + 6);
  end.DirectorySize = Get32(p + 8);
  end.DirectoryOffset = Get32(p + 12);
  end.CommentSize = Get16(p + 16);
  return end;
}

uint32_t DosDateTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
#ifdef _WIN32
  localtime_s(&t, &now);
#else
  localtime_r(&now, &t);
#endif
  const int year = std::max(t.tm_year + 1900, 1980);
  return static_cast<uint32_t>((year - 1980) << 25 | (t.tm_mon + 1) << 21 | t.tm_mday << 16 |
                               t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
}

uint16_t CheckedLength(size_t length, const char* what) {
  if (length > 0xFFFF) throw EZipException(Format("%s is too long", what));
  return static_cast<uint16_t>(length);
}

uint32_t CheckedSize(int64_t size) {
  if (size < 0 || size > 0xFFFFFFFFLL) throw EZipException("Zip file too large");
  return static_cast<uint32_t>(size);
}
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
    throw EZipException("Stream read error");
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
  const bool writing = IsWritingMode(FMode);
  auto reset = [this] {
    FMode = TZipMode::zmClosed;
    FFiles.clear();
    FStream = nullptr;
    FFileStream.reset();
  };
  if (writing) {
    try {
      WriteDirectory();
    } catch (...) {
      reset();
      throw;
    }
  }
  reset();
}

// --- directory ---

bool TZipFile::FindDirectoryEnd(TStream& Stream, TZipDirectoryEnd& DirectoryEnd,
                                TIdBytes& Comment) {
  const int64_t size = Stream.Size();
  const int64_t maxBack = std::min(size, kSearchMaxBack);
  uint8_t window[kSearchWindow];
  int64_t backRead = 4;
  while (backRead < maxBack) {
    backRead = backRead + kSearchStep > maxBack ? maxBack : backRead + kSearchStep;
    const int64_t windowStart = size - backRead;
    const int64_t readSize = std::min(kSearchWindow, backRead);
    Stream.SetPosition(windowStart);
    if (ReadUpTo(Stream, window, readSize) != readSize)
      throw EZipException("Error reading zip file");
    // From the end backwards: the record nearest the end of the stream wins.
    for (int64_t i = readSize - 4; i >= 0; --i) {
      if (Get32(window + i) != kDirectoryEndSignature) continue;
      const int64_t recordPos = windowStart + i;
      uint8_t fields[kDirectoryEndFixedSize];
      if (i + kDirectoryEndSize <= readSize) {
        std::memcpy(fields, window + i + 4, kDirectoryEndFixedSize);
      } else if (size - recordPos >= kDirectoryEndSize) {
        // The record runs on past this window into bytes that the stream still holds.
        Stream.SetPosition(recordPos + 4);
        if (ReadUpTo(Stream, fields, kDirectoryEndFixedSize) != kDirectoryEndFixedSize)
          throw EZipException("Error reading zip file");
      } else {
        continue;  // cut short by the end of the stream: not a record
      }
      DirectoryEnd = ParseDirectoryEnd(fields);
      Comment.clear();
      if (DirectoryEnd.CommentSize > 0) {
        // A comment that the stream cuts short keeps only the bytes that are there.
        Stream.SetPosition(recordPos + kDirectoryEndSize);
        Comment.resize(DirectoryEnd.CommentSize);
        Comment.resize(static_cast<size_t>(ReadUpTo(Stream, Comment.data(), Comment.size())));
      }
      return true;
    }
  }
  return false;
}

void TZipFile::ReadExact(void* Buffer, int64_t Count) {
  if (ReadUpTo(*FStream, Buffer, Count) != Count) throw EZipException("Error reading zip file");
}

void TZipFile::ReadDirectory() {
  FFiles.clear();
  if (FStream->Size() == 0) {
    FEndFileData = 0;
    FComment.clear();
    return;
  }
  TZipDirectoryEnd end;
  if (!FindDirectoryEnd(*FStream, end, FComment)) throw EZipException("Error reading zip file");
  // Offsets in the archive count from where it starts in the stream, for the directory as for
  // the local headers.
  FStream->SetPosition(FStartFileData + end.DirectoryOffset);
  FEndFileData = end.DirectoryOffset;
  for (unsigned n = 0; n < end.TotalEntries; ++n) {
    uint8_t signature[4];
    if (ReadUpTo(*FStream, signature, 4) != 4 || Get32(signature) != kCentralHeaderSignature)
      throw EZipException("Invalid Zip Central Header signature");
    uint8_t f[kCentralFixedSize];
    ReadExact(f, kCentralFixedSize);
    TZipHeader h;
    h.MadeByVersion = Get16(f);
    h.RequiredVersion = Get16(f + 2);
    h.Flag = Get16(f + 4);
    h.CompressionMethod = Get16(f + 6);
    h.ModifiedDateTime = Get32(f + 8);
    h.CRC32 = Get32(f + 12);
    h.CompressedSize = Get32(f + 16);
    h.UncompressedSize = Get32(f + 20);
    h.FileNameLength = Get16(f + 24);
    h.ExtraFieldLength = Get16(f + 26);
    h.FileCommentLength = Get16(f + 28);
    h.DiskNumberStart = Get16(f + 30);
    h.InternalAttributes = Get16(f + 32);
    h.ExternalAttributes = Get32(f + 34);
    h.LocalHeaderOffset = Get32(f + 38);
    for (auto [bytes, length] :
         {std::pair{&h.FileName, h.FileNameLength}, std::pair{&h.ExtraField, h.ExtraFieldLength},
          std::pair{&h.FileComment, h.FileCommentLength}}) {
      bytes->resize(length);
      if (length > 0) ReadExact(bytes->data(), length);
    }
    FFiles.push_back(std::move(h));
  }
}

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
    Put32(out, h.CompressedSize);
    Put32(out, h.UncompressedSize);
    Put16(out, h.FileNameLength);
    Put16(out, h.ExtraFieldLength);
    Put16(out, h.FileCommentLength);
    Put16(out, h.DiskNumberStart);
    Put16(out, h.InternalAttributes);
    Put32(out, h.ExternalAttributes);
    Put32(out, h.LocalHeaderOffset);
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
    names.push_back(DecodeName(h.FileName, h.Flag & kZipFlagUtf8));
  return names;
}

std::string TZipFile::FileName(int Index) const {
  CheckOpen();
  CheckIndex(Index);
  const TZipHeader& h = FFiles[Index];
  return DecodeName(h.FileName, h.Flag & kZipFlagUtf8);
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
    if (SameText(DecodeName(FFiles[i].FileName, FFiles[i].Flag & kZipFlagUtf8), FileName))
      return static_cast<int>(i);
  return -1;
}

// --- writing ---

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
  Put32(sizes, h.CompressedSize);
  Put32(sizes, h.UncompressedSize);
  FStream->SetPosition(headerPos + 14);
  FStream->WriteBuffer(sizes.data(), static_cast<int64_t>(sizes.size()));
  FStream->SetPosition(dataEnd);
  FEndFileData = dataEnd - FStartFileData;
  FFiles.push_back(std::move(h));
}

void TZipFile::Add(const TIdBytes& Data, const std::string& ArchiveFileName,
                   TZipCompression Compression) {
  TMemoryStream data;
  if (!Data.empty()) data.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  data.SetPosition(0);
  Add(data, ArchiveFileName, Compression);
}

// --- reading entries ---

void TZipFile::Read(int Index, std::unique_ptr<TStream>& Stream, TZipHeader& LocalHeader) {
  if (!IsReadingMode(FMode)) throw EZipException("File must be open for reading");
  if (Index < 0 || Index >= static_cast<int>(FFiles.size()))
    throw EZipException("The specified file was not found");
  const TZipHeader& central = FFiles[Index];
  LocalHeader = TZipHeader{};
  FStream->SetPosition(FStartFileData + central.LocalHeaderOffset);
  uint8_t signature[4];
  if (ReadUpTo(*FStream, signature, 4) != 4 || Get32(signature) != kLocalHeaderSignature)
    throw EZipException("Invalid Zip Local Header signature");
  // Informational only: name, method and size come from the central header.
  uint8_t f[kLocalFixedSize] = {};
  ReadUpTo(*FStream, f, kLocalFixedSize);
  LocalHeader.RequiredVersion = Get16(f);
  LocalHeader.Flag = Get16(f + 2);
  LocalHeader.CompressionMethod = Get16(f + 4);
  LocalHeader.ModifiedDateTime = Get32(f + 6);
  LocalHeader.CRC32 = Get32(f + 10);
  LocalHeader.CompressedSize = Get32(f + 14);
  LocalHeader.UncompressedSize = Get32(f + 18);
  LocalHeader.FileNameLength = Get16(f + 22);
  LocalHeader.ExtraFieldLength = Get16(f + 24);
  ReadUpTo(*FStream, LocalHeader.FileName, LocalHeader.FileNameLength);
  ReadUpTo(*FStream, LocalHeader.ExtraField, LocalHeader.ExtraFieldLength);
  // The stream now stands at the entry's first data byte.
  const TZipCompressionHandler& handler =
      FindZipCompressionHandler(static_cast<TZipCompression>(central.CompressionMethod & 0xFF));
  Stream = handler.Decompress(*FStream, *this, LocalHeader);
}

void TZipFile::Read(const std::string& FileName, std::unique_ptr<TStream>& Stream,
                    TZipHeader& LocalHeader) {
  Read(IndexOf(FileName), Stream, LocalHeader);
}

void TZipFile::Read(int Index, TIdBytes& Bytes) {
  std::unique_ptr<TStream> stream;
  TZipHeader local;
  Read(Index, stream, local);
  Bytes.resize(FFiles[Index].UncompressedSize);
  if (!Bytes.empty()) stream->ReadBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

void TZipFile::Read(const std::string& FileName, TIdBytes& Bytes) {
  Read(IndexOf(FileName), Bytes);
}

// --- extraction ---

void TZipFile::Extract(int Index, const std::string& Path, bool CreateSubdirs) {
  std::unique_ptr<TStream> in;
  TZipHeader local;
  Read(Index, in, local);
  const TZipHeader& central = FFiles[Index];
  const std::string decoded = DecodeName(central.FileName, central.Flag & kZipFlagUtf8);
  std::string name = decoded;
  std::replace(name.begin(), name.end(), '/', '\\');
  // An archive must not place files outside the folder it is extracted into.
  if (IsEscapingEntryName(name))
    throw EZipException(
        Format("Entry \"%s\" would be written outside the target folder", decoded.c_str()));
  if (!CreateSubdirs) {
    const size_t cut = name.find_last_of("\\:");
    if (cut != std::string::npos) name.erase(0, cut + 1);
  }
  const std::string outPath = CombinePath(Path, name);
  if (CreateSubdirs) {
    const size_t cut = outPath.rfind('\\');
    if (cut != std::string::npos && cut > 0) ForceFolders(std::string_view(outPath).substr(0, cut));
  }
  if (!outPath.empty() && outPath.back() == '\\') return;  // a folder entry

  TFileStream out(outPath, TFileStream::TMode::fmCreate);
  // Exactly UncompressedSize bytes, in blocks of at most 61440, each read in full ("Stream read
  // error" when the entry ends first) and written in full ("Stream write error").
  int64_t left = central.UncompressedSize;
  if (left == 0) return;
  const auto block = std::make_unique_for_overwrite<uint8_t[]>(
      static_cast<size_t>(std::min(left, kCopyBlockSize)));
  while (left > 0) {
    const int64_t n = std::min(left, kCopyBlockSize);
    in->ReadBuffer(block.get(), n);
    out.WriteBuffer(block.get(), n);
    left -= n;
  }
}

void TZipFile::Extract(const std::string& FileName, const std::string& Path, bool CreateSubdirs) {
  Extract(IndexOf(FileName), Path, CreateSubdirs);
}

void TZipFile::ExtractAll(const std::string& Path) {
  if (!IsReadingMode(FMode)) throw EZipException("File must be open for reading");
  const int count = FileCount();
  for (int i = 0; i < count; ++i)
    Extract(i, Path, true);
}

// --- class-wide ---

void TZipFile::RegisterCompressionHandler(TZipCompression Compression,
                                          TStreamConstructor CompressStream,
                                          TStreamConstructor DecompressStream) {
  RegisterZipCompressionHandler(Compression, std::move(CompressStream),
                                std::move(DecompressStream));
}

bool TZipFile::IsValid(const std::string& ZipFileName) {
  try {
    TFileStream file(ZipFileName, TFileStream::TMode::fmOpenRead);
    TZipDirectoryEnd end;
    TIdBytes comment;
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
