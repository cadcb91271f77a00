// TZipFile: opening entries and extracting them into files.
#include <zlib.h>

#include <algorithm>
#include <memory>

#include "base/FileStream.h"
#include "base/Texts.h"
#include "zip/ZipEntryNames.h"
#include "zip/ZipEntryStream.h"
#include "zip/ZipFile.h"
#include "zip/ZipFolders.h"
#include "zip/ZipPaths.h"
#include "zip/ZipRecords.h"

using namespace ZipRecords;

namespace {
[[noreturn]] void ThrowEntry(const TZipHeader& AEntry, TTextId AWhat) {
  throw EZipException(Format(AWhat, PrintableEntryName(AEntry).c_str()));
}

constexpr TTextId kSmaller = RSZipEntrySmaller;
constexpr TTextId kLarger = RSZipEntryLarger;

// Copies exactly the entry's UncompressedSize bytes from its stream to Write in blocks of at
// most 61440 bytes, each read in full before it is written, and computes the CRC-32 on the
// blocks on their way; AfterBlock runs after each block. The entry must then be at its end and
// the CRC-32 must match the central header's (which is the one to trust when a data descriptor
// follows the data).
template <typename TWrite, typename TAfterBlock>
void CopyVerified(TStream& AIn, const TZipHeader& AEntry, TWrite&& AWrite,
                  TAfterBlock&& AAfterBlock) {
  uint64_t left = AEntry.UncompressedSize;
  // An empty entry reads nothing, whatever its method; its CRC-32 is still that of no bytes.
  if (left == 0) {
    if (AEntry.CRC32 != 0) ThrowEntry(AEntry, RSZipEntryCRC);
    return;
  }
  // Not zeroed: every byte is read before it is written.
  const auto block = std::make_unique_for_overwrite<uint8_t[]>(
      static_cast<size_t>(std::min<uint64_t>(left, kCopyBlockSize)));
  uLong crc = crc32(0L, Z_NULL, 0);
  while (left > 0) {
    const auto n = static_cast<int64_t>(std::min<uint64_t>(left, kCopyBlockSize));
    if (ReadUpTo(AIn, block.get(), n) != n) ThrowEntry(AEntry, kSmaller);
    crc = crc32(crc, block.get(), static_cast<uInt>(n));
    AWrite(block.get(), n);
    left -= static_cast<uint64_t>(n);
    AAfterBlock();
  }
  uint8_t more;
  if (AIn.Read(&more, 1) > 0) ThrowEntry(AEntry, kLarger);
  if (crc != AEntry.CRC32) ThrowEntry(AEntry, RSZipEntryCRC);
}
}  // namespace

void TZipFile::Read(int Index, std::unique_ptr<TStream>& AStream, TZipHeader& ALocalHeader) {
  if (!IsReadingMode(FMode)) throw EZipException("File must be open for reading");
  if (Index < 0 || Index >= static_cast<int>(FFiles.size()))
    throw EZipException("The specified file was not found");
  const TZipHeader& central = FFiles[Index];
  const int64_t dataStart = LocateData(Index, ALocalHeader);
  // Without the key the data is ciphertext, not the file.
  if ((central.Flag | ALocalHeader.Flag) & (kZipFlagEncrypted | kZipFlagStrongEncryption))
    ThrowEntry(central, RSZipEntryEncrypted);
  const auto method = static_cast<TZipCompression>(central.CompressionMethod & 0xFF);
  const TZipCompressionHandler& handler = FindZipCompressionHandler(method);
  // Stored bytes are the file: both sizes must say the same.
  if (method == TZipCompression::zcStored && central.CompressedSize != central.UncompressedSize)
    ThrowEntry(central, central.CompressedSize < central.UncompressedSize ? kSmaller : kLarger);
  AStream = std::make_unique<TZipEntryStream>(*FStream, dataStart,
                                              static_cast<int64_t>(central.CompressedSize),
                                              handler.Decompress, *this, ALocalHeader);
}

void TZipFile::Read(const std::string& FileName, std::unique_ptr<TStream>& AStream,
                    TZipHeader& ALocalHeader) {
  Read(IndexOf(FileName), AStream, ALocalHeader);
}

void TZipFile::Read(int Index, TBytes& ABytes) {
  std::unique_ptr<TStream> stream;
  TZipHeader local;
  Read(Index, stream, local);
  ABytes.clear();
  CopyVerified(
      *stream, FFiles[Index],
      [&ABytes](const uint8_t* p, int64_t n) { ABytes.insert(ABytes.end(), p, p + n); }, [] {});
}

void TZipFile::Read(const std::string& FileName, TBytes& ABytes) {
  Read(IndexOf(FileName), ABytes);
}

// --- extraction ---

void TZipFile::Extract(int Index, const std::string& Path, bool CreateSubdirs) {
  TZipFolders folders;
  Extract(Index, Path, CreateSubdirs, folders);
}

void TZipFile::Extract(int Index, const std::string& Path, bool CreateSubdirs,
                       TZipFolders& AFolders) {
  std::unique_ptr<TStream> in;
  TZipHeader local;
  Read(Index, in, local);
  const TZipHeader& central = FFiles[Index];
  if (HasUndecodableName(central)) ThrowEntry(central, RSZipEntryNotUtf8);
  std::string name = EntryName(central);
  std::replace(name.begin(), name.end(), '/', '\\');
  // An archive must not place files outside the folder it is extracted into, nor under names
  // that Windows would take for something else.
  if (IsEscapingEntryName(name)) ThrowEntry(central, RSZipEntryOutside);
  if (const std::optional<TTextId> problem = MisreadNameProblem(name))
    ThrowEntry(central, *problem);
  if (IsFolderByAttribute(central) && !name.empty() && name.back() != '\\') name += '\\';
  if (!CreateSubdirs) {
    const size_t cut = name.find_last_of("\\:");
    if (cut != std::string::npos) name.erase(0, cut + 1);
  }
  const std::string outPath = CombinePath(Path, name);
  if (CreateSubdirs) {
    const size_t cut = outPath.rfind('\\');
    if (cut != std::string::npos && cut > 0)
      AFolders.Force(std::string_view(outPath).substr(0, cut));
  }
  if (!outPath.empty() && outPath.back() == '\\') return;  // a folder entry

  {
    TFileStream out(outPath, TFileStream::TMode::fmCreate);
    CopyVerified(
        *in, central, [&out](const uint8_t* p, int64_t n) { out.WriteBuffer(p, n); },
        [this] { CheckAbandoned(); });
  }
  // Told once the file is whole and closed, so that the caller may hold it from now on.
  if (OnFileExtracted) OnFileExtracted(outPath, central);
}

void TZipFile::Extract(const std::string& FileName, const std::string& Path, bool CreateSubdirs) {
  Extract(IndexOf(FileName), Path, CreateSubdirs);
}

void TZipFile::ExtractAll(const std::string& Path) {
  if (!IsReadingMode(FMode)) throw EZipException("File must be open for reading");
  CheckLayout();
  CheckDistinctNames();
  const int count = FileCount();
  // Each folder is made once for the whole archive, not looked for again for every file in it.
  TZipFolders folders;
  for (int i = 0; i < count; ++i) {
    CheckAbandoned();
    Extract(i, Path, true, folders);
  }
}

void TZipFile::CheckAbandoned() const {
  if (OnExtractProgress && OnExtractProgress()) throw EAbort("The extraction was abandoned.");
}
