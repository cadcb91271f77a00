// TZipFile: opening entries and extracting them into files.
#include <algorithm>
#include <memory>

#include "base/FileStream.h"
#include "base/Format.h"
#include "zip/ZipFile.h"
#include "zip/ZipPaths.h"
#include "zip/ZipRecords.h"

using namespace ZipRecords;

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
  const std::string decoded = EntryName(central);
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
  // Exactly UncompressedSize bytes, each block read in full ("Stream read error" when the entry
  // ends first) and written in full ("Stream write error"). A count of 0 would copy the whole
  // source, so an empty entry stops here.
  if (central.UncompressedSize == 0) return;
  out.CopyFrom(*in, central.UncompressedSize);
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
